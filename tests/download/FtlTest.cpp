#include "Ftl.h"

#include <atomic>

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "AtomicFile.h"
#include "FetchFailure.h"
#include "TileFetch.h"
#include "TileStore.h"
#include "WorkerTestSupport.h"

using namespace workertest;

namespace {

using Lines = std::vector<std::string>;

TEST(SplitFtlLine, SplitsAtTheFirstBar) {
  const struct {
    const char* line;
    const char* path;
    const char* url;
  } cases[] = {
      {"/t/os_1_2_3.png|http://h/3/1/2.png", "/t/os_1_2_3.png", "http://h/3/1/2.png"},
      {"p|http://h/a?b=1|2|3", "p", "http://h/a?b=1|2|3"},
      {"http://h/no/bar.png", "", "http://h/no/bar.png"},
      {"p|", "p", ""},
      {"|u", "", "u"},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const FtlEntry entry = SplitFtlLine(c.line);
    EXPECT_EQ(entry.path, c.path);
    EXPECT_EQ(entry.url, c.url);
  }
}

TEST(ReadFtlLines, SplitsOnLineFeedWithAnOptionalCarriageReturn) {
  const std::string huge(std::size_t{1} << 20, 'x');
  const struct {
    const char* name;
    std::string bytes;
    Lines lines;
  } cases[] = {
      {"empty file", "", {}},
      {"one entry", "a|b\r\n", {"a|b"}},
      {"crlf", "a\r\nb\r\n", {"a", "b"}},
      {"lf, last line unended", "a\nb", {"a", "b"}},
      {"empty line kept", "a\r\n\r\nb\r\n", {"a", "", "b"}},
      {"lone cr stays in the line", "a\rb\r\n", {"a\rb"}},
      {"nul bytes stay in the line", std::string("a\0b\r\n", 5), {std::string("a\0b", 3)}},
      {"only a line feed", "\n", {""}},
      {"huge line", huge, {huge}},
  };
  ScratchFolder folder;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = folder.Path() + "list.ftl";
    WriteFile(path, c.bytes);
    EXPECT_EQ(ReadFtlLines(path), c.lines);
  }
}

TEST(ReadFtlLines, RefusesWhatCannotBeReadToAnEnd) {
  ScratchFolder folder;
  EXPECT_THROW(ReadFtlLines(folder.Path() + "missing.ftl"), FileWriteError);
  EXPECT_THROW(ReadFtlLines(folder.Path()), FileWriteError);  // a folder
  const std::string fifo = folder.Path() + "pipe.ftl";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_THROW(ReadFtlLines(fifo), FileWriteError);  // would block, then never end
}

TEST(JoinLinesCrLf, EndsEveryLineWithCrLfAndReadsBack) {
  EXPECT_EQ(JoinLinesCrLf({}), "");
  EXPECT_EQ(JoinLinesCrLf({""}), "\r\n");
  const Lines lines = {"/t/os_1_2_3.png|http://h/3/1/2.png", "", "p|u|v"};
  EXPECT_EQ(JoinLinesCrLf(lines), "/t/os_1_2_3.png|http://h/3/1/2.png\r\n\r\np|u|v\r\n");

  ScratchFolder folder;
  WriteFile(folder.Path() + "list.ftl", JoinLinesCrLf(lines));
  EXPECT_EQ(ReadFtlLines(folder.Path() + "list.ftl"), lines);
}

TEST(RefuseTilePath, AcceptsOnlyTileFilesThatAreNotLinks) {
  ScratchFolder folder;
  const std::string dir = folder.Path();
  WriteFile(dir + "os_1_2_4.png", "tile");
  WriteFile(dir + "victim.txt", "keep");
  std::filesystem::create_symlink(dir + "victim.txt", dir + "os_9_9_4.png");
  std::filesystem::create_directory(dir + "os_8_8_4.png");

  EXPECT_EQ(RefuseTilePath(dir + "os_1_2_4.png"), std::nullopt);  // existing tile
  EXPECT_EQ(RefuseTilePath(dir + "os_1_3_4.png"), std::nullopt);  // new tile
  const struct {
    std::string path;
    std::string line;
  } refused[] = {
      {"", "Skipped, not a tile file path: "},
      {dir + "victim.txt", "Skipped, not a tile file path: " + dir + "victim.txt"},
      {dir + "sub/../os_1_2_4.png", "Skipped, not a tile file path: " + dir + "sub/../os_1_2_4.png"},
      {"../os_1_2_4.png", "Skipped, not a tile file path: ../os_1_2_4.png"},
      {dir + "os_1_2_4.png/", "Skipped, not a tile file path: " + dir + "os_1_2_4.png/"},
      {dir + std::string("os_1_2_4.png\0.sh", 16),
       "Skipped, not a tile file path: " + dir + std::string("os_1_2_4.png\0.sh", 16)},
      {dir + "os_9_9_4.png", "Skipped, tile file is a symbolic link: " + dir + "os_9_9_4.png"},
      {dir + "os_8_8_4.png", "Skipped, not a regular file: " + dir + "os_8_8_4.png"},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(RefuseTilePath(c.path), c.line);
  }
}

class RedownloadTest : public ::testing::Test {
 protected:
  std::string TilePath(int x, int y) const {
    return folder_.Path() + "os_" + std::to_string(x) + "_" + std::to_string(y) + "_4.png";
  }
  static std::string Target(int x, int y) { return "/4/" + std::to_string(x) + "/" + std::to_string(y) + ".png"; }
  std::string Url(int x, int y) const { return server_.BaseUrl() + Target(x, y); }
  std::string Entry(int x, int y) const { return TilePath(x, y) + "|" + Url(x, y); }

  RedownloadResult Run(const Lines& list, const ProxyConfig& proxy = {}) {
    const std::string path = folder_.Path() + "task_failed.ftl";
    WriteFile(path, JoinLinesCrLf(list));
    return RunFile(path, proxy);
  }
  RedownloadResult RunFile(const std::string& listPath, const ProxyConfig& proxy = {}) {
    return RedownloadFailedList(listPath, network_, proxy, [this](const std::string& line) { shown_.push_back(line); });
  }

  ScratchFolder folder_;
  TileServer server_;
  NetworkSettings network_;
  Lines shown_;
};

TEST_F(RedownloadTest, BanOnTheThirdOfFiveEntriesEndsTheAction) {
  server_.Queue(Target(1, 2), Respond::Status(404, "Not Found", "missing"));
  server_.Queue(Target(1, 3), Respond::Status(403, "Forbidden"));
  const RedownloadResult result =
      Run({Entry(1, 1), Entry(1, 2), Entry(1, 3), Entry(1, 4), Entry(1, 5)});

  EXPECT_EQ(shown_, (Lines{TilePath(1, 1) + ":" + Url(1, 1) + ":OK", "404 Not Found->" + Url(1, 2),
                           Url(1, 2) + ":Error: the image is not found on server.", "403 Forbidden->" + Url(1, 3),
                           "Error: may be your IP is banned.\nPlease try again later."}));
  EXPECT_EQ(server_.Targets(), (Lines{Target(1, 1), Target(1, 2), Target(1, 3)}));
  EXPECT_EQ(ReadFile(TilePath(1, 1)), BodyFor(Target(1, 1)));
  EXPECT_FALSE(Exists(TilePath(1, 2)));
  EXPECT_FALSE(Exists(TilePath(1, 3)));
  EXPECT_EQ(result.ok, 1);
  EXPECT_EQ(result.failed, 2);
  EXPECT_TRUE(result.banned);
  EXPECT_EQ(result.errorMessage, std::nullopt);
}

TEST_F(RedownloadTest, RefetchedTilesReplaceWhatIsOnDiskAndTheLastAnswerWins) {
  WriteFile(TilePath(2, 2), "blank placeholder");
  server_.Queue(Target(2, 2), Respond::Ok(PngFramed("first")));
  server_.Queue(Target(2, 2), Respond::Ok(PngFramed("second")));
  const RedownloadResult result = Run({Entry(2, 2), Entry(2, 2)});
  EXPECT_EQ(shown_, Lines(2, TilePath(2, 2) + ":" + Url(2, 2) + ":OK"));
  EXPECT_EQ(ReadFile(TilePath(2, 2)), PngFramed("second"));
  EXPECT_EQ(result.ok, 2);
  // Only the tile and the list are left, no temporary; the saved entries left the list.
  EXPECT_EQ(ReadFile(folder_.Path() + "task_failed.ftl"), "");
  EXPECT_EQ(result.removedFromList, 2);
  EXPECT_EQ(RedownloadSummary(result), "Fetched again: 2 saved, 0 failed, 2 taken off the list.");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_.Path()), {}), 2);
}

// A task kept in one file: the entries' tiles go into the store beside the
// list, over their placeholders, and no tile file is made.
TEST_F(RedownloadTest, ATaskKeptInOneFileIsMendedInItsStore) {
  const std::string store = folder_.Path() + "task.mbtiles";
  TileStore::OpenForWriting(store)->WriteBatch({{4, 2, 2, {}, true}});
  const RedownloadResult result = Run({Entry(2, 2), Entry(3, 1)});
  EXPECT_EQ(result.ok, 2);
  EXPECT_FALSE(Exists(TilePath(2, 2)));
  const auto reader = TileStore::OpenReadOnly(store);
  EXPECT_EQ(reader->ReadTile(4, 2, 2), BodyFor(Target(2, 2)));
  EXPECT_EQ(reader->ReadTile(4, 3, 1), BodyFor(Target(3, 1)));
  EXPECT_EQ(reader->CountTiles(TileState::Placeholder), 0);

  // A store that is no store refuses the run whole.
  WriteFile(store, "not a store");
  shown_.clear();
  const RedownloadResult refused = Run({Entry(2, 2)});
  EXPECT_EQ(refused.errorMessage, store + " is not a tile store of Quarnel.");
  EXPECT_TRUE(server_.Targets().size() == 2u) << "nothing more was fetched";
}

TEST_F(RedownloadTest, EverythingAfterTheFirstBarIsTheUrl) {
  const std::string url = Url(3, 1) + "?a=b|c";
  const RedownloadResult result = Run({TilePath(3, 1) + "|" + url});
  EXPECT_EQ(shown_, Lines{TilePath(3, 1) + ":" + url + ":OK"});
  ASSERT_EQ(server_.Targets().size(), 1u);
  EXPECT_TRUE(server_.Targets()[0].starts_with(Target(3, 1) + "?a=b")) << server_.Targets()[0];
  EXPECT_EQ(ReadFile(TilePath(3, 1)), BodyFor(server_.Targets()[0]));
  EXPECT_EQ(result.ok, 1);
}

TEST_F(RedownloadTest, EntryWithoutAPathIsSkippedUnfetchedAndNamed) {
  const RedownloadResult result = Run({Url(1, 1), "", Entry(1, 2)});
  EXPECT_EQ(shown_, (Lines{"Skipped, not a tile file path: " + Url(1, 1), TilePath(1, 2) + ":" + Url(1, 2) + ":OK"}));
  EXPECT_EQ(server_.Targets(), Lines{Target(1, 2)});
  EXPECT_EQ(result.skipped, 1);
  EXPECT_FALSE(result.notAList);
}

TEST_F(RedownloadTest, TheRateCapSpacesTheRequests) {
  std::mutex mutex;
  std::vector<std::chrono::steady_clock::time_point> arrivals;
  server_.Server().SetHandler([&](const ScriptedRequest& request) {
    std::lock_guard<std::mutex> lock(mutex);
    arrivals.push_back(std::chrono::steady_clock::now());
    return ServeBodyFor(request);
  });
  network_.MaxRequestsPerSecond = 20;
  const auto began = std::chrono::steady_clock::now();
  const RedownloadResult result = Run({Entry(1, 1), Entry(1, 2), Entry(1, 3), Entry(1, 4)});
  EXPECT_EQ(result.ok, 4);
  ASSERT_EQ(arrivals.size(), 4u);
  for (std::size_t i = 0; i < arrivals.size(); ++i)
    EXPECT_GE(arrivals[i] - began, std::chrono::milliseconds(50) * i) << "request " << i;
}

TEST_F(RedownloadTest, AFileWithoutASingleEntryIsRefusedWhole) {
  const RedownloadResult refused = Run({"just some text", Url(1, 1), ""});
  EXPECT_TRUE(refused.notAList);
  ASSERT_TRUE(refused.errorMessage);
  EXPECT_NE(refused.errorMessage->find("is not a failed-tile list"), std::string::npos) << *refused.errorMessage;
  EXPECT_TRUE(shown_.empty());
  EXPECT_TRUE(server_.Targets().empty());

  // An empty list is a task with nothing failed, not a refusal.
  const RedownloadResult empty = Run({});
  EXPECT_FALSE(empty.notAList);
  EXPECT_FALSE(empty.errorMessage);
}

TEST_F(RedownloadTest, EmptyUrlOrForeignSchemeFailsWithItsLine) {
  const std::string foreign = "ftp://127.0.0.1:" + std::to_string(UnusedLocalPort()) + Target(1, 2);
  const RedownloadResult result = Run({TilePath(1, 1) + "|", TilePath(1, 2) + "|" + foreign, Entry(1, 3)});
  ASSERT_EQ(shown_.size(), 3u);
  EXPECT_TRUE(shown_[0].ends_with("->")) << shown_[0];
  EXPECT_GT(shown_[0].size(), 2u);  // the error message comes first
  EXPECT_TRUE(shown_[1].ends_with("->" + foreign)) << shown_[1];
  EXPECT_GT(shown_[1].size(), foreign.size() + 2);
  EXPECT_EQ(shown_[2], TilePath(1, 3) + ":" + Url(1, 3) + ":OK");
  EXPECT_FALSE(Exists(TilePath(1, 1)));
  EXPECT_FALSE(Exists(TilePath(1, 2)));
  EXPECT_EQ(server_.Targets(), Lines{Target(1, 3)});
  EXPECT_EQ(result.failed, 2);
}

TEST_F(RedownloadTest, ResetIsRepeatedUpToTheLimitThenIsAnOrdinaryFailure) {
  network_.RepeatLimit = 2;
  server_.Always(Target(1, 1), Respond::Reset());
  server_.Queue(Target(1, 2), Respond::Reset());
  const RedownloadResult result = Run({Entry(1, 1), Entry(1, 2)});
  EXPECT_EQ(shown_, (Lines{"Socket Error # 10054\r\nConnection reset by peer.->" + Url(1, 1),
                           TilePath(1, 2) + ":" + Url(1, 2) + ":OK"}));
  EXPECT_EQ(server_.Targets(), (Lines{Target(1, 1), Target(1, 1), Target(1, 1), Target(1, 2), Target(1, 2)}));
  EXPECT_EQ(result.failed, 1);
  EXPECT_EQ(result.ok, 1);
}

TEST_F(RedownloadTest, HostilePathsAreSkippedAndNothingIsWrittenThroughThem) {
  const std::string dir = folder_.Path();
  WriteFile(dir + "victim.txt", "keep");
  std::filesystem::create_directory(dir + "sub");
  std::filesystem::create_symlink(dir + "victim.txt", dir + "os_9_9_4.png");
  const Lines list = {dir + "sub/../os_1_1_4.png|" + Url(1, 1), dir + "victim.txt|" + Url(1, 2),
                      dir + "os_9_9_4.png|" + Url(9, 9)};
  const RedownloadResult result = Run(list);
  EXPECT_EQ(shown_, (Lines{"Skipped, not a tile file path: " + dir + "sub/../os_1_1_4.png",
                           "Skipped, not a tile file path: " + dir + "victim.txt",
                           "Skipped, tile file is a symbolic link: " + dir + "os_9_9_4.png"}));
  EXPECT_TRUE(server_.Targets().empty());
  EXPECT_EQ(ReadFile(dir + "victim.txt"), "keep");
  EXPECT_TRUE(std::filesystem::is_symlink(dir + "os_9_9_4.png"));
  EXPECT_FALSE(Exists(dir + "os_1_1_4.png"));
  EXPECT_EQ(result.skipped, 3);
}

TEST_F(RedownloadTest, EmptyListFetchesNothing) {
  const RedownloadResult result = Run({});
  EXPECT_TRUE(shown_.empty());
  EXPECT_TRUE(server_.Targets().empty());
  EXPECT_EQ(result.errorMessage, std::nullopt);
  EXPECT_EQ(result.ok + result.failed + result.skipped, 0);
  EXPECT_EQ(RedownloadSummary(result), "The list holds no entry: nothing was fetched.");
}

TEST_F(RedownloadTest, UnreadableListIsAnErrorAndNothingIsFetched) {
  const RedownloadResult result = RunFile(folder_.Path() + "missing.ftl");
  ASSERT_TRUE(result.errorMessage.has_value());
  EXPECT_NE(result.errorMessage->find("missing.ftl"), std::string::npos) << *result.errorMessage;
  EXPECT_TRUE(shown_.empty());
  EXPECT_TRUE(server_.Targets().empty());
}

TEST_F(RedownloadTest, UnwritableTileEndsTheActionAtThatEntry) {
  const std::string lost = folder_.Path() + "gone/os_1_2_4.png";  // its folder no longer exists
  const RedownloadResult result = Run({Entry(1, 1), lost + "|" + Url(1, 2), Entry(1, 3)});
  ASSERT_TRUE(result.errorMessage.has_value());
  EXPECT_NE(result.errorMessage->find(lost), std::string::npos) << *result.errorMessage;
  EXPECT_EQ(shown_, Lines{TilePath(1, 1) + ":" + Url(1, 1) + ":OK"});
  EXPECT_EQ(server_.Targets(), (Lines{Target(1, 1), Target(1, 2)}));
  EXPECT_EQ(ReadFile(TilePath(1, 1)), BodyFor(Target(1, 1)));
}

TEST_F(RedownloadTest, UsesTheConfiguredProxy) {
  const std::string direct = "http://127.0.0.1:" + std::to_string(UnusedLocalPort()) + Target(4, 4);
  ProxyConfig proxy{true, "127.0.0.1", std::to_string(server_.Port()), "user", ""};
  const RedownloadResult result = Run({TilePath(4, 4) + "|" + direct}, proxy);
  EXPECT_EQ(shown_, Lines{TilePath(4, 4) + ":" + direct + ":OK"});
  const ScriptedRequest request = server_.LastRequest();
  EXPECT_TRUE(request.target.starts_with("http://127.0.0.1")) << request.target;
  EXPECT_EQ(request.Header("Proxy-Authorization"), "Basic dXNlcjo=");
  EXPECT_EQ(result.ok, 1);
}

TEST_F(RedownloadTest, ProxyPortThatIsNotANumberIsAnError) {
  ProxyConfig proxy{true, "127.0.0.1", "eighty", "", ""};
  const RedownloadResult result = Run({Entry(1, 1)}, proxy);
  EXPECT_EQ(result.errorMessage, std::optional<std::string>("Proxy port 'eighty' is not a port number (1 to 65535)."));
  EXPECT_TRUE(shown_.empty());
  EXPECT_TRUE(server_.Targets().empty());
}

TEST_F(RedownloadTest, TakesTheWorkersRoadForEveryAnswer) {
  network_.RepeatLimit = 2;
  server_.Queue(Target(1, 1), Respond::Raw(Respond::Text("HTTP/1.1 429 Too Many Requests", {{"Retry-After", "0"}}, "")));
  server_.Queue(Target(1, 2), Respond::CloseNow());
  server_.Queue(Target(1, 3), Respond::Ok("<html><body>Access blocked</body></html>"));
  server_.Queue(Target(1, 4), Respond::Raw(Respond::Text("HTTP/1.1 200 OK", {{"X-Blocked", "1"}}, "tile")));
  const RedownloadResult result = Run({Entry(1, 1), Entry(1, 2), Entry(1, 3), Entry(1, 4), Entry(1, 5)});
  EXPECT_EQ(shown_, (Lines{Url(1, 1) + ":429 Too Many Requests: waiting 0 s before asking again.",
                           TilePath(1, 1) + ":" + Url(1, 1) + ":OK", TilePath(1, 2) + ":" + Url(1, 2) + ":OK",
                           "The answer is a text or web page, not an image.->" + Url(1, 3),
                           std::string(kBlockedAnswer) + "->" + Url(1, 4), kBanText}));
  EXPECT_FALSE(Exists(TilePath(1, 3))) << "a page is never saved as a tile";
  EXPECT_EQ(server_.Targets(), (Lines{Target(1, 1), Target(1, 1), Target(1, 2), Target(1, 2), Target(1, 3),
                                      Target(1, 4)}));
  EXPECT_TRUE(result.banned);
}

TEST_F(RedownloadTest, SavedEntriesLeaveTheListAndATaskBesideItsListIsMendedInPlace) {
  // A task copied from elsewhere: its list names the old folder, the tiles go into its own.
  const std::string taskFolder = folder_.Path() + "moved/";
  std::filesystem::create_directory(taskFolder);
  const std::string list = folder_.Path() + "moved_failed.ftl";
  const std::string old = "/nowhere/old/";
  server_.Always(Target(1, 2), Respond::Status(404, "Not Found"));
  const std::string text = old + "os_1_1_4.png|" + Url(1, 1) + "\r\n" + old + "os_1_2_4.png|" + Url(1, 2) + "\n" +
                           "stray line\r\n" + old + "os_1_1_4.png|" + Url(1, 1) + "\r\n" + old +
                           "os_1_3_4.png|" + Url(1, 3);
  WriteFile(list, text);
  const RedownloadResult result = RunFile(list);
  EXPECT_EQ(result.ok, 3);
  EXPECT_EQ(ReadFile(taskFolder + "os_1_1_4.png"), BodyFor(Target(1, 1)));
  EXPECT_EQ(ReadFile(taskFolder + "os_1_3_4.png"), BodyFor(Target(1, 3)));
  EXPECT_EQ(result.removedFromList, 3);
  EXPECT_EQ(ReadFile(list), old + "os_1_2_4.png|" + Url(1, 2) + "\nstray line\r\n") << "the rest keep their bytes";
}

TEST_F(RedownloadTest, LinesInHandReportEachSettledEntryAndStopWhenAsked) {
  std::atomic<bool> stop{false};
  Lines settled;
  const auto run = [&](const Lines& lines) {
    RedownloadControl control;
    control.stop = &stop;
    control.entryDone = [&](const FtlEntry& entry) {
      settled.push_back(entry.path);
      stop = settled.size() == 2;  // asked to stop after the second entry
    };
    return RedownloadFtlLines(lines, network_, {}, [this](const std::string& line) { shown_.push_back(line); },
                              control, "The selection");
  };
  server_.Always(Target(1, 2), Respond::Status(404, "Not Found"));
  const RedownloadResult result = run({Entry(1, 1), "no bar here", Entry(1, 2), Entry(1, 3)});
  EXPECT_EQ(result.ok, 1);
  EXPECT_EQ(result.skipped, 1);
  EXPECT_EQ(settled, (Lines{TilePath(1, 1), ""}));  // the skipped line counts as settled
  EXPECT_EQ(server_.Targets(), Lines{Target(1, 1)});

  stop = false;
  settled.clear();
  const RedownloadResult second = run({Entry(1, 2), Entry(1, 3)});
  EXPECT_EQ(second.failed, 1);
  EXPECT_EQ(second.ok, 1);
  EXPECT_EQ(settled, (Lines{TilePath(1, 2), TilePath(1, 3)}));
  EXPECT_EQ(run({"not a list"}).errorMessage,
            std::optional<std::string>("The selection is not a failed-tile list: no line has the form path|address."));
}

}  // namespace
