#include <gtest/gtest.h>

#include <string>

#include "PolygonSketch.h"

namespace {

// Edits of a sketch, one letter each: "+" adds corner n at (n, n), "c"
// closes, "m" moves corner 0 to (-5, -5), "b" removes the last corner. After
// each, what it leaves: the number of corners, "o"pen or "c"losed, and a
// leading "!" when the edit did not apply.
struct SketchCase {
  const char* name;
  std::string edits;
  std::vector<std::string> after;
};

class SketchEdits : public testing::TestWithParam<SketchCase> {};

TEST_P(SketchEdits, FollowTheDrawingRules) {
  PolygonSketch sketch;
  double next = 1;
  ASSERT_EQ(GetParam().edits.size(), GetParam().after.size());
  for (std::size_t i = 0; i < GetParam().edits.size(); ++i) {
    bool applied = false;
    switch (GetParam().edits[i]) {
      case '+':
        applied = sketch.Add({next, next});
        next += 1;
        break;
      case 'c': applied = sketch.Close(); break;
      case 'm': applied = sketch.Move(0, {-5, -5}); break;
      case 'b': applied = sketch.RemoveLast(); break;
    }
    const std::string left =
        (applied ? "" : "!") + std::to_string(sketch.Corners().size()) + (sketch.Closed() ? "c" : "o");
    EXPECT_EQ(left, GetParam().after[i]) << "edit " << i << " of " << GetParam().edits;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, SketchEdits,
    testing::Values(SketchCase{"ClosesOnlyWithThreeCorners", "++c+cc", {"1o", "2o", "!2o", "3o", "3c", "!3c"}},
                    SketchCase{"AClosedPolygonTakesNoMoreCorners", "++++c+", {"1o", "2o", "3o", "4o", "4c", "!4c"}},
                    SketchCase{"BackspaceKeepsItClosedWhileThreeRemainThenReopens",
                               "++++cbb+",
                               {"1o", "2o", "3o", "4o", "4c", "3c", "2o", "3o"}},
                    SketchCase{"BackspaceOnNothingDoesNothing", "bm+b", {"!0o", "!0o", "1o", "0o"}},
                    SketchCase{"CornersMoveOpenOrClosed", "+m++cm", {"1o", "1o", "2o", "3o", "3c", "3c"}}),
    [](const testing::TestParamInfo<SketchCase>& info) { return std::string(info.param.name); });

TEST(PolygonSketch, HoldsCornersOnTheMap) {
  PolygonSketch sketch;
  sketch.Add({-200, 89});
  sketch.Add({10, 20});
  sketch.Move(1, {181, -90});
  EXPECT_EQ(sketch.Corners()[0].longitude, -180);
  EXPECT_EQ(sketch.Corners()[0].latitude, kEntryLatitudeLimit);
  EXPECT_EQ(sketch.Corners()[1].longitude, 180);
  EXPECT_EQ(sketch.Corners()[1].latitude, -kEntryLatitudeLimit);
}

TEST(CornerNear, PicksTheNearestWithinTheRadius) {
  const std::vector<ScreenPoint> corners{{100, 100}, {106, 100}, {300, 300}};
  EXPECT_EQ(CornerNear(corners, {104, 100}, 8), 1u);
  EXPECT_EQ(CornerNear(corners, {101, 101}, 8), 0u);
  EXPECT_EQ(CornerNear(corners, {300, 308}, 8), 2u);  // on the radius
  EXPECT_FALSE(CornerNear(corners, {200, 200}, 8));
  EXPECT_FALSE(CornerNear({}, {0, 0}, 8));
}

}  // namespace
