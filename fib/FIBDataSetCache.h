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
  // Adds a row holding `src` (laid out as for Write) at the end; returns its
  // position. Like Append, no change to the rows before it.
  int Append(const std::byte* src);
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

  // Change tracking, read without side effects, so that any number of
  // readers that remember rows can tell which of them are still as read.
  // Every write, insert, remove and emptying takes a stamp of the rows'
  // sequence; adding a row at the end changes no row before it and is not a
  // change. A reader keeps ChangeStamp() along with what it read;
  // LowestChangeSince(that stamp) is the lowest position written, inserted or
  // removed since (INT_MAX when none; 0 when the cache was emptied since, or
  // the stamp is older than the cache). For a stamp from long ago the answer
  // may be lower than the truth, never higher.
  uint64_t ChangeStamp() const noexcept { return m_changes.back().stamp; }
  int LowestChangeSince(uint64_t stamp) const noexcept;

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
  // Gives the slot a new stamp and returns it.
  uint64_t Restamp(std::byte* slot);
  // Copies `src` into the row at `physical` (Write without the change log);
  // returns the row's new stamp.
  uint64_t Store(int physical, const std::byte* src);
  // Enters a change at `position` told by `stamp` (the newest) in the log.
  void NoteChange(int position, uint64_t stamp);
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
  // The change log: for each entry, no change after `stamp` lies below
  // `position`. Stamps and positions both rise along it: a change at or
  // below the last entry's position makes that entry tell nothing more, so
  // the log holds one entry per rising step and is never empty (it starts
  // with the cache's making or emptying, at position 0).
  struct Change {
    uint64_t stamp;
    int position;
  };
  std::vector<Change> m_changes;
};
