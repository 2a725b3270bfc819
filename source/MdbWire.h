// The framing between the isolated Access reader (the mdbreader child) and
// the library: length-prefixed frames carrying the catalog, a table's column
// definitions and its rows in their stored binary form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace mdbwire {

// The child writes its frames to this descriptor (its stdout and stderr lead
// to /dev/null, because libmdb prints there).
inline constexpr int kFrameFd = 3;

// Every frame: u32 payload length (little-endian), then the payload, whose
// first byte is one of these kinds.
enum FrameKind : uint8_t {
  kCatalog = 'C',  // u8 jet version, u32 count, then per user table: str name (UTF-8)
  kTable = 'T',    // u8 jet version, u16 code page, u32 stored row count, u16 columns, per column (below)
  kRow = 'R',      // per column: u8 present (0 = NULL), then the value (below)
  kEnd = 'E',      // u32 rows sent
  kError = 'X',    // u8 ErrorCode, str message
};

enum ErrorCode : uint8_t {
  kNotAccess = 1,      // the file is not an Access database
  kDamaged = 2,        // libmdb reported a failure reading a structure
  kNoTable = 3,        // the named table is not in the catalog
  kCannotOpen = 4,     // the operating system refused the file
  kUsage = 5,          // the child was started wrongly
};

// Column entry of a kTable frame: str name, u8 Jet type code, u32 size in
// bytes as stored, u8 flags, u8 precision, u8 scale.
enum ColumnFlags : uint8_t { kFixed = 1, kLongAuto = 2, kUuidAuto = 4 };

// Jet column type codes as stored in a table definition.
enum JetType : uint8_t {
  kBool = 0x01, kByte = 0x02, kInt = 0x03, kLong = 0x04, kMoney = 0x05, kFloat = 0x06,
  kDouble = 0x07, kDateTime = 0x08, kBinary = 0x09, kText = 0x0A, kOle = 0x0B, kMemo = 0x0C,
  kRepId = 0x0F, kNumeric = 0x10,
};

// Bytes of a value of a fixed-size type on the wire (the stored form), or 0
// for types sent with a u32 length (text, memo, OLE, binary, unknown).
// A Yes/No value travels as one byte 0/1.
constexpr size_t FixedSize(uint8_t type) {
  switch (type) {
    case kBool: case kByte: return 1;
    case kInt: return 2;
    case kLong: case kFloat: return 4;
    case kMoney: case kDouble: case kDateTime: return 8;
    case kRepId: return 16;
    case kNumeric: return 17;
    default: return 0;
  }
}

// Appending values to a frame being built.
class Writer {
 public:
  Writer() { m_buf.resize(4); }
  explicit Writer(FrameKind kind) : Writer() { U8(kind); }
  void U8(uint8_t v) { m_buf.push_back(static_cast<char>(v)); }
  void U16(uint16_t v) { Raw(&v, 2); }
  void U32(uint32_t v) { Raw(&v, 4); }
  void Raw(const void* p, size_t n) { m_buf.append(static_cast<const char*>(p), n); }
  void Str(std::string_view s) {
    U32(static_cast<uint32_t>(s.size()));
    Raw(s.data(), s.size());
  }
  // The finished frame with its length in front.
  const std::string& Finish() {
    const uint32_t len = static_cast<uint32_t>(m_buf.size() - 4);
    std::memcpy(m_buf.data(), &len, 4);
    return m_buf;
  }

 private:
  std::string m_buf;
};

// Reading values from a received frame payload; every read is bounds-checked
// and a short payload makes ok() false instead of reading past the end.
class Reader {
 public:
  explicit Reader(std::string_view payload) : m_data(payload) {}
  bool ok() const noexcept { return m_ok; }
  bool AtEnd() const noexcept { return m_pos == m_data.size(); }
  uint8_t U8() { uint8_t v = 0; Raw(&v, 1); return v; }
  uint16_t U16() { uint16_t v = 0; Raw(&v, 2); return v; }
  uint32_t U32() { uint32_t v = 0; Raw(&v, 4); return v; }
  std::string_view Bytes(size_t n) {
    if (!m_ok || n > m_data.size() - m_pos) { m_ok = false; return {}; }
    std::string_view s = m_data.substr(m_pos, n);
    m_pos += n;
    return s;
  }
  std::string_view Str() { return Bytes(U32()); }

 private:
  void Raw(void* p, size_t n) {
    std::string_view s = Bytes(n);
    if (m_ok) std::memcpy(p, s.data(), n);
  }
  std::string_view m_data;
  size_t m_pos = 0;
  bool m_ok = true;
};

}  // namespace mdbwire
