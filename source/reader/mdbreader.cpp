// mdbreader: the isolated child that reads an Access file through libmdb and
// streams the catalog or one table as mdbwire frames on descriptor 3.
// libmdb is not hardened against damaged files, so it only ever runs here,
// under a memory cap, with its warnings sent to /dev/null by the parent; a
// crash or a hang ends this process, never the tool.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <mdbtools.h>

#include "source/MdbWire.h"

namespace {

// Writes a finished frame to the frame descriptor, all of it.
void Send(mdbwire::Writer& w) {
  const std::string& frame = w.Finish();
  const char* p = frame.data();
  size_t left = frame.size();
  while (left > 0) {
    const ssize_t n = ::write(mdbwire::kFrameFd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) _exit(3);  // the parent is gone
    p += n;
    left -= static_cast<size_t>(n);
  }
}

[[noreturn]] void Fail(mdbwire::ErrorCode code, const std::string& message) {
  mdbwire::Writer w(mdbwire::kError);
  w.U8(code);
  w.Str(message);
  Send(w);
  _exit(1);
}

void LimitResources(unsigned long memoryMb) {
  rlimit core{0, 0};
  setrlimit(RLIMIT_CORE, &core);
#if !defined(__SANITIZE_ADDRESS__)
  // A sanitizer reserves terabytes of address space up front; only a plain
  // build can be capped this way.
  if (memoryMb > 0) {
    rlimit as{memoryMb << 20, memoryMb << 20};
    setrlimit(RLIMIT_AS, &as);
  }
#else
  (void)memoryMb;
#endif
}

bool KnownVersion(guint32 v) { return v <= MDB_VER_ACCDB_2019; }

MdbHandle* OpenDatabase(const char* path) {
  // libmdb happily opens files that are not Access databases (even empty
  // ones), so the catalog is the real test.
  if (FILE* probe = std::fopen(path, "rb")) {
    std::fclose(probe);
  } else {
    Fail(mdbwire::kCannotOpen, std::strerror(errno));
  }
  MdbHandle* mdb = mdb_open(path, MDB_NOFLAGS);
  if (!mdb || !mdb->f || !KnownVersion(mdb->f->jet_version))
    Fail(mdbwire::kNotAccess, "not an Access database");
  // Access writes whole pages only, so a part page at the end means the file
  // was cut short; libmdb would read the missing bytes as zeros.
  struct stat st{};
  const off_t pageSize = mdb->fmt->pg_size;
  if (::fstat(fileno(mdb->f->stream), &st) == 0 && pageSize > 0 && st.st_size % pageSize != 0)
    Fail(mdbwire::kDamaged, "the file is cut short: it ends " + std::to_string(st.st_size % pageSize) +
                                " bytes into page " + std::to_string(st.st_size / pageSize) + " (pages are " +
                                std::to_string(pageSize) + " bytes)");
  if (!mdb_read_catalog(mdb, MDB_ANY) || !mdb->catalog)
    Fail(mdbwire::kNotAccess, "its catalog cannot be read");

  // A file cut short loses catalog rows without complaint; the catalog
  // table's stored row count tells.
  MdbCatalogEntry* sys = nullptr;
  for (guint i = 0; i < mdb->catalog->len; ++i) {
    auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
    if (e && e->object_type == MDB_TABLE && std::strcmp(e->object_name, "MSysObjects") == 0) sys = e;
  }
  if (!sys) Fail(mdbwire::kNotAccess, "it has no catalog table");
  MdbTableDef* sysTable = mdb_read_table(sys);
  if (!sysTable) Fail(mdbwire::kDamaged, "the catalog table definition cannot be read");
  if (sysTable->num_rows != mdb->catalog->len)
    Fail(mdbwire::kDamaged, "the catalog holds " + std::to_string(sysTable->num_rows) +
                                " objects but only " + std::to_string(mdb->catalog->len) +
                                " can be read");
  return mdb;
}

void SendCatalog(MdbHandle* mdb) {
  std::vector<const char*> names;
  for (guint i = 0; i < mdb->catalog->len; ++i) {
    auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
    if (e && e->object_type == MDB_TABLE && mdb_is_user_table(e)) names.push_back(e->object_name);
  }
  mdbwire::Writer w(mdbwire::kCatalog);
  w.U8(static_cast<uint8_t>(mdb->f->jet_version));
  w.U32(static_cast<uint32_t>(names.size()));
  for (const char* n : names) w.Str(n);
  Send(w);
  mdbwire::Writer end(mdbwire::kEnd);
  end.U32(0);
  Send(end);
}

// Reads a memo or OLE value whole: the inline part or the chain of long-value
// rows, checked against the length its header declares (a cycle in a damaged
// chain would otherwise never end).
std::string ReadLongValue(MdbHandle* mdb, MdbColumn* col, const MdbField& field) {
  if (field.siz < MDB_MEMO_OVERHEAD) Fail(mdbwire::kDamaged, "a memo value header is truncated");
  unsigned char header[MDB_MEMO_OVERHEAD];
  std::memcpy(header, mdb->pg_buf + field.start, MDB_MEMO_OVERHEAD);
  const uint32_t declared = static_cast<uint32_t>(mdb_get_int32(header, 0)) & 0x3FFFFFFFu;
  std::string value;
  if (declared == 0) return value;
  value.reserve(declared);

  static std::vector<char> chunk(2 * MDB_PGSIZE + 64);
  col->bind_ptr = chunk.data();
  col->cur_value_start = field.start;
  col->cur_value_len = field.siz;
  size_t len = mdb_ole_read(mdb, col, header, chunk.size());
  while (len > 0) {
    if (len > chunk.size() || value.size() + len > declared) {
      col->bind_ptr = nullptr;
      Fail(mdbwire::kDamaged, std::string("a long value of column ") + col->name +
                                  " is longer than its header says");
    }
    value.append(chunk.data(), len);
    if (value.size() == declared) break;
    len = mdb_ole_read_next(mdb, col, header);
  }
  col->bind_ptr = nullptr;
  if (value.size() != declared)
    Fail(mdbwire::kDamaged, std::string("a long value of column ") + col->name +
                                " is shorter than its header says");
  return value;
}

// The table definition's count of the most columns a row holds (deleted
// columns included), two bytes in front of the variable-column count.
int MaxRowColumns(MdbHandle* mdb, MdbCatalogEntry* entry) {
  if (mdb_read_pg(mdb, entry->table_pg) != static_cast<ssize_t>(mdb->fmt->pg_size))
    Fail(mdbwire::kDamaged, "the table definition cannot be read");
  return mdb_get_int16(mdb->pg_buf, mdb->fmt->tab_num_cols_offset - 4);
}

int MaxColumnNumber(const std::vector<MdbColumn*>& cols) {
  int most = -1;
  for (const MdbColumn* c : cols) most = std::max(most, c->col_num);
  return most;
}

void SendTable(MdbHandle* mdb, const char* tableName) {
  MdbCatalogEntry* entry = nullptr;
  for (guint i = 0; i < mdb->catalog->len; ++i) {
    auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
    if (e && e->object_type == MDB_TABLE && std::strcmp(e->object_name, tableName) == 0) entry = e;
  }
  if (!entry) Fail(mdbwire::kNoTable, tableName);
  MdbTableDef* table = mdb_read_table(entry);
  if (!table) Fail(mdbwire::kDamaged, std::string("the definition of table ") + tableName + " cannot be read");
  GPtrArray* columns = mdb_read_columns(table);
  if (!columns || columns != table->columns || columns->len != table->num_cols ||
      table->num_cols > MDB_MAX_COLS)
    Fail(mdbwire::kDamaged, std::string("the columns of table ") + tableName + " cannot be read");

  const unsigned numCols = table->num_cols;
  std::vector<MdbColumn*> cols(numCols);
  mdbwire::Writer def(mdbwire::kTable);
  def.U8(static_cast<uint8_t>(mdb->f->jet_version));
  def.U16(mdb->f->code_page);
  def.U32(table->num_rows);
  def.U16(static_cast<uint16_t>(numCols));
  for (unsigned i = 0; i < numCols; ++i) {
    auto* c = static_cast<MdbColumn*>(g_ptr_array_index(columns, i));
    if (!c) Fail(mdbwire::kDamaged, "a column definition is missing");
    cols[i] = c;
    def.Str(c->name);
    def.U8(static_cast<uint8_t>(c->col_type));
    def.U32(static_cast<uint32_t>(c->col_size));
    def.U8(static_cast<uint8_t>((c->is_fixed ? mdbwire::kFixed : 0) |
                                (c->is_long_auto ? mdbwire::kLongAuto : 0) |
                                (c->is_uuid_auto ? mdbwire::kUuidAuto : 0)));
    // libmdb 1.0 reads a Decimal's precision into col_scale and its scale
    // into col_prec (its own printing swaps them back).
    def.U8(static_cast<uint8_t>(c->col_scale));
    def.U8(static_cast<uint8_t>(c->col_prec));
  }
  Send(def);
  // A row stores its columns by column number, which counts the deleted
  // columns too (Access never renumbers): libmdb's col_num. Its row_col_num
  // comes from a second number in the column entry that Access fills with
  // the column's place among the current columns, from 0 or from 1, so it
  // says nothing about the row. The definition keeps the most columns a row
  // can have, deleted ones included.
  const int rowColumns = std::max(MaxRowColumns(mdb, entry), MaxColumnNumber(cols) + 1);

  mdb_rewind_table(table);  // always 0: it only resets the scan position
  const int pageSize = static_cast<int>(mdb->fmt->pg_size);
  std::vector<MdbField> fields(MDB_MAX_COLS + 1);
  uint32_t sent = 0;
  // Damage inside the rows names where it was met, so the file can be looked at.
  auto rowDamage = [&](const std::string& what) {
    Fail(mdbwire::kDamaged, what + " (table " + tableName + ", row " + std::to_string(sent + 1) + ", page " +
                                std::to_string(table->cur_phys_pg) + ")");
  };
  while (mdb_fetch_row(table)) {
    // Re-split the row ourselves: the bound-column road hides NULL behind
    // the empty text and formats values through the locale.
    int start = 0;
    size_t size = 0;
    if (table->cur_row == 0 || mdb_find_row(mdb, static_cast<int>(table->cur_row - 1), &start, &size) != 0)
      rowDamage("a row cannot be located");
    start &= 0x1FFF;
    if (size == 0 || start + static_cast<int>(size) > pageSize) rowDamage("a row lies outside its page");
    // The row says how many columns it stores. A row saved before columns
    // were added to the table stores fewer: the absent trailing columns are
    // NULL. More columns than the table has is damage.
    const int stored = mdb_crack_row(table, start, size, fields.data());
    if (stored <= 0 || stored > rowColumns)
      rowDamage("a row cannot be split into its columns");

    mdbwire::Writer row(mdbwire::kRow);
    for (unsigned i = 0; i < numCols; ++i) {
      // mdb_crack_row fills the fields in column order.
      const MdbField* f = &fields[i];
      if (f->colnum != static_cast<int>(i)) rowDamage("a row cannot be split into its columns");
      MdbColumn* col = cols[i];
      const uint8_t type = static_cast<uint8_t>(col->col_type);
      if (col->col_num >= stored) {
        row.U8(0);
        continue;
      }
      if (type == mdbwire::kBool) {
        // The null-mask bit is the value itself: a Yes/No column is never NULL.
        row.U8(1);
        row.U8(f->is_null ? 0 : 1);
        continue;
      }
      if (f->is_null) {
        row.U8(0);
        continue;
      }
      if (f->siz < 0 || f->start < 0 || f->start + f->siz > pageSize) rowDamage("a value lies outside its page");
      row.U8(1);
      const size_t fixed = mdbwire::FixedSize(type);
      if (fixed != 0) {
        if (static_cast<size_t>(f->siz) < fixed) rowDamage(std::string("a value of column ") + col->name + " is truncated");
        row.Raw(mdb->pg_buf + f->start, fixed);
      } else if (type == mdbwire::kMemo || type == mdbwire::kOle) {
        row.Str(ReadLongValue(mdb, col, *f));
      } else {
        row.U32(static_cast<uint32_t>(f->siz));
        row.Raw(mdb->pg_buf + f->start, static_cast<size_t>(f->siz));
      }
    }
    Send(row);
    ++sent;
    if (sent > table->num_rows) rowDamage("the table yields more rows than it holds");
  }
  mdbwire::Writer end(mdbwire::kEnd);
  end.U32(sent);
  Send(end);
}

}  // namespace

int main(int argc, char** argv) {
  unsigned long memoryMb = 0;
  int arg = 1;
  if (arg + 1 < argc && std::strcmp(argv[arg], "--memory-mb") == 0) {
    memoryMb = std::strtoul(argv[arg + 1], nullptr, 10);
    arg += 2;
  }
  LimitResources(memoryMb);
  if (arg + 1 >= argc) Fail(mdbwire::kUsage, "usage: mdbreader [--memory-mb N] catalog FILE | table FILE NAME");
  const std::string mode = argv[arg];
  const char* path = argv[arg + 1];
  if (mode == "catalog") {
    SendCatalog(OpenDatabase(path));
  } else if (mode == "table" && arg + 2 < argc) {
    SendTable(OpenDatabase(path), argv[arg + 2]);
  } else {
    Fail(mdbwire::kUsage, "usage: mdbreader [--memory-mb N] catalog FILE | table FILE NAME");
  }
  // Nothing to release: the process ends here, and libmdb's teardown of a
  // damaged file is one more place to crash.
  _exit(0);
}
