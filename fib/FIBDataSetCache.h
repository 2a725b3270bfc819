// The row cache of a Firebird dataset: fixed-size row slots in blocks, long
// strings kept out of line at their actual length, and a position map so that
// a row inserted in the middle moves only map entries. The cache knows the
// record layout only as "fixed part" plus "string columns"; what the bytes
// mean is the dataset's business.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "runtime/Exceptions.h"

// Faults of the cache's own bookkeeping ("Incompatible Sizes", "Can't read
// Buffer.Incorrect RecordNo", ...).
RUNTIME_DECLARE_EXCEPTION(EMemManagerError, Exception);

// One out-of-line string column as the record buffer holds it: a 4-byte
// length at `offset`, then `size` bytes of text.
struct TCacheStringColumn {
  int offset = 0;  // of the length prefix, counted from the start of the cached part
  int size = 0;    // declared size in bytes
};

class TRecordsCache {
 public:
  // slotSize: bytes of the fixed part of a row (what the cache copies as is);
  // strings: the out-of-line columns, whose areas lie after the fixed part in
  // the record buffer and are not part of slotSize. bufferChunks: slots per
  // block (a block is at least 1,024 bytes; more slots when they fit).
  TRecordsCache(int slotSize, std::vector<TCacheStringColumn> strings, int bufferChunks);
  ~TRecordsCache();
  TRecordsCache(const TRecordsCache&) = delete;
  TRecordsCache& operator=(const TRecordsCache&) = delete;

  // Rows held (logical positions 0 .. Count()-1).
  int Count() const noexcept { return m_count; }
  int SlotSize() const noexcept { return m_slotSize; }
  int SlotsPerBlock() const noexcept { return m_slotsPerBlock; }

  // Adds an empty (zero-filled) row at the end; returns its position.
  int Append();
  // Adds an empty row at `position` (0 .. Count()); later rows move up by one.
  void Insert(int position);
  // Removes the row at `position`; later rows move down by one.
  void Remove(int position);
  void Clear();
  // Empties the cache like Clear but keeps its first block and the first
  // chunk of each string store for the rows to come (a reopened dataset).
  void Reset();

  // Copies a row into a record part laid out as the constructor described
  // (fixed part, then each string column's length and text), and back.
  void Read(int position, std::byte* dest) const;
  void Write(int position, const std::byte* src);

  // Every row carries a stamp that changes whenever what Read copies could
  // change (written, new or reused slot, emptied cache). Stamps are never
  // handed out twice in the process, whichever cache, so a record part
  // remembering the stamp of the row it holds (0: none) can skip copying
  // that row again. This Read copies only when `loaded` differs from the
  // row's stamp, and leaves `loaded` the row's stamp. Inline: the window
  // reads rows it holds already far more often than others.
  void Read(int position, std::byte* dest, uint64_t& loaded) const {
    const std::byte* slot = Slot(Physical(position, "Can't read Buffer.Incorrect RecordNo"));
    const uint64_t stamp = SlotStamp(slot);
    if (loaded == stamp) return;
    loaded = 0;
    CopyOut(slot, dest);
    loaded = stamp;
  }

  // Direct views for searching without copying: the fixed part of a row, and
  // one string column's stored text.
  const std::byte* Fixed(int position) const {
    return Slot(Physical(position, "Can't read LogBuffer.Incorrect RecordNo"));
  }
  std::string_view String(int position, int stringColumn) const;

  // Bytes held by blocks, string stores and the map (for the benchmark).
  size_t MemoryUsed() const noexcept;

  // The lowest position written, inserted or removed since the last call
  // (INT_MAX when none; 0 for a new or cleared cache), and starts anew.
  // Lets a reader that remembers rows know which of them are still as read.
  int TakeLowestChange() noexcept;

 private:
  struct StringRef {
    uint64_t offset;  // into the column's store
    uint32_t length;
    uint32_t capacity;
  };
  class StringStore;

  // Inline: every row read or written goes through both.
  int Physical(int position, const char* what) const {
    if (position < 0 || position >= m_count) [[unlikely]]
      Fail(what);
    return m_map.empty() ? position : m_map[static_cast<size_t>(position)];
  }
  std::byte* Slot(int physical) const {
    const size_t block = static_cast<size_t>(physical / m_slotsPerBlock);
    if (physical < 0 || block >= m_blocks.size()) [[unlikely]]
      Fail("Can't read Buffer.Incorrect RecordNo");
    return m_blocks[block].get() + static_cast<size_t>(physical % m_slotsPerBlock) * m_stride;
  }
  uint64_t SlotStamp(const std::byte* slot) const {
    uint64_t stamp;
    std::memcpy(&stamp, slot + m_stampOffset, sizeof stamp);
    return stamp;
  }
  void Restamp(std::byte* slot);
  void CopyOut(const std::byte* slot, std::byte* dest) const;
  [[noreturn]] static void Fail(const char* what);
  void Empty(bool keepMemory);
  StringRef* Refs(int physical) const;
  int NewPhysical();
  // Makes the position map explicit (identity so far) before the first
  // change that breaks "position = slot".
  void FillMap();

  int m_slotSize;                 // fixed part
  int m_stampOffset;              // of the row's stamp in a slot (the fixed part, 8-aligned)
  int m_refsOffset;               // of the StringRefs in a slot (after the stamp)
  int m_stride;                   // refs offset + one StringRef per string column, 8-aligned
  std::vector<TCacheStringColumn> m_strings;
  int m_slotsPerBlock;
  int m_count = 0;                // logical rows
  int m_physicalCount = 0;        // slots handed out
  std::vector<std::unique_ptr<std::byte[]>> m_blocks;
  std::vector<std::unique_ptr<StringStore>> m_stores;  // one per string column
  std::vector<int32_t> m_map;     // logical -> physical; empty until the first insert
  std::vector<int32_t> m_free;    // physical slots released by Remove
  int m_lowestChange = 0;         // see TakeLowestChange
};
