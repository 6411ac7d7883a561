#include "TForm1.h"

#include <gtest/gtest.h>

#include "AppPaths.h"
#include "IniFile.h"
#include "MainWindowFixture.h"
#include "Unit2.h"

namespace {

using Lines = std::vector<std::string>;

// ---- Showing the window.

TEST_F(MainWindowTest, ShowsTheDefaultsWithoutAConfiguration) {
  EXPECT_EQ(form_->ConfigPath(), configPath_);
  EXPECT_EQ(form_->Face().Caption, "Quarnel 3.3");
  EXPECT_EQ(typed_.savePath, HomeFolder() + "/qrnl");
  EXPECT_EQ(typed_.threads, "1");
  EXPECT_EQ(TForm1::UpDown2Max, 8);
  ASSERT_EQ(form_->Face().comboMapsTypeItems.size(), 9u);
  EXPECT_EQ(form_->Face().comboMapsTypeItems[0], "Google Street Maps");
  EXPECT_EQ(form_->Face().comboMapsTypeItems[8], "OpenStreet Maps");
  EXPECT_EQ(typed_.mapsTypeIndex, 8);
  EXPECT_EQ(form_->Face().TrackBar1Min, 1);
  EXPECT_EQ(form_->Face().TrackBar1Max, 18);
  EXPECT_EQ(typed_.zoom, 12);
  EXPECT_EQ(form_->Face().Label8, "12");
  EXPECT_EQ(form_->Face().TrackBar1Hint, "12");
  EXPECT_EQ(typed_.taskName, "newtask.qrnl");
  EXPECT_EQ(form_->Face().BitBtn1Caption, "Start");
  EXPECT_EQ(form_->Memo1().ToVector(), Lines{"[log window]"});
  EXPECT_EQ(form_->Memo2().ToVector(), Lines{"[Failed tile inforamtion window]"});
  EXPECT_FALSE(platform_.timerEnabled);
}

struct ConfigCase {
  std::string iniParas;
  std::string edit6, edit10, caption;
  TileStorage storage = TileStorage::Folder;  // what "Save tiles in:" shows
};

class MainWindowConfig : public MainWindowTest, public ::testing::WithParamInterface<ConfigCase> {
  std::string ConfigText() override { return "[IniParas]\r\n" + GetParam().iniParas; }
};

TEST_P(MainWindowConfig, ShowsTheValuesAsRead) {
  EXPECT_EQ(typed_.savePath, GetParam().edit6);
  EXPECT_EQ(typed_.threads, GetParam().edit10);
  EXPECT_EQ(form_->Face().Caption, GetParam().caption);
  EXPECT_EQ(typed_.storage, GetParam().storage);
}

INSTANTIATE_TEST_SUITE_P(Table, MainWindowConfig,
                         ::testing::Values(ConfigCase{"DefaultPath=\r\n", "", "1", "Quarnel 3.3"},
                                           ConfigCase{"DefaultPath=/srv/m\r\nDefaultThreadCount=abc\r\n", "/srv/m", "1",
                                                      "Quarnel 3.3"},
                                           ConfigCase{"DefaultThreadCount=100\r\nVersion=4.1\r\n",
                                                      HomeFolder() + "/qrnl", "100", "Quarnel 4.1"},
                                           ConfigCase{"DefaultThreadCount=0x10\r\n", HomeFolder() + "/qrnl", "16",
                                                      "Quarnel 3.3"},
                                           ConfigCase{"TileStorage=file\r\n", HomeFolder() + "/qrnl", "1",
                                                      "Quarnel 3.3", TileStorage::File}));

TEST(MainWindowConfigPlace, DefaultsToTheWritableExecutableFolder) {
  ScratchFolder folder;
  FakePlatform platform(folder.Path());
  TForm1 form(platform);
  form.FormShow();
  EXPECT_EQ(form.ConfigPath(), folder.Path() + "ini/config.ini");
}

struct MapTypeCase {
  int32_t index, low, high;
};

class MapTypeSelector : public MainWindowTest, public ::testing::WithParamInterface<MapTypeCase> {};

TEST_P(MapTypeSelector, SetsTheZoomRangeAndDefault) {
  typed_.mapsTypeIndex = GetParam().index;
  form_->comboMapsTypeChange(entries_);
  EXPECT_EQ(form_->Face().TrackBar1Min, GetParam().low);
  EXPECT_EQ(form_->Face().TrackBar1Max, GetParam().high);
  EXPECT_EQ(typed_.zoom, 12);
  EXPECT_EQ(form_->Face().Label8, "12");
}

INSTANTIATE_TEST_SUITE_P(Table, MapTypeSelector,
                         ::testing::Values(MapTypeCase{0, 1, 19}, MapTypeCase{1, 1, 20}, MapTypeCase{2, 1, 15},
                                           MapTypeCase{3, 1, 18}, MapTypeCase{5, 1, 19}, MapTypeCase{8, 1, 18}));

TEST_F(MainWindowTest, SliderShowsItsPosition) {
  typed_.zoom = 7;
  form_->TrackBar1Change(entries_);
  EXPECT_EQ(form_->Face().Label8, "7");
  EXPECT_EQ(form_->Face().TrackBar1Hint, "7");
}

TEST_F(MainWindowTest, FolderButtonFillsTheSavePathOnlyWhenChosen) {
  typed_.savePath = "/before";
  form_->Button1Click(entries_);
  EXPECT_EQ(typed_.savePath, "/before");
  platform_.nextFolder = "/chosen";
  form_->Button1Click(entries_);
  EXPECT_EQ(typed_.savePath, "/chosen");
  EXPECT_EQ(platform_.folderDialogs, (Lines{"Select path to save", "Select path to save"}));
}

// ---- Start's checks.

struct CheckCase {
  const char* name;
  std::string edit6;  // "<save>" is the scratch save folder
  std::string left, right, top, bottom;
  std::string message;  // empty: accepted
};

class StartChecks : public MainWindowTest, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(StartChecks, ShowTheFirstFailingCheckOnly) {
  const CheckCase& c = GetParam();
  EnterTask();
  std::string edit6 = c.edit6;
  if (edit6.starts_with("<save>")) edit6.replace(0, 6, save_);
  typed_.savePath = edit6;
  typed_.left = c.left;
  typed_.right = c.right;
  typed_.top = c.top;
  typed_.bottom = c.bottom;
  Click();

  EXPECT_TRUE(platform_.errors.empty());
  if (c.message.empty()) {
    EXPECT_TRUE(platform_.messages.empty()) << platform_.messages[0];
    EXPECT_EQ(form_->Face().BitBtn1Caption, "Stop");
    EXPECT_TRUE(platform_.timerEnabled);
    EXPECT_EQ(TickUntilClosed(), 1);
    return;
  }
  std::string message = c.message;
  if (const auto at = message.find("<save>"); at != std::string::npos) message.replace(at, 6, save_);
  EXPECT_EQ(platform_.messages, Lines{message});
  EXPECT_EQ(form_->Face().BitBtn1Caption, "Start");
  EXPECT_FALSE(platform_.timerEnabled);
  EXPECT_EQ(form_->Task(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Table, StartChecks,
    ::testing::Values(
        CheckCase{"emptyFolderFirst", "", "x", "x", "x", "x", "Please select a path to save the images."},
        CheckCase{"folderNotCreated", "/dev/null/a/b", "x", "", "", "",
                  "Create directory /dev/null/a/b Failed. Not a directory."},
        CheckCase{"folderTwoLevelsDown", "<save>/a/b", "10", "20", "50", "40", ""},
        CheckCase{"notANumber", "<save>", "10", "20", "abc", "40", "Longitude or latitude input error!"},
        CheckCase{"decimalComma", "<save>", "10,5", "20", "50", "40", "Longitude or latitude input error!"},
        CheckCase{"emptyEntry", "<save>", "10", "20", "50", "", "Longitude or latitude input error!"},
        CheckCase{"leftHigh", "<save>", "180.5", "20", "50", "40", "Left Longitude should be between -180 and 180."},
        CheckCase{"leftLow", "<save>", "-181", "20", "50", "40", "Left Longitude should be between -180 and 180."},
        CheckCase{"rightHigh", "<save>", "10", "181", "50", "40", "Right Longitude should be between -180 and 180."},
        CheckCase{"topHigh", "<save>", "10", "20", "90.01", "40", "Top Latitude should be between -90 and 90."},
        CheckCase{"bottomLow", "<save>", "10", "20", "50", "-91", "Bottom Latitude should be between -90 and 90."},
        CheckCase{"leftAfterRight", "<save>", "21", "20", "50", "40", "Left Longitude should less than Right Longitude!"},
        CheckCase{"topBelowBottom", "<save>", "10", "20", "39", "40", "Bottom Latitude should less than Top Latitude!"},
        CheckCase{"severalLeftFirst", "<save>", "200", "300", "100", "-100",
                  "Left Longitude should be between -180 and 180."},
        CheckCase{"orderBeforeLatitudes", "<save>", "30", "20", "10", "20",
                  "Left Longitude should less than Right Longitude!"},
        CheckCase{"equalEdges", "<save>", "10", "10", "40", "40", ""},
        CheckCase{"longitudeBounds", "<save>", "-180", "180", "50", "40", ""},
        CheckCase{"blanksAndExponent", "<save>", " 1e1 ", "+20", "5E1", "40.0", ""},
        CheckCase{"newFolderCreated", "<save>", "10", "20", "50", "40", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, LatitudeBoundsPassTheChecks) {
  EnterTask();
  typed_.top = "90";
  typed_.bottom = "-90";
  Click();
  // The poles themselves may still fail the task set-up, but not the entry checks.
  for (const std::string& message : platform_.messages) EXPECT_EQ(message.find("Latitude"), std::string::npos);
  if (form_->TaskRunning()) TickUntilClosed();
}

TEST_F(MainWindowTest, AFailedSetUpSaysSo) {
  std::filesystem::create_directories(save_);
  WriteFile(SavePath() + "job", "a file where the tile folder goes");
  EnterTask();
  Click();
  ASSERT_FALSE(platform_.messages.empty());
  EXPECT_EQ(platform_.messages.back(), "Error: Create task failure.");
  EXPECT_EQ(form_->Face().BitBtn1Caption, "Start");
  EXPECT_FALSE(platform_.timerEnabled);
}

TEST_F(MainWindowTest, AThreadCountThatIsNoNumberIsAnError) {
  EnterTask("many");
  Click();
  EXPECT_EQ(platform_.errors.size(), 1u);
  EXPECT_EQ(form_->Face().BitBtn1Caption, "Start");
}

// ---- The task name.

struct NameCase {
  std::string typed, saved;
};

class TaskName : public MainWindowTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(TaskName, GetsTheProjectExtensionWhenItLacksIt) {
  EnterTask("1", GetParam().typed);
  Click();
  ASSERT_NE(form_->Parameters(), nullptr);
  EXPECT_EQ(form_->Parameters()->TaskFileName, GetParam().saved);
  EXPECT_EQ(form_->Parameters()->SavePath, SavePath());
  EXPECT_TRUE(Exists(SavePath() + GetParam().saved));
  TickUntilClosed();
}

INSTANTIATE_TEST_SUITE_P(Table, TaskName,
                         ::testing::Values(NameCase{"newtask", "newtask.qrnl"}, NameCase{"job.qrnl", "job.qrnl"},
                                           NameCase{"job.QRNL", "job.QRNL.qrnl"}, NameCase{"a.b", "a.b.qrnl"},
                                           NameCase{"a.qrnl.txt", "a.qrnl.txt.qrnl"}));

// ---- Resuming.

TEST_F(MainWindowTest, SameEntriesResumeAndKeepTheProjectFile) {
  EnterTask();
  Click();
  ASSERT_FALSE(form_->Parameters()->Resume);
  TickUntilClosed();
  const std::string project = ReadFile(SavePath() + "job.qrnl");
  const std::string firstLog = ReadFile(SavePath() + "job_log.txt");

  Click();
  ASSERT_TRUE(form_->Parameters()->Resume);
  EXPECT_EQ(ReadFile(SavePath() + "job.qrnl"), project);
  // The earlier run's log, closing lines included, stays ahead of the continuation.
  EXPECT_TRUE(ReadFile(SavePath() + "job_log.txt").starts_with(firstLog));
  EXPECT_EQ(form_->Memo1()[form_->Memo1().Count() - 2].rfind("Log continue...v=", 0), 0u);
  TickUntilClosed();
}

TEST_F(MainWindowTest, AnExistingTasksNameWithoutCoordinatesOffersToOpenIt) {
  EnterTask();
  Click();
  TickUntilClosed();
  platform_.messages.clear();
  typed_.left = typed_.right = typed_.top = typed_.bottom = "";
  typed_.taskName = "job";
  platform_.answers = {false, true};
  Click();
  EXPECT_EQ(platform_.questions, Lines{"A task named job.qrnl exists in " + save_ + ". Open it?"});
  EXPECT_EQ(typed_.left, "") << "a no changes nothing";
  Click();
  EXPECT_EQ((Lines{typed_.left, typed_.right, typed_.top, typed_.bottom}), (Lines{"10", "20", "50", "40"}));
  EXPECT_FALSE(form_->TaskRunning()) << "opened, not started";
  EXPECT_TRUE(platform_.messages.empty()) << platform_.messages[0];
}

TEST_F(MainWindowTest, TheTotalGoesWhenTheEntriesChange) {
  EnterTask();
  Click();
  TickUntilClosed();
  form_->EntriesChanged(entries_);
  EXPECT_EQ(form_->Face().LabelTotalxy, "Total images: 2") << "the same entries keep it";
  typed_.right = "30";
  form_->EntriesChanged(entries_);
  EXPECT_EQ(form_->Face().LabelTotalxy, "");
}

struct ResumeCase {
  const char* name;
  std::function<void(TaskEntries&)> change;
  bool resumes;
};

class ResumeTest : public MainWindowTest, public ::testing::WithParamInterface<ResumeCase> {};

TEST_P(ResumeTest, ComparesTheEntriesAsTheFileWritesThem) {
  EnterTask();
  Click();
  TickUntilClosed();
  GetParam().change(typed_);
  platform_.answers = {true};  // other entries replace the task only with a yes
  Click();
  ASSERT_NE(form_->Parameters(), nullptr) << (platform_.messages.empty() ? "" : platform_.messages[0]);
  EXPECT_EQ(form_->Parameters()->Resume, GetParam().resumes);
  EXPECT_EQ(platform_.questions.size(), GetParam().resumes ? 0u : 1u);
  TickUntilClosed();
}

INSTANTIATE_TEST_SUITE_P(
    Table, ResumeTest,
    ::testing::Values(ResumeCase{"unchanged", [](TaskEntries&) {}, true},
                      // Every text the project file writes as it stored it resumes.
                      ResumeCase{"trailingZero", [](TaskEntries& e) { e.left = "10.0"; }, true},
                      ResumeCase{"trailingZeroes", [](TaskEntries& e) { e.right = "20.000"; }, true},
                      ResumeCase{"exponent", [](TaskEntries& e) { e.top = "5e1"; }, true},
                      ResumeCase{"blanks", [](TaskEntries& e) { e.bottom = " 40 "; }, true},
                      ResumeCase{"beyondFifteenDigits", [](TaskEntries& e) { e.left = "10.00000000000001"; }, true},
                      ResumeCase{"withinFifteenDigits", [](TaskEntries& e) { e.left = "10.0000000000001"; }, false},
                      ResumeCase{"nineDecimals", [](TaskEntries& e) { e.top = "50.000000000"; }, true},
                      ResumeCase{"otherRight", [](TaskEntries& e) { e.right = "21"; }, false},
                      ResumeCase{"otherTop", [](TaskEntries& e) { e.top = "51"; }, false},
                      ResumeCase{"otherBottom", [](TaskEntries& e) { e.bottom = "41"; }, false},
                      ResumeCase{"otherZoom", [](TaskEntries& e) { e.zoom = 5; }, false},
                      ResumeCase{"otherThreads", [](TaskEntries& e) { e.threads = "2"; }, false},
                      ResumeCase{"otherMapType", [](TaskEntries& e) { e.mapsTypeIndex = 3; }, false},
                      ResumeCase{"nameWithoutExtension", [](TaskEntries& e) { e.taskName = "job"; }, true},
                      ResumeCase{"folderWithSlash", [](TaskEntries& e) { e.savePath += "/"; }, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, ANameTypedEitherWayResumesItsTask) {
  EnterTask("1", "job");
  Click();
  TickUntilClosed();
  Click();
  EXPECT_TRUE(form_->Parameters()->Resume) << "job is job.qrnl";
  EXPECT_EQ(form_->Parameters()->TaskFileName, "job.qrnl");
  TickUntilClosed();
  typed_.taskName = "job.qrnl";
  Click();
  EXPECT_TRUE(form_->Parameters()->Resume);
  TickUntilClosed();
}

// ---- The order of the task's files: a file that cannot be written stops
// Start there, with everything before it written and nothing after it.

struct WriteOrderCase {
  const char* blocked;
  int written;  // how many of the files ahead of it exist
};

class StartWriteOrder : public MainWindowTest, public ::testing::WithParamInterface<WriteOrderCase> {};

TEST_P(StartWriteOrder, StopsAtTheFileThatFails) {
  const Lines files = {"job.qrnl", "job_list.txt", "job_log.txt", "job_failed.ftl"};
  std::filesystem::create_directories(save_);
  std::filesystem::create_directory(SavePath() + GetParam().blocked);
  EnterTask("1");
  Click();

  EXPECT_EQ(platform_.errors.size(), 1u);
  EXPECT_TRUE(platform_.messages.empty());
  EXPECT_EQ(form_->Face().BitBtn1Caption, "Start");
  EXPECT_FALSE(platform_.timerEnabled);
  EXPECT_EQ(form_->RunningWorkers(), 0);
  EXPECT_EQ(form_->Face().LabelTotalxy, "");
  EXPECT_NE(form_->Task(), nullptr) << "the task is created, just not started";
  for (int i = 0; i < 4; ++i) {
    if (files[i] == GetParam().blocked) continue;
    EXPECT_EQ(std::filesystem::is_regular_file(SavePath() + files[i]), i < GetParam().written) << files[i];
  }
}

INSTANTIATE_TEST_SUITE_P(Table, StartWriteOrder,
                         ::testing::Values(WriteOrderCase{"job.qrnl", 0}, WriteOrderCase{"job_list.txt", 1},
                                           WriteOrderCase{"job_log.txt", 2}, WriteOrderCase{"job_failed.ftl", 3}));

TEST_F(MainWindowTest, AResumedTaskWithoutItsFailedListDoesNotStart) {
  EnterTask();
  Click();
  TickUntilClosed();
  std::filesystem::remove(SavePath() + "job_failed.ftl");
  Click();
  EXPECT_TRUE(form_->Parameters()->Resume);
  EXPECT_EQ(platform_.errors.size(), 1u);
  EXPECT_EQ(form_->Face().BitBtn1Caption, "Start");
}

// ---- A task without workers, from Start to its close.

TEST_F(MainWindowTest, ZeroThreadsAreRefusedRatherThanReportedAsDone) {
  EnterTask("0");
  Click();
  EXPECT_EQ(platform_.messages, Lines{"Threads count should be at least 1."});
  EXPECT_FALSE(form_->TaskRunning());
  EXPECT_FALSE(Exists(SavePath() + "job.qrnl"));
}

TEST_F(MainWindowTest, ARunWithoutWorkersLeftClosesAtTheFirstTick) {
  EnterTask("1");
  Click();
  ASSERT_TRUE(platform_.messages.empty());
  EXPECT_EQ(form_->Face().LabelTotalxy, "Total images: 2");
  EXPECT_EQ(form_->Face().BitBtn1Caption, "Stop");
  EXPECT_EQ(form_->RunningWorkers(), 0);
  EXPECT_TRUE(platform_.timerEnabled);
  EXPECT_EQ(view_.memo1Replaced, 1);
  EXPECT_EQ(form_->Memo1()[0], "Project: " + SavePath() + "job.qrnl");
  EXPECT_TRUE(form_->Memo2().Empty());
  EXPECT_EQ(ReadFile(SavePath() + "job.qrnl").find("ThreadCount=1\r\n") != std::string::npos, true);

  std::string captionDuringMessage;
  platform_.onMessage = [&](const std::string&) { captionDuringMessage = form_->Face().BitBtn1Caption; };
  form_->Timer1Timer();

  EXPECT_EQ(platform_.events, Lines{"message: Task stoped!" + std::string(20, ' ')});
  EXPECT_EQ(captionDuringMessage, "Start");
  EXPECT_FALSE(platform_.timerEnabled);
  const Lines closing = {"", std::string(32, '-'), "Task Stoped!", "", "Now time:" + platform_.now, "",
                         "Log file has been saved as " + SavePath() + "job_log.txt"};
  const Lines memo = form_->Memo1().ToVector();
  ASSERT_GE(memo.size(), closing.size());
  EXPECT_EQ(Lines(memo.end() - closing.size(), memo.end()), closing);

  std::string expectedLog;
  for (const std::string& line : memo) expectedLog += line + "\r\n";
  EXPECT_EQ(ReadFile(SavePath() + "job_log.txt"), expectedLog);
  EXPECT_EQ(ReadFile(SavePath() + "job_failed.ftl"), "");

  form_->Timer1Timer();  // a late tick after the close does nothing
  EXPECT_EQ(platform_.messages.size(), 1u);
}

TEST_F(MainWindowTest, AFailedWriteDuringTheCloseStillCloses) {
  EnterTask("1");
  Click();
  apptest::BlockWithFolder(SavePath() + "job_failed.ftl");
  form_->Timer1Timer();
  EXPECT_EQ(form_->Face().BitBtn1Caption, "Start");
  EXPECT_FALSE(platform_.timerEnabled);
  ASSERT_EQ(platform_.events.size(), 2u);
  EXPECT_EQ(platform_.events[0].rfind("error: ", 0), 0u) << platform_.events[0];
  EXPECT_EQ(platform_.events[1], "message: Task stoped!" + std::string(20, ' '));
  // The log went out before the failing list.
  EXPECT_NE(ReadFile(SavePath() + "job_log.txt").find("Task Stoped!"), std::string::npos);
}

// ---- The project-file reader.

class ProjectReader : public MainWindowTest {
 protected:
  std::string WriteProject(const std::string& body) {
    std::filesystem::create_directories(save_);
    const std::string path = SavePath() + "p.qrnl";
    WriteFile(path, body);
    return path;
  }
};

TEST_F(ProjectReader, PutsTheStoredTextsIntoTheEntries) {
  const std::string path = WriteProject(
      "[MapsType]\r\nMapsType=8\r\n\r\n[AREA]\r\nLeftLongitude=10.5\r\nRightLongitude=20\r\nTopLatitude=50\r\n"
      "BottomLatitude=40.250\r\n\r\n[Zoom]\r\nZoom=4\r\n\r\n[THREADS]\r\nThreadCount=2\r\nT1X=\r\n");
  platform_.nextFile = path;
  form_->Button4Click(entries_);
  ASSERT_EQ(platform_.fileDialogs.size(), 1u);
  EXPECT_EQ(platform_.fileDialogs[0].title, "Open project file:");
  EXPECT_EQ(platform_.fileDialogs[0].filter, "Projects(*.qrnl)|*.qrnl");
  EXPECT_EQ(platform_.fileDialogs[0].startFolder, HomeFolder() + "/qrnl");
  EXPECT_EQ(typed_.left, "10.5");
  EXPECT_EQ(typed_.right, "20");
  EXPECT_EQ(typed_.top, "50");
  EXPECT_EQ(typed_.bottom, "40.250");
  EXPECT_EQ(typed_.threads, "2");
  EXPECT_EQ(typed_.savePath, SavePath());
  EXPECT_EQ(typed_.taskName, "p.qrnl");
  EXPECT_EQ(typed_.mapsTypeIndex, 8);
  EXPECT_EQ(typed_.zoom, 4);
  EXPECT_EQ(form_->Face().Label8, "4");
  EXPECT_TRUE(platform_.errors.empty());
}

TEST_F(ProjectReader, ADamagedFileIsRefusedAndChangesNoEntry) {
  const std::string path = WriteProject("[AREA]\r\nLeftLongitude=1\r\n");
  typed_.left = "keep";
  form_->LoadProjectFile(entries_, path);
  EXPECT_EQ(typed_.left, "keep");
  EXPECT_EQ(typed_.zoom, 12) << "no zoom 0 read from a missing key";
  ASSERT_EQ(platform_.messages.size(), 1u);
  EXPECT_NE(platform_.messages[0].find(path), std::string::npos);
  EXPECT_NE(platform_.messages[0].find("RightLongitude is missing"), std::string::npos) << platform_.messages[0];
}

TEST_F(ProjectReader, AnotherMapTypeSetsItsRangeAndTheStoredZoomWins) {
  const std::string area = "[AREA]\r\nLeftLongitude=1\r\nRightLongitude=2\r\nTopLatitude=2\r\nBottomLatitude=1\r\n"
                           "[THREADS]\r\nThreadCount=1\r\n";
  form_->LoadProjectFile(entries_, WriteProject(area + "[MapsType]\r\nMapsType=2\r\n[Zoom]\r\nZoom=9\r\n"));
  EXPECT_EQ(typed_.mapsTypeIndex, 2);
  EXPECT_EQ(form_->Face().TrackBar1Max, 15);
  EXPECT_EQ(typed_.zoom, 9);

  form_->LoadProjectFile(entries_, WriteProject(area + "[MapsType]\r\nMapsType=12\r\n[Zoom]\r\nZoom=3\r\n"));
  EXPECT_EQ(typed_.mapsTypeIndex, -1);
  EXPECT_EQ(form_->Face().TrackBar1Max, 15) << "no valid row: the slider's range stays";
  EXPECT_EQ(typed_.zoom, 3);
}

TEST_F(ProjectReader, CancelChangesNothingAndAMissingFileIsAnError) {
  typed_.left = "keep";
  form_->Button4Click(entries_);
  EXPECT_EQ(typed_.left, "keep");
  form_->LoadProjectFile(entries_, SavePath() + "missing.qrnl");
  EXPECT_EQ(typed_.left, "keep");
  EXPECT_EQ(platform_.messages, Lines{"Cannot open the project file " + SavePath() + "missing.qrnl."});
}

TEST_F(ProjectReader, AnOpenedTaskResumesWithUnchangedEntries) {
  EnterTask("1", "p.qrnl");
  typed_.left = "10.5";
  Click();
  TickUntilClosed();
  EnterTask("3", "other");
  form_->LoadProjectFile(entries_, SavePath() + "p.qrnl");
  EXPECT_EQ(typed_.left, "10.5");
  Click();
  EXPECT_TRUE(form_->Parameters()->Resume);
  TickUntilClosed();
}

// ---- Help, tools and the log file.

TEST_F(MainWindowTest, ViewLogFileSaysWhatIsMissing) {
  form_->Viewlogfile1Click();
  EXPECT_EQ(platform_.messages, Lines{"No task running now." + std::string(18, ' ')});

  EnterTask();
  Click();
  TickUntilClosed();
  platform_.messages.clear();
  form_->Viewlogfile1Click();
  form_->Memo1DblClick();
  EXPECT_EQ(platform_.shellOpened, (Lines{SavePath() + "job_log.txt", SavePath() + "job_log.txt"}));
  EXPECT_TRUE(platform_.messages.empty());

  std::filesystem::remove(SavePath() + "job_log.txt");
  form_->Memo1DblClick();
  EXPECT_EQ(platform_.messages, Lines{"No logfile now." + std::string(25, ' ')});
}

TEST_F(MainWindowTest, CompanionProgramsStartOnlyWhenPresent) {
  form_->MapViewer1Click();
  form_->MapCombiner1Click();
  EXPECT_TRUE(platform_.programsStarted.empty());
  WriteFile(exe_ + "glimmet", "");
  WriteFile(exe_ + "stitchel", "");
  form_->MapViewer1Click();
  form_->MapCombiner1Click();
  EXPECT_EQ(platform_.programsStarted, (Lines{exe_ + "glimmet", exe_ + "stitchel"}));
  EXPECT_TRUE(platform_.messages.empty());
}

// The companions open the task the window names, not the one started last elsewhere.
TEST_F(MainWindowTest, CompanionProgramsOpenTheWindowsTask) {
  WriteFile(exe_ + "glimmet", "");
  WriteFile(exe_ + "stitchel", "");
  EnterTask("1", "job");
  std::filesystem::create_directories(save_);
  WriteFile(SavePath() + "job.qrnl", "");
  form_->EntriesChanged(entries_);
  form_->MapViewer1Click();
  form_->MapCombiner1Click();
  const std::string project = SavePath() + "job.qrnl";
  EXPECT_EQ(platform_.programsStarted, (Lines{exe_ + "glimmet " + project, exe_ + "stitchel " + project}));
}

TEST_F(MainWindowTest, HelpEntriesOpenTheManualAndTheHomepage) {
  std::filesystem::create_directories(exe_ + "help");
  WriteFile(exe_ + "help/help.html", "<html></html>");
  form_->Usermanual1Click();
  form_->Homepage1Click();
  EXPECT_EQ(platform_.shellOpened, (Lines{exe_ + "help/help.html", kHomepageAddress}));
  EXPECT_TRUE(platform_.messages.empty());
}

TEST_F(MainWindowTest, TheManualSaysWhenItIsMissingOrNothingCanShowIt) {
  form_->Usermanual1Click();
  EXPECT_TRUE(platform_.shellOpened.empty());
  EXPECT_EQ(platform_.messages, (Lines{"The user manual is missing:\n" + exe_ + "help/help.html"}));

  platform_.messages.clear();
  std::filesystem::create_directories(exe_ + "help");
  WriteFile(exe_ + "help/help.html", "<html></html>");
  platform_.noProgramForFiles = true;
  form_->Usermanual1Click();
  EXPECT_EQ(platform_.messages,
            (Lines{"No program could show the user manual. Open this file in a web browser:\n" + exe_ + "help/help.html"}));
}

TEST_F(MainWindowTest, ExitWithoutATaskJustEnds) {
  form_->Exit1Click();
  EXPECT_EQ(view_.exitRequested, 1);
  EXPECT_TRUE(platform_.errors.empty());
}

TEST(AboutBox, TakesTheCurrentCaptionAndOpensItsLinks) {
  FakePlatform platform;
  TfrmAbout about(platform);
  about.FormShow("Quarnel 3.3");
  EXPECT_EQ(about.TitleLine, "Quarnel 3.3");
  about.FormShow("Quarnel 4.0");
  EXPECT_EQ(about.TitleLine, "Quarnel 4.0");
  EXPECT_EQ(about.HomepageLink, kHomepageAddress);
  EXPECT_EQ(about.MailLink, kSupportMailAddress);
  EXPECT_STREQ(TfrmAbout::Caption, "About");
  about.HomepageLinkClick();
  about.MailLinkClick();
  EXPECT_EQ(platform.shellOpened, (Lines{kHomepageAddress, std::string("mailto:") + kSupportMailAddress}));
}

}  // namespace
