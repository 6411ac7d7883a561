#include "ProgramInfo.h"

#include <gtest/gtest.h>

namespace {

struct AnswerCase {
  const char* name;
  std::vector<std::string> args;
  std::optional<std::string> expected;
};

class VersionOrHelpTest : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(VersionOrHelpTest, AnswersBeforeTheWindowStarts) {
  EXPECT_EQ(VersionOrHelp(GetParam().args, "glimmet", "Usage: glimmet\n"), GetParam().expected);
}

const std::string kVersion = std::string("glimmet ") + kProjectVersion + "\n";

INSTANTIATE_TEST_SUITE_P(Table, VersionOrHelpTest,
                         ::testing::Values(AnswerCase{"none", {}, std::nullopt},
                                           AnswerCase{"project", {"/maps/alps.qrnl"}, std::nullopt},
                                           AnswerCase{"version", {"--version"}, kVersion},
                                           AnswerCase{"help", {"--help"}, "Usage: glimmet\n"},
                                           AnswerCase{"shortHelp", {"-h"}, "Usage: glimmet\n"},
                                           AnswerCase{"firstWins", {"a.qrnl", "--version", "--help"}, kVersion},
                                           AnswerCase{"notAPrefix", {"--versions"}, std::nullopt}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
