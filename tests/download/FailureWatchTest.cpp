#include "FailureWatch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kUrl = "http://127.0.0.1:8080/4/8/5.png";

struct Watched {
  explicit Watched(int32_t limit) : watch(limit, [this](const std::string& reason) { reasons.push_back(reason); }) {}
  void Fail(int times, FetchOutcome outcome = FetchOutcome::OtherFailure,
            const std::string& message = "Socket Error # 10061\r\nConnection refused.") {
    for (int i = 0; i < times; ++i) watch.Failed(outcome, message, kUrl);
  }
  std::vector<std::string> reasons;
  FailureWatch watch;
};

TEST(FailureWatchTest, AStreakOfFailuresStopsTheTaskOnceAndNamesTheCommonestFailure) {
  Watched w(5);
  w.Fail(4);
  w.watch.Saved();  // a saved tile breaks the streak
  w.Fail(2, FetchOutcome::NotFound, "404 Not Found");  // not found is no part of a streak
  w.Fail(3);
  w.Fail(1, FetchOutcome::Banned, "403 Forbidden");
  EXPECT_TRUE(w.reasons.empty());
  w.Fail(1);
  ASSERT_EQ(w.reasons.size(), 1u);
  EXPECT_EQ(w.reasons[0],
            "The task was stopped: 5 tiles in a row failed, most often with \"Socket Error # 10061 Connection "
            "refused.\" from 127.0.0.1:8080. Check the tile server in Options or in the configuration file, then "
            "Start again to resume.");
  w.Fail(20);
  EXPECT_EQ(w.reasons.size(), 1u) << "told once";
}

TEST(FailureWatchTest, ZeroNeverStopsOnAStreak) {
  Watched w(0);
  w.watch.Saved();
  w.Fail(1000);
  EXPECT_TRUE(w.reasons.empty());
}

TEST(FailureWatchTest, OnlyAnAddressThatFindsNothingFromTheStartStops) {
  Watched allMissing(50);
  allMissing.Fail(FailureWatch::kNotFoundProbe - 1, FetchOutcome::NotFound, "404 Not Found");
  EXPECT_TRUE(allMissing.reasons.empty());
  allMissing.Fail(1, FetchOutcome::NotFound, "404 Not Found");
  ASSERT_EQ(allMissing.reasons.size(), 1u);
  EXPECT_NE(allMissing.reasons[0].find("the first 100 tiles all failed, most often with \"404 Not Found\""),
            std::string::npos)
      << allMissing.reasons[0];

  // A coverage gap after saved tiles is the map's own: it never stops the task.
  Watched gap(50);
  gap.watch.Saved();
  gap.Fail(500, FetchOutcome::NotFound, "404 Not Found");
  EXPECT_TRUE(gap.reasons.empty());
}

}  // namespace
