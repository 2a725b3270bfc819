// Data sources and data links: forwarding a dataset's events to viewers and
// handlers, and each viewer's window over the dataset's record buffers.
#include "dataset/DataSource.h"

#include <algorithm>

#include "runtime/ScopeGuard.h"

// --- TDataSource --------------------------------------------------------------

TDataSource::TDataSource(TComponent* AOwner) : TComponent(AOwner) {}

TDataSource::~TDataSource() {
  Destroying();
  while (!m_dataLinks.empty()) m_dataLinks.back()->SetDataSource(nullptr);
  SetDataSet(nullptr);
}

void TDataSource::SetDataSet(TDataSet* dataSet) {
  if (dataSet == m_dataSet) return;
  if (dataSet && IsLinkedTo(dataSet)) DatabaseError("Circular datalinks are not allowed", this);
  if (m_dataSet) m_dataSet->RemoveDataSource(this);
  m_dataSet = dataSet;
  if (m_dataSet) m_dataSet->AddDataSource(this);
  UpdateState();
}

bool TDataSource::IsLinkedTo(const TDataSet* dataSet) const {
  return dataSet && dataSet->IsLinkedTo(this);
}

void TDataSource::SetEnabled(bool value) {
  if (value == m_enabled) return;
  m_enabled = value;
  UpdateState();
}

void TDataSource::Edit() {
  if (m_autoEdit && m_dataSet && m_state == dsBrowse) m_dataSet->Edit();
}

void TDataSource::UpdateState() {
  TDataSetState state = m_enabled && m_dataSet ? m_dataSet->State() : dsInactive;
  if (state == m_state) return;
  TDataSetState prior = m_state;
  m_state = state;
  NotifyDataLinks(deUpdateState, 0);
  if (IsDestroying()) return;
  if (OnStateChange) OnStateChange(this);
  // Coming alive counts as a change of data: a handler sees the first row.
  if (prior == dsInactive && OnDataChange) OnDataChange(this, nullptr);
}

void TDataSource::DataEvent(TDataEvent event, intptr_t info) {
  if (event == deUpdateState) {
    UpdateState();
    return;
  }
  if (m_state == dsInactive) return;
  NotifyDataLinks(event, info);
  if (IsDestroying()) return;
  switch (event) {
    case deFieldChange:
      if (OnDataChange) OnDataChange(this, reinterpret_cast<TField*>(info));
      break;
    case deRecordChange:
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange:
      if (OnDataChange) OnDataChange(this, nullptr);
      break;
    case deUpdateRecord:
      if (OnUpdateData) OnUpdateData(this);
      break;
    default:
      break;
  }
}

void TDataSource::NotifyDataLinks(TDataEvent event, intptr_t info) {
  // Non-visual links (such as master-detail links) first, so that the data
  // they drive is current before any control repaints; each group from the
  // most recently attached link to the first.
  if (m_dataLinks.size() <= 1) {
    m_dataLinks.Call([&](TDataLink* link) { link->DataEvent(event, info); });
    return;
  }
  NotifyEachLink(event, info);
}

void TDataSource::NotifyEachLink(TDataEvent event, intptr_t info) {
  // One round for both groups: a link attached meanwhile waits for the next event.
  const TListenerList<TDataLink*>::TRound links(m_dataLinks);
  for (bool visual : {false, true})
    links.Call(
        [&](TDataLink* link) {
          if (link->VisualControl() == visual) link->DataEvent(event, info);
        },
        true);
}

void TDataSource::AddDataLink(TDataLink* link) {
  m_dataLinks.Add(link);
  if (m_dataSet) m_dataSet->UpdateBufferCount();
}

void TDataSource::RemoveDataLink(TDataLink* link) {
  m_dataLinks.Remove(link);
  if (m_dataSet && !m_dataSet->IsDestroying()) m_dataSet->UpdateBufferCount();
}

// --- TDataLink ----------------------------------------------------------------

TDataLink::~TDataLink() {
  // The viewer's overrides are gone by now: detach without reactions.
  m_active = false;
  m_editing = false;
  if (m_dataSource) m_dataSource->RemoveDataLink(this);
  m_dataSource = nullptr;
}

void TDataLink::SetDataSource(TDataSource* dataSource) {
  if (dataSource == m_dataSource) return;
  if (m_dataSource) m_dataSource->RemoveDataLink(this);
  m_dataSource = dataSource;
  if (m_dataSource) m_dataSource->AddDataLink(this);
  UpdateState();
}

TDataSet* TDataLink::DataSet() const { return m_dataSource ? m_dataSource->DataSet() : nullptr; }

void TDataLink::SetReadOnly(bool value) {
  if (value == m_readOnly) return;
  m_readOnly = value;
  UpdateState();
}

void TDataLink::SetBufferCount(int value) {
  if (value < 1) value = 1;
  if (value == m_bufferCount) return;
  m_bufferCount = value;
  if (TDataSet* ds = DataSet()) {
    ds->UpdateBufferCount();
    if (m_active) UpdateRange();
  }
}

int TDataLink::ActiveRecord() const {
  TDataSet* ds = DataSet();
  if (!ds || !m_active || m_dataSource->State() == dsSetKey) return 0;
  return ds->ActiveRecord() - m_firstRecord;
}

void TDataLink::SetActiveRecord(int value) {
  TDataSet* ds = DataSet();
  if (!ds || !m_active || m_dataSource->State() == dsSetKey) return;
  ds->SetActiveRecord(value + m_firstRecord);
}

int TDataLink::RecordCount() const {
  TDataSet* ds = DataSet();
  if (!ds || !m_active) return 0;
  int count = ds->WindowRecordCount() - m_firstRecord;
  return std::clamp(count, 0, m_bufferCount);
}

bool TDataLink::Bof() const {
  TDataSet* ds = DataSet();
  return ds ? ds->Bof() : true;
}

bool TDataLink::Eof() const {
  TDataSet* ds = DataSet();
  return ds ? ds->Eof() : true;
}

int TDataLink::MoveBy(int distance) {
  TDataSet* ds = DataSet();
  return ds ? ds->MoveBy(distance) : 0;
}

bool TDataLink::Edit() {
  if (!m_readOnly && m_dataSource) m_dataSource->Edit();
  return m_editing;
}

void TDataLink::UpdateRecord() {
  m_updating = true;
  const TScopeGuard reset([this] { m_updating = false; });
  UpdateData();
}

void TDataLink::SetActive(bool value) {
  if (value == m_active) return;
  m_active = value;
  if (value)
    UpdateRange();
  else
    m_firstRecord = 0;
  ActiveChanged();
}

void TDataLink::SetEditing(bool value) {
  if (value == m_editing) return;
  m_editing = value;
  EditingChanged();
}

void TDataLink::UpdateState() {
  TDataSetState state = m_dataSource ? m_dataSource->State() : dsInactive;
  SetActive(state != dsInactive);
  SetEditing((state == dsEdit || state == dsInsert || state == dsSetKey) && !m_readOnly);
}

int TDataLink::UpdateRange() {
  TDataSet* ds = DataSet();
  if (!ds) return 0;
  int old = m_firstRecord;
  int active = ds->ActiveRecord();
  int low = std::max(0, active - m_bufferCount + 1);
  int high = std::max(0, ds->BufferCount() - m_bufferCount);
  high = std::min(high, active);
  m_firstRecord = std::clamp(m_firstRecord, low, std::max(low, high));
  return m_firstRecord - old;
}

void TDataLink::DataEvent(TDataEvent event, intptr_t info) {
  if (event == deUpdateState) {
    UpdateState();
    return;
  }
  if (!m_active) return;
  switch (event) {
    case deFieldChange:
    case deRecordChange:
      if (!m_updating) RecordChanged(reinterpret_cast<TField*>(info));
      break;
    case deDataSetChange:
      UpdateRange();
      DataSetChanged();
      break;
    case deDataSetScroll:
      // The dataset's rows moved by `info` buffers; follow them, then keep
      // the current row in view. What remains is how far this window moved.
      m_firstRecord += static_cast<int>(info);
      DataSetScrolled(UpdateRange());
      break;
    case deLayoutChange:
      UpdateRange();
      LayoutChanged();
      break;
    case deUpdateRecord:
      UpdateRecord();
      break;
    case deCheckBrowseMode:
      CheckBrowseMode();
      break;
    case deFocusControl:
      FocusControl(reinterpret_cast<TField**>(info));
      break;
    default:
      break;
  }
}
