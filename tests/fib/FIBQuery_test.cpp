// Statements against the embedded engine: prepare, execute, fetch, close, the
// name rules of the areas and the failures of the statement component.
#include <gtest/gtest.h>

#include "fib/FIBQuery.h"
#include "FIBQuery_fixture.h"

TEST(FIBQuery, SmokeSelectFromSystemTable) {
  TScratchDatabase db;
  auto q = db.Query("SELECT 1 AS ONE, RDB$RELATION_ID FROM RDB$DATABASE");
  q->ExecQuery();
  EXPECT_EQ(q->SQLType(), SQLSelect);
  ASSERT_EQ(q->FieldCount(), 2);
  EXPECT_EQ(q->FieldByName("ONE")->AsInteger(), 1);
  EXPECT_EQ(q->FetchNext(), nullptr);
  EXPECT_TRUE(q->Eof());
}
