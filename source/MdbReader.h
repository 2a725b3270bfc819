// The library side of the isolated Access reader: starts the mdbreader child,
// watches it and turns its frames into the catalog or a table held in memory.
// Every failure of the child (an error it reports, a crash, a hang, its
// memory cap) becomes an EDatabaseError whose message names the file.
//
// Why a separate program: libmdb is not safe with damaged files (NULL reads,
// endless loops with growing memory), so it never runs in the tool's
// process. The child is started with posix_spawn, which copies nothing of the
// caller's threads or GUI state (a plain fork of a Qt process is not safe),
// gets an empty environment, /dev/null for stdin, stdout and stderr (libmdb
// prints warnings and dumps there) and its frames on descriptor 3; it caps
// its own address space. The library reads the frames with a no-progress
// watchdog, bounds what it accepts by the file's size and the table's stored
// row count, and kills and reaps the child on any failure. One child per
// connect (catalog) and per open (one table); rows then live in memory.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Limits for one read.
struct TMdbReadLimits {
  // The child is ended when it sends nothing for this long.
  std::chrono::milliseconds idleTimeout{30000};
  // Address-space cap of the child.
  unsigned long childMemoryMb = 1024;
};

// A column as the table definition stores it.
struct TMdbColumn {
  std::string name;        // UTF-8, as libmdb gives it
  uint8_t type = 0;        // Jet type code (mdbwire::JetType)
  uint32_t size = 0;       // bytes as stored (text: two per character in Jet 4)
  bool fixed = false;
  bool longAuto = false;   // AutoNumber (long)
  bool uuidAuto = false;   // AutoNumber (replication ID)
  uint8_t precision = 0;   // Decimal only
  uint8_t scale = 0;       // Decimal only
};

// One value in its stored form: the fixed bytes of a number, date or GUID,
// the stored text bytes (compressed or UCS-2 in Jet 4, 8-bit in Jet 3), the
// whole memo or OLE value; a Yes/No as one byte 0/1.
struct TMdbCell {
  bool null = true;
  std::string data;
};

// A whole table read from the file, rows in file order.
struct TMdbTable {
  int jetVersion = 0;  // 0 Jet 3, 1 Jet 4, 2.. ACCDB
  int codePage = 0;    // of Jet 3 text (Jet 4 text is Unicode)
  std::vector<TMdbColumn> columns;
  std::vector<TMdbCell> cells;  // row-major, columns.size() per row
  size_t rowCount = 0;

  const TMdbCell& Cell(size_t row, size_t col) const { return cells[row * columns.size() + col]; }
};

struct TMdbCatalog {
  int jetVersion = 0;
  std::vector<std::string> tables;  // user tables, UTF-8, in catalog order
};

// displayName names the file in messages (as the connection string gives
// it); path is where it is opened (UTF-8).
TMdbCatalog MdbReadCatalog(const std::string& path, const std::string& displayName,
                           const TMdbReadLimits& limits);
// tableName is the exact stored name (UTF-8).
TMdbTable MdbReadTable(const std::string& path, const std::string& displayName,
                       const std::string& tableName, const TMdbReadLimits& limits);

// Where the mdbreader child is: the path set below when there is one, else
// next to the running program, else where the build put it. Empty when none
// exists.
std::string MdbReaderExecutable();
// Replaces the reader program (tests use stand-ins that hang or crash);
// an empty path restores the search above.
void SetMdbReaderExecutable(const std::string& path);
