#include <gtest/gtest.h>

#include <string>

#include "PolygonSketch.h"

namespace {

// One edit of a sketch and what it leaves: "+" adds corner n at (n, n),
// "c" closes, "m" moves corner 0 to (-5, -5), "b" removes the last corner.
struct Step {
  char edit;
  bool applies;
  std::size_t corners;
  bool closed;
};

struct SketchCase {
  const char* name;
  std::vector<Step> steps;
};

class SketchEdits : public testing::TestWithParam<SketchCase> {};

TEST_P(SketchEdits, FollowTheDrawingRules) {
  PolygonSketch sketch;
  double next = 1;
  for (const Step& step : GetParam().steps) {
    bool applied = false;
    switch (step.edit) {
      case '+':
        applied = sketch.Add({next, next});
        next += 1;
        break;
      case 'c': applied = sketch.Close(); break;
      case 'm': applied = sketch.Move(0, {-5, -5}); break;
      case 'b': applied = sketch.RemoveLast(); break;
    }
    EXPECT_EQ(applied, step.applies) << step.edit;
    EXPECT_EQ(sketch.Corners().size(), step.corners) << step.edit;
    EXPECT_EQ(sketch.Closed(), step.closed) << step.edit;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, SketchEdits,
    testing::Values(
        SketchCase{"ClosesOnlyWithThreeCorners",
                   {{'+', true, 1, false}, {'+', true, 2, false}, {'c', false, 2, false}, {'+', true, 3, false},
                    {'c', true, 3, true}, {'c', false, 3, true}}},
        SketchCase{"AClosedPolygonTakesNoMoreCorners", {{'+', true, 1, false}, {'+', true, 2, false},
                                                        {'+', true, 3, false}, {'+', true, 4, false},
                                                        {'c', true, 4, true}, {'+', false, 4, true}}},
        SketchCase{"BackspaceKeepsItClosedWhileThreeRemainThenReopens",
                   {{'+', true, 1, false}, {'+', true, 2, false}, {'+', true, 3, false}, {'+', true, 4, false},
                    {'c', true, 4, true}, {'b', true, 3, true}, {'b', true, 2, false}, {'+', true, 3, false}}},
        SketchCase{"BackspaceOnNothingDoesNothing",
                   {{'b', false, 0, false}, {'m', false, 0, false}, {'+', true, 1, false}, {'b', true, 0, false}}},
        SketchCase{"CornersMoveOpenOrClosed",
                   {{'+', true, 1, false}, {'m', true, 1, false}, {'+', true, 2, false}, {'+', true, 3, false},
                    {'c', true, 3, true}, {'m', true, 3, true}}}),
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
