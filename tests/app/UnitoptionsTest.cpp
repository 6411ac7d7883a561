#include "Unitoptions.h"

#include <gtest/gtest.h>

#include "AppPaths.h"
#include "AppTestSupport.h"
#include "FakePlatform.h"
#include "IniFile.h"

namespace {


class OptionsDialog : public ::testing::Test {
 protected:
  ScratchFolder folder_;
  FakePlatform platform_{folder_.Path()};
  std::string configPath_ = folder_.Path() + "ini/config.ini";
  TfrmOptions form_{platform_};
  TfrmOptionsFields fields_;  // as the dialog's fields would hold them

  void WriteConfig(const std::string& text) {
    std::filesystem::create_directories(folder_.Path() + "ini");
    WriteFile(configPath_, text);
  }
};

TEST_F(OptionsDialog, ShowsTheValuesInForceWithoutAFile) {
  fields_ = form_.FormShow();
  EXPECT_EQ(form_.ConfigPath(), configPath_);
  EXPECT_EQ(fields_.Edit12, MainWindowDefaultSavePath()) << "the main window's default, not a second one";
  EXPECT_EQ(fields_.Edit2, "1");
  EXPECT_FALSE(fields_.CheckBoxUseProxy);
  EXPECT_EQ(fields_.EditProxyServer + fields_.EditProxyPort + fields_.EditProxyUsername + fields_.EditProxyPassword, "");
  EXPECT_EQ(TfrmOptions::UpDown1Min, 1);
  EXPECT_EQ(TfrmOptions::UpDown1Max, 64);
  EXPECT_STREQ(TfrmOptions::Caption, "Options");
}

TEST_F(OptionsDialog, OkWritesOnlyWhatChangedIntoAnOwnerOnlyFile) {
  fields_ = form_.FormShow();
  ASSERT_TRUE(form_.Button1Click(fields_));
  EXPECT_FALSE(Exists(configPath_)) << "an untouched dialog pins no default";

  fields_.EditUserAgent = "mapper/1.0 (me@example.org)";
  ASSERT_TRUE(form_.Button1Click(fields_));
  EXPECT_TRUE(platform_.messages.empty());
  EXPECT_EQ(apptest::PermissionBits(configPath_), 0600u);
  EXPECT_EQ(ReadFile(configPath_), "[Network]\r\nUserAgent=mapper/1.0 (me@example.org)\r\n");
}

TEST_F(OptionsDialog, WritesWhatWasTypedAndShowsItNextTime) {
  fields_ = form_.FormShow();
  fields_.Edit12 = "/data/maps";
  fields_.Edit2 = "5";
  fields_.CheckBoxUseProxy = true;
  fields_.EditProxyServer = "proxy.local";
  fields_.EditProxyPort = "3128";
  fields_.EditProxyUsername = "me";
  fields_.EditProxyPassword = "secret";
  ASSERT_TRUE(form_.Button1Click(fields_));

  TfrmOptions again(platform_);
  const TfrmOptionsFields shown = again.FormShow();
  EXPECT_EQ(shown.Edit12, "/data/maps");
  EXPECT_EQ(shown.Edit2, "5");
  EXPECT_TRUE(shown.CheckBoxUseProxy);
  EXPECT_EQ(shown.EditProxyServer, "proxy.local");
  EXPECT_EQ(shown.EditProxyPort, "3128");
  EXPECT_EQ(shown.EditProxyUsername, "me");
  EXPECT_EQ(shown.EditProxyPassword, "secret");
  EXPECT_EQ(ReadFile(configPath_).find("UseProxy=1") != std::string::npos, true);
}

TEST_F(OptionsDialog, ReadsOddValuesAsTheMainWindowDoes) {
  WriteConfig("[IniParas]\r\nDefaultPath=\r\nDefaultThreadCount=0x10\r\n[Proxy]\r\nUseProxy=2\r\n");
  fields_ = form_.FormShow();
  EXPECT_EQ(fields_.Edit12, "");
  EXPECT_EQ(fields_.Edit2, "16");
  EXPECT_FALSE(fields_.CheckBoxUseProxy);
  const std::string before = ReadFile(configPath_);
  ASSERT_TRUE(form_.Button1Click(fields_));
  EXPECT_EQ(ReadFile(configPath_), before) << "odd values stay as they are until changed";

  WriteConfig("[IniParas]\r\nDefaultThreadCount=abc\r\n");
  fields_ = form_.FormShow();
  EXPECT_EQ(fields_.Edit2, "1");
  WriteConfig("[IniParas]\r\nDefaultThreadCount=100\r\n");
  fields_ = form_.FormShow();
  EXPECT_EQ(fields_.Edit2, "100");
}

struct PortCase {
  bool useProxy;
  std::string port;
  bool saved;
};

class OptionsPort : public OptionsDialog, public ::testing::WithParamInterface<PortCase> {};

TEST_P(OptionsPort, OnlyAUsablePortIsSaved) {
  fields_ = form_.FormShow();
  fields_.Edit12 = "/data/maps";
  fields_.CheckBoxUseProxy = GetParam().useProxy;
  fields_.EditProxyPort = GetParam().port;
  EXPECT_EQ(form_.Button1Click(fields_), GetParam().saved);
  EXPECT_EQ(Exists(configPath_), GetParam().saved) << "a refused port writes no key at all";
  if (GetParam().saved) {
    EXPECT_TRUE(platform_.messages.empty());
    return;
  }
  ASSERT_EQ(platform_.messages.size(), 1u);
  EXPECT_EQ(platform_.messages[0], "Proxy port '" + GetParam().port + "' is not a port number (1 to 65535).");
}

INSTANTIATE_TEST_SUITE_P(Table, OptionsPort,
                         ::testing::Values(PortCase{true, "abc", false}, PortCase{true, "70000", false},
                                           PortCase{true, "0", false}, PortCase{true, "", false},
                                           PortCase{false, "abc", false}, PortCase{false, "", true},
                                           PortCase{true, "1", true}, PortCase{true, "65535", true}));

TEST_F(OptionsDialog, AFileThatGetsAPasswordIsMadeOwnerOnly) {
  WriteConfig("[IniParas]\r\nDefaultThreadCount=2\r\n");
  std::filesystem::permissions(configPath_, std::filesystem::perms(0644));
  fields_ = form_.FormShow();
  ASSERT_TRUE(form_.Button1Click(fields_));
  EXPECT_EQ(apptest::PermissionBits(configPath_), 0644u) << "no password: the mode is the user's";

  fields_.EditProxyPassword = "secret";
  ASSERT_TRUE(form_.Button1Click(fields_));
  EXPECT_EQ(apptest::PermissionBits(configPath_), 0600u);
  EXPECT_EQ(IniFile(configPath_).ReadString("Proxy", "ProxyPassword", ""), "secret");
}

TEST_F(OptionsDialog, TileServerAndUserAgentAreWrittenOnlyWhenChanged) {
  WriteConfig("[Network]\r\nReadTimeout=9\r\n");
  fields_ = form_.FormShow();
  EXPECT_EQ(fields_.EditTileServer + fields_.EditUserAgent, "");
  ASSERT_TRUE(form_.Button1Click(fields_));
  EXPECT_EQ(ReadFile(configPath_).find("OpenStreetMap"), std::string::npos);
  EXPECT_EQ(ReadFile(configPath_).find("UserAgent"), std::string::npos);

  fields_.EditTileServer = "127.0.0.1:8080/tms/{z}/{x}/{-y}.png";
  fields_.EditUserAgent = "mapper/1.0 (me@example.org)";
  ASSERT_TRUE(form_.Button1Click(fields_));
  TfrmOptions again(platform_);
  const TfrmOptionsFields shown = again.FormShow();
  EXPECT_EQ(shown.EditTileServer, "127.0.0.1:8080/tms/{z}/{x}/{-y}.png");
  EXPECT_EQ(shown.EditUserAgent, "mapper/1.0 (me@example.org)");

  // Another program changed the key meanwhile: an untouched field leaves it be.
  IniFile(configPath_).WriteString("Network", "UserAgent", "edited by hand");
  ASSERT_TRUE(again.Button1Click(shown));
  EXPECT_EQ(IniFile(configPath_).ReadString("Network", "UserAgent", ""), "edited by hand");
  EXPECT_EQ(IniFile(configPath_).ReadInteger("Network", "ReadTimeout", 0), 9);
}

// The address of one tile follows the field as it is typed; OK refuses what Start would.
TEST_F(OptionsDialog, TheTileServerFieldShowsASampleAddress) {
  fields_ = form_.FormShow();
  const auto sample = [&] { return TfrmOptions::TileServerSampleText(fields_.EditTileServer); };
  EXPECT_EQ(sample(), "Sample tile: http://tile.openstreetmap.org/12/2138/1447.png");
  fields_.EditTileServer = "https://{s}.tiles.example.org/{z}/{x}/{y}.png?key=K";
  EXPECT_EQ(sample(), "Sample tile: https://a.tiles.example.org/12/2138/1447.png?key=K");
  fields_.EditTileServer = "https://tiles.example.org/{z}/{x}/{y}.png?key={key}";
  EXPECT_NE(sample().find("holds {key}, which only a tile source fills in"), std::string::npos) << sample();
  EXPECT_FALSE(form_.Button1Click(fields_));
  EXPECT_EQ(platform_.messages, std::vector<std::string>{sample()});
  EXPECT_FALSE(Exists(configPath_));
}

TEST_F(OptionsDialog, AFailedWriteKeepsTheDialogOpenAndSaysWhy) {
  // The configuration's folder is taken by a file: neither folder nor file can be made.
  WriteFile(folder_.Path() + "ini", "not a folder");
  fields_ = form_.FormShow();
  fields_.EditUserAgent = "mapper/1.0";
  EXPECT_FALSE(form_.Button1Click(fields_));
  ASSERT_EQ(platform_.messages.size(), 1u);
  EXPECT_NE(platform_.messages[0].find(folder_.Path() + "ini"), std::string::npos) << platform_.messages[0];

  platform_.messages.clear();
  std::filesystem::remove(folder_.Path() + "ini");
  fields_.Edit2 = "many";
  EXPECT_FALSE(form_.Button1Click(fields_));
  EXPECT_EQ(platform_.messages.size(), 1u);
  EXPECT_FALSE(Exists(configPath_)) << "nothing is written when a field is refused";
}

TEST_F(OptionsDialog, FolderButtonFillsThePathOnlyWhenChosen) {
  EXPECT_EQ(form_.Button3Click(), std::nullopt);
  platform_.nextFolder = "/chosen";
  EXPECT_EQ(form_.Button3Click(), "/chosen");
  EXPECT_EQ(platform_.folderDialogs, (std::vector<std::string>{"Select path", "Select path"}));
}

TEST_F(OptionsDialog, AnOverridePathReplacesTheUsualPlace) {
  TfrmOptions overridden(platform_, folder_.Path() + "custom.ini");
  TfrmOptionsFields fields = overridden.FormShow();
  fields.Edit2 = "4";
  ASSERT_TRUE(overridden.Button1Click(fields));
  EXPECT_TRUE(Exists(folder_.Path() + "custom.ini"));
  EXPECT_FALSE(Exists(configPath_));
}

}  // namespace
