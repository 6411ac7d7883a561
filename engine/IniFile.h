#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

// An INI file with the platform's private-profile semantics: section and key
// names match without regard to case, values are trimmed, a present key with
// an empty value reads as empty text, integers are decimal or 0x-hexadecimal.
// A missing file reads as all defaults.
//
// Every write reaches the disk at once and atomically; all other lines stay
// as they were, with their CR LF or LF endings. A missing key is added after
// the last key line of its section, a missing section at the end of the file.
//
// Reads are served from a copy of the file that is reloaded whenever the file
// on disk changes. Not for use from several threads at once.

class IniWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Why a file cannot serve as an INI file: it exists but cannot be read, or
// is no text (it holds a NUL byte). nullopt for a text file or no file at all.
std::optional<std::string> IniFileProblem(const std::string& path);

class IniFile {
 public:
  explicit IniFile(std::string path);

  const std::string& Path() const { return path_; }

  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) const;
  int32_t ReadInteger(const std::string& section, const std::string& key, int32_t defaultValue) const;
  // Every key=value line of a section, in order, as read (lines starting
  // with ";" or "#" are comments here); empty when the section is missing.
  std::vector<std::pair<std::string, std::string>> ReadKeys(const std::string& section) const;

  // Throw IniWriteError naming the file when the write cannot be done; the
  // file is then unchanged. Names and values must not hold line breaks, and
  // a key no "=".
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, int32_t value);
  // Several keys of one section in a single atomic rewrite.
  void WriteStrings(const std::string& section,
                    const std::vector<std::pair<std::string, std::string>>& keyValues);

  // New files are created with these permission bits (0600 for files holding secrets).
  void SetCreateMode(unsigned mode) { createMode_ = mode; }

 private:
  struct Line {
    std::string text;
    std::string ending;  // "\r\n", "\n", or "" for a last line without one
  };
  struct FileIdentity {
    bool exists = false;
    uint64_t device = 0, inode = 0, size = 0;
    int64_t modifiedSeconds = 0, modifiedNanoseconds = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
  };

  int Identify(FileIdentity& identity) const;
  void Load() const;
  const Line* FindKey(const std::string& section, const std::string& key) const;

  std::string path_;
  unsigned createMode_ = 0644;
  mutable bool loaded_ = false;
  mutable bool unreadable_ = false;  // present but not readable: writing would lose its content
  mutable FileIdentity identity_;
  mutable std::vector<Line> lines_;
};
