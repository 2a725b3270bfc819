// Test support: reads a table back through libmdb and through the mdb-export
// program, so the writer is judged by an independent reader.
#pragma once

#include <mdbtools.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace probe {

struct Cell {
  bool null = false;            // from the row's null mask (for Yes/No: the value No)
  std::string text;             // libmdb's text of the value (memo in full, OLE as raw bytes)
  std::vector<std::uint8_t> raw;  // stored bytes (text as UCS-2, memo/OLE as their header)
};

struct Table {
  std::vector<std::string> names;
  std::vector<int> types;  // libmdb's MDB_* type codes
  std::vector<int> sizes;
  std::vector<bool> autoNumber;  // libmdb's long AutoNumber flag
  long declaredRows = -1;  // the row count kept in the table definition
  std::vector<std::vector<Cell>> rows;
};

inline std::int64_t Int(const std::vector<std::uint8_t>& raw) {
  std::uint64_t v = 0;
  for (std::size_t i = raw.size(); i-- > 0;) v = (v << 8) | raw[i];
  if (!raw.empty() && raw.size() < 8 && (raw.back() & 0x80) != 0) v |= ~std::uint64_t{0} << (8 * raw.size());
  return static_cast<std::int64_t>(v);
}

inline double Real(const std::vector<std::uint8_t>& raw) {
  if (raw.size() == 4) {
    float f;
    std::memcpy(&f, raw.data(), 4);
    return f;
  }
  double d = 0;
  if (raw.size() == 8) std::memcpy(&d, raw.data(), 8);
  return d;
}

struct MdbCloser {
  void operator()(MdbHandle* h) const { mdb_close(h); }
};
struct TableFreer {
  void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};

inline std::vector<std::string> TableNames(const std::string& path) {
  std::unique_ptr<MdbHandle, MdbCloser> mdb(mdb_open(path.c_str(), MDB_NOFLAGS));
  if (!mdb) throw std::runtime_error("libmdb cannot open " + path);
  if (!mdb_read_catalog(mdb.get(), MDB_TABLE)) throw std::runtime_error("libmdb cannot read the catalog");
  std::vector<std::string> names;
  for (unsigned i = 0; i < mdb->num_catalog; ++i) {
    auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
    if (e->object_type == MDB_TABLE && !mdb_is_system_table(e)) names.emplace_back(e->object_name);
  }
  return names;
}

inline Table Read(const std::string& path, const std::string& tableName) {
  std::unique_ptr<MdbHandle, MdbCloser> mdb(mdb_open(path.c_str(), MDB_NOFLAGS));
  if (!mdb) throw std::runtime_error("libmdb cannot open " + path);
  if (!mdb_read_catalog(mdb.get(), MDB_TABLE)) throw std::runtime_error("libmdb cannot read the catalog");
  std::string name = tableName;
  std::unique_ptr<MdbTableDef, TableFreer> t(mdb_read_table_by_name(mdb.get(), name.data(), MDB_TABLE));
  if (!t) throw std::runtime_error("libmdb cannot read table " + tableName);
  mdb_read_columns(t.get());
  mdb_rewind_table(t.get());
  constexpr std::size_t kBind = 1 << 21;  // memo values arrive whole only within the bind size
  mdb_set_bind_size(mdb.get(), kBind);

  Table out;
  out.declaredRows = static_cast<long>(t->num_rows);
  const unsigned n = t->num_cols;
  std::vector<std::vector<char>> bound(n, std::vector<char>(kBind));
  std::vector<int> lens(n);
  for (unsigned i = 0; i < n; ++i) {
    auto* col = static_cast<MdbColumn*>(g_ptr_array_index(t->columns, i));
    out.names.emplace_back(col->name);
    out.types.push_back(col->col_type);
    out.sizes.push_back(col->col_size);
    out.autoNumber.push_back(col->is_long_auto != 0);
    mdb_bind_column(t.get(), static_cast<int>(i + 1), bound[i].data(), &lens[i]);
  }
  std::vector<MdbField> fields(MDB_MAX_COLS);
  while (mdb_fetch_row(t.get())) {
    int start = 0;
    size_t len = 0;
    // The fetched row is the one before the cursor, still on the page buffer.
    mdb_find_row(mdb.get(), static_cast<int>(t->cur_row) - 1, &start, &len);
    mdb_crack_row(t.get(), start, len, fields.data());
    std::vector<Cell> row(n);
    for (unsigned i = 0; i < n; ++i) {
      auto* col = static_cast<MdbColumn*>(g_ptr_array_index(t->columns, i));
      for (unsigned k = 0; k < n; ++k) {
        if (fields[k].colnum != static_cast<int>(i)) continue;
        row[i].null = fields[k].is_null != 0;
        if (!fields[k].is_null && fields[k].value && fields[k].siz > 0)
          row[i].raw.assign(static_cast<const std::uint8_t*>(fields[k].value),
                            static_cast<const std::uint8_t*>(fields[k].value) + fields[k].siz);
      }
      if (col->col_type == MDB_OLE) {
        // As mdb-export does: the bound buffer holds the field's header, from
        // which libmdb follows the value (inline, one row or a chain).
        if (!row[i].null && lens[i] > 0) {
          size_t size = 0;
          void* data = mdb_ole_read_full(mdb.get(), col, &size);
          if (data) row[i].text.assign(static_cast<const char*>(data), size);
          std::free(data);
        }
      } else {
        row[i].text.assign(bound[i].data(), static_cast<std::size_t>(lens[i]));
      }
    }
    out.rows.push_back(std::move(row));
  }
  return out;
}

// Output of a command (stdout only); throws if it cannot start or fails.
inline std::string Run(const std::string& command) {
  std::unique_ptr<FILE, int (*)(FILE*)> p(popen(command.c_str(), "r"), pclose);
  if (!p) throw std::runtime_error("cannot run " + command);
  std::string out;
  std::array<char, 65536> buf;
  std::size_t got;
  while ((got = std::fread(buf.data(), 1, buf.size(), p.get())) > 0) out.append(buf.data(), got);
  const int status = pclose(p.release());
  if (status != 0) throw std::runtime_error(command + " failed with status " + std::to_string(status));
  return out;
}

inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// mdb-export's CSV of a table: dates as ISO text, NULL as \N, C escapes.
inline std::string Export(const std::string& path, const std::string& table) {
  return Run(std::string(MDB_EXPORT_PROGRAM) + " -e -0 '\\N' -T '%Y-%m-%d %H:%M:%S' -D '%Y-%m-%d' " + Quote(path) +
             " " + Quote(table) + " 2>/dev/null");
}

// A scratch file removed at the end of the test.
class TempFile {
 public:
  explicit TempFile(const std::string& name)
      : m_path((std::filesystem::temp_directory_path() /
                ("jet4_" + std::to_string(::getpid()) + "_" + name))
                   .string()) {}
  ~TempFile() {
    std::error_code ec;
    std::filesystem::remove(m_path, ec);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& Path() const { return m_path; }

 private:
  std::string m_path;
};

}  // namespace probe
