// The source controls: the selector hands its choice to the entries and
// narrows the zoom controls; "Add source..." asks in a text prompt.

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>

#include "GuiTestSupport.h"
#include "QuarnelWindows.h"

namespace {

class SourceControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(folder / "sources");
    WriteFile(folder / "sources/Topo.ini",
              "[Source]\nName=Topo\nTemplate=http://127.0.0.1:1/{z}/{x}/{y}.png\nMinZoom=3\nMaxZoom=10\n"
              "Attribution=© Topo makers\nTerms=https://topo.example/terms\n");
    windows = std::make_unique<QuarnelWindows>(folder / "config.ini", TaskRunOptions{.startWorkers = false});
    window = windows->mainWindow.get();
    window->show();
    QApplication::processEvents();
  }

  ScratchFolder folder;
  std::unique_ptr<QuarnelWindows> windows;
  MainWindow* window = nullptr;
};

TEST_F(SourceControlsTest, TheSelectorSetsTheEntriesAndTheZoomRange) {
  for (const char* name : {"ComboBoxSource", "LabelSourceTerms", "ButtonAddSource", "ButtonTestSource"})
    EXPECT_NE(window->findChild<QWidget*>(name), nullptr) << name;
  EXPECT_EQ(window->ComboBoxSource->itemText(0), "Configured server ([Hosts])");
  const int topo = window->ComboBoxSource->findText("Topo");
  ASSERT_GT(topo, 0);
  EXPECT_FALSE(window->ButtonTestSource->isEnabled());

  window->ComboBoxSource->setCurrentIndex(topo);
  EXPECT_EQ(window->Logic().Entries().task.source, "Topo");
  EXPECT_EQ(window->TrackBar1->maximum(), 10);
  EXPECT_EQ(window->TrackBar1->value(), 10);
  EXPECT_EQ(window->ZoomTo->maximum(), 10);
  EXPECT_TRUE(window->LabelSourceTerms->text().contains("© Topo makers"));
  EXPECT_TRUE(window->LabelSourceTerms->text().contains("href=\"https://topo.example/terms\""));
  EXPECT_TRUE(window->ButtonTestSource->isEnabled());

  window->ComboBoxSource->setCurrentIndex(0);
  EXPECT_EQ(window->Logic().Entries().task.source, "");
  EXPECT_EQ(window->TrackBar1->maximum(), 18);
}

TEST_F(SourceControlsTest, AddSourceTakesWhatIsTypedInThePrompt) {
  WriteFile(folder / "words.txt", "just some words");
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* prompt = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!prompt || prompt->objectName() != "TextPrompt") return;
    prompt->findChild<QLineEdit*>("TextPromptEntry")->setText(QString::fromStdString(folder / "words.txt"));
    prompt->accept();
  });
  const int listed = window->ComboBoxSource->count();
  poll.start(10);
  window->ButtonAddSource->click();
  poll.stop();
  const SeenMessageBox box = RunExpectingMessageBox(
      [&] { (void)QTest::qWaitFor([&] { return !window->Logic().SourceJobRunning(); }, 20000); });
  EXPECT_TRUE(box.text.startsWith("The document is neither")) << box.text.toStdString();
  EXPECT_EQ(window->ComboBoxSource->count(), listed);
}

}  // namespace
