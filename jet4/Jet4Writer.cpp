// Jet 4 file writer: lays out pages (header, catalog, table definitions, usage
// maps, data and long-value pages) and encodes rows.
#include "jet4/Jet4Writer.h"

#include "jet4/Jet4Encoding.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <optional>
#include <stdexcept>

namespace {

constexpr std::size_t kPageSize = 4096;
constexpr std::uint32_t kColumnMagic = 0x0659;
constexpr std::size_t kDataPageHeader = 14;
constexpr std::size_t kMaxRowsPerPage = 255;    // a pg_row has one byte for the row
constexpr std::size_t kMaxRowSize = 4060;
constexpr std::size_t kMaxLongValueRow = 4076;  // one LVAL row holding a whole value
constexpr std::size_t kLongValueChunk = 4072;   // data bytes of one link of a chain
constexpr std::size_t kInlineLongValue = 64;
constexpr std::size_t kMapRowSize = 69;
constexpr std::size_t kInlineMapPages = 512;
constexpr std::size_t kBitmapPageBits = (kPageSize - 4) * 8;
constexpr std::size_t kReferenceMapSlots = 17;
constexpr std::size_t kCatalogTdefPage = 2;  // readers hard-code it
constexpr double kCreationDate = 37622.5;    // 2003-01-01 12:00, fixed so files are reproducible

using Bytes = std::vector<std::uint8_t>;

void Put16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void Put64(std::uint8_t* p, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
void PutDouble(std::uint8_t* p, double d) {
  std::uint64_t v;
  std::memcpy(&v, &d, sizeof v);
  Put64(p, v);
}
void Append16(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Append32(Bytes& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// All pages of the file, in memory until the end.
class PageFile {
 public:
  std::uint32_t Allocate() {
    m_pages.emplace_back(kPageSize, 0);
    return static_cast<std::uint32_t>(m_pages.size() - 1);
  }
  std::uint8_t* At(std::uint32_t page) { return m_pages.at(page).data(); }
  std::size_t Count() const { return m_pages.size(); }
  Bytes Join() const {
    Bytes out;
    out.reserve(m_pages.size() * kPageSize);
    for (const auto& p : m_pages) out.insert(out.end(), p.begin(), p.end());
    return out;
  }

 private:
  std::vector<Bytes> m_pages;
};

// Rows appended to data pages of one owner (a table, "LVAL", or 0 for usage
// maps). Rows fill a page from its end, back to back: a row's length is only
// the distance to its neighbour, so there must be no gap.
class RowPages {
 public:
  RowPages(PageFile& file, std::uint32_t owner) : m_file(file), m_owner(owner) {}

  // Returns the row's pg_row (page << 8 | row number).
  std::uint32_t Add(const Bytes& row) {
    if (m_pages.empty() || m_rows == kMaxRowsPerPage || m_free < row.size() + 2) NewPage();
    std::uint8_t* page = m_file.At(m_pages.back());
    const std::size_t end = m_rows == 0 ? kPageSize : m_lastStart;
    const std::size_t start = end - row.size();
    std::copy(row.begin(), row.end(), page + start);
    Put16(page + kDataPageHeader + 2 * m_rows, static_cast<std::uint32_t>(start));
    m_lastStart = start;
    m_free -= row.size() + 2;
    ++m_rows;
    Put16(page + 2, static_cast<std::uint32_t>(m_free));
    Put16(page + 12, static_cast<std::uint32_t>(m_rows));
    return (m_pages.back() << 8) | static_cast<std::uint32_t>(m_rows - 1);
  }

  const std::vector<std::uint32_t>& Pages() const { return m_pages; }

 private:
  void NewPage() {
    const std::uint32_t n = m_file.Allocate();
    std::uint8_t* page = m_file.At(n);
    page[0] = 0x01;
    page[1] = 0x01;
    Put32(page + 4, m_owner);
    m_pages.push_back(n);
    m_rows = 0;
    m_free = kPageSize - kDataPageHeader;
    Put16(page + 2, static_cast<std::uint32_t>(m_free));
  }

  PageFile& m_file;
  std::uint32_t m_owner;
  std::vector<std::uint32_t> m_pages;
  std::size_t m_rows = 0;
  std::size_t m_free = 0;
  std::size_t m_lastStart = kPageSize;
};

// A usage-map row for `pages`: inline when they span at most 512 pages,
// otherwise a reference map with bitmap pages of its own.
Bytes UsageMapRow(PageFile& file, std::vector<std::uint32_t> pages) {
  std::sort(pages.begin(), pages.end());
  Bytes row(kMapRowSize, 0);
  if (pages.empty() || pages.back() - pages.front() < kInlineMapPages) {
    const std::uint32_t start = pages.empty() ? 0 : pages.front();
    row[0] = 0x00;
    Put32(row.data() + 1, start);
    for (std::uint32_t p : pages) row[5 + (p - start) / 8] |= static_cast<std::uint8_t>(1u << ((p - start) % 8));
    return row;
  }
  row[0] = 0x01;
  std::vector<std::uint32_t> bitmapPages(kReferenceMapSlots, 0);
  for (std::uint32_t p : pages) {
    const std::size_t slot = p / kBitmapPageBits;
    if (slot >= kReferenceMapSlots) throw std::runtime_error("Jet4: file too large for a usage map");
    if (bitmapPages[slot] == 0) {
      bitmapPages[slot] = file.Allocate();
      std::uint8_t* bp = file.At(bitmapPages[slot]);
      bp[0] = 0x05;
      bp[1] = 0x01;
    }
    const std::size_t bit = p % kBitmapPageBits;
    file.At(bitmapPages[slot])[4 + bit / 8] |= static_cast<std::uint8_t>(1u << (bit % 8));
  }
  for (std::size_t k = 0; k < kReferenceMapSlots; ++k) Put32(row.data() + 1 + 4 * k, bitmapPages[k]);
  return row;
}

std::uint8_t TypeCode(Jet4Type t) {
  switch (t) {
    case Jet4Type::Boolean: return 0x01;
    case Jet4Type::Byte: return 0x02;
    case Jet4Type::Integer: return 0x03;
    case Jet4Type::LongInteger: return 0x04;
    case Jet4Type::Currency: return 0x05;
    case Jet4Type::Single: return 0x06;
    case Jet4Type::Double: return 0x07;
    case Jet4Type::DateTime: return 0x08;
    case Jet4Type::Binary: return 0x09;
    case Jet4Type::Text: return 0x0A;
    case Jet4Type::OleObject: return 0x0B;
    case Jet4Type::Memo: return 0x0C;
    case Jet4Type::ReplicationId: return 0x0F;
    case Jet4Type::Decimal: return 0x10;
  }
  throw std::runtime_error("Jet4: unknown column type");
}

// Bytes in the fixed area; 0 for variable columns and Yes/No.
std::size_t FixedSize(Jet4Type t) {
  switch (t) {
    case Jet4Type::Byte: return 1;
    case Jet4Type::Integer: return 2;
    case Jet4Type::LongInteger:
    case Jet4Type::Single: return 4;
    case Jet4Type::Currency:
    case Jet4Type::Double:
    case Jet4Type::DateTime: return 8;
    case Jet4Type::ReplicationId: return 16;
    case Jet4Type::Decimal: return 17;
    default: return 0;
  }
}

bool IsVariable(Jet4Type t) {
  return t == Jet4Type::Binary || t == Jet4Type::Text || t == Jet4Type::OleObject || t == Jet4Type::Memo;
}
bool IsLongValue(Jet4Type t) { return t == Jet4Type::OleObject || t == Jet4Type::Memo; }

struct ColumnLayout {
  const Jet4Column* column;
  std::size_t number;
  std::size_t fixedOffset = 0;  // fixed columns
  std::size_t slot = 0;         // variable columns
  std::size_t longValue = 0;    // index among memo/OLE columns
};

struct TableLayout {
  std::vector<ColumnLayout> columns;
  std::size_t fixedBytes = 0;
  std::size_t variableCount = 0;
  std::size_t longValueCount = 0;
  std::size_t listedCount = 0;  // the columns not deleted
  std::size_t firstColumnPlace = 0;
};

TableLayout Layout(const Jet4Table& table) {
  if (table.columns.empty()) throw std::runtime_error("Jet4: table \"" + table.name + "\" has no columns");
  if (table.columns.size() > 255)
    throw std::runtime_error("Jet4: table \"" + table.name + "\" has more than 255 columns");
  TableLayout l;
  l.firstColumnPlace = table.firstColumnPlace;
  for (std::size_t i = 0; i < table.columns.size(); ++i) {
    const Jet4Column& c = table.columns[i];
    TypeCode(c.type);
    ColumnLayout cl{&c, i};
    if (IsVariable(c.type)) {
      cl.slot = l.variableCount++;
      if (IsLongValue(c.type)) cl.longValue = l.longValueCount++;
    } else {
      cl.fixedOffset = l.fixedBytes;
      l.fixedBytes += FixedSize(c.type);
    }
    if (c.type == Jet4Type::Text && (c.size < 1 || c.size > 255))
      throw std::runtime_error("Jet4: text column \"" + c.name + "\" needs a size of 1..255");
    if (c.type == Jet4Type::Binary && (c.size < 1 || c.size > 255))
      throw std::runtime_error("Jet4: binary column \"" + c.name + "\" needs a size of 1..255");
    if (c.type == Jet4Type::Decimal && (c.precision < 1 || c.precision > 28 || c.scale < 0 || c.scale > c.precision))
      throw std::runtime_error("Jet4: decimal column \"" + c.name + "\" has an invalid precision or scale");
    if (c.deleted && IsLongValue(c.type))
      throw std::runtime_error("Jet4: column \"" + c.name + "\": a deleted memo or OLE column is not supported");
    if (!c.deleted) ++l.listedCount;
    if (c.autoNumber && c.type != Jet4Type::LongInteger && c.type != Jet4Type::ReplicationId)
      throw std::runtime_error("Jet4: column \"" + c.name + "\": only Long Integer and Replication ID can be AutoNumber");
    l.columns.push_back(cl);
  }
  return l;
}

// Pointers into the table's usage-map page, filled in when the rows are written.
struct TableMaps {
  std::uint32_t owned = 0;
  std::uint32_t free = 0;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> longValues;  // per memo/OLE column
};

Bytes BuildTdef(const TableLayout& l, bool system, std::uint32_t rowCount,
                std::uint32_t nextAutoNumber, const TableMaps& maps) {
  Bytes t(63, 0);
  t[0] = 0x02;
  t[1] = 0x01;
  Put32(&t[12], kColumnMagic);
  Put32(&t[16], rowCount);
  Put32(&t[20], nextAutoNumber);
  t[24] = 0x01;
  t[40] = system ? 0x53 : 0x4E;
  Put16(&t[41], static_cast<std::uint32_t>(l.columns.size()));
  Put16(&t[43], static_cast<std::uint32_t>(l.variableCount));
  Put16(&t[45], static_cast<std::uint32_t>(l.listedCount));
  Put32(&t[55], maps.owned);
  Put32(&t[59], maps.free);
  std::size_t place = l.firstColumnPlace;
  for (const ColumnLayout& cl : l.columns) {
    const Jet4Column& c = *cl.column;
    if (c.deleted) continue;
    std::uint8_t e[25] = {};
    e[0] = TypeCode(c.type);
    Put32(e + 1, kColumnMagic);
    Put16(e + 5, static_cast<std::uint32_t>(cl.number));
    Put16(e + 7, static_cast<std::uint32_t>(cl.slot));
    Put16(e + 9, static_cast<std::uint32_t>(place++));
    if (c.type == Jet4Type::Text || c.type == Jet4Type::Memo) {
      Put16(e + 11, 0x0409);  // General sort order
      e[16] = c.compress ? 0x01 : 0x00;
    } else if (c.type == Jet4Type::Decimal) {
      e[11] = static_cast<std::uint8_t>(c.precision);
      e[12] = static_cast<std::uint8_t>(c.scale);
    }
    std::uint8_t flags = IsVariable(c.type) ? 0x02 : 0x03;
    if (c.autoNumber) flags |= c.type == Jet4Type::LongInteger ? 0x04 : 0x40;
    e[15] = flags;
    Put16(e + 21, static_cast<std::uint32_t>(cl.fixedOffset));
    std::size_t length = FixedSize(c.type);
    if (c.type == Jet4Type::Boolean) length = 1;
    if (c.type == Jet4Type::Text) length = 2 * static_cast<std::size_t>(c.size);
    if (c.type == Jet4Type::Binary) length = static_cast<std::size_t>(c.size);
    Put16(e + 23, static_cast<std::uint32_t>(length));
    t.insert(t.end(), e, e + 25);
  }
  for (const ColumnLayout& cl : l.columns) {
    if (cl.column->deleted) continue;
    const Bytes name = jet4::EncodeText(jet4::Utf8ToUtf16(cl.column->name), false);
    Append16(t, static_cast<std::uint32_t>(name.size()));
    t.insert(t.end(), name.begin(), name.end());
  }
  for (const ColumnLayout& cl : l.columns) {
    if (!IsLongValue(cl.column->type)) continue;
    Append16(t, static_cast<std::uint32_t>(cl.number));
    Append32(t, maps.longValues.at(cl.longValue).first);
    Append32(t, maps.longValues.at(cl.longValue).second);
  }
  t.push_back(0xFF);
  t.push_back(0xFF);
  Put32(&t[8], static_cast<std::uint32_t>(t.size()));
  Put16(&t[2], t.size() + 8 <= kPageSize ? static_cast<std::uint32_t>(kPageSize - t.size() - 8) : 0);
  return t;
}

std::size_t TdefPageCount(std::size_t streamLength) {
  if (streamLength <= kPageSize) return 1;
  return 1 + (streamLength - kPageSize + (kPageSize - 8) - 1) / (kPageSize - 8);
}

// Lays the definition stream over its pages; continuation pages repeat an
// 8-byte header and the stream resumes at their offset 8.
void StoreTdef(PageFile& file, const std::vector<std::uint32_t>& pages, const Bytes& stream) {
  std::size_t pos = 0;
  for (std::size_t i = 0; i < pages.size(); ++i) {
    std::uint8_t* page = file.At(pages[i]);
    std::size_t at = 0;
    if (i > 0) {
      page[0] = 0x02;
      page[1] = 0x01;
      at = 8;
    }
    const std::size_t n = std::min(kPageSize - at, stream.size() - pos);
    std::copy(stream.begin() + static_cast<std::ptrdiff_t>(pos),
              stream.begin() + static_cast<std::ptrdiff_t>(pos + n), page + at);
    pos += n;
    Put32(page + 4, i + 1 < pages.size() ? pages[i + 1] : 0);
  }
}

// Where a value came from, for error messages.
struct Where {
  const Jet4Table& table;
  std::size_t row;
  const Jet4Column& column;
  [[noreturn]] void Fail(const std::string& what) const {
    throw std::runtime_error("Jet4: table \"" + table.name + "\", row " + std::to_string(row + 1) + ", column \"" +
                             column.name + "\": " + what);
  }
};

std::int64_t IntegerIn(const Jet4Value& v, const Where& w, std::int64_t lo, std::int64_t hi) {
  const auto* i = std::get_if<std::int64_t>(&v);
  if (i == nullptr) w.Fail("expected an integer");
  if (*i < lo || *i > hi) w.Fail("integer " + std::to_string(*i) + " out of range");
  return *i;
}

double RealIn(const Jet4Value& v, const Where& w) {
  if (const auto* d = std::get_if<double>(&v)) return *d;
  if (const auto* i = std::get_if<std::int64_t>(&v)) return static_cast<double>(*i);
  w.Fail("expected a number");
}

Bytes RawBytesIn(const Jet4Value& v, const Where& w) {
  if (const auto* b = std::get_if<Jet4Bytes>(&v)) return *b;
  if (const auto* s = std::get_if<std::string>(&v)) return Bytes(s->begin(), s->end());
  w.Fail("expected bytes");
}

// Encodes the fixed bytes of one non-NULL value at `out`.
void EncodeFixed(const Jet4Value& v, const Where& w, std::uint8_t* out) {
  switch (w.column.type) {
    case Jet4Type::Byte:
      out[0] = static_cast<std::uint8_t>(IntegerIn(v, w, 0, 255));
      break;
    case Jet4Type::Integer:
      Put16(out, static_cast<std::uint32_t>(IntegerIn(v, w, -32768, 32767)));
      break;
    case Jet4Type::LongInteger:
      Put32(out, static_cast<std::uint32_t>(
                     IntegerIn(v, w, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max())));
      break;
    case Jet4Type::Currency: {
      std::int64_t scaled = 0;
      if (const auto* c = std::get_if<Jet4Currency>(&v)) {
        scaled = c->scaled;
      } else if (const auto* i = std::get_if<std::int64_t>(&v)) {
        if (*i > std::numeric_limits<std::int64_t>::max() / 10000 || *i < std::numeric_limits<std::int64_t>::min() / 10000)
          w.Fail("currency out of range");
        scaled = *i * 10000;
      } else if (const auto* d = std::get_if<double>(&v)) {
        const double s = std::round(*d * 10000.0);
        if (!(std::fabs(s) < 9.2e18)) w.Fail("currency out of range");
        scaled = static_cast<std::int64_t>(s);
      } else {
        w.Fail("expected a currency amount");
      }
      Put64(out, static_cast<std::uint64_t>(scaled));
      break;
    }
    case Jet4Type::Single: {
      const auto f = static_cast<float>(RealIn(v, w));
      std::uint32_t bits;
      std::memcpy(&bits, &f, sizeof bits);
      Put32(out, bits);
      break;
    }
    case Jet4Type::Double:
      PutDouble(out, RealIn(v, w));
      break;
    case Jet4Type::DateTime:
      if (const auto* d = std::get_if<Jet4Date>(&v))
        PutDouble(out, d->days);
      else if (const auto* r = std::get_if<double>(&v))
        PutDouble(out, *r);
      else
        w.Fail("expected a date");
      break;
    case Jet4Type::ReplicationId:
      if (const auto* g = std::get_if<Jet4Guid>(&v)) {
        std::copy(g->bytes.begin(), g->bytes.end(), out);
      } else if (const auto* s = std::get_if<std::string>(&v)) {
        try {
          const Jet4Guid g2 = Jet4GuidFromText(*s);
          std::copy(g2.bytes.begin(), g2.bytes.end(), out);
        } catch (const std::runtime_error& e) {
          w.Fail(e.what());
        }
      } else {
        w.Fail("expected a GUID");
      }
      break;
    case Jet4Type::Decimal: {
      std::string text;
      if (const auto* i = std::get_if<std::int64_t>(&v))
        text = std::to_string(*i);
      else if (const auto* s = std::get_if<std::string>(&v))
        text = *s;
      else
        w.Fail("expected an integer or a decimal text");
      try {
        const Bytes b = jet4::EncodeDecimal(text, w.column.precision, w.column.scale);
        std::copy(b.begin(), b.end(), out);
      } catch (const std::runtime_error& e) {
        w.Fail(e.what());
      }
      break;
    }
    default:
      w.Fail("not a fixed-length type");
  }
}

// Memo/OLE field: a 12-byte header, the data inline, in one LVAL row, or in a
// chain of LVAL rows.
Bytes EncodeLongValue(const Bytes& data, RowPages& lval, const Where& w) {
  if (data.size() > 0xFFFFFF) w.Fail("long value larger than 16 MB");
  Bytes field(12, 0);
  Put32(field.data(), static_cast<std::uint32_t>(data.size()));
  if (data.size() <= kInlineLongValue) {
    field[3] = 0x80;
    field.insert(field.end(), data.begin(), data.end());
  } else if (data.size() <= kMaxLongValueRow) {
    field[3] = 0x40;
    Put32(field.data() + 4, lval.Add(data));
  } else {
    // Written last link first, so that each link knows its successor.
    std::uint32_t next = 0;
    const std::size_t links = (data.size() + kLongValueChunk - 1) / kLongValueChunk;
    for (std::size_t k = links; k-- > 0;) {
      const std::size_t from = k * kLongValueChunk;
      const std::size_t n = std::min(kLongValueChunk, data.size() - from);
      Bytes link;
      link.reserve(4 + n);
      Append32(link, next);
      link.insert(link.end(), data.begin() + static_cast<std::ptrdiff_t>(from),
                  data.begin() + static_cast<std::ptrdiff_t>(from + n));
      next = lval.Add(link);
    }
    field[3] = 0x00;
    Put32(field.data() + 4, next);
  }
  return field;
}

struct AutoNumberState {
  std::int64_t next = 1;
};

Bytes EncodeRow(const Jet4Table& table, const TableLayout& l, std::size_t rowIndex, std::vector<RowPages>& lval,
                AutoNumberState& autoNumber) {
  const auto& values = table.rows[rowIndex];
  if (values.size() != l.columns.size())
    throw std::runtime_error("Jet4: table \"" + table.name + "\", row " + std::to_string(rowIndex + 1) + " has " +
                             std::to_string(values.size()) + " values for " + std::to_string(l.columns.size()) +
                             " columns");
  // A row saved before the trailing columns were added stores only the
  // columns of its time: their fixed bytes, variable slots and mask bits.
  std::size_t n = l.columns.size();
  if (rowIndex < table.storedColumns.size() && table.storedColumns[rowIndex] != 0) {
    n = table.storedColumns[rowIndex];
    if (n > l.columns.size())
      throw std::runtime_error("Jet4: table \"" + table.name + "\", row " + std::to_string(rowIndex + 1) + " stores " +
                               std::to_string(n) + " of " + std::to_string(l.columns.size()) + " columns");
  }
  std::size_t fixedBytes = 0;
  std::size_t variableCount = 0;
  for (const ColumnLayout& cl : l.columns) {
    if (cl.number >= n) continue;
    if (IsVariable(cl.column->type))
      ++variableCount;
    else
      fixedBytes = std::max(fixedBytes, cl.fixedOffset + FixedSize(cl.column->type));
  }
  Bytes fixed(fixedBytes, 0);
  std::vector<Bytes> variable(variableCount);
  Bytes mask((n + 7) / 8, 0);

  for (const ColumnLayout& cl : l.columns) {
    const Jet4Column& c = *cl.column;
    const Where w{table, rowIndex, c};
    Jet4Value v = values[cl.number];
    if (cl.number >= n) {
      if (!std::holds_alternative<std::monostate>(v)) w.Fail("the row does not store this column; its value must be NULL");
      continue;
    }
    if (c.autoNumber && c.type == Jet4Type::LongInteger) {
      if (std::holds_alternative<std::monostate>(v)) v = autoNumber.next;
      if (const auto* i = std::get_if<std::int64_t>(&v)) autoNumber.next = std::max(autoNumber.next, *i + 1);
    }
    bool present = !std::holds_alternative<std::monostate>(v);
    if (c.type == Jet4Type::Boolean) {
      // Yes/No lives in the null mask alone.
      if (const auto* b = std::get_if<bool>(&v))
        present = *b;
      else if (const auto* i = std::get_if<std::int64_t>(&v))
        present = *i != 0;
      else if (present)
        w.Fail("expected a Yes/No value");
    } else if (present) {
      switch (c.type) {
        case Jet4Type::Text: {
          const auto* s = std::get_if<std::string>(&v);
          if (s == nullptr) w.Fail("expected text");
          try {
            variable[cl.slot] = jet4::EncodeText(jet4::Utf8ToUtf16(*s), c.compress);
          } catch (const std::runtime_error& e) {
            w.Fail(e.what());
          }
          break;
        }
        case Jet4Type::Binary:
          variable[cl.slot] = RawBytesIn(v, w);
          break;
        case Jet4Type::Memo: {
          const auto* s = std::get_if<std::string>(&v);
          if (s == nullptr) w.Fail("expected text");
          std::u16string u;
          try {
            u = jet4::Utf8ToUtf16(*s);
          } catch (const std::runtime_error& e) {
            w.Fail(e.what());
          }
          // Access compresses long texts only up to 1024 characters.
          variable[cl.slot] = EncodeLongValue(jet4::EncodeText(u, c.compress && u.size() <= 1024), lval[cl.longValue], w);
          break;
        }
        case Jet4Type::OleObject:
          variable[cl.slot] = EncodeLongValue(RawBytesIn(v, w), lval[cl.longValue], w);
          break;
        default:
          EncodeFixed(v, w, fixed.data() + cl.fixedOffset);
      }
    }
    if (present) mask[cl.number / 8] |= static_cast<std::uint8_t>(1u << (cl.number % 8));
  }

  Bytes row;
  Append16(row, static_cast<std::uint32_t>(n));
  row.insert(row.end(), fixed.begin(), fixed.end());
  std::vector<std::size_t> starts;
  for (const Bytes& b : variable) {
    starts.push_back(row.size());
    row.insert(row.end(), b.begin(), b.end());
  }
  if (variableCount > 0) {
    const std::size_t end = row.size();
    Append16(row, static_cast<std::uint32_t>(end));
    for (std::size_t k = starts.size(); k-- > 0;) Append16(row, static_cast<std::uint32_t>(starts[k]));
    Append16(row, static_cast<std::uint32_t>(variableCount));
  }
  row.insert(row.end(), mask.begin(), mask.end());
  if (row.size() > kMaxRowSize)
    throw std::runtime_error("Jet4: table \"" + table.name + "\", row " + std::to_string(rowIndex + 1) + " needs " +
                             std::to_string(row.size()) + " bytes; a row may take at most " +
                             std::to_string(kMaxRowSize));
  return row;
}

// Writes one table and returns its definition page. The catalog passes the
// page that readers expect it on.
std::uint32_t WriteTable(PageFile& file, const Jet4Table& table, bool system,
                         std::optional<std::uint32_t> tdefAt = std::nullopt) {
  if (table.name.empty()) throw std::runtime_error("Jet4: a table needs a name");
  const TableLayout l = Layout(table);
  if (table.rows.size() > 0xFFFFFFFFu) throw std::runtime_error("Jet4: too many rows");

  TableMaps maps;
  maps.longValues.resize(l.longValueCount);
  const std::size_t tdefLength = BuildTdef(l, system, 0, 0, maps).size();
  std::vector<std::uint32_t> tdefPages;
  if (tdefAt) {
    if (tdefLength > kPageSize) throw std::runtime_error("Jet4: catalog definition exceeds a page");
    tdefPages.push_back(*tdefAt);
  } else {
    for (std::size_t i = TdefPageCount(tdefLength); i > 0; --i) tdefPages.push_back(file.Allocate());
  }
  const std::uint32_t tdefPage = tdefPages.front();

  RowPages data(file, tdefPage);
  std::vector<RowPages> lval;
  lval.reserve(l.longValueCount);
  for (std::size_t i = 0; i < l.longValueCount; ++i) lval.emplace_back(file, 0x4C41564Cu);  // "LVAL"
  AutoNumberState autoNumber;
  for (std::size_t r = 0; r < table.rows.size(); ++r) data.Add(EncodeRow(table, l, r, lval, autoNumber));

  auto lastOf = [](const std::vector<std::uint32_t>& pages) {
    return pages.empty() ? std::vector<std::uint32_t>{} : std::vector<std::uint32_t>{pages.back()};
  };
  std::vector<Bytes> mapRows;
  mapRows.push_back(UsageMapRow(file, data.Pages()));
  mapRows.push_back(UsageMapRow(file, lastOf(data.Pages())));
  for (const RowPages& lv : lval) {
    mapRows.push_back(UsageMapRow(file, lv.Pages()));
    mapRows.push_back(UsageMapRow(file, lastOf(lv.Pages())));
  }
  RowPages mapPage(file, 0);
  std::vector<std::uint32_t> mapPointers;
  for (const Bytes& r : mapRows) mapPointers.push_back(mapPage.Add(r));
  maps.owned = mapPointers[0];
  maps.free = mapPointers[1];
  for (std::size_t i = 0; i < l.longValueCount; ++i)
    maps.longValues[i] = {mapPointers[2 + 2 * i], mapPointers[3 + 2 * i]};

  const Bytes tdef = BuildTdef(l, system, table.storedRowCount.value_or(static_cast<std::uint32_t>(table.rows.size())),
                               static_cast<std::uint32_t>(autoNumber.next), maps);
  StoreTdef(file, tdefPages, tdef);
  return tdefPage;
}

Jet4Table CatalogTable() {
  using T = Jet4Type;
  Jet4Table t;
  t.name = "MSysObjects";
  t.columns = {
      {"Id", T::LongInteger},     {"ParentId", T::LongInteger}, {"Name", T::Text, 255},
      {"Type", T::Integer},       {"DateCreate", T::DateTime},  {"DateUpdate", T::DateTime},
      {"Owner", T::Binary, 255},  {"Flags", T::LongInteger},    {"Database", T::Memo},
      {"Connect", T::Memo},       {"ForeignName", T::Text, 255}, {"RmtInfoShort", T::Binary, 255},
      {"RmtInfoLong", T::OleObject}, {"Lv", T::OleObject},      {"LvProp", T::OleObject},
      {"LvModule", T::OleObject}, {"LvExtra", T::OleObject},
  };
  return t;
}

void AddCatalogRow(Jet4Table& catalog, std::int64_t id, std::int64_t parent, const std::string& name,
                   std::int64_t type, std::uint32_t flags) {
  std::vector<Jet4Value> row(catalog.columns.size());
  row[0] = id;
  row[1] = parent;
  row[2] = name;
  row[3] = type;
  row[4] = Jet4Date{kCreationDate};
  row[5] = Jet4Date{kCreationDate};
  row[7] = std::int64_t{static_cast<std::int32_t>(flags)};
  catalog.rows.push_back(std::move(row));
}

// Page 0: fixed signature, then a block that readers decode with RC4.
void WriteHeader(std::uint8_t* page) {
  page[0] = 0x00;
  page[1] = 0x01;
  std::memcpy(page + 0x04, "Standard Jet DB", 16);
  Put32(page + 0x14, 1);  // Jet 4
  Put16(page + 0x3C, 1250);
  Put32(page + 0x3E, 0);  // database key 0: pages are not encrypted
  // The password field holds only its mask: no password.
  const auto day = static_cast<std::uint32_t>(static_cast<std::int32_t>(kCreationDate));
  for (int i = 0; i < 40; i += 4) Put32(page + 0x42 + i, day);
  Put16(page + 0x6E, 0x0409);
  PutDouble(page + 0x72, kCreationDate);

  static constexpr std::uint8_t kKey[] = {0xC7, 0xDA, 0x39, 0x6B};
  std::uint8_t s[256];
  for (int i = 0; i < 256; ++i) s[i] = static_cast<std::uint8_t>(i);
  for (int i = 0, j = 0; i < 256; ++i) {
    j = (j + s[i] + kKey[i % 4]) & 0xFF;
    std::swap(s[i], s[j]);
  }
  for (int k = 0, i = 0, j = 0; k < 128; ++k) {
    i = (i + 1) & 0xFF;
    j = (j + s[i]) & 0xFF;
    std::swap(s[i], s[j]);
    page[0x18 + k] ^= s[(s[i] + s[j]) & 0xFF];
  }
}

// Page 1: the database's free-page map (bit set = page unused); no reader
// relies on it, but Access keeps one.
void WriteGlobalMap(PageFile& file) {
  std::uint8_t* page = file.At(1);
  page[0] = 0x01;
  page[1] = 0x01;
  Bytes row(kMapRowSize, 0);
  for (std::size_t p = file.Count(); p < kInlineMapPages; ++p) row[5 + p / 8] |= static_cast<std::uint8_t>(1u << (p % 8));
  const std::size_t start = kPageSize - row.size();
  std::copy(row.begin(), row.end(), page + start);
  Put16(page + 2, static_cast<std::uint32_t>(kPageSize - kDataPageHeader - 2 - row.size()));
  Put16(page + 12, 1);
  Put16(page + 14, static_cast<std::uint32_t>(start));
}

}  // namespace

std::vector<std::uint8_t> BuildJet4File(const std::vector<Jet4Table>& tables) {
  PageFile file;
  file.Allocate();  // 0: header
  file.Allocate();  // 1: free-page map
  if (file.Allocate() != kCatalogTdefPage) throw std::logic_error("Jet4: catalog page");

  Jet4Table catalog = CatalogTable();
  constexpr std::uint32_t kSystem = 0x80000000u;
  AddCatalogRow(catalog, 0x0F000001, 0x0F000000, "Tables", 3, kSystem);
  AddCatalogRow(catalog, 0x0F000002, 0x0F000000, "Databases", 3, kSystem);
  AddCatalogRow(catalog, 0x0F000003, 0x0F000000, "Relationships", 3, kSystem);
  AddCatalogRow(catalog, kCatalogTdefPage, 0x0F000001, "MSysObjects", 1, kSystem | 0x2u);
  for (const Jet4Table& t : tables) {
    const std::uint32_t page = WriteTable(file, t, false);
    AddCatalogRow(catalog, page, 0x0F000001, t.name, 1, 0);
  }
  WriteTable(file, catalog, true, kCatalogTdefPage);
  WriteHeader(file.At(0));
  WriteGlobalMap(file);
  return file.Join();
}

void WriteJet4File(const std::string& path, const std::vector<Jet4Table>& tables) {
  const Bytes bytes = BuildJet4File(tables);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("Jet4: cannot create \"" + path + "\"");
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("Jet4: cannot write \"" + path + "\"");
}
