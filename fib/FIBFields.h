// The Firebird field classes: the generic field classes with the rules of
// Firebird columns (string trimming and the empty-string rule, scaled
// integers behind float fields, BIGINT/NUMERIC scaled values behind BCD
// fields, integers read as Booleans).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dataset/Field.h"

class TFIBCustomDataSet;
struct TFIBFieldDescr;

// The Firebird dataset a field is attached to, or nullptr.
TFIBCustomDataSet* FIBDataSetOf(const TField& field);
// The select column a data field is bound to, or nullptr (unbound, or not on
// a Firebird dataset).
const TFIBFieldDescr* FIBColumnOf(const TField& field);

// Text. EmptyStrToNull takes the dataset's psSetEmptyStrToNull when the
// field is attached to a Firebird dataset; Size becomes the column's
// declared length at open.
class TFIBStringField : public TStringField {
 public:
  explicit TFIBStringField(TComponent* AOwner = nullptr);
  void SetSize(int size) override;
  // Until set, the psSetEmptyStrToNull option of the Firebird dataset the
  // field is attached to (false elsewhere).
  bool EmptyStrToNull() const;
  void SetEmptyStrToNull(bool v) { m_emptyStrToNull = v; }
  // Set from the column metadata: the database default is the empty string.
  bool DefaultValueEmptyString() const noexcept { return m_defaultValueEmptyString; }
  void SetDefaultValueEmptyString(bool v) { m_defaultValueEmptyString = v; }
  // While a text assignment runs: the text's own length (the dataset stores
  // that many bytes, not up to a first NUL); -1 otherwise.
  int ExplicitLength() const noexcept { return m_explicitLength; }
  bool GetValue(std::string& value) const override;

 protected:
  std::string GetAsString() const override;
  void SetAsStringImpl(const std::string& v) override;

 private:
  std::optional<bool> m_emptyStrToNull;
  bool m_defaultValueEmptyString = false;
  int m_explicitLength = -1;
  mutable std::vector<char> m_readBuffer;  // Size + 1 bytes; dropped when Size changes
};

// Integers read as Boolean True exactly when greater than 0; a Boolean is
// stored as 1 or 0.
class TFIBIntegerField : public TIntegerField {
 public:
  explicit TFIBIntegerField(TComponent* AOwner = nullptr) : TIntegerField(AOwner) {}

 protected:
  bool GetAsBoolean() const override;
  void SetAsBooleanImpl(bool v) override;
};

class TFIBSmallIntField : public TSmallintField {
 public:
  explicit TFIBSmallIntField(TComponent* AOwner = nullptr) : TSmallintField(AOwner) {}

 protected:
  bool GetAsBoolean() const override;
  void SetAsBooleanImpl(bool v) override;
};

// A float, also over a scaled INTEGER/SMALLINT column: assignments are
// range-checked against the column's integer range and rounded to its scale.
class TFIBFloatField : public TFloatField {
 public:
  explicit TFIBFloatField(TComponent* AOwner = nullptr) : TFloatField(AOwner) {}
  bool RoundByScale() const noexcept { return m_roundByScale; }
  void SetRoundByScale(bool v) { m_roundByScale = v; }

 protected:
  void SetAsFloatImpl(double v) override;
  void GetText(std::string& text, bool displayText) const override;

 private:
  bool m_roundByScale = true;
};

// A BIGINT/NUMERIC column's scaled integer r with Size = d decimals; all
// conversions go through r.
class TFIBBCDField : public TBCDField {
 public:
  explicit TFIBBCDField(TComponent* AOwner = nullptr);
  bool RoundByScale() const noexcept { return m_roundByScale; }
  void SetRoundByScale(bool v) { m_roundByScale = v; }
  // The stored scaled integer; false when null.
  bool GetRawValue(int64_t& value) const;
  void SetRawValue(int64_t value);

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
  [[noreturn]] void OverflowError(const std::string& message) const;

  bool m_roundByScale = true;
};

class TFIBDateField : public TDateField {
 public:
  explicit TFIBDateField(TComponent* AOwner = nullptr) : TDateField(AOwner) {}
};

class TFIBDateTimeField : public TDateTimeField {
 public:
  explicit TFIBDateTimeField(TComponent* AOwner = nullptr) : TDateTimeField(AOwner) {}
  bool ShowMsec() const noexcept { return m_showMsec; }
  void SetShowMsec(bool v) { m_showMsec = v; }

 private:
  bool m_showMsec = false;
};

class TFIBTimeField : public TTimeField {
 public:
  explicit TFIBTimeField(TComponent* AOwner = nullptr) : TTimeField(AOwner) {}
  bool ShowMsec() const noexcept { return m_showMsec; }
  void SetShowMsec(bool v) { m_showMsec = v; }

 private:
  bool m_showMsec = false;
};

// A Boolean over an integer column of a boolean domain.
class TFIBBooleanField : public TBooleanField {
 public:
  explicit TFIBBooleanField(TComponent* AOwner = nullptr) : TBooleanField(AOwner) {}
  const std::string& StringTrue() const noexcept { return m_stringTrue; }
  void SetStringTrue(const std::string& v) { m_stringTrue = v; }
  const std::string& StringFalse() const noexcept { return m_stringFalse; }
  void SetStringFalse(const std::string& v) { m_stringFalse = v; }

 private:
  std::string m_stringTrue = "True";
  std::string m_stringFalse = "False";
};

class TFIBLargeIntField : public TLargeintField {
 public:
  explicit TFIBLargeIntField(TComponent* AOwner = nullptr) : TLargeintField(AOwner) {}
};

class TFIBWideStringField : public TWideStringField {
 public:
  explicit TFIBWideStringField(TComponent* AOwner = nullptr) : TWideStringField(AOwner) {}
};

class TFIBGuidField : public TGuidField {
 public:
  explicit TFIBGuidField(TComponent* AOwner = nullptr) : TGuidField(AOwner) {}
};

class TFIBBlobField : public TBlobField {
 public:
  explicit TFIBBlobField(TComponent* AOwner = nullptr) : TBlobField(AOwner) {}
  bool IsClientField() const noexcept { return m_isClientField; }
  void SetIsClientField(bool v) { m_isClientField = v; }

 private:
  bool m_isClientField = false;
};

class TFIBMemoField : public TMemoField {
 public:
  explicit TFIBMemoField(TComponent* AOwner = nullptr) : TMemoField(AOwner) {}
};

class TFIBArrayField : public TBytesField {
 public:
  explicit TFIBArrayField(TComponent* AOwner = nullptr) : TBytesField(AOwner) {}
};
