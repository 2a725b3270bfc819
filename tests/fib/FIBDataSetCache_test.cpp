// The row cache on its own: rows across block boundaries, insertion and
// removal in the middle through the position map, out-of-line strings kept
// at their length and rewritten longer or shorter, and the bookkeeping errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "fib/FIBDataSetCache.h"

namespace {

// A record part of 8 fixed bytes (an int64) and one string column of 40.
constexpr int kFixed = 8;
constexpr int kStringAt = kFixed;
constexpr int kStringSize = 40;

std::vector<std::byte> Row(int64_t id, const std::string& text) {
  std::vector<std::byte> r(kFixed + 4 + kStringSize);
  std::memcpy(r.data(), &id, 8);
  const int32_t length = static_cast<int32_t>(text.size());
  std::memcpy(r.data() + kStringAt, &length, 4);
  std::memcpy(r.data() + kStringAt + 4, text.data(), text.size());
  return r;
}

std::string Read(const TRecordsCache& cache, int position) {
  std::vector<std::byte> r(kFixed + 4 + kStringSize);
  cache.Read(position, r.data());
  int64_t id;
  int32_t length;
  std::memcpy(&id, r.data(), 8);
  std::memcpy(&length, r.data() + kStringAt, 4);
  return std::to_string(id) + ":" + std::string(reinterpret_cast<const char*>(r.data()) + kStringAt + 4, length);
}

TRecordsCache MakeCache() { return TRecordsCache(kFixed, {{kStringAt, kStringSize}}, 4); }

TEST(RecordsCache, RowsAcrossBlocksKeepTheirValues) {
  TRecordsCache cache = MakeCache();
  // 8 + 8 (stamp) + 16 bytes a slot: a 1,024-byte block holds 32 slots, so 100 rows span four blocks.
  EXPECT_EQ(cache.SlotsPerBlock(), 32);
  for (int i = 0; i < 100; ++i) cache.Write(cache.Append(), Row(i, "text " + std::to_string(i)).data());
  EXPECT_EQ(cache.Count(), 100);
  for (int i : {0, 31, 32, 99}) EXPECT_EQ(Read(cache, i), std::to_string(i) + ":text " + std::to_string(i));
  EXPECT_EQ(cache.String(99, 0), "text 99");
}

TEST(RecordsCache, InsertAndRemoveInTheMiddleMoveOnlyPositions) {
  TRecordsCache cache = MakeCache();
  for (int i = 0; i < 5; ++i) cache.Write(cache.Append(), Row(i, "r" + std::to_string(i)).data());
  cache.Insert(2);
  cache.Write(2, Row(99, "new").data());
  EXPECT_EQ(cache.Count(), 6);
  EXPECT_EQ(Read(cache, 1), "1:r1");
  EXPECT_EQ(Read(cache, 2), "99:new");
  EXPECT_EQ(Read(cache, 3), "2:r2");
  cache.Remove(2);  // a failed post takes its slot back
  EXPECT_EQ(Read(cache, 2), "2:r2");
  cache.Write(cache.Append(), Row(5, "r5").data());  // reuses the freed slot
  EXPECT_EQ(Read(cache, 5), "5:r5");
  EXPECT_EQ(Read(cache, 4), "4:r4");
}

TEST(RecordsCache, StringsKeepTheirLengthAndAreRewritten) {
  TRecordsCache cache = MakeCache();
  const int p = cache.Append();
  cache.Write(p, Row(1, "short").data());
  cache.Write(p, Row(1, "a much longer text than before").data());
  EXPECT_EQ(Read(cache, p), "1:a much longer text than before");
  cache.Write(p, Row(1, "").data());
  EXPECT_EQ(Read(cache, p), "1:");
  // Strings take their length, not the declared 40 bytes (which would more
  // than double the 32 bytes of a slot).
  for (int i = 0; i < 10000; ++i) cache.Write(cache.Append(), Row(i, "abc").data());
  EXPECT_LT(cache.MemoryUsed(), static_cast<size_t>(10001) * (kFixed + 8 + 16 + kStringSize) * 2 / 3);
}

TEST(RecordsCache, ResetEmptiesButKeepsTheFirstBlockAndStrings) {
  TRecordsCache cache = MakeCache();
  for (int i = 0; i < 100; ++i) cache.Write(cache.Append(), Row(i, "text " + std::to_string(i)).data());
  cache.Insert(1);  // a position map too
  cache.Reset();
  EXPECT_EQ(cache.Count(), 0);
  EXPECT_GT(cache.MemoryUsed(), 0u);
  EXPECT_THROW(Read(cache, 0), EMemManagerError);
  // New rows start empty and never show what the old ones held.
  const int p = cache.Append();
  EXPECT_EQ(Read(cache, p), "0:");
  cache.Write(p, Row(7, "seven").data());
  cache.Write(cache.Append(), Row(8, "").data());
  EXPECT_EQ(Read(cache, 0), "7:seven");
  EXPECT_EQ(Read(cache, 1), "8:");
  for (int i = 2; i < 50; ++i) cache.Write(cache.Append(), Row(i, "r").data());
  EXPECT_EQ(Read(cache, 49), "49:r");
  EXPECT_EQ(Read(cache, 0), "7:seven");
}

// Reading with the stamp a record part was last read with copies only when
// the row is not the one it holds; true when it copied.
bool ReadCopies(const TRecordsCache& cache, int position, std::vector<std::byte>& part, uint64_t& loaded) {
  std::fill(part.begin(), part.end(), std::byte{0x5a});
  cache.Read(position, part.data(), loaded);
  return part[0] != std::byte{0x5a};
}

TEST(RecordsCache, StampedReadsCopyOnlyRowsThePartDoesNotHold) {
  TRecordsCache cache = MakeCache();
  for (int i = 0; i < 3; ++i) cache.Write(cache.Append(), Row(i, "r" + std::to_string(i)).data());
  std::vector<std::byte> part(kFixed + 4 + kStringSize);
  uint64_t loaded = 0;
  EXPECT_TRUE(ReadCopies(cache, 1, part, loaded));
  EXPECT_FALSE(ReadCopies(cache, 1, part, loaded));
  EXPECT_TRUE(ReadCopies(cache, 2, part, loaded));  // another row
  EXPECT_TRUE(ReadCopies(cache, 1, part, loaded));
  // A row inserted before it moves the row, not its content.
  cache.Insert(0);
  EXPECT_FALSE(ReadCopies(cache, 2, part, loaded));
  cache.Write(2, Row(1, "r1").data());  // rewritten, even with the same bytes
  EXPECT_TRUE(ReadCopies(cache, 2, part, loaded));
  // A removed row's slot taken by a new row; a new row not written yet is
  // copied too, also into a part that holds no row.
  cache.Remove(2);
  const int p = cache.Append();
  EXPECT_TRUE(ReadCopies(cache, p, part, loaded));
  uint64_t none = 0;
  EXPECT_TRUE(ReadCopies(cache, cache.Append(), part, none));
  // An emptied cache's new row in the first slot again.
  EXPECT_TRUE(ReadCopies(cache, 1, part, loaded));  // the first slot's row
  cache.Reset();
  cache.Write(cache.Append(), Row(0, "r0").data());
  EXPECT_TRUE(ReadCopies(cache, 0, part, loaded));
  // The same row in the same slot of two caches made alike.
  TRecordsCache a = MakeCache(), b = MakeCache();
  a.Write(a.Append(), Row(1, "r1").data());
  b.Write(b.Append(), Row(1, "r1").data());
  EXPECT_TRUE(ReadCopies(a, 0, part, loaded));
  EXPECT_TRUE(ReadCopies(b, 0, part, loaded));
}

TEST(RecordsCache, PositionsOutsideTheRowsAreRefused) {
  TRecordsCache cache = MakeCache();
  cache.Append();
  std::vector<std::byte> r(kFixed + 4 + kStringSize);
  const auto message = [](auto f) {
    try {
      f();
    } catch (const EMemManagerError& e) {
      return e.Message();
    }
    return std::string("no error");
  };
  EXPECT_EQ(message([&] { cache.Read(1, r.data()); }), "Can't read Buffer.Incorrect RecordNo");
  EXPECT_EQ(message([&] { cache.Write(-1, r.data()); }), "Can't write to Buffer.Incorrect RecordNo");
  EXPECT_EQ(message([&] { cache.Fixed(5); }), "Can't read LogBuffer.Incorrect RecordNo");
  EXPECT_EQ(message([&] { cache.Insert(3); }), "Can't write to Buffer.Incorrect RecordNo");
}

}  // namespace

namespace {

// Each reader keeps the change stamp it has seen and asks for the lowest
// position changed since; asking changes nothing for it or for any other
// reader, and a row added at the end is no change to the rows before it.
TEST(RecordsCache, EveryReaderIsToldTheLowestChangeSinceItLooked) {
  TRecordsCache cache = MakeCache();
  for (int i = 0; i < 10; ++i) cache.Append(Row(i, "r").data());
  const uint64_t a = cache.ChangeStamp();
  cache.Append(Row(10, "r").data());
  cache.Write(cache.Append(), Row(11, "r").data());  // rows at the end: never seen by `a`
  EXPECT_EQ(cache.LowestChangeSince(a), 11);
  cache.Write(6, Row(6, "again").data());
  EXPECT_EQ(cache.LowestChangeSince(a), 6);
  EXPECT_EQ(cache.LowestChangeSince(a), 6);  // asking again: the same answer
  const uint64_t b = cache.ChangeStamp();
  EXPECT_EQ(cache.LowestChangeSince(b), INT_MAX);
  cache.Insert(3);
  EXPECT_EQ(cache.LowestChangeSince(a), 3);
  EXPECT_EQ(cache.LowestChangeSince(b), 3);
  const uint64_t c = cache.ChangeStamp();
  cache.Remove(8);
  EXPECT_EQ(cache.LowestChangeSince(b), 3);
  EXPECT_EQ(cache.LowestChangeSince(c), 8);
  // Emptied: every row a reader saw is gone; a cache made after a stamp
  // tells that reader the same.
  cache.Reset();
  EXPECT_EQ(cache.LowestChangeSince(c), 0);
  EXPECT_EQ(cache.LowestChangeSince(cache.ChangeStamp()), INT_MAX);
  TRecordsCache other = MakeCache();
  EXPECT_EQ(other.LowestChangeSince(cache.ChangeStamp()), 0);
}

// Many changes in long rising runs, readers looking in between: the
// answer is never above the lowest change since (that would leave a reader
// with a row it no longer holds), and exact for a reader that looked within
// the last hundred changes.
TEST(RecordsCache, ALongChangeLogNeverTellsAReaderTooLittle) {
  TRecordsCache cache = MakeCache();
  for (int i = 0; i < 400; ++i) cache.Append(Row(i, "r").data());
  std::vector<int> changed;  // position of each change so far
  std::vector<std::pair<uint64_t, size_t>> readers;  // stamp, changes before it
  for (int step = 0; step < 3000; ++step) {
    // Mostly sweeps upwards (the log's longest form), now and then a dip.
    const int position = step % 53 == 0 ? step * 37 % 400 : step % 380;
    if (step % 5 == 0) readers.emplace_back(cache.ChangeStamp(), changed.size());
    if (step % 97 == 0) {
      cache.Remove(position);
      cache.Append(Row(position, "again").data());
    } else if (step % 89 == 0) {
      cache.Insert(position);
      cache.Remove(399);
    } else {
      cache.Write(position, Row(position, "w").data());
      changed.push_back(position);
      continue;
    }
    changed.push_back(position);  // both parts of a removal or insertion start there
  }
  for (const auto& [stamp, before] : readers) {
    const int truth = *std::min_element(changed.begin() + static_cast<std::ptrdiff_t>(before), changed.end());
    const int told = cache.LowestChangeSince(stamp);
    ASSERT_LE(told, truth) << "reader after " << before << " changes";
    if (changed.size() - before < 100) {
      EXPECT_EQ(told, truth) << "reader after " << before << " changes";
    }
  }
}

}  // namespace
