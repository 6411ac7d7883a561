#include "IniFile.h"

#include <cerrno>
#include <cstring>
#include <string_view>
#include <sys/stat.h>

#include "AtomicFile.h"
#include "Text.h"
#include "TextFormat.h"

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// Lines of the file may carry any white space around their parts.
std::string_view TrimLine(std::string_view text) { return Trim(text, kWhiteSpace); }

bool IsSectionHeader(std::string_view text) { return TrimLine(text).starts_with('['); }

std::string_view SectionName(std::string_view text) {
  text = TrimLine(text);
  text.remove_prefix(1);
  return TrimLine(text.substr(0, text.find(']')));
}

// The key of a key=value line, or nothing for any other line.
bool SplitKeyLine(std::string_view text, std::string_view& key, std::string_view& value) {
  text = TrimLine(text);
  const auto equals = text.find('=');
  if (equals == std::string_view::npos || text.starts_with('[')) return false;
  key = TrimLine(text.substr(0, equals));
  value = TrimLine(text.substr(equals + 1));
  return true;
}

template <typename Lines>
std::size_t FindSection(const Lines& lines, std::string_view section) {
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (IsSectionHeader(lines[i].text) && EqualsIgnoringCase(SectionName(lines[i].text), section)) return i;
  return kNone;
}

template <typename Lines>
std::size_t SectionEnd(const Lines& lines, std::size_t header) {
  std::size_t i = header + 1;
  while (i < lines.size() && !IsSectionHeader(lines[i].text)) ++i;
  return i;
}

template <typename Lines>
std::size_t FindKeyLine(const Lines& lines, std::size_t header, std::string_view key) {
  const std::size_t end = SectionEnd(lines, header);
  for (std::size_t i = header + 1; i < end; ++i) {
    std::string_view name, value;
    if (SplitKeyLine(lines[i].text, name, value) && EqualsIgnoringCase(name, key)) return i;
  }
  return kNone;
}

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

}  // namespace

IniFile::IniFile(std::string path) : path_(std::move(path)) {}

// 0 when the file exists, ENOENT when it does not, another errno when it cannot be told.
int IniFile::Identify(FileIdentity& identity) const {
  struct stat info {};
  if (::stat(path_.c_str(), &info) != 0) {
    identity = {};
    return (errno == ENOENT || errno == ENOTDIR) ? ENOENT : errno;
  }
  identity = {true,
              static_cast<uint64_t>(info.st_dev),
              static_cast<uint64_t>(info.st_ino),
              static_cast<uint64_t>(info.st_size),
              static_cast<int64_t>(info.st_mtim.tv_sec),
              static_cast<int64_t>(info.st_mtim.tv_nsec)};
  return 0;
}

void IniFile::Load() const {
  FileIdentity current;
  const int status = Identify(current);
  if (status != 0 && status != ENOENT) {
    lines_.clear();
    unreadable_ = true;
    loaded_ = false;
    return;
  }
  if (loaded_ && current == identity_) return;

  lines_.clear();
  unreadable_ = false;
  identity_ = current;
  loaded_ = true;
  if (!current.exists) return;

  std::string content;
  try {
    content = ReadWholeFile(path_);
  } catch (const FileWriteError&) {
    unreadable_ = true;
    loaded_ = false;
    return;
  }
  std::size_t start = 0;
  while (start < content.size()) {
    const auto newline = content.find('\n', start);
    if (newline == std::string::npos) {
      lines_.push_back({content.substr(start), ""});
      break;
    }
    const bool crlf = newline > start && content[newline - 1] == '\r';
    const std::size_t textEnd = crlf ? newline - 1 : newline;
    lines_.push_back({content.substr(start, textEnd - start), crlf ? "\r\n" : "\n"});
    start = newline + 1;
  }
}

const IniFile::Line* IniFile::FindKey(const std::string& section, const std::string& key) const {
  Load();
  const std::size_t header = FindSection(lines_, section);
  if (header == kNone) return nullptr;
  const std::size_t line = FindKeyLine(lines_, header, key);
  return line == kNone ? nullptr : &lines_[line];
}

std::string IniFile::ReadString(const std::string& section, const std::string& key,
                                const std::string& defaultValue) const {
  const Line* line = FindKey(section, key);
  if (!line) return defaultValue;
  std::string_view name, value;
  SplitKeyLine(line->text, name, value);
  return std::string(value);
}

int32_t IniFile::ReadInteger(const std::string& section, const std::string& key, int32_t defaultValue) const {
  const Line* line = FindKey(section, key);
  if (!line) return defaultValue;
  std::string_view name, value;
  SplitKeyLine(line->text, name, value);
  return ParseInt32(value).value_or(defaultValue);
}

std::vector<std::pair<std::string, std::string>> IniFile::ReadKeys(const std::string& section) const {
  Load();
  std::vector<std::pair<std::string, std::string>> keys;
  const std::size_t header = FindSection(lines_, section);
  if (header == kNone) return keys;
  const std::size_t end = SectionEnd(lines_, header);
  for (std::size_t i = header + 1; i < end; ++i) {
    std::string_view name, value;
    const std::string_view text = TrimLine(lines_[i].text);
    if (text.starts_with(';') || text.starts_with('#') || !SplitKeyLine(text, name, value)) continue;
    keys.emplace_back(name, value);
  }
  return keys;
}

void IniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
  WriteStrings(section, {{key, value}});
}

void IniFile::WriteInteger(const std::string& section, const std::string& key, int32_t value) {
  WriteStrings(section, {{key, std::to_string(value)}});
}

void IniFile::WriteStrings(const std::string& section,
                           const std::vector<std::pair<std::string, std::string>>& keyValues) {
  const auto refuse = [&](const std::string& why) {
    throw IniWriteError("Unable to write to " + path_ + ": " + why);
  };
  if (TrimLine(section).empty() || HasLineBreak(section) || section.find(']') != std::string::npos)
    refuse("invalid section name \"" + section + "\"");
  for (const auto& [key, value] : keyValues) {
    if (TrimLine(key).empty() || HasLineBreak(key) || key.find('=') != std::string::npos ||
        TrimLine(key).starts_with('['))
      refuse("invalid key name \"" + key + "\"");
    if (HasLineBreak(value)) refuse("the value of " + key + " holds a line break");
  }

  Load();
  if (unreadable_) refuse("the file exists but cannot be read");

  std::vector<Line> lines = lines_;
  std::string newline = "\r\n";
  for (const Line& line : lines)
    if (!line.ending.empty()) {
      newline = line.ending;
      break;
    }
  const auto insertAt = [&](std::size_t index, std::string text) {
    if (index > 0 && lines[index - 1].ending.empty()) lines[index - 1].ending = newline;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(index), Line{std::move(text), newline});
  };

  for (const auto& [key, value] : keyValues) {
    std::size_t header = FindSection(lines, section);
    if (header == kNone) {
      if (!lines.empty() && !TrimLine(lines.back().text).empty()) insertAt(lines.size(), "");
      insertAt(lines.size(), "[" + section + "]");
      header = lines.size() - 1;
    }
    if (const std::size_t found = FindKeyLine(lines, header, key); found != kNone) {
      std::string_view name, oldValue;
      SplitKeyLine(lines[found].text, name, oldValue);
      lines[found].text = std::string(name) + "=" + value;
      continue;
    }
    std::size_t after = header;
    const std::size_t end = SectionEnd(lines, header);
    for (std::size_t i = header + 1; i < end; ++i)
      if (!TrimLine(lines[i].text).empty()) after = i;
    insertAt(after + 1, key + "=" + value);
  }

  std::string content;
  for (const Line& line : lines) {
    content += line.text;
    content += line.ending;
  }
  try {
    WriteFileAtomic(path_, content, Durability::PowerLoss, createMode_);
  } catch (const FileWriteError& error) {
    throw IniWriteError(error.what());
  }
  lines_ = std::move(lines);
  loaded_ = Identify(identity_) == 0;
}

std::optional<std::string> IniFileProblem(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    if (errno == ENOENT) return std::nullopt;
    return "The file " + path + " cannot be read: " + std::strerror(errno) + ".";
  }
  if (!S_ISREG(info.st_mode)) return "The file " + path + " cannot be read: it is not a regular file.";
  std::string content;
  try {
    content = ReadWholeFile(path);
  } catch (const std::exception&) {
    return "The file " + path + " cannot be read.";
  }
  if (content.find('\0') != std::string::npos) return "The file " + path + " cannot be read as text.";
  return std::nullopt;
}
