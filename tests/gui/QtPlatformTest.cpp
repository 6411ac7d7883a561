#include <QApplication>
#include <QEventLoop>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "FileDialogFilter.h"
#include "GuiPlatform.h"
#include "QtCorePlatform.h"
#include "TestFiles.h"
#include "UpDownArrows.h"

namespace {

struct FilterCase {
  const char* filter;
  const char* qtFilter;
};

void PrintTo(const FilterCase& c, std::ostream* os) { *os << '"' << c.filter << '"'; }

class FileDialogFilterTest : public ::testing::TestWithParam<FilterCase> {};

TEST_P(FileDialogFilterTest, TranslatesToQtsForm) {
  EXPECT_EQ(ToQtFileFilter(GetParam().filter), GetParam().qtFilter);
}

INSTANTIATE_TEST_SUITE_P(
    Filters, FileDialogFilterTest,
    ::testing::Values(FilterCase{"Projects(*.qrnl)|*.qrnl", "Projects(*.qrnl)"},
                      FilterCase{"Projects(*.ftl)|*.ftl", "Projects(*.ftl)"},
                      FilterCase{"Images|*.png;*.jpg", "Images (*.png *.jpg)"},
                      FilterCase{"Projects(*.qrnl)|*.qrnl|All files|*", "Projects(*.qrnl);;All files (*)"},
                      FilterCase{"", ""}));

struct StepCase {
  const char* text;
  int delta;
  int expected;
};

void PrintTo(const StepCase& c, std::ostream* os) { *os << '"' << c.text << "\" " << c.delta; }

class UpDownStepTest : public ::testing::TestWithParam<StepCase> {};

TEST_P(UpDownStepTest, StepsWithinTheRangeWithoutWrapping) {
  EXPECT_EQ(UpDownArrows::Step(GetParam().text, GetParam().delta, 1, 8), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Steps, UpDownStepTest,
                         ::testing::Values(StepCase{"3", 1, 4}, StepCase{"3", -1, 2}, StepCase{"8", 1, 8},
                                           StepCase{"1", -1, 1}, StepCase{"100", -1, 8}, StepCase{"0", 1, 1},
                                           StepCase{"abc", 1, 1}, StepCase{"", -1, 1}));

// The Qt Core platform with its messages recorded.
class RecordingPlatform : public QtCorePlatform {
 public:
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void ShowError(const std::string& text) override { errors.push_back(text); }
  std::optional<std::string> OpenFileDialog(const std::string&, const std::string&, const std::string&) override {
    return std::nullopt;
  }
  std::optional<std::string> BrowseForFolder(const std::string&) override { return std::nullopt; }
  void ShellOpen(const std::string&) override {}
  void StartProgram(const std::string&, const std::vector<std::string>&) override {}

  std::vector<std::string> messages;
  std::vector<std::string> errors;
};

TEST(QtCorePlatformTest, WorkerRoutinesRunOnTheGuiThreadAndTheWorkerWaitsForThem) {
  RecordingPlatform platform;
  QThread* routineThread = nullptr;
  std::atomic<bool> ranBeforeReturn{false};
  QEventLoop loop;
  std::thread worker([&] {
    bool ran = false;
    platform.RunOnGuiThread([&] {
      routineThread = QThread::currentThread();
      ran = true;
    });
    ranBeforeReturn = ran;
    QMetaObject::invokeMethod(&loop, [&] { loop.quit(); }, Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();
  EXPECT_EQ(routineThread, QApplication::instance()->thread());
  EXPECT_TRUE(ranBeforeReturn);
}

// The wait that ends a run: the GUI thread serves the workers' hand-overs
// until the last one has run, so a worker waiting in one is never stuck.
TEST(QtCorePlatformTest, ServeUntilRunsHandOversUntilTheyAreDone) {
  RecordingPlatform platform;
  int served = 0;
  std::vector<std::thread> workers;
  for (int n = 0; n < 3; ++n)
    workers.emplace_back([&] {
      for (int i = 0; i < 10; ++i) platform.RunOnGuiThread([&] { ++served; });
    });
  platform.ServeUntil([&] { return served == 30; });
  for (std::thread& worker : workers) worker.join();
  EXPECT_EQ(served, 30);
}

TEST(QtCorePlatformTest, OnTheGuiThreadTheRoutineRunsInline) {
  RecordingPlatform platform;
  bool ran = false;
  platform.RunOnGuiThread([&] { ran = true; });
  EXPECT_TRUE(ran);
}

TEST(QtCorePlatformTest, AnErrorEscapingAHandedOverRoutineOrATickGoesToTheErrorDisplay) {
  RecordingPlatform platform;
  platform.RunOnGuiThread([] { throw std::runtime_error("Cannot create file /x/log.txt"); });
  platform.SetTickHandler([] { throw std::runtime_error("tick failed"); });
  platform.TickNow();
  EXPECT_EQ(platform.errors, (std::vector<std::string>{"Cannot create file /x/log.txt", "tick failed"}));
}

TEST(QtCorePlatformTest, ATickThatRunsANestedEventLoopIsNotReentered) {
  RecordingPlatform platform;
  int ticks = 0;
  platform.SetTickHandler([&] {
    ++ticks;
    platform.TickNow();  // as the timer would fire under a modal box
  });
  platform.TickNow();
  EXPECT_EQ(ticks, 1);
}

// The desktop's opener stands in as a script on PATH: its exit status is
// what tells whether a program took the file.
struct OpenerCase {
  const char* name;
  const char* script;  // empty: no xdg-open at all
  bool expectNoProgram;
};

void PrintTo(const OpenerCase& c, std::ostream* os) { *os << c.name; }

class ShellOpenFileTest : public ::testing::TestWithParam<OpenerCase> {
 protected:
  void SetUp() override { savedPath_ = qgetenv("PATH"); }
  void TearDown() override { qputenv("PATH", savedPath_); }
  QByteArray savedPath_;
};

TEST_P(ShellOpenFileTest, SaysSoOnlyWhenNoProgramTookTheFile) {
  ScratchFolder folder;
  if (*GetParam().script) {
    WriteFile(folder / "xdg-open",
              "#!/bin/sh\nprintf '%s' \"$1\" > '" + folder / "opened" + "'\n" + GetParam().script + "\n");
    std::filesystem::permissions(folder / "xdg-open", std::filesystem::perms::owner_all);
  }
  qputenv("PATH", QByteArray::fromStdString(folder.Path()));

  GuiPlatform platform;
  bool noProgram = false;
  platform.ShellOpenFile("/usr/share/quarnel/help/help.html", [&] { noProgram = true; });
  if (GetParam().expectNoProgram) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return noProgram; }, 30000));
  } else {
    EXPECT_TRUE(QTest::qWaitFor([&] { return Exists(folder / "opened"); }, 30000));
    EXPECT_FALSE(QTest::qWaitFor([&] { return noProgram; }, 500)) << "a program took the file";
  }
  if (*GetParam().script) {
    EXPECT_EQ(ReadFile(folder / "opened"), "/usr/share/quarnel/help/help.html");
  }
}

INSTANTIATE_TEST_SUITE_P(Table, ShellOpenFileTest,
                         ::testing::Values(OpenerCase{"opened", "exit 0", false},
                                           OpenerCase{"noProgramForHtml", "exit 3", true},
                                           OpenerCase{"noOpenerInstalled", "", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
