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

TEST_F(RedownloadWindow, CancelFetchesNothingAndAnUnreadableListIsReported) {
  form_.Button1Click();
  EXPECT_EQ(server_.RequestCount(), 0u);
  EXPECT_EQ(form_.Memo1.ToVector(), Lines{"Memo1"});

  form_.RedownloadList(folder_.Path() + "missing.ftl");
  EXPECT_EQ(platform_.messages.size(), 1u);
  EXPECT_EQ(server_.RequestCount(), 0u);
}

}  // namespace
