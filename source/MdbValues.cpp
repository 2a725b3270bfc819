// Stored Access values -> system text and variants.
#include "source/MdbValues.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "runtime/CodePage.h"
#include "runtime/Exceptions.h"
#include "source/MdbWire.h"

namespace {

bool IsCompressed(std::string_view s) {
  return s.size() >= 2 && static_cast<uint8_t>(s[0]) == 0xFF && static_cast<uint8_t>(s[1]) == 0xFE;
}

// Hands the UTF-16 units of a stored Jet 4 text to `unit` in order, until it
// returns false (then false). Plain texts are UCS-2; "FF FE" compressed
// ones hold single bytes for characters U+0001..U+00FF, where a 0 byte
// toggles to two-byte units and back.
//
// `narrowDone` bytes after the "FF FE" of a compressed text, all one-byte
// units and none 0, were handed over already (see NarrowAsciiRun).
template <class Unit>
bool ForEachUnit(std::string_view s, Unit unit, size_t narrowDone = 0) {
  auto pair = [&s](size_t i) {
    return static_cast<char16_t>(static_cast<uint8_t>(s[i]) | (static_cast<uint8_t>(s[i + 1]) << 8));
  };
  if (!IsCompressed(s)) {
    for (size_t i = 0; i + 1 < s.size(); i += 2)
      if (!unit(pair(i))) return false;
    return true;
  }
  bool narrow = true;
  size_t i = 2 + narrowDone;
  while (i < s.size()) {
    if (s[i] == '\0') {
      narrow = !narrow;
      ++i;
    } else if (narrow) {
      if (!unit(static_cast<char16_t>(static_cast<uint8_t>(s[i])))) return false;
      ++i;
    } else {
      if (i + 1 >= s.size()) break;
      if (!unit(pair(i))) return false;
      i += 2;
    }
  }
  return true;
}

// The leading ASCII characters of the one-byte stretch that starts a
// compressed text (`s` after its "FF FE"), copied into `out` up to
// `capacity`; stops before the first 0 byte (a switch to two-byte units) or
// byte above ASCII. Most stored texts are nothing else: eight at a time.
size_t NarrowAsciiRun(std::string_view s, char* out, size_t capacity) {
  constexpr uint64_t kOnes = 0x0101010101010101u;
  constexpr uint64_t kHigh = 0x8080808080808080u;
  const size_t limit = std::min(s.size(), capacity);
  size_t n = 0;
  for (; n + 8 <= limit; n += 8) {
    uint64_t w;
    std::memcpy(&w, s.data() + n, 8);
    if ((((w - kOnes) & ~w) | w) & kHigh) break;  // a 0 byte or one above ASCII
    std::memcpy(out + n, &w, 8);
  }
  for (; n < limit; ++n) {
    const auto c = static_cast<uint8_t>(s[n]);
    if (c == 0 || c >= 0x80) break;
    out[n] = static_cast<char>(c);
  }
  return n;
}

// A stored Jet 4 text of one-byte units at most: never longer than its bytes.
std::u16string Jet4ToWide(std::string_view s) {
  std::u16string out(s.size(), u'\0');
  size_t n = 0;
  ForEachUnit(s, [&](char16_t u) {
    out[n++] = u;
    return true;
  });
  out.resize(n);
  return out;
}

// The stored Jet 4 text as system text when it is plain ASCII, which reads
// the same in the code page: most texts skip the way through UTF-16.
bool Jet4AsciiToAnsi(std::string_view s, std::string& out) {
  out.assign(s.size(), '\0');
  size_t n = 0;
  const bool ascii = ForEachUnit(s, [&](char16_t u) {
    if (u >= 0x80) return false;
    out[n++] = static_cast<char>(u);
    return true;
  });
  out.resize(n);
  return ascii;
}

std::u16string EightBitToWide(std::string_view s, int codePage) {
  if (codePage == 0 || codePage == 1250) return AnsiToWide(s);
  try {
    // An undefined byte becomes "?", as the driver shows it.
    return CharSetToWide(s, "CP" + std::to_string(codePage));
  } catch (const EOSError&) {
    // A code page iconv does not know: read as the system's.
    return AnsiToWide(s);
  }
}

uint32_t Word32(std::string_view b, size_t at) {
  uint32_t v = 0;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}

// The magnitude of a Decimal as four 32-bit words, least significant first.
void DecimalWords(std::string_view bytes, uint32_t words[4]) {
  for (int w = 0; w < 4; ++w) words[3 - w] = Word32(bytes, 1 + 4 * static_cast<size_t>(w));
}

// Divides the 128-bit magnitude by `d` in place and returns the remainder.
uint32_t DivWords(uint32_t words[4], uint32_t d) {
  uint64_t rem = 0;
  for (int w = 3; w >= 0; --w) {
    const uint64_t cur = (rem << 32) | words[w];
    words[w] = static_cast<uint32_t>(cur / d);
    rem = cur % d;
  }
  return static_cast<uint32_t>(rem);
}

bool IsZero(const uint32_t words[4]) { return !(words[0] | words[1] | words[2] | words[3]); }

template <typename T>
T Fixed(const std::string& data) {
  T v{};
  std::memcpy(&v, data.data(), sizeof v);
  return v;
}

}  // namespace

std::u16string JetTextToWide(std::string_view stored, int jetVersion, int codePage) {
  if (jetVersion == 0) return EightBitToWide(stored, codePage);
  return Jet4ToWide(stored);
}

std::string JetTextToAnsi(std::string_view stored, int jetVersion, int codePage) {
  if (jetVersion == 0 && (codePage == 0 || codePage == 1250)) return std::string(stored);
  std::string ansi;
  if (jetVersion != 0 && Jet4AsciiToAnsi(stored, ansi)) return ansi;
  return WideToAnsi(JetTextToWide(stored, jetVersion, codePage));
}

size_t JetTextToAnsiInto(std::string_view stored, int jetVersion, int codePage, char* out, size_t capacity) {
  if (jetVersion != 0) {
    // Plain ASCII goes straight into the caller's buffer, cut at its
    // capacity: the bytes are the same as those of the full conversion.
    const bool compressed = IsCompressed(stored);
    const size_t run = compressed ? NarrowAsciiRun(stored.substr(2), out, capacity) : 0;
    if (compressed && run == stored.size() - 2) return run;  // the whole text
    size_t n = run;
    bool full = false;
    const bool ascii = ForEachUnit(
        stored,
        [&](char16_t u) {
          if (u >= 0x80) return false;
          if (n == capacity) {
            full = true;
            return false;
          }
          out[n++] = static_cast<char>(u);
          return true;
        },
        run);
    if (ascii || full) return n;
  }
  const std::string text = JetTextToAnsi(stored, jetVersion, codePage);
  const size_t n = std::min(text.size(), capacity);
  std::memcpy(out, text.data(), n);
  return n;
}

std::string JetGuidText(std::string_view b) {
  static const char kHex[] = "0123456789ABCDEF";
  // The first three groups are little-endian numbers, the rest bytes in order.
  static constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  std::string s = "{";
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) s += '-';
    const auto byte = static_cast<uint8_t>(b.size() == 16 ? b[static_cast<size_t>(kOrder[i])] : 0);
    s += kHex[byte >> 4];
    s += kHex[byte & 15];
  }
  s += '}';
  return s;
}

std::string JetDecimalText(std::string_view bytes, int scale) {
  if (bytes.size() != 17) return {};
  uint32_t words[4];
  DecimalWords(bytes, words);
  std::string digits;
  while (!IsZero(words)) digits.insert(digits.begin(), static_cast<char>('0' + DivWords(words, 10)));
  if (static_cast<int>(digits.size()) <= scale)
    digits.insert(0, static_cast<size_t>(scale + 1) - digits.size(), '0');
  if (scale > 0) digits.insert(digits.size() - static_cast<size_t>(scale), ".");
  if (static_cast<uint8_t>(bytes[0]) & 0x80) digits.insert(0, "-");
  return digits;
}

bool JetDecimalToCurrency(std::string_view bytes, int scale, Currency& value) {
  if (bytes.size() != 17 || scale < 0 || scale > 28) return false;
  uint32_t words[4];
  DecimalWords(bytes, words);
  // Bring the scale to four decimals.
  uint32_t lastRemainder = 0;
  for (int s = scale; s > 4; --s) lastRemainder = DivWords(words, 10);
  if (words[3] != 0 || words[2] != 0) return false;
  uint64_t mag = (static_cast<uint64_t>(words[1]) << 32) | words[0];
  for (int s = scale; s < 4; ++s)
    if (__builtin_mul_overflow(mag, uint64_t{10}, &mag)) return false;
  if (lastRemainder >= 5 && __builtin_add_overflow(mag, uint64_t{1}, &mag)) return false;
  const bool negative = static_cast<uint8_t>(bytes[0]) & 0x80;
  if (mag > static_cast<uint64_t>(INT64_MAX) + (negative ? 1 : 0)) return false;
  value.Raw = negative ? static_cast<int64_t>(0 - mag) : static_cast<int64_t>(mag);
  return true;
}

TJetFieldType JetFieldType(const TMdbColumn& c, int jetVersion) {
  switch (c.type) {
    case mdbwire::kBool: return {ftBoolean, 0, 0};
    case mdbwire::kByte: return {ftWord, 0, 0};
    case mdbwire::kInt: return {ftSmallint, 0, 0};
    case mdbwire::kLong: return {c.longAuto ? ftAutoInc : ftInteger, 0, 0};
    case mdbwire::kMoney: return {ftBCD, 4, 19};
    case mdbwire::kFloat:
    case mdbwire::kDouble: return {ftFloat, 0, 0};
    case mdbwire::kDateTime: return {ftDateTime, 0, 0};
    case mdbwire::kBinary: return {ftVarBytes, std::max<int>(1, static_cast<int>(c.size)), 0};
    case mdbwire::kText: {
      // Jet 4 stores the length in bytes of UCS-2; the field counts 8-bit characters.
      const int chars = static_cast<int>(jetVersion == 0 ? c.size : c.size / 2);
      return {ftString, std::max(1, chars), 0};
    }
    case mdbwire::kOle: return {ftBlob, 0, 0};
    case mdbwire::kMemo: return {ftMemo, 0, 0};
    case mdbwire::kRepId: return {ftGuid, 38, 0};
    case mdbwire::kNumeric:
      if (c.scale == 0 && c.precision < 10) return {ftInteger, 0, 0};
      return {ftBCD, c.scale, c.precision};
    default: return {};
  }
}

Variant JetValue(const TMdbTable& table, size_t row, size_t column, int maxBytes) {
  const TMdbCell& cell = table.Cell(row, column);
  if (cell.null) return Variant::Null();
  const TMdbColumn& c = table.columns[column];
  const std::string& d = cell.data;
  switch (c.type) {
    case mdbwire::kBool: return Variant(!d.empty() && d[0] != 0);
    case mdbwire::kByte: return Variant(static_cast<int32_t>(static_cast<uint8_t>(d[0])));
    case mdbwire::kInt: return Variant(Fixed<int16_t>(d));
    case mdbwire::kLong: return Variant(Fixed<int32_t>(d));
    case mdbwire::kMoney: return Variant::FromCurrency(Currency::FromRaw(Fixed<int64_t>(d)));
    case mdbwire::kFloat: return Variant(static_cast<double>(Fixed<float>(d)));
    case mdbwire::kDouble: return Variant(Fixed<double>(d));
    // The stored double counts days from 1899-12-30 with the time of day as
    // its fraction (subtracted before that day): the system's own date value.
    case mdbwire::kDateTime: return Variant::FromDate(Fixed<double>(d));
    case mdbwire::kRepId: return Variant(JetGuidText(d));
    case mdbwire::kNumeric: {
      if (c.scale == 0 && c.precision < 10) {
        Currency v;
        if (!JetDecimalToCurrency(d, 0, v)) throw EBcdOverflow("BCD overflow");
        return Variant(static_cast<int32_t>(v.Raw / Currency::Scale));
      }
      Currency v;
      if (!JetDecimalToCurrency(d, c.scale, v)) throw EBcdOverflow("BCD overflow");
      return Variant::FromCurrency(v);
    }
    case mdbwire::kText:
    case mdbwire::kMemo: {
      std::string text = JetTextToAnsi(d, table.jetVersion, table.codePage);
      if (maxBytes > 0 && text.size() > static_cast<size_t>(maxBytes)) text.resize(static_cast<size_t>(maxBytes));
      return Variant(std::move(text));
    }
    default: return Variant(d);  // OLE, binary: the bytes as they are
  }
}
