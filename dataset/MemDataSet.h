// An in-memory dataset kind: rows of variants held by the dataset itself.
// Used by tests and as a base for kinds that load a whole result into
// memory (override InternalOpen, fill FieldDefs and rows, call the base).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dataset/DataSet.h"
#include "dataset/Variant.h"

// Column descriptions come from FieldDefs() (filled before opening, or by a
// derived kind in InternalInitFieldDefs); rows hold one variant per column
// description, Null for no value. Bidirectional; append, insert, edit,
// post, cancel and delete work on the rows; Locate compares values.
class TMemDataSet : public TDataSet {
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
  bool BookmarkValid(const TBookmark& bookmark) const override;
  int CompareBookmarks(const TBookmark& a, const TBookmark& b) const override;

 protected:
  TGetResult GetRecord(TRecordBuffer buffer, TGetMode getMode, bool doCheck) override;
  TRecordBuffer AllocRecordBuffer() override;
  void FreeRecordBuffer(TRecordBuffer& buffer) override;
  void GetBookmarkData(TRecordBuffer buffer, void* data) const override;
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) const override;
  void SetBookmarkData(TRecordBuffer buffer, const void* data) override;
  void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag value) override;
  int GetRecordSize() const override;
  void InternalFirst() override;
  void InternalLast() override;
  void InternalGotoBookmark(const void* bookmark) override;
  void InternalSetToRecord(TRecordBuffer buffer) override;
  void InternalInitRecord(TRecordBuffer buffer) override;
  void InternalInitFieldDefs() override {}
  void InternalOpen() override;
  void InternalClose() override;
  bool IsCursorOpen() const override { return m_cursorOpen; }
  void InternalPost() override;
  void InternalDelete() override;
  void ClearCalcFields(TRecordBuffer buffer) override;
  bool GetCanModify() const override { return !m_readOnly; }
  int GetRecordCount() const override;
  int GetRecNo() const override;
  void SetRecNoImpl(int value) override;

  // Index of the stored row with this id, or -1.
  int IndexOfId(int64_t id) const;
  // The buffer fields read: the calculation buffer in CalcFields, else the
  // active buffer (nullptr when there is no current row).
  TRecordBuffer FieldBuffer() const;

 private:
  struct StoredRow {
    int64_t id;  // stable row identity: the bookmark
    Row values;
  };
  std::vector<StoredRow> m_rows;
  int64_t m_nextId = 1;
  int m_cursor = -1;  // -1 before the first row, RowCount() after the last
  bool m_cursorOpen = false;
  bool m_readOnly = false;
};
