#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

#include "AtomicFile.h"
#include "Commonfunc.h"
#include "Unitclasstask.h"
#include "TestFiles.h"

namespace {

std::string DataFile(const std::string& name) { return ReadWholeFile(std::string(QUARNEL_TEST_DATA_DIR) + "/engine/" + name); }

std::string ReplaceAll(std::string text, const std::string& token, const std::string& by) {
  for (auto at = text.find(token); at != std::string::npos; at = text.find(token, at + by.size()))
    text.replace(at, token.size(), by);
  return text;
}

std::vector<std::string> SplitCrLf(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (auto end = text.find("\r\n"); end != std::string::npos; end = text.find("\r\n", start)) {
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  EXPECT_EQ(start, text.size()) << "text after the last CR LF";
  return lines;
}

// The reference task: 10..20 east, 40..50 north at zoom 4, two workers.
TaskParameters ReferenceParameters(const std::string& savePath) {
  TaskParameters p;
  p.LeftLongitude = 10;
  p.RightLongitude = 20;
  p.TopLatitude = 50;
  p.BottomLatitude = 40;
  p.Zoom = 4;
  p.ThreadCount = 2;
  p.MapsType = 8;
  p.SavePath = savePath;
  p.TaskFileName = "newtask.qrnl";
  return p;
}

class DownloadTaskTest : public testing::Test {
 protected:
  ScratchFolder folder;
  TaskParameters p = ReferenceParameters(folder.Path());
};

TEST_F(DownloadTaskTest, SetUpOfTheReferenceRectangle) {
  const DownloadTask task(p);
  EXPECT_EQ(task.MinX, 8);
  EXPECT_EQ(task.MaxX, 8);
  EXPECT_EQ(task.MinY, 5);
  EXPECT_EQ(task.MaxY, 6);
  EXPECT_EQ(task.TotalTiles, 2);
  EXPECT_EQ(task.WestLongitude, 0.0);
  EXPECT_EQ(task.EastLongitude, 22.5);
  EXPECT_NEAR(task.NorthLatitude, 55.7765730187, 1e-10);
  EXPECT_NEAR(task.SouthLatitude, 21.9430455334, 1e-10);

  EXPECT_EQ(task.LogPath, folder / "newtask_log.txt");
  EXPECT_EQ(task.FailedListPath, folder / "newtask_failed.ftl");
  EXPECT_EQ(task.TileListPath, folder / "newtask_list.txt");
  EXPECT_EQ(task.TileFolder, folder / "newtask/");
  EXPECT_EQ(task.ProjectFilePath(), folder / "newtask.qrnl");
  EXPECT_TRUE(std::filesystem::is_directory(task.TileFolder));

  EXPECT_EQ(task.TileUrl(8, 5), "http://tile.openstreetmap.org/4/8/5.png");
  EXPECT_EQ(task.TileFileName(8, 5), "os_8_5_4.png");
  EXPECT_EQ(task.TileFilePath(8, 5), folder / "newtask/os_8_5_4.png");
  for (std::size_t i = 0; i < task.ResumeX.size(); ++i) {
    EXPECT_EQ(task.ResumeX[i], 0);
    EXPECT_EQ(task.ResumeY[i], 0);
  }
}

TEST_F(DownloadTaskTest, RowsCountedFromTheBottomKeepTheSameBounds) {
  p.MapsType = 5;
  const DownloadTask task(p);
  EXPECT_EQ(task.MinY, 9);
  EXPECT_EQ(task.MaxY, 10);
  EXPECT_EQ(task.TotalTiles, 2);
  EXPECT_NEAR(task.NorthLatitude, 55.7765730187, 1e-10);
  EXPECT_NEAR(task.SouthLatitude, 21.9430455334, 1e-10);
  EXPECT_EQ(task.TileFileName(8, 9), "mn_8_9_4.png");
}

struct RangeCase {
  double left, right, top, bottom;
  int32_t zoom;
  int32_t minX, maxX, minY, maxY, total;
};

class TaskRangeTest : public DownloadTaskTest, public testing::WithParamInterface<RangeCase> {};

TEST_P(TaskRangeTest, TileRange) {
  const auto& c = GetParam();
  p.LeftLongitude = c.left;
  p.RightLongitude = c.right;
  p.TopLatitude = c.top;
  p.BottomLatitude = c.bottom;
  p.Zoom = c.zoom;
  const DownloadTask task(p);
  EXPECT_EQ(task.MinX, c.minX);
  EXPECT_EQ(task.MaxX, c.maxX);
  EXPECT_EQ(task.MinY, c.minY);
  EXPECT_EQ(task.MaxY, c.maxY);
  EXPECT_EQ(task.TotalTiles, c.total);
}

INSTANTIATE_TEST_SUITE_P(Rectangles, TaskRangeTest,
                         testing::Values(RangeCase{15, 15, 45, 45, 4, 8, 8, 5, 5, 1},
                                         RangeCase{170, 180, 10, 0, 5, 31, 31, 15, 16, 2},
                                         RangeCase{0, 10, 10, -10, 1, 0, 1, 0, 1, 4},
                                         RangeCase{-180, 180, 85, -85, 0, 0, 0, 0, 0, 1},
                                         // Beyond the grid's limit the rows run outside it, unclamped.
                                         RangeCase{1, 2, 89.5, 89, 2, 2, 2, -1, -1, 1},
                                         RangeCase{1, 2, 89, 88, 2, 2, 2, -1, 0, 2},
                                         RangeCase{-180, 180, 85.0511, -85.0511, 15, 0, 32767, 0, 32767, 1 << 30}));

TEST_F(DownloadTaskTest, BaseNameDropsOnlyTheLastExtension) {
  p.TaskFileName = "a.b.qrnl";
  EXPECT_EQ(DownloadTask(p).TileFolder, folder / "a.b/");
  p.TaskFileName = "plain";
  EXPECT_EQ(DownloadTask(p).LogPath, folder / "plain_log.txt");
}

TEST_F(DownloadTaskTest, RefusesWhatTheGridCannotHold) {
  const auto refused = [&](const char* why) {
    EXPECT_THROW(DownloadTask{p}, TaskSetupError) << why;
    EXPECT_FALSE(Exists(folder / "newtask")) << why << ": nothing may be created";
    p = ReferenceParameters(folder.Path());
  };
  p.Zoom = 31;
  refused("zoom 31: the scale is a 32-bit shift");
  p.Zoom = -1;
  refused("negative zoom");
  p.TopLatitude = 90;
  refused("north pole");
  p.BottomLatitude = -90;
  refused("south pole");
  p.LeftLongitude = 30;
  refused("left east of right: no tiles");
  p.LeftLongitude = -180, p.RightLongitude = 180, p.TopLatitude = 85.05, p.BottomLatitude = -85.05, p.Zoom = 16;
  refused("2^32 tiles");
}

TEST_F(DownloadTaskTest, TileCountBoundaryIsTwoToTheThirtyOneMinusOne) {
  p.LeftLongitude = -180, p.RightLongitude = 180, p.Zoom = 16;
  p.TopLatitude = 85.0511, p.BottomLatitude = 0.001;
  ASSERT_EQ(LatitudeToRow(85.0511, 16, RowOrigin::FromTop), 0);
  ASSERT_EQ(LatitudeToRow(0.001, 16, RowOrigin::FromTop), 32767);
  EXPECT_THROW(DownloadTask{p}, TaskSetupError) << "65536 x 32768 = 2^31";
  p.TopLatitude = 85.0;  // one row less at the top
  const int32_t topRow = LatitudeToRow(85.0, 16, RowOrigin::FromTop);
  ASSERT_GT(topRow, 0);
  EXPECT_EQ(DownloadTask(p).TotalTiles, 65536 * (32767 - topRow + 1));
}

TEST_F(DownloadTaskTest, TileFolderThatCannotBeCreated) {
  p.SavePath = folder / "missing/";
  try {
    DownloadTask task(p);
    FAIL() << "set-up succeeded";
  } catch (const TaskSetupError& error) {
    EXPECT_EQ(error.userMessage, "Create directory " + folder / "missing/newtask/" + " Failed.");
  }
  p.SavePath = folder.Path();
  WriteFileAtomic(folder / "newtask", "a file in the folder's place");
  EXPECT_THROW(DownloadTask{p}, TaskSetupError);
}

TEST_F(DownloadTaskTest, ExistingTileFolderIsReused) {
  EXPECT_TRUE(DownloadTask{p}.TileFolderWasEmpty);
  WriteFileAtomic(folder / "newtask/os_8_5_4.jpg", "tile");
  EXPECT_FALSE(DownloadTask{p}.TileFolderWasEmpty) << "a save then looks for the tile's other names";
  EXPECT_EQ(ReadWholeFile(folder / "newtask/os_8_5_4.jpg"), "tile");
}

TEST_F(DownloadTaskTest, ResumeReadsTheSavedPositionsOfTheWorkersInUse) {
  p.LeftLongitude = 0, p.RightLongitude = 90, p.TopLatitude = 60, p.BottomLatitude = -60;  // columns 7..12, rows 4..11
  p.Resume = true;
  p.ThreadCount = 3;
  WriteFileAtomic(folder / "newtask.qrnl",
                  "[threads]\nThreadCount=3\nt1x=9\nT1Y=0x6\nT2X=\nT2Y=7\nT3X=abc\nT3Y=5\nT4X=10\nT4Y=10\n");
  const DownloadTask task(p);
  ASSERT_EQ(task.MinX, 7);
  ASSERT_EQ(task.MaxX, 12);
  ASSERT_EQ(task.MinY, 4);
  ASSERT_EQ(task.MaxY, 11);
  EXPECT_EQ(task.ResumeX[0], 9);
  EXPECT_EQ(task.ResumeY[0], 6);
  EXPECT_EQ(task.ResumeX[1], 0) << "empty value";
  EXPECT_EQ(task.ResumeX[2], 0) << "not a number";
  EXPECT_EQ(task.ResumeX[3], 0) << "fourth worker is not in use";
  EXPECT_EQ(task.ResumeY[3], 0);
}

TEST_F(DownloadTaskTest, ResumeReadsAtMostEightWorkersAndDropsForeignPositions) {
  p.LeftLongitude = 0, p.RightLongitude = 90, p.TopLatitude = 60, p.BottomLatitude = -60;
  p.Resume = true;
  p.ThreadCount = 12;
  std::string project = "[THREADS]\r\n";
  for (int n = 1; n <= 12; ++n) project += "T" + std::to_string(n) + "X=10\r\nT" + std::to_string(n) + "Y=8\r\n";
  project += "T2X=500\r\n";  // a later duplicate is not the key
  WriteFileAtomic(folder / "newtask.qrnl", ReplaceAll(project, "T3X=10", "T3X=500"));
  const DownloadTask task(p);
  for (std::size_t i = 0; i < 16; ++i) {
    const bool read = i < 8 && i != 2;
    EXPECT_EQ(task.ResumeX[i], read ? 10 : 0) << i;
    EXPECT_EQ(task.ResumeY[i], read ? 8 : 0) << i;
  }
}

TEST_F(DownloadTaskTest, ResumeWithoutProjectFileStartsFromTheBeginning) {
  p.Resume = true;
  const DownloadTask task(p);
  EXPECT_EQ(task.ResumeX[0], 0);
  EXPECT_EQ(task.ResumeY[1], 0);
}

TEST_F(DownloadTaskTest, NewTaskWritesItsFourFilesByteForByte) {
  std::filesystem::create_directory(folder / "newtask");
  WriteFileAtomic(folder / "newtask_failed.ftl", "old|entry\r\n");
  WriteFileAtomic(folder / "newtask_log.txt", "an old log\r\n");
  const DownloadTask task(p);
  task.WriteProjectFile();
  task.WriteTileList();
  task.WriteLogHeader("12/07/26 10:00:00");
  task.CreateFailedList();

  EXPECT_EQ(ReadWholeFile(folder / "newtask.qrnl"), DataFile("newtask.qrnl"));
  EXPECT_EQ(ReadWholeFile(folder / "newtask_list.txt"), DataFile("newtask_list.txt"));
  EXPECT_EQ(ReadWholeFile(folder / "newtask_log.txt"), ReplaceAll(DataFile("newtask_log.txt"), "@SAVE@", folder.Path()));
  EXPECT_EQ(ReadWholeFile(folder / "newtask_failed.ftl"), "");
  EXPECT_EQ(folder.EntryCount(), 5u) << "a temporary was left behind";
}

TEST_F(DownloadTaskTest, ResumedTaskKeepsItsFilesAndContinuesTheLog) {
  p.Resume = true;
  const std::string project = "[THREADS]\r\nT1X=8\r\nT1Y=6\r\n";
  WriteFileAtomic(folder / "newtask.qrnl", project);
  WriteFileAtomic(folder / "newtask_failed.ftl", "a|b\r\n");
  WriteFileAtomic(folder / "newtask_log.txt", "first run\r\nT1 Finished.\r\n");
  const DownloadTask task(p);
  task.WriteProjectFile();
  task.WriteTileList();
  task.WriteLogHeader("12/08/26 09:00:00");
  task.CreateFailedList();

  EXPECT_EQ(ReadWholeFile(folder / "newtask.qrnl"), project);
  EXPECT_EQ(ReadWholeFile(folder / "newtask_failed.ftl"), "a|b\r\n");
  EXPECT_FALSE(Exists(folder / "newtask_list.txt"));
  EXPECT_EQ(ReadWholeFile(folder / "newtask_log.txt"),
            "first run\r\nT1 Finished.\r\n" + std::string(44, '-') +
                "\r\nLog continue...v=5.7\r\nNow time is:12/08/26 09:00:00\r\n");
}

TEST_F(DownloadTaskTest, ContinuationStartsOnALineOfItsOwn) {
  p.Resume = true;
  WriteFileAtomic(folder / "newtask_log.txt", "cut short");
  DownloadTask(p).WriteLogHeader("now");
  EXPECT_EQ(ReadWholeFile(folder / "newtask_log.txt"),
            "cut short\r\n" + std::string(44, '-') + "\r\nLog continue...v=5.7\r\nNow time is:now\r\n");
}

TEST_F(DownloadTaskTest, ResumedTaskWithoutLogIsAnError) {
  p.Resume = true;
  const DownloadTask task(p);
  try {
    task.WriteLogHeader("now");
    FAIL() << "no error";
  } catch (const FileWriteError& error) {
    EXPECT_NE(std::string(error.what()).find(task.LogPath), std::string::npos) << error.what();
  }
  EXPECT_FALSE(Exists(task.LogPath));
}

TEST_F(DownloadTaskTest, LogHeaderWithProxyHasFortyLinesAndNoPassword) {
  p.UseProxy = true;
  p.ProxyServer = "proxy.local";
  p.ProxyPort = "3128";
  p.ProxyUsername = "ann";
  p.ProxyPassword = "s3cret";
  const std::vector<std::string> lines = SplitCrLf(DownloadTask(p).LogHeaderText("now"));
  ASSERT_EQ(lines.size(), 40u);
  const std::vector<std::string> proxy(lines.begin() + 7, lines.begin() + 13);
  EXPECT_EQ(proxy, (std::vector<std::string>{"Using Proxy:", "Proxy Server:proxy.local", "Proxy Port:3128",
                                             "ProxyUsername:ann", "ProxyPassword:********", ""}));
  EXPECT_EQ(lines[13], "Left Longitude  input= 10");
  for (const auto& line : lines) EXPECT_EQ(line.find("s3cret"), std::string::npos) << line;

  p.ProxyPassword.clear();
  EXPECT_EQ(SplitCrLf(DownloadTask(p).LogHeaderText("now"))[11], "ProxyPassword:");
  p.UseProxy = false;
  p.ProxyPassword = "s3cret";
  EXPECT_EQ(SplitCrLf(DownloadTask(p).LogHeaderText("now")).size(), 34u);
}

TEST_F(DownloadTaskTest, LogAndProjectShowCoordinatesInShortestForm) {
  p.LeftLongitude = -0.25, p.RightLongitude = 10.5, p.TopLatitude = 1e-6, p.BottomLatitude = -1e-6;
  const DownloadTask task(p);
  const std::string project = task.ProjectFileText();
  EXPECT_NE(project.find("\r\nLeftLongitude=-0.25\r\nRightLongitude=10.5\r\nTopLatitude=1E-6\r\nBottomLatitude=-1E-6\r\n"),
            std::string::npos);
  const auto lines = SplitCrLf(task.LogHeaderText("now"));
  EXPECT_EQ(lines[7], "Left Longitude  input= -0.25");
  EXPECT_EQ(lines[10], "Bottom Latitude input= -1E-6");
}

TEST_F(DownloadTaskTest, ProjectFileAlwaysHasEightPositionPairs) {
  p.ThreadCount = 1;
  const auto lines = SplitCrLf(DownloadTask(p).ProjectFileText());
  ASSERT_EQ(lines.size(), 37u);
  EXPECT_EQ(lines[19], "ThreadCount=1");
  EXPECT_EQ(lines[34], "T8X=");
  EXPECT_EQ(lines[35], "T8Y=");
  EXPECT_EQ(lines[36], "");
}

// The streamed list must say exactly what the single-line formatter says.
class TileListTest : public DownloadTaskTest, public testing::WithParamInterface<int32_t> {};

TEST_P(TileListTest, StreamedListEqualsItsLines) {
  p.MapsType = GetParam();
  p.LeftLongitude = -100, p.RightLongitude = 30, p.TopLatitude = 80, p.BottomLatitude = -70, p.Zoom = 3;
  const DownloadTask task(p);
  task.WriteTileList();
  const auto lines = SplitCrLf(ReadWholeFile(task.TileListPath));
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(task.TotalTiles) + 1);
  EXPECT_EQ(lines[0], DownloadTask::kTileListHeader);
  std::size_t i = 1;
  for (int32_t x = task.MinX; x <= task.MaxX; ++x)
    for (int32_t y = task.MinY; y <= task.MaxY; ++y, ++i) {
      ASSERT_EQ(lines[i], task.TileListLine(x, y));
      EXPECT_EQ(lines[i].rfind(task.TileFileName(x, y) + ": ", 0), 0u) << lines[i];
      // North before south, whichever way rows are counted.
      const double north = std::stod(lines[i].substr(lines[i].size() - 41, 20));
      const double south = std::stod(lines[i].substr(lines[i].size() - 20));
      EXPECT_GT(north, south) << lines[i];
    }
}

INSTANTIATE_TEST_SUITE_P(Services, TileListTest, testing::Values(8, 5, 1));

TEST_F(DownloadTaskTest, OneTileListHasTwoLines) {
  p.RightLongitude = p.LeftLongitude;
  p.BottomLatitude = p.TopLatitude;
  const DownloadTask task(p);
  task.WriteTileList();
  EXPECT_EQ(SplitCrLf(ReadWholeFile(task.TileListPath)).size(), 2u);
}

TEST(TileFileNamesTest, ATileLiesUnderOneNameThatSaysWhatItHolds) {
  ScratchFolder folder("tile-names");
  const std::string own = folder / "os_8_5_4.png";
  const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + "rest";
  const std::string jpeg = "\xFF\xD8\xFF\xE0rest";
  const std::string webp = std::string("RIFF\x04\0\0\0WEBP", 12);
  const struct {
    const char* step;
    std::string body;  // empty: the blank placeholder
    const char* written;  // nullptr: nothing
    const char* left;     // the one name the tile lies under afterwards
  } steps[] = {
      {"placeholder", "", "os_8_5_4.png", "os_8_5_4.png"},
      {"a JPEG replaces the placeholder", jpeg, "os_8_5_4.jpg", "os_8_5_4.jpg"},
      {"no placeholder beside a saved tile", "", nullptr, "os_8_5_4.jpg"},
      {"a PNG replaces the JPEG", png, "os_8_5_4.png", "os_8_5_4.png"},
      {"a WebP", webp, "os_8_5_4.webp", "os_8_5_4.webp"},
      {"bytes of no known kind keep the task's name", "<html>", "os_8_5_4.png", "os_8_5_4.png"},
  };
  for (const auto& s : steps) {
    if (s.body.empty()) {
      EXPECT_EQ(PutTilePlaceholder(own, "blank"), s.written != nullptr) << s.step;
    } else {
      EXPECT_EQ(WriteTileBody(own, s.body), folder / s.written) << s.step;
      EXPECT_EQ(ReadFile(folder / s.written), s.body) << s.step;
    }
    EXPECT_EQ(SavedTileFile(own), folder / s.left) << s.step;
    EXPECT_EQ(folder.EntryCount(), 1u) << s.step;
  }
  EXPECT_EQ(SavedTileFile(folder / "os_1_1_4.png"), folder / "os_1_1_4.png") << "a missing tile: its own name";
}

}  // namespace
