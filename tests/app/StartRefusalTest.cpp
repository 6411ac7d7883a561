// Entries Start refuses before it writes anything, and the task count shown
// after "Open task ...".

#include <gtest/gtest.h>

#include "IniFile.h"
#include "MainWindowFixture.h"
#include "RecentTask.h"

namespace {

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

std::string FolderInName(const std::string& name) {
  return "The task name \"" + name + "\" holds a folder: type only a name, and the folder in \"Path to save:\".";
}

struct RefusalCase {
  const char* name;
  std::string proxy;     // the configuration's [Proxy] body
  std::string taskName;
  std::string message;   // empty: the task starts
};

std::string TooLong(std::size_t bytes) {
  return "The task name is too long: it has " + std::to_string(bytes) +
         " bytes, the file system takes names of up to 255 bytes, and the task's files add up to 40 to the name. "
         "Shorten it to at most 215 bytes.";
}

std::string NoAddress(const std::string& value, const std::string& why) {
  return "The tile server OpenStreetMap in [Hosts] is \"" + value + "\", which " + why +
         ". Write a host (tile.example.org) or an address (https://tile.example.org/{z}/{x}/{y}.png).";
}

std::string Hosts(const std::string& value) { return "\r\n[Hosts]\r\nOpenStreetMap=" + value + "\r\n"; }

class StartRefusal : public MainWindowTest, public ::testing::WithParamInterface<RefusalCase> {
  std::string ConfigText() override { return "[Proxy]\r\n" + GetParam().proxy; }
};

TEST_P(StartRefusal, NamesTheProblemAndWritesNothing) {
  const RefusalCase& c = GetParam();
  EnterTask("1", c.taskName);
  Click();
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
        RefusalCase{"proxyWithoutServer", "UseProxy=1\r\nProxyPort=3128\r\n", "job",
                    "\"Use proxy server\" is on but no proxy server is named: name one in Options, or turn the "
                    "proxy off."},
        RefusalCase{"emptyName", "", "", "Please enter a task name."},
        RefusalCase{"nameWithAFolder", "", "a/b", FolderInName("a/b")},
        RefusalCase{"nameClimbingOut", "", "../x", FolderInName("../x")},
        RefusalCase{"absoluteName", "", "/x.qrnl", FolderInName("/x.qrnl")},
        RefusalCase{"parentAlone", "", "..", FolderInName("..")},
        RefusalCase{"nothingButTheExtension", "", ".qrnl", "Please enter a task name."},
        RefusalCase{"anotherExtensionIsAName", "", ".QRNL", ""},
        RefusalCase{"caFileMissing", "\r\n[Network]\r\nCaFile=/nonexistent-quarnel/ca.pem\r\n", "job",
                    "The certificate file '/nonexistent-quarnel/ca.pem' (Network.CaFile) cannot be read or holds no "
                    "PEM certificate."},
        RefusalCase{"unknownPlaceholder", "\r\n[Hosts]\r\nOpenStreetMap=127.0.0.1/{z}/{x}/{y}.png?k={apikey}\r\n", "job",
                    "The tile server OpenStreetMap in [Hosts] holds an unknown placeholder: {apikey}. Known: {x}, {y}, "
                    "{-y}, {z}, {n}, {s}, {switch:A,B,...}, {q}, {bbox}, {width}, {height}, {level:A,B,...}, {key}."},
        RefusalCase{"keyInHosts", "\r\n[Hosts]\r\nOpenStreetMap=127.0.0.1/{z}/{x}/{y}.png?k={key}\r\n", "job",
                    "The tile server OpenStreetMap in [Hosts] holds {key}, which only a tile source fills in: add the "
                    "server as a source and store its key apart."},
        RefusalCase{"colonInAHeaderName", "\r\n[Headers]\r\nX:Key=secret\r\n", "job",
                    "The header \"X:Key\" in [Headers] has a colon in its name: write Name=value."},
        // Every file the task derives, and the temporary beside it, must fit the file system's names.
        RefusalCase{"nameTooLong", "", std::string(216, 'n') + ".qrnl", TooLong(216)},
        RefusalCase{"nameTooLongWithoutExtension", "", std::string(300, 'n'), TooLong(300)},
        RefusalCase{"nameAtTheLimit", "", std::string(215, 'n'), ""},
        RefusalCase{"serverNoAddress", Hosts("not a url at all"), "job",
                    NoAddress("not a url at all", "holds a blank or a control character")},
        RefusalCase{"serverWithoutHost", Hosts("https:///{z}/{x}/{y}.png"), "job",
                    NoAddress("https:///{z}/{x}/{y}.png", "names no host")},
        RefusalCase{"serverPortNoNumber", Hosts("127.0.0.1:http"), "job",
                    NoAddress("127.0.0.1:http", "has a port that is not a number from 1 to 65535")},
        RefusalCase{"serverOddHostCharacter", Hosts("{switch:a,b*}.example.test"), "job",
                    NoAddress("{switch:a,b*}.example.test", "has a host name with the character '*'")},
        RefusalCase{"ftpServer", Hosts("ftp://127.0.0.1/{z}/{x}/{y}.png"), "job",
                    "The tile server OpenStreetMap in [Hosts] is \"ftp://127.0.0.1/{z}/{x}/{y}.png\": ftp:// is not "
                    "fetched, only http:// and https://."},
        RefusalCase{"fileServer", Hosts("FILE:///etc/{z}"), "job",
                    "The tile server OpenStreetMap in [Hosts] is \"FILE:///etc/{z}\": FILE:// is not fetched, only "
                    "http:// and https://."},
        RefusalCase{"httpsInCapitals", Hosts("HTTPS://127.0.0.1:8/{z}/{x}/{y}.png"), "job", ""},
        RefusalCase{"emptySwitchItem", Hosts("{switch:a,,b}.example.test"), "job",
                    "The tile server OpenStreetMap in [Hosts] has an empty item in {switch:a,,b}: give every item of "
                    "{switch:A,B,...} a text."},
        RefusalCase{"switchOfNothing", Hosts("h/{switch:,}/{z}/{x}/{y}"), "job",
                    "The tile server OpenStreetMap in [Hosts] has an empty item in {switch:,}: give every item of "
                    "{switch:A,B,...} a text."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, TheCommandLineRateReplacesTheConfiguredOne) {
  EnterTask();
  Click();
  ASSERT_NE(form_->Parameters(), nullptr);
  EXPECT_EQ(form_->Parameters()->Network.MaxRequestsPerSecond, 0);
  TickUntilClosed();
  TaskEntries entries = form_->StartEntries();
  entries.maxRequestsPerSecond = 7;
  const std::optional<TaskParameters> parameters = ParametersForStart(platform_, configPath_, entries);
  ASSERT_TRUE(parameters.has_value());
  EXPECT_EQ(parameters->Network.MaxRequestsPerSecond, 7);
}

TEST_F(MainWindowTest, OpeningATaskShowsItsOwnCount) {
  EnterTask("1", "big");
  typed_.zoom = 6;  // columns 33 to 35, rows 20 to 23
  Click();
  TickUntilClosed();
  const std::string bigCount = form_->Face().LabelTotalxy;
  EnterTask("1", "small");
  Click();
  TickUntilClosed();
  ASSERT_EQ(form_->Face().LabelTotalxy, "Total images: 2");
  ASSERT_NE(bigCount, form_->Face().LabelTotalxy);

  form_->LoadProjectFile(entries_, SavePath() + "big.qrnl");
  EXPECT_EQ(form_->Face().LabelTotalxy, bigCount);

  // A damaged project is refused whole: no entry and no count changes.
  WriteFile(SavePath() + "odd.qrnl", "[XY]\r\nMinX=9\r\nMaxX=8\r\nMinY=1\r\nMaxY=1\r\n");
  platform_.messages.clear();
  form_->LoadProjectFile(entries_, SavePath() + "odd.qrnl");
  EXPECT_EQ(form_->Face().LabelTotalxy, bigCount);
  EXPECT_EQ(typed_.taskName, "big.qrnl");
  ASSERT_EQ(platform_.messages.size(), 1u);
  EXPECT_NE(platform_.messages[0].find(SavePath() + "odd.qrnl"), std::string::npos) << platform_.messages[0];
}

TEST_F(MainWindowTest, AConfigurationThatIsNoTextIsRefused) {
  WriteFile(configPath_, std::string("[Hosts]\r\nOpen\0StreetMap=x\r\n", 27));
  EnterTask();
  Click();
  EXPECT_EQ(platform_.messages, std::vector<std::string>{"The file " + configPath_ +
                                                         " cannot be read as text. Fix or remove the configuration "
                                                         "file."});
  EXPECT_FALSE(std::filesystem::exists(save_));
}

// A task of the same name with other entries is replaced only on a yes.
TEST_F(MainWindowTest, OtherEntriesUnderATasksNameAskBeforeReplacingIt) {
  EnterTask();
  Click();
  TickUntilClosed();
  WriteFile(SavePath() + "job.qrnl",
            ReplaceAll(ReadFile(SavePath() + "job.qrnl"), "T1X=\r\nT1Y=\r\n", "T1X=8\r\nT1Y=5\r\n"));
  const std::string project = ReadFile(SavePath() + "job.qrnl");
  const std::string log = ReadFile(SavePath() + "job_log.txt");
  typed_.zoom = 5;  // a touch of the slider
  Click();
  EXPECT_EQ(platform_.questions,
            std::vector<std::string>{"A task named job.qrnl exists with other entries (1 of 2 tiles done). Replace it?"});
  EXPECT_FALSE(form_->TaskRunning());
  EXPECT_EQ(ReadFile(SavePath() + "job.qrnl"), project) << "No changes nothing";
  EXPECT_EQ(ReadFile(SavePath() + "job_log.txt"), log);

  platform_.answers = {true};
  Click();
  EXPECT_TRUE(form_->TaskRunning());
  EXPECT_NE(ReadFile(SavePath() + "job.qrnl").find("Zoom=5\r\n"), std::string::npos);
  TickUntilClosed();

  // A damaged project file is no task to resume: replacing it needs a yes too.
  WriteFile(SavePath() + "job.qrnl", "[AREA]\r\n");
  platform_.questions.clear();
  Click();
  ASSERT_EQ(platform_.questions.size(), 1u);
  EXPECT_NE(platform_.questions[0].find("LeftLongitude is missing"), std::string::npos) << platform_.questions[0];
  EXPECT_EQ(ReadFile(SavePath() + "job.qrnl"), "[AREA]\r\n");
}

TEST_F(MainWindowTest, ATaskLargerThanTheDiskIsRefusedOrAskedBeforeAnythingIsWritten) {
  EnterTask();
  platform_.freeDiskBytes = 100;  // not even the tile list fits
  Click();
  ASSERT_EQ(platform_.messages.size(), 1u);
  EXPECT_TRUE(platform_.messages[0].starts_with("The tile list of 2 tiles alone would take")) << platform_.messages[0];
  EXPECT_FALSE(Exists(SavePath() + "job.qrnl"));

  platform_.messages.clear();
  platform_.freeDiskBytes = 20000;  // the list fits, the tiles at their typical size do not
  Click();
  EXPECT_EQ(platform_.questions,
            std::vector<std::string>{"2 tiles, about 0.0 GB; the disk has 0.0 GB free. Start?"});
  EXPECT_FALSE(Exists(SavePath() + "job.qrnl"));

  // A million tiles are asked about whatever the disk holds.
  platform_.freeDiskBytes.reset();
  platform_.questions.clear();
  typed_.zoom = 14;
  typed_.left = "0", typed_.right = "30", typed_.top = "60", typed_.bottom = "40";
  Click();
  ASSERT_EQ(platform_.questions.size(), 1u);
  EXPECT_TRUE(platform_.questions[0].ends_with("GB free. Start?")) << platform_.questions[0];
  EXPECT_FALSE(Exists(SavePath() + "job.qrnl"));
}

}  // namespace

// A task kept in one file keeps it for life, and a file it cannot write
// into refuses the resume before anything is written.
TEST_F(MainWindowTest, ATaskKeptInOneFileKeepsItAndABadStoreRefusesTheResume) {
  EnterTask();
  typed_.storage = TileStorage::File;  // "Save tiles in: one file"
  Click();
  ASSERT_TRUE(form_->TaskRunning());
  EXPECT_TRUE(std::filesystem::is_regular_file(SavePath() + "job.mbtiles"));
  EXPECT_FALSE(std::filesystem::exists(SavePath() + "job")) << "no tile folder";
  EXPECT_NE(ReadFile(SavePath() + "job.qrnl").find("[Tiles]\r\nStorage=file\r\n"), std::string::npos);
  TickUntilClosed();

  const struct {
    std::optional<TileStorage> chosen;
    bool resumes;
  } cases[] = {{std::nullopt, true}, {TileStorage::File, true}, {TileStorage::Folder, false}};
  for (const auto& c : cases) {
    TaskEntries entries = form_->StartEntries();
    entries.storage = c.chosen;
    platform_.messages.clear();
    const std::optional<TaskParameters> parameters = ParametersForStart(platform_, configPath_, entries);
    ASSERT_EQ(parameters.has_value(), c.resumes);
    if (parameters) {
      EXPECT_TRUE(parameters->Resume);
      EXPECT_EQ(parameters->Storage, TileStorage::File);
    } else {
      EXPECT_EQ(platform_.messages, std::vector<std::string>{
                                        "The task job.qrnl keeps its tiles in one file, job.mbtiles: resume it so, or "
                                        "move them first with quarnel-cli repack job.qrnl --store folder."});
    }
  }

  WriteFile(SavePath() + "job.mbtiles", "no store at all");
  const std::string log = ReadFile(SavePath() + "job_log.txt");
  platform_.messages.clear();
  Click();
  EXPECT_FALSE(form_->TaskRunning());
  ASSERT_FALSE(platform_.messages.empty());
  EXPECT_EQ(platform_.messages[0], SavePath() + "job.mbtiles is not a tile store of Quarnel.");
  EXPECT_EQ(ReadFile(SavePath() + "job_log.txt"), log);
  EXPECT_EQ(ReadFile(SavePath() + "job.mbtiles"), "no store at all");
}
