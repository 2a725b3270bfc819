// Value encodings of the Jet 4 writer: text to UCS-2 (with Access's Unicode
// compression), decimal numbers to Jet's 17-byte form. Internal to jet4writer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace jet4 {

// UTF-8 -> UTF-16 code units; throws std::runtime_error on malformed input.
std::u16string Utf8ToUtf16(std::string_view utf8);

// Stored bytes of a text value: the compressed form (FF FE, one byte per
// character in the narrow mode, 00 toggling to two-byte units and back) when
// `allowCompression`, every unit is encodable and the result is shorter;
// otherwise plain UTF-16LE.
std::vector<std::uint8_t> EncodeText(std::u16string_view text, bool allowCompression);

// "-123.45" with the column's scale -> 17 bytes (sign byte, then the unscaled
// magnitude as four 32-bit words, most significant word first, each stored
// little-endian). Throws std::runtime_error for malformed text, more fraction
// digits than `scale`, or more digits than `precision`.
std::vector<std::uint8_t> EncodeDecimal(std::string_view text, int precision, int scale);

}  // namespace jet4
