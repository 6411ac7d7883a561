// Tile sources: their files, their problems, the catalogue over two folders,
// keys kept apart, and the network a source gives a task.

#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>

#include "IniFile.h"
#include "ProjectFile.h"
#include "SourceCatalogue.h"
#include "TaskParameters.h"
#include "TaskTileRange.h"
#include "TestFiles.h"
#include "TileSource.h"

namespace {

namespace fs = std::filesystem;

TileSource Topo() {
  TileSource source;
  source.Name = "Topo";
  source.Template = "https://{s}.example.org/{z}/{x}/{-y}.png?key={key}";
  source.MinZoom = 2;
  source.MaxZoom = 17;
  source.Bounds = SourceBounds{5.5, 45.75, 10.5, 47.875};
  source.Format = "png";
  source.Attribution = "© Example";
  source.TermsUrl = "https://example.org/terms";
  source.UserAgent = "Agent/1";
  source.Headers = {{"Referer", "https://example.org/"}, {"X-Api-Key", "{key}"}};
  source.MaxThreads = 2;
  source.MaxRequestsPerSecond = 3;
  source.MaxTiles = 250;
  source.BulkDownload = false;
  return source;
}

TEST(TileSourceTest, AFileAndAProjectFileReadBackWhatWasWritten) {
  ScratchFolder temp;
  WriteFile(temp / "Topo.ini", SourceFileText(Topo()));
  EXPECT_EQ(ReadSourceFile(temp / "Topo.ini"), Topo());

  TaskParameters task;
  task.Source = Topo();
  task.Zoom = 3;
  const std::string project = temp / "task.qrnl";
  WriteFile(project, ProjectFileText(task, TaskTileRange{}));
  EXPECT_EQ(ProjectFile::Read(project).Source, Topo());
  task.Source.reset();
  WriteFile(project, ProjectFileText(task, TaskTileRange{}));
  EXPECT_FALSE(ProjectFile::Read(project).Source) << "a task of [Hosts] keeps none";
}

TEST(TileSourceTest, NamesEachProblem) {
  const struct {
    const char* name;
    void (*spoil)(TileSource&);
    const char* says;
  } cases[] = {
      {"no name", [](TileSource& s) { s.Name = " "; }, "needs a name"},
      {"INI syntax in the name", [](TileSource& s) { s.Name = "a=b"; }, "has a name with '='"},
      {"no template", [](TileSource& s) { s.Template.clear(); }, "has no address template"},
      {"no tile named", [](TileSource& s) { s.Template = "https://example.org/tile.png"; }, "names no tile"},
      {"unknown placeholder", [](TileSource& s) { s.Template = "https://e.org/{z}/{x}/{y}{api}"; }, "holds {api}"},
      {"another scheme", [](TileSource& s) { s.Template = "ftp://e.org/{z}/{x}/{y}"; }, "asks for ftp://"},
      {"zoom turned over", [](TileSource& s) { s.MinZoom = 9, s.MaxZoom = 3; }, "zoom range 9-3"},
      {"bounds turned over", [](TileSource& s) { s.Bounds = SourceBounds{10, 40, 5, 45}; }, "bounds are no rectangle"},
      {"a header that breaks the request", [](TileSource& s) { s.Headers = {{"Host", "x"}}; }, "Host"},
  };
  EXPECT_EQ(SourceProblem(Topo()), std::nullopt);
  for (const auto& c : cases) {
    TileSource source = Topo();
    c.spoil(source);
    const std::optional<std::string> problem = SourceProblem(source);
    ASSERT_TRUE(problem) << c.name;
    EXPECT_NE(problem->find(c.says), std::string::npos) << c.name << ": " << *problem;
  }
}

TEST(TileSourceTest, TheCatalogueIsReadOnlyAndNamesAreUniqueAcrossBothFolders) {
  ScratchFolder temp;
  const SourceFolders folders{temp / "user/", temp / "shipped/"};
  fs::create_directories(folders.catalogue);
  TileSource shipped = Topo();
  shipped.Name = "OpenStreetMap";
  WriteFile(folders.catalogue + "OpenStreetMap.ini", SourceFileText(shipped));
  WriteFile(folders.catalogue + "damaged.ini", "[Source]\nName=Damaged\n");
  SourceCatalogue catalogue(folders);

  catalogue.Add(Topo());
  const std::vector<TileSource> listed = catalogue.List();
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_TRUE(listed[0].Shipped && listed[0].Name == "OpenStreetMap") << "the catalogue's come first";
  EXPECT_EQ(listed[1].Name, "Topo");
  EXPECT_EQ(catalogue.Problems().size(), 1u) << "the damaged file is named, not listed";
  EXPECT_EQ(catalogue.Find("topo")->Template, Topo().Template) << "names match without regard to case";

  EXPECT_THROW(catalogue.Add(shipped), SourceError);
  EXPECT_THROW(catalogue.Add(Topo()), SourceError);
  EXPECT_THROW(catalogue.Remove("openstreetmap"), SourceError);
  EXPECT_TRUE(fs::exists(folders.catalogue + "OpenStreetMap.ini"));
  catalogue.Remove("Topo");
  EXPECT_FALSE(catalogue.Find("Topo"));
  EXPECT_THROW(catalogue.Remove("Topo"), SourceError);
}

TEST(TileSourceTest, AKeyComesFromTheEnvironmentBeforeTheKeyFile) {
  ScratchFolder temp;
  const std::string keys = KeyFilePathFor(temp / "config.ini");
  EXPECT_EQ(KeyEnvironmentName("Keyed topo-2"), "QUARNEL_KEY_KEYED_TOPO_2");
  EXPECT_FALSE(FindSourceKey("Keyed topo-2", keys));
  StoreSourceKey("Keyed topo-2", "from-file", keys);
  struct stat info {};
  ASSERT_EQ(::stat(keys.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(FindSourceKey("Keyed topo-2", keys), "from-file");
  ::setenv("QUARNEL_KEY_KEYED_TOPO_2", "from-environment", 1);
  EXPECT_EQ(FindSourceKey("Keyed topo-2", keys), "from-environment");
  ::unsetenv("QUARNEL_KEY_KEYED_TOPO_2");
}

TEST(TileSourceTest, ASourceLowersTheRateAndReplacesTheConfiguredHeaders) {
  const struct {
    int32_t configured, source, expected;
  } rates[] = {{0, 3, 3}, {5, 3, 3}, {1, 3, 1}, {4, 0, 4}};
  for (const auto& rate : rates) {
    NetworkSettings network;
    network.MaxRequestsPerSecond = rate.configured;
    network.Headers = {{"Authorization", "another server's"}};
    TileSource source = Topo();
    source.MaxRequestsPerSecond = rate.source;
    const NetworkSettings made = SourceNetwork(source, network, "k");
    EXPECT_EQ(made.MaxRequestsPerSecond, rate.expected) << rate.configured << " and " << rate.source;
    EXPECT_EQ(made.Headers, Topo().Headers);
    EXPECT_EQ(made.UserAgent, "Agent/1");
    EXPECT_EQ(made.Key, "k");
  }
}

}  // namespace
