// Running out of memory in a source query's locate is a failure, not "not
// found". A program of its own: it replaces the global operator new so that
// large allocations can be made to fail, which no other test should see.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "SourceFixture.h"
#include "source/ADODB.h"

namespace {

// Allocations of at least this many bytes fail while it is not 0.
std::atomic<std::size_t> g_failFrom{0};

void* Allocate(std::size_t size) {
  const std::size_t limit = g_failFrom.load();
  if (limit != 0 && size >= limit) throw std::bad_alloc();
  if (void* p = std::malloc(size != 0 ? size : 1)) return p;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

TEST(LocateOutOfMemory, IsAFailureNotNotFound) {
  // Sorting 20,000 rows by the key takes one block of about a megabyte.
  Jet4Table t{"T", {{"N", Jet4Type::LongInteger}}, {}};
  for (int i = 0; i < 20000; ++i) t.rows.push_back({std::int64_t{i}});
  TempDir dir;
  TComponent owner;
  auto* connection = new TADOConnection(&owner);
  connection->SetConnectionString(ToolConnectionString(dir.Write("m.mdb", {t})));
  auto* q = new TADOQuery(&owner);
  q->SetConnection(connection);
  q->SQL().Add("SELECT * FROM T");
  q->Open();

  g_failFrom = 256 * 1024;
  EXPECT_THROW(q->Locate("N", Variant(int32_t{7}), loNone), std::bad_alloc);
  g_failFrom = 0;
  EXPECT_TRUE(q->Locate("N", Variant(int32_t{7}), loNone));
  EXPECT_EQ(q->FieldByName("N")->AsInteger(), 7);
}

}  // namespace
