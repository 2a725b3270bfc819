// TpFIBQuery: the published statement component, with events around execution
// and a handler that may retry or silence a failed execution.
#pragma once

#include <functional>
#include <string>

#include "dataset/DataSet.h"
#include "fib/FIBQuery.h"
#include "fib/fib.h"

class TpFIBQuery;

// Asked when an execution fails with an EFIBError; Action starts as daFail.
using TpFIBExecuteErrorEvent = std::function<void(TpFIBQuery* Sender, EFIBError& E, TDataAction& Action)>;

class TpFIBQuery : public TFIBQuery {
 public:
  explicit TpFIBQuery(TComponent* owner = nullptr) : TFIBQuery(owner) {}

  // Runs the execution; on an EFIBError the handler decides: daFail re-raises,
  // daAbort turns it into a silent abort, daRetry runs the execution again.
  void ExecQuery() override;

  const std::string& Description() const { return m_description; }
  void SetDescription(const std::string& v) { m_description = v; }
  const char* About() const { return "FIB statement component"; }

  TpFIBExecuteErrorEvent OnExecuteError;

 private:
  std::string m_description;
};
