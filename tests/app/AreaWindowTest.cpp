// The window's area and zoom range: Area... and the "to" control reach the
// run, an area task resumes only as itself, and a range runs one task per
// level and resumes where it stopped.

#include <gtest/gtest.h>

#include <filesystem>

#include "AreaGeoJson.h"
#include "MainWindowFixture.h"
#include "NumberEntry.h"
#include "ProgressLine.h"
#include "ProjectFile.h"
#include "TextFormat.h"
#include "ZoomLevels.h"

namespace {

namespace fs = std::filesystem;

// Half of the reference rectangle 10..20 east, 40..50 north, cut along its diagonal.
const char* kTriangle = R"({"type":"Polygon","coordinates":[[[10,40],[20,40],[10,50],[10,40]]]})";

class AreaWindowTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    if (!fs::exists(exe_ + "quarnel-area-import"))
      fs::create_symlink(QUARNEL_AREA_IMPORT_PROGRAM, exe_ + "quarnel-area-import");
    WriteFile(folder_.Path() + "triangle.geojson", kTriangle);
    platform_.messages.clear();
    platform_.questions.clear();
  }

  // Area... answered with file, widened by buffer metres.
  void ChooseArea(const std::string& file, const std::string& buffer = "0") {
    platform_.nextFile = file;
    entries_.buffer = buffer;
    form_->AreaButtonClick(entries_);
  }

  // Closes the level in hand and lets the next one start, as the GUI thread's queue would.
  void CloseLevel() {
    form_->Timer1Timer();
    ASSERT_TRUE(platform_.PumpUntil([&] { return form_->Timer1Enabled() || !form_->TaskRunning(); }));
  }

  std::string Project(const std::string& name) { return ReadFile(SavePath() + name); }
};

TEST_F(AreaWindowTest, AreaButtonMakesTheFileTheTasksAreaAndStartFetchesOnlyItsInside) {
  EnterTask();
  typed_.zoom = 6;
  ChooseArea(folder_.Path() + "triangle.geojson");
  ASSERT_TRUE(platform_.messages.empty()) << platform_.messages[0];
  EXPECT_EQ(platform_.fileDialogs.at(0).title, "Open area file:");
  EXPECT_EQ(form_->Face().LabelArea, "triangle.geojson");
  EXPECT_EQ((std::vector<std::string>{typed_.left, typed_.right, typed_.top, typed_.bottom}),
            (std::vector<std::string>{"10", "20", "50", "40"}));
  TaskEntries rectangle = form_->StartEntries();
  ASSERT_TRUE(rectangle.area);
  const int64_t inside = TilesOf(rectangle).value();
  rectangle.area.reset();
  ASSERT_LT(inside, TilesOf(rectangle).value());
  EXPECT_EQ(form_->Face().LabelEstimate, std::to_string(inside) + " tiles, " + SizeEstimateText(inside));

  Click();
  ASSERT_NE(form_->Task(), nullptr);
  EXPECT_EQ(form_->Task()->TotalTiles, inside);
  EXPECT_EQ(form_->Face().LabelTotalxy, "Total images: " + std::to_string(inside));
  EXPECT_EQ(ReadAreaGeoJson(SavePath() + "job_area.geojson"), *form_->CurrentArea());
  EXPECT_NE(Project("job.qrnl").find("AreaFile=job_area.geojson\r\n"), std::string::npos);
  TickUntilClosed();

  Click();
  EXPECT_TRUE(form_->Parameters()->Resume) << "the same area and entries resume";
  TickUntilClosed();

  // Typing over the bounds goes back to the rectangle, which is another task.
  typed_.left = "10.0";
  form_->EntriesChanged(entries_);
  EXPECT_EQ(form_->Face().LabelArea, TForm1::kNoAreaText);
  typed_.left = "10";
  form_->EntriesChanged(entries_);
  EXPECT_EQ(form_->CurrentArea(), nullptr) << "the area stays dropped";
  Click();
  EXPECT_EQ(platform_.questions.size(), 1u) << "the rectangle never resumes the area's task";
  EXPECT_FALSE(form_->TaskRunning());
}

// A buffer typed after Area... widens the same file anew, when the entry is
// left or at the latest at Start; one that cannot be read refuses Start.
TEST_F(AreaWindowTest, ABufferTypedLaterIsAppliedToTheAreaFile) {
  WriteFile(folder_.Path() + "line.geojson", R"({"type":"LineString","coordinates":[[10,45],[11,45]]})");
  EnterTask();
  typed_.zoom = 12;
  ChooseArea(folder_.Path() + "line.geojson", "0");
  const int64_t bare = TilesOf(form_->StartEntries()).value();

  entries_.buffer = "5000";
  form_->BufferChanged(entries_);
  EXPECT_EQ(form_->Face().LabelArea, "line.geojson + 5000 m");
  const int64_t widened = TilesOf(form_->StartEntries()).value();
  EXPECT_GT(widened, bare);

  entries_.buffer = "20000";
  Click();
  ASSERT_NE(form_->Task(), nullptr);
  EXPECT_EQ(form_->Face().LabelArea, "line.geojson + 20000 m");
  EXPECT_GT(form_->Task()->TotalTiles, widened);
  TickUntilClosed();
  platform_.messages.clear();

  entries_.buffer = "wide";
  form_->BitBtn1Click(entries_);
  EXPECT_EQ(platform_.messages.size(), 1u);
  EXPECT_FALSE(form_->TaskRunning());
  EXPECT_EQ(form_->Face().LabelArea, "line.geojson + 20000 m") << "the applied area stays";
}

struct AreaRefusal {
  const char* name;
  std::string file;    // in the scratch folder
  std::string text;    // its content; none: no file
  std::string buffer;
  std::string message;  // a part of it
};

class AreaButtonRefusal : public AreaWindowTest, public ::testing::WithParamInterface<AreaRefusal> {};

TEST_P(AreaButtonRefusal, SaysWhyAndChangesNothing) {
  const AreaRefusal& c = GetParam();
  EnterTask();
  if (!c.text.empty()) WriteFile(folder_.Path() + c.file, c.text);
  ChooseArea(folder_.Path() + c.file, c.buffer);
  ASSERT_EQ(platform_.messages.size(), 1u);
  EXPECT_NE(platform_.messages[0].find(c.message), std::string::npos) << platform_.messages[0];
  EXPECT_TRUE(platform_.errors.empty());
  EXPECT_EQ(form_->Face().LabelArea, TForm1::kNoAreaText);
  EXPECT_EQ(form_->CurrentArea(), nullptr);
  EXPECT_EQ(typed_.left, "10");
}

INSTANTIATE_TEST_SUITE_P(
    Table, AreaButtonRefusal,
    ::testing::Values(AreaRefusal{"negativeBuffer", "triangle.geojson", "", "-5", "must not be negative"},
                      AreaRefusal{"notAVectorFile", "notes.kml", "these are notes", "0", "notes.kml"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AreaWindowTest, OpenTaskRestoresTheAreaOrRefusesATaskWithoutIt) {
  EnterTask();
  ChooseArea(folder_.Path() + "triangle.geojson");
  Click();
  TickUntilClosed();

  SetUp();  // a fresh window
  form_->LoadProjectFile(entries_, SavePath() + "job.qrnl");
  EXPECT_EQ(form_->Face().LabelArea, "job_area.geojson");
  ASSERT_NE(form_->CurrentArea(), nullptr);
  Click();
  EXPECT_TRUE(form_->Parameters()->Resume);
  TickUntilClosed();

  SetUp();
  fs::remove(SavePath() + "job_area.geojson");
  form_->LoadProjectFile(entries_, SavePath() + "job.qrnl");
  ASSERT_EQ(platform_.messages.size(), 1u);
  EXPECT_NE(platform_.messages[0].find(SavePath() + "job_area.geojson is missing"), std::string::npos);
  EXPECT_EQ(typed_.left, "") << "no entry changes";
  EXPECT_EQ(typed_.taskName, "newtask.qrnl");

  // Typed in again, the task's missing area is no reason to resume it as its rectangle.
  EnterTask();
  Click();
  ASSERT_EQ(platform_.questions.size(), 1u);
  EXPECT_NE(platform_.questions[0].find("job_area.geojson is missing"), std::string::npos) << platform_.questions[0];
  EXPECT_FALSE(form_->TaskRunning());
}

TEST_F(AreaWindowTest, BoundsAreRoundedOutwardToTextsTheProjectFileKeeps) {
  Area area;
  area.points = {{10.1234567890123456, -33.33333333333333}, {20.98765432109876, 44.44444444444444}};
  const TaskEntries entries = WithArea({}, std::make_shared<const Area>(area));
  const double values[] = {*ParseCoordinate(entries.left), *ParseCoordinate(entries.right),
                           *ParseCoordinate(entries.top), *ParseCoordinate(entries.bottom)};
  EXPECT_LE(values[0], area.points[0].longitude);
  EXPECT_GE(values[1], area.points[1].longitude);
  EXPECT_GE(values[2], area.points[1].latitude);
  EXPECT_LE(values[3], area.points[0].latitude);
  for (const std::string* text : {&entries.left, &entries.right, &entries.top, &entries.bottom})
    EXPECT_EQ(FormatGeneral(*ParseCoordinate(*text)), *text) << "the resume test compares texts";
  EXPECT_TRUE(HoldsAreaBounds(entries));
}

TEST_F(AreaWindowTest, ToFollowsTheSliderUntilItIsMovedAndNeverStandsBelowIt) {
  const auto slide = [&](int32_t position) {
    typed_.zoom = position;
    form_->TrackBar1Change(entries_);
  };
  slide(9);
  EXPECT_EQ(entries_.zoomTo, 9);
  EXPECT_EQ(form_->LastZoom(), 9);
  entries_.zoomTo = 14;
  form_->ZoomToChange(entries_);
  slide(11);
  EXPECT_EQ(entries_.zoomTo, 14);
  EXPECT_EQ(form_->LastZoom(), 14);
  slide(16);
  EXPECT_EQ(entries_.zoomTo, 16);
  entries_.zoomTo = 3;
  form_->ZoomToChange(entries_);
  EXPECT_EQ(entries_.zoomTo, 16);
  entries_.zoomTo = 30;
  form_->ZoomToChange(entries_);
  EXPECT_EQ(entries_.zoomTo, 18) << "the slider's highest level";
}

// Levels of 2, 6 and 12 tiles: each fits the disk, the three together do not.
TEST_F(AreaWindowTest, ARangesSpaceIsTheWholeJobsAskedOnce) {
  EnterTask("8");
  entries_.zoomTo = 6;
  form_->ZoomToChange(entries_);
  platform_.freeDiskBytes = 16 * kTypicalTileBytes;
  Click();
  EXPECT_EQ(platform_.questions,
            std::vector<std::string>{"20 tiles over levels 4 to 6, about 0.0 GB; the disk has 0.0 GB free. Start?"});
  EXPECT_FALSE(form_->TaskRunning());
  EXPECT_FALSE(fs::exists(SavePath() + "job_z4.qrnl"));
}

TEST_F(AreaWindowTest, ARangeRunsOneTaskPerLevelAndALaterStartResumesWhereItStopped) {
  EnterTask("8");
  entries_.zoomTo = 6;
  form_->ZoomToChange(entries_);
  EXPECT_EQ(form_->Face().LabelEstimate, "zoom 4: 2 tiles, " + SizeEstimateText(2) + "; zoom 5: 6 tiles, " +
                                      SizeEstimateText(6) + "; zoom 6: 12 tiles, " + SizeEstimateText(12) +
                                      "; in all 20 tiles, " + SizeEstimateText(20));
  Click();
  ASSERT_TRUE(form_->TaskRunning());
  EXPECT_EQ(form_->Parameters()->TaskFileName, "job_z4.qrnl");
  EXPECT_EQ(form_->Parameters()->ThreadCount, 2);
  EXPECT_EQ(form_->Face().progress.ProgressBar1Max, 20);
  EXPECT_EQ(form_->Face().progress.LabelProgress.rfind("level 4 (1 of 3): 0 of 20 tiles", 0), 0u) << form_->Face().progress.LabelProgress;
  CloseLevel();
  EXPECT_EQ(form_->Parameters()->TaskFileName, "job_z5.qrnl");
  EXPECT_EQ(form_->Face().BitBtn1Caption, "Stop");
  EXPECT_EQ(form_->Face().progress.LabelProgress.rfind("level 5 (2 of 3): 2 of 20 tiles", 0), 0u) << form_->Face().progress.LabelProgress;
  EXPECT_TRUE(platform_.messages.empty()) << "no closing message between levels";

  Click();  // Stop: the level in hand ends, and the range with it
  TickUntilClosed();
  EXPECT_FALSE(form_->TaskRunning());
  EXPECT_EQ(form_->Face().BitBtn1Caption, "Start");
  EXPECT_EQ(platform_.messages, std::vector<std::string>{"Task stoped!" + std::string(20, ' ')});
  EXPECT_FALSE(fs::exists(SavePath() + "job_z6.qrnl"));

  // Level 4 done (its two workers' last tiles saved), level 5 stopped at its start.
  WriteProjectPositions(SavePath() + "job_z4.qrnl", {{8, 6}, {8, 5}});
  const std::string doneLevel = Project("job_z4.qrnl");
  Click();
  ASSERT_TRUE(form_->TaskRunning());
  EXPECT_EQ(form_->Parameters()->TaskFileName, "job_z5.qrnl");
  EXPECT_TRUE(form_->Parameters()->Resume);
  EXPECT_TRUE(platform_.questions.empty()) << platform_.questions[0];
  EXPECT_EQ(Project("job_z4.qrnl"), doneLevel) << "a level done is passed over untouched";
  CloseLevel();
  EXPECT_EQ(form_->Parameters()->TaskFileName, "job_z6.qrnl");
  CloseLevel();
  EXPECT_FALSE(form_->TaskRunning());
  EXPECT_EQ(form_->Face().BitBtn1Caption, "Start");
  EXPECT_EQ(form_->Face().progress.LabelProgress.rfind("level 6 (3 of 3): Summary: ", 0), 0u) << form_->Face().progress.LabelProgress;
  EXPECT_EQ(platform_.messages.size(), 2u) << "one closing message for the range";
}

TEST(ZoomLevelsTest, ALevelIsNamedAfterTheTaskAndKeepsNoMoreThreadsThanTiles) {
  EXPECT_EQ(ZoomLevelTaskName("alps", 14), "alps_z14.qrnl");
  EXPECT_EQ(ZoomLevelTaskName("alps.qrnl", 3), "alps_z3.qrnl");
  TaskEntries entries;
  entries.left = "10", entries.right = "20", entries.top = "50", entries.bottom = "40";
  entries.threads = "8", entries.taskName = "job.qrnl", entries.zoom = 4;
  EXPECT_EQ(LevelEntries(entries, 4).threads, "2");
  EXPECT_EQ(LevelEntries(entries, 6).threads, "8") << "12 tiles";
  EXPECT_EQ(LevelEntries(entries, 6).taskName, "job_z6.qrnl");
  entries.threads = "x";
  EXPECT_EQ(LevelEntries(entries, 4).threads, "x") << "left for Start to refuse";
}

}  // namespace
