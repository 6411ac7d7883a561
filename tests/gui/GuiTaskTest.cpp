// A whole task through the window, against the scripted server on 127.0.0.1:
// the workers' lines cross to the GUI thread, the timer closes the task and
// the closing message comes up.

#include <QApplication>
#include <QTest>
#include <QTextBlock>

#include <gtest/gtest.h>

#include <fstream>

#include "GuiTestSupport.h"
#include "QuarnelWindows.h"
#include "ScriptedServer.h"

namespace {

void TypeInto(QLineEdit* entry, const QString& text) {
  entry->clear();
  QTest::keyClicks(entry, text);
}

TEST(GuiTaskTest, StartDownloadsTheTilesAndTheMonitorClosesTheTask) {
  ScriptedServer server;
  ScratchFolder folder;
  std::ofstream(folder / "config.ini", std::ios::binary)
      << "[Hosts]\r\nOpenStreetMap=127.0.0.1:" << server.Port() << "\r\n";
  QuarnelWindows windows(folder / "config.ini");
  MainWindow& window = *windows.mainWindow;
  window.show();
  QApplication::processEvents();

  TypeInto(window.Edit1, "10");
  TypeInto(window.Edit3, "20");
  TypeInto(window.Edit2, "50");
  TypeInto(window.Edit4, "40");
  TypeInto(window.Edit6, QString::fromStdString(folder / "out"));
  TypeInto(window.EditTaskName, "gui");
  window.TrackBar1->setValue(4);

  SeenMessageBox closing;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      closing = {box->windowTitle(), box->text(), true};
      box->done(QMessageBox::Ok);
    }
  });
  poll.start(10);
  window.BitBtn1->click();
  EXPECT_EQ(window.BitBtn1->text(), "Stop") << "Stop from the start: it cancels the files' set-up too";
  ASSERT_TRUE(QTest::qWaitFor([&] { return window.LabelTotalxy->text() == "Total images: 2"; }, 20000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return closing.seen; }, 20000));

  EXPECT_EQ(closing.title, "Quarnel");
  EXPECT_EQ(closing.text, "Task stoped!" + QString(20, ' '));
  EXPECT_EQ(window.BitBtn1->text(), "Start");
  ASSERT_TRUE(QTest::qWaitFor([&] {
    return window.Memo1->document()->lastBlock().text().startsWith("Log file has been saved as ");
  }, 5000));
  EXPECT_TRUE(window.Memo1->toPlainText().contains("T1:seq=1, os_8_5_4.png ->ok!"));
  EXPECT_EQ(ReadFile(folder / "out/gui/os_8_5_4.png"), BodyFor("/4/8/5.png"));
  EXPECT_EQ(ReadFile(folder / "out/gui/os_8_6_4.png"), BodyFor("/4/8/6.png"));
}

}  // namespace
