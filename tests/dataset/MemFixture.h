// Shared test fixture: a form owning an in-memory dataset "qryX" with three
// rows and a data source, plus a recorder of handler calls.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dataset/DataSource.h"
#include "dataset/MemDataSet.h"
#include "runtime/Exceptions.h"

// Message of the exception `f` raises ("" when none).
inline std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.Message();
  }
  return "";
}

class MemFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    form = std::make_unique<TComponent>();
    ds = new TMemDataSet(form.get());
    ds->SetName("qryX");
    ds->AddFieldDef("ID", ftInteger);
    ds->AddFieldDef("NAZIV", ftString, 20);
    ds->AddFieldDef("KOL", ftSmallint);
    for (int i = 1; i <= 3; ++i) ds->AddRow({i, "row" + std::to_string(i), i * 10});
    src = new TDataSource(form.get());
    src->SetDataSet(ds);
  }

  // Records every handler of the dataset and the data source into `log`.
  void RecordHandlers() {
    auto rec = [this](const char* what) {
      return [this, what](TDataSet*) { log.push_back(what); };
    };
    ds->BeforeOpen = rec("BeforeOpen");
    ds->AfterOpen = rec("AfterOpen");
    ds->BeforeClose = rec("BeforeClose");
    ds->AfterClose = rec("AfterClose");
    ds->BeforeScroll = rec("BeforeScroll");
    ds->AfterScroll = rec("AfterScroll");
    ds->BeforeInsert = rec("BeforeInsert");
    ds->AfterInsert = rec("AfterInsert");
    ds->BeforePost = rec("BeforePost");
    ds->AfterPost = rec("AfterPost");
    ds->BeforeCancel = rec("BeforeCancel");
    ds->AfterCancel = rec("AfterCancel");
    src->OnStateChange = [this](TDataSource*) { log.push_back("StateChange"); };
    src->OnDataChange = [this](TDataSource*, TField* f) {
      log.push_back(f ? "DataChange:" + f->FieldName() : "DataChange");
    };
  }

  using Log = std::vector<std::string>;

  std::unique_ptr<TComponent> form;
  TMemDataSet* ds = nullptr;  // owned by form
  TDataSource* src = nullptr;  // owned by form
  Log log;
};

// A viewer that records what its data link hears.
class RecordingLink : public TDataLink {
 public:
  explicit RecordingLink(std::string name, bool visual = true) : m_name(std::move(name)) {
    SetVisualControl(visual);
  }
  std::vector<std::string>* sink = nullptr;
  std::vector<std::string> events;
  int lastScroll = 0;

 protected:
  void Add(const std::string& e) {
    events.push_back(e);
    if (sink) sink->push_back(m_name + ":" + e);
  }
  void ActiveChanged() override { Add("Active"); }
  void DataSetChanged() override { Add("Changed"); }
  void DataSetScrolled(int distance) override {
    lastScroll = distance;
    Add("Scrolled" + std::to_string(distance));
  }
  void RecordChanged(TField* f) override { Add(f ? "Record:" + f->FieldName() : "Record"); }
  void EditingChanged() override { Add("Editing"); }

 private:
  std::string m_name;
};
