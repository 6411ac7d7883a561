// quarnel-cli against hostile and dead servers, and the entries it refuses:
// answers that are no image, a blocking answer, a server that fails every
// tile, a task name that leaves its folder, a task replaced by accident, a
// damaged project file, a task larger than the disk.

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <filesystem>

#include "CliProcess.h"
#include "CliTestSupport.h"
#include "ScriptedServer.h"

namespace {

using namespace clitest;
namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class CliSafetyTest : public ::testing::Test {
 protected:
  // Zoom 6 over 10..20 east, 40..50 north: columns 33 to 35, rows 21 to 24.
  std::vector<std::string> Args(const std::string& zoom, const std::string& threads, const std::string& task,
                                const std::string& network = "") {
    WriteFile(config, "[Hosts]\r\nOpenStreetMap=" + host + "\r\n[Network]\r\n" + network);
    return {"--config", config.string(), "--left", "10", "--right", "20", "--top", "50", "--bottom", "40",
            "--zoom",   zoom,            "--threads", threads, "--path", out.string(), "--task", task};
  }
  std::string Blank() const {
    return ReadFile((fs::path(QUARNEL_CLI).parent_path() / "blankimg" / "blank.png").string());
  }
  std::size_t FilesIn(const fs::path& folder) const {
    std::error_code error;
    if (!fs::exists(folder, error)) return 0;
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
  }

  ScratchFolder temp;
  fs::path config = temp / "config.ini";
  fs::path out = temp / "out";
  ScriptedServer server;
  std::string host = "127.0.0.1:" + std::to_string(server.Port());
};

// ---- True tiles

TEST_F(CliSafetyTest, OnlyWholeImagesAreSavedAsTiles) {
  // Each format's least whole image: the segments, blocks or chunks it needs.
  const std::string jpeg = std::string("\xff\xd8\xff\xc0\0\x0b\x08\0\x01\0\x01\x01\x01\x11\0", 15) +
                           std::string("\xff\xda\0\x08\x01\x01\0\0\x3f\0", 10) + "scan" + "\xff\xd9";
  const std::string gif = std::string("GIF89a\x01\0\x01\0\0\0\0", 13) + std::string("\x2c\0\0\0\0\x01\0\x01\0\0", 10) +
                          std::string("\x02\x02\x44\x01\0;", 6);
  const std::string png = PngFramed("data");
  const std::vector<std::pair<std::string, bool>> answers = {
      {"<!DOCTYPE html><html><body>Access blocked</body></html>", false},
      {"You have been blocked.", false},
      {"{\"error\":\"quota exceeded\"}", false},
      {"", false},
      {png.substr(0, png.size() - 6), false},  // a truncated PNG
      {jpeg, true},
      {gif, true},
      {std::string("RIFF\x10\0\0\0WEBPVP8 \x04\0\0\0", 20) + "data", true},
  };
  std::atomic<std::size_t> next{0};
  server.SetHandler([&](const ScriptedRequest& request) {
    const std::size_t n = next++;
    return n < answers.size() ? Respond::Ok(answers[n].first) : ServeBodyFor(request);
  });
  const CliProcess::Result run = CliProcess::Run(Args("6", "1", "kinds"));
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_TRUE(Contains(run.err, "Summary: 7 saved, 5 failed.")) << run.err;

  const std::vector<std::string> listed = SplitTextLines(ReadFile((out / "kinds_failed.ftl").string()));
  ASSERT_EQ(listed.size(), 5u);
  // Column 33 holds rows 21 to 24, so the fifth to eighth answers went to column 34;
  // a tile is named by the kind of image it holds.
  const std::vector<std::string> tiles = {"os_33_21_6.png", "os_33_22_6.png", "os_33_23_6.png", "os_33_24_6.png",
                                          "os_34_21_6.png", "os_34_22_6.jpg", "os_34_23_6.gif", "os_34_24_6.webp"};
  for (std::size_t i = 0; i < answers.size(); ++i) {
    const std::string path = (out / "kinds" / tiles[i]).string();
    SCOPED_TRACE(tiles[i]);
    EXPECT_EQ(ReadFile(path), answers[i].second ? answers[i].first : Blank());
    if (!answers[i].second) {
      EXPECT_TRUE(listed[i].starts_with(path + "|")) << listed[i];
    }
  }
  EXPECT_TRUE(Contains(run.out, "T1 The answer is a text or web page, not an image.->http://" + host + "/6/33/21.png"));
  EXPECT_TRUE(Contains(run.out, "T1 The answer is empty, not an image.->"));
  EXPECT_TRUE(Contains(run.out, "T1 The image is cut short: its end is missing.->"));

  // Servers of other tile formats: the check can be turned off.
  next = 0;
  const CliProcess::Result unchecked = CliProcess::Run(Args("6", "1", "unchecked", "CheckTileBodies=0\r\n"));
  EXPECT_EQ(unchecked.status, 0) << unchecked.err;
  EXPECT_EQ(ReadFile((out / "unchecked" / "os_33_21_6.png").string()), answers[0].first);
}

TEST_F(CliSafetyTest, AnAnswerMarkedBlockedEndsTheWorkerAsABanDoes) {
  std::atomic<int> requests{0};
  server.SetHandler([&](const ScriptedRequest& request) {
    if (requests++ == 1) return Respond::Raw(Respond::Text("HTTP/1.1 200 OK", {{"X-Blocked", "1"}}, PngFramed("x")));
    return ServeBodyFor(request);
  });
  const CliProcess::Result run = CliProcess::Run(Args("6", "1", "blocked"));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(server.RequestCount(), 2u) << "the one worker stopped";
  EXPECT_TRUE(Contains(run.out, "T1 Blocked: the server's answer carries an X-Blocked header.->http://" + host +
                                    "/6/33/22.png\nError: may be your IP is banned.\nPlease try again later.\nT1 "
                                    "Finished."))
      << run.out;
  EXPECT_FALSE(Exists((out / "blocked" / "os_33_22_6.png").string())) << "the tile file is untouched";
  EXPECT_EQ(SplitTextLines(ReadFile((out / "blocked_failed.ftl").string())).size(), 1u);
}

// ---- Stop when everything fails

struct DeadServerCase {
  const char* name;
  int status;  // 0: nothing listens
  std::size_t stopsAfter;
  const char* why;
  std::size_t requestsPerTile = 1;  // a busy server's error is asked again (RepeatLimit=2 here)
};

class CliDeadServerTest : public CliSafetyTest, public ::testing::WithParamInterface<DeadServerCase> {};

TEST_P(CliDeadServerTest, StopsTheTaskBoundedInRequests) {
  const DeadServerCase& c = GetParam();
  if (c.status == 0) host = "127.0.0.1:" + std::to_string(UnusedLocalPort());
  server.SetHandler([&](const ScriptedRequest&) { return Respond::Status(c.status, "Oops"); });
  // Zoom 9: about 285 tiles, more than either rule needs.
  const CliProcess::Result run = CliProcess::Run(Args("9", "2", "dead", "RepeatLimit=2\r\nMaxRetryWait=0\r\n"));
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Contains(run.err, std::string("The task was stopped: ") + c.why)) << run.err;
  EXPECT_TRUE(Contains(run.err, "from " + host + ". Check the tile server")) << run.err;
  const std::string log = ReadFile((out / "dead_log.txt").string());
  EXPECT_TRUE(Contains(log, std::string("The task was stopped: ") + c.why));
  EXPECT_TRUE(Contains(log, "Task Stoped!")) << "closed as a Stop closes it";
  const std::size_t listed = SplitTextLines(ReadFile((out / "dead_failed.ftl").string())).size();
  EXPECT_GE(listed, c.stopsAfter);
  EXPECT_LE(listed, c.stopsAfter + 2) << "each of the two workers finishes the tile in hand";
  if (c.status != 0) {
    EXPECT_LE(server.RequestCount(), (c.stopsAfter + 2) * c.requestsPerTile);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Servers, CliDeadServerTest,
    ::testing::Values(DeadServerCase{"NotFoundEverywhere", 404, 100, "the first 100 tiles all failed"},
                      DeadServerCase{"ServerErrorEverywhere", 500, 50, "50 tiles in a row failed", 3},
                      DeadServerCase{"NothingListening", 0, 50, "50 tiles in a row failed"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliSafetyTest, ACoverageGapAfterSavedTilesNeverStopsTheTask) {
  std::atomic<int> requests{0};
  server.SetHandler([&](const ScriptedRequest& request) {
    return requests++ < 3 ? ServeBodyFor(request) : Respond::Status(404, "Not Found");
  });
  const CliProcess::Result run = CliProcess::Run(Args("9", "1", "gap"));
  EXPECT_EQ(run.status, 1);
  EXPECT_FALSE(Contains(run.err, "The task was stopped")) << run.err;
  EXPECT_GT(server.RequestCount(), 200u) << "every tile was asked for";
}

// ---- Work kept safe

TEST_F(CliSafetyTest, NamesThatLeaveTheSaveFolderAreRefused) {
  for (const std::string name : {"../x", "a/b", "/tmp/quarnel-absolute-name", ".."}) {
    const CliProcess::Result run = CliProcess::Run(Args("4", "1", name));
    EXPECT_EQ(run.status, 2) << name;
    EXPECT_TRUE(Contains(run.err, "holds a folder: type only a name, and the folder in --path.")) << run.err;
  }
  EXPECT_EQ(FilesIn(temp.Path()), 1u) << "only the configuration: nothing written anywhere";
  EXPECT_FALSE(Exists("/tmp/quarnel-absolute-name.qrnl"));
  EXPECT_EQ(server.RequestCount(), 0u);
}

// Names longer than the file system takes end in one line and a status, never in an abort.
TEST_F(CliSafetyTest, NamesTooLongForTheFileSystemAreRefusedWithoutACrash) {
  const std::string longName(300, 'n');
  const std::string longPath = temp / longName;
  std::vector<std::string> dryRun = Args("4", "1", longName);
  dryRun.push_back("--dry-run");
  for (const std::vector<std::string>& args :
       {Args("4", "1", longName), dryRun, std::vector<std::string>{"--config", longPath, "--task", "job"},
        std::vector<std::string>{"--config", config.string(), "--open", longPath + ".qrnl"}}) {
    const CliProcess::Result run = CliProcess::Run(args);
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), Contains(run.err, "Try '") ? 2 : 1) << run.err;
    EXPECT_TRUE(Contains(run.err, "too long")) << run.err;
  }
  EXPECT_EQ(FilesIn(temp.Path()), 1u) << "only the configuration: nothing written anywhere";
  EXPECT_EQ(server.RequestCount(), 0u);
}

TEST_F(CliSafetyTest, AnExistingTaskResumesFromItsOwnEntriesAndIsReplacedOnlyWhenAsked) {
  ASSERT_EQ(CliProcess::Run(Args("4", "2", "job")).status, 0);
  const std::string project = ReadFile((out / "job.qrnl").string());
  const std::size_t requests = server.RequestCount();

  // Other entries under the task's name: refused, nothing changed, nothing sent.
  const CliProcess::Result refused = CliProcess::Run(Args("5", "2", "job"));
  EXPECT_EQ(refused.status, 2);
  EXPECT_TRUE(Contains(refused.err, "A task named job.qrnl exists with other entries (2 of 2 tiles done)"))
      << refused.err;
  EXPECT_EQ(ReadFile((out / "job.qrnl").string()), project);
  EXPECT_EQ(server.RequestCount(), requests);

  // The task's name alone: every other entry (threads too) comes from its project file.
  const CliProcess::Result resumed =
      CliProcess::Run({"--config", config.string(), "--path", out.string(), "--task", "job"});
  EXPECT_EQ(resumed.status, 0) << resumed.err;
  EXPECT_TRUE(Contains(ReadFile((out / "job_log.txt").string()), "Log continue...v=5.7"));
  EXPECT_TRUE(Contains(resumed.err, "Task: 2 of 2 tiles done")) << resumed.err;
  EXPECT_EQ(server.RequestCount(), requests) << "everything was done";

  std::vector<std::string> replace = Args("5", "2", "job");
  replace.push_back("--replace");
  EXPECT_EQ(CliProcess::Run(replace).status, 0);
  EXPECT_TRUE(Contains(ReadFile((out / "job.qrnl").string()), "Zoom=5\r\n"));
}

TEST_F(CliSafetyTest, DamagedProjectFilesAreRefusedAndNeverOverwritten) {
  fs::create_directories(out);
  const std::string damaged = "[AREA]\r\nLeftLongitude=10\r\n[THREADS]\r\nThreadCount=1\r\n";
  WriteFile((out / "job.qrnl").string(), damaged);
  WriteFile(config.string(), "[Hosts]\r\nOpenStreetMap=" + host + "\r\n");
  const CliProcess::Result opened = CliProcess::Run({"--config", config.string(), "--open", (out / "job.qrnl").string()});
  EXPECT_EQ(opened.status, 2);
  EXPECT_TRUE(Contains(opened.err, (out / "job.qrnl").string())) << opened.err;
  EXPECT_TRUE(Contains(opened.err, "RightLongitude is missing")) << opened.err;

  const CliProcess::Result started = CliProcess::Run(Args("4", "1", "job"));
  EXPECT_EQ(started.status, 2);
  EXPECT_TRUE(Contains(started.err, "--replace")) << started.err;
  EXPECT_EQ(ReadFile((out / "job.qrnl").string()), damaged);
  EXPECT_EQ(server.RequestCount(), 0u);

  WriteFile(config.string(), std::string("[Hosts]\r\n\0\0\0", 12));
  const CliProcess::Result binary = CliProcess::Run(
      {"--config", config.string(), "--left", "10", "--right", "20", "--top", "50", "--bottom", "40", "--zoom", "4",
       "--path", out.string(), "--task", "other"});
  EXPECT_EQ(binary.status, 2);
  EXPECT_TRUE(Contains(binary.err, "cannot be read as text")) << binary.err;
  EXPECT_FALSE(Exists((out / "other.qrnl").string()));
}

// ---- The re-download

TEST_F(CliSafetyTest, TheRedownloadWaitsChecksTheBodiesAndTakesSavedEntriesOffTheList) {
  std::atomic<int> pauses{0};
  server.SetHandler([&](const ScriptedRequest& request) {
    if (request.target == "/4/8/5.png" && pauses++ == 0)
      return Respond::Raw(Respond::Text("HTTP/1.1 503 Busy", {{"Retry-After", "1"}}, ""));
    if (request.target == "/4/8/6.png") return Respond::Ok("<html>Access blocked</html>");
    return ServeBodyFor(request);
  });
  fs::create_directories(out / "job");
  WriteFile(config.string(), "[Hosts]\r\nOpenStreetMap=" + host + "\r\n");
  const std::string list = (out / "job_failed.ftl").string();
  const auto entry = [&](int x, int y) {
    const std::string name = "os_" + std::to_string(x) + "_" + std::to_string(y) + "_4.png";
    return (out / "job" / name).string() + "|http://" + host + "/4/" + std::to_string(x) + "/" + std::to_string(y) +
           ".png";
  };
  WriteFile(list, entry(8, 5) + "\r\n" + entry(8, 6) + "\r\n" + entry(9, 5) + "\r\n");
  const CliProcess::Result run = CliProcess::Run({"--config", config.string(), "redownload", list});
  EXPECT_EQ(run.status, 1) << run.err;
  const std::vector<std::string> lines = SplitTextLines(run.out);
  ASSERT_EQ(lines.size(), 4u) << run.out;
  EXPECT_EQ(lines[0], "http://" + host + "/4/8/5.png:503 Busy: waiting 1 s before asking again.");
  EXPECT_TRUE(lines[1].ends_with(":OK"));
  EXPECT_EQ(lines[2], "The answer is a text or web page, not an image.->http://" + host + "/4/8/6.png");
  EXPECT_TRUE(lines[3].ends_with(":OK"));
  EXPECT_FALSE(Exists((out / "job" / "os_8_6_4.png").string())) << "a page is never saved as a tile";
  EXPECT_EQ(ReadFile(list), entry(8, 6) + "\r\n") << "the saved entries left the list, the failed one stays";
}

// ---- Huge tasks

TEST_F(CliSafetyTest, ATaskLargerThanTheDiskIsRefusedBeforeAnythingIsWritten) {
  // The world at zoom 15: about a billion tiles of some 15 KB each.
  WriteFile(config.string(), "[Hosts]\r\nOpenStreetMap=" + host + "\r\n");
  const CliProcess::Result run =
      CliProcess::Run({"--config", config.string(), "--left", "-180", "--right", "180", "--top", "85", "--bottom",
                       "-85", "--zoom", "15", "--path", out.string(), "--task", "world"});
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(Contains(run.err, "1073741824 tiles") || Contains(run.err, "would take")) << run.err;
  EXPECT_EQ(FilesIn(out), 0u);
  EXPECT_EQ(server.RequestCount(), 0u);
}

TEST_F(CliSafetyTest, ACtrlCWhileTheTileListIsWrittenLeavesNothing) {
  // The world at zoom 12: a tile list of about 1.8 GB, seconds of writing.
  WriteFile(config.string(), "[Hosts]\r\nOpenStreetMap=" + host + "\r\n");
  CliProcess run({"--config", config.string(), "--left", "-180", "--right", "180", "--top", "85", "--bottom", "-85",
                  "--zoom", "12", "--path", out.string(), "--task", "world", "--no-space-check"});
  // The list is written unnamed until it is whole: the writer holds a file
  // in the save folder that has no name there yet (or a hidden one).
  const auto writing = [&] {
    std::error_code error;
    for (const fs::directory_entry& fd : fs::directory_iterator("/proc/" + std::to_string(run.Pid()) + "/fd", error)) {
      const std::string target = fs::read_symlink(fd.path(), error).string();
      if (target.starts_with(out.string() + "/") && (target.ends_with(" (deleted)") || Contains(target, ".world_list.txt.")))
        return true;
    }
    return false;
  };
  ASSERT_TRUE(Eventually(writing));
  run.Signal(SIGINT);
  const CliProcess::Result stopped = run.Finish();
  EXPECT_EQ(stopped.status, 130);
  std::vector<std::string> left;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(out))
    if (!entry.is_directory()) left.push_back(entry.path().string());
  EXPECT_TRUE(left.empty()) << "no project file and no half-written list: " << ::testing::PrintToString(left);
  EXPECT_EQ(server.RequestCount(), 0u);
}

}  // namespace
