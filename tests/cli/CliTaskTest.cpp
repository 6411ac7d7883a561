// quarnel-cli end to end: the binary runs as a child process against the
// scripted server on 127.0.0.1, with its own configuration and save folder.

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>

#include "CliProcess.h"
#include "CliTestSupport.h"
#include "ScriptedServer.h"

namespace {

using namespace clitest;
namespace fs = std::filesystem;

const std::string kClosingMessage = "Task stoped!" + std::string(20, ' ') + "\n";

// Lets a test hold one request until it says so.
class Gate {
 public:
  void Wait() {
    std::unique_lock lock(mutex_);
    opened_.wait(lock, [this] { return open_; });
  }
  void Open() {
    std::lock_guard lock(mutex_);
    open_ = true;
    opened_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable opened_;
  bool open_ = false;
};

class CliTaskTest : public ::testing::Test {
 protected:
  // The task always points at the test's server; the shared configuration
  // beside the binary is never used.
  std::vector<std::string> TaskArgs(const std::string& zoom, const std::string& threads, const std::string& task) {
    WriteFile(config, "[Hosts]\r\nOpenStreetMap=127.0.0.1:" + std::to_string(server.Port()) + "\r\n");
    return {"--config", config.string(), "--left", "10",        "--right", "20",         "--top", "50",
            "--bottom", "40",            "--zoom", zoom,        "--threads", threads, "--path", out.string(),
            "--task",   task};
  }

  std::string Url(const std::string& target) const { return server.BaseUrl() + target; }

  // A held request must be let go before the server can end its connections.
  void TearDown() override { gate.Open(); }

  ScratchFolder temp;
  fs::path config = temp / "config.ini";
  fs::path out = temp / "out";
  Gate gate;
  ScriptedServer server;
};

std::vector<std::string> Sorted(std::vector<std::string> items) {
  std::sort(items.begin(), items.end());
  return items;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Zoom 4 over 10..20 east, 40..50 north is the single column 8, rows 5 and 6.
TEST_F(CliTaskTest, FreshTaskWritesItsFilesAndStoresTheServersBytes) {
  const CliProcess::Result run = CliProcess::Run(TaskArgs("4", "2", "fresh"));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "Summary: 2 saved, 0 failed. Task: 2 of 2 tiles done, none listed as failed.\n" + kClosingMessage);

  std::string project =
      "[MapsType]\r\nMapsType=8\r\n\r\n"
      "[AREA]\r\nLeftLongitude=10\r\nRightLongitude=20\r\nTopLatitude=50\r\nBottomLatitude=40\r\n\r\n"
      "[Zoom]\r\nZoom=4\r\n\r\n"
      "[XY]\r\nMinX=8\r\nMinY=5\r\nMaxX=8\r\nMaxY=6\r\n\r\n"
      "[THREADS]\r\nThreadCount=2\r\nT1X=8\r\nT1Y=6\r\nT2X=8\r\nT2Y=5\r\n";
  for (int n = 3; n <= 8; ++n) project += "T" + std::to_string(n) + "X=\r\nT" + std::to_string(n) + "Y=\r\n";
  project += "\r\n";
  EXPECT_EQ(ReadFile(out / "fresh.qrnl"), project);

  ASSERT_TRUE(fs::exists(out / "fresh_failed.ftl"));
  EXPECT_EQ(fs::file_size(out / "fresh_failed.ftl"), 0u);

  const std::vector<std::string> list = SplitTextLines(ReadFile(out / "fresh_list.txt"));
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[1].rfind("os_8_5_4.png:", 0), 0u);
  EXPECT_EQ(list[2].rfind("os_8_6_4.png:", 0), 0u);

  EXPECT_EQ(ReadFile(out / "fresh" / "os_8_5_4.png"), BodyFor("/4/8/5.png"));
  EXPECT_EQ(ReadFile(out / "fresh" / "os_8_6_4.png"), BodyFor("/4/8/6.png"));
  EXPECT_EQ(Sorted(server.Targets()), (std::vector<std::string>{"/4/8/5.png", "/4/8/6.png"}));

  // stdout carries every line appended to the log view, which the log file ends with.
  const std::string log = ReadFile(out / "fresh_log.txt");
  const std::vector<std::string> logLines = SplitTextLines(log);
  const std::vector<std::string> printed = SplitTextLines(run.out);
  EXPECT_EQ(logLines.at(0), "Project: " + (out / "fresh.qrnl").string());
  EXPECT_EQ(logLines.at(1), "Log begin......v=5.7");
  EXPECT_TRUE(Contains(log, "Total count of images would be downloaded: 2\r\n"));
  ASSERT_GE(logLines.size(), printed.size());
  EXPECT_TRUE(std::equal(printed.begin(), printed.end(), logLines.end() - static_cast<long>(printed.size())));
  EXPECT_EQ(log.substr(log.size() - 2), "\r\n");

  EXPECT_EQ(Sorted({printed.begin(), printed.begin() + 4}),
            Sorted({"T1:seq=2, os_8_6_4.png ->ok!", "T2:seq=1, os_8_5_4.png ->ok!", "T1 Finished.", "T2 Finished."}));
  ASSERT_EQ(printed.size(), 11u);
  EXPECT_EQ(std::vector<std::string>(printed.begin() + 4, printed.begin() + 8),
            (std::vector<std::string>{"", std::string(32, '-'), "Task Stoped!", ""}));
  EXPECT_EQ(printed[8].rfind("Now time:", 0), 0u);
  EXPECT_EQ(printed[10], "Log file has been saved as " + (out / "fresh_log.txt").string());
}

// Zoom 5 over the same area: columns 16 and 17, rows 10 to 12, six tiles,
// fetched column by column by one worker.
const std::vector<std::string> kZoom5Targets = {"/5/16/10.png", "/5/16/11.png", "/5/16/12.png",
                                                "/5/17/10.png", "/5/17/11.png", "/5/17/12.png"};

TEST_F(CliTaskTest, InterruptStopsAfterTheTileInHandAndTheNextRunFetchesOnlyTheRest) {
  std::atomic<int> requests{0};
  server.SetHandler([&](const ScriptedRequest& request) {
    if (requests++ == 2) gate.Wait();  // the third tile is in hand when Ctrl+C comes
    return ServeBodyFor(request);
  });

  CliProcess first(TaskArgs("5", "1", "resumed.qrnl"));
  ASSERT_TRUE(Eventually([&] { return server.RequestCount() >= 3; }));
  first.Signal(SIGINT);
  ASSERT_TRUE(first.WaitForStdout("Thread1will be terminated by user. please wait...\n"));
  gate.Open();
  const CliProcess::Result stopped = first.Finish();

  EXPECT_EQ(stopped.status, 130) << stopped.err;
  EXPECT_EQ(stopped.err, "Summary: 3 saved, 0 failed. Task: 3 of 6 tiles done, none listed as failed.\n" + kClosingMessage);
  EXPECT_TRUE(Contains(stopped.out, "T1:seq=3, os_16_12_5.png ->ok!\nT1 Finished.\n"));
  EXPECT_TRUE(Contains(stopped.out, "Task Stoped!\n"));
  EXPECT_EQ(server.Targets(), std::vector<std::string>(kZoom5Targets.begin(), kZoom5Targets.begin() + 3));
  const std::string project = ReadFile(out / "resumed.qrnl");
  EXPECT_EQ(IniValue(project, "T1X"), "16");
  EXPECT_EQ(IniValue(project, "T1Y"), "12");

  // Opening the project file restores the same entries, so the task resumes.
  server.SetHandler(ServeBodyFor);
  WriteFile(config, "[Hosts]\r\nOpenStreetMap=127.0.0.1:" + std::to_string(server.Port()) + "\r\n");
  const CliProcess::Result resumed =
      CliProcess::Run({"--config", config.string(), "--open", (out / "resumed.qrnl").string()});

  EXPECT_EQ(resumed.status, 0) << resumed.err;
  const std::vector<std::string> targets = server.Targets();
  EXPECT_EQ(std::vector<std::string>(targets.begin() + 3, targets.end()),
            std::vector<std::string>(kZoom5Targets.begin() + 3, kZoom5Targets.end()));
  for (const std::string& target : kZoom5Targets) {
    const std::string x = target.substr(3, 2), y = target.substr(6, 2);
    EXPECT_EQ(ReadFile(out / "resumed" / ("os_" + x + "_" + y + "_5.png")), BodyFor(target)) << target;
  }
  const std::string log = ReadFile(out / "resumed_log.txt");
  EXPECT_TRUE(Contains(log, "T1:seq=1, os_16_10_5.png ->ok!\r\n"));
  EXPECT_TRUE(Contains(log, "\r\n" + std::string(44, '-') + "\r\nLog continue...v=5.7\r\n"));
  EXPECT_TRUE(Contains(log, "T1:seq=6, os_17_12_5.png ->ok!\r\n"));
  EXPECT_EQ(fs::file_size(out / "resumed_failed.ftl"), 0u);
}

TEST_F(CliTaskTest, SecondInterruptEndsAtOnceAfterSavingProgress) {
  std::atomic<int> requests{0};
  server.SetHandler([&](const ScriptedRequest& request) {
    return requests++ == 0 ? ServeBodyFor(request) : Respond::Stall();
  });

  CliProcess run(TaskArgs("5", "1", "killed.qrnl"));
  ASSERT_TRUE(run.WaitForStdout("T1:seq=1, os_16_10_5.png ->ok!\n"));
  ASSERT_TRUE(Eventually([&] { return server.RequestCount() >= 2; }));
  run.Signal(SIGINT);
  ASSERT_TRUE(run.WaitForStdout("will be terminated by user"));
  run.Signal(SIGINT);
  const CliProcess::Result result = run.Finish();

  EXPECT_EQ(result.status, 130);
  const std::string project = ReadFile(out / "killed.qrnl");
  EXPECT_EQ(IniValue(project, "T1X"), "16");
  EXPECT_EQ(IniValue(project, "T1Y"), "10");
  const std::string log = ReadFile(out / "killed_log.txt");
  EXPECT_TRUE(Contains(log, "T1:seq=1, os_16_10_5.png ->ok!\r\nThread1will be terminated by user. please wait...\r\n"));
  EXPECT_FALSE(Contains(log, "Task Stoped!"));
}

TEST_F(CliTaskTest, TerminateSavesProgressAndEndsAtOnce) {
  std::atomic<int> requests{0};
  server.SetHandler([&](const ScriptedRequest& request) {
    return requests++ == 0 ? ServeBodyFor(request) : Respond::Stall();
  });

  CliProcess run(TaskArgs("5", "1", "terminated.qrnl"));
  ASSERT_TRUE(run.WaitForStdout("T1:seq=1, os_16_10_5.png ->ok!\n"));
  ASSERT_TRUE(Eventually([&] { return server.RequestCount() >= 2; }));
  run.Signal(SIGTERM);
  const CliProcess::Result result = run.Finish();

  EXPECT_EQ(result.status, 143);
  const std::string project = ReadFile(out / "terminated.qrnl");
  EXPECT_EQ(IniValue(project, "T1X"), "16");
  EXPECT_EQ(IniValue(project, "T1Y"), "10");
  EXPECT_TRUE(Contains(ReadFile(out / "terminated_log.txt"), "T1:seq=1, os_16_10_5.png ->ok!\r\n"));
}

TEST_F(CliTaskTest, NotFoundTilesAreListedGetTheBlankImageAndFailTheRun) {
  server.SetHandler([](const ScriptedRequest& request) {
    return request.target == "/4/8/6.png" ? Respond::Status(404, "Not Found") : ServeBodyFor(request);
  });
  const CliProcess::Result run = CliProcess::Run(TaskArgs("4", "1", "holes"));

  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(run.err, "Summary: 1 saved, 1 failed. Task: 2 of 2 tiles done, 1 listed as failed in " +
                         (out / "holes_failed.ftl").string() + ".\n" + kClosingMessage);
  const fs::path missing = out / "holes" / "os_8_6_4.png";
  EXPECT_EQ(ReadFile(out / "holes_failed.ftl"), missing.string() + "|" + Url("/4/8/6.png") + "\r\n");
  const fs::path blank = fs::path(QUARNEL_CLI).parent_path() / "blankimg" / "blank.png";
  EXPECT_EQ(ReadFile(missing), ReadFile(blank));
  EXPECT_EQ(ReadFile(out / "holes" / "os_8_5_4.png"), BodyFor("/4/8/5.png"));
  EXPECT_TRUE(Contains(run.out, "Error: the image is not found on server.\nT1:8-6 got a blank image!\n"));
}

TEST_F(CliTaskTest, RedownloadPrintsTheWindowsLinesAndWritesTheTiles) {
  server.SetHandler([](const ScriptedRequest& request) {
    return request.target == "/4/8/6.png" ? Respond::Status(404, "Not Found") : ServeBodyFor(request);
  });
  WriteFile(config, "");
  const fs::path tile = temp / "os_8_5_4.png";
  const fs::path list = temp / "list.ftl";
  WriteFile(list, tile.string() + "|" + Url("/4/8/5.png") + "\r\n" + (temp / "os_8_6_4.png") + "|" +
                  Url("/4/8/6.png") + "\r\n");

  const CliProcess::Result run = CliProcess::Run({"--config", config.string(), "redownload", list.string()});

  EXPECT_EQ(run.status, 1);
  const std::vector<std::string> lines = SplitTextLines(run.out);
  ASSERT_EQ(lines.size(), 3u) << run.out;
  EXPECT_EQ(lines[0], tile.string() + ":" + Url("/4/8/5.png") + ":OK");
  EXPECT_TRUE(Contains(lines[1], "404") && Contains(lines[1], "->" + Url("/4/8/6.png"))) << lines[1];
  EXPECT_EQ(lines[2], Url("/4/8/6.png") + ":Error: the image is not found on server.");
  EXPECT_EQ(ReadFile(tile), BodyFor("/4/8/5.png"));
  EXPECT_FALSE(fs::exists(temp / "os_8_6_4.png"));
  EXPECT_TRUE(Contains(run.err, "Fetched again: 1 saved, 1 failed, 1 taken off the list.\n")) << run.err;
}

TEST_F(CliTaskTest, RedownloadRefusesAFileThatIsNoList) {
  WriteFile(config, "");
  const fs::path list = temp / "notes.txt";
  WriteFile(list, Url("/4/8/5.png") + "\r\nsome words\r\n");

  const CliProcess::Result run = CliProcess::Run({"--config", config.string(), "redownload", list.string()});

  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(Contains(run.err, list.string() + " is not a failed-tile list")) << run.err;
  EXPECT_EQ(SplitTextLines(run.err).size(), 1u) << run.err;
  EXPECT_EQ(server.RequestCount(), 0u);
}

struct RefusedEntry {
  std::vector<std::string> args;
  std::string message;
};

void PrintTo(const RefusedEntry& e, std::ostream* os) { *os << e.args[0] << ' ' << e.args[1]; }

class CliRefusedEntryTest : public CliTaskTest, public ::testing::WithParamInterface<RefusedEntry> {};

TEST_P(CliRefusedEntryTest, EndsWithStatus2AndTheMessageAndStartsNothing) {
  std::vector<std::string> args = TaskArgs("4", "1", "refused");
  args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
  const CliProcess::Result run = CliProcess::Run(args);

  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, GetParam().message + "\n");
  EXPECT_EQ(run.out, "");
  EXPECT_FALSE(fs::exists(out / "refused.qrnl"));
  EXPECT_EQ(server.RequestCount(), 0u);
}

// Later options win, so each case overrides one entry of the valid task. The
// checks themselves are the window logic's, tested there; here, that a
// refusal reaches the command line, and the command line's own.
INSTANTIATE_TEST_SUITE_P(
    Entries, CliRefusedEntryTest,
    ::testing::Values(RefusedEntry{{"--left", "200"}, "Left Longitude should be between -180 and 180."},
                      RefusedEntry{{"--zoom", "19"}, "--zoom must be between 1 and 18."}));

// Refusals that come before anything is written: not even the save folder
// appears. The whole table of them is the window logic's (StartRefusal).
struct EarlyRefusal {
  const char* name;
  std::string proxy;  // the configuration's [Proxy] body
  std::string task;
  std::string message;
};

class CliEarlyRefusalTest : public CliTaskTest, public ::testing::WithParamInterface<EarlyRefusal> {};

TEST_P(CliEarlyRefusalTest, EndsWithStatus2BeforeTheSaveFolderIsMade) {
  std::vector<std::string> args = TaskArgs("4", "1", GetParam().task);
  WriteFile(config, ReadFile(config) + "[Proxy]\r\n" + GetParam().proxy);
  const CliProcess::Result run = CliProcess::Run(args);

  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, GetParam().message + "\n");
  EXPECT_EQ(run.out, "");
  EXPECT_FALSE(fs::exists(out));
  EXPECT_EQ(server.RequestCount(), 0u);
  EXPECT_EQ(IniValue(ReadFile(config), "LastTask"), "");
}

INSTANTIATE_TEST_SUITE_P(
    Table, CliEarlyRefusalTest,
    ::testing::Values(
        EarlyRefusal{"portNoNumber", "UseProxy=1\r\nProxyServer=127.0.0.1\r\nProxyPort=abc\r\n", "t",
                     "Proxy port 'abc' is not a port number (1 to 65535)."},
        EarlyRefusal{"emptyName", "", "", "Please enter a task name."}),
    [](const auto& info) { return std::string(info.param.name); });

// The project file holds no worker, so even a configuration that fell back
// to the public host could send nothing there.
TEST_F(CliTaskTest, AMissingConfigurationIsRefusedNotReplacedByTheDefaults) {
  const fs::path projectFolder = temp / "projects";
  fs::create_directories(projectFolder);
  const fs::path project = projectFolder / "p.qrnl";
  WriteFile(project, "[AREA]\r\nLeftLongitude=10\r\nRightLongitude=20\r\nTopLatitude=50\r\nBottomLatitude=40\r\n"
                     "[Zoom]\r\nZoom=4\r\n[THREADS]\r\nThreadCount=0\r\n");
  const fs::path missing = temp / "missing.ini";
  const fs::path list = temp / "list.ftl";
  WriteFile(list, (temp / "os_8_5_4.png") + "|" + Url("/4/8/5.png") + "\r\n");

  for (const std::vector<std::string>& tail : std::vector<std::vector<std::string>>{
           {"--open", project.string()}, {"redownload", list.string()}}) {
    std::vector<std::string> args{"--config", missing.string()};
    args.insert(args.end(), tail.begin(), tail.end());
    const CliProcess::Result run = CliProcess::Run(args);
    EXPECT_EQ(run.status, 2) << tail[0];
    EXPECT_EQ(run.err.rfind("quarnel-cli: cannot open configuration file " + missing.string() +
                                   ": No such file or directory\n",
                               0),
              0u)
        << run.err;
    EXPECT_EQ(run.out, "");
  }
  EXPECT_FALSE(fs::exists(missing));
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(projectFolder))
    names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"p.qrnl"}) << "no list, log or tile folder beside the project";
  EXPECT_FALSE(fs::exists(temp / "os_8_5_4.png"));
  EXPECT_EQ(server.RequestCount(), 0u);
}

// "--task t3" names t3.qrnl, so starting again with the same entries resumes it.
TEST_F(CliTaskTest, ATaskNameWithoutExtensionResumesTheSameTask) {
  const CliProcess::Result first = CliProcess::Run(TaskArgs("4", "1", "t3.qrnl"));
  ASSERT_EQ(first.status, 0) << first.err;
  ASSERT_EQ(server.RequestCount(), 2u);

  const CliProcess::Result again = CliProcess::Run(TaskArgs("4", "1", "t3"));
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(server.RequestCount(), 2u) << "a resumed, finished task fetches nothing";
  EXPECT_FALSE(fs::exists(out / "t3.qrnl.qrnl"));
  EXPECT_TRUE(Contains(ReadFile(out / "t3_log.txt"), "Log continue...v=5.7\r\n"));
}

// Each tile is first asked to wait: one with a number of seconds, one with a
// date far ahead that Network.MaxRetryWait cuts down to a second.
TEST_F(CliTaskTest, AServerThatAsksForAPauseIsWaitedForAndNothingFails) {
  std::atomic<int> asked{0};
  server.SetHandler([&asked](const ScriptedRequest& request) {
    if (request.target == "/4/8/5.png" && (asked.fetch_or(1) & 1) == 0)
      return Respond::Raw(Respond::Text("HTTP/1.1 503 Service Unavailable", {{"Retry-After", "1"}}, ""));
    if (request.target == "/4/8/6.png" && (asked.fetch_or(2) & 2) == 0)
      return Respond::Raw(
          Respond::Text("HTTP/1.1 429 Too Many Requests", {{"Retry-After", "Fri, 31 Dec 2100 23:59:59 GMT"}}, ""));
    return ServeBodyFor(request);
  });
  std::vector<std::string> args = TaskArgs("4", "1", "polite");
  WriteFile(config, ReadFile(config) + "[Network]\r\nMaxRetryWait=1\r\n");
  const CliProcess::Result run = CliProcess::Run(args);

  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "Summary: 2 saved, 0 failed. Task: 2 of 2 tiles done, none listed as failed.\n" + kClosingMessage);
  EXPECT_TRUE(Contains(run.out, "T1:8-5:503 Service Unavailable: waiting 1 s before asking again.\n")) << run.out;
  EXPECT_TRUE(Contains(run.out, "T1:8-6:429 Too Many Requests: waiting 1 s before asking again.\n")) << run.out;
  EXPECT_EQ(server.RequestCount(), 4u);
  EXPECT_EQ(ReadFile(out / "polite" / "os_8_5_4.png"), BodyFor("/4/8/5.png"));
  EXPECT_EQ(ReadFile(out / "polite" / "os_8_6_4.png"), BodyFor("/4/8/6.png"));
  EXPECT_EQ(fs::file_size(out / "polite_failed.ftl"), 0u);
}

// Rows 5 and 6 at zoom 4 are 10 and 9 counted from the south.
TEST_F(CliTaskTest, AnAddressTemplateAsksForRowsCountedFromTheSouth) {
  std::vector<std::string> args = TaskArgs("4", "1", "tms");
  WriteFile(config, "[Hosts]\r\nOpenStreetMap=http://127.0.0.1:" + std::to_string(server.Port()) +
                        "/tms/{z}/{x}/{-y}.png\r\n");
  const CliProcess::Result run = CliProcess::Run(args);

  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(server.Targets(), (std::vector<std::string>{"/tms/4/8/10.png", "/tms/4/8/9.png"}));
  EXPECT_EQ(ReadFile(out / "tms" / "os_8_5_4.png"), BodyFor("/tms/4/8/10.png"));
}

TEST_F(CliTaskTest, MaxRateSpacesTheRequestStartsOfAllThreads) {
  std::mutex mutex;
  std::vector<std::chrono::steady_clock::time_point> arrivals;
  server.SetHandler([&](const ScriptedRequest& request) {
    std::lock_guard<std::mutex> lock(mutex);
    arrivals.push_back(std::chrono::steady_clock::now());
    return ServeBodyFor(request);
  });
  std::vector<std::string> args = TaskArgs("5", "3", "paced");
  args.insert(args.end(), {"--max-rate", "10"});
  const auto began = std::chrono::steady_clock::now();
  const CliProcess::Result run = CliProcess::Run(args);

  ASSERT_EQ(run.status, 0) << run.err;
  ASSERT_EQ(arrivals.size(), kZoom5Targets.size());
  std::sort(arrivals.begin(), arrivals.end());
  for (std::size_t i = 0; i < arrivals.size(); ++i)
    EXPECT_GE(arrivals[i] - began, std::chrono::milliseconds(100) * i) << "request " << i;
}

}  // namespace
