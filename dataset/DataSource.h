// Data sources and data links: how viewers (grids) and handlers hear of a
// dataset's changes. A dataset tells its data sources; a data source tells
// its viewers' links, then calls its own handlers.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "dataset/DataSet.h"
#include "runtime/Component.h"
#include "runtime/ListenerList.h"

class TDataLink;

// Watches one dataset and forwards its notifications. An owned component;
// the dataset and the links it serves are not owned. Destroying either side
// detaches it from the other.
class TDataSource : public TComponent {
 public:
  using TDataChangeEvent = std::function<void(TDataSource* Sender, TField* Field)>;
  using TSourceNotifyEvent = std::function<void(TDataSource* Sender)>;

  explicit TDataSource(TComponent* AOwner = nullptr);
  ~TDataSource() override;

  TDataSet* DataSet() const noexcept { return m_dataSet; }
  // Attaches (registers with the dataset); fails with "Circular datalinks
  // are not allowed" when the dataset is fed by this data source.
  void SetDataSet(TDataSet* dataSet);
  // A disabled data source reports Inactive and forwards nothing.
  bool Enabled() const noexcept { return m_enabled; }
  void SetEnabled(bool value);
  bool AutoEdit() const noexcept { return m_autoEdit; }
  void SetAutoEdit(bool value) { m_autoEdit = value; }
  // The dataset's state while enabled and attached, else dsInactive.
  TDataSetState State() const noexcept { return m_state; }
  // Puts the dataset into Edit when AutoEdit allows and it is browsing.
  void Edit();
  // True when this data source feeds `dataSet` through master links.
  bool IsLinkedTo(const TDataSet* dataSet) const;

  int DataLinkCount() const noexcept { return static_cast<int>(m_dataLinks.size()); }
  TDataLink* DataLinks(int index) const { return m_dataLinks.at(static_cast<size_t>(index)); }

  TSourceNotifyEvent OnStateChange;
  TDataChangeEvent OnDataChange;  // Field is nullptr except for field changes
  TSourceNotifyEvent OnUpdateData;

 private:
  friend class TDataSet;
  friend class TDataLink;

  // Called by the dataset for every event it forwards.
  void DataEvent(TDataEvent event, intptr_t info);
  void NotifyLinks(TDataEvent event, intptr_t info);
  void NotifyDataLinks(TDataEvent event, intptr_t info);
  // NotifyDataLinks for more than one link.
  void NotifyEachLink(TDataEvent event, intptr_t info);
  void UpdateState();
  void AddDataLink(TDataLink* link);
  void RemoveDataLink(TDataLink* link);

  TDataSet* m_dataSet = nullptr;  // not owned; cleared when the dataset goes
  TListenerList<TDataLink*> m_dataLinks;  // not owned; links detach themselves
  TDataSetState m_state = dsInactive;
  bool m_enabled = true;
  bool m_autoEdit = true;
};

// A viewer's connection to a data source. A viewer (a grid, an edit control,
// a master-detail link) derives from it and overrides the reactions it
// needs. The link keeps its own window over the dataset's record buffers:
// BufferCount rows starting at an offset that follows the current row.
class TDataLink {
 public:
  TDataLink() = default;
  virtual ~TDataLink();
  TDataLink(const TDataLink&) = delete;
  TDataLink& operator=(const TDataLink&) = delete;

  TDataSource* DataSource() const noexcept { return m_dataSource; }
  void SetDataSource(TDataSource* dataSource);
  // The watched dataset (nullptr without data source).
  TDataSet* DataSet() const;
  // True while the data source is active (its dataset open and enabled).
  bool Active() const noexcept { return m_active; }
  // True while the dataset is in Edit or Insert (as this link sees it).
  bool Editing() const noexcept { return m_editing; }
  bool ReadOnly() const noexcept { return m_readOnly; }
  void SetReadOnly(bool value);
  // Visual controls are told after the non-visual links.
  bool VisualControl() const noexcept { return m_visualControl; }
  void SetVisualControl(bool value) { m_visualControl = value; }

  // Rows this viewer shows; the dataset's window is the largest request of
  // all links (at least 1). Setting it resizes the window of an open
  // dataset (fetching rows forward), without notification.
  int BufferCount() const noexcept { return m_bufferCount; }
  void SetBufferCount(int value);
  // The current row's index within this link's window (0..RecordCount-1).
  int ActiveRecord() const;
  // Makes row `value` of this link's window the dataset's active buffer, so
  // that fields read that row. Viewers set it temporarily while painting and
  // restore the previous value; no notification is sent.
  void SetActiveRecord(int value);
  // Rows present in this link's window.
  int RecordCount() const;
  bool Bof() const;
  bool Eof() const;
  // Moves the dataset's cursor; returns the rows moved.
  int MoveBy(int distance);
  // Asks the dataset to enter Edit (when the data source's AutoEdit allows);
  // returns Editing().
  bool Edit();
  // Finishes the viewer's pending edit: UpdateData when the record was
  // changed through this link.
  void UpdateRecord();

 protected:
  friend class TDataSource;

  // Reactions; the defaults do nothing.
  virtual void ActiveChanged() {}
  virtual void DataSetChanged() { RecordChanged(nullptr); }
  // The link's window moved by `distance` rows (positive: towards the end).
  virtual void DataSetScrolled(int distance) { DataSetChanged(); }
  virtual void RecordChanged(TField* field) {}
  virtual void LayoutChanged() { DataSetChanged(); }
  virtual void UpdateData() {}
  virtual void EditingChanged() {}
  virtual void CheckBrowseMode() {}
  // `*field` names the field whose control should take focus; a control
  // that takes it sets *field to nullptr.
  virtual void FocusControl(TField** field) {}
  // Receives every event from the data source and dispatches it to the
  // reactions above (keeping this link's window in step first). Override
  // to see raw events; call the base to keep the dispatch.
  virtual void DataEvent(TDataEvent event, intptr_t info);

  // First dataset buffer of this link's window.
  int FirstRecord() const noexcept { return m_firstRecord; }

 private:
  void SetActive(bool value);
  void SetEditing(bool value);
  void UpdateState();
  // Keeps the current row inside the window; returns the rows moved.
  int UpdateRange();

  TDataSource* m_dataSource = nullptr;  // not owned
  int m_firstRecord = 0;
  int m_bufferCount = 1;
  bool m_active = false;
  bool m_editing = false;
  bool m_readOnly = false;
  bool m_visualControl = false;
  bool m_updating = false;
};
