#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "AreaOracle.h"
#include "WorkerSteps.h"

namespace {

// The walk as the workers do it without an area, tile by tile: the truth.
struct PlainWalk {
  std::vector<bool> inside;  // by seq - 1
  explicit PlainWalk(const AreaMask& mask) {
    const TileRect& r = mask.Rect();
    for (int32_t x = r.MinX; x <= r.MaxX; ++x) {
      for (int32_t y = r.MinY; y <= r.MaxY; ++y) inside.push_back(mask.Contains(x, y));
    }
  }
  int64_t Total() const { return static_cast<int64_t>(inside.size()); }
  bool Inside(int64_t seq) const { return seq >= 1 && seq <= Total() && inside[static_cast<std::size_t>(seq - 1)]; }
};

struct StepCase {
  const char* name;
  Area area;
  int zoom;
  RowOrigin origin;
  TileRect rect;
};

std::vector<StepCase> StepCases() {
  std::mt19937 random(11);
  Area country{{{StarRing(random, {10, 45}, 4, 9, 30), {StarRing(random, {10, 45}, 0.5, 2, 8)}}}, {}, {}};
  Area route;
  route.lines = {{{-20, 10}, {-5, 14}, {3, 2}, {14, 9}}};
  Area dots;
  dots.points = {{1, 1}, {1.5, 1}, {30, -20}, {31, -20.5}};
  return {
      {"country_from_the_top", country, 10, RowOrigin::FromTop, RectOver(1, 19, 38, 52, 10, RowOrigin::FromTop)},
      {"country_from_the_bottom", country, 9, RowOrigin::FromBottom, RectOver(1, 19, 38, 52, 9, RowOrigin::FromBottom)},
      {"route", route, 8, RowOrigin::FromTop, RectOver(-20, 14, 2, 14, 8, RowOrigin::FromTop)},
      {"scattered_points", dots, 6, RowOrigin::FromTop, RectOver(1, 31, -20.5, 1, 6, RowOrigin::FromTop)},
      {"nothing_inside", dots, 6, RowOrigin::FromTop, RectOver(100, 110, 40, 50, 6, RowOrigin::FromTop)},
  };
}

class WorkerStepsTest : public testing::TestWithParam<StepCase> {};

TEST_P(WorkerStepsTest, StepsToExactlyTheTilesTheWalkWouldFetch) {
  const StepCase& c = GetParam();
  const AreaMask mask = BuildAreaMask(c.area, c.zoom, c.origin, c.rect);
  const PlainWalk walk(mask);
  ASSERT_GT(walk.Total(), 0);
  for (const int64_t workers : {1, 2, 3, 8}) {
    for (int64_t index = 0; index < workers; ++index) {
      // From every resume point: the next tile of this worker's share inside the area.
      int64_t expected = 0;  // the answer for fromSeq, found walking backwards
      for (int64_t from = walk.Total() + 2; from >= 0; --from) {
        if (walk.Inside(from) && from % workers == index) expected = from;
        const std::optional<int64_t> next = NextWorkerSeq(mask, workers, index, from);
        ASSERT_EQ(next.value_or(0), expected)
            << workers << " workers, index " << index << ", from " << from;
      }
      // The tiles done before a resume at seq, for this worker and for all.
      int64_t mine = 0, all = 0;
      for (int64_t seq = 0; seq <= walk.Total() + 1; ++seq) {
        if (walk.Inside(seq)) {
          ++all;
          if (seq % workers == index) ++mine;
        }
        ASSERT_EQ(WorkerTilesInsideThrough(mask, workers, index, seq), mine) << seq;
        if (index == 0) {
          ASSERT_EQ(TilesInsideThrough(mask, seq), all) << seq;
        }
      }
    }
  }
  EXPECT_FALSE(NextWorkerSeq(mask, 3, 3, 1).has_value()) << "an index beyond the workers owns nothing";
}

INSTANTIATE_TEST_SUITE_P(Areas, WorkerStepsTest, testing::ValuesIn(StepCases()),
                         [](const testing::TestParamInfo<StepCase>& info) { return info.param.name; });

}  // namespace
