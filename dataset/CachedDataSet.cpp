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

// Inline: every row the window takes in is read here.
inline void TCachedDataSet::ReadRow(TRecordBuffer buffer, int position) {
  LoadRecord(buffer, position);
  SetBookmarkFlag(buffer, bfCurrent);
  // Calculated slots are read by calculated and lookup fields only, and such
  // a field can only join a closed dataset, whose rows are all read again:
  // without one, the slots of a row read now are never looked at.
  if (CalcFieldsCount() > 0) {
    ClearCalcFields(buffer);
    GetCalcFields(buffer);
  }
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
  ReadRow(buffer, m_position);
  return grOK;
}

// --- resync without stepping ---------------------------------------------------

int TCachedDataSet::PriorVisibleRow(int position) const {
  do {
    if (position <= 0) return -1;
    --position;
  } while (!RowVisible(position));
  return position;
}

int TCachedDataSet::NextVisibleCachedRow(int position) const {
  const int count = CachedRowCount();
  do {
    if (position >= count - 1) return -1;
    ++position;
  } while (!RowVisible(position));
  return position;
}

bool TCachedDataSet::ResyncMayReadInPlace() const {
  return m_resyncInPlace && CanResyncInPlace() && CalcFieldsCount() == 0 && !IsUniDirectional();
}

bool TCachedDataSet::ResyncInPlace(TResyncMode mode) {
  const int count = CachedRowCount();
  const int p0 = m_position;
  if (!ResyncMayReadInPlace() || p0 < 0 || p0 >= count) return false;
  const int held = CursorRowInWindow();
  if (held < 0) return false;
  const int n = BufferCount();
  // The full rebuild reads the cursor's row, then up to `want` rows before
  // it, then rows after it until the window is full, then more rows before.
  const int want = (mode & rmCenter) ? (n - 1) / 2 : ActiveRecord();
  std::vector<int>& before = m_rowsBefore;  // nearest first
  std::vector<int>& after = m_rowsAfter;
  before.clear();
  after.clear();
  int q = p0;
  while (static_cast<int>(before.size()) < want && (q = PriorVisibleRow(q)) >= 0) before.push_back(q);
  const int firstBefore = static_cast<int>(before.size());
  const auto rows = [&] { return static_cast<int>(before.size() + after.size()) + 1; };
  q = p0;
  while (rows() < n && (q = NextVisibleCachedRow(q)) >= 0) after.push_back(q);
  // A window not full here means a step forward failed at the last row at
  // hand, which fetches unless nothing is left.
  const bool afterFailed = rows() < n;
  if (afterFailed && !AllRowsFetched()) return false;
  bool lastBeforeFailed = false;
  q = before.empty() ? p0 : before.back();
  while (afterFailed && rows() < n) {
    if ((q = PriorVisibleRow(q)) < 0) {
      lastBeforeFailed = true;
      break;
    }
    before.push_back(q);
  }
  // The full rebuild turns the buffers so that the one holding the cursor's
  // row comes first; they come back as they are only when that row ends up
  // where it is.
  const int active = static_cast<int>(before.size());
  if (held != active) return false;

  ReadRow(Buffers(active), p0);
  for (int i = 0; i < active; ++i) ReadRow(Buffers(active - 1 - i), before[static_cast<size_t>(i)]);
  for (size_t j = 0; j < after.size(); ++j) ReadRow(Buffers(active + 1 + static_cast<int>(j)), after[j]);

  // Where the last step of the full rebuild leaves the cursor: when the
  // steps forward fell short, the steps back that followed (on the first row
  // read, or before it when one failed); else the last step forward, or the
  // last step back when the window was full without any.
  int current, position;
  if (afterFailed) {
    current = lastBeforeFailed ? -1 : 0;
    position = lastBeforeFailed ? -1 : before.back();
  } else if (firstBefore + 1 < n) {
    current = rows() - 1;
    position = after.back();
  } else {
    current = 0;
    position = firstBefore > 0 ? before[static_cast<size_t>(firstBefore - 1)] : p0;
  }
  m_position = position;
  SetWindowAsRead(rows(), active, current);
  return true;
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

bool TCachedDataSet::AppendInPlace() {
  // The first step back puts the cursor after the last row, which fetches
  // the rest unless nothing is left; then steps back until the window is full.
  const int n = BufferCount();
  if (n <= 1 || !ResyncMayReadInPlace() || !AllRowsFetched()) return false;
  std::vector<int>& rows = m_rowsBefore;  // nearest first
  rows.clear();
  int q = CachedRowCount();
  while (static_cast<int>(rows.size()) + 1 < n && (q = PriorVisibleRow(q)) >= 0) rows.push_back(q);
  const int k = static_cast<int>(rows.size());
  // Each row read goes into the scratch buffer, which then comes first.
  const bool failed = k + 1 < n;
  TakeRowsAbove(k, failed ? -1 : 0);
  for (int i = 0; i < k; ++i) ReadRow(Buffers(k - 1 - i), rows[static_cast<size_t>(i)]);
  m_position = failed ? -1 : rows.back();
  return true;
}
