// Reading a field's value out of a row buffer and storing one into it: the
// column's stored form (see the layout in FIBDataSet.h) against the native
// forms the field classes exchange (dataset/Field.h).
#include <cmath>
#include <cstring>

#include "fib/FIBDataSet.h"
#include "fib/fib.h"
#include "runtime/CodePage.h"
#include "runtime/Scaled.h"

namespace {

bool IsText(short sqlType) { return sqlType == SQL_VARYING || sqlType == SQL_TEXT; }

// A scaled value that does not fit where it goes: the runtime's overflow.
[[noreturn]] void Overflow() { throw EOverflow("Floating point overflow"); }

int64_t RescaledOrOverflow(int64_t value, int from, int to) {
  int64_t r = 0;
  if (!Rescale(value, from, to, r)) Overflow();
  return r;
}

int64_t DoubleToScaledOrOverflow(double value, int decimals) {
  int64_t r = 0;
  if (!DoubleToScaled(value, decimals, r)) Overflow();
  return r;
}

// Writes an integer value into a native buffer of `type`.
void PutInteger(TFieldType type, int64_t v, int scale, void* dest) {
  auto put = [dest](auto x) { std::memcpy(dest, &x, sizeof x); };
  switch (type) {
    case ftSmallint: put(static_cast<int16_t>(v)); break;
    case ftBoolean: put(static_cast<int16_t>(v != 0 ? 1 : 0)); break;
    case ftWord: put(static_cast<uint16_t>(v)); break;
    case ftLargeint: put(v); break;
    case ftFloat: case ftCurrency: put(ScaledToDouble(v, scale)); break;
    case ftBCD: {
      // Count of 1/10,000 from a value with `scale` (>= -4 exact, else rounded);
      // a decimal beyond the currency range has no BCD value.
      int64_t raw = 0;
      if (!Rescale(v, -scale, 4, raw)) throw EBcdOverflow("BCD overflow");
      put(Currency::FromRaw(raw));
      break;
    }
    default: put(static_cast<int32_t>(v)); break;
  }
}

void PutDouble(TFieldType type, double v, void* dest) {
  auto put = [dest](auto x) { std::memcpy(dest, &x, sizeof x); };
  switch (type) {
    case ftBCD: put(Currency::FromDouble(v)); break;
    case ftSmallint: case ftBoolean: put(static_cast<int16_t>(DoubleToScaledOrOverflow(v, 0))); break;
    case ftInteger: case ftAutoInc: put(static_cast<int32_t>(DoubleToScaledOrOverflow(v, 0))); break;
    case ftLargeint: put(DoubleToScaledOrOverflow(v, 0)); break;
    default: put(v); break;
  }
}

// A native value as integer / double, whatever numeric form the field uses.
int64_t NativeInteger(TFieldType type, const void* src) {
  auto get = [src](auto x) {
    std::memcpy(&x, src, sizeof x);
    return x;
  };
  switch (type) {
    case ftSmallint: case ftBoolean: return get(int16_t{});
    case ftWord: return get(uint16_t{});
    case ftLargeint: return get(int64_t{});
    case ftFloat: case ftCurrency: return DoubleToScaledOrOverflow(get(double{}), 0);
    case ftBCD: return DivRound(get(Currency{}).Raw, Currency::Scale);
    default: return get(int32_t{});
  }
}

double NativeDouble(TFieldType type, const void* src) {
  auto get = [src](auto x) {
    std::memcpy(&x, src, sizeof x);
    return x;
  };
  switch (type) {
    case ftFloat: case ftCurrency: return get(double{});
    case ftBCD: return static_cast<double>(get(Currency{}).Raw) / Currency::Scale;
    default: return static_cast<double>(NativeInteger(type, src));
  }
}

// The stored text of a string column (not trimmed).
std::string_view StoredText(const std::byte* value, const TFIBFieldDescr& d) {
  const char* p = reinterpret_cast<const char*>(value);
  if (d.OutOfLine) {
    int32_t length;
    std::memcpy(&length, value, 4);
    return {p + 4, static_cast<size_t>(std::clamp<int32_t>(length, 0, d.Size))};
  }
  return {p, strnlen(p, static_cast<size_t>(d.Size))};
}

}  // namespace

std::string_view TFIBCustomDataSet::ColumnText(TRecordBuffer buffer, const TFIBFieldDescr& d) const {
  std::string_view text = StoredText(buffer + d.Offset, d);
  if (HasOption(poTrimCharFields))
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

std::string TFIBCustomDataSet::ReadBlob(const std::byte* id) {
  TFIBDatabase* db = Database();
  if (!db) return {};
  IIBClientLibrary& lib = db->ClientLibrary();
  ISC_QUAD quad;
  std::memcpy(&quad, id, sizeof quad);
  isc_blob_handle blob = 0;
  auto check = [&](ISC_STATUS st) {
    RestoreFPUControlWord();
    if (st > 0) IBError(lib, m_qSelect.get());
  };
  check(lib.isc_open_blob2(StatusVector(), m_base->DBHandle(), m_base->TRHandle(), &blob, &quad, 0, nullptr));
  std::string content;
  char segment[32768];
  for (;;) {
    unsigned short got = 0;
    const ISC_STATUS st = lib.isc_get_segment(StatusVector(), &blob, &got, sizeof segment, segment);
    const ISC_STATUS code = st ? StatusVector()[1] : 0;
    if (st == 0 || code == isc_segment) {
      content.append(segment, got);
      continue;
    }
    ISC_STATUS_ARRAY ignored;
    if (code == isc_segstr_eof) {
      lib.isc_close_blob(ignored, &blob);
      break;
    }
    std::exception_ptr error;
    try {
      check(st);
    } catch (...) {
      error = std::current_exception();
    }
    lib.isc_close_blob(ignored, &blob);
    std::rethrow_exception(error);
  }
  RestoreFPUControlWord();
  return content;
}

// --- reading ------------------------------------------------------------------------------

bool TFIBCustomDataSet::GetFieldData(TField* field, void* buffer) {
  TRecordBuffer b = FieldBuffer();
  if (!b) return false;
  if (field->FieldKind() == fkCalculated || field->FieldKind() == fkLookup) {
    const std::vector<Variant>& calc = CalcValuesOf(b);
    const int index = field->Index();
    if (index < 0 || index >= static_cast<int>(calc.size()) || calc[static_cast<size_t>(index)].IsClear())
      return false;
    if (buffer) VariantToNative(*field, calc[static_cast<size_t>(index)], buffer);
    return true;
  }
  const TFIBFieldDescr* d = ColumnOf(field);
  if (!d) return false;
  const int column = field->FieldNo() - 1;
  if (IsNullColumn(b, column)) return false;
  if (!buffer) return true;
  const std::byte* src = b + d->Offset;
  const TFieldType type = field->DataType();
  auto get = [src](auto x) {
    std::memcpy(&x, src, sizeof x);
    return x;
  };
  switch (d->SQLType) {
    case SQL_VARYING:
    case SQL_TEXT: {
      std::string_view text = ColumnText(b, *d);
      if (type == ftWideString) {
        TFIBDatabase* db = Database();
        const bool utf8 = db && db->IsUnicodeConnect() && db->IsUnicodeCharSet(d->CharSet);
        *static_cast<std::u16string*>(buffer) = utf8 ? Utf8ToWide(text) : AnsiToWide(text);
        return true;
      }
      if (field->Size() < FieldDefs().Items(column).Size() && !d->IsDBKey)
        FIBError(feFieldSizeError, {Name(), field->FieldName()});
      if (type == ftMemo || type == ftBlob || type == ftBytes || type == ftVarBytes) {
        *static_cast<std::string*>(buffer) = std::string(text);
        return true;
      }
      const size_t n = std::min(text.size(), static_cast<size_t>(std::max(field->Size(), 0)));
      std::memcpy(buffer, text.data(), n);
      static_cast<char*>(buffer)[n] = '\0';
      return true;
    }
    case SQL_FLOAT: PutDouble(type, get(float{}), buffer); return true;
    case SQL_DOUBLE: case SQL_D_FLOAT: PutDouble(type, get(double{}), buffer); return true;
    case SQL_SHORT: PutInteger(type, get(int16_t{}), d->Scale, buffer); return true;
    case SQL_LONG: PutInteger(type, get(int32_t{}), d->Scale, buffer); return true;
    case SQL_INT64:
      if (d->Scale < -4 && !HasPrepareOption(psSQLINT64ToBCD)) PutDouble(type, get(double{}), buffer);
      else PutInteger(type, get(int64_t{}), d->Scale, buffer);
      return true;
    case SQL_TIMESTAMP: {
      const double ms = get(double{});
      if (type == ftDate || type == ftTime) {
        const int32_t v = static_cast<int32_t>(type == ftDate ? std::floor(ms / 86400000.0)
                                                              : std::fmod(ms, 86400000.0));
        std::memcpy(buffer, &v, 4);
      } else {
        std::memcpy(buffer, &ms, 8);
      }
      return true;
    }
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME: {
      const int32_t v = get(int32_t{});
      if (type == ftDateTime || type == ftTimeStamp) {
        const double ms = d->SQLType == SQL_TYPE_DATE ? v * 86400000.0 : static_cast<double>(v);
        std::memcpy(buffer, &ms, 8);
      } else {
        std::memcpy(buffer, &v, 4);
      }
      return true;
    }
    case SQL_BLOB: {
      std::string content = ReadBlob(src);
      if (type == ftWideString) *static_cast<std::u16string*>(buffer) = AnsiToWide(content);
      else *static_cast<std::string*>(buffer) = std::move(content);
      return true;
    }
    default:
      std::memcpy(buffer, src, static_cast<size_t>(d->Size));
      return true;
  }
}

bool TFIBCustomDataSet::GetFieldDataRaw(const TField* field, void* dest) {
  TRecordBuffer b = FieldBuffer();
  const TFIBFieldDescr* d = ColumnOf(field);
  if (!b || !d || IsNullColumn(b, field->FieldNo() - 1)) return false;
  if (dest) std::memcpy(dest, b + d->Offset, static_cast<size_t>(d->OutOfLine ? 4 + d->Size : d->Size));
  return true;
}

// --- storing ---------------------------------------------------------------------------------

TRecordBuffer TFIBCustomDataSet::CheckStore(TField* field, const void* value) {
  const TDataSetState state = State();
  if (state != dsEdit && state != dsInsert) FIBError(feNotInEditMode, {FullComponentName()});
  if (state == dsInsert && !CanInsert()) FIBError(feCannotInsert, {FullComponentName()});
  if (state == dsEdit && !CanEdit()) FIBError(feCannotUpdate, {FullComponentName()});
  TRecordBuffer b = FieldBuffer();
  if (!b) FIBError(feNotInEditMode, {FullComponentName()});
  if (!ColumnOf(field)) DatabaseErrorFmt("Field '%s' not found", {field->DisplayName()}, this);
  field->Validate(value);
  return RowToWrite(b);
}

void TFIBCustomDataSet::FinishStore(TField* field, TRecordBuffer buffer) {
  if (UpdateStatusOf(buffer) == cusUnmodified) {
    SetUpdateStatusOf(buffer, State() == dsInsert ? cusInserted : cusModified);
    ++m_modifiedCount;
  }
  SetModified(true);
  const TDataSetState state = State();
  if (state != dsCalcFields && state != dsFilter && state != dsNewValue)
    DataEvent(deFieldChange, reinterpret_cast<intptr_t>(field));
}

void TFIBCustomDataSet::SetFieldData(TField* field, const void* buffer) {
  if (field->FieldKind() == fkCalculated || field->FieldKind() == fkLookup) {
    TRecordBuffer b = FieldBuffer();
    if (!b) FIBError(feNotInEditMode, {FullComponentName()});
    field->Validate(buffer);
    std::vector<Variant>& calc = CalcValuesOf(b);
    const int index = field->Index();
    if (index >= 0 && index < static_cast<int>(calc.size()))
      calc[static_cast<size_t>(index)] = buffer ? NativeToVariant(*field, buffer) : Variant::Null();
    if (State() != dsCalcFields) DataEvent(deFieldChange, reinterpret_cast<intptr_t>(field));
    return;
  }
  TRecordBuffer b = CheckStore(field, buffer);
  const TFIBFieldDescr& d = *ColumnOf(field);
  const int column = field->FieldNo() - 1;
  const TFieldType type = field->DataType();
  std::byte* dst = b + d.Offset;

  bool isNull = buffer == nullptr;
  std::string wideAsText;
  std::string_view text;
  if (!isNull && IsText(d.SQLType)) {
    if (type == ftWideString) {
      const auto& w = *static_cast<const std::u16string*>(buffer);
      TFIBDatabase* db = Database();
      wideAsText = db && db->IsUnicodeConnect() && db->IsUnicodeCharSet(d.CharSet) ? WideToUtf8(w) : WideToAnsi(w);
      text = wideAsText;
    } else if (type == ftMemo || type == ftBlob || type == ftBytes || type == ftVarBytes) {
      text = *static_cast<const std::string*>(buffer);
    } else {
      const char* p = static_cast<const char*>(buffer);
      const int explicitLength = StringStoreLength(field);
      text = explicitLength >= 0 ? std::string_view(p, static_cast<size_t>(explicitLength))
                                 : std::string_view(p, strnlen(p, static_cast<size_t>(field->DataSize())));
    }
    if (text.empty() && FieldEmptyStrToNull(field)) isNull = EmptyStringIsNull(field, d);
  }

  if (isNull) {
    SetNullColumn(b, column, true);
    if (d.OutOfLine) std::memset(dst, 0, 4);
    FinishStore(field, b);
    return;
  }
  auto put = [dst](auto x) { std::memcpy(dst, &x, sizeof x); };
  switch (d.SQLType) {
    case SQL_VARYING:
    case SQL_TEXT: {
      if (text.size() > static_cast<size_t>(d.Size)) text = text.substr(0, static_cast<size_t>(d.Size));
      if (HasOption(poTrimCharFields))
        while (!text.empty() && static_cast<unsigned char>(text.back()) < 33) text.remove_suffix(1);
      if (d.OutOfLine) {
        put(static_cast<int32_t>(text.size()));
        std::memcpy(dst + 4, text.data(), text.size());
        if (text.size() < static_cast<size_t>(d.Size)) dst[4 + text.size()] = std::byte{0};
      } else {
        std::memcpy(dst, text.data(), text.size());
        dst[text.size()] = std::byte{0};
      }
      break;
    }
    case SQL_FLOAT: put(static_cast<float>(NativeDouble(type, buffer))); break;
    case SQL_DOUBLE: case SQL_D_FLOAT: put(NativeDouble(type, buffer)); break;
    case SQL_SHORT:
    case SQL_LONG: {
      int64_t v;
      if (d.Scale < 0) {
        // Scaled columns keep the integer: nearest, ties to even.
        v = DoubleToScaledOrOverflow(NativeDouble(type, buffer), -d.Scale);
      } else {
        v = NativeInteger(type, buffer);
      }
      if (d.SQLType == SQL_SHORT) put(static_cast<int16_t>(v));
      else put(static_cast<int32_t>(v));
      break;
    }
    case SQL_INT64:
      if (d.Scale < -4 && !HasPrepareOption(psSQLINT64ToBCD)) {
        put(NativeDouble(type, buffer));
      } else if (type == ftBCD) {
        put(RescaledOrOverflow(static_cast<const Currency*>(buffer)->Raw, 4, -d.Scale));
      } else if (type == ftFloat || type == ftCurrency) {
        put(DoubleToScaledOrOverflow(NativeDouble(type, buffer), -d.Scale));
      } else {
        put(RescaledOrOverflow(NativeInteger(type, buffer), 0, -d.Scale));
      }
      break;
    case SQL_TIMESTAMP: {
      double ms;
      if (type == ftDate) ms = NativeInteger(ftInteger, buffer) * 86400000.0;
      else if (type == ftTime) ms = static_cast<double>(NativeInteger(ftInteger, buffer));
      else std::memcpy(&ms, buffer, 8);
      put(ms);
      break;
    }
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
      if (type == ftDateTime || type == ftTimeStamp) {
        double ms;
        std::memcpy(&ms, buffer, 8);
        put(static_cast<int32_t>(d.SQLType == SQL_TYPE_DATE ? std::floor(ms / 86400000.0)
                                                            : std::fmod(ms, 86400000.0)));
      } else {
        std::memcpy(dst, buffer, 4);
      }
      break;
    default:
      FIBError(feNotPermitted);
  }
  SetNullColumn(b, column, false);
  FinishStore(field, b);
}

void TFIBCustomDataSet::SetFieldDataRaw(TField* field, const void* src) {
  TRecordBuffer b = CheckStore(field, src);
  const TFIBFieldDescr& d = *ColumnOf(field);
  const int column = field->FieldNo() - 1;
  if (src) std::memcpy(b + d.Offset, src, static_cast<size_t>(d.OutOfLine ? 4 + d.Size : d.Size));
  else if (d.OutOfLine) std::memset(b + d.Offset, 0, 4);
  SetNullColumn(b, column, src == nullptr);
  FinishStore(field, b);
}

// --- hooks for the field classes (the richer dataset classes refine them) --------------

bool TFIBCustomDataSet::EmptyStringIsNull(TField*, const TFIBFieldDescr&) { return true; }
int TFIBCustomDataSet::StringStoreLength(const TField*) const { return -1; }
bool TFIBCustomDataSet::FieldEmptyStrToNull(const TField*) const { return false; }
