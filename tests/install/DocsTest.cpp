// The user's documents against the combiner's own list of output endings,
// read from the source tree: a kind added without its docs fails here.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "CliProcess.h"
#include "CombineRequest.h"
#include "TestFiles.h"

namespace {

const std::string kResources = QUARNEL_RESOURCES;

bool WordCharacter(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Whether text names the ending on its own: ".png" in "(.png," but not in
// "blank.png", ".tif" not by ".tiff". A tile folder is named by its layout.
bool NamesEnding(const std::string& text, std::string ending) {
  if (ending == "/") ending = "{z}/{x}/{y}";
  for (std::size_t at = text.find(ending); at != std::string::npos; at = text.find(ending, at + 1)) {
    const std::size_t end = at + ending.size();
    if ((at == 0 || !WordCharacter(text[at - 1])) && (end == text.size() || !WordCharacter(text[end]))) return true;
  }
  return false;
}

class Document : public ::testing::TestWithParam<const char*> {};

TEST_P(Document, NamesEveryOutputKind) {
  const std::string text = ReadFile(kResources + GetParam());
  ASSERT_FALSE(text.empty()) << GetParam();
  for (const OutputEnding& ending : kOutputEndings)
    EXPECT_TRUE(NamesEnding(text, ending.ending)) << GetParam() << " does not name " << ending.ending;
}

INSTANTIATE_TEST_SUITE_P(Resources, Document,
                         ::testing::Values("help/help.html", "man/quarnel-cli.1.in", "man/stitchel.1.in"));

TEST(Completion, OffersEveryOutputKind) {
  ScratchFolder folder("docs-completion");
  WriteFile(folder / "alps.qrnl", "");
  const std::string script = "cd '" + folder.Path() + "' && source '" + kResources +
                             "completion/quarnel-cli' && COMP_WORDS=(quarnel-cli combine alps.qrnl out) && "
                             "COMP_CWORD=3 && _quarnel_cli && printf '%s\\n' \"${COMPREPLY[@]}\"";
  const CliProcess::Result run = CliProcess("/bin/bash", {"-c", script}).Finish();
  ASSERT_EQ(run.status, 0) << run.err;
  for (const OutputEnding& ending : kOutputEndings)
    EXPECT_NE(run.out.find("out" + std::string(ending.ending) + "\n"), std::string::npos)
        << "out" << ending.ending << " is not offered:\n"
        << run.out;
}

}  // namespace
