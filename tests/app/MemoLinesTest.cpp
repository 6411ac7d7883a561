#include "MemoLines.h"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

TEST(MemoLines, ABoundedViewKeepsItsNewestLines) {
  MemoLines view{3, {"first"}};
  for (const char* line : {"a", "b", "c"}) view.Append(line);
  EXPECT_EQ(view.ToVector(), (Lines{"a", "b", "c"}));
  view.Assign({"1", "2", "3", "4", "5"});
  EXPECT_EQ(view.ToVector(), (Lines{"3", "4", "5"}));
  view.Assign({"x"});
  EXPECT_EQ(view.ToVector(), Lines{"x"});

  MemoLines unbounded{"kept"};
  for (int i = 0; i < 100; ++i) unbounded.Append("line");
  EXPECT_EQ(unbounded.Count(), 101u);
}

}  // namespace
