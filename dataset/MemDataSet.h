// An in-memory dataset kind: rows of variants held by the dataset itself.
// Used by tests and as a base for kinds that load a whole result into
// memory (override InternalOpen, fill FieldDefs and rows, call the base).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dataset/CachedDataSet.h"
#include "dataset/Variant.h"

// What one record buffer of the in-memory kind holds.
struct TMemRecord {
  int64_t id = 0;                    // stored row id; 0 for a row not yet posted
  TBookmarkFlag flag = bfCurrent;
  std::vector<Variant> values;       // one per column description
  std::vector<Variant> calc;         // calculated values, by field index
};

// Column descriptions come from FieldDefs() (filled before opening, or by a
// derived kind in InternalInitFieldDefs); rows hold one variant per column
// description, Null for no value. Bidirectional; append, insert, edit,
// post, cancel and delete work on the rows; Locate compares values.
class TMemDataSet : public TCachedDataSetOf<TMemRecord> {
 public:
  using Row = std::vector<Variant>;

  explicit TMemDataSet(TComponent* AOwner = nullptr);
  ~TMemDataSet() override;

  // Shorthand for FieldDefs().Add.
  void AddFieldDef(const std::string& name, TFieldType type, int size = 0,
                   bool required = false);
  // Appends a stored row (missing values are Null). On an open dataset call
  // Refresh (or First) afterwards to show it.
  void AddRow(Row values);
  void ClearRows();
  int RowCount() const noexcept { return static_cast<int>(m_rows.size()); }
  const Row& Rows(int index) const { return m_rows.at(static_cast<size_t>(index)).values; }

  // A read-only dataset refuses append, insert and edit.
  bool ReadOnly() const noexcept { return m_readOnly; }
  void SetReadOnly(bool value) { m_readOnly = value; }

  // Value equality per key field (Null matches Null); loCaseInsensitive
  // compares texts ignoring case, loPartialKey matches text prefixes. On a
  // match: BeforeScroll, the row becomes current centred in the window (data
  // set change), AfterScroll.
  bool Locate(const std::string& keyFields, const Variant& keyValues,
              TLocateOptions options) override;
  Variant Lookup(const std::string& keyFields, const Variant& keyValues,
                 const std::string& resultFields) override;
  bool GetFieldData(TField* field, void* buffer) override;
  void SetFieldData(TField* field, const void* buffer) override;

 protected:
  int CachedRowCount() const override { return RowCount(); }
  int64_t RowId(int position) const override;
  int PositionOfRowId(int64_t id) const override;
  void LoadRecord(TRecordBuffer buffer, int position) override;
  void InternalInitRecord(TRecordBuffer buffer) override;
  void InternalInitFieldDefs() override {}
  void InternalOpen() override;
  void InternalClose() override;
  bool IsCursorOpen() const override { return m_cursorOpen; }
  void InternalPost() override;
  void InternalDelete() override;
  void ClearCalcFields(TRecordBuffer buffer) override;
  bool GetCanModify() const override { return !m_readOnly; }

 private:
  struct StoredRow {
    int64_t id;  // stable row identity: the bookmark
    Row values;
  };
  std::vector<StoredRow> m_rows;
  int64_t m_nextId = 1;
  bool m_cursorOpen = false;
  bool m_readOnly = false;
};
