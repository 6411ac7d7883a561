// The window's tools that only ask the tile server: the estimate from
// sample tiles and "Refresh tiles...".

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "MainWindowFixture.h"
#include "RefreshTilesLogic.h"
#include "ScriptedServer.h"

namespace {

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class ServerEstimateTest : public MainWindowTest {
 protected:
  std::string ConfigText() override { return "[Hosts]\r\nOpenStreetMap=127.0.0.1:" + std::to_string(server_.Port()) + "\r\n"; }
  ScriptedServer server_;
};

TEST_F(ServerEstimateTest, ShowsTheSampledSizeUntilTheEntriesChange) {
  EnterTask();
  form_->EntriesChanged(entries_);
  const std::string typical = form_->Face().LabelEstimate;
  EXPECT_EQ(typical, "2 tiles, about 30.0 KB");
  form_->EstimateFromServerClick(entries_);
  EXPECT_TRUE(Contains(form_->Face().LabelEstimate, "Asking the server")) << form_->Face().LabelEstimate;
  ASSERT_TRUE(platform_.PumpUntil([&] { return !form_->EstimatingFromServer(); }));
  const std::size_t size = BodyFor("/4/8/5.png").size(), other = BodyFor("/4/8/6.png").size();
  const std::string range = std::to_string(std::min(size, other)) + "\u2013" + std::to_string(std::max(size, other));
  EXPECT_EQ(form_->Face().LabelEstimate.rfind("2 tiles, about ", 0), 0u) << form_->Face().LabelEstimate;
  EXPECT_TRUE(Contains(form_->Face().LabelEstimate, " (2 sample tiles, " + range + " bytes)")) << form_->Face().LabelEstimate;
  EXPECT_EQ(server_.RequestCount(), 2u);
  EXPECT_FALSE(std::filesystem::exists(save_)) << "an estimate writes nothing";

  typed_.left = "11";
  form_->EntriesChanged(entries_);
  EXPECT_EQ(form_->Face().LabelEstimate, typical);
}

TEST_F(MainWindowTest, WithoutAServerTheEstimateSaysItIsTheTypicalSize) {
  WriteFile(configPath_, "[Hosts]\r\nOpenStreetMap=127.0.0.1:" + std::to_string(UnusedLocalPort()) + "\r\n");
  EnterTask();
  form_->EstimateFromServerClick(entries_);
  ASSERT_TRUE(platform_.PumpUntil([&] { return !form_->EstimatingFromServer(); }));
  EXPECT_EQ(form_->Face().LabelEstimate,
            "2 tiles, about 30.0 KB at a typical tile size (no sample tile came from the server: connection refused "
            "(Socket Error # 10061))");
}

// A two-tile task on disk, as a download leaves it, whose server answers
// 304 for the first tile and a new body for the second.
class RefreshWindowTest : public ::testing::Test, public RefreshTilesView {
 protected:
  void SetUp() override {
    WriteFile(folder_ / "config.ini", "[Hosts]\r\nOpenStreetMap=127.0.0.1:" + std::to_string(server_.Port()) + "\r\n");
    std::string project =
        "[MapsType]\r\nMapsType=8\r\n\r\n"
        "[AREA]\r\nLeftLongitude=10\r\nRightLongitude=20\r\nTopLatitude=50\r\nBottomLatitude=40\r\n\r\n"
        "[Zoom]\r\nZoom=4\r\n\r\n[XY]\r\nMinX=8\r\nMinY=5\r\nMaxX=8\r\nMaxY=6\r\n\r\n[THREADS]\r\nThreadCount=1\r\n";
    WriteFile(folder_ / "job.qrnl", project);
    folder_.MakeFolder("job");
    WriteFile(folder_ / "job/os_8_5_4.png", PngFramed("old 5"));
    WriteFile(folder_ / "job/os_8_6_4.png", PngFramed("old 6"));
    WriteFile(folder_ / "job_fresh.txt", "8\t5\t1000\t0\t\"a\"\t\n8\t6\t1000\t0\t\"b\"\t\n");
    form_.SetView(this);
    form_.EditProject = folder_ / "job.qrnl";
    form_.EditOlderThan = "0";
  }

  ScratchFolder folder_;
  FakePlatform platform_{folder_.Path()};
  ScriptedServer server_;
  RefreshTilesLogic form_{platform_, folder_ / "config.ini"};
};

TEST_F(RefreshWindowTest, RefreshesInTheBackgroundAndSumsUp) {
  server_.SetHandler([](const ScriptedRequest& request) {
    if (request.Header("If-None-Match") == "\"a\"") return Respond::Status(304, "Not Modified");
    return Respond::Raw(Respond::Text("HTTP/1.1 200 OK", {{"ETag", "\"c\""}}, PngFramed("new 6")));
  });
  form_.ButtonStartClick();
  EXPECT_TRUE(form_.Running());
  EXPECT_STREQ(form_.ButtonCaption(), "Stop");
  ASSERT_TRUE(platform_.PumpUntil([&] { return !form_.Running(); }));
  EXPECT_EQ(form_.LabelProgress, "Refresh: 1 unchanged, 1 replaced, 0 kept on failure.");
  EXPECT_EQ(ReadFile(folder_ / "job/os_8_5_4.png"), PngFramed("old 5"));
  EXPECT_EQ(ReadFile(folder_ / "job/os_8_6_4.png"), PngFramed("new 6"));
  EXPECT_EQ(form_.Memo1.Last(), form_.LabelProgress);
  EXPECT_TRUE(platform_.messages.empty());
}

TEST_F(RefreshWindowTest, StopEndsAfterTheTileInHand) {
  std::mutex mutex;
  std::condition_variable released;
  bool release = false;
  server_.SetHandler([&](const ScriptedRequest&) {
    std::unique_lock lock(mutex);
    released.wait(lock, [&] { return release; });
    return Respond::Status(304, "Not Modified");
  });
  form_.ButtonStartClick();
  ASSERT_TRUE(platform_.PumpUntil([&] { return server_.RequestCount() == 1; }));
  form_.ButtonStartClick();  // Stop
  {
    std::lock_guard lock(mutex);
    release = true;
  }
  released.notify_all();
  ASSERT_TRUE(platform_.PumpUntil([&] { return !form_.Running(); }));
  EXPECT_EQ(server_.RequestCount(), 1u);
  EXPECT_EQ(form_.LabelProgress,
            "Refresh: 1 unchanged, 0 replaced, 0 kept on failure. Stopped: the next refresh continues where this one "
            "stopped.");
}

TEST_F(RefreshWindowTest, RefusesWhatItCannotUse) {
  form_.EditOlderThan = "a week";
  form_.ButtonStartClick();
  form_.EditOlderThan = "";
  form_.EditProject = folder_ / "missing.qrnl";
  form_.ButtonStartClick();
  ASSERT_EQ(platform_.messages.size(), 2u);
  EXPECT_EQ(platform_.messages[0], "'a week' is not a number of days.");
  EXPECT_TRUE(Contains(platform_.messages[1], "missing.qrnl")) << platform_.messages[1];
  EXPECT_FALSE(form_.Running());
  EXPECT_EQ(server_.RequestCount(), 0u);
}

}  // namespace
