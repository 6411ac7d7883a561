// quarnel-cli sources against the scripted server: each kind of document
// imported from an address and a task run from what it gave, the refusals
// that write nothing, and a source tried on one tile.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "CliProcess.h"
#include "CliTestSupport.h"
#include "ScriptedServer.h"
#include "TileSource.h"

namespace {

using namespace clitest;
namespace fs = std::filesystem;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::vector<std::string> Sorted(std::vector<std::string> items) {
  std::sort(items.begin(), items.end());
  return items;
}

class CliSourcesTest : public ::testing::Test {
 protected:
  CliSourcesTest() {
    WriteFile(config, "[Hosts]\r\nOpenStreetMap=127.0.0.1:1/{z}/{x}/{y}.png\r\n");
    server.SetHandler([this](const ScriptedRequest& request) { return Answer(request); });
  }

  std::string Base() const { return server.BaseUrl(); }

  // Documents from tests/data/sources with this server's address in them;
  // a few fixed failures; a tile for anything else.
  ScriptedAction Answer(const ScriptedRequest& request) {
    static const std::map<std::string, std::string> kDocuments = {
        {"/docs/relief.json", "relief-tms.json"},
        {"/docs/caps.xml", "wmts-text-ids.xml"},
        {"/docs/caps-4326.xml", "wmts-other-projection.xml"},
        {"/docs/connections.xml", "qgis-connections.xml"}};
    if (const auto document = kDocuments.find(request.target); document != kDocuments.end()) {
      std::string text = ReadFile(std::string(QUARNEL_TEST_DATA_DIR) + "/sources/" + document->second);
      const std::string host = "127.0.0.1:" + std::to_string(server.Port());
      for (std::size_t at = text.find("HOST"); at != std::string::npos; at = text.find("HOST", at))
        text.replace(at, 4, host);
      return Respond::Ok(text);
    }
    if (request.target.starts_with("/fixture/")) {
      const std::string name = request.target.substr(9, request.target.find('/', 9) - 9);
      return Respond::Ok(ReadFile(std::string(QUARNEL_TEST_DATA_DIR) + "/engine/tiles/" + name));
    }
    if (request.target.starts_with("/html")) return Respond::Ok("<!DOCTYPE html>\n<html><body>Sign in</body></html>");
    if (request.target.starts_with("/refused")) return Respond::Status(403, "Forbidden");
    if (request.target.starts_with("/quota")) return Respond::Status(429, "Too Many Requests");
    return ServeBodyFor(request);
  }

  CliProcess::Result Sources(std::vector<std::string> words) {
    words.insert(words.begin(), {"--config", config.string(), "sources"});
    return CliProcess::Run(words);
  }

  // Zoom z over 10..20 east, 40..50 north.
  CliProcess::Result Task(const std::string& source, const std::string& zoom) {
    return CliProcess::Run({"--config", config.string(), "--left", "10", "--right", "20", "--top", "50", "--bottom",
                            "40", "--zoom", zoom, "--threads", "1", "--path", (temp / "out").c_str(), "--task",
                            "t" + zoom, "--source", source});
  }

  bool NothingWritten() const { return !fs::exists(temp / "sources") || fs::is_empty(temp / "sources"); }

  ScratchFolder temp;
  fs::path config = temp / "config.ini";
  ScriptedServer server;
};

struct ImportCase {
  const char* document;  // on the server; a pasted address is a tile's
  std::vector<const char*> extra;
  std::string names;  // stdout
  const char* chosen;
  const char* zoom;
  std::vector<std::string> targets;  // the task's requests
};

class CliImportTest : public CliSourcesTest, public ::testing::WithParamInterface<ImportCase> {};

// Zoom 4 covers column 8, rows 5 and 6 (9 and 10 from the bottom); zoom 2 column 2, row 1.
TEST_P(CliImportTest, AddsTheSourcesAndATaskAsksTheirAddresses) {
  const ImportCase& c = GetParam();
  std::vector<std::string> words{"add", Base() + c.document};
  words.insert(words.end(), c.extra.begin(), c.extra.end());
  const CliProcess::Result added = Sources(words);
  ASSERT_EQ(added.status, 0) << added.err;
  EXPECT_EQ(added.out, c.names);
  const std::size_t before = server.RequestCount();
  const CliProcess::Result run = Task(c.chosen, c.zoom);
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> all = server.Targets();
  EXPECT_EQ(Sorted({all.begin() + static_cast<std::ptrdiff_t>(before), all.end()}), c.targets);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, CliImportTest,
    testing::Values(
        ImportCase{"/docs/relief.json", {}, "Relief\n", "Relief", "4", {"/docs/relief/4/8/10.png", "/docs/relief/4/8/9.png"}},
        ImportCase{"/docs/caps.xml",
                   {},
                   "Ortho photos\nRoads (day)\nRoads (night)\n",
                   "Roads (day)",
                   "2",
                   {"/rest/roads/day/2024/Padded/L02/1/2.png"}},
        // The key taken out of the address is filled in again only on the wire.
        ImportCase{"/docs/connections.xml",
                   {},
                   "Hills\nPlain\n",
                   "Hills",
                   "4",
                   {"/hills/4/8/5.png?style=a&api_key=SECRET-1", "/hills/4/8/6.png?style=a&api_key=SECRET-1"}},
        ImportCase{"/paste/4/8/5.png", {"--name", "Pasted"}, "Pasted\n", "Pasted", "4", {"/paste/4/8/5.png", "/paste/4/8/6.png"}}));

TEST_F(CliSourcesTest, TheKeyOfAnAddressIsKeptApart) {
  ASSERT_EQ(Sources({"add", Base() + "/docs/connections.xml"}).status, 0);
  EXPECT_EQ(IniValue(ReadFile(temp / "keys.ini"), "Hills"), "SECRET-1");
  EXPECT_EQ(fs::status(temp / "keys.ini").permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  const CliProcess::Result list = Sources({});
  EXPECT_TRUE(Contains(list.out, "Hills\t1-12\t" + Base() + "/hills/{z}/{x}/{y}.png?style=a&api_key={key}\n")) << list.out;
  const CliProcess::Result show = Sources({"show", "Hills"});
  EXPECT_TRUE(Contains(show.out, "Template=" + Base() + "/hills/{z}/{x}/{y}.png?style=a&api_key={key}")) << show.out;
  EXPECT_TRUE(Contains(show.err, "'Hills' has its key set")) << show.err;
  EXPECT_FALSE(Contains(list.out + show.out + show.err, "SECRET-1"));
  const CliProcess::Result stored = CliProcess(
      "/bin/sh", {"-c", "printf 'NEW-2\\n' | \"$0\" --config \"$1\" sources key Plain", QUARNEL_CLI, config.string()})
                                        .Finish();
  ASSERT_EQ(stored.status, 0) << stored.err;
  EXPECT_EQ(IniValue(ReadFile(temp / "keys.ini"), "Plain"), "NEW-2");
  EXPECT_EQ(Sources({"remove", "Hills"}).status, 0);
  EXPECT_EQ(Sources({"show", "Hills"}).status, 2);
}

struct RefusalCase {
  const char* address;  // after the server's base; empty: nothing listens there
  std::vector<const char*> extra;
  const char* message;
};

class CliRefusalTest : public CliSourcesTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(CliRefusalTest, SaysWhyAndWritesNothing) {
  const std::string address = *GetParam().address
                                  ? Base() + GetParam().address
                                  : "http://127.0.0.1:" + std::to_string(UnusedLocalPort()) + "/caps.xml";
  std::vector<std::string> words{"add", address};
  words.insert(words.end(), GetParam().extra.begin(), GetParam().extra.end());
  const CliProcess::Result result = Sources(words);
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.out, "");
  EXPECT_TRUE(Contains(result.err, GetParam().message)) << result.err;
  EXPECT_TRUE(NothingWritten());
}

INSTANTIATE_TEST_SUITE_P(
    Documents, CliRefusalTest,
    testing::Values(RefusalCase{"/docs/caps-4326.xml", {}, "'WGS84' is in EPSG:4326"},
                    RefusalCase{"/html/caps.xml", {}, "answered with an HTML page"},
                    RefusalCase{"", {}, "does not answer"},
                    RefusalCase{"/tiles/2/3/1/1.png", {}, "can be read in 2 ways"},
                    RefusalCase{"/docs/caps.xml", {"--name", "Mine"}, "--name needs a document that gives one source"}));

struct TestCase {
  const char* path;
  int status;
  std::string sentence;
};

class CliSourceTestTest : public CliSourcesTest, public ::testing::WithParamInterface<TestCase> {};

TEST_P(CliSourceTestTest, AnswersInASentence) {
  TileSource source;
  source.Name = "Probe";
  source.Template = Base() + GetParam().path + "/{z}/{x}/{y}.png";
  fs::create_directories(temp / "sources");
  WriteFile(temp / "sources/Probe.ini", SourceFileText(source));
  const CliProcess::Result result = Sources({"test", "Probe"});
  EXPECT_EQ(result.status, GetParam().status) << result.err;
  EXPECT_EQ(result.out, GetParam().sentence + "\n");
}

// The world's middle tile at zoom 0: BodyFor's 1×1 PNG, then each format's 16×16 sample.
INSTANTIATE_TEST_SUITE_P(
    Answers, CliSourceTestTest,
    testing::Values(TestCase{"/t", 0,
                             "works: 1\xC3\x97" "1 PNG, " +
                                 std::to_string(std::max<std::size_t>(1, (BodyFor("/t/0/0/0.png").size() + 512) / 1024)) +
                                 " KB"},
                    TestCase{"/fixture/tile.jpg", 0, "works: 16\xC3\x97" "16 JPEG, 1 KB"},
                    TestCase{"/fixture/progressive.jpg", 0, "works: 16\xC3\x97" "16 JPEG, 1 KB"},
                    TestCase{"/fixture/tile.gif", 0, "works: 16\xC3\x97" "16 GIF, 1 KB"},
                    TestCase{"/fixture/tile.webp", 0, "works: 16\xC3\x97" "16 WebP, 1 KB"},
                    TestCase{"/fixture/lossless.webp", 0, "works: 16\xC3\x97" "16 WebP, 1 KB"},
                    TestCase{"/html", 1, "not an image: an HTML page"},
                    TestCase{"/refused", 1, "the server refused the key (403)"},
                    TestCase{"/quota", 1, "over quota (429)"}));

}  // namespace
