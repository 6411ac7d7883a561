#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>

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
  StitchelWindow window(ResourcesFolder(), task.projectPath);
  Answer(window);
  window.show();
  EXPECT_EQ(window.taskLabel->text().toStdString(), task.projectPath);
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

TEST_F(StitchelWindowTest, ARefusalIsAWarningAndWritesNothing) {
  const TaskOnDisk task = WriteTask(folder.Path(), "task", 8, 4, 10, 50, 20, 40);
  WriteFile(folder / "task.tif", "mine");
  StitchelWindow window(ResourcesFolder(), task.projectPath);
  Answer(window);
  QTest::mouseClick(window.combineButton, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window.Running(); }, 30000));
  EXPECT_TRUE(shown.warning);
  EXPECT_NE(shown.text.find("exists; tick \"Replace an existing output\""), std::string::npos) << shown.text;
  EXPECT_EQ(shown.text.find("--force"), std::string::npos) << shown.text;
  EXPECT_EQ(ReadFile(folder / "task.tif"), "mine");
}

TEST_F(StitchelWindowTest, WithoutATaskNothingCanStart) {
  StitchelWindow window(ResourcesFolder(), "");
  EXPECT_FALSE(window.combineButton->isEnabled());
  EXPECT_FALSE(window.cancelButton->isEnabled());
}

}  // namespace
