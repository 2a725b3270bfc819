// Scratch database for dataset tests: the statement fixture's database with
// the tool's pair of transactions (read-only reads, read-write writes), an
// owner named like the tool's window, and a viewer link that asks for a
// number of rows and counts what its data source tells it.
#pragma once

#include <memory>
#include <string>

#include "FIBQuery_fixture.h"
#include "dataset/DataSource.h"
#include "fib/pFIBDataSet.h"

// A grid stand-in: shows BufferCount rows and counts notifications.
class TCountingLink : public TDataLink {
 public:
  int changed = 0, scrolled = 0, active = 0, records = 0;

 protected:
  void ActiveChanged() override { ++active; }
  void DataSetChanged() override { ++changed; }
  void DataSetScrolled(int) override { ++scrolled; }
  void RecordChanged(TField*) override { ++records; }
};

class TDataSetScratch : public TScratchDatabase {
 public:
  TDataSetScratch() : Form(std::make_unique<TComponent>()) {
    Form->SetName("Form6");
    ReadTr = new TFIBTransaction(Form.get());
    ReadTr->SetName("pFIBTransaction1");
    ReadTr->SetDefaultDatabase(Database);
    for (const char* p : {"read", "nowait", "read_committed", "rec_version"}) ReadTr->TRParams().Add(p);
    WriteTr = new TFIBTransaction(Form.get());
    WriteTr->SetName("pFIBTransaction2");
    WriteTr->SetDefaultDatabase(Database);
    for (const char* p : {"write", "nowait", "read_committed", "rec_version"}) WriteTr->TRParams().Add(p);
  }
  ~TDataSetScratch() {
    // Datasets and transactions go before the database the base class frees.
    Form.reset();
  }

  // A dataset of the tool's kind on the form, bound like the tool's datasets.
  TpFIBDataSet* NewDataSet(const std::string& name, const std::string& select) {
    auto* ds = new TpFIBDataSet(Form.get());
    ds->SetName(name);
    ds->SetDatabase(Database);
    ds->SetTransaction(ReadTr);
    ds->SetUpdateTransaction(WriteTr);
    ds->SetAutoCommit(true);
    ds->SelectSQL().SetText(select);
    return ds;
  }

  // Fills `table` (ID integer, NAME varchar) with `rows` rows, ID 1..rows.
  void FillNumbered(const std::string& table, int rows) {
    Exec("create table " + table + " (ID integer not null primary key, NAME varchar(40))");
    Exec("execute block as declare i integer = 1; begin while (i <= " + std::to_string(rows) +
         ") do begin insert into " + table + " values (:i, 'row ' || :i); i = i + 1; end end");
  }

  std::unique_ptr<TComponent> Form;
  TFIBTransaction* ReadTr = nullptr;
  TFIBTransaction* WriteTr = nullptr;
};
