// Decoding of Access values from their stored bytes (as the mdbreader child
// delivers them) into the system's forms: 8-bit text in the system code page,
// variants of the exact stored number, date or currency. Nothing passes
// through a locale-dependent text form.
#pragma once

#include <string>
#include <string_view>

#include "dataset/Field.h"
#include "dataset/Variant.h"
#include "runtime/Currency.h"
#include "source/MdbReader.h"

// Stored text (Jet 4: UCS-2, or "FF FE" compressed; Jet 3: 8-bit in the
// file's code page) as UTF-16.
std::u16string JetTextToWide(std::string_view stored, int jetVersion, int codePage);
// ... and in the system code page.
std::string JetTextToAnsi(std::string_view stored, int jetVersion, int codePage);
// The same text written into `out`, cut at `capacity` bytes; returns its length.
size_t JetTextToAnsiInto(std::string_view stored, int jetVersion, int codePage, char* out, size_t capacity);

// A replication ID's 16 bytes as "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
std::string JetGuidText(std::string_view bytes);

// A Decimal's 17 stored bytes (sign byte, 96/128-bit magnitude as 32-bit
// words, most significant first) at the given scale, as a currency value
// (rounded half away from zero past four decimals). False when it does not fit.
bool JetDecimalToCurrency(std::string_view bytes, int scale, Currency& value);
// The same as exact decimal text ("-123.4500"), for messages and dumps.
std::string JetDecimalText(std::string_view bytes, int scale);

// The data type and size a column becomes as a field: Text -> ftString of
// its length in characters, Memo -> ftMemo, Byte -> ftWord, Integer ->
// ftSmallint, Long Integer -> ftInteger or ftAutoInc, Single/Double ->
// ftFloat, Currency -> ftBCD, Decimal -> ftBCD (ftInteger for scale 0 and
// precision below 10), Yes/No -> ftBoolean, Date/Time -> ftDateTime, OLE
// Object -> ftBlob, Binary -> ftVarBytes, Replication ID -> ftGuid (38).
// ftUnknown for a type that gets no field.
struct TJetFieldType {
  TFieldType type = ftUnknown;
  int size = 0;       // string length, decimals of a BCD, bytes of var bytes
  int precision = 0;  // BCD digits
};
TJetFieldType JetFieldType(const TMdbColumn& column, int jetVersion);

// One stored value as the variant its field class expects; Null for NULL.
// Text is cut at `maxBytes` bytes (0 = no cut).
Variant JetValue(const TMdbTable& table, size_t row, size_t column, int maxBytes);
