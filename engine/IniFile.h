#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// An INI file with the platform's private-profile semantics: section and key
// names match without regard to case, values are trimmed, a present key with
// an empty value reads as empty text, integers are decimal or 0x-hexadecimal.
// Every write reaches the disk at once and atomically; all other lines stay
// as they were.

class IniWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class IniFile {
 public:
  explicit IniFile(std::string path);

  const std::string& Path() const { return path_; }

  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) const;
  int32_t ReadInteger(const std::string& section, const std::string& key, int32_t defaultValue) const;

  // Throw IniWriteError naming the file when the write cannot be done.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, int32_t value);

  // New files are created with these permission bits (0600 for files holding secrets).
  void SetCreateMode(unsigned mode) { createMode_ = mode; }

 private:
  void Load() const;

  std::string path_;
  unsigned createMode_ = 0644;
  mutable bool loaded_ = false;
  mutable std::vector<std::string> lines_;
};
