// Small text helpers shared by every layer.
#pragma once

#include <string>
#include <string_view>

// Remove characters with codes up to the blank (control characters included).
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
// Quotes s with q, doubling q inside ("it's" -> "'it''s'").
std::string QuotedStr(std::string_view s, char q = '\'');
