// Entries Start refuses before it writes anything, and the task count shown
// after "Open task ...".

#include <gtest/gtest.h>

#include "IniFile.h"
#include "MainWindowFixture.h"
#include "RecentTask.h"

namespace {

struct RefusalCase {
  const char* name;
  std::string proxy;     // the configuration's [Proxy] body
  std::string taskName;
  std::string message;   // empty: the task starts
};

class StartRefusal : public MainWindowTest, public ::testing::WithParamInterface<RefusalCase> {
  std::string ConfigText() override { return "[Proxy]\r\n" + GetParam().proxy; }
};

TEST_P(StartRefusal, NamesTheProblemAndWritesNothing) {
  const RefusalCase& c = GetParam();
  EnterTask("0", c.taskName);
  form_->BitBtn1Click();
  EXPECT_TRUE(platform_.errors.empty());
  if (c.message.empty()) {
    EXPECT_TRUE(form_->TaskRunning());
    TickUntilClosed();
    return;
  }
  EXPECT_EQ(platform_.messages, std::vector<std::string>{c.message});
  EXPECT_FALSE(form_->TaskRunning());
  EXPECT_EQ(form_->Task(), nullptr);
  EXPECT_FALSE(std::filesystem::exists(save_)) << "not even the save folder is made";
  EXPECT_EQ(IniFile(configPath_).ReadString(kRecentSection, kLastTaskKey, "none"), "none");
}

INSTANTIATE_TEST_SUITE_P(
    Table, StartRefusal,
    ::testing::Values(
        RefusalCase{"portNoNumber", "UseProxy=1\r\nProxyServer=127.0.0.1\r\nProxyPort=abc\r\n", "job.qrnl",
                    "Proxy port 'abc' is not a port number (1 to 65535)."},
        RefusalCase{"portTooHigh", "UseProxy=1\r\nProxyServer=127.0.0.1\r\nProxyPort=70000\r\n", "job.qrnl",
                    "Proxy port '70000' is not a port number (1 to 65535)."},
        RefusalCase{"portZero", "UseProxy=1\r\nProxyServer=127.0.0.1\r\nProxyPort=0\r\n", "job",
                    "Proxy port '0' is not a port number (1 to 65535)."},
        RefusalCase{"portEmpty", "UseProxy=1\r\nProxyServer=127.0.0.1\r\n", "job",
                    "Proxy port '' is not a port number (1 to 65535)."},
        RefusalCase{"portHighestUsable", "UseProxy=1\r\nProxyServer=127.0.0.1\r\nProxyPort=65535\r\n", "job", ""},
        RefusalCase{"portIgnoredWithoutProxy", "UseProxy=0\r\nProxyPort=abc\r\n", "job", ""},
        RefusalCase{"emptyName", "", "", "Please enter a task name."},
        RefusalCase{"nothingButTheExtension", "", ".qrnl", "Please enter a task name."},
        RefusalCase{"anotherExtensionIsAName", "", ".QRNL", ""},
        RefusalCase{"caFileMissing", "\r\n[Network]\r\nCaFile=/nonexistent-quarnel/ca.pem\r\n", "job",
                    "The certificate file '/nonexistent-quarnel/ca.pem' (Network.CaFile) cannot be read or holds no "
                    "PEM certificate."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, TheCommandLineRateReplacesTheConfiguredOne) {
  EnterTask();
  form_->BitBtn1Click();
  ASSERT_NE(form_->Parameters(), nullptr);
  EXPECT_EQ(form_->Parameters()->Network.MaxRequestsPerSecond, 0);
  TickUntilClosed();
  TaskEntries entries = form_->Entries();
  entries.maxRequestsPerSecond = 7;
  const std::optional<TaskParameters> parameters = ParametersForStart(platform_, configPath_, entries);
  ASSERT_TRUE(parameters.has_value());
  EXPECT_EQ(parameters->Network.MaxRequestsPerSecond, 7);
}

TEST_F(MainWindowTest, OpeningATaskShowsItsOwnCount) {
  EnterTask("0", "big");
  form_->TrackBar1Position = 6;  // columns 33 to 35, rows 20 to 23
  form_->BitBtn1Click();
  TickUntilClosed();
  const std::string bigCount = form_->LabelTotalxy;
  EnterTask("0", "small");
  form_->BitBtn1Click();
  TickUntilClosed();
  ASSERT_EQ(form_->LabelTotalxy, "Total images: 2");
  ASSERT_NE(bigCount, form_->LabelTotalxy);

  form_->LoadProjectFile(SavePath() + "big.qrnl");
  EXPECT_EQ(form_->LabelTotalxy, bigCount);
  EXPECT_GT(view_.controlsChanged, 0);

  // A project without a usable range shows no count rather than another task's.
  WriteFile(SavePath() + "odd.qrnl", "[XY]\r\nMinX=9\r\nMaxX=8\r\nMinY=1\r\nMaxY=1\r\n");
  form_->LoadProjectFile(SavePath() + "odd.qrnl");
  EXPECT_EQ(form_->LabelTotalxy, "");
}

}  // namespace
