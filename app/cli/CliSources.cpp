#include "CliSources.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <iostream>
#include <iterator>

#include "AppPaths.h"
#include "IniFile.h"
#include "ProxyConfig.h"
#include "SourceCatalogue.h"
#include "SourceFetch.h"
#include "TaskConfig.h"
#include "Text.h"
#include "TextFormat.h"

namespace {

constexpr int kRefused = 2;
constexpr int kFailed = 1;

struct SourcesSetting {
  std::string configPath;
  SourceCatalogue catalogue;
  std::string keyFile;
};

SourcesSetting SettingFor(const CliArguments& arguments) {
  const std::string folder = RunningExecutableFolder();
  const std::string configPath = ConfigFilePath(folder, arguments.configPath.value_or(""));
  return {configPath, SourceCatalogue(SourceFoldersFor(configPath, folder)), KeyFilePathFor(configPath)};
}

void Say(const std::string& message) { std::fprintf(stderr, "quarnel-cli: %s\n", message.c_str()); }

int Complain(const std::string& message, int status) {
  Say(message);
  return status;
}

int List(const SourcesSetting& setting) {
  for (const TileSource& source : setting.catalogue.List())
    std::printf("%s\t%d-%d\t%s\n", source.Name.c_str(), source.MinZoom, source.MaxZoom, source.Template.c_str());
  for (const std::string& problem : setting.catalogue.Problems()) Say(problem);
  return 0;
}

int Add(SourcesSetting& setting, const SourcesCommand& command) {
  // The configuration's headers may hold another server's key: the document's server gets none of them.
  NetworkSettings network = ReadNetworkSettings(IniFile(setting.configPath));
  network.Headers.clear();
  network.Key.clear();
  SourceImport import;
  try {
    import = ImportSourcesFrom(command.subject, network, ReadProxyConfig(IniFile(setting.configPath)));
  } catch (const SourceImportError& refusal) {
    return Complain(refusal.what(), kRefused);
  }
  if (!command.name.empty()) {
    if (import.sources.size() != 1)
      return Complain("--name needs a document that gives one source; this one gives " +
                          std::to_string(import.sources.size()),
                      kRefused);
    import.sources.front().Name = command.name;
  }
  try {
    setting.catalogue.AddAll(import.sources, import.keys, setting.keyFile);
  } catch (const SourceWriteError& failure) {
    return Complain(failure.what(), kFailed);
  } catch (const SourceError& refusal) {
    return Complain(refusal.what(), kRefused);
  }
  for (const std::string& phrase : import.leftOut) Say("left out: " + phrase);
  for (const std::string& note : import.notes) Say(note);
  for (std::size_t i = 0; i < import.sources.size() && i < import.keys.size(); ++i)
    if (!import.keys[i].empty())
      Say("the key written in the address of '" + import.sources[i].Name + "' is kept apart, in " + setting.keyFile);
  for (const TileSource& source : import.sources) std::printf("%s\n", source.Name.c_str());
  return 0;
}

// The source's file on stdout, so that it can be saved as a source of one's
// own with other limits; where it comes from and its key's state on stderr.
int Show(const SourcesSetting& setting, const TileSource& source) {
  std::fputs(SourceFileText(source).c_str(), stdout);
  std::string key = "needs no key";
  if (NeedsKey(source)) key = FindSourceKey(source.Name, setting.keyFile) ? "has its key set" : "has no key set";
  Say("'" + source.Name + "' " + (source.Shipped ? "is the catalogue's (read-only) and " : "") + key);
  return 0;
}

int Test(const SourcesSetting& setting, const TileSource& source) {
  const std::optional<std::string> key = FindSourceKey(source.Name, setting.keyFile);
  if (NeedsKey(source) && !key)
    return Complain("the source '" + source.Name + "' needs a key: quarnel-cli sources key '" + source.Name + "'",
                    kRefused);
  const IniFile config(setting.configPath);
  const SourceTestResult result =
      TestSource(source, SourceNetwork(source, ReadNetworkSettings(config), key.value_or("")), ReadProxyConfig(config));
  std::printf("%s\n", result.sentence.c_str());
  return result.works ? 0 : kFailed;
}

int StoreKey(const SourcesSetting& setting, const TileSource& source) {
  const std::string input{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
  const std::string key(Trim(input, kWhiteSpace));
  if (key.empty()) return Complain("no key on standard input", kRefused);
  if (key.find_first_of("\r\n") != std::string::npos) return Complain("a key is one line", kRefused);
  try {
    StoreSourceKey(source.Name, key, setting.keyFile);
  } catch (const std::exception& failure) {
    return Complain(failure.what(), kFailed);
  }
  return 0;
}

}  // namespace

std::variant<SourcesCommand, CliUsageError> ParseSourcesCommand(const std::vector<std::string>& words) {
  SourcesCommand command;
  if (words.empty()) return command;
  static constexpr std::pair<const char*, SourcesCommand::Action> kActions[] = {
      {"add", SourcesCommand::Action::Add},       {"show", SourcesCommand::Action::Show},
      {"remove", SourcesCommand::Action::Remove}, {"test", SourcesCommand::Action::Test},
      {"key", SourcesCommand::Action::Key}};
  const auto action = std::find_if(std::begin(kActions), std::end(kActions),
                                   [&](const auto& entry) { return words[0] == entry.first; });
  if (action == std::end(kActions)) return CliUsageError{"unknown sources command " + words[0]};
  command.action = action->second;
  const bool add = command.action == SourcesCommand::Action::Add;
  std::vector<std::string> subjects;
  for (std::size_t i = 1; i < words.size(); ++i) {
    if (add && (words[i] == "--name" || words[i].starts_with("--name="))) {
      if (words[i] == "--name" && i + 1 >= words.size()) return CliUsageError{"--name needs a value"};
      command.name = words[i] == "--name" ? words[++i] : words[i].substr(7);
      if (Trim(command.name).empty()) return CliUsageError{"--name needs a value"};
    } else if (words[i].starts_with("--")) {
      return CliUsageError{"unknown option " + words[i] + " for sources " + words[0]};
    } else {
      subjects.push_back(words[i]);
    }
  }
  if (subjects.size() != 1)
    return CliUsageError{"sources " + words[0] + " needs one " + (add ? "file or address" : "source name")};
  command.subject = subjects.front();
  return command;
}

int RunSources(const CliArguments& arguments) {
  const auto parsed = ParseSourcesCommand(arguments.sourcesWords);
  if (const auto* error = std::get_if<CliUsageError>(&parsed))
    return Complain(error->message + "\nTry 'quarnel-cli --help'.", kRefused);
  const SourcesCommand& command = std::get<SourcesCommand>(parsed);
  SourcesSetting setting = SettingFor(arguments);
  if (command.action == SourcesCommand::Action::List) return List(setting);
  if (command.action == SourcesCommand::Action::Add) return Add(setting, command);
  const std::optional<TileSource> source = setting.catalogue.Find(command.subject);
  if (!source) return Complain("no source named '" + command.subject + "'; 'quarnel-cli sources' lists them", kRefused);
  switch (command.action) {
    case SourcesCommand::Action::Show: return Show(setting, *source);
    case SourcesCommand::Action::Test: return Test(setting, *source);
    case SourcesCommand::Action::Key: return StoreKey(setting, *source);
    case SourcesCommand::Action::Remove:
      try {
        setting.catalogue.Remove(source->Name);
      } catch (const SourceError& refusal) {
        return Complain(refusal.what(), kRefused);
      } catch (const std::exception& failure) {
        return Complain(failure.what(), kFailed);
      }
      return 0;
    default: return 0;
  }
}
