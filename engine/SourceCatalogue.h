#pragma once

#include <optional>
#include <string>
#include <vector>

#include "TileHosts.h"
#include "TileSource.h"

// The sources a user can choose from: the shipped catalogue (read-only, in
// the program's data folder) and the user's own, in "sources" beside the
// configuration file in use. Names are unique across both, compared
// without regard to case.
// A source that could not be written (the disk's fault, not the source's).
class SourceWriteError : public SourceError {
 public:
  using SourceError::SourceError;
};

struct SourceFolders {
  std::string user;       // with a trailing separator
  std::string catalogue;  // with a trailing separator
};

// "sources/" beside configPath, and the catalogue among the program's files.
SourceFolders SourceFoldersFor(const std::string& configPath, const std::string& executableFolder);

class SourceCatalogue {
 public:
  explicit SourceCatalogue(SourceFolders folders);

  // The catalogue's sources, then the user's, each sorted by name; a file
  // that cannot be read is left out and named in Problems().
  std::vector<TileSource> List() const;
  std::vector<std::string> Problems() const;
  std::optional<TileSource> Find(const std::string& name) const;

  // Writes a new source of the user's atomically. Throws SourceError when
  // the source has a problem or its name is taken (in either folder).
  void Add(const TileSource& source);
  // A document's sources, whole or not at all: each is checked (its problem,
  // a name taken here or earlier in the list) before the first is written,
  // and a failed write takes back what was added. keys[i], when not empty,
  // is source i's key, stored in keyFile. Throws SourceError for a refusal,
  // SourceWriteError for a failed write.
  void AddAll(const std::vector<TileSource>& sources, const std::vector<std::string>& keys,
              const std::string& keyFile);
  // Throws SourceError for a name that is not there or is the catalogue's.
  void Remove(const std::string& name);

  const SourceFolders& Folders() const { return folders_; }

 private:
  SourceFolders folders_;
};

// Keys kept apart: "keys.ini" beside the configuration ([Keys] NAME=value,
// created 0600), or QUARNEL_KEY_<NAME> in the environment, which wins.
std::string KeyFilePathFor(const std::string& configPath);
// QUARNEL_KEY_ and the name in capitals, every byte but letters and digits as '_'.
std::string KeyEnvironmentName(const std::string& sourceName);
std::optional<std::string> FindSourceKey(const std::string& sourceName, const std::string& keyFilePath);
// Throws IniWriteError.
void StoreSourceKey(const std::string& sourceName, const std::string& value, const std::string& keyFilePath);

// A task's stored source for the fetches that come after its download (a
// resume, the re-download, the refresh, the viewer): its template in hosts
// (the OpenStreetMap slot, MapsType 8) and its headers, agent and key on
// network. The refusal, naming the source, when it needs a key that is
// missing or holds a blank or a control character.
std::optional<std::string> UseStoredSource(const TileSource& source, const std::string& configPath, TileHosts& hosts,
                                           NetworkSettings& network);

// The project file a failed-tile list NAME_failed.ftl belongs to: NAME.qrnl beside it.
std::string ProjectPathOfList(const std::string& listPath);
