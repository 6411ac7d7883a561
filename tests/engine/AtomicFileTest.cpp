#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "AtomicFile.h"
#include "TestFiles.h"

namespace {

TEST(AtomicFileTest, WritesAndReplacesWithoutLeavingATemporary) {
  ScratchFolder folder;
  WriteFileAtomic(folder / "a.txt", "first");
  WriteFileAtomic(folder / "a.txt", "second\r\n", Durability::ProcessCrash);
  EXPECT_EQ(ReadWholeFile(folder / "a.txt"), "second\r\n");
  WriteFileAtomic(folder / "a.txt", "");
  EXPECT_EQ(ReadWholeFile(folder / "a.txt"), "");
  EXPECT_EQ(folder.EntryCount(), 1u);
}

TEST(AtomicFileTest, StreamedFileLargerThanTheBuffer) {
  ScratchFolder folder;
  std::string expected;
  {
    AtomicFileWriter writer(folder / "big.txt");
    const std::string line(1000, 'x');
    for (int i = 0; i < 3000; ++i) {
      writer.Append(line);
      expected += line;
    }
    const std::string block(3 << 20, 'y');  // one append above the buffer's size
    writer.Append(block);
    expected += block;
    EXPECT_FALSE(std::filesystem::exists(folder / "big.txt")) << "visible before Commit";
    writer.Commit();
  }
  EXPECT_EQ(ReadWholeFile(folder / "big.txt"), expected);
  EXPECT_EQ(folder.EntryCount(), 1u);
}

TEST(AtomicFileTest, AbandonedWriterLeavesTheTargetAsItWas) {
  ScratchFolder folder;
  WriteFileAtomic(folder / "list.txt", "old");
  {
    AtomicFileWriter writer(folder / "list.txt");
    writer.Append("half of the new");
  }
  EXPECT_EQ(ReadWholeFile(folder / "list.txt"), "old");
  EXPECT_EQ(folder.EntryCount(), 1u);
}

TEST(AtomicFileTest, FailuresNameThePathAndLeaveNothingBehind) {
  ScratchFolder folder;
  try {
    WriteFileAtomic(folder / "missing/a.txt", "x");
    FAIL() << "no error";
  } catch (const FileWriteError& error) {
    EXPECT_NE(std::string(error.what()).find(folder / "missing/a.txt"), std::string::npos) << error.what();
  }
  std::filesystem::create_directory(folder / "taken");
  EXPECT_THROW(WriteFileAtomic(folder / "taken", "x"), FileWriteError);
  EXPECT_EQ(folder.EntryCount(), 1u) << "only the folder that was in the way";
  EXPECT_THROW(ReadWholeFile(folder / "none.txt"), FileWriteError);
}

TEST(AtomicFileTest, LinkedFileIsReplacedAndTheLinkKept) {
  ScratchFolder folder;
  std::filesystem::create_directory(folder / "real");
  WriteFileAtomic(folder / "real/config.ini", "old");
  std::filesystem::create_symlink(folder / "real/config.ini", folder / "config.ini");
  WriteFileAtomic(folder / "config.ini", "new");
  EXPECT_TRUE(std::filesystem::is_symlink(folder / "config.ini"));
  EXPECT_EQ(ReadWholeFile(folder / "real/config.ini"), "new");
  EXPECT_EQ(folder.EntryCount(), 2u);
}

TEST(AtomicFileTest, NewFileModeFollowsTheRequestAndTheUmask) {
  ScratchFolder folder;
  WriteFileAtomic(folder / "secret.ini", "x", Durability::PowerLoss, 0600);
  struct stat info {};
  ASSERT_EQ(::stat((folder / "secret.ini").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(AtomicFileTest, TileWritesReplaceWholeAndNeverFollowALink) {
  ScratchFolder folder;
  WriteTileFileAtomic(folder / "os_1_2_3.png", "first");
  WriteTileFileAtomic(folder / "os_1_2_3.png", std::string(200000, 'z'));
  EXPECT_EQ(ReadWholeFile(folder / "os_1_2_3.png"), std::string(200000, 'z'));

  // A link planted where a tile goes is replaced; what it points at is untouched.
  WriteFileAtomic(folder / "outside.txt", "keep");
  std::filesystem::create_symlink(folder / "outside.txt", folder / "os_1_2_4.png");
  WriteTileFileAtomic(folder / "os_1_2_4.png", "tile");
  EXPECT_FALSE(std::filesystem::is_symlink(folder / "os_1_2_4.png"));
  EXPECT_EQ(ReadWholeFile(folder / "os_1_2_4.png"), "tile");
  EXPECT_EQ(ReadWholeFile(folder / "outside.txt"), "keep");

  EXPECT_THROW(WriteTileFileAtomic(folder / "missing/os_1_2_3.png", "x"), FileWriteError);
  EXPECT_EQ(folder.EntryCount(), 3u) << "no temporary left behind";
}

TEST(AtomicFileTest, NoReplaceWriteOnlyFillsAnEmptyPlace) {
  ScratchFolder folder;
  EXPECT_TRUE(CreateFileAtomicNoReplace(folder / "os_1_2_3.png", "blank"));
  EXPECT_EQ(ReadWholeFile(folder / "os_1_2_3.png"), "blank");

  EXPECT_FALSE(CreateFileAtomicNoReplace(folder / "os_1_2_3.png", "other"));
  EXPECT_EQ(ReadWholeFile(folder / "os_1_2_3.png"), "blank");

  // A dangling link counts as something there: nothing is written through it.
  std::filesystem::create_symlink(folder / "target.png", folder / "os_1_2_4.png");
  EXPECT_FALSE(CreateFileAtomicNoReplace(folder / "os_1_2_4.png", "blank"));
  EXPECT_FALSE(std::filesystem::exists(folder / "target.png"));

  EXPECT_FALSE(CreateFileAtomicNoReplace(folder / "missing/os_1_2_5.png", "blank"));
  EXPECT_EQ(folder.EntryCount(), 2u) << "no temporary left behind";
}

// A process id that no process holds now: a child that has already ended.
pid_t EndedProcessId() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  return child;
}

TEST(AtomicFileTest, StaleTemporariesOfEndedWritersAreRemovedOthersKept) {
  ScratchFolder folder;
  const std::string dead = std::to_string(EndedProcessId());
  const std::string alive = std::to_string(::getpid());
  const std::vector<std::string> stale = {
      ".os_1_2_3.png." + dead + "-5.tmp",       // a tile write
      ".job.qrnl." + dead + "-2-0.tmp",         // a project or list write
      ".os_1_2_4.png.blank-" + dead + "-1-7",   // a blank image copy
  };
  const std::vector<std::string> kept = {
      ".os_1_2_3.png." + alive + "-6.tmp",  // a writer that still runs
      ".hidden",  "notes.tmp", ".a." + dead + ".tmp", "os_1_2_3.png", ".x.y-1-2-3-4.tmp",
  };
  for (const auto& name : stale) WriteFileAtomic(folder / name, "partial");
  for (const auto& name : kept) WriteFileAtomic(folder / name, "keep");
  std::filesystem::create_directory(folder / (".dir." + dead + "-1.tmp"));

  EXPECT_EQ(RemoveStaleTemporaries(folder.Path()), 3);
  for (const auto& name : stale) EXPECT_FALSE(std::filesystem::exists(folder / name)) << name;
  for (const auto& name : kept) EXPECT_TRUE(std::filesystem::exists(folder / name)) << name;
  EXPECT_TRUE(std::filesystem::is_directory(folder / (".dir." + dead + "-1.tmp")));
}

}  // namespace
