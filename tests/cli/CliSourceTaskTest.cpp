// quarnel-cli tasks with --source against the scripted server: the source's
// addresses and headers, its key kept out of every file, its limits, and a
// task that keeps its source after the source is edited.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "CliProcess.h"
#include "CliTestSupport.h"
#include "ScriptedServer.h"

namespace {

using namespace clitest;
namespace fs = std::filesystem;

constexpr const char* kKey = "S3cretKey0042";

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class CliSourceTaskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(config, "[Hosts]\r\nOpenStreetMap=127.0.0.1:9/{z}/{x}/{y}.png\r\n");
    fs::create_directories(temp / "sources");
  }
  // Zoom 4 over 10..20 east, 40..50 north: column 8, rows 5 and 6 (10 and 9 from the south).
  std::vector<std::string> TaskArgs(const std::string& task, const std::string& threads = "4") {
    return {"--config", config.string(), "--left", "10",          "--right", "20",  "--top",    "50",
            "--bottom", "40",            "--zoom", "4",           "--threads", threads, "--path", out.string(),
            "--task",   task,            "--source", "Keyed Topo"};
  }
  // Lines in more come first, so they win over the defaults after them.
  void WriteSource(const std::string& path, const std::string& more = "") {
    WriteFile(temp / "sources/Keyed_Topo.ini",
              "[Source]\n" + more + "Name=Keyed Topo\nTemplate=" + server.BaseUrl() + path +
                  "\nMinZoom=2\nMaxZoom=6\nAttribution=(c) Keyed\nTerms=https://example.org/terms\nMaxThreads=1\n"
                  "[Headers]\nX-Api-Key={key}\n");
  }
  void WriteKey() { WriteFile(temp / "keys.ini", std::string("[Keys]\nKeyed Topo=") + kKey + "\n"); }
  std::vector<fs::path> FilesHolding(const std::string& text) const {
    std::vector<fs::path> holding;
    for (const auto& entry : fs::recursive_directory_iterator(temp / ""))
      if (entry.is_regular_file() && entry.path().filename() != "keys.ini" && Contains(ReadFile(entry.path()), text))
        holding.push_back(entry.path());
    return holding;
  }

  ScratchFolder temp;
  fs::path config = temp / "config.ini";
  fs::path out = temp / "out";
  ScriptedServer server;
};

TEST_F(CliSourceTaskTest, AsksTheSourceWithItsKeyAndWritesTheKeyNowhere) {
  WriteSource("/t/{z}/{x}/{-y}.png?k={key}");
  WriteKey();
  // One body for every tile: the default one holds the address it was asked by.
  server.SetHandler([](const ScriptedRequest&) { return Respond::Ok(PngFramed("tile")); });
  const CliProcess::Result run = CliProcess::Run(TaskArgs("keyed"));
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string query = std::string("?k=") + kKey;
  EXPECT_EQ(server.Targets(), (std::vector<std::string>{"/t/4/8/10.png" + query, "/t/4/8/9.png" + query}));
  EXPECT_TRUE(Contains(server.Received(0), std::string("X-Api-Key: ") + kKey));
  const std::string project = ReadFile(out / "keyed.qrnl");
  EXPECT_EQ(IniValue(project, "ThreadCount"), "1") << "the source's thread limit lowers the task's 4";
  EXPECT_EQ(IniValue(project, "Template"), server.BaseUrl() + "/t/{z}/{x}/{-y}.png?k={key}");
  EXPECT_TRUE(FilesHolding(kKey).empty()) << FilesHolding(kKey).front();
  EXPECT_FALSE(Contains(run.out + run.err, kKey));
}

// The second tile is answered as a ban: the worker stops before it, and a rerun resumes there.
TEST_F(CliSourceTaskTest, AResumeAfterTheSourceWasEditedKeepsTheTaskTemplate) {
  WriteSource("/t/{z}/{x}/{y}.png?k={key}");
  WriteKey();
  std::atomic<int> asked{0};
  server.SetHandler([&](const ScriptedRequest& request) {
    return ++asked == 2 ? Respond::Status(403, "Forbidden") : ServeBodyFor(request);
  });
  CliProcess::Run(TaskArgs("resumed"));
  ASSERT_EQ(server.Targets().size(), 2u);
  WriteSource("/elsewhere/{z}/{x}/{y}.png?k={key}");
  const CliProcess::Result again = CliProcess::Run(TaskArgs("resumed"));
  EXPECT_EQ(again.status, 0) << again.err;
  ASSERT_EQ(server.Targets().size(), 3u);
  EXPECT_EQ(server.Targets()[2], std::string("/t/4/8/6.png?k=") + kKey);
}

TEST_F(CliSourceTaskTest, ARedownloadAfterTheSourceWasEditedAsksTheTaskServer) {
  WriteSource("/t/{z}/{x}/{y}.png?k={key}");
  WriteKey();
  std::atomic<int> asked{0};
  server.SetHandler([&](const ScriptedRequest& request) {
    return ++asked == 2 ? Respond::Status(404, "Not Found") : ServeBodyFor(request);
  });
  CliProcess::Run(TaskArgs("listed"));
  ASSERT_TRUE(Contains(ReadFile(out / "listed_failed.ftl"), "{key}")) << "the list keeps the placeholder";
  WriteSource("/elsewhere/{z}/{x}/{y}.png?k={key}");
  const CliProcess::Result again =
      CliProcess::Run({"--config", config.string(), "redownload", (out / "listed_failed.ftl").string()});
  EXPECT_EQ(again.status, 0) << again.err;
  ASSERT_EQ(server.Targets().size(), 3u);
  EXPECT_EQ(server.Targets()[2], std::string("/t/4/8/6.png?k=") + kKey);
}

struct Refusal {
  const char* name;
  std::string more;     // [Source] lines
  bool key;             // a key is stored
  std::string source;   // the --source given
  std::string message;  // part of what is said
};

class CliSourceRefusalTest : public CliSourceTaskTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(CliSourceRefusalTest, RefusesBeforeAnythingIsWrittenOrAsked) {
  WriteSource("/t/{z}/{x}/{y}.png?k={key}", GetParam().more);
  if (GetParam().key) WriteKey();
  std::vector<std::string> args = TaskArgs("refused");
  args.back() = GetParam().source;
  const CliProcess::Result run = CliProcess::Run(args);
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(Contains(run.err + run.out, GetParam().message)) << run.err << run.out;
  EXPECT_EQ(server.RequestCount(), 0u);
  EXPECT_FALSE(fs::exists(out)) << "nothing is written";
}

INSTANTIATE_TEST_SUITE_P(
    Sources, CliSourceRefusalTest,
    ::testing::Values(
        Refusal{"noBulkOverItsLimit", "MaxTiles=1\nBulkDownload=0\n", true, "Keyed Topo",
                "forbid bulk downloading and allow at most 1 tiles a task; this task holds 2. Choose another source"},
        Refusal{"missingKey", "", false, "Keyed Topo", "The source 'Keyed Topo' needs a key"},
        Refusal{"zoomOutsideItsRange", "MaxZoom=3\n", true, "Keyed Topo", "has zoom levels 2 to 3"},
        Refusal{"unknownName", "", true, "Nowhere", "There is no tile source named 'Nowhere'"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
