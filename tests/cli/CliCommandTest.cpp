#include <gtest/gtest.h>

#include <algorithm>

#include <fcntl.h>
#include <unistd.h>

#include "CliArguments.h"
#include "CliProcess.h"
#include "CliTestSupport.h"
#include "StdoutLines.h"

namespace {

struct ConvertCase {
  std::vector<std::string> fields;
  int status;
  std::string out;
  std::string err;
};

void PrintTo(const ConvertCase& c, std::ostream* os) {
  for (const std::string& field : c.fields) *os << '"' << field << "\" ";
}

class CliConvertTest : public ::testing::TestWithParam<ConvertCase> {};

TEST_P(CliConvertTest, PrintsTheResultOrRefusesTheInput) {
  std::vector<std::string> args = {"convert"};
  args.insert(args.end(), GetParam().fields.begin(), GetParam().fields.end());
  const CliProcess::Result run = CliProcess::Run(args);
  EXPECT_EQ(run.status, GetParam().status);
  EXPECT_EQ(run.out, GetParam().out);
  EXPECT_EQ(run.err, GetParam().err);
}

INSTANTIATE_TEST_SUITE_P(Fields, CliConvertTest,
                         ::testing::Values(ConvertCase{{"12", "34", "56"}, 0, "12.5822219848633\n", ""},
                                           ConvertCase{{"-12", "30", "0"}, 0, "-12.5\n", ""},
                                           ConvertCase{{"-0", "30", "0"}, 0, "-0.5\n", ""},
                                           ConvertCase{{"39", "54", "15.12"}, 0, "39.9042015075684\n", ""},
                                           ConvertCase{{"12.5", "0", "0"}, 2, "", "Input Error.\n"},
                                           ConvertCase{{"12", "", "0"}, 2, "", "Input Error.\n"}));

TEST(CliCommandTest, HelpAndVersion) {
  const CliProcess::Result help = CliProcess::Run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out, CliUsageText());
  const CliProcess::Result version = CliProcess::Run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("quarnel-cli ") + QUARNEL_VERSION + "\n");
}

TEST(CliCommandTest, WrongUsageEndsWithStatus2TheErrorAndWhereHelpIs) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--zoom", "twelve"}, {"--frobnicate"}, {"convert", "1", "2"}, {"--task"}, {"--open", "/nonexistent.qrnl"}}) {
    const CliProcess::Result run = CliProcess::Run(args);
    EXPECT_EQ(run.status, 2) << args[0];
    EXPECT_TRUE(run.err.starts_with("quarnel-cli: ")) << run.err;
    EXPECT_TRUE(run.err.ends_with("\nTry 'quarnel-cli --help'.\n")) << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 2) << "one error line, not the usage";
    EXPECT_EQ(run.out, "");
  }
}

TEST(CliCommandTest, NoArgumentsPrintTheUsageOnly) {
  const CliProcess::Result run = CliProcess::Run({});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, CliUsageText());
  EXPECT_EQ(run.out, "");
}

struct ParseCase {
  std::vector<std::string> args;
  bool ok;
  CliArguments::Mode mode;
};

void PrintTo(const ParseCase& c, std::ostream* os) {
  for (const std::string& arg : c.args) *os << arg << ' ';
}

class CliParseTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(CliParseTest, AcceptsTheContractAndNothingElse) {
  const auto parsed = ParseCliArguments(GetParam().args);
  ASSERT_EQ(std::holds_alternative<CliArguments>(parsed), GetParam().ok);
  if (GetParam().ok) {
    EXPECT_EQ(std::get<CliArguments>(parsed).mode, GetParam().mode);
  }
}

using Mode = CliArguments::Mode;
INSTANTIATE_TEST_SUITE_P(
    Commands, CliParseTest,
    ::testing::Values(ParseCase{{}, true, Mode::Task},
                      ParseCase{{"--left", "-10.5", "--right=20", "--zoom", "4", "--threads", "8"}, true, Mode::Task},
                      ParseCase{{"--config", "c.ini", "redownload", "l.ftl"}, true, Mode::Redownload},
                      ParseCase{{"convert", "-12", "-30", "0"}, true, Mode::Convert},
                      ParseCase{{"--version"}, true, Mode::Version},
                      ParseCase{{"--left", "1", "--help"}, true, Mode::Help},
                      ParseCase{{"--threads", "9"}, false, Mode::Task},
                      ParseCase{{"--threads", "0"}, false, Mode::Task},
                      ParseCase{{"--zoom", "4.5"}, false, Mode::Task},
                      ParseCase{{"--zoom"}, false, Mode::Task},
                      ParseCase{{"--left", "1", "redownload", "l.ftl"}, false, Mode::Task},
                      ParseCase{{"redownload"}, false, Mode::Task},
                      ParseCase{{"redownload", "a.ftl", "b.ftl"}, false, Mode::Task},
                      ParseCase{{"--config", "c.ini", "convert", "1", "2", "3"}, false, Mode::Task},
                      ParseCase{{"download"}, false, Mode::Task},
                      ParseCase{{"--max-rate", "0"}, true, Mode::Task},
                      ParseCase{{"--max-rate", "-1"}, false, Mode::Task},
                      ParseCase{{"--max-rate", "2.5"}, false, Mode::Task},
                      ParseCase{{"--max-rate", "5", "redownload", "l.ftl"}, false, Mode::Task},
                      ParseCase{{"repack", "t.qrnl", "--store", "file"}, true, Mode::Repack},
                      ParseCase{{"repack", "--store=folder", "t.qrnl"}, true, Mode::Repack},
                      ParseCase{{"repack", "t.qrnl"}, false, Mode::Task},
                      ParseCase{{"repack", "t.qrnl", "--store", "sqlite"}, false, Mode::Task},
                      ParseCase{{"repack", "a.qrnl", "b.qrnl", "--store", "file"}, false, Mode::Task}));

TEST(CliParseTest, ValuesAreTakenAsTypedAndTheLastOneWins) {
  const auto parsed = ParseCliArguments(
      {"--left", "-10.50", "--top", "", "--task", "a", "--task=b.qrnl", "--path", "/x y", "--zoom", "-3"});
  ASSERT_TRUE(std::holds_alternative<CliArguments>(parsed));
  const CliArguments& a = std::get<CliArguments>(parsed);
  EXPECT_EQ(a.left, "-10.50");
  EXPECT_EQ(a.top, "");
  EXPECT_EQ(a.taskName, "b.qrnl");
  EXPECT_FALSE(a.maxRate.has_value());
  EXPECT_EQ(a.savePath, "/x y");
  EXPECT_EQ(a.zoom, -3);
  EXPECT_FALSE(a.right.has_value());
}

TEST(CliParseTest, TheTaskNameGetsItsExtensionAndTheRateItsNumber) {
  const std::pair<std::string, std::string> names[] = {
      {"t3", "t3.qrnl"}, {"t3.qrnl", "t3.qrnl"}, {"a.b", "a.b.qrnl"}, {"t.QRNL", "t.QRNL.qrnl"}, {"", ""}, {".qrnl", ".qrnl"}};
  for (const auto& [typed, named] : names) {
    const auto parsed = ParseCliArguments({"--task", typed, "--max-rate", "12"});
    ASSERT_TRUE(std::holds_alternative<CliArguments>(parsed)) << typed;
    EXPECT_EQ(std::get<CliArguments>(parsed).taskName, named) << typed;
    EXPECT_EQ(std::get<CliArguments>(parsed).maxRate, 12);
  }
}

TEST(StdoutLinesTest, EveryLineArrivesInOrderWithALineFeed) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  {
    StdoutLines lines(fds[1]);
    lines.Append("T1:seq=1, a.png ->ok!");
    lines.Append("");
    lines.Append("Error: may be your IP is banned.\nPlease try again later.");
  }
  ::close(fds[1]);
  std::string read;
  char buffer[256];
  ssize_t n;
  while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0) read.append(buffer, static_cast<std::size_t>(n));
  ::close(fds[0]);
  EXPECT_EQ(read, "T1:seq=1, a.png ->ok!\n\nError: may be your IP is banned.\nPlease try again later.\n");
}

}  // namespace
