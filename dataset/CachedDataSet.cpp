// The shared record cursor: navigation over the kind's cached rows, fetching
// more rows on demand, bookmarks by row identity, record numbers.
#include "dataset/CachedDataSet.h"

#include <cstring>

void TCachedDataSet::ResetCursor() {
  m_position = -1;
  SetBookmarkSize(static_cast<int>(sizeof(int64_t)));
}

TRecordBuffer TCachedDataSet::FieldBuffer() const {
  return State() == dsCalcFields ? CalcBuffer() : ActiveBuffer();
}

TGetResult TCachedDataSet::Step(TGetMode getMode) {
  int count = CachedRowCount();
  int p = m_position;
  switch (getMode) {
    case gmNext:
      // What is still missing was deleted from under the cursor, which is
      // then after the last row.
      if (p > count) p = count;
      do {
        if (p < count - 1) {
          ++p;
        } else if (p == count - 1 && FetchRow()) {
          count = CachedRowCount();
          ++p;
        } else {
          m_position = count;
          return grEOF;
        }
      } while (!RowVisible(p));
      m_position = p;
      return grOK;
    case gmPrior:
      if (p > count) p = count;
      do {
        if (p <= 0) {
          m_position = -1;
          return grBOF;
        }
        --p;
      } while (!RowVisible(p));
      m_position = p;
      return grOK;
    case gmCurrent:
      break;
  }
  // The current row at a position beyond the rows at hand: fetch up to it.
  while (p >= count && FetchRow()) count = CachedRowCount();
  if (p > count) p = count;
  m_position = p;
  if (p < 0) return grBOF;
  return p >= count ? grEOF : grOK;
}

TGetResult TCachedDataSet::GetRecord(TRecordBuffer buffer, TGetMode getMode, bool) {
  const TGetResult result = Step(getMode);
  if (result != grOK) return result;
  LoadRecord(buffer, m_position);
  SetBookmarkFlag(buffer, bfCurrent);
  // Calculated slots are read by calculated and lookup fields only, and such
  // a field can only join a closed dataset, whose rows are all read again:
  // without one, the slots of a row read now are never looked at.
  if (CalcFieldsCount() > 0) {
    ClearCalcFields(buffer);
    GetCalcFields(buffer);
  }
  return grOK;
}

void TCachedDataSet::InternalLast() {
  while (FetchRow()) {
  }
  m_position = CachedRowCount();
}

// --- bookmarks --------------------------------------------------------------

void TCachedDataSet::GetBookmarkData(TRecordBuffer buffer, void* data) const {
  const int64_t id = RecordId(buffer);
  std::memcpy(data, &id, sizeof id);
}

void TCachedDataSet::SetBookmarkData(TRecordBuffer buffer, const void* data) {
  int64_t id;
  std::memcpy(&id, data, sizeof id);
  SetRecordId(buffer, id);
}

void TCachedDataSet::InternalGotoBookmark(const void* bookmark) {
  int64_t id;
  std::memcpy(&id, bookmark, sizeof id);
  const int position = PositionOfRowId(id);
  if (position < 0) DatabaseError("Record not found", this);
  m_position = position;
}

void TCachedDataSet::InternalSetToRecord(TRecordBuffer buffer) {
  const int position = PositionOfRowId(RecordId(buffer));
  if (position >= 0) m_position = position;
}

int TCachedDataSet::PositionOfBookmark(const TBookmark& bookmark) const {
  if (!IsCursorOpen() || bookmark.size() != sizeof(int64_t)) return -1;
  int64_t id;
  std::memcpy(&id, bookmark.data(), sizeof id);
  return PositionOfRowId(id);
}

bool TCachedDataSet::BookmarkValid(const TBookmark& bookmark) const {
  return PositionOfBookmark(bookmark) >= 0;
}

int TCachedDataSet::CompareBookmarks(const TBookmark& a, const TBookmark& b) const {
  if (a.empty() || b.empty()) return static_cast<int>(!a.empty()) - static_cast<int>(!b.empty());
  const int pa = PositionOfBookmark(a), pb = PositionOfBookmark(b);
  return pa < pb ? -1 : (pa > pb ? 1 : 0);
}

int TCachedDataSet::CursorRowInWindow() const {
  if (m_position < 0 || m_position >= CachedRowCount()) return -1;
  const int64_t id = RowId(m_position);
  // A post, cancel or refresh keeps the row current; a search may find one
  // elsewhere in the window.
  if (RecordId(Buffers(ActiveRecord())) == id) return ActiveRecord();
  for (int i = 0; i < WindowRecordCount(); ++i)
    if (RecordId(Buffers(i)) == id) return i;
  return -1;
}

// --- counts -----------------------------------------------------------------

int TCachedDataSet::GetRecordCount() const { return IsCursorOpen() ? CachedRowCount() : -1; }

int TCachedDataSet::GetRecNo() const {
  const TRecordBuffer buffer = ActiveBuffer();
  if (!buffer || IsEmpty() || State() == dsInsert) return -1;
  const int position = PositionOfRowId(RecordId(buffer));
  return position < 0 ? -1 : position + 1;
}

void TCachedDataSet::SetRecNoImpl(int value) {
  CheckBrowseMode();
  while (value > CachedRowCount() && FetchRow()) {
  }
  if (value < 1 || value > CachedRowCount() || value == GetRecNo()) return;
  DoBeforeScroll();
  m_position = value - 1;
  Resync(rmExact | rmCenter);
  DoAfterScroll();
}
