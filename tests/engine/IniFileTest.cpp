#include <gtest/gtest.h>

#include <sys/stat.h>

#include "AtomicFile.h"
#include "IniFile.h"
#include "TestFiles.h"

namespace {

constexpr const char* kSample =
    "[IniParas]\r\n"
    "DefaultPath=c:\\qrnl\r\n"
    "  defaultthreadcount = 0x10  \r\n"
    "Empty=\r\n"
    "Spaces =   padded value   \r\n"
    "Bad=abc\r\n"
    "Big=2147483648\r\n"
    "Neg=-12\r\n"
    "NoEquals\r\n"
    "Dup=first\r\n"
    "Dup=second\r\n"
    "\r\n"
    "[ proxy ]\r\n"
    "UseProxy=1\r\n"
    "[Other]\r\n"
    "Key=other=with=equals\r\n";

struct ReadCase {
  const char* section;
  const char* key;
  const char* text;  // ReadString with default "<default>"
  int32_t number;    // ReadInteger with default 7
};

class IniReadTest : public testing::TestWithParam<ReadCase> {
 protected:
  static void SetUpTestSuite() {
    folder_ = new ScratchFolder;
    WriteFileAtomic(*folder_ / "sample.ini", kSample);
  }
  static void TearDownTestSuite() { delete folder_; }
  static ScratchFolder* folder_;
};
ScratchFolder* IniReadTest::folder_ = nullptr;

TEST_P(IniReadTest, PrivateProfileSemantics) {
  const auto& c = GetParam();
  const IniFile ini(*folder_ / "sample.ini");
  EXPECT_EQ(ini.ReadString(c.section, c.key, "<default>"), c.text) << c.section << "/" << c.key;
  EXPECT_EQ(ini.ReadInteger(c.section, c.key, 7), c.number) << c.section << "/" << c.key;
}

INSTANTIATE_TEST_SUITE_P(
    Keys, IniReadTest,
    testing::Values(ReadCase{"IniParas", "DefaultPath", "c:\\qrnl", 7},
                    ReadCase{"INIPARAS", "DefaultThreadCount", "0x10", 16},
                    ReadCase{"IniParas", "Empty", "", 7}, ReadCase{"IniParas", "Missing", "<default>", 7},
                    ReadCase{"IniParas", "spaces", "padded value", 7}, ReadCase{"IniParas", "Bad", "abc", 7},
                    ReadCase{"IniParas", "Big", "2147483648", 7}, ReadCase{"IniParas", "Neg", "-12", -12},
                    ReadCase{"IniParas", "NoEquals", "<default>", 7}, ReadCase{"IniParas", "Dup", "first", 7},
                    ReadCase{"Proxy", "useproxy", "1", 1}, ReadCase{"Other", "Key", "other=with=equals", 7},
                    ReadCase{"Nowhere", "Key", "<default>", 7}, ReadCase{"Other", "UseProxy", "<default>", 7}));

TEST(IniFileTest, MissingFileReadsAsDefaults) {
  ScratchFolder folder;
  const IniFile ini(folder / "none.ini");
  EXPECT_EQ(ini.ReadString("IniParas", "DefaultPath", "c:\\qrnl"), "c:\\qrnl");
  EXPECT_EQ(ini.ReadInteger("IniParas", "DefaultThreadCount", 1), 1);
  EXPECT_EQ(folder.EntryCount(), 0u);
}

struct WriteCase {
  const char* name;
  const char* before;
  const char* section;
  const char* key;
  const char* value;
  const char* after;
};

class IniWriteTest : public testing::TestWithParam<WriteCase> {};

TEST_P(IniWriteTest, ChangesOnlyTheKeysLine) {
  const auto& c = GetParam();
  ScratchFolder folder;
  WriteFileAtomic(folder / "f.ini", c.before);
  IniFile ini(folder / "f.ini");
  ini.WriteString(c.section, c.key, c.value);
  EXPECT_EQ(ReadWholeFile(folder / "f.ini"), c.after);
  EXPECT_EQ(ini.ReadString(c.section, c.key, "<default>"), c.value);
  EXPECT_EQ(folder.EntryCount(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Writes, IniWriteTest,
    testing::Values(
        WriteCase{"in place", "[THREADS]\r\nThreadCount=2\r\nT1X=\r\nT1Y=\r\n\r\n", "threads", "t1x", "12",
                  "[THREADS]\r\nThreadCount=2\r\nT1X=12\r\nT1Y=\r\n\r\n"},
        WriteCase{"after last key", "[A]\r\nk=1\r\n\r\n\r\n[B]\r\nz=2\r\n", "A", "new", "v",
                  "[A]\r\nk=1\r\nnew=v\r\n\r\n\r\n[B]\r\nz=2\r\n"},
        WriteCase{"empty section", "[A]\r\n[B]\r\nz=2\r\n", "a", "k", "1", "[A]\r\nk=1\r\n[B]\r\nz=2\r\n"},
        WriteCase{"new section, LF kept", "[A]\n; note\nk=1\n", "B", "x", "y", "[A]\n; note\nk=1\n\n[B]\nx=y\n"},
        WriteCase{"no final newline", "[A]\nk=1", "A", "j", "2", "[A]\nk=1\nj=2\n"},
        WriteCase{"empty value", "[P]\r\nProxyPassword=old\r\n", "P", "ProxyPassword", "", "[P]\r\nProxyPassword=\r\n"},
        WriteCase{"mixed endings", "[A]\r\nk=1\nj=2\r\n", "A", "k", "3", "[A]\r\nk=3\nj=2\r\n"},
        WriteCase{"empty file", "", "S", "k", "v", "[S]\r\nk=v\r\n"}),
    [](const auto& info) {
      std::string name = info.param.name;
      for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      return name;
    });

TEST(IniFileTest, CreatesAMissingFileWithItsMode) {
  ScratchFolder folder;
  IniFile ini(folder / "config.ini");
  ini.SetCreateMode(0600);
  ini.WriteString("Proxy", "ProxyPassword", "s3cret");
  ini.WriteInteger("Proxy", "UseProxy", 1);
  EXPECT_EQ(ReadWholeFile(folder / "config.ini"), "[Proxy]\r\nProxyPassword=s3cret\r\nUseProxy=1\r\n");
  struct stat info {};
  ASSERT_EQ(::stat((folder / "config.ini").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(IniFileTest, RewriteKeepsTheModeOfAnExistingFile) {
  ScratchFolder folder;
  WriteFileAtomic(folder / "config.ini", "[A]\r\n");
  ASSERT_EQ(::chmod((folder / "config.ini").c_str(), 0640), 0);
  IniFile(folder / "config.ini").WriteString("A", "k", "v");
  struct stat info {};
  ASSERT_EQ(::stat((folder / "config.ini").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST(IniFileTest, BatchWriteChangesSeveralKeysAtOnce) {
  ScratchFolder folder;
  WriteFileAtomic(folder / "t.qrnl", "[THREADS]\r\nThreadCount=2\r\nT1X=\r\nT1Y=\r\n\r\n[Other]\r\n");
  IniFile ini(folder / "t.qrnl");
  ini.WriteStrings("THREADS", {{"T1X", "8"}, {"T1Y", "5"}, {"T2X", "9"}});
  EXPECT_EQ(ReadWholeFile(folder / "t.qrnl"),
            "[THREADS]\r\nThreadCount=2\r\nT1X=8\r\nT1Y=5\r\nT2X=9\r\n\r\n[Other]\r\n");
}

TEST(IniFileTest, SeesChangesMadeByOthers) {
  ScratchFolder folder;
  const IniFile reader(folder / "t.ini");
  EXPECT_EQ(reader.ReadInteger("A", "k", -1), -1);
  IniFile(folder / "t.ini").WriteInteger("A", "k", 1);
  EXPECT_EQ(reader.ReadInteger("A", "k", -1), 1);
  IniFile(folder / "t.ini").WriteInteger("A", "k", 2);
  EXPECT_EQ(reader.ReadInteger("A", "k", -1), 2);
}

TEST(IniFileTest, FailedWriteNamesTheFileAndChangesNothing) {
  ScratchFolder folder;
  IniFile missingFolder(folder / "ini/config.ini");
  try {
    missingFolder.WriteString("IniParas", "DefaultPath", "x");
    FAIL() << "no error";
  } catch (const IniWriteError& error) {
    EXPECT_NE(std::string(error.what()).find(folder / "ini/config.ini"), std::string::npos) << error.what();
  }

  WriteFileAtomic(folder / "f.ini", "[A]\r\nk=1\r\n");
  IniFile ini(folder / "f.ini");
  // A line break would smuggle a key or section into the file.
  EXPECT_THROW(ini.WriteString("A", "k", "1\r\n[Proxy]\r\nUseProxy=1"), IniWriteError);
  EXPECT_THROW(ini.WriteString("A", "k=x", "1"), IniWriteError);
  EXPECT_THROW(ini.WriteString("A]x", "k", "1"), IniWriteError);
  EXPECT_THROW(ini.WriteString("A", "", "1"), IniWriteError);
  EXPECT_EQ(ReadWholeFile(folder / "f.ini"), "[A]\r\nk=1\r\n");
}

}  // namespace
