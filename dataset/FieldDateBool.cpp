// Boolean and date/time field classes.
#include <cstdint>

#include "dataset/DataSet.h"
#include "dataset/Field.h"
#include "runtime/CodePage.h"
#include "runtime/DateText.h"
#include "runtime/Format.h"

// --- TBooleanField ----------------------------------------------------------

TBooleanField::TBooleanField(TComponent* AOwner) : TField(AOwner) { SetDataType(ftBoolean); }

void TBooleanField::SetDisplayValues(const std::string& v) {
  m_displayValues = v;
  if (v.empty()) {
    m_trueText = "True";
    m_falseText = "False";
  } else {
    size_t p = v.find(';');
    m_trueText = v.substr(0, p);
    m_falseText = p == std::string::npos ? std::string() : v.substr(p + 1);
  }
  PropertyChanged(false);
}

bool TBooleanField::GetValue(bool& value) const {
  int16_t v = 0;
  if (!GetData(&v)) return false;
  value = v != 0;
  return true;
}

std::string TBooleanField::GetAsString() const {
  bool v;
  if (!GetValue(v)) return std::string();
  return v ? m_trueText : m_falseText;
}

void TBooleanField::SetAsStringImpl(const std::string& v) {
  // A leading part of either text is enough ("T", "Fal").
  auto matches = [&v](const std::string& text) {
    return SameText(v, text.substr(0, v.size()));
  };
  if (v.empty()) {
    if (m_falseText.empty())
      SetAsBoolean(false);
    else if (m_trueText.empty())
      SetAsBoolean(true);
    else
      Clear();
  } else if (matches(m_falseText)) {
    SetAsBoolean(false);
  } else if (matches(m_trueText)) {
    SetAsBoolean(true);
  } else {
    throw EDatabaseError(
        Format("'%s' is not a valid boolean value for field '%s'", {v, DisplayName()}));
  }
}

bool TBooleanField::GetAsBoolean() const {
  bool v;
  return GetValue(v) ? v : false;
}

void TBooleanField::SetAsBooleanImpl(bool v) {
  int16_t x = v ? 1 : 0;
  SetData(&x);
}

Variant TBooleanField::GetAsVariant() const {
  bool v;
  return GetValue(v) ? Variant(v) : Variant::Null();
}

void TBooleanField::SetVarValue(const Variant& v) { SetAsBoolean(v.AsBoolean()); }

void TBooleanField::GetText(std::string& text, bool) const { text = GetAsString(); }

// --- TDateTimeField / TDateField / TTimeField -------------------------------

TDateTimeField::TDateTimeField(TComponent* AOwner) : TField(AOwner) {
  SetDataType(ftDateTime);
}

int TDateTimeField::DataSize() const {
  return DataType() == ftDate || DataType() == ftTime ? 4 : 8;
}

void TDateTimeField::SetDisplayFormat(const std::string& v) {
  m_displayFormat = v;
  PropertyChanged(false);
}

bool TDateTimeField::GetValue(TDateTime& value) const {
  TDateTime v = 0;
  if (!GetData(&v, false)) return false;
  value = v;
  return true;
}

std::string TDateTimeField::GetAsString() const {
  std::string text;
  GetText(text, false);
  return text;
}

void TDateTimeField::SetAsStringImpl(const std::string& v) {
  if (v.empty()) {
    Clear();
    return;
  }
  switch (DataType()) {
    case ftDate: SetAsDateTime(StrToDate(v)); break;
    case ftTime: SetAsDateTime(StrToTime(v)); break;
    default: SetAsDateTime(StrToDateTime(v)); break;
  }
}

double TDateTimeField::GetAsFloat() const { return GetAsDateTime(); }
void TDateTimeField::SetAsFloatImpl(double v) { SetAsDateTime(v); }

TDateTime TDateTimeField::GetAsDateTime() const {
  TDateTime v;
  return GetValue(v) ? v : 0.0;
}

void TDateTimeField::SetAsDateTimeImpl(TDateTime v) { SetData(&v, false); }

Variant TDateTimeField::GetAsVariant() const {
  TDateTime v;
  return GetValue(v) ? Variant::FromDate(v) : Variant::Null();
}

void TDateTimeField::SetVarValue(const Variant& v) { SetAsDateTime(v.AsDate()); }

void TDateTimeField::GetText(std::string& text, bool displayText) const {
  TDateTime v;
  if (!GetValue(v)) {
    text.clear();
    return;
  }
  if (displayText && !m_displayFormat.empty()) {
    text = FormatDateTime(m_displayFormat, v);
    return;
  }
  switch (DataType()) {
    case ftDate: text = DateToStr(v); break;
    case ftTime: text = TimeToStr(v); break;
    default: text = DateTimeToStr(v); break;
  }
}

TDateField::TDateField(TComponent* AOwner) : TDateTimeField(AOwner) { SetDataType(ftDate); }

TTimeField::TTimeField(TComponent* AOwner) : TDateTimeField(AOwner) { SetDataType(ftTime); }
