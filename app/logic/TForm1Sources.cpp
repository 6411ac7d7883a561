// The window's tile sources: the selector, "Add source..." and "Test".
//
// The selector lists the catalogue's sources and the user's, read when the
// window is shown and again after an import; the chosen one's name is an
// entry like any other (entries.task.source), and Start hands it on. A
// task's source may be one the folders no longer hold (an opened task keeps
// its own): it is listed as the project file holds it, until the list is
// read again.
//
// An import and a test each ask the network: they run as the window's one
// background job, and their answers come back to the GUI thread, where the
// user's folder is written.

#include <algorithm>

#include "AppPaths.h"
#include "HandlerGuard.h"
#include "IniFile.h"
#include "ProxyConfig.h"
#include "SourceCatalogue.h"
#include "SourceFetch.h"
#include "TForm1.h"
#include "TaskConfig.h"
#include "Text.h"

namespace {

struct SourceRoad {
  NetworkSettings network;
  ProxyConfig proxy;
};

// The configuration's network and proxy, as a Start reads them; nullopt
// (and a message) when the file cannot be read.
std::optional<SourceRoad> ConfiguredRoad(Platform& platform, const std::string& configPath) {
  if (const std::optional<std::string> problem = IniFileProblem(configPath)) {
    platform.ShowMessage(*problem + " Fix or remove the configuration file.");
    return std::nullopt;
  }
  const IniFile config(configPath);
  return SourceRoad{ReadNetworkSettings(config), ReadProxyConfig(config)};
}

std::string Lines(const std::string& heading, const std::vector<std::string>& lines) {
  std::string text = heading;
  for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
  return text;
}

// "© Example contributors", and the terms' limit a task would meet.
std::string AttributionText(const TileSource& source) {
  std::string text = source.Attribution;
  if (source.BulkDownload) return text;
  if (!text.empty()) text += " \u00b7 ";
  text += "no bulk downloading";
  if (source.MaxTiles > 0) text += ": at most " + std::to_string(source.MaxTiles) + " tiles a task";
  return text;
}

}  // namespace

void TForm1::ListSources() {
  const SourceCatalogue catalogue(SourceFoldersFor(configPath_, ExecutableFolder()));
  sources_.clear();
  for (const TileSource& source : catalogue.List())
    sources_.push_back({source.Name, source.MinZoom, source.MaxZoom, AttributionText(source), source.TermsUrl});
  const std::vector<std::string> problems = catalogue.Problems();
  face_.LabelSourceStatus = problems.empty() ? std::string() : Lines("Sources left out:", problems);
}

void TForm1::ListTaskSource(const TileSource& source) {
  const bool listed = std::any_of(sources_.begin(), sources_.end(), [&](const SourceListing& other) {
    return EqualsIgnoringCase(other.name, source.Name);
  });
  if (!listed)
    sources_.push_back({source.Name, source.MinZoom, source.MaxZoom, AttributionText(source), source.TermsUrl});
}

const SourceListing* TForm1::ChosenSource() const {
  const std::string& name = entries_.task.source;
  if (name.empty()) return nullptr;
  const auto found = std::find_if(sources_.begin(), sources_.end(),
                                  [&](const SourceListing& source) { return EqualsIgnoringCase(source.name, name); });
  return found == sources_.end() ? nullptr : &*found;
}

void TForm1::ShowChosenSource() {
  const SourceListing* source = ChosenSource();
  face_.sourceItems = {kNoSourceText};
  for (const SourceListing& listed : sources_) face_.sourceItems.push_back(listed.name);
  if (source) entries_.task.source = source->name;  // as the selector spells it
  else if (!entries_.task.source.empty()) face_.sourceItems.push_back(entries_.task.source);
  face_.LabelSourceAttribution = source ? source->attribution : std::string();
  face_.SourceTermsUrl = source ? source->termsUrl : std::string();
  face_.ButtonTestSourceEnabled = source && !sourceJob_.Running();
  face_.ButtonAddSourceEnabled = !sourceJob_.Running();
  KeepZoomInRange();
}

void TForm1::SourceChange(const TForm1Entries& entries) {
  Take(entries);
  if (!sourceJob_.Running()) face_.LabelSourceStatus.clear();
  ShowChosenSource();
  NotifyControls();
}

void TForm1::AddSourceClick(const TForm1Entries& entries) {
  Take(entries);
  RunHandler(platform_, [&] {
    if (sourceJob_.Running()) return;
    const std::optional<std::string> answer = platform_.AskForText(kAddSourceQuestion, kSourceFileFilter);
    const std::string address(Trim(answer.value_or(""), kWhiteSpace));
    if (address.empty()) return;
    if (configPath_.empty()) configPath_ = ConfigFilePath(ExecutableFolder(), configPathOverride_);
    const std::optional<SourceRoad> road = ConfiguredRoad(platform_, configPath_);
    if (!road) return;
    sourceJob_.Start([this, address, road = *road]() -> std::function<void()> {
      try {
        return [this, import = ImportSourcesFrom(address, road.network, road.proxy)] { SourcesImported(import); };
      } catch (const std::exception& refusal) {  // SourceImportError's one sentence, or what else stopped it
        return [this, sentence = std::string(refusal.what())] {
          face_.LabelSourceStatus.clear();
          ShowChosenSource();
          NotifyControls();
          platform_.ShowMessage(sentence);
        };
      }
    });
    face_.LabelSourceStatus = "Reading " + address + "...";
  });
  ShowChosenSource();
  NotifyControls();
}

// On the GUI thread: the user's folder is written here. A document is added
// whole or not at all.
void TForm1::SourcesImported(const SourceImport& import) {
  SourceCatalogue catalogue(SourceFoldersFor(configPath_, ExecutableFolder()));
  const std::string keyFile = KeyFilePathFor(configPath_);
  std::optional<std::string> refusal;
  std::vector<std::string> added, keptApart;
  try {
    catalogue.AddAll(import.sources, import.keys, keyFile);
    for (std::size_t i = 0; i < import.sources.size(); ++i) {
      added.push_back(import.sources[i].Name);
      if (i < import.keys.size() && !import.keys[i].empty())
        keptApart.push_back("The key written in the address of '" + import.sources[i].Name + "' is kept apart, in " +
                            keyFile + ".");
    }
  } catch (const SourceError& failure) {
    refusal = failure.what();
  }
  ListSources();
  if (!refusal && added.size() == 1) entries_.task.source = added.front();
  ShowChosenSource();
  NotifyControls();
  if (refusal) {
    platform_.ShowMessage(*refusal);
    return;
  }
  std::vector<std::string> parts = {Lines(added.size() == 1 ? "Source added:" : "Sources added:", added)};
  if (!import.leftOut.empty()) parts.push_back(Lines("Left out:", import.leftOut));
  std::vector<std::string> notes = import.notes;
  notes.insert(notes.end(), keptApart.begin(), keptApart.end());
  if (!notes.empty()) parts.push_back(Lines("", notes));
  std::string message;
  for (const std::string& part : parts) message += (message.empty() ? "" : "\n\n") + part;
  platform_.ShowMessage(message);
}

void TForm1::TestSourceClick(const TForm1Entries& entries) {
  Take(entries);
  RunHandler(platform_, [&] {
    if (sourceJob_.Running()) return;
    if (configPath_.empty()) configPath_ = ConfigFilePath(ExecutableFolder(), configPathOverride_);
    const SourceCatalogue catalogue(SourceFoldersFor(configPath_, ExecutableFolder()));
    const std::optional<TileSource> source =
        entries_.task.source.empty() ? std::nullopt : catalogue.Find(entries_.task.source);
    if (!source) {
      platform_.ShowMessage(entries_.task.source.empty()
                                ? "Choose a source to test."
                                : "The source " + entries_.task.source + " is not in the sources folder " +
                                      catalogue.Folders().user + " any more.");
      return;
    }
    const std::optional<SourceRoad> road = ConfiguredRoad(platform_, configPath_);
    if (!road) return;
    // The key as a resumed task finds it: a missing one is refused here, naming the source.
    TileHosts hosts;
    NetworkSettings network = road->network;
    if (const std::optional<std::string> refusal = UseStoredSource(*source, configPath_, hosts, network)) {
      platform_.ShowMessage(*refusal);
      return;
    }
    sourceJob_.Start([this, source = *source, network, proxy = road->proxy]() -> std::function<void()> {
      std::string sentence;
      try {
        sentence = TestSource(source, network, proxy).sentence;
      } catch (const std::exception& failure) {
        sentence = failure.what();
      }
      return [this, name = source.Name, sentence] { SourceTested(name, sentence); };
    });
    face_.LabelSourceStatus = "Testing " + source->Name + "...";
  });
  ShowChosenSource();
  NotifyControls();
}

void TForm1::SourceTested(const std::string& name, const std::string& sentence) {
  face_.LabelSourceStatus = name + ": " + sentence;
  ShowChosenSource();
  NotifyControls();
}
