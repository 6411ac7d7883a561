#include "TestFiles.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <stdexcept>

namespace {

namespace fs = std::filesystem;

TEST(ScratchFolderTest, IsAFreshFolderRemovedWithItsContent) {
  std::string path;
  {
    ScratchFolder folder("unit");
    path = folder.Path();
    ASSERT_TRUE(fs::is_directory(path));
    EXPECT_EQ(path.back(), '/');
    EXPECT_NE(path.find("quarnel-unit-"), std::string::npos);
    EXPECT_EQ(folder.EntryCount(), 0u);
    EXPECT_EQ(folder / "a.txt", path + "a.txt");
    EXPECT_EQ(folder.MakeFolder("b/c"), path + "b/c");
    EXPECT_TRUE(fs::is_directory(path + "b/c"));
    WriteFile(folder / "a.txt", "x");
    EXPECT_EQ(folder.EntryCount(), 2u);
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_exec);
  }
  EXPECT_FALSE(Exists(path)) << "removed even without write permission";
}

TEST(ScratchFolderTest, KeptWhenAskedFor) {
  if (std::getenv("QUARNEL_KEEP_SCRATCH") != nullptr) GTEST_SKIP() << "already set";
  std::string path;
  ::setenv("QUARNEL_KEEP_SCRATCH", "1", 1);
  {
    ScratchFolder folder;
    path = folder.Path();
  }
  ::unsetenv("QUARNEL_KEEP_SCRATCH");
  EXPECT_TRUE(fs::is_directory(path));
  fs::remove_all(path);
}

TEST(TestFilesTest, ReadWriteAndExists) {
  ScratchFolder folder;
  const std::string bytes("a\0b\r\n", 5);
  WriteFile(folder / "f", bytes);
  EXPECT_EQ(ReadFile(folder / "f"), bytes);
  WriteFile(folder / "f", "");
  EXPECT_EQ(ReadFile(folder / "f"), "");
  EXPECT_EQ(ReadFile(folder / "missing"), "");
  EXPECT_THROW(WriteFile(folder / "no/such/folder", "x"), std::runtime_error);

  EXPECT_TRUE(Exists(folder / "f"));
  EXPECT_FALSE(Exists(folder / "missing"));
  fs::create_symlink(folder / "missing", folder / "dangling");
  EXPECT_TRUE(Exists(folder / "dangling")) << "links are not followed";
}

}  // namespace
