#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QCheckBox>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>

#include "CombineReaders.h"
#include "CombineTestSupport.h"
#include "StitchelTestSupport.h"
#include "StitchelWindow.h"
#include "TestFiles.h"

namespace {

struct Shown {
  std::string text;
  bool warning = false;
  int count = 0;
};

class StitchelWindowTest : public testing::Test {
 protected:
  void Answer(StitchelWindow& window) {
    window.showMessage = [this](const std::string& text, bool warning) {
      shown.text = text;
      shown.warning = warning;
      ++shown.count;
    };
  }
  ScratchFolder folder{"stitchelwindow"};
  Shown shown;
};

TEST_F(StitchelWindowTest, OpensTheTaskCombinesAndReports) {
  const TaskOnDisk task = WriteTask(folder.Path(), "task", 8, 5, 0, 30, 30, 10);
  WriteFile(task.TilePath(task.minX, task.topMinRow), "junk");
  StitchelWindow window(ResourcesFolder(), {task.projectPath});
  Answer(window);
  window.show();
  ASSERT_EQ(window.taskList->count(), 1);
  EXPECT_EQ(window.taskList->item(0)->text().toStdString(), task.projectPath);
  EXPECT_EQ(window.outputEdit->text().toStdString(), folder / "task.tif");
  window.kindBox->setCurrentIndex(1);
  EXPECT_EQ(window.outputEdit->text().toStdString(), folder / "task.mbtiles");

  QTest::mouseClick(window.combineButton, Qt::LeftButton);
  EXPECT_FALSE(window.combineButton->isEnabled());
  EXPECT_TRUE(window.cancelButton->isEnabled());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window.Running(); }, 30000));
  EXPECT_EQ(shown.count, 1);
  EXPECT_NE(shown.text.find("tiles written to " + folder / "task.mbtiles"), std::string::npos) << shown.text;
  EXPECT_TRUE(shown.warning);  // one bad tile
  EXPECT_NE(window.reportView->toPlainText().toStdString().find("neither PNG nor JPEG"), std::string::npos);
  EXPECT_EQ(window.progressBar->value(), 100);
  EXPECT_TRUE(Exists(folder / "task.mbtiles"));
  EXPECT_TRUE(window.combineButton->isEnabled());
}

TEST_F(StitchelWindowTest, ARefusalIsAWarningWritesNothingAndGoesWithItsTask) {
  const TaskOnDisk task = WriteTask(folder.Path(), "task", 8, 4, 10, 50, 20, 40);
  WriteFile(folder / "task.tif", "mine");
  StitchelWindow window(ResourcesFolder(), {task.projectPath});
  Answer(window);
  QTest::mouseClick(window.combineButton, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window.Running(); }, 30000));
  EXPECT_TRUE(shown.warning);
  EXPECT_NE(shown.text.find("exists; tick \"Replace an existing output\""), std::string::npos) << shown.text;
  EXPECT_EQ(shown.text.find("--force"), std::string::npos) << shown.text;
  EXPECT_EQ(ReadFile(folder / "task.tif"), "mine");
  EXPECT_EQ(window.statusLabel->text().toStdString(), shown.text);

  const TaskOnDisk other = WriteTask(folder.Path(), "other", 8, 4, 10, 50, 20, 40);
  window.OpenTasks({other.projectPath});
  EXPECT_EQ(window.statusLabel->text(), "");
  EXPECT_EQ(window.progressBar->value(), 0);
  EXPECT_TRUE(window.combineButton->isEnabled());
}

TEST_F(StitchelWindowTest, WithoutATaskNothingCanStart) {
  StitchelWindow window(ResourcesFolder(), {});
  EXPECT_FALSE(window.combineButton->isEnabled());
  EXPECT_FALSE(window.cancelButton->isEnabled());
  EXPECT_FALSE(window.levelsButton->isEnabled());
  EXPECT_FALSE(window.openFolderButton->isEnabled());
}

// A whole --zoom A-B job: one level opened, its other levels taken, lower
// levels built into a PMTiles archive, and the folder opened at the end.
TEST_F(StitchelWindowTest, CombinesAWholeJobWithLowerLevelsAndOpensItsFolder) {
  WriteTask(folder.Path(), "job_z6", 8, 6, 0, 30, 30, 10);
  const TaskOnDisk z7 = WriteTask(folder.Path(), "job_z7", 8, 7, 0, 30, 30, 10);
  StitchelWindow window(ResourcesFolder(), {z7.projectPath}, folder / "config.ini");
  Answer(window);
  std::vector<std::string> opened;
  window.openFolder = [&](const std::string& path) { opened.push_back(path); };
  ASSERT_TRUE(window.levelsButton->isEnabled());
  QTest::mouseClick(window.levelsButton, Qt::LeftButton);
  EXPECT_EQ(window.Tasks(), (std::vector<std::string>{folder / "job_z6.qrnl", z7.projectPath}));
  EXPECT_FALSE(window.levelsButton->isEnabled());

  EXPECT_FALSE(window.minZoomBox->isEnabled());  // a GeoTIFF has overviews instead
  EXPECT_FALSE(window.largeTilesBox->isEnabled());
  window.kindBox->setCurrentIndex(2);
  EXPECT_EQ(window.outputEdit->text().toStdString(), folder / "job.pmtiles");
  ASSERT_TRUE(window.minZoomBox->isEnabled());
  EXPECT_EQ(window.minZoomSpin->maximum(), 6);
  EXPECT_EQ(window.minZoomSpin->value(), 2);
  EXPECT_FALSE(window.paletteBox->isEnabled());  // nothing built yet to make a palette of
  window.minZoomBox->setChecked(true);
  ASSERT_TRUE(window.paletteBox->isEnabled());
  window.paletteBox->setChecked(true);
  window.minZoomSpin->setValue(4);
  QTest::mouseClick(window.combineButton, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window.Running(); }, 30000));
  EXPECT_FALSE(shown.warning) << shown.text;
  EXPECT_NE(shown.text.find("tiles built for the lower levels"), std::string::npos) << shown.text;
  EXPECT_TRUE(Exists(folder / "job.pmtiles"));

  ASSERT_TRUE(window.openFolderButton->isEnabled());
  QTest::mouseClick(window.openFolderButton, Qt::LeftButton);
  EXPECT_EQ(opened, std::vector<std::string>{folder.Path().substr(0, folder.Path().size() - 1)});
}

// "512-pixel tiles" reaches the combine: the MBTiles says so and begins a level above the task.
TEST_F(StitchelWindowTest, TheLargeTilesBoxWrites512PixelTiles) {
  const TaskOnDisk task = WriteTask(folder.Path(), "hd", 8, 6, 0, 30, 30, 10);
  StitchelWindow window(ResourcesFolder(), {task.projectPath});
  Answer(window);
  window.kindBox->setCurrentIndex(1);
  ASSERT_EQ(window.outputEdit->text().toStdString(), folder / "hd.mbtiles");
  ASSERT_TRUE(window.largeTilesBox->isEnabled());
  window.largeTilesBox->setChecked(true);
  EXPECT_TRUE(window.paletteBox->isEnabled());
  QTest::mouseClick(window.combineButton, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window.Running(); }, 30000));
  EXPECT_FALSE(shown.warning) << shown.text;
  EXPECT_NE(shown.text.find("tiles of 512 pixels written to"), std::string::npos) << shown.text;
  combinetest::Sqlite db(folder / "hd.mbtiles");
  EXPECT_EQ(db.Metadata()["tilesize"], "512");
  EXPECT_EQ(db.Metadata()["maxzoom"], "5");
}

// "Cut to the area's outline" is offered for images only and reaches the
// combine: the corner of the tile under the triangle's apex, outside the
// outline, comes out transparent.
TEST_F(StitchelWindowTest, TheClipCheckBoxCutsAnImageToTheArea) {
  const TaskOnDisk task =
      WriteAreaTask(folder.Path(), "area", 8, 5, Area{{{{{10.3, 40.2}, {24.6, 40.2}, {17, 51.7}}, {}}}, {}, {}});
  StitchelWindow window(ResourcesFolder(), {task.projectPath});
  Answer(window);
  auto* clip = window.findChild<QCheckBox*>("ClipCheck");
  ASSERT_NE(clip, nullptr);
  EXPECT_EQ(clip->text().toStdString(), "Cut to the area's outline");
  for (int kind = 0; kind < window.kindBox->count(); ++kind) {
    window.kindBox->setCurrentIndex(kind);
    const bool image = kind == 0 || window.kindBox->currentText().contains("image");
    EXPECT_EQ(clip->isEnabled(), image) << window.kindBox->currentText().toStdString();
  }
  window.kindBox->setCurrentIndex(0);
  clip->setChecked(true);
  QTest::mouseClick(window.combineButton, Qt::LeftButton);
  EXPECT_FALSE(clip->isEnabled());  // not while it runs
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window.Running(); }, 30000));
  EXPECT_FALSE(shown.warning) << shown.text;
  const combinetest::Dataset image(folder / "area.tif");
  ASSERT_NE(image.handle, nullptr);
  EXPECT_EQ(image.Pixel(258, 2)[3], 0);
  EXPECT_EQ(image.Pixel(256 + 131, 250)[3], 255);  // under the apex, inside
}

}  // namespace
