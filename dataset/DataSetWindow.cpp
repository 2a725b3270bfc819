// The dataset's record window and navigation: buffers, fetching forward and
// backward, first/last, move by, resync and the window size.
#include <algorithm>
#include <cstring>

#include "dataset/DataSet.h"
#include "dataset/DataSource.h"

// --- window -------------------------------------------------------------------

TRecordBuffer TDataSet::ActiveBuffer() const {
  if (m_buffers.empty() || m_activeRecord >= m_recordCount) return nullptr;
  return m_buffers[static_cast<size_t>(m_activeRecord)];
}

void TDataSet::SetActiveRecord(int value) { m_activeRecord = value; }

void TDataSet::ClearBuffers() {
  m_recordCount = 0;
  m_activeRecord = 0;
  m_currentRecord = -1;
  m_bof = true;
  m_eof = true;
}

void TDataSet::ActivateBuffers() {
  m_recordCount = 1;
  m_activeRecord = 0;
  m_currentRecord = 0;
  m_bof = false;
  m_eof = false;
}

void TDataSet::MoveBuffer(int curIndex, int newIndex) {
  if (curIndex == newIndex) return;
  // Runs for every row the window takes in: one shift of the pointers between.
  TRecordBuffer* b = m_buffers.data();
  TRecordBuffer buffer = b[curIndex];
  if (curIndex < newIndex)
    std::memmove(b + curIndex, b + curIndex + 1, static_cast<size_t>(newIndex - curIndex) * sizeof *b);
  else
    std::memmove(b + newIndex + 1, b + newIndex, static_cast<size_t>(curIndex - newIndex) * sizeof *b);
  b[newIndex] = buffer;
}

void TDataSet::MoveCursorToBuffer(int index) {
  TRecordBuffer buffer = m_buffers[static_cast<size_t>(index)];
  switch (GetBookmarkFlag(buffer)) {
    case bfCurrent:
    case bfInserted:
      InternalSetToRecord(buffer);
      break;
    case bfBOF:
      InternalFirst();
      break;
    case bfEOF:
      InternalLast();
      break;
  }
  m_currentRecord = index;
}

void TDataSet::UpdateCursorPos() {
  if (m_recordCount > 0) SetCurrentRecord(m_activeRecord);
}

bool TDataSet::GetNextRecord() {
  if (m_recordCount > 0) SetCurrentRecord(m_recordCount - 1);
  // Into the first free buffer, or the scratch buffer when the window is full.
  bool ok = GetRecord(m_buffers[static_cast<size_t>(m_recordCount)], gmNext, true) == grOK;
  if (ok) {
    if (m_recordCount == 0) {
      ActivateBuffers();
    } else if (m_recordCount < m_bufferCount) {
      ++m_recordCount;
    } else {
      // Shift: the oldest row's buffer becomes the scratch buffer.
      MoveBuffer(0, m_recordCount);
    }
    m_currentRecord = m_recordCount - 1;
  } else {
    CursorPosChanged();
  }
  return ok;
}

bool TDataSet::GetPriorRecord() {
  if (m_uniDirectional) CheckBiDirectional();
  if (m_recordCount > 0) SetCurrentRecord(0);
  bool ok = GetRecord(m_buffers[static_cast<size_t>(m_bufferCount)], gmPrior, true) == grOK;
  if (ok) {
    MoveBuffer(m_bufferCount, 0);
    if (m_recordCount == 0) {
      ActivateBuffers();
    } else if (m_recordCount < m_bufferCount) {
      ++m_recordCount;
      ++m_activeRecord;
    }
    m_currentRecord = 0;
  } else {
    CursorPosChanged();
  }
  return ok;
}

int TDataSet::GetNextRecords() {
  int n = 0;
  while (m_recordCount < m_bufferCount && GetNextRecord()) ++n;
  return n;
}

int TDataSet::GetPriorRecords() {
  int n = 0;
  while (m_recordCount < m_bufferCount && GetPriorRecord()) ++n;
  return n;
}

TRecordBuffer TDataSet::TakeRecordBuffer() {
  const int size = GetRecordSize();
  if (!m_keptBuffers.empty()) {
    if (size == m_keptRecordSize) {
      TRecordBuffer buffer = m_keptBuffers.back();
      m_keptBuffers.pop_back();
      return buffer;
    }
    // The kind lays its rows out differently since they were made.
    ReleaseKeptBuffers();
  }
  m_bufferRecordSize = size;
  return AllocRecordBuffer();
}

void TDataSet::KeepBuffers() {
  // Only a kind that tells its buffer size can say whether they still fit;
  // a dying dataset has no next open.
  if (m_buffers.empty() || m_bufferRecordSize <= 0 || IsDestroying()) return;
  ReleaseKeptBuffers();
  m_keptRecordSize = m_bufferRecordSize;
  m_keptBuffers.swap(m_buffers);
  m_bufferCount = 0;
}

void TDataSet::ReleaseKeptBuffers() {
  while (!m_keptBuffers.empty()) {
    TRecordBuffer buffer = m_keptBuffers.back();
    m_keptBuffers.pop_back();
    FreeRecordBuffer(buffer);
  }
}

void TDataSet::SetBufferCount(int value) {
  if (value < 0) value = 0;
  size_t wanted = value > 0 ? static_cast<size_t>(value) + 1 : 0;
  if (value == m_bufferCount && m_buffers.size() == wanted) return;
  if (m_recordCount > value) {
    // Keep the rows around the current one.
    int first = std::max(0, m_activeRecord - std::max(value, 1) + 1);
    std::rotate(m_buffers.begin(), m_buffers.begin() + first, m_buffers.begin() + m_recordCount);
    m_activeRecord -= first;
    m_recordCount = std::min(m_recordCount - first, value);
    if (m_activeRecord >= m_recordCount) m_activeRecord = std::max(0, m_recordCount - 1);
    CursorPosChanged();
  }
  // A reopened window takes back the buffers it kept all at once.
  if (m_buffers.empty() && wanted > 0 && !m_keptBuffers.empty() && GetRecordSize() == m_keptRecordSize)
    m_buffers.swap(m_keptBuffers);
  while (m_buffers.size() > wanted) {
    TRecordBuffer buffer = m_buffers.back();
    m_buffers.pop_back();
    FreeRecordBuffer(buffer);
  }
  while (m_buffers.size() < wanted) m_buffers.push_back(TakeRecordBuffer());
  bool grew = value > m_bufferCount;
  m_bufferCount = value;
  if (grew && m_internalOpenComplete && IsCursorOpen()) GetNextRecords();
}

void TDataSet::UpdateBufferCount() {
  if (!IsCursorOpen()) return;
  // A forward-only cursor keeps one row: refilling a window around a row
  // would need the rows before it.
  int count = 1;
  if (!m_uniDirectional)
    for (TDataSource* ds : m_dataSources)
      for (int i = 0; i < ds->DataLinkCount(); ++i)
        count = std::max(count, ds->DataLinks(i)->BufferCount());
  SetBufferCount(count);
}

// --- navigation ---------------------------------------------------------------

void TDataSet::First() {
  CheckBrowseMode();
  DoBeforeScroll();
  auto finish = [this] {
    m_bof = true;
    DataEvent(deDataSetChange, 0);
  };
  try {
    if (!m_uniDirectional) {
      ClearBuffers();
      InternalFirst();
      GetNextRecord();
      GetNextRecords();
    } else if (!m_bof) {
      // A forward-only cursor cannot go back: run the query again.
      SetActive(false);
      SetActive(true);
    }
  } catch (...) {
    finish();
    throw;
  }
  finish();
  DoAfterScroll();
}

void TDataSet::Last() {
  CheckBiDirectional();
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  try {
    InternalLast();
    GetPriorRecord();
    GetPriorRecords();
  } catch (...) {
    m_eof = true;
    DataEvent(deDataSetChange, 0);
    throw;
  }
  m_eof = true;
  DataEvent(deDataSetChange, 0);
  DoAfterScroll();
}

int TDataSet::MoveBy(int distance) {
  CheckBrowseMode();
  DoBeforeScroll();
  if ((distance > 0 && m_eof) || (distance < 0 && m_bof) || distance == 0) return 0;
  m_bof = false;
  m_eof = false;
  int oldRecordCount = m_recordCount;
  int scrollCount = 0;
  int result = 0;
  auto finish = [&] {
    if (m_recordCount != oldRecordCount)
      DataEvent(deDataSetChange, 0);
    else
      DataEvent(deDataSetScroll, scrollCount);
  };
  try {
    while (distance > 0) {
      if (m_activeRecord < m_recordCount - 1) {
        ++m_activeRecord;
      } else {
        int shift = m_recordCount < m_bufferCount ? 0 : 1;
        if (!GetNextRecord()) {
          m_eof = true;
          break;
        }
        scrollCount -= shift;
        if (m_activeRecord < m_recordCount - 1) ++m_activeRecord;
      }
      --distance;
      ++result;
    }
    while (distance < 0) {
      if (m_activeRecord > 0) {
        --m_activeRecord;
      } else {
        int shift = m_recordCount < m_bufferCount ? 0 : 1;
        if (!GetPriorRecord()) {
          m_bof = true;
          break;
        }
        scrollCount += shift;
        if (m_activeRecord > 0) --m_activeRecord;
      }
      ++distance;
      --result;
    }
  } catch (...) {
    finish();
    throw;
  }
  finish();
  DoAfterScroll();
  return result;
}

void TDataSet::Resync(TResyncMode mode) {
  // The rows come back into the buffers that held them: the buffers are
  // turned so that the one holding the cursor's row (else the first free
  // one) comes first, the one before it last, where the rows before are
  // read into. A kind that remembers the row a buffer holds copies nothing
  // for a row that did not change; the window itself is rebuilt as always.
  const int held = m_recordCount > 0 ? CursorRowInWindow() : -1;
  const int turn = held >= 0 ? held : m_recordCount;
  if (turn > 0) std::rotate(m_buffers.begin(), m_buffers.begin() + turn, m_buffers.end());
  // Until the cursor's row is read the old window stays as it was.
  const auto restore = [this, turn] {
    if (turn > 0) std::rotate(m_buffers.begin(), m_buffers.end() - turn, m_buffers.end());
  };
  TRecordBuffer first = m_buffers[0];
  bool found;
  try {
    if (mode & rmExact) {
      CursorPosChanged();
      found = GetRecord(first, gmCurrent, true) == grOK;
    } else {
      found = GetRecord(first, gmCurrent, false) == grOK || GetRecord(first, gmNext, false) == grOK ||
              GetRecord(first, gmPrior, false) == grOK;
    }
  } catch (...) {
    restore();
    throw;
  }
  if (!found) {
    if (mode & rmExact) {
      restore();
      DatabaseError("Record not found", this);
    }
    ClearBuffers();
    DataEvent(deDataSetChange, 0);
    return;
  }
  int count = (mode & rmCenter) ? (m_bufferCount - 1) / 2 : m_activeRecord;
  ActivateBuffers();
  try {
    while (count > 0 && GetPriorRecord()) --count;
    GetNextRecords();
    GetPriorRecords();
  } catch (...) {
    DataEvent(deDataSetChange, 0);
    throw;
  }
  DataEvent(deDataSetChange, 0);
}
