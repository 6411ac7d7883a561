// The append-only saves: after every save the file holds exactly the bytes
// of a rewrite of all its lines, whatever happened to it in between.

#include "GrowingTextFile.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <filesystem>

#include "AppTestSupport.h"
#include "TDownThread.h"
#include "TextFormat.h"

namespace {

using Lines = std::vector<std::string>;

std::string Rewrite(const Lines& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

class GrowingTextFileTest : public ::testing::Test {
 protected:
  ScratchFolder folder_;
  std::string path_ = folder_ / "job_log.txt";
  GrowingTextFile file_;
  Lines lines_;  // every line the file should hold

  void OpenWith(const std::string& bytes) {
    WriteFile(path_, bytes);
    lines_.clear();
    file_.Open(path_, [&](std::string_view line) { lines_.emplace_back(line); });
  }
  void Add(const std::string& line) {
    file_.Add(line);
    lines_.push_back(line);
  }
};

TEST_F(GrowingTextFileTest, EverySaveLeavesTheBytesOfAWholeRewrite) {
  OpenWith("Project: /m/job.qrnl\r\n\r\nStart downloading...\r\n");
  EXPECT_EQ(lines_, (Lines{"Project: /m/job.qrnl", "", "Start downloading..."}));
  Add("T1:seq=1, os_8_5_4.png ->ok!");
  Add(kBanText);  // one line of the view holding a line feed
  file_.Save(Durability::ProcessCrash);
  EXPECT_EQ(ReadFile(path_), Rewrite(lines_));
  file_.Save(Durability::PowerLoss);  // nothing new
  EXPECT_EQ(ReadFile(path_), Rewrite(lines_));
  for (int i = 0; i < 5000; ++i) Add("T2:seq=" + std::to_string(i) + ", x.png ->ok!");
  file_.Save(Durability::PowerLoss);
  EXPECT_EQ(ReadFile(path_), Rewrite(lines_));
  EXPECT_EQ(file_.SavedBytes(), Rewrite(lines_).size());
  EXPECT_EQ(file_.UnsavedBytes(), 0u);
}

// A log continued by hand or by another tool: its lines are taken as the
// view takes them, and the file gets the form a rewrite would give it.
TEST_F(GrowingTextFileTest, AFileInAnotherFormIsBroughtToTheRewrittenFormFirst) {
  struct Case {
    std::string bytes;
    Lines lines;
  };
  for (const Case& c : {Case{"a\nb\r\n", {"a", "b"}}, Case{"a\r\nlast", {"a", "last"}},
                        Case{"a\r\nlast\r", {"a", "last"}}, Case{"", {}}, Case{"\n", {""}}}) {
    OpenWith(c.bytes);
    EXPECT_EQ(lines_, c.lines) << c.bytes;
    EXPECT_EQ(ReadFile(path_), Rewrite(c.lines)) << c.bytes;
    Add("new");
    file_.Save(Durability::ProcessCrash);
    EXPECT_EQ(ReadFile(path_), Rewrite(lines_)) << c.bytes;
  }
  EXPECT_EQ(folder_.EntryCount(), 1u) << "no temporary is left";
}

TEST_F(GrowingTextFileTest, AFileDeletedOrReplacedIsWrittenAnewWhole) {
  OpenWith("header\r\n");
  Add("one");
  file_.Save(Durability::ProcessCrash);

  std::filesystem::remove(path_);
  file_.Save(Durability::ProcessCrash);
  EXPECT_EQ(ReadFile(path_), Rewrite(lines_)) << "a deleted file returns even with nothing new";

  WriteFile(path_ + ".other", "someone else's\r\n");
  std::filesystem::rename(path_ + ".other", path_);
  Add("two");
  file_.Save(Durability::PowerLoss);
  EXPECT_EQ(ReadFile(path_), Rewrite(lines_));

  apptest::BlockWithFolder(path_);
  Add("three");
  EXPECT_THROW(file_.Save(Durability::PowerLoss), FileWriteError);
  std::filesystem::remove(path_);
  file_.Save(Durability::PowerLoss);
  EXPECT_EQ(ReadFile(path_), Rewrite(lines_)) << "the lines of the failed save are kept for the next";
}

TEST_F(GrowingTextFileTest, AFileCutInPlaceIsRefusedAndLeftAsItIs) {
  OpenWith("header\r\n");
  Add("one");
  file_.Save(Durability::ProcessCrash);
  std::filesystem::resize_file(path_, 3);
  Add("two");
  try {
    file_.Save(Durability::ProcessCrash);
    ADD_FAILURE() << "a save over a cut file must fail";
  } catch (const FileWriteError& error) {
    EXPECT_NE(std::string(error.what()).find(path_), std::string::npos) << error.what();
  }
  EXPECT_EQ(ReadFile(path_), "hea");
}

// A write that the file system stops part way (here the file-size limit)
// must not leave part of the save behind.
TEST_F(GrowingTextFileTest, AWriteThatFailsPartWayLeavesTheLastSave) {
  OpenWith("header\r\n");
  Add("one");
  file_.Save(Durability::ProcessCrash);
  const std::string afterFirst = ReadFile(path_);

  struct sigaction ignore {}, previous {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGXFSZ, &ignore, &previous);
  rlimit old {};
  ::getrlimit(RLIMIT_FSIZE, &old);
  rlimit limit = old;
  limit.rlim_cur = afterFirst.size() + 10;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  Add(std::string(100, 'x'));
  EXPECT_THROW(file_.Save(Durability::ProcessCrash), FileWriteError);
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::sigaction(SIGXFSZ, &previous, nullptr);
  EXPECT_EQ(ReadFile(path_), afterFirst);

  Add("two");
  file_.Save(Durability::ProcessCrash);
  EXPECT_EQ(ReadFile(path_), Rewrite(lines_));
}

TEST_F(GrowingTextFileTest, AMissingFileCannotBeOpened) {
  EXPECT_THROW(file_.Open(folder_ / "missing.txt", [](std::string_view) {}), FileWriteError);
}

}  // namespace
