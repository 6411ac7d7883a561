#include "LogLineKind.h"

#include <gtest/gtest.h>

namespace {

struct LineCase {
  const char* line;
  LogLineKind kind;
};

class LogLineKindTest : public testing::TestWithParam<LineCase> {};

TEST_P(LogLineKindTest, FailuresNeverLookLikeSavedTiles) { EXPECT_EQ(ClassifyLogLine(GetParam().line), GetParam().kind); }

INSTANTIATE_TEST_SUITE_P(
    Lines, LogLineKindTest,
    testing::Values(LineCase{"T1:seq=4, os_8_5_4.png ->ok!", LogLineKind::Saved},
                    LineCase{"T2 404 Not Found->http://127.0.0.1:8080/4/8/5.png", LogLineKind::Failure},
                    LineCase{"os_8_5_4.png:failed ->http://h/4/8/5.png", LogLineKind::Failure},
                    LineCase{"T1:8-5 got a blank image!", LogLineKind::Failure},
                    LineCase{"Error: the image is not found on server.", LogLineKind::Failure},
                    LineCase{"Error: may be your IP is banned.", LogLineKind::Failure},
                    LineCase{"Please try again later.", LogLineKind::Failure},
                    LineCase{"The task was stopped: 50 tiles in a row failed, ...", LogLineKind::Failure},
                    LineCase{"T1:8-5:Connection Closed Gracefully.", LogLineKind::Notice},
                    LineCase{"T1:8-5:429 Too Many Requests: waiting 2 s before asking again.", LogLineKind::Notice},
                    LineCase{"T1 Finished.", LogLineKind::Plain}, LineCase{"Task Stoped!", LogLineKind::Plain},
                    LineCase{"", LogLineKind::Plain}, LineCase{"e", LogLineKind::Plain}));

}  // namespace
