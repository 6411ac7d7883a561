#include "RunSummary.h"

#include <gtest/gtest.h>

#include "MainWindowFixture.h"
#include "TDownThread.h"
#include "WorkerReports.h"

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
    ::testing::Values(
        SummaryCase{{.saved = 0, .failed = 0, .failedListPath = "/m/t_failed.ftl", .total = 4},
                    "Summary: 0 saved, 0 failed. Task: 0 of 4 tiles done, none listed as failed."},
        SummaryCase{{.saved = 12, .failed = 3, .failedListPath = "/m/t_failed.ftl", .total = 20, .listed = 3},
                    "Summary: 12 saved, 3 failed. Task: 15 of 20 tiles done, 3 listed as failed in /m/t_failed.ftl."},
        SummaryCase{{.saved = 5000000000, .total = 5000000000},
                    "Summary: 5000000000 saved, 0 failed. Task: 5000000000 of 5000000000 tiles done, none listed as "
                    "failed."},
        SummaryCase{{.saved = 4, .failed = 1, .failedListPath = "/l.ftl", .workersBanned = 2, .total = 9, .listed = 1},
                    "Summary: 4 saved, 1 failed; a ban ended 2 threads. Task: 5 of 9 tiles done, 1 listed as failed "
                    "in /l.ftl."},
        // A resumed run: the tiles before its resume point are done, and earlier runs' failures still count.
        SummaryCase{{.saved = 4296, .failedListPath = "/l.ftl", .doneBefore = 279, .total = 4575, .listed = 972},
                    "Summary: 4296 saved, 0 failed. Task: 4575 of 4575 tiles done, 972 listed as failed in /l.ftl."},
        // A full disk: the list names nothing new, and the line says so.
        SummaryCase{{.saved = 1, .failed = 2, .failedListPath = "/l.ftl", .total = 3, .listed = 2, .listSaved = false},
                    "Summary: 1 saved, 2 failed. Task: 3 of 3 tiles done, 2 failed, but the failed list /l.ftl could "
                    "not be saved."}));

// The window's own counts reach the summary, and it comes before the closing message.
TEST_F(MainWindowTest, TheCloseSumsUpTheRunBeforeItsMessage) {
  EnterTask();
  Click();
  ASSERT_TRUE(form_->TaskRunning());
  std::size_t summariesAtMessage = 99;
  platform_.onMessage = [&](const std::string&) { summariesAtMessage = view_.summaries.size(); };
  ReportSaved(*form_->Run(), 8, 5, "T1:seq=1, os_8_5_4.png ->ok!");
  ReportFailed(*form_->Run(), SavePath() + "job/4_8_6.png|http://127.0.0.1:1/4/8/6.png");
  ReportLine(*form_->Run(), WorkerEvent::Banned, kBanText);
  ASSERT_EQ(TickUntilClosed(), 1);
  EXPECT_EQ(view_.summaries,
            (std::vector<std::string>{"Summary: 1 saved, 1 failed; a ban ended 1 thread. Task: 2 of 2 tiles done, 1 "
                                      "listed as failed in " + SavePath() + "job_failed.ftl."}));
  EXPECT_EQ(summariesAtMessage, 1u);
  EXPECT_EQ(platform_.messages.back(), "Task stoped!" + std::string(20, ' ')) << "the message keeps its text";

  // A second run counts afresh.
  Click();
  TickUntilClosed();
  ASSERT_EQ(view_.summaries.size(), 2u);
  EXPECT_EQ(view_.summaries[1], "Summary: 0 saved, 0 failed. Task: 0 of 2 tiles done, 1 listed as failed in " +
                                    SavePath() + "job_failed.ftl.");
}

}  // namespace
