// Access's "General" sort order for text, as far as a byte comparison can
// follow it: letters ignoring case, accented letters right after their base
// letter (c < č < ć < d), digits before letters, punctuation before digits,
// hyphen and apostrophe looked at only when all else is equal.
#pragma once

#include <string>
#include <string_view>

// A key whose byte order (std::string comparison) is the sort order of the
// 8-bit texts it was made from; texts that differ only in letter case get
// equal keys.
std::string AccessTextSortKey(std::string_view ansi);

// <0, 0, >0 in that order.
int AccessCompareText(std::string_view a, std::string_view b);
