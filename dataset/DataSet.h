// The generic dataset: a cursor over the rows of a result with a state, a
// window of record buffers, navigation, editing and notifications. Concrete
// dataset kinds (Firebird datasets, source queries, the in-memory dataset)
// supply storage and navigation through the protected virtual hooks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dataset/Field.h"
#include "dataset/Variant.h"
#include "runtime/Component.h"
#include "runtime/Exceptions.h"
#include "runtime/Format.h"
#include "runtime/ListenerList.h"

class TDataSet;
class TDataSource;

enum TDataSetState {
  dsInactive, dsBrowse, dsEdit, dsInsert, dsSetKey, dsCalcFields, dsFilter, dsNewValue,
  dsOldValue, dsCurValue, dsBlockRead, dsInternalCalc, dsOpening
};

// Notifications a dataset sends to its data sources (and they to viewers).
enum TDataEvent {
  deFieldChange,       // info: the TField* written
  deRecordChange,      // info: 0 (or a TField*)
  deDataSetChange,     // info: 0
  deDataSetScroll,     // info: buffers the rows moved by (negative when the window moved forward)
  deLayoutChange,
  deUpdateRecord,
  deUpdateState,
  deCheckBrowseMode,
  dePropertyChange,
  deFieldListChange,
  deFocusControl,      // info: TField** (the field whose control should take focus)
  deParentScroll,
  deConnectChange,
  deReconcileError,
  deDisabledStateChange
};

enum TGetMode { gmCurrent, gmNext, gmPrior };
enum TGetResult { grOK, grBOF, grEOF, grError };
enum TBookmarkFlag { bfCurrent, bfBOF, bfEOF, bfInserted };
enum TDataAction { daFail, daAbort, daRetry };

// Resync modes (flags).
enum TResyncMode : unsigned { rmNone = 0, rmExact = 1, rmCenter = 2 };
inline constexpr TResyncMode operator|(TResyncMode a, TResyncMode b) {
  return static_cast<TResyncMode>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}

// Locate options (flags).
enum TLocateOptions : unsigned { loNone = 0, loCaseInsensitive = 1, loPartialKey = 2 };
inline constexpr TLocateOptions operator|(TLocateOptions a, TLocateOptions b) {
  return static_cast<TLocateOptions>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}

// A record buffer: storage laid out by the dataset kind, allocated and freed
// through AllocRecordBuffer/FreeRecordBuffer. The generic dataset only moves
// buffer pointers around.
using TRecordBuffer = std::byte*;
// Bookmark data as the dataset kind writes it (BookmarkSize bytes).
using TBookmark = std::vector<std::byte>;

using TDataSetNotifyEvent = std::function<void(TDataSet* DataSet)>;
using TDataSetErrorEvent =
    std::function<void(TDataSet* DataSet, EDatabaseError& E, TDataAction& Action)>;

// Raises EDatabaseError with `message`, prefixed "%s: " with the component's
// name when it has one.
[[noreturn]] void DatabaseError(const std::string& message, const TComponent* component = nullptr);
[[noreturn]] void DatabaseErrorFmt(std::string_view format, std::initializer_list<FormatArg> args,
                                   const TComponent* component = nullptr);

// The key values of a locate or lookup as a list, one per key field: the
// elements of a variant array, else the one value (references resolved).
std::vector<Variant> LocateKeyValues(const Variant& keyValues);

// Column description of a result, built by the dataset kind when opening.
enum TFieldAttribute : unsigned {
  faNone = 0, faHiddenCol = 1, faReadonly = 2, faRequired = 4, faLink = 8, faUnNamed = 16,
  faFixed = 32
};

class TFieldDefs;

// One column description. Every change goes through a setter, so that it
// counts as a change of the dataset's shape however the description was
// reached (see TDataSet::Shape).
class TFieldDef {
 public:
  const std::string& Name() const noexcept { return m_name; }
  TFieldType DataType() const noexcept { return m_dataType; }
  int Size() const noexcept { return m_size; }            // string length in bytes / decimals of a BCD
  int Precision() const noexcept { return m_precision; }
  bool Required() const noexcept { return m_required; }
  int FieldNo() const noexcept { return m_fieldNo; }       // 1-based column number
  unsigned Attributes() const noexcept { return m_attributes; }

  void SetName(const std::string& name);
  void SetDataType(TFieldType type);
  void SetSize(int size);
  void SetPrecision(int precision);
  void SetRequired(bool required);
  void SetFieldNo(int fieldNo);
  void SetAttributes(unsigned attributes);

 private:
  friend class TFieldDefs;
  explicit TFieldDef(TFieldDefs* owner) : m_owner(owner) {}
  void Changed() const;

  TFieldDefs* m_owner;
  std::string m_name;
  TFieldType m_dataType = ftUnknown;
  int m_size = 0;
  int m_precision = 0;
  bool m_required = false;
  int m_fieldNo = 0;
  unsigned m_attributes = faNone;
};

// The column descriptions of a dataset, in column order. A description
// stays where it is (references to it stay valid) until the list is cleared.
class TFieldDefs {
 public:
  explicit TFieldDefs(TDataSet* dataSet) : m_dataSet(dataSet) {}
  TFieldDefs(const TFieldDefs&) = delete;
  TFieldDefs& operator=(const TFieldDefs&) = delete;

  int Count() const noexcept { return static_cast<int>(m_items.size()); }
  const TFieldDef& operator[](int index) const { return m_items.at(static_cast<size_t>(index)); }
  TFieldDef& operator[](int index) { return m_items.at(static_cast<size_t>(index)); }
  const TFieldDef& Items(int index) const { return (*this)[index]; }
  auto begin() const { return m_items.begin(); }
  auto end() const { return m_items.end(); }

  // Appends a description; its FieldNo is its 1-based position. The
  // reference is for filling the description in.
  TFieldDef& Add(const std::string& name, TFieldType type, int size = 0, bool required = false);
  void Clear();
  // Index by name ignoring case, or -1.
  int IndexOf(std::string_view name) const;
  const TFieldDef* Find(std::string_view name) const;
  // Set when the list reflects the current select (kinds clear it when the
  // query text changes).
  bool Updated() const noexcept { return m_updated; }
  void SetUpdated(bool v) { m_updated = v; }

 private:
  friend class TFieldDef;
  void Changed() const;

  TDataSet* m_dataSet;  // whose shape the list is part of
  std::deque<TFieldDef> m_items;
  bool m_updated = false;
};

// The generic dataset. An owned, named component; see the file head.
//
// How a dataset kind plugs in (all protected virtuals):
//  - Open:   InternalOpen (build FieldDefs via InternalInitFieldDefs, call
//            CreateFields() when DefaultFields(), then BindFields(true), set
//            BookmarkSize) and IsCursorOpen; OpenCursor/CloseCursor may be
//            extended (call the base first in CloseCursor).
//  - Close:  InternalClose (call BindFields(false) and, when DefaultFields(),
//            DestroyFields()).
//  - Rows:   AllocRecordBuffer/FreeRecordBuffer, GetRecord (fills a buffer
//            with the current/next/prior row and moves the cursor),
//            InternalFirst/InternalLast (cursor before first / after last),
//            InternalSetToRecord (cursor onto a buffer's row), bookmark data
//            and flag accessors, InternalGotoBookmark, GetRecordSize.
//            Buffers outlive a close: the next open takes them back unless
//            GetRecordSize changed, so a buffer may be freed after the
//            layout changed (freeing must not depend on the layout) and a
//            reused one holds the last open's bytes until GetRecord or
//            InitRecord fills it.
//  - Values: GetFieldData/SetFieldData on the active buffer (native forms of
//            Field.h); SetFieldData must call field->Validate(buffer) first and
//            DataEvent(deFieldChange, field) after storing.
//  - Edit:   InternalInitRecord, InternalInsert, InternalEdit, InternalCancel,
//            InternalPost (call the base: required-field check),
//            InternalDelete, GetCanModify.
//  - Search: Locate, Lookup; counts: GetRecordCount, GetRecNo.
//  - Destruction: the kind's destructor calls Destroying() and then
//    SetActive(false), because the hooks are gone once ~TDataSet runs.
// Kinds that keep their rows in a cache of their own derive from
// TCachedDataSet (CachedDataSet.h), which supplies the row navigation,
// bookmark and count hooks over that cache.
class TDataSet : public TComponent {
 public:
  explicit TDataSet(TComponent* AOwner = nullptr);
  // Closes (without the close handlers), detaches the data sources and
  // destroys the fields still in the list.
  ~TDataSet() override;

  // --- state ---------------------------------------------------------------
  TDataSetState State() const noexcept { return m_state; }
  // True unless Inactive or Opening.
  bool Active() const noexcept { return m_state != dsInactive && m_state != dsOpening; }
  // Opens or closes; while loading the request is applied at the end of
  // loading.
  virtual void SetActive(bool value);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }
  bool Modified() const noexcept { return m_modified; }
  void SetModified(bool v) { m_modified = v; }
  bool Bof() const noexcept { return m_bof; }
  bool Eof() const noexcept { return m_eof; }
  bool IsEmpty() const noexcept { return m_activeRecord >= m_recordCount; }
  bool IsUniDirectional() const noexcept { return m_uniDirectional; }
  bool CanModify() const { return GetCanModify(); }
  // Sets the state without notification and returns the previous one (for
  // reading other buffers, e.g. dsOldValue); pair with RestoreState.
  TDataSetState SetTempState(TDataSetState value);
  void RestoreState(TDataSetState value);

  // --- navigation ----------------------------------------------------------
  void First();
  void Last();
  void Next() { MoveBy(1); }
  void Prior() { MoveBy(-1); }
  // Returns the number of rows moved.
  int MoveBy(int distance);
  // Rows of the result (-1 when the kind cannot tell); 1-based current row.
  int RecordCount() const { return GetRecordCount(); }
  int RecNo() const { return GetRecNo(); }
  void SetRecNo(int value) { SetRecNoImpl(value); }

  // --- editing -------------------------------------------------------------
  void Append();
  void Insert();
  void Edit();
  virtual void Post();
  virtual void Cancel();
  void Delete();
  // Re-reads the window around the current row.
  void Refresh();
  // Fails when closed; finishes a pending edit (post when modified, else
  // cancel). Runs at the start of every navigation and of append.
  void CheckBrowseMode();
  // Fails unless Edit/Insert/SetKey; asks viewers to hand in pending edits.
  void UpdateRecord();
  // Rebuilds the window around the cursor's row (see TResyncMode).
  virtual void Resync(TResyncMode mode);

  // --- fields --------------------------------------------------------------
  TFields& Fields() noexcept { return *m_fields; }
  const TFields& Fields() const noexcept { return *m_fields; }
  int FieldCount() const noexcept { return m_fields->Count(); }
  TFieldDefs& FieldDefs() noexcept { return *m_fieldDefs; }
  const TFieldDefs& FieldDefs() const noexcept { return *m_fieldDefs; }
  // True while the fields were created by the dataset at open.
  bool DefaultFields() const noexcept { return m_defaultFields; }
  TField* FindField(std::string_view name) const { return m_fields->FindField(name); }
  TField* FieldByName(std::string_view name) const { return m_fields->FieldByName(name); }
  TField* FieldByNumber(int fieldNo) const { return m_fields->FieldByNumber(fieldNo); }
  // Fields named in a ";"-separated list (blanks around names trimmed), each
  // through FieldByName.
  void GetFieldList(std::vector<TField*>& list, std::string_view fieldNames) const;
  std::vector<TField*> GetFieldList(std::string_view fieldNames) const;
  void GetFieldNames(std::vector<std::string>& names) const;
  // Makes the column descriptions available without opening (InfoQuery).
  void UpdateFieldDefs();

  // --- shape ---------------------------------------------------------------
  // Which fields the dataset lists (their class, name, kind, type and size)
  // and which column descriptions it has. Raised by the field list when a
  // field comes, goes or changes one of those properties, by the column
  // descriptions when one is added, changed (through whatever reference) or
  // the list is cleared, and by a dataset kind that builds its column layout
  // anew (ShapeChanged). Every table worked out from fields and columns
  // stores the shape it was built for and rebuilds when it differs:
  // FindField's answers and BindFields' lookups here; a Firebird dataset's
  // post parameter routes, locate key fields, column maps, origins, sort
  // fields and field information; a grid's columns. Never 0, so 0 can mean
  // "not built".
  uint64_t Shape() const noexcept { return m_shape; }

  // --- search --------------------------------------------------------------
  // keyValues: one variant for one key field, else a variant array with one
  // element per field. The generic dataset finds nothing.
  virtual bool Locate(const std::string& keyFields, const Variant& keyValues,
                      TLocateOptions options);
  virtual Variant Lookup(const std::string& keyFields, const Variant& keyValues,
                         const std::string& resultFields);

  // --- bookmarks -----------------------------------------------------------
  // The current row's bookmark (empty when there is none).
  TBookmark GetBookmark() const;
  void GotoBookmark(const TBookmark& bookmark);
  virtual bool BookmarkValid(const TBookmark& bookmark) const;
  // <0, 0, >0; empty bookmarks sort first.
  virtual int CompareBookmarks(const TBookmark& a, const TBookmark& b) const;

  // --- notifications -------------------------------------------------------
  // Suspends forwarding of data events (counted); the last EnableControls
  // sends one update state (if the state changed) and one data set change.
  void DisableControls();
  void EnableControls();
  bool ControlsDisabled() const noexcept { return m_disableCount != 0; }
  int DataSourceCount() const noexcept { return static_cast<int>(m_dataSources.size()); }
  TDataSource* DataSources(int index) const { return m_dataSources.at(static_cast<size_t>(index)); }
  // The master data source of a detail dataset (none for the generic one);
  // used by the circular-link check of data sources.
  virtual TDataSource* GetDataSource() const { return nullptr; }
  // True when this dataset is (through master links) fed by `dataSource`.
  bool IsLinkedTo(const TDataSource* dataSource) const;

  // --- record window (read by viewers and kinds) ---------------------------
  // The buffer of the current row (nullptr when the window is empty).
  TRecordBuffer ActiveBuffer() const;
  int ActiveRecord() const noexcept { return m_activeRecord; }
  // Rows held in the window.
  int WindowRecordCount() const noexcept { return m_recordCount; }
  // Window size (buffers besides the scratch buffer).
  int BufferCount() const noexcept { return m_bufferCount; }

  // Field data of the active buffer in native form (Field.h); false when the
  // field is null. The non-native form converts date/time values through
  // DataConvert.
  virtual bool GetFieldData(TField* field, void* buffer) = 0;
  // Inline: every value read and written comes through here, nearly all of
  // them needing no conversion.
  bool ReadFieldData(TField* field, void* buffer, bool nativeFormat) {
    if (nativeFormat || !buffer || !IsDateTimeType(field->DataType())) return GetFieldData(field, buffer);
    return ReadConvertedFieldData(field, buffer);
  }
  virtual void SetFieldData(TField* field, const void* buffer) = 0;
  void WriteFieldData(TField* field, const void* buffer, bool nativeFormat) {
    if (nativeFormat || !buffer || !IsDateTimeType(field->DataType())) return SetFieldData(field, buffer);
    WriteConvertedFieldData(field, buffer);
  }
  // Converts text in place between the kind's character set and the system
  // code page; the generic one leaves it as it is. In place: every text
  // value read goes through it.
  virtual void Translate(std::string& text, bool toOem) const;

  // Handlers. OnPostError chooses what a failing post hook does.
  TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
  TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
  TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
  TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
  TDataSetNotifyEvent OnNewRecord, OnCalcFields;
  TDataSetErrorEvent OnPostError, OnEditError, OnDeleteError;

 protected:
  friend class TDataSource;
  friend class TDataLink;
  friend class TField;
  friend class TFields;
  friend class TFieldDefs;

  // Raises Shape (see there).
  void ShapeChanged() noexcept { ++m_shape; }

  // --- hooks, in the order the dataset model declares them ------------------
  // Fails with "Cannot perform this operation on an open dataset" when open.
  virtual void CheckInactive() const;
  // Generic part: forgets the open, frees field buffers, clears and shrinks
  // the window, then InternalClose when the cursor is open. Kinds extending
  // it call the base first.
  virtual void CloseCursor();
  // Converts one value between native (Field.h) and TDateTime forms.
  virtual void DataConvert(TField* field, const void* source, void* dest, bool toNative);
  // ReadFieldData and WriteFieldData of a date/time value in TDateTime form.
  bool ReadConvertedFieldData(TField* field, void* buffer);
  void WriteConvertedFieldData(TField* field, const void* buffer);
  // Local reaction to an event, then forwarding to the data sources.
  virtual void DataEvent(TDataEvent event, intptr_t info);
  virtual void DoAfterCancel();
  virtual void DoAfterClose();
  virtual void DoAfterDelete();
  virtual void DoAfterEdit();
  virtual void DoAfterInsert();
  virtual void DoAfterOpen();
  virtual void DoAfterPost();
  virtual void DoAfterScroll();
  virtual void DoBeforeCancel();
  virtual void DoBeforeClose();
  virtual void DoBeforeDelete();
  virtual void DoBeforeEdit();
  virtual void DoBeforeInsert();
  virtual void DoBeforeOpen();
  virtual void DoBeforePost();
  virtual void DoBeforeScroll();
  virtual void DoOnCalcFields();
  virtual void DoOnNewRecord();
  // Releases per-row field caches (blob buffers) after post/cancel.
  virtual void FreeFieldBuffers();
  virtual bool GetCanModify() const { return true; }
  // Fills `buffer` with the row at the cursor (gmCurrent) or the one after /
  // before it, moving the cursor. grBOF/grEOF when there is none; doCheck
  // asks the kind to raise its errors instead of returning grError.
  virtual TGetResult GetRecord(TRecordBuffer buffer, TGetMode getMode, bool doCheck) = 0;
  // Prepares a new empty row: InternalInitRecord, calculated values cleared,
  // flag bfInserted.
  virtual void InitRecord(TRecordBuffer buffer);
  virtual void InternalCancel() {}
  virtual void InternalEdit() {}
  virtual void InternalInsert() {}
  // Generic: InternalInitFieldDefs when InfoQuery, else the open hook
  // through DoInternalOpen.
  virtual void OpenCursor(bool infoQuery);
  virtual TRecordBuffer AllocRecordBuffer() = 0;
  virtual void FreeRecordBuffer(TRecordBuffer& buffer) = 0;
  virtual void GetBookmarkData(TRecordBuffer buffer, void* data) const = 0;
  virtual TBookmarkFlag GetBookmarkFlag(TRecordBuffer buffer) const = 0;
  virtual void SetBookmarkData(TRecordBuffer buffer, const void* data) = 0;
  virtual void SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag value) = 0;
  virtual int GetRecordSize() const { return 0; }
  virtual void InternalDelete() {}
  virtual void InternalFirst() = 0;
  virtual void InternalLast() = 0;
  virtual void InternalGotoBookmark(const void* bookmark) = 0;
  virtual void InternalSetToRecord(TRecordBuffer buffer) = 0;
  virtual void InternalClose() = 0;
  // Called for an exception raised while loading; the generic one rethrows.
  virtual void InternalHandleException();
  virtual void InternalInitFieldDefs() = 0;
  virtual void InternalOpen() = 0;
  virtual bool IsCursorOpen() const = 0;
  // Generic: checks required fields ("Field '%s' must have a value").
  virtual void InternalPost();
  virtual void InternalInitRecord(TRecordBuffer buffer) {}
  virtual void InternalRefresh() {}
  virtual void ClearCalcFields(TRecordBuffer buffer) {}
  // Lookup and OnCalcFields values of a buffer (kinds call it from GetRecord).
  virtual void CalculateFields(TRecordBuffer buffer);
  virtual int GetRecordCount() const { return -1; }
  virtual int GetRecNo() const { return -1; }
  virtual void SetRecNoImpl(int value) {}
  // Type/size compatibility of a persistent field with its column: "Type
  // mismatch for field '%s', expecting: %s actual: %s" and "Size mismatch for
  // field '%s', expecting: %d actual: %d" (prefixed).
  virtual void CheckFieldCompatibility(TField* field, const TFieldDef& def);
  // The field object a column description becomes (nullptr = no field).
  virtual TField* CreateFieldForDef(const TFieldDef& def, TComponent* owner);
  void Loaded() override;

  // --- helpers for kinds ----------------------------------------------------
  void SetState(TDataSetState value);
  void SetUniDirectional(bool v) { m_uniDirectional = v; }
  void CheckActive() const;      // "Cannot perform this operation on a closed dataset"
  void CheckBiDirectional() const;
  void CheckCanModify() const;   // "Cannot modify a read-only dataset"
  // One default field per column description (not hidden ones).
  void CreateFields();
  void DestroyFields();
  // Binds each data field to the description of its name (FieldNo) or
  // unbinds all. Which description a field's name finds is kept while the
  // descriptions and the fields stay the same: a detail reopened for every
  // master row looks each name up once.
  void BindFields(bool binding);
  // Runs CalculateFields for a buffer in the CalcFields state when the
  // dataset has calculated fields.
  void GetCalcFields(TRecordBuffer buffer);
  int CalcFieldsCount() const noexcept { return m_fields->CalcCount(); }
  TRecordBuffer Buffers(int index) const { return m_buffers.at(static_cast<size_t>(index)); }
  // The buffer the calculation reads/writes while in the CalcFields state.
  TRecordBuffer CalcBuffer() const noexcept { return m_calcBuffer; }
  int CurrentRecord() const noexcept { return m_currentRecord; }
  // Marks the underlying cursor position unknown.
  void CursorPosChanged() noexcept { m_currentRecord = -1; }
  // Puts the cursor onto the active buffer's row when it is elsewhere.
  void UpdateCursorPos();
  // Inline: the window asks for every row it reads, mostly where the cursor is.
  void SetCurrentRecord(int index) {
    if (m_currentRecord != index) MoveCursorToBuffer(index);
  }
  int BookmarkSize() const noexcept { return m_bookmarkSize; }
  void SetBookmarkSize(int v) { m_bookmarkSize = v; }
  void SetActiveRecord(int value);
  void ClearBuffers();
  bool GetNextRecord();
  bool GetPriorRecord();
  int GetNextRecords();
  int GetPriorRecords();
  // Resizes the window to the largest window size any viewer asks for.
  void UpdateBufferCount();
  // The window index of the buffer that holds the row the cursor is on, -1
  // when none does or the kind cannot tell (the generic answer). Resync
  // reads the rows back into the buffers that held them from there.
  virtual int CursorRowInWindow() const { return -1; }
  virtual void SetBufferCount(int value);
  // Runs a modifying hook under an error handler (OnPostError ...).
  void CheckOperation(const std::function<void()>& operation, const TDataSetErrorEvent& handler);
  bool InternalOpenComplete() const noexcept { return m_internalOpenComplete; }

 private:
  void DoInternalOpen();
  void OpenCursorComplete();
  void BeginInsertAppend();
  void EndInsertAppend();
  void MoveBuffer(int curIndex, int newIndex);
  // SetCurrentRecord when the cursor is elsewhere.
  void MoveCursorToBuffer(int index);
  // Record buffers kept from the last open (see CloseCursor): reused while
  // the kind's GetRecordSize stays what it was, else handed back.
  TRecordBuffer TakeRecordBuffer();
  void KeepBuffers();
  void ReleaseKeptBuffers();
  void ActivateBuffers();
  void AddDataSource(TDataSource* ds);
  void RemoveDataSource(TDataSource* ds);
  // Part of DataEvent: the local reaction to a field change.
  void FieldChanged(TField* field);

  TDataSetState m_state = dsInactive;
  TDataSetState m_disableState = dsInactive;
  TDataEvent m_enableEvent = deDataSetChange;
  int m_disableCount = 0;
  bool m_modified = false;
  bool m_bof = true;
  bool m_eof = true;
  bool m_uniDirectional = false;
  bool m_defaultFields = false;
  bool m_internalOpenComplete = false;
  bool m_streamedActive = false;
  std::unique_ptr<TFields> m_fields;
  std::unique_ptr<TFieldDefs> m_fieldDefs;
  TListenerList<TDataSource*> m_dataSources;  // not owned; they detach themselves
  std::vector<TRecordBuffer> m_buffers;      // m_bufferCount window buffers + 1 scratch
  std::vector<TRecordBuffer> m_keptBuffers;  // from the last open, m_keptRecordSize bytes each
  int m_keptRecordSize = 0;
  int m_bufferRecordSize = 0;  // GetRecordSize() when the window's buffers were made
  int m_bufferCount = 0;
  int m_recordCount = 0;
  int m_activeRecord = 0;
  int m_currentRecord = -1;
  int m_bookmarkSize = 0;
  TRecordBuffer m_calcBuffer = nullptr;
  uint64_t m_shape = 1;
  // BindFields' lookups: per field, the index of the description its name
  // finds (-1: not looked up), for this shape.
  std::vector<int> m_boundDefs;
  uint64_t m_boundShape = 0;
};
