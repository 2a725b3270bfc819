// Conversions between the system code page, UTF-8 and UTF-16 through iconv,
// and the code page's letter case.
#include "runtime/CodePage.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstring>
#include <map>

#include "runtime/Exceptions.h"

static_assert(std::endian::native == std::endian::little, "UTF-16 texts are converted as UTF-16LE");

namespace {

constexpr const char* kUtf8 = "UTF-8";
constexpr const char* kUtf16 = "UTF-16LE";

// How a character iconv refused is skipped, so that one replacement stands
// for it: a UTF-8 or UTF-16 sequence whole, any other set's byte alone.
enum class Unit { Byte, Utf8, Utf16 };

Unit UnitOf(std::string_view iconvName) {
  if (iconvName == kUtf8) return Unit::Utf8;
  if (iconvName == kUtf16) return Unit::Utf16;
  return Unit::Byte;
}

// Length of the input character at p that iconv refused.
size_t BadCharLength(Unit from, const char* p, size_t left) {
  if (from == Unit::Utf8) {
    auto lead = static_cast<unsigned char>(*p);
    size_t n = lead >= 0xF0 && lead < 0xF8 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (n > left) return left;
    // Only a well-formed sequence is skipped whole; stray bytes one by one.
    for (size_t i = 1; i < n; ++i)
      if ((static_cast<unsigned char>(p[i]) & 0xC0) != 0x80) return 1;
    return n;
  }
  if (from == Unit::Utf16) {
    if (left < 2) return left;
    uint16_t unit, next = 0;
    std::memcpy(&unit, p, 2);
    if (left >= 4) std::memcpy(&next, p + 2, 2);
    // A pair is skipped whole; a lone high surrogate alone, so the character
    // after it survives.
    return unit >= 0xD800 && unit < 0xDC00 && next >= 0xDC00 && next < 0xE000 ? 4 : 2;
  }
  return 1;
}

// The one iconv descriptor wrapper: every conversion of the system goes
// through it. One per direction and thread: descriptors carry state.
class Converter {
 public:
  Converter(const std::string& from, const std::string& to) : m_from(UnitOf(from)), m_to(UnitOf(to)) {
    m_cd = iconv_open(to.c_str(), from.c_str());
    if (m_cd == reinterpret_cast<iconv_t>(-1)) throw EOSError("Cannot convert from " + from + " to " + to, errno);
  }
  ~Converter() { iconv_close(m_cd); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // `replacement` (bytes in the target set) stands for each character the
  // target cannot hold or the input does not encode.
  std::string Run(const char* data, size_t size, std::string_view replacement) {
    std::string out;
    out.resize(size * (m_to == Unit::Byte ? 1 : 4) + 8);
    iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(data);
    size_t inLeft = size;
    size_t used = 0;
    while (inLeft > 0) {
      char* dst = out.data() + used;
      size_t dstLeft = out.size() - used;
      size_t r = iconv(m_cd, &in, &inLeft, &dst, &dstLeft);
      used = out.size() - dstLeft;
      if (r != static_cast<size_t>(-1)) break;
      if (errno == E2BIG) {
        out.resize(out.size() * 2 + 16);
        continue;
      }
      // EILSEQ (no such character in the target, or malformed input) or
      // EINVAL (truncated input): one replacement stands for the character.
      size_t skip = errno == EINVAL ? inLeft : BadCharLength(m_from, in, inLeft);
      in += skip;
      inLeft -= skip;
      Append(out, used, replacement);
      iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(used);
    return out;
  }

 private:
  static void Append(std::string& out, size_t& used, std::string_view bytes) {
    if (out.size() < used + bytes.size()) out.resize(used + bytes.size() + 16);
    std::memcpy(out.data() + used, bytes.data(), bytes.size());
    used += bytes.size();
  }

  Unit m_from, m_to;
  iconv_t m_cd;
};

// A character in UTF-16LE bytes, as the converter's replacement.
std::string Utf16Bytes(char16_t c) {
  std::string bytes(2, '\0');
  std::memcpy(bytes.data(), &c, 2);
  return bytes;
}

// The system code page's own directions, opened once per thread.
enum class Enc { Ansi, Utf8, Utf16 };

constexpr const char* IconvName(Enc e) {
  switch (e) {
    case Enc::Ansi: return kSystemCodePage;
    case Enc::Utf8: return kUtf8;
    default: return kUtf16;
  }
}

template <Enc From, Enc To>
std::string Convert(const void* data, size_t bytes) {
  thread_local Converter converter(IconvName(From), IconvName(To));
  return converter.Run(static_cast<const char*>(data), bytes,
                       To == Enc::Utf16 ? std::string_view("?\0", 2) : std::string_view("?"));
}

// Another set by name to UTF-16: the converters opened so far on this
// thread, kept (a run meets a handful of sets).
std::string NamedToUtf16(const std::string& charSet, std::string_view bytes, std::string_view replacement) {
  thread_local std::map<std::string, Converter> converters;
  auto found = converters.find(charSet);
  if (found == converters.end()) found = converters.try_emplace(charSet, charSet, kUtf16).first;
  return found->second.Run(bytes.data(), bytes.size(), replacement);
}

// Plain ASCII is the same in the code page, UTF-8 and UTF-16: such texts
// (most of them) skip iconv, which costs far more per call than a copy.
bool IsAscii(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

std::u16string ToU16(const std::string& bytes) {
  std::u16string s(bytes.size() / 2, u'\0');
  std::memcpy(s.data(), bytes.data(), s.size() * 2);
  return s;
}

// Letter case of Windows-1250: ASCII, the paired letters in 0x8A..0xBF and
// the block 0xC0..0xDE / 0xE0..0xFE (except × and ÷). ß and µ have no
// upper-case form in the code page.
struct CaseTables {
  std::array<unsigned char, 256> upper{};
  std::array<unsigned char, 256> lower{};
  CaseTables() {
    for (int i = 0; i < 256; ++i) upper[i] = lower[i] = static_cast<unsigned char>(i);
    auto pair = [this](int up, int low) {
      upper[low] = static_cast<unsigned char>(up);
      lower[up] = static_cast<unsigned char>(low);
    };
    for (int c = 'A'; c <= 'Z'; ++c) pair(c, c + 32);
    const int pairs[][2] = {{0x8A, 0x9A}, {0x8C, 0x9C}, {0x8D, 0x9D}, {0x8E, 0x9E},
                            {0x8F, 0x9F}, {0xA3, 0xB3}, {0xA5, 0xB9}, {0xAA, 0xBA},
                            {0xAF, 0xBF}, {0xBC, 0xBE}};
    for (const auto& p : pairs) pair(p[0], p[1]);
    for (int c = 0xC0; c <= 0xDE; ++c)
      if (c != 0xD7) pair(c, c + 32);
  }
};

const CaseTables& Case() {
  static const CaseTables tables;
  return tables;
}

}  // namespace

std::string AnsiToUtf8(std::string_view ansi) {
  if (IsAscii(ansi)) return std::string(ansi);
  return Convert<Enc::Ansi, Enc::Utf8>(ansi.data(), ansi.size());
}

std::string Utf8ToAnsi(std::string_view utf8) {
  if (IsAscii(utf8)) return std::string(utf8);
  return Convert<Enc::Utf8, Enc::Ansi>(utf8.data(), utf8.size());
}

std::string WideToAnsi(std::u16string_view wide) {
  std::string out(wide.size(), '\0');
  for (size_t i = 0; i < wide.size(); ++i) {
    if (wide[i] >= 0x80) return Convert<Enc::Utf16, Enc::Ansi>(wide.data(), wide.size() * 2);
    out[i] = static_cast<char>(wide[i]);
  }
  return out;
}

std::u16string AnsiToWide(std::string_view ansi) {
  if (IsAscii(ansi)) return std::u16string(ansi.begin(), ansi.end());
  return ToU16(Convert<Enc::Ansi, Enc::Utf16>(ansi.data(), ansi.size()));
}

std::u16string Utf8ToWide(std::string_view utf8) {
  return ToU16(Convert<Enc::Utf8, Enc::Utf16>(utf8.data(), utf8.size()));
}

std::string WideToUtf8(std::u16string_view wide) {
  return Convert<Enc::Utf16, Enc::Utf8>(wide.data(), wide.size() * 2);
}

std::u16string CharSetToWide(std::string_view bytes, const std::string& charSet, char16_t replacement) {
  return ToU16(NamedToUtf16(charSet, bytes, Utf16Bytes(replacement)));
}

std::string AnsiUpperCase(std::string_view s) {
  const auto& t = Case().upper;
  std::string out(s);
  for (char& c : out) c = static_cast<char>(t[static_cast<unsigned char>(c)]);
  return out;
}

std::string AnsiLowerCase(std::string_view s) {
  const auto& t = Case().lower;
  std::string out(s);
  for (char& c : out) c = static_cast<char>(t[static_cast<unsigned char>(c)]);
  return out;
}

int AnsiCompareText(std::string_view a, std::string_view b) {
  size_t n = std::min(a.size(), b.size());
  // Names are mostly compared with themselves in the same case: equal bytes
  // need no case table.
  size_t i = 0;
  while (i < n && a[i] == b[i]) ++i;
  if (i < n) {
    const auto& t = Case().upper;
    for (; i < n; ++i) {
      int ca = t[static_cast<unsigned char>(a[i])];
      int cb = t[static_cast<unsigned char>(b[i])];
      if (ca != cb) return ca < cb ? -1 : 1;
    }
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

std::size_t SameTextHash(std::string_view s) noexcept {
  const auto& t = Case().upper;
  std::size_t h = 14695981039346656037ull;  // FNV-1a
  for (char c : s) h = (h ^ t[static_cast<unsigned char>(c)]) * 1099511628211ull;
  return h;
}

std::string UpperCaseAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = UpperCaseAscii(c);
  return out;
}

std::string LowerCaseAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return out;
}

bool SameTextAscii(std::string_view a, std::string_view b) {
  return a.size() == b.size() && StartsWithTextAscii(a, b);
}

bool StartsWithTextAscii(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (UpperCaseAscii(s[i]) != UpperCaseAscii(prefix[i])) return false;
  return true;
}
