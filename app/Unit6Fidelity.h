// Values that would reach the target changed: cut to the column's length or
// holding characters the column's character set cannot keep. The transfers
// compare what the source file stores with what the target dataset holds
// just before the post (the one place every cut and every replacement has
// happened), and list what differs instead of storing it in silence.
#pragma once

#include <string>

#include "app/TargetMetadata.h"

// What storing `original` (UTF-16, as the source holds it) changes, given
// `held` (8-bit, what the target dataset holds for the column, on a
// connection that hands its bytes over unconverted): "" when nothing; else
// an 8-bit text such as "skraceno sa 8000 na 100 znakova (izgubljeno:
// 'end of the text')" and "2 znaka zamenjena sa '?' (U+0425, U+0435)".
std::string DescribeValueChange(const std::u16string& original, const std::string& held,
                                const TTargetColumn& column);

// The error list's line for a changed value: the prefix, the article or
// marking, the column and the change.
inline constexpr const char* kValueChangedPrefix = "Izmenjena vrednost: ";
