// Field objects: the typed view of one column of a dataset's current row,
// with their value conversions, display texts and range checks, and the
// ordered field list a dataset holds.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dataset/Variant.h"
#include "runtime/CodePage.h"
#include "runtime/Component.h"
#include "runtime/Currency.h"
#include "runtime/DateText.h"
#include "runtime/Exceptions.h"

class TDataSet;
class TField;

// Data types in their classic order (the numeric values are stored by other
// layers).
enum TFieldType {
  ftUnknown, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat, ftCurrency, ftBCD,
  ftDate, ftTime, ftDateTime, ftBytes, ftVarBytes, ftAutoInc, ftBlob, ftMemo, ftGraphic,
  ftFmtMemo, ftParadoxOle, ftDBaseOle, ftTypedBinary, ftCursor, ftFixedChar, ftWideString,
  ftLargeint, ftADT, ftArray, ftReference, ftDataSet, ftOraBlob, ftOraClob, ftVariant,
  ftInterface, ftIDispatch, ftGuid, ftTimeStamp, ftFMTBcd
};

// Name of a data type as messages and memo/blob cells show it: "String",
// "SmallInt", "Integer", "Memo", "Blob", ...
const char* FieldTypeName(TFieldType type);

enum TFieldKind { fkData, fkCalculated, fkLookup, fkInternalCalc, fkAggregate };
enum TAlignment { taLeftJustify, taRightJustify, taCenter };

// Raised by a dataset kind (from GetFieldData) when a stored decimal does not
// fit the BCD value; display texts show "BCD overflow" for it.
RUNTIME_DECLARE_EXCEPTION(EBcdOverflow, Exception);

// Field data exchanged with a dataset (TDataSet::GetFieldData/SetFieldData)
// uses these native forms; `buffer` points at storage of DataSize() bytes:
//   ftString, ftFixedChar, ftGuid: char[Size+1], NUL-terminated 8-bit text
//   ftWideString:                  a std::u16string object
//   ftSmallint int16_t; ftInteger, ftAutoInc int32_t; ftWord uint16_t;
//   ftLargeint int64_t; ftBoolean int16_t (non-zero = true)
//   ftFloat, ftCurrency:           double
//   ftBCD:                         Currency (count of 1/10,000)
//   ftDate:   int32_t day number, 1 January 0001 = day 1
//   ftTime:   int32_t milliseconds since midnight
//   ftDateTime, ftTimeStamp: double, milliseconds since day 0 of the day numbering
//   ftBlob, ftMemo, ftGraphic, ftFmtMemo, ..., ftBytes, ftVarBytes: a std::string of bytes
//   ftVariant:                     a Variant object
// Date and time fields ask for the non-native form (a TDateTime double);
// TDataSet::DataConvert translates between the two.
inline constexpr int kDateDelta = 693594;  // day number of 30 December 1899

// Helpers for dataset kinds that keep values as variants: native buffer of
// `field` -> variant, and variant -> native buffer (raises the variant
// conversion errors).
Variant NativeToVariant(const TField& field, const void* buffer);
void VariantToNative(const TField& field, const Variant& value, void* buffer);
// The date and time types: kept in native forms of their own, and read and
// written as TDateTime outside the native form.
inline bool IsDateTimeType(TFieldType type) {
  return type == ftDate || type == ftTime || type == ftDateTime || type == ftTimeStamp;
}
// Date/time values of the native forms of `type` (ftDate, ftTime,
// ftDateTime, ftTimeStamp) to and from TDateTime.
TDateTime NativeToDateTime(TFieldType type, const void* buffer);
void DateTimeToNative(TFieldType type, TDateTime value, void* buffer);
// Copies a native value (object forms by assignment).
void CopyNativeData(TFieldType type, int dataSize, const void* source, void* dest);

// A field: an owned, named component bound to one column of a dataset. It
// keeps no value of its own; every read and write goes through its dataset's
// active record buffer. Persistent fields are created by the form before the
// dataset opens and survive closing; default fields are created and destroyed
// by the dataset. A field removes itself from its dataset when destroyed.
class TField : public TComponent {
 public:
  using TFieldNotifyEvent = std::function<void(TField* Sender)>;
  using TFieldGetTextEvent = std::function<void(TField* Sender, std::string& Text, bool DisplayText)>;
  using TFieldSetTextEvent = std::function<void(TField* Sender, const std::string& Text)>;

  explicit TField(TComponent* AOwner = nullptr);
  ~TField() override;

  // Attaching adds the field at the end of the dataset's field list
  // (requires the dataset inactive: "Cannot perform this operation on an open
  // dataset").
  TDataSet* DataSet() const noexcept { return m_dataSet; }
  void SetDataSet(TDataSet* dataSet);

  const std::string& FieldName() const noexcept { return m_fieldName; }
  void SetFieldName(const std::string& name);
  const std::string& DisplayLabel() const noexcept { return m_displayLabel; }
  void SetDisplayLabel(const std::string& label);
  // DisplayLabel when set, else FieldName; used in messages.
  const std::string& DisplayName() const noexcept;
  // Owners' names and own name joined by "."; when the field has no name,
  // the dataset's full name, ".", and the field name.
  std::string FullName() const;

  TFieldType DataType() const noexcept { return m_dataType; }
  int Size() const noexcept { return m_size; }
  virtual void SetSize(int size);
  // Bytes of the native value (see above).
  virtual int DataSize() const;
  TFieldKind FieldKind() const noexcept { return m_fieldKind; }
  void SetFieldKind(TFieldKind kind);
  bool Calculated() const noexcept { return m_fieldKind == fkCalculated; }
  bool Lookup() const noexcept { return m_fieldKind == fkLookup; }
  bool IsBlob() const noexcept;
  // 1-based column number when bound; 0 unbound; -1 for calculated fields.
  int FieldNo() const noexcept { return m_fieldNo; }
  // Position in the dataset's field list (-1 without dataset).
  int Index() const;

  bool ReadOnly() const noexcept { return m_readOnly; }
  void SetReadOnly(bool v) { m_readOnly = v; }
  bool Required() const noexcept { return m_required; }
  void SetRequired(bool v) { m_required = v; }
  bool Visible() const noexcept { return m_visible; }
  void SetVisible(bool v);
  // Characters a grid column shows by default.
  int DisplayWidth() const;
  void SetDisplayWidth(int width);
  TAlignment Alignment() const noexcept { return m_alignment; }
  void SetAlignment(TAlignment a);
  // Carried for dataset kinds.
  const std::string& DefaultExpression() const noexcept { return m_defaultExpression; }
  void SetDefaultExpression(const std::string& v) { m_defaultExpression = v; }
  const std::string& Origin() const noexcept { return m_origin; }
  void SetOrigin(const std::string& v) { m_origin = v; }
  // True when the field may be written (not read-only, dataset modifiable).
  bool CanModify() const;

  // Values of the current row. A read or write a class does not support fails
  // with "Cannot access field '%s' as type %s"; every access without a dataset
  // with "Field '%s' has no dataset" (both without component-name prefix).
  bool IsNull() const;
  std::string AsString() const { return GetAsString(); }
  void SetAsString(const std::string& v) { SetAsStringImpl(v); }
  std::u16string AsWideString() const { return GetAsWideString(); }
  void SetAsWideString(const std::u16string& v) { SetAsWideStringImpl(v); }
  int32_t AsInteger() const { return GetAsInteger(); }
  void SetAsInteger(int32_t v) { SetAsIntegerImpl(v); }
  int64_t AsLargeInt() const { return GetAsLargeInt(); }
  void SetAsLargeInt(int64_t v) { SetAsLargeIntImpl(v); }
  double AsFloat() const { return GetAsFloat(); }
  void SetAsFloat(double v) { SetAsFloatImpl(v); }
  Currency AsCurrency() const { return GetAsCurrency(); }
  void SetAsCurrency(Currency v) { SetAsCurrencyImpl(v); }
  bool AsBoolean() const { return GetAsBoolean(); }
  void SetAsBoolean(bool v) { SetAsBooleanImpl(v); }
  TDateTime AsDateTime() const { return GetAsDateTime(); }
  void SetAsDateTime(TDateTime v) { SetAsDateTimeImpl(v); }
  // Null for a null value; writing Null clears the field, other variants are
  // converted by the class ("Invalid value for field '%s'" on failure).
  Variant AsVariant() const { return GetAsVariant(); }
  void SetAsVariant(const Variant& v);
  Variant Value() const { return AsVariant(); }
  void SetValue(const Variant& v) { SetAsVariant(v); }
  void Clear() { SetData(nullptr); }

  // Text for a grid cell (DisplayFormat, "(MEMO)", ...), through OnGetText.
  std::string DisplayText() const;
  // Text for editing (EditFormat), through OnGetText; setting goes through
  // OnSetText, else the class's text assignment.
  std::string Text() const;
  void SetText(const std::string& text);

  // Raw access in the native forms (see above); `buffer` may be nullptr to
  // ask only whether the field has a value. nativeFormat false exchanges
  // date/time values as TDateTime.
  bool GetData(void* buffer, bool nativeFormat = true) const;
  void SetData(const void* buffer, bool nativeFormat = true);

  // Runs OnValidate for a value about to be stored; dataset kinds call it from
  // SetFieldData before they write. While it runs, reads of the field return
  // the new value.
  void Validate(const void* buffer);
  // Called by the dataset after the value changed: runs OnChange.
  virtual void Change();
  // Asks the viewers to focus the control that edits this field.
  void FocusControl();

  TFieldNotifyEvent OnChange;
  TFieldNotifyEvent OnValidate;
  TFieldGetTextEvent OnGetText;
  TFieldSetTextEvent OnSetText;

 protected:
  friend class TDataSet;
  friend class TFields;

  void SetDataType(TFieldType type);
  void SetFieldNo(int no) { m_fieldNo = no; }

  // Per-class conversions; the base raises the access error.
  virtual std::string GetAsString() const;
  virtual void SetAsStringImpl(const std::string& v);
  virtual std::u16string GetAsWideString() const;
  virtual void SetAsWideStringImpl(const std::u16string& v);
  virtual int32_t GetAsInteger() const;
  virtual void SetAsIntegerImpl(int32_t v);
  virtual int64_t GetAsLargeInt() const;
  virtual void SetAsLargeIntImpl(int64_t v);
  virtual double GetAsFloat() const;
  virtual void SetAsFloatImpl(double v);
  virtual Currency GetAsCurrency() const;
  virtual void SetAsCurrencyImpl(Currency v);
  virtual bool GetAsBoolean() const;
  virtual void SetAsBooleanImpl(bool v);
  virtual TDateTime GetAsDateTime() const;
  virtual void SetAsDateTimeImpl(TDateTime v);
  virtual Variant GetAsVariant() const;
  // Non-Null variants (Null has already cleared the field).
  virtual void SetVarValue(const Variant& v);
  // Display (true) or edit (false) text of the current value.
  virtual void GetText(std::string& text, bool displayText) const;
  // Text assignment when no OnSetText handler is set.
  virtual void SetTextImpl(const std::string& text) { SetAsString(text); }
  virtual int DefaultDisplayWidth() const { return 10; }
  // Called when a property that changes how viewers show the field changes.
  void PropertyChanged(bool layoutAffected);

  [[noreturn]] void AccessError(const char* typeName) const;
  // "%g is not a valid value for field '%s'. The allowed range is %g to %g".
  [[noreturn]] void RangeError(double value, double low, double high) const;

  int m_size = 0;

 private:
  TDataSet* m_dataSet = nullptr;  // not owned; the dataset removes us at its end
  std::string m_fieldName;
  std::size_t m_nameHash = SameTextHash("");  // of m_fieldName, for TFields::FindField
  std::string m_displayLabel;
  TFieldType m_dataType = ftUnknown;
  TFieldKind m_fieldKind = fkData;
  int m_fieldNo = 0;
  int m_displayWidth = 0;  // 0 = class default
  TAlignment m_alignment = taLeftJustify;
  bool m_readOnly = false;
  bool m_required = false;
  bool m_visible = true;
  std::string m_defaultExpression;
  std::string m_origin;
  const void* m_validateData = nullptr;  // value under validation (nullptr: null)
  bool m_validating = false;
};

// 8-bit text of at most Size bytes (default 20).
class TStringField : public TField {
 public:
  explicit TStringField(TComponent* AOwner = nullptr);
  int DataSize() const override { return m_size + 1; }
  bool FixedChar() const noexcept { return m_fixedChar; }
  void SetFixedChar(bool v);
  bool Transliterate() const noexcept { return m_transliterate; }
  void SetTransliterate(bool v) { m_transliterate = v; }
  // The stored text; false when null.
  virtual bool GetValue(std::string& value) const;

 protected:
  std::string GetAsString() const override;
  void SetAsStringImpl(const std::string& v) override;
  int32_t GetAsInteger() const override;
  void SetAsIntegerImpl(int32_t v) override;
  int64_t GetAsLargeInt() const override;
  void SetAsLargeIntImpl(int64_t v) override;
  double GetAsFloat() const override;
  void SetAsFloatImpl(double v) override;
  bool GetAsBoolean() const override;
  void SetAsBooleanImpl(bool v) override;
  TDateTime GetAsDateTime() const override;
  void SetAsDateTimeImpl(TDateTime v) override;
  Variant GetAsVariant() const override;
  void SetVarValue(const Variant& v) override;
  void GetText(std::string& text, bool displayText) const override;
  int DefaultDisplayWidth() const override { return m_size; }

 private:
  bool m_fixedChar = false;
  bool m_transliterate = true;
};

// Wide text; Size counts characters. Its text reads in the system code page.
class TWideStringField : public TStringField {
 public:
  explicit TWideStringField(TComponent* AOwner = nullptr);
  int DataSize() const override;
  bool GetValue(std::string& value) const override;
  bool GetWideValue(std::u16string& value) const;

 protected:
  std::u16string GetAsWideString() const override;
  void SetAsWideStringImpl(const std::u16string& v) override;
  void SetAsStringImpl(const std::string& v) override;
  Variant GetAsVariant() const override;
  void SetVarValue(const Variant& v) override;
};

// A GUID held as its 38-character text form.
class TGuidField : public TStringField {
 public:
  explicit TGuidField(TComponent* AOwner = nullptr);
};

// Base of the number fields: display and edit patterns, right alignment.
class TNumericField : public TField {
 public:
  explicit TNumericField(TComponent* AOwner = nullptr);
  // Number patterns such as "#,##0.00"; empty = the class's plain form.
  const std::string& DisplayFormat() const noexcept { return m_displayFormat; }
  void SetDisplayFormat(const std::string& v);
  const std::string& EditFormat() const noexcept { return m_editFormat; }
  void SetEditFormat(const std::string& v);

 protected:
  // EditFormat for edit text when set, else DisplayFormat.
  const std::string& TextFormat(bool displayText) const;

 private:
  std::string m_displayFormat;
  std::string m_editFormat;
};

// 32-bit signed integer; the base of the small, word and auto-increment
// fields. Writes check MinValue..MaxValue when either is non-zero, else the
// class range.
class TIntegerField : public TNumericField {
 public:
  explicit TIntegerField(TComponent* AOwner = nullptr);
  int DataSize() const override;
  int32_t MinValue() const noexcept { return m_minValue; }
  void SetMinValue(int32_t v) { m_minValue = v; }
  int32_t MaxValue() const noexcept { return m_maxValue; }
  void SetMaxValue(int32_t v) { m_maxValue = v; }
  // The value; false when null.
  bool GetValue(int32_t& value) const;

 protected:
  std::string GetAsString() const override;
  void SetAsStringImpl(const std::string& v) override;
  int32_t GetAsInteger() const override;
  void SetAsIntegerImpl(int32_t v) override;
  int64_t GetAsLargeInt() const override;
  void SetAsLargeIntImpl(int64_t v) override;
  double GetAsFloat() const override;
  void SetAsFloatImpl(double v) override;
  Variant GetAsVariant() const override;
  void SetVarValue(const Variant& v) override;
  void GetText(std::string& text, bool displayText) const override;
  // Throws the range error when v lies outside the allowed range.
  void CheckRange(int64_t v) const;

  int32_t m_minRange;  // class range
  int32_t m_maxRange;

 private:
  int32_t m_minValue = 0;
  int32_t m_maxValue = 0;
};

class TSmallintField : public TIntegerField {  // -32768..32767
 public:
  explicit TSmallintField(TComponent* AOwner = nullptr);
};

class TWordField : public TIntegerField {  // 0..65535
 public:
  explicit TWordField(TComponent* AOwner = nullptr);
};

class TAutoIncField : public TIntegerField {
 public:
  explicit TAutoIncField(TComponent* AOwner = nullptr);
};

// 64-bit signed integer.
class TLargeintField : public TNumericField {
 public:
  explicit TLargeintField(TComponent* AOwner = nullptr);
  int DataSize() const override { return 8; }
  int64_t MinValue() const noexcept { return m_minValue; }
  void SetMinValue(int64_t v) { m_minValue = v; }
  int64_t MaxValue() const noexcept { return m_maxValue; }
  void SetMaxValue(int64_t v) { m_maxValue = v; }
  bool GetValue(int64_t& value) const;

 protected:
  std::string GetAsString() const override;
  void SetAsStringImpl(const std::string& v) override;
  int32_t GetAsInteger() const override;
  void SetAsIntegerImpl(int32_t v) override;
  int64_t GetAsLargeInt() const override;
  void SetAsLargeIntImpl(int64_t v) override;
  double GetAsFloat() const override;
  void SetAsFloatImpl(double v) override;
  Variant GetAsVariant() const override;
  void SetVarValue(const Variant& v) override;
  void GetText(std::string& text, bool displayText) const override;

 private:
  int64_t m_minValue = 0;
  int64_t m_maxValue = 0;
};

// 64-bit floating point. Display text: DisplayFormat, else the currency form
// when Currency() is set, else the general form with Precision significant
// digits.
class TFloatField : public TNumericField {
 public:
  explicit TFloatField(TComponent* AOwner = nullptr);
  int DataSize() const override { return 8; }
  bool Currency() const noexcept { return m_currency; }
  void SetCurrency(bool v);
  int Precision() const noexcept { return m_precision; }
  void SetPrecision(int v);
  double MinValue() const noexcept { return m_minValue; }
  void SetMinValue(double v) { m_minValue = v; }
  double MaxValue() const noexcept { return m_maxValue; }
  void SetMaxValue(double v) { m_maxValue = v; }
  bool GetValue(double& value) const;

 protected:
  std::string GetAsString() const override;
  void SetAsStringImpl(const std::string& v) override;
  int32_t GetAsInteger() const override;
  void SetAsIntegerImpl(int32_t v) override;
  int64_t GetAsLargeInt() const override;
  void SetAsLargeIntImpl(int64_t v) override;
  double GetAsFloat() const override;
  void SetAsFloatImpl(double v) override;
  ::Currency GetAsCurrency() const override;
  void SetAsCurrencyImpl(::Currency v) override;
  Variant GetAsVariant() const override;
  void SetVarValue(const Variant& v) override;
  void GetText(std::string& text, bool displayText) const override;

 private:
  bool m_currency = false;
  int m_precision = 15;
  double m_minValue = 0;
  double m_maxValue = 0;
};

// A float field shown in the currency form.
class TCurrencyField : public TFloatField {
 public:
  explicit TCurrencyField(TComponent* AOwner = nullptr);
};

// Scaled decimal kept with four fractional digits (a Currency). Size is the
// number of decimals (default 4).
class TBCDField : public TNumericField {
 public:
  explicit TBCDField(TComponent* AOwner = nullptr);
  int DataSize() const override { return 8; }
  bool Currency() const noexcept { return m_currency; }
  void SetCurrency(bool v);
  int Precision() const noexcept { return m_precision; }
  void SetPrecision(int v) { m_precision = v; }
  ::Currency MinValue() const noexcept { return m_minValue; }
  void SetMinValue(::Currency v) { m_minValue = v; }
  ::Currency MaxValue() const noexcept { return m_maxValue; }
  void SetMaxValue(::Currency v) { m_maxValue = v; }
  bool GetValue(::Currency& value) const;

 protected:
  std::string GetAsString() const override;
  void SetAsStringImpl(const std::string& v) override;
  int32_t GetAsInteger() const override;
  void SetAsIntegerImpl(int32_t v) override;
  int64_t GetAsLargeInt() const override;
  void SetAsLargeIntImpl(int64_t v) override;
  double GetAsFloat() const override;
  void SetAsFloatImpl(double v) override;
  ::Currency GetAsCurrency() const override;
  void SetAsCurrencyImpl(::Currency v) override;
  Variant GetAsVariant() const override;
  void SetVarValue(const Variant& v) override;
  void GetText(std::string& text, bool displayText) const override;

 private:
  bool m_currency = false;
  int m_precision = 0;
  ::Currency m_minValue;
  ::Currency m_maxValue;
};

// Boolean; texts "True"/"False" or the two halves of DisplayValues ("Yes;No").
class TBooleanField : public TField {
 public:
  explicit TBooleanField(TComponent* AOwner = nullptr);
  int DataSize() const override { return 2; }
  const std::string& DisplayValues() const noexcept { return m_displayValues; }
  void SetDisplayValues(const std::string& v);
  bool GetValue(bool& value) const;

 protected:
  std::string GetAsString() const override;
  void SetAsStringImpl(const std::string& v) override;
  bool GetAsBoolean() const override;
  void SetAsBooleanImpl(bool v) override;
  Variant GetAsVariant() const override;
  void SetVarValue(const Variant& v) override;
  void GetText(std::string& text, bool displayText) const override;
  int DefaultDisplayWidth() const override { return 5; }

 private:
  std::string m_displayValues;
  std::string m_trueText = "True";
  std::string m_falseText = "False";
};

// Date and time. Text: short date form, plus a blank and the long time form
// when the time of day is not midnight; DisplayFormat patterns such as
// "dd.mm.yyyy hh:mm AMPM".
class TDateTimeField : public TField {
 public:
  explicit TDateTimeField(TComponent* AOwner = nullptr);
  int DataSize() const override;
  const std::string& DisplayFormat() const noexcept { return m_displayFormat; }
  void SetDisplayFormat(const std::string& v);
  bool GetValue(TDateTime& value) const;

 protected:
  std::string GetAsString() const override;
  void SetAsStringImpl(const std::string& v) override;
  double GetAsFloat() const override;
  void SetAsFloatImpl(double v) override;
  TDateTime GetAsDateTime() const override;
  void SetAsDateTimeImpl(TDateTime v) override;
  Variant GetAsVariant() const override;
  void SetVarValue(const Variant& v) override;
  void GetText(std::string& text, bool displayText) const override;
  int DefaultDisplayWidth() const override { return 18; }

 private:
  std::string m_displayFormat;
};

class TDateField : public TDateTimeField {  // date only; short date form
 public:
  explicit TDateField(TComponent* AOwner = nullptr);
};

class TTimeField : public TDateTimeField {  // time of day; long time form
 public:
  explicit TTimeField(TComponent* AOwner = nullptr);
};

// Raw bytes (fixed and variable length); text is the bytes as they are.
class TBytesField : public TField {
 public:
  explicit TBytesField(TComponent* AOwner = nullptr);
  int DataSize() const override { return m_size; }

 protected:
  std::string GetAsString() const override;
  void SetAsStringImpl(const std::string& v) override;
  Variant GetAsVariant() const override;
  void SetVarValue(const Variant& v) override;
};

class TVarBytesField : public TBytesField {
 public:
  explicit TVarBytesField(TComponent* AOwner = nullptr);
};

// A byte stream. Its text is the whole content; a grid shows only the type
// name in parentheses ("(BLOB)" with a value, "(Blob)" when null).
class TBlobField : public TField {
 public:
  explicit TBlobField(TComponent* AOwner = nullptr);
  int DataSize() const override { return 0; }
  TFieldType BlobType() const noexcept { return DataType(); }
  void SetBlobType(TFieldType type);
  // The content; false when null.
  bool GetValue(std::string& value) const;

 protected:
  std::string GetAsString() const override;
  void SetAsStringImpl(const std::string& v) override;
  Variant GetAsVariant() const override;
  void SetVarValue(const Variant& v) override;
  void GetText(std::string& text, bool displayText) const override;
};

// Text held as a blob ("(MEMO)" / "(Memo)" in grids).
class TMemoField : public TBlobField {
 public:
  explicit TMemoField(TComponent* AOwner = nullptr);
};

// The ordered field list of a dataset. It does not own the fields (their
// owner component does); a dataset destroys the fields still listed when it
// is destroyed.
class TFields {
 public:
  explicit TFields(TDataSet* dataSet) : m_dataSet(dataSet) {}
  TFields(const TFields&) = delete;
  TFields& operator=(const TFields&) = delete;

  int Count() const noexcept { return static_cast<int>(m_list.size()); }
  TField* operator[](int index) const { return m_list.at(static_cast<size_t>(index)); }
  TField* Fields(int index) const { return (*this)[index]; }
  TDataSet* DataSet() const noexcept { return m_dataSet; }
  auto begin() const { return m_list.begin(); }
  auto end() const { return m_list.end(); }

  // First field whose FieldName equals the name ignoring case, or nullptr.
  // The answers for the names asked first (one per field and a few more)
  // are kept for the dataset's shape: viewers and handlers ask for the same
  // few names for every row.
  TField* FindField(std::string_view name) const;
  // FindField or EDatabaseError "Field '%s' not found" prefixed with the
  // dataset's name.
  TField* FieldByName(std::string_view name) const;
  // The field bound to column `fieldNo`, or nullptr.
  TField* FieldByNumber(int fieldNo) const;
  int IndexOf(const TField* field) const;
  // Calculated and lookup fields in the list (kept as fields come, go or change kind).
  int CalcCount() const noexcept { return m_calcCount; }

 private:
  friend class TField;
  friend class TDataSet;
  void Add(TField* field);
  void Remove(TField* field);
  void Clear() {
    m_list.clear();
    m_calcCount = 0;
    Changed();
  }
  // A field came, went or changed its name, kind, type or size: raises the
  // dataset's shape (TDataSet::Shape).
  void Changed() const noexcept;
  TField* SearchField(std::string_view name) const;

  struct FoundField {
    std::string name;  // as asked, byte for byte
    TField* field;     // nullptr: none
  };
  // Answers kept beyond one per field (other spellings, names not found);
  // past that a name is searched every time: a list cycling through more
  // names than are kept would otherwise miss on every one.
  static constexpr size_t kFoundBeyondFields = 16;

  TDataSet* m_dataSet;  // the dataset that holds this list
  std::vector<TField*> m_list;
  int m_calcCount = 0;
  mutable std::vector<FoundField> m_found;  // FindField's answers, first asked first
  mutable uint64_t m_foundShape = 0;        // the dataset's shape they hold for
};
