#include "RunSummary.h"

#include <gtest/gtest.h>

#include "MainWindowFixture.h"
#include "TDownThread.h"

namespace {

struct SummaryCase {
  RunCounts counts;
  std::string line;
};

class RunSummaryLine : public ::testing::TestWithParam<SummaryCase> {};

TEST_P(RunSummaryLine, SaysTheCountsAndWhatToLookAt) {
  EXPECT_EQ(FormatRunSummary(GetParam().counts), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RunSummaryLine,
    ::testing::Values(SummaryCase{{0, 0, "/m/t_failed.ftl", 0}, "Summary: 0 saved, 0 failed."},
                      SummaryCase{{12, 3, "/m/t_failed.ftl", 0}, "Summary: 12 saved, 3 failed (listed in /m/t_failed.ftl)."},
                      SummaryCase{{5000000000, 0, "", 0}, "Summary: 5000000000 saved, 0 failed."},
                      SummaryCase{{4, 1, "/m/t_failed.ftl", 1},
                                  "Summary: 4 saved, 1 failed (listed in /m/t_failed.ftl); a ban ended 1 thread."},
                      SummaryCase{{0, 2, "/l.ftl", 2}, "Summary: 0 saved, 2 failed (listed in /l.ftl); a ban ended 2 threads."}));

// The window's own counts reach the summary, and it comes before the closing message.
TEST_F(MainWindowTest, TheCloseSumsUpTheRunBeforeItsMessage) {
  EnterTask();
  form_->BitBtn1Click();
  ASSERT_TRUE(form_->TaskRunning());
  std::size_t summariesAtMessage = 99;
  platform_.onMessage = [&](const std::string&) { summariesAtMessage = view_.summaries.size(); };
  form_->Run()->AddLogLine("T1 8-5:seq=1:1.png ->ok!");
  form_->Run()->AddLogLine("T1 8-6:seq=2:2.png ->failed!");  // not a saved tile
  form_->Run()->AddFailedLine(SavePath() + "job/4_8_6.png|http://127.0.0.1:1/4/8/6.png");
  form_->Run()->AddLogLine(kBanText);
  ASSERT_EQ(TickUntilClosed(), 1);
  EXPECT_EQ(view_.summaries, (std::vector<std::string>{"Summary: 1 saved, 1 failed (listed in " + SavePath() +
                                                       "job_failed.ftl); a ban ended 1 thread."}));
  EXPECT_EQ(summariesAtMessage, 1u);
  EXPECT_EQ(platform_.messages.back(), "Task stoped!" + std::string(20, ' ')) << "the message keeps its text";

  // A second run counts afresh.
  form_->BitBtn1Click();
  TickUntilClosed();
  ASSERT_EQ(view_.summaries.size(), 2u);
  EXPECT_EQ(view_.summaries[1], "Summary: 0 saved, 0 failed.");
}

}  // namespace
