// The row cache: slots in blocks, per-column string stores, position map.
#include "fib/FIBDataSetCache.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <utility>

namespace {
constexpr int kMinBlockBytes = 1024;
constexpr size_t kStoreChunk = 64 * 1024;
// Past this many entries the older half of the change log is kept coarsely.
constexpr size_t kChangeLogLimit = 256;

// Shared by all caches: a record part that outlives its cache (a reopened
// dataset's window) must never find its old stamp on another row, nor a
// reader of a cache's changes a stamp of another cache that looks recent.
std::atomic<uint64_t> g_lastStamp{0};

uint64_t NextStamp() noexcept { return g_lastStamp.fetch_add(1, std::memory_order_relaxed) + 1; }
}  // namespace

// Append-only text storage of one string column, in chunks so that growing
// never copies what is stored. A rewritten value reuses its old place when it
// fits, else takes a new one (the old bytes stay unused until Clear).
class TRecordsCache::StringStore {
 public:
  // Room for `length` bytes; returns its address as an offset.
  uint64_t Allocate(uint32_t length) {
    if (length == 0) return 0;
    if (m_chunks.empty() || m_used + length > m_chunkSize) {
      m_chunkSize = std::max<size_t>(kStoreChunk, length);
      // Not zeroed: only the bytes a value was written to are ever read.
      m_chunks.push_back(std::make_unique_for_overwrite<char[]>(m_chunkSize));
      m_bytes += m_chunkSize;
      m_used = 0;
    }
    uint64_t offset = (static_cast<uint64_t>(m_chunks.size() - 1) << 32) | m_used;
    m_used += length;
    return offset;
  }
  char* At(uint64_t offset) const {
    return m_chunks[static_cast<size_t>(offset >> 32)].get() + (offset & 0xffffffffu);
  }
  void Clear() {
    m_chunks.clear();
    m_used = 0;
    m_bytes = 0;
  }
  // Empty again; a single chunk stays for reuse (m_chunkSize is its size).
  void Reset() {
    if (m_chunks.size() == 1) m_used = 0;
    else Clear();
  }
  size_t Bytes() const noexcept { return m_bytes; }

 private:
  std::vector<std::unique_ptr<char[]>> m_chunks;
  size_t m_chunkSize = kStoreChunk;
  size_t m_used = 0;
  size_t m_bytes = 0;
};

TRecordsCache::TRecordsCache(int slotSize, std::vector<TCacheStringColumn> strings, int bufferChunks)
    : m_slotSize(slotSize), m_strings(std::move(strings)) {
  // Slots start on 8-byte boundaries so that the string references after the
  // fixed part are aligned.
  auto align8 = [](int n) { return (n + 7) & ~7; };
  m_stampOffset = align8(m_slotSize);
  m_refsOffset = m_stampOffset + static_cast<int>(sizeof(uint64_t));
  m_stride = align8(std::max(1, m_refsOffset + static_cast<int>(m_strings.size() * sizeof(StringRef))));
  int blockBytes = std::max(kMinBlockBytes, std::max(bufferChunks, 1) * m_stride);
  if (m_stride > blockBytes) throw EMemManagerError("Incompatible Sizes");
  m_slotsPerBlock = blockBytes / m_stride;
  for (size_t i = 0; i < m_strings.size(); ++i) m_stores.push_back(std::make_unique<StringStore>());
  m_changes.push_back({NextStamp(), 0});
}

TRecordsCache::~TRecordsCache() = default;

void TRecordsCache::Fail(const char* what) { throw EMemManagerError(what); }

TRecordsCache::StringRef* TRecordsCache::Refs(int physical) const {
  return reinterpret_cast<StringRef*>(Slot(physical) + m_refsOffset);
}

void TRecordsCache::FillMap() {
  if (!m_map.empty()) return;
  m_map.resize(static_cast<size_t>(m_count));
  for (int i = 0; i < m_count; ++i) m_map[static_cast<size_t>(i)] = i;
}

int TRecordsCache::NewPhysical() {
  int physical;
  if (!m_free.empty()) {
    physical = m_free.back();
    m_free.pop_back();
  } else {
    physical = m_physicalCount++;
    if (static_cast<size_t>(physical / m_slotsPerBlock) >= m_blocks.size()) {
      size_t bytes = static_cast<size_t>(m_slotsPerBlock) * m_stride;
      // Each slot is cleared when handed out.
      m_blocks.push_back(std::make_unique_for_overwrite<std::byte[]>(bytes));
    }
  }
  std::byte* slot = Slot(physical);
  std::memset(slot, 0, static_cast<size_t>(m_stride));
  Restamp(slot);
  return physical;
}

uint64_t TRecordsCache::Restamp(std::byte* slot) {
  const uint64_t stamp = NextStamp();
  std::memcpy(slot + m_stampOffset, &stamp, sizeof stamp);
  return stamp;
}

void TRecordsCache::NoteChange(int position, uint64_t stamp) {
  while (!m_changes.empty() && m_changes.back().position >= position) m_changes.pop_back();
  if (m_changes.size() >= kChangeLogLimit) {
    // Each pair of the older half becomes one entry with the later stamp and
    // the lower position: a reader whose stamp lies between the two is told
    // of a lower change than the truth, which only makes it read again.
    const size_t half = m_changes.size() / 2 & ~size_t{1};
    for (size_t i = 0; i < half; i += 2) m_changes[i / 2] = {m_changes[i + 1].stamp, m_changes[i].position};
    m_changes.erase(m_changes.begin() + static_cast<std::ptrdiff_t>(half / 2),
                    m_changes.begin() + static_cast<std::ptrdiff_t>(half));
  }
  m_changes.push_back({stamp, position});
}

int TRecordsCache::LowestChangeSince(uint64_t stamp) const noexcept {
  // The first entry after `stamp` holds the lowest position changed since.
  const auto after = std::upper_bound(m_changes.begin(), m_changes.end(), stamp,
                                      [](uint64_t s, const Change& c) { return s < c.stamp; });
  return after == m_changes.end() ? INT_MAX : after->position;
}

int TRecordsCache::Append() {
  int physical = NewPhysical();
  if (!m_map.empty() || physical != m_count) {
    // A reused slot breaks the identity of positions and slots from here on.
    FillMap();
    m_map.push_back(physical);
  }
  return m_count++;
}

int TRecordsCache::Append(const std::byte* src) {
  const int position = Append();
  Store(Physical(position, "Can't write to Buffer.Incorrect RecordNo"), src);
  return position;
}

void TRecordsCache::Insert(int position) {
  if (position < 0 || position > m_count) throw EMemManagerError("Can't write to Buffer.Incorrect RecordNo");
  if (position == m_count) {
    Append();
    return;
  }
  FillMap();
  int physical = NewPhysical();
  m_map.insert(m_map.begin() + position, physical);
  ++m_count;
  NoteChange(position, SlotStamp(Slot(physical)));
}

void TRecordsCache::Remove(int position) {
  int physical = Physical(position, "Can't write to Buffer.Incorrect RecordNo");
  if (m_map.empty() && position == m_count - 1 && physical == m_physicalCount - 1) {
    --m_physicalCount;
  } else {
    FillMap();
    m_map.erase(m_map.begin() + position);
    m_free.push_back(physical);
  }
  --m_count;
  NoteChange(position, NextStamp());
}

void TRecordsCache::Clear() { Empty(false); }

void TRecordsCache::Reset() { Empty(true); }

void TRecordsCache::Empty(bool keepMemory) {
  if (!keepMemory) m_blocks.clear();
  else if (m_blocks.size() > 1) m_blocks.resize(1);
  for (auto& s : m_stores) {
    if (keepMemory) s->Reset();
    else s->Clear();
  }
  m_map.clear();
  m_free.clear();
  m_count = 0;
  m_physicalCount = 0;
  m_changes.clear();
  m_changes.push_back({NextStamp(), 0});
}

void TRecordsCache::Read(int position, std::byte* dest) const {
  CopyOut(Slot(Physical(position, "Can't read Buffer.Incorrect RecordNo")), dest);
}

void TRecordsCache::CopyOut(const std::byte* slot, std::byte* dest) const {
  std::memcpy(dest, slot, static_cast<size_t>(m_slotSize));
  const StringRef* refs = reinterpret_cast<const StringRef*>(slot + m_refsOffset);
  for (size_t i = 0; i < m_strings.size(); ++i) {
    const TCacheStringColumn& c = m_strings[i];
    uint32_t length = std::min<uint32_t>(refs[i].length, static_cast<uint32_t>(c.size));
    std::memcpy(dest + c.offset, &length, 4);
    if (length > 0) std::memcpy(dest + c.offset + 4, m_stores[i]->At(refs[i].offset), length);
    if (length < static_cast<uint32_t>(c.size)) dest[c.offset + 4 + length] = std::byte{0};
  }
}

void TRecordsCache::Write(int position, const std::byte* src) {
  const int physical = Physical(position, "Can't write to Buffer.Incorrect RecordNo");
  NoteChange(position, Store(physical, src));
}

uint64_t TRecordsCache::Store(int physical, const std::byte* src) {
  std::byte* slot = Slot(physical);
  const uint64_t stamp = Restamp(slot);
  std::memcpy(slot, src, static_cast<size_t>(m_slotSize));
  StringRef* refs = reinterpret_cast<StringRef*>(slot + m_refsOffset);
  for (size_t i = 0; i < m_strings.size(); ++i) {
    const TCacheStringColumn& c = m_strings[i];
    uint32_t length;
    std::memcpy(&length, src + c.offset, 4);
    length = std::min<uint32_t>(length, static_cast<uint32_t>(c.size));
    StringRef& ref = refs[i];
    if (length > ref.capacity) {
      ref.offset = m_stores[i]->Allocate(length);
      ref.capacity = length;
    }
    ref.length = length;
    if (length > 0) std::memcpy(m_stores[i]->At(ref.offset), src + c.offset + 4, length);
  }
  return stamp;
}

std::string_view TRecordsCache::String(int position, int stringColumn) const {
  const StringRef& ref = Refs(Physical(position, "Can't read LogBuffer.Incorrect RecordNo"))[stringColumn];
  if (ref.length == 0) return {};
  return {m_stores[static_cast<size_t>(stringColumn)]->At(ref.offset), ref.length};
}

size_t TRecordsCache::MemoryUsed() const noexcept {
  size_t bytes = m_blocks.size() * static_cast<size_t>(m_slotsPerBlock) * m_stride;
  for (const auto& s : m_stores) bytes += s->Bytes();
  return bytes + m_map.capacity() * sizeof(int32_t) + m_free.capacity() * sizeof(int32_t);
}
