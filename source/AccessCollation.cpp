// Sort keys for Access's General text order.
#include "source/AccessCollation.h"

#include <array>
#include <cstdint>

#include "runtime/CodePage.h"

namespace {

// Base letter (upper case) of a Latin letter the code page can hold, or 0.
char BaseLetter(char16_t c) {
  if (c >= u'A' && c <= u'Z') return static_cast<char>(c);
  if (c >= u'a' && c <= u'z') return static_cast<char>(c - 32);
  struct Range { char16_t first, last; char base; };
  static constexpr Range kRanges[] = {
      {0xC0, 0xC5, 'A'}, {0xC7, 0xC7, 'C'}, {0xC8, 0xCB, 'E'}, {0xCC, 0xCF, 'I'}, {0xD0, 0xD0, 'D'},
      {0xD1, 0xD1, 'N'}, {0xD2, 0xD6, 'O'}, {0xD8, 0xD8, 'O'}, {0xD9, 0xDC, 'U'}, {0xDD, 0xDD, 'Y'},
      {0xE0, 0xE5, 'A'}, {0xE7, 0xE7, 'C'}, {0xE8, 0xEB, 'E'}, {0xEC, 0xEF, 'I'}, {0xF0, 0xF0, 'D'},
      {0xF1, 0xF1, 'N'}, {0xF2, 0xF6, 'O'}, {0xF8, 0xF8, 'O'}, {0xF9, 0xFC, 'U'}, {0xFD, 0xFD, 'Y'},
      {0xFF, 0xFF, 'Y'}, {0x100, 0x105, 'A'}, {0x106, 0x10D, 'C'}, {0x10E, 0x111, 'D'},
      {0x112, 0x11B, 'E'}, {0x11C, 0x123, 'G'}, {0x124, 0x127, 'H'}, {0x128, 0x131, 'I'},
      {0x134, 0x135, 'J'}, {0x136, 0x138, 'K'}, {0x139, 0x142, 'L'}, {0x143, 0x14B, 'N'},
      {0x14C, 0x151, 'O'}, {0x154, 0x159, 'R'}, {0x15A, 0x161, 'S'}, {0x162, 0x167, 'T'},
      {0x168, 0x173, 'U'}, {0x174, 0x175, 'W'}, {0x176, 0x178, 'Y'}, {0x179, 0x17E, 'Z'},
  };
  for (const auto& r : kRanges)
    if (c >= r.first && c <= r.last) return r.base;
  return 0;
}

struct Weights {
  uint16_t primary = 0;    // 0 = ignorable at the first level
  uint16_t secondary = 0;  // accent: 1 plain, else a rank per accented letter
  uint16_t tertiary = 0;   // every character, ignorables included
  bool sharpS = false;     // ß sorts as "ss"
};

// One entry per byte of the code page, built once.
const std::array<Weights, 256>& Table() {
  static const std::array<Weights, 256> table = [] {
    std::array<Weights, 256> t{};
    for (int b = 1; b < 256; ++b) {
      const std::string one(1, static_cast<char>(b));
      const std::u16string w = AnsiToWide(one);
      const char16_t c = w.empty() ? u'?' : w[0];
      Weights& x = t[static_cast<size_t>(b)];
      if (c == u'ß') {
        x.primary = 0x3000 + ('S' - 'A');
        x.secondary = 2;
        x.sharpS = true;
      } else if (const char base = BaseLetter(c)) {
        x.primary = static_cast<uint16_t>(0x3000 + (base - 'A'));
        // The lower-case form ranks the accent, so case never counts.
        const std::u16string lower = AnsiToWide(AnsiLowerCase(one));
        const char16_t lc = lower.empty() ? c : lower[0];
        x.secondary = (c < 0x80) ? 1 : static_cast<uint16_t>(2 + lc);
      } else if (c >= u'0' && c <= u'9') {
        x.primary = static_cast<uint16_t>(0x2000 + (c - u'0'));
        x.secondary = 1;
      } else if (c == u'-' || c == u'\'' || c == 0xAD || c == 0x2019) {
        x.primary = 0;  // word sort: hyphens and apostrophes count last
      } else {
        x.primary = static_cast<uint16_t>(0x1000 + b);
        x.secondary = 1;
      }
      // At the last level an ignorable character weighs more than any
      // other, so "coop" sorts before "co-op".
      x.tertiary = x.primary ? x.primary : static_cast<uint16_t>(0xF000 + b);
    }
    return t;
  }();
  return table;
}

void Put(std::string& key, uint16_t v) {
  key.push_back(static_cast<char>(v >> 8));
  key.push_back(static_cast<char>(v & 0xFF));
}

}  // namespace

std::string AccessTextSortKey(std::string_view ansi) {
  const auto& table = Table();
  std::string key;
  key.reserve(ansi.size() * 6 + 4);
  for (char ch : ansi) {
    const Weights& w = table[static_cast<uint8_t>(ch)];
    if (w.primary == 0) continue;
    Put(key, w.primary);
    if (w.sharpS) Put(key, w.primary);
  }
  Put(key, 0);
  for (char ch : ansi) {
    const Weights& w = table[static_cast<uint8_t>(ch)];
    if (w.primary == 0) continue;
    Put(key, w.secondary);
    if (w.sharpS) Put(key, w.secondary);
  }
  Put(key, 0);
  for (char ch : ansi) Put(key, table[static_cast<uint8_t>(ch)].tertiary);
  return key;
}

int AccessCompareText(std::string_view a, std::string_view b) {
  const int c = AccessTextSortKey(a).compare(AccessTextSortKey(b));
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}
