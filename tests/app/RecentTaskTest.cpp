#include "RecentTask.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "IniFile.h"
#include "MainWindowFixture.h"

namespace {

TEST_F(MainWindowTest, StartRecordsTheTaskForTheCompanionPrograms) {
  EXPECT_EQ(LastTask(configPath_), "");
  EnterTask();
  Click();
  ASSERT_TRUE(form_->TaskRunning());
  EXPECT_EQ(IniFile(configPath_).ReadString("Recent", "LastTask", ""), SavePath() + "job.qrnl");
  EXPECT_EQ(LastTask(configPath_), SavePath() + "job.qrnl");
  TickUntilClosed();

  // A recorded task that was deleted since is no task to open.
  std::filesystem::remove(SavePath() + "job.qrnl");
  EXPECT_EQ(LastTask(configPath_), "");
}

TEST(RecentTask, AnUnwritableConfigurationIsNoError) {
  ScratchFolder folder;
  const std::string config = folder.Path() + "missing/deeper/config.ini";
  EXPECT_NO_THROW(RememberLastTask(config, "/srv/job.qrnl"));
  EXPECT_EQ(LastTask(config), "");
}

}  // namespace
