// The user's documents against the combiner's own list of output endings
// and the shipped catalogue of tile sources, read from the source tree: a
// kind or a source added without its docs fails here.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "CliProcess.h"
#include "CombineRequest.h"
#include "IniFile.h"
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

// ---- The shipped catalogue of tile sources.

std::vector<std::string> CatalogueFiles() {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(kResources + "sources"))
    if (entry.path().extension() == ".ini") files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

// Each entry is a source of its own file name that says whose tiles they
// are and on what terms; the README names each one's terms.
TEST(Catalogue, EveryEntryNamesItsTermsAndAttribution) {
  const std::vector<std::string> files = CatalogueFiles();
  ASSERT_FALSE(files.empty());
  const std::string readme = ReadFile(QUARNEL_README);
  for (const std::string& path : files) {
    const IniFile source(path);
    const std::string name = source.ReadString("Source", "Name", "");
    EXPECT_EQ(std::filesystem::path(path).filename().string(), name + ".ini");
    EXPECT_TRUE(source.ReadString("Source", "Template", "").starts_with("https://")) << path;
    EXPECT_FALSE(source.ReadString("Source", "Attribution", "").empty()) << path;
    const std::string terms = source.ReadString("Source", "Terms", "");
    EXPECT_TRUE(terms.starts_with("https://")) << path;
    EXPECT_NE(readme.find("`" + name + "`"), std::string::npos) << "the README does not name " << name;
    EXPECT_NE(readme.find("<" + terms + ">"), std::string::npos) << "the README does not link " << terms;
  }
}

// Its policy forbids bulk downloading: a task gets no more than a viewer's tiles.
TEST(Catalogue, OpenStreetMapIsNoBulkWithATileLimit) {
  const IniFile osm(kResources + "sources/OpenStreetMap.ini");
  EXPECT_EQ(osm.ReadString("Source", "Template", ""), "https://tile.openstreetmap.org/{z}/{x}/{y}.png");
  EXPECT_EQ(osm.ReadInteger("Source", "BulkDownload", 1), 0);
  EXPECT_GT(osm.ReadInteger("Source", "MaxTiles", 0), 0);
  EXPECT_GT(osm.ReadInteger("Source", "MaxThreads", 0), 0);
  EXPECT_GT(osm.ReadInteger("Source", "MaxRequestsPerSecond", 0), 0);
}

}  // namespace
