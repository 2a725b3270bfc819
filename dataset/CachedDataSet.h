// The record cursor shared by the dataset kinds that keep their rows in a
// cache of their own: navigation over row positions, bookmarks by row
// identity, record numbers and counts. One place, so that every kind answers
// the window the same way.
#pragma once

#include <cstdint>

#include "dataset/DataSet.h"

// A dataset kind whose rows sit in a cache it keeps itself: a vector of rows,
// a table read whole at open, or blocks of record buffers filled as rows
// arrive from a server. The cursor sees the cache only through these hooks:
//
//   CachedRowCount()     rows at hand now, at positions 0 .. count - 1;
//   FetchRow()           brings one more row into the cache, at position
//                        count; false when the result has no more rows.
//                        Kinds that hold every row from the open keep the
//                        default (nothing more to fetch);
//   RowId(position)      the identity a bookmark keeps for that row: stable
//                        while the row exists, whatever is inserted or
//                        deleted around it (a row id, a stored row number, a
//                        physical slot behind a position map);
//   PositionOfRowId(id)  where that row is now, -1 when it is gone;
//   LoadRecord(buffer, position)
//                        copies the row at `position` into a record buffer,
//                        its identity included (calculated fields and the
//                        bookmark flag are done here afterwards);
//   RowVisible(position) false for a row the cache keeps but the dataset
//                        does not show (a deleted row kept for cached
//                        updates); moving next and prior pass over it.
//                        Kinds that hide rows also override the counts.
//
// A record buffer carries the row identity (RecordId/SetRecordId) and the
// bookmark flag (Get/SetBookmarkFlag) wherever the kind's layout puts them;
// bookmarks are the identity as 8 bytes.
//
// The position is -1 before the first row and CachedRowCount() after the
// last. Moving next at the end of the cache fetches one row; moving to the
// last row fetches all; the current row at a position beyond the cache is
// fetched. Asking for the current row while the position lies outside the
// rows answers grBOF/grEOF and never raises: the window decides what that means
// (an exact resync turns it into "Record not found"). Kinds with their own
// error handling around fetching override GetRecord and call this one.
class TCachedDataSet : public TDataSet {
 public:
  explicit TCachedDataSet(TComponent* AOwner = nullptr) : TDataSet(AOwner) {}

  // False for a closed dataset, a bookmark of another size, or a row that is
  // gone.
  bool BookmarkValid(const TBookmark& bookmark) const override;
  // By the rows' positions; empty bookmarks sort first, then bookmarks of
  // rows that are gone.
  int CompareBookmarks(const TBookmark& a, const TBookmark& b) const override;

 protected:
  // --- the cache, supplied by the kind ----------------------------------------
  virtual int CachedRowCount() const = 0;
  virtual bool FetchRow() { return false; }
  virtual int64_t RowId(int position) const = 0;
  virtual int PositionOfRowId(int64_t id) const = 0;
  virtual void LoadRecord(TRecordBuffer buffer, int position) = 0;
  virtual bool RowVisible(int position) const { return true; }
  virtual int64_t RecordId(TRecordBuffer buffer) const = 0;
  virtual void SetRecordId(TRecordBuffer buffer, int64_t id) = 0;

  // --- the cursor -------------------------------------------------------------
  int CursorPosition() const noexcept { return m_position; }
  // -1 .. CachedRowCount(); asking for the current row at a position beyond
  // the rows at hand fetches up to it.
  void SetCursorPosition(int position) noexcept { m_position = position; }
  // Before the first row, bookmarks of RowId size; kinds call it when
  // opening and closing.
  void ResetCursor();
  // The buffer field values are read from and written to now: the
  // calculation buffer in the CalcFields state, else the active buffer
  // (nullptr when there is no current row).
  TRecordBuffer FieldBuffer() const;

  TGetResult GetRecord(TRecordBuffer buffer, TGetMode getMode, bool doCheck) override;
  void GetBookmarkData(TRecordBuffer buffer, void* data) const override;
  void SetBookmarkData(TRecordBuffer buffer, const void* data) override;
  void InternalFirst() override { m_position = -1; }
  void InternalLast() override;
  // "Record not found" when the bookmark's row is gone.
  void InternalGotoBookmark(const void* bookmark) override;
  void InternalSetToRecord(TRecordBuffer buffer) override;
  // Rows in the cache; -1 while closed.
  int GetRecordCount() const override;
  // 1-based position of the active row; -1 without one (empty, inserting).
  int GetRecNo() const override;
  // Fetches up to the row when needed; out of range does nothing.
  void SetRecNoImpl(int value) override;
  // By row identity, the active buffer first.
  int CursorRowInWindow() const override;

 private:
  // Moves the position one step (or not, for gmCurrent); grOK when it is on
  // a row then.
  TGetResult Step(TGetMode getMode);
  // Position of a bookmark's row (-1 when gone or not a bookmark of ours).
  int PositionOfBookmark(const TBookmark& bookmark) const;

  int m_position = -1;  // -1 before the first row, CachedRowCount() after the last
};

// The record buffer layout for kinds whose buffer is one C++ object of type
// Record with the members `id` (the row identity, int64_t) and `flag` (the
// TBookmarkFlag). Buffers are created with `new Record()` and deleted.
template <class Record>
class TCachedDataSetOf : public TCachedDataSet {
 public:
  using TCachedDataSet::TCachedDataSet;

 protected:
  static Record& Rec(TRecordBuffer buffer) { return *reinterpret_cast<Record*>(buffer); }

  TRecordBuffer AllocRecordBuffer() override { return reinterpret_cast<TRecordBuffer>(new Record()); }
  void FreeRecordBuffer(TRecordBuffer& buffer) override {
    delete &Rec(buffer);
    buffer = nullptr;
  }
  int GetRecordSize() const override { return static_cast<int>(sizeof(Record)); }
  int64_t RecordId(TRecordBuffer buffer) const override { return Rec(buffer).id; }
  void SetRecordId(TRecordBuffer buffer, int64_t id) override { Rec(buffer).id = id; }
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) const override { return Rec(buffer).flag; }
  void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag value) override { Rec(buffer).flag = value; }
};
