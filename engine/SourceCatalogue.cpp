#include "SourceCatalogue.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "AppPaths.h"
#include "AtomicFile.h"
#include "Files.h"
#include "IniFile.h"
#include "Text.h"

namespace {

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The ".ini" files of a folder, sorted; none for a missing folder.
std::vector<std::string> SourceFilesIn(const std::string& folder) {
  std::vector<std::string> files;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (name.size() > 4 && name.ends_with(".ini") && !name.starts_with(".")) files.push_back(folder + name);
  }
  std::sort(files.begin(), files.end());
  return files;
}

void ReadFolder(const std::string& folder, bool shipped, std::vector<TileSource>& sources,
                std::vector<std::string>& problems) {
  std::vector<TileSource> read;
  for (const std::string& path : SourceFilesIn(folder)) {
    try {
      TileSource source = ReadSourceFile(path);
      source.Shipped = shipped;
      const bool taken = std::any_of(sources.begin(), sources.end(), [&](const TileSource& other) {
        return EqualsIgnoringCase(other.Name, source.Name);
      }) || std::any_of(read.begin(), read.end(), [&](const TileSource& other) {
        return EqualsIgnoringCase(other.Name, source.Name);
      });
      if (taken)
        problems.push_back("The source file " + path + " is passed over: the name '" + source.Name + "' is taken.");
      else
        read.push_back(std::move(source));
    } catch (const SourceError& error) {
      problems.push_back(error.what());
    }
  }
  std::sort(read.begin(), read.end(),
            [](const TileSource& a, const TileSource& b) { return LowerAscii(a.Name) < LowerAscii(b.Name); });
  sources.insert(sources.end(), std::make_move_iterator(read.begin()), std::make_move_iterator(read.end()));
}

}  // namespace

SourceFolders SourceFoldersFor(const std::string& configPath, const std::string& executableFolder) {
  return {FolderOf(configPath) + "sources/", ProgramFilePath(executableFolder, "sources/")};
}

SourceCatalogue::SourceCatalogue(SourceFolders folders) : folders_(std::move(folders)) {}

std::vector<TileSource> SourceCatalogue::List() const {
  std::vector<TileSource> sources;
  std::vector<std::string> problems;
  ReadFolder(folders_.catalogue, true, sources, problems);
  ReadFolder(folders_.user, false, sources, problems);
  return sources;
}

std::vector<std::string> SourceCatalogue::Problems() const {
  std::vector<TileSource> sources;
  std::vector<std::string> problems;
  ReadFolder(folders_.catalogue, true, sources, problems);
  ReadFolder(folders_.user, false, sources, problems);
  return problems;
}

std::optional<TileSource> SourceCatalogue::Find(const std::string& name) const {
  for (TileSource& source : List())
    if (EqualsIgnoringCase(source.Name, name)) return std::move(source);
  return std::nullopt;
}

void SourceCatalogue::Add(const TileSource& source) {
  if (std::optional<std::string> problem = SourceProblem(source)) throw SourceError(*problem);
  if (std::optional<TileSource> other = Find(source.Name))
    throw SourceError("A source named '" + other->Name + "' is there already" +
                      (other->Shipped ? " in the catalogue." : "; remove it first, or give another name."));
  if (std::optional<std::string> problem = MakeFolders(folders_.user))
    throw SourceError("Cannot make the folder " + folders_.user + ": " + *problem + ".");
  // Two names may share a file name ("a b" and "a_b"): the second gets a number.
  const std::string stem = SourceFileName(source.Name);
  std::string path = folders_.user + stem;
  for (int n = 2; PathExists(path); ++n)
    path = folders_.user + stem.substr(0, stem.size() - 4) + "-" + std::to_string(n) + ".ini";
  TileSource stored = source;
  stored.Shipped = false;
  try {
    WriteFileAtomic(path, SourceFileText(stored));
  } catch (const FileWriteError& error) {
    throw SourceError(error.what());
  }
}

void SourceCatalogue::AddAll(const std::vector<TileSource>& sources, const std::vector<std::string>& keys,
                             const std::string& keyFile) {
  for (std::size_t i = 0; i < sources.size(); ++i) {
    if (std::optional<std::string> problem = SourceProblem(sources[i])) throw SourceError(*problem);
    bool taken = Find(sources[i].Name).has_value();
    for (std::size_t j = 0; j < i; ++j) taken = taken || EqualsIgnoringCase(sources[j].Name, sources[i].Name);
    if (taken) throw SourceError("A source named '" + sources[i].Name + "' exists already; nothing was added.");
  }
  std::size_t added = 0;
  try {
    for (; added < sources.size(); ++added) {
      Add(sources[added]);
      if (added < keys.size() && !keys[added].empty()) StoreSourceKey(sources[added].Name, keys[added], keyFile);
    }
  } catch (const std::exception& failure) {
    // The one being added when the write failed may be there too.
    for (std::size_t i = 0; i <= added && i < sources.size(); ++i) {
      try {
        Remove(sources[i].Name);
      } catch (const SourceError&) {
        // not there, or left for the user to see in the list
      }
    }
    throw SourceWriteError(failure.what());
  }
}

void SourceCatalogue::Remove(const std::string& name) {
  for (const std::string& path : SourceFilesIn(folders_.user)) {
    try {
      if (EqualsIgnoringCase(ReadSourceFile(path).Name, name)) {
        if (std::remove(path.c_str()) != 0) throw SourceError("Cannot remove the source file " + path + ".");
        return;
      }
    } catch (const SourceError&) {
      // a damaged file of another name does not stop the search
    }
  }
  if (std::optional<TileSource> shipped = Find(name))
    throw SourceError("The source '" + shipped->Name + "' is the catalogue's and cannot be removed.");
  throw SourceError("There is no source named '" + name + "'.");
}

std::string KeyFilePathFor(const std::string& configPath) { return FolderOf(configPath) + "keys.ini"; }

std::string KeyEnvironmentName(const std::string& sourceName) {
  std::string name = "QUARNEL_KEY_";
  for (char c : sourceName) {
    if (c >= 'a' && c <= 'z') name += static_cast<char>(c - 'a' + 'A');
    else if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) name += c;
    else name += '_';
  }
  return name;
}

std::optional<std::string> FindSourceKey(const std::string& sourceName, const std::string& keyFilePath) {
  if (const char* value = std::getenv(KeyEnvironmentName(sourceName).c_str()); value && *value) return value;
  std::string value = IniFile(keyFilePath).ReadString("Keys", sourceName, "");
  if (value.empty()) return std::nullopt;
  return value;
}

void StoreSourceKey(const std::string& sourceName, const std::string& value, const std::string& keyFilePath) {
  IniFile file(keyFilePath);
  file.SetCreateMode(0600);
  file.WriteString("Keys", sourceName, value);
}

std::optional<std::string> UseStoredSource(const TileSource& source, const std::string& configPath, TileHosts& hosts,
                                           NetworkSettings& network) {
  std::string key;
  if (NeedsKey(source)) {
    std::optional<std::string> found = FindSourceKey(source.Name, KeyFilePathFor(configPath));
    const std::string named = "The source '" + source.Name + "'";
    if (!found)
      return named + " needs a key: store it with \"quarnel-cli sources key " + source.Name + "\" or set " +
             KeyEnvironmentName(source.Name) + ".";
    // A blank or a line break would end the address or add a header line.
    if (std::any_of(found->begin(), found->end(), [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == 0x7f; }))
      return named + "'s key holds a blank or a control character.";
    key = std::move(*found);
  }
  hosts.OpenStreetMap = source.Template;
  network = SourceNetwork(source, std::move(network), std::move(key));
  return std::nullopt;
}

std::string ProjectPathOfList(const std::string& listPath) {
  constexpr std::string_view kEnding = "_failed.ftl";
  if (!listPath.ends_with(kEnding)) return {};
  return listPath.substr(0, listPath.size() - kEnding.size()) + ".qrnl";
}
