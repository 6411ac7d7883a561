#include "ProjectFile.h"

#include <gtest/gtest.h>

#include <string>

#include "TestFiles.h"

namespace {

const std::string kGood =
    "[MapsType]\r\nMapsType=8\r\n\r\n[AREA]\r\nLeftLongitude=10\r\nRightLongitude=20.50\r\nTopLatitude=50\r\n"
    "BottomLatitude=40\r\n\r\n[Zoom]\r\nZoom=4\r\n\r\n[THREADS]\r\nThreadCount=2\r\nT1X=8\r\nT1Y=6\r\nT2X=\r\nT2Y=\r\n";

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  return text.replace(text.find(from), from.size(), to);
}

TEST(ProjectFileTest, ReadsTheEntriesAsStoredWithTheirTexts) {
  ScratchFolder folder;
  WriteFile(folder / "t.qrnl", kGood);
  const ProjectFile project = ProjectFile::Read(folder / "t.qrnl");
  EXPECT_EQ(project.MapsType, 8);
  EXPECT_EQ(project.RightText, "20.50") << "kept as typed, for the resume test";
  EXPECT_DOUBLE_EQ(project.Right, 20.5);
  EXPECT_EQ(project.Zoom, 4);
  EXPECT_EQ(project.ThreadCount, 2);
  EXPECT_EQ(project.Positions[0].x, 8);
  EXPECT_EQ(project.Positions[0].y, 6);
  EXPECT_EQ(project.Positions[1].x, 0) << "an empty key is no position";
  WriteFile(folder / "u.qrnl", Replace(kGood, "[MapsType]\r\nMapsType=8\r\n", ""));
  EXPECT_EQ(ProjectFile::Read(folder / "u.qrnl").MapsType, 8) << "a missing map type reads as 8";
  EXPECT_EQ(project.Storage, TileStorage::Folder) << "a task without [Tiles] keeps a folder";
  WriteFile(folder / "s.qrnl", kGood + "\r\n[Tiles]\r\nStorage=File\r\n");
  EXPECT_EQ(ProjectFile::Read(folder / "s.qrnl").Storage, TileStorage::File);
}

struct Damage {
  std::string from;
  std::string to;
  std::string named;  // what the message must name
};

class DamagedProjectFileTest : public testing::TestWithParam<Damage> {};

TEST_P(DamagedProjectFileTest, IsRefusedNamingTheFileAndTheKey) {
  ScratchFolder folder;
  const std::string path = folder / "t.qrnl";
  WriteFile(path, Replace(kGood, GetParam().from, GetParam().to));
  try {
    ProjectFile::Read(path);
    FAIL() << "accepted";
  } catch (const ProjectFileError& error) {
    const std::string message = error.what();
    EXPECT_NE(message.find(path), std::string::npos) << message;
    EXPECT_NE(message.find(GetParam().named), std::string::npos) << message;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Keys, DamagedProjectFileTest,
    testing::Values(Damage{"Zoom=4", "", "Zoom is missing"}, Damage{"Zoom=4", "Zoom=four", "Zoom is not a number"},
                    Damage{"Zoom=4", "Zoom=31", "Zoom is outside"}, Damage{"Zoom=4", "Zoom=-1", "Zoom is outside"},
                    Damage{"LeftLongitude=10", "", "LeftLongitude is missing"},
                    Damage{"TopLatitude=50", "TopLatitude=north", "TopLatitude is not a number"},
                    Damage{"RightLongitude=20.50", "RightLongitude=181", "RightLongitude is outside"},
                    Damage{"LeftLongitude=10", "LeftLongitude=30", "LeftLongitude lies east"},
                    Damage{"ThreadCount=2", "ThreadCount=0", "ThreadCount is below 1"},
                    Damage{"ThreadCount=2", "ThreadCount=", "ThreadCount is missing"},
                    Damage{"[MapsType]", std::string("[Maps\0Type]", 11), "cannot be read as text"},
                    Damage{"[Zoom]", "[Tiles]\r\nStorage=cloud\r\n[Zoom]", "Storage is neither folder nor file"}));

TEST(ProjectFileTest, AMissingFileIsRefused) {
  ScratchFolder folder;
  EXPECT_THROW(ProjectFile::Read(folder / "none.qrnl"), ProjectFileError);
  EXPECT_THROW(ProjectFile::Read(folder.Path()), ProjectFileError);
}

}  // namespace
