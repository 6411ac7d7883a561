// The widgets of the zoom range and the area: "to" and Area... reach the run.

#include <QApplication>
#include <QFileDialog>
#include <QTest>

#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "QuarnelWindows.h"

namespace {

class AreaControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Runs are driven by hand here: no worker thread ever starts.
    windows = std::make_unique<QuarnelWindows>(folder / "config.ini", TaskRunOptions{.startWorkers = false});
    window = windows->mainWindow.get();
    window->show();
    QApplication::processEvents();
  }

  ScratchFolder folder;
  std::unique_ptr<QuarnelWindows> windows;
  MainWindow* window = nullptr;
};

TEST_F(AreaControlsTest, ToFollowsTheSliderAndAMovedToReachesTheEstimate) {
  window->TrackBar1->setValue(4);
  EXPECT_EQ(window->ZoomTo->value(), 4);
  EXPECT_EQ(window->ZoomTo->minimum(), 4) << "never below the slider";
  EXPECT_EQ(window->ZoomTo->maximum(), 18);
  QTest::keyClicks(window->Edit1, "10");
  QTest::keyClicks(window->Edit3, "20");
  QTest::keyClicks(window->Edit2, "50");
  QTest::keyClicks(window->Edit4, "40");
  window->ZoomTo->setValue(5);
  EXPECT_EQ(window->Logic().LastZoom(), 5);
  EXPECT_TRUE(window->LabelEstimate->text().startsWith("zoom 4: 2 tiles")) << window->LabelEstimate->text().toStdString();
  window->TrackBar1->setValue(7);
  EXPECT_EQ(window->ZoomTo->value(), 7);
}

TEST_F(AreaControlsTest, AreaButtonTakesAFileAndStartRunsTheRangeOverIt) {
  WriteFile(folder / "tri.geojson", R"({"type":"Polygon","coordinates":[[[10,40],[20,40],[10,50],[10,40]]]})");
  QTest::keyClicks(window->EditBuffer, "0");
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
      dialog->selectFile(QString::fromStdString(folder / "tri.geojson"));
      static_cast<QDialog*>(dialog)->accept();
    }
  });
  poll.start(10);
  window->AreaButton->click();
  poll.stop();
  EXPECT_EQ(window->LabelArea->text(), "tri.geojson");
  EXPECT_EQ(window->Edit1->text(), "10");
  EXPECT_EQ(window->Edit2->text(), "50");

  window->Edit6->setText(QString::fromStdString(folder / "out"));
  window->EditTaskName->setText("tri");
  window->TrackBar1->setValue(5);
  window->ZoomTo->setValue(6);
  window->BitBtn1->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->Logic().Timer1Enabled(); }, 20000));
  const TaskParameters* parameters = window->Logic().Parameters();
  ASSERT_NE(parameters, nullptr);
  EXPECT_EQ(parameters->TaskFileName, "tri_z5.qrnl");
  EXPECT_NE(parameters->Area, nullptr);
  EXPECT_TRUE(window->LabelProgress->text().startsWith("level 5 (1 of 2)")) << window->LabelProgress->text().toStdString();
  EXPECT_TRUE(RunExpectingMessageBox([&] {
                window->BitBtn1->click();  // Stop
                window->Logic().Timer1Timer();
              }).seen);
  EXPECT_EQ(window->BitBtn1->text(), "Start");
}

}  // namespace
