#include "Form4.h"

#include <gtest/gtest.h>

#include "AppTestSupport.h"
#include "FakePlatform.h"
#include "ScriptedServer.h"

namespace {

using Lines = std::vector<std::string>;

class RedownloadWindow : public ::testing::Test, public TForm4View {
 protected:
  void Memo1Appended(const std::string& line) override { appended_.push_back(line); }

  ScratchFolder folder_;
  FakePlatform platform_{folder_.Path()};
  TForm4 form_{platform_, folder_.Path() + "config.ini"};
  ScriptedServer server_;
  Lines appended_;
};

TEST_F(RedownloadWindow, StartsWithItsPlaceholderLine) {
  EXPECT_EQ(form_.Caption, "Form4");
  EXPECT_STREQ(TForm4::Button1Caption, "Open ftl files");
  EXPECT_EQ(form_.Memo1.ToVector(), Lines{"Memo1"});
}

TEST_F(RedownloadWindow, AppendsEachRunAfterTheEarlierOnes) {
  form_.SetView(this);
  const std::string tile = folder_.Path() + "osm_1_2_3.png";
  const std::string url = server_.BaseUrl() + "/3/1/2.png";
  const std::string list = folder_.Path() + "job_failed.ftl";
  WriteFile(list, tile + "|" + url + "\r\n");

  platform_.nextFile = list;
  form_.Button1Click();
  ASSERT_EQ(platform_.fileDialogs.size(), 1u);
  EXPECT_EQ(platform_.fileDialogs[0].title, "Open ftl file:");
  EXPECT_EQ(platform_.fileDialogs[0].filter, "Projects(*.ftl)|*.ftl");
  EXPECT_EQ(platform_.fileDialogs[0].startFolder, "");
  ASSERT_TRUE(platform_.PumpUntil([&] { return !form_.Running(); })) << "the window's run goes on in the background";
  EXPECT_EQ(ReadFile(list), "") << "the saved entry left the list";
  WriteFile(list, tile + "|" + url + "\r\n");
  const RedownloadResult second = form_.RedownloadList(list);

  EXPECT_EQ(second.ok, 1);
  const Lines okLine = {tile + ":" + url + ":OK"};
  EXPECT_EQ(form_.Memo1.ToVector(), (Lines{"Memo1", okLine[0], okLine[0]}));
  EXPECT_EQ(appended_, (Lines{okLine[0], okLine[0]}));
  EXPECT_EQ(ReadFile(tile), BodyFor("/3/1/2.png"));
  EXPECT_TRUE(platform_.messages.empty());
}

TEST_F(RedownloadWindow, GoesThroughTheConfiguredProxy) {
  WriteFile(folder_.Path() + "config.ini",
            "[Proxy]\r\nUseProxy=1\r\nProxyServer=127.0.0.1\r\nProxyPort=" + std::to_string(server_.Port()) +
                "\r\nProxyUsername=u\r\nProxyPassword=p\r\n");
  const std::string tile = folder_.Path() + "os_1_2_3.png";
  const std::string list = folder_.Path() + "job_failed.ftl";
  WriteFile(list, tile + "|http://tiles.invalid/3/1/2.png\r\n");

  const RedownloadResult result = form_.RedownloadList(list);

  EXPECT_EQ(result.ok, 1);
  ASSERT_EQ(server_.RequestLines().size(), 1u);
  EXPECT_EQ(server_.RequestLines()[0], "GET http://tiles.invalid/3/1/2.png HTTP/1.1");
  EXPECT_NE(server_.Received(0).find("Proxy-Authorization: Basic dTpw\r\n"), std::string::npos);
  EXPECT_EQ(ReadFile(tile), BodyFor("http://tiles.invalid/3/1/2.png"));
}

TEST_F(RedownloadWindow, ShowsProgressStopsWhenAskedAndLeavesAGrowingListAlone) {
  form_.SetView(this);
  const std::string list = folder_.Path() + "job_failed.ftl";
  std::string text;
  for (int x = 1; x <= 3; ++x) text += folder_.Path() + "os_" + std::to_string(x) + "_2_3.png|" + server_.BaseUrl() +
                                       "/3/" + std::to_string(x) + "/2.png\r\n";
  WriteFile(list, text);
  form_.SetListInUse([&](const std::string& path) { return path == list; });
  ASSERT_TRUE(form_.StartRedownload(list));
  EXPECT_FALSE(form_.StartRedownload(list)) << "one run at a time";
  ASSERT_TRUE(platform_.PumpUntil([&] { return !form_.Running(); }));
  EXPECT_EQ(form_.LabelProgress, "Fetched again: 3 saved, 0 failed, 0 taken off the list.");
  EXPECT_EQ(ReadFile(list), text) << "the running task still appends to it";
  EXPECT_EQ(appended_.back(),
            "The list is still growing with the task running in this window: its saved entries stay in it.");

  form_.SetListInUse(nullptr);
  ASSERT_TRUE(form_.StartRedownload(list));
  form_.StopClick();
  ASSERT_TRUE(platform_.PumpUntil([&] { return !form_.Running(); }));
  EXPECT_NE(form_.LabelProgress.find("(stopped)"), std::string::npos) << form_.LabelProgress;
  EXPECT_LT(server_.RequestCount(), 6u);
}

TEST_F(RedownloadWindow, CancelFetchesNothingAndAnUnreadableListIsReported) {
  form_.Button1Click();
  EXPECT_EQ(server_.RequestCount(), 0u);
  EXPECT_EQ(form_.Memo1.ToVector(), Lines{"Memo1"});

  form_.RedownloadList(folder_.Path() + "missing.ftl");
  EXPECT_EQ(platform_.messages.size(), 1u);
  EXPECT_EQ(server_.RequestCount(), 0u);
}

}  // namespace
