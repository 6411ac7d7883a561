// The window's tile sources: the selector and the zoom range it sets,
// "Add source..." and "Test".

#include <gtest/gtest.h>

#include <filesystem>

#include "MainWindowFixture.h"
#include "ScriptedServer.h"

namespace {

std::string SourceText(const std::string& name, const std::string& address, int minZoom, int maxZoom,
                       const std::string& more = "") {
  return "[Source]\nName=" + name + "\nTemplate=" + address + "\nMinZoom=" + std::to_string(minZoom) +
         "\nMaxZoom=" + std::to_string(maxZoom) + "\n" + more;
}

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  if (!std::filesystem::is_directory(folder)) return names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

class SourcesWindowTest : public MainWindowTest {
 protected:
  ScriptedServer server_;
  std::string sources_ = folder_.Path() + "sources/";

  void SetUp() override {
    const std::string tiles = server_.BaseUrl() + "/{z}/{x}/{y}.png";
    std::filesystem::create_directories(sources_);
    WriteFile(sources_ + "Topo.ini",
              SourceText("Topo", tiles, 3, 10, "Attribution=© Topo makers\nTerms=https://topo.example/terms\n"));
    WriteFile(sources_ + "Relief.ini", SourceText("Relief", tiles, 0, 14, "BulkDownload=0\nMaxTiles=250\n"));
    WriteFile(sources_ + "Keyed.ini", SourceText("Keyed", tiles + "?key={key}", 0, 19));
    MainWindowTest::SetUp();
  }

  void Choose(const std::string& source) {
    typed_.source = source;
    form_->SourceChange(entries_);
  }

  bool JobDone() {
    return platform_.PumpUntil([&] { return !form_->SourceJobRunning(); });
  }
};

TEST_F(SourcesWindowTest, TheSelectorListsTheConfiguredServerThenTheSourcesByName) {
  EXPECT_EQ(form_->Face().sourceItems,
            (std::vector<std::string>{"Configured server ([Hosts])", "Keyed", "Relief", "Topo"}));
  EXPECT_EQ(form_->Entries().task.source, "");
  EXPECT_FALSE(form_->Face().ButtonTestSourceEnabled);
}

TEST_F(SourcesWindowTest, AChosenSourceKeepsTheSliderAndToInItsRange) {
  struct Case {
    std::string source;
    int32_t zoom, to;
    std::string chosen;
    int32_t min, max, zoomAfter, toAfter;
    std::string attribution, terms;
  };
  const Case cases[] = {
      {"Topo", 12, 12, "Topo", 3, 10, 10, 10, "© Topo makers", "https://topo.example/terms"},
      {"Topo", 1, 14, "Topo", 3, 10, 3, 10, "© Topo makers", "https://topo.example/terms"},
      {"relief", 12, 16, "Relief", 0, 14, 12, 14, "no bulk downloading: at most 250 tiles a task", ""},
      // The configured server's range is the map type's again.
      {"", 12, 16, "", 1, 18, 12, 16, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source + " at " + std::to_string(c.zoom));
    Choose("");
    typed_.zoom = c.zoom;
    form_->TrackBar1Change(entries_);
    entries_.zoomTo = c.to;
    form_->ZoomToChange(entries_);
    Choose(c.source);
    const TForm1Face& face = form_->Face();
    EXPECT_EQ(form_->Entries().task.source, c.chosen);
    EXPECT_EQ(face.TrackBar1Min, c.min);
    EXPECT_EQ(face.TrackBar1Max, c.max);
    EXPECT_EQ(view_.entries.task.zoom, c.zoomAfter);
    EXPECT_EQ(view_.entries.zoomTo, c.toAfter);
    EXPECT_EQ(face.LabelSourceAttribution, c.attribution);
    EXPECT_EQ(face.SourceTermsUrl, c.terms);
    EXPECT_EQ(form_->StartEntries().source, c.chosen);
  }
}

TEST_F(SourcesWindowTest, AnOpenedTaskShowsItsOwnSourceWhenTheFolderNoLongerHoldsIt) {
  EnterTask();
  typed_.zoom = 5;
  Choose("Topo");
  Click();
  ASSERT_TRUE(platform_.messages.empty()) << platform_.messages[0];
  std::filesystem::remove(sources_ + "Topo.ini");
  TForm1 reopened(platform_, configPath_, RunOptions());
  reopened.FormShow();
  reopened.LoadProjectFile(reopened.Entries(), SavePath() + "job.qrnl");
  EXPECT_EQ(reopened.Entries().task.source, "Topo");
  EXPECT_EQ(reopened.Face().sourceItems.back(), "Topo");
  EXPECT_EQ(reopened.Face().TrackBar1Max, 10);
  EXPECT_EQ(reopened.Face().LabelSourceAttribution, "© Topo makers");
}

TEST_F(SourcesWindowTest, AddSourceAddsADocumentWholeOrNothing) {
  struct Case {
    std::string document;
    std::string message;  // its start
    std::string chosen;
    std::vector<std::string> files;
  };
  const std::string before[] = {"Keyed.ini", "Relief.ini", "Topo.ini"};
  const auto tileJson = [&](const std::string& name) {
    return R"({"tilejson": "2.2.0", "name": ")" + name + R"(", "tiles": [")" + server_.BaseUrl() +
           R"(/{z}/{x}/{y}.png"], "minzoom": 2, "maxzoom": 9})";
  };
  const Case cases[] = {
      {"just some words", "The document is neither", "", {before, before + 3}},
      {tileJson("Topo"), "A source named 'Topo' exists already", "", {before, before + 3}},
      {tileJson("Hills"), "Source added:\nHills", "Hills", {"Hills.ini", "Keyed.ini", "Relief.ini", "Topo.ini"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.document);
    platform_.messages.clear();
    const std::string path = folder_.Path() + "document.json";
    WriteFile(path, c.document);
    platform_.nextText = path;
    form_->AddSourceClick(entries_);
    ASSERT_TRUE(JobDone());
    ASSERT_EQ(platform_.messages.size(), 1u);
    EXPECT_EQ(platform_.messages[0].rfind(c.message, 0), 0u) << platform_.messages[0];
    EXPECT_EQ(form_->Entries().task.source, c.chosen);
    EXPECT_EQ(FilesIn(sources_), c.files);
  }
  EXPECT_EQ(form_->Face().TrackBar1Max, 9);
  EXPECT_EQ(platform_.textQuestions.back(), TForm1::kAddSourceQuestion);
}

TEST_F(SourcesWindowTest, AddSourceKeepsAKeyWrittenInTheAddressApart) {
  const std::string path = folder_.Path() + "paid.json";
  WriteFile(path, R"({"tilejson": "2.2.0", "name": "Paid", "tiles": [")" + server_.BaseUrl() +
                      R"(/{z}/{x}/{y}.png?key=s3cret"]})");
  platform_.nextText = path;
  form_->AddSourceClick(entries_);
  ASSERT_TRUE(JobDone());
  ASSERT_EQ(platform_.messages.size(), 1u);
  EXPECT_NE(platform_.messages[0].find("'Paid' is kept apart"), std::string::npos) << platform_.messages[0];
  EXPECT_EQ(ReadFile(sources_ + "Paid.ini").find("s3cret"), std::string::npos);
  EXPECT_NE(ReadFile(sources_ + "Paid.ini").find("?key={key}"), std::string::npos);
  EXPECT_NE(ReadFile(folder_.Path() + "keys.ini").find("Paid=s3cret"), std::string::npos);
}

TEST_F(SourcesWindowTest, TestSaysWhatOneTileOfTheChosenSourceIs) {
  struct Case {
    ScriptedServer::Handler answer;
    std::string status;  // its start
  };
  const Case cases[] = {
      {ServeBodyFor, "Topo: works: "},
      {[](const ScriptedRequest&) { return Respond::Status(403, "Forbidden"); }, "Topo: the server refused"},
  };
  Choose("Topo");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status);
    server_.SetHandler(c.answer);
    form_->TestSourceClick(entries_);
    EXPECT_EQ(form_->Face().LabelSourceStatus, "Testing Topo...");
    EXPECT_FALSE(form_->Face().ButtonTestSourceEnabled);
    ASSERT_TRUE(JobDone());
    EXPECT_EQ(form_->Face().LabelSourceStatus.rfind(c.status, 0), 0u) << form_->Face().LabelSourceStatus;
    EXPECT_TRUE(form_->Face().ButtonTestSourceEnabled);
  }
  EXPECT_TRUE(platform_.messages.empty());
}

TEST_F(SourcesWindowTest, TestOfASourceWithoutItsKeyNamesTheSourceAndAsksNothing) {
  Choose("Keyed");
  form_->TestSourceClick(entries_);
  ASSERT_EQ(platform_.messages.size(), 1u);
  EXPECT_NE(platform_.messages[0].find("'Keyed' needs a key"), std::string::npos);
  EXPECT_NE(platform_.messages[0].find("QUARNEL_KEY_KEYED"), std::string::npos);
  EXPECT_FALSE(form_->SourceJobRunning());
  EXPECT_EQ(server_.RequestCount(), 0u);
}

}  // namespace
