// Editing a dataset: browse-mode checks, append, insert, edit, post,
// cancel, delete and refresh.
#include <algorithm>

#include "dataset/DataSet.h"
#include "runtime/Exceptions.h"

void TDataSet::CheckBrowseMode() {
  CheckActive();
  DataEvent(deCheckBrowseMode, 0);
  switch (m_state) {
    case dsEdit:
    case dsInsert:
      UpdateRecord();
      if (m_modified)
        Post();
      else
        Cancel();
      break;
    case dsSetKey:
      Post();
      break;
    default:
      break;
  }
}

void TDataSet::UpdateRecord() {
  if (m_state != dsEdit && m_state != dsInsert && m_state != dsSetKey)
    DatabaseError("Dataset not in edit or insert mode", this);
  DataEvent(deUpdateRecord, 0);
}

void TDataSet::CheckOperation(const std::function<void()>& operation,
                              const TDataSetErrorEvent& handler) {
  for (;;) {
    try {
      UpdateCursorPos();
      operation();
      return;
    } catch (EDatabaseError& e) {
      TDataAction action = daFail;
      if (handler) handler(this, e, action);
      if (action == daFail) throw;
      if (action == daAbort) Abort();
      // daRetry: run the operation again.
    }
  }
}

void TDataSet::BeginInsertAppend() {
  CheckBrowseMode();
  CheckCanModify();
  DoBeforeInsert();
  DoBeforeScroll();
}

void TDataSet::EndInsertAppend() {
  SetState(dsInsert);
  try {
    DoOnNewRecord();
  } catch (...) {
    UpdateCursorPos();
    FreeFieldBuffers();
    SetState(dsBrowse);
    Resync(rmNone);
    throw;
  }
  m_modified = false;
  DataEvent(deDataSetChange, 0);
  DoAfterInsert();
  DoAfterScroll();
}

void TDataSet::Append() {
  BeginInsertAppend();
  // The new row takes the buffer after the last row of the window, and the
  // rows before it are read back from the last one on into the buffers that
  // held them (see Resync).
  if (m_recordCount > 0) std::rotate(m_buffers.begin(), m_buffers.begin() + m_recordCount, m_buffers.end());
  ClearBuffers();
  TRecordBuffer buffer = m_buffers[0];
  InitRecord(buffer);
  SetBookmarkFlag(buffer, bfEOF);
  m_recordCount = 1;
  m_bof = false;
  // The rows before the new one fill the window above it.
  GetPriorRecords();
  InternalInsert();
  EndInsertAppend();
}

void TDataSet::Insert() {
  BeginInsertAppend();
  TBookmark current = GetBookmark();
  // The new row takes the current row's place; the rows below move down.
  MoveBuffer(m_recordCount, m_activeRecord);
  TRecordBuffer buffer = m_buffers[static_cast<size_t>(m_activeRecord)];
  InitRecord(buffer);
  if (m_recordCount == 0) {
    SetBookmarkFlag(buffer, bfBOF);
  } else if (!current.empty()) {
    SetBookmarkData(buffer, current.data());
  }
  if (m_recordCount < m_bufferCount) ++m_recordCount;
  if (m_currentRecord >= m_activeRecord) CursorPosChanged();
  InternalInsert();
  EndInsertAppend();
}

void TDataSet::Edit() {
  if (m_state == dsEdit || m_state == dsInsert) return;
  if (m_recordCount == 0) {
    Insert();
    return;
  }
  CheckBrowseMode();
  CheckCanModify();
  DoBeforeEdit();
  CheckOperation([this] { InternalEdit(); }, OnEditError);
  GetCalcFields(ActiveBuffer());
  SetState(dsEdit);
  DataEvent(deRecordChange, 0);
  DoAfterEdit();
}

void TDataSet::Post() {
  UpdateRecord();
  switch (m_state) {
    case dsEdit:
    case dsInsert:
      DataEvent(deCheckBrowseMode, 0);
      DoBeforePost();
      CheckOperation([this] { InternalPost(); }, OnPostError);
      FreeFieldBuffers();
      SetState(dsBrowse);
      Resync(rmNone);
      DoAfterPost();
      break;
    case dsSetKey:
      SetState(dsBrowse);
      break;
    default:
      break;
  }
}

void TDataSet::Cancel() {
  if (m_state != dsEdit && m_state != dsInsert) return;
  DataEvent(deCheckBrowseMode, 0);
  DoBeforeCancel();
  bool doScroll = m_state == dsInsert;
  if (doScroll) DoBeforeScroll();
  UpdateCursorPos();
  InternalCancel();
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync(rmNone);
  DoAfterCancel();
  if (doScroll) DoAfterScroll();
}

void TDataSet::Delete() {
  CheckActive();
  if (m_state == dsInsert || m_state == dsSetKey) {
    Cancel();
    return;
  }
  if (m_recordCount == 0) DatabaseError("Cannot perform this operation on an empty dataset", this);
  DataEvent(deCheckBrowseMode, 0);
  DoBeforeDelete();
  DoBeforeScroll();
  CheckOperation([this] { InternalDelete(); }, OnDeleteError);
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync(rmNone);
  DoAfterDelete();
  DoAfterScroll();
}

void TDataSet::Refresh() {
  CheckBrowseMode();
  UpdateCursorPos();
  InternalRefresh();
  Resync(rmNone);
}
