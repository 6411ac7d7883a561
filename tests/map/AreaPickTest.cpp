#include <gtest/gtest.h>

#include "AreaPick.h"

namespace {

TEST(AreaBetween, OrdersAndClampsTheCorners) {
  const AreaPick a = AreaBetween({20, -10}, {-200, 89});
  EXPECT_EQ(a.left, -180);
  EXPECT_EQ(a.right, 20);
  EXPECT_EQ(a.top, kEntryLatitudeLimit);
  EXPECT_EQ(a.bottom, -10);
}

TEST(EntryText, WritesSixDecimals) {
  EXPECT_EQ(EntryText(10), "10.000000");
  EXPECT_EQ(EntryText(-85.0511), "-85.051100");
  EXPECT_EQ(EntryText(0.1234567), "0.123457");
  EXPECT_EQ(EntryText(-0.0000001), "0.000000");
}

TEST(CheckArea, GivesTheEntriesOrTheRefusal) {
  AreaCheck check = CheckArea({10, 20, 50, 40}, 4, 8);
  ASSERT_TRUE(check.entries);
  EXPECT_EQ(check.entries->left, "10.000000");
  EXPECT_EQ(check.entries->right, "20.000000");
  EXPECT_EQ(check.entries->top, "50.000000");
  EXPECT_EQ(check.entries->bottom, "40.000000");
  EXPECT_EQ(check.tiles, 2);
  EXPECT_EQ(CheckArea({10, 20, 50, 40}, 4, 5).tiles, 2);  // bottom-counted rows

  // Narrower than the entries' last decimal: nothing the set-up would take.
  EXPECT_FALSE(CheckArea({10, 10.0000001, 50, 40}, 4, 8).entries);
  EXPECT_FALSE(CheckArea({10, 20, 40, 40}, 4, 8).entries);
  // The whole world at zoom 17 is 2^34 tiles, more than a task counts.
  check = CheckArea(AreaBetween({-180, 90}, {180, -90}), 17, 8);
  EXPECT_FALSE(check.entries);
  EXPECT_GT(check.tiles, int64_t{1} << 33);
  EXPECT_FALSE(check.refusal.empty());
  EXPECT_TRUE(CheckArea(AreaBetween({-180, 90}, {180, -90}), 15, 8).entries);
}

TEST(AreaFromEntries, ReadsOnlyUsableEntries) {
  const auto area = AreaFromEntries({"10", "20", "50", "40"});
  ASSERT_TRUE(area);
  EXPECT_EQ(area->left, 10);
  EXPECT_EQ(area->bottom, 40);
  EXPECT_FALSE(AreaFromEntries({"", "20", "50", "40"}));
  EXPECT_FALSE(AreaFromEntries({"10", "200", "50", "40"}));
  EXPECT_FALSE(AreaFromEntries({"10", "20", "abc", "40"}));
}

}  // namespace
