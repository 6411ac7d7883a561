#include "MemoLines.h"

#include <gtest/gtest.h>

#include "AppTestSupport.h"

namespace {

using Lines = std::vector<std::string>;

TEST(MemoLinesFile, SavesEveryLineWithCrLfAndReadsItBack) {
  ScratchFolder folder;
  const std::string path = folder.Path() + "log.txt";
  MemoLines lines{"first", "", "ban\nsecond half"};
  for (int i = 0; i < 20000; ++i) lines.Append("line " + std::to_string(i));
  const uint64_t bytes = lines.SaveToFile(path, Durability::ProcessCrash);

  const std::string text = ReadFile(path);
  EXPECT_EQ(bytes, text.size());
  EXPECT_EQ(text.substr(0, 34), "first\r\n\r\nban\nsecond half\r\nline 0\r\n");
  EXPECT_TRUE(text.ends_with("line 19999\r\n"));

  MemoLines empty;
  EXPECT_EQ(empty.SaveToFile(path, Durability::ProcessCrash), 0u);
  EXPECT_EQ(ReadFile(path), "");

  WriteFile(path, "x\r\ny\r\n");
  const uint64_t generation = lines.Generation();
  lines.LoadFromFile(path);
  EXPECT_EQ(lines.ToVector(), (Lines{"x", "y"}));
  EXPECT_NE(lines.Generation(), generation);
}

TEST(MemoLinesFile, LoadingAMissingFileThrowsAndKeepsTheLines) {
  ScratchFolder folder;
  MemoLines lines{"kept"};
  EXPECT_THROW(lines.LoadFromFile(folder.Path() + "missing.txt"), FileWriteError);
  EXPECT_EQ(lines.ToVector(), Lines{"kept"});
}

}  // namespace
