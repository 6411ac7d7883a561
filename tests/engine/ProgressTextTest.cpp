#include "ProgressText.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

struct ProgressCase {
  int64_t done, total;
  std::optional<int64_t> failed;  // the window's line names them
  double seconds;
  const char* text;
};

TEST(ProgressText, ShowsRateAndTimeLeftOnceKnown) {
  const ProgressCase cases[] = {
      {0, 100, {}, 0.0, "0 of 100 tiles"},
      {50, 100, {}, 2.0, "50 of 100 tiles, 25.0 tiles/s, 0:02 left"},
      {100, 40000, {}, 1.0, "100 of 40000 tiles, 100.0 tiles/s, 6:39 left"},
      {10, 400000, {}, 1.0, "10 of 400000 tiles, 10.0 tiles/s, 11:06:39 left"},
      {100, 100, {}, 4.0, "100 of 100 tiles, 25.0 tiles/s"},
      {0, 10, 0, 0.0, "0 of 10 tiles, 0 failed"},
      {5, 10, 2, 2.0, "5 of 10 tiles, 2 failed, 2.5 tiles/s, 0:02 left"},
      {10, 10, 0, 4.0, "10 of 10 tiles, 0 failed, 2.5 tiles/s"},
  };
  for (const ProgressCase& c : cases) {
    const std::string text = c.failed ? FormatProgress(c.done, c.total, *c.failed, c.seconds)
                                      : FormatProgress(c.done, c.total, c.seconds);
    EXPECT_EQ(text, c.text);
  }
}

}  // namespace
