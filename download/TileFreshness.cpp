#include "TileFreshness.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <vector>

#include "AtomicFile.h"
#include "UniqueFd.h"
#include "Text.h"

namespace {

constexpr std::size_t kLongestValidator = 1024;
constexpr std::size_t kPiece = std::size_t{64} << 10;
constexpr int64_t kMillisecondsPerDay = int64_t{86400} * 1000;
constexpr int64_t kMillisecondsPerSecond = 1000;

std::optional<int64_t> Number(std::string_view text) {
  int64_t value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

// A delta-seconds value; one too large to count is "a long time".
std::optional<int64_t> DeltaSeconds(std::string_view text) {
  text = Trim(text);
  if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  return text.size() > 12 ? int64_t{999'999'999'999} : *Number(text);
}

std::optional<int64_t> HttpDate(const std::string& text) {
  if (text.empty()) return std::nullopt;
  const time_t at = curl_getdate(text.c_str(), nullptr);
  if (at == -1) return std::nullopt;
  return static_cast<int64_t>(at);
}

bool FitsInLine(const std::string& value) {
  return value.size() <= kLongestValidator && value.find_first_of("\t\r\n") == std::string::npos;
}

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  for (std::size_t start = 0;;) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
    if (tab == std::string_view::npos) return fields;
    start = tab + 1;
  }
}

}  // namespace

int64_t ExpiryOf(const ResponseCaching& caching, int64_t now) {
  const auto later = [now](int64_t seconds) { return std::max(now, now + seconds * kMillisecondsPerSecond); };
  const int64_t age = DeltaSeconds(caching.age).value_or(0);
  std::optional<int64_t> maxAge;
  std::string_view directives = caching.cacheControl;
  while (!directives.empty()) {
    const std::size_t comma = directives.find(',');
    const std::string_view directive = Trim(directives.substr(0, comma));
    directives = comma == std::string_view::npos ? std::string_view() : directives.substr(comma + 1);
    if (StartsWithNoCase(directive, "no-store") || StartsWithNoCase(directive, "no-cache")) return now;
    if (StartsWithNoCase(directive, "max-age=")) {
      std::string_view value = directive.substr(8);
      if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
      maxAge = DeltaSeconds(value);
      if (!maxAge) return now;  // an unreadable lifetime is none
    }
  }
  if (maxAge) return later(*maxAge - age);
  if (caching.expires.empty()) return 0;
  const std::optional<int64_t> expires = HttpDate(caching.expires);
  if (!expires) return now;  // "Expires: 0" and its kind: already stale
  const int64_t sent = HttpDate(caching.date).value_or(now / kMillisecondsPerSecond);
  return later(*expires - sent - age);
}

TileFreshness FreshnessOf(const ResponseCaching& caching, int64_t now) {
  return {{caching.etag, caching.lastModified}, ExpiryOf(caching, now)};
}

std::string FreshRecordLine(const FreshRecord& record) {
  std::string line;
  AppendFreshRecordLine(line, record);
  return line;
}

void AppendFreshRecordLine(std::string& out, const FreshRecord& record) {
  const auto number = [&out](int64_t value) {
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
    out += '\t';
  };
  number(record.x);
  number(record.y);
  number(record.checked);
  number(record.freshness.expires);
  const TileValidators& v = record.freshness.validators;
  if (FitsInLine(v.etag)) out += v.etag;
  out += '\t';
  if (FitsInLine(v.lastModified)) out += v.lastModified;
  out += '\n';
}

std::string RefreshMarkerLine(char kind, int64_t start, std::optional<int32_t> olderThanDays) {
  std::string line = std::string(1, kind) + '\t' + std::to_string(start);
  if (olderThanDays) line += '\t' + std::to_string(*olderThanDays);
  return line + '\n';
}

std::optional<FreshLine> ParseFreshLine(std::string_view line) {
  const std::vector<std::string_view> fields = Fields(line);
  FreshLine parsed;
  if ((fields.size() == 2 || fields.size() == 3) && (fields[0] == "R" || fields[0] == "E")) {
    const std::optional<int64_t> start = Number(fields[1]);
    if (!start) return std::nullopt;
    if (fields.size() == 3) {
      const std::optional<int64_t> days = Number(fields[2]);
      if (!days || *days < 0 || *days > INT32_MAX) return std::nullopt;
      parsed.olderThanDays = static_cast<int32_t>(*days);
    }
    parsed.kind = fields[0] == "R" ? FreshLine::Kind::RefreshStarted : FreshLine::Kind::RefreshEnded;
    parsed.start = *start;
    return parsed;
  }
  if (fields.size() != 6) return std::nullopt;
  const std::optional<int64_t> x = Number(fields[0]), y = Number(fields[1]), checked = Number(fields[2]),
                               expires = Number(fields[3]);
  if (!x || !y || !checked || !expires || *x < INT32_MIN || *x > INT32_MAX || *y < INT32_MIN || *y > INT32_MAX)
    return std::nullopt;
  // A validator no writer would have written is never sent back.
  const auto validator = [](std::string_view field) {
    std::string value(field);
    return FitsInLine(value) ? value : std::string();
  };
  parsed.record = {static_cast<int32_t>(*x), static_cast<int32_t>(*y), *checked,
                   {{validator(fields[4]), validator(fields[5])}, *expires}};
  return parsed;
}

bool RefreshDue(int64_t checked, int64_t expires, int64_t reference, std::optional<int32_t> olderThanDays,
                bool continuing) {
  if (continuing && checked >= reference) return false;
  const bool expired = expires > 0 && expires <= reference;
  if (olderThanDays) return expired || reference - checked >= int64_t{*olderThanDays} * kMillisecondsPerDay;
  if (expires > 0) return expired;
  return reference - checked >= int64_t{kDefaultRefreshDays} * kMillisecondsPerDay;
}

int64_t NowMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::string FreshFilePathForTileFolder(const std::string& tileFolder) {
  std::string base = tileFolder;
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + kFreshFileSuffix;
}

std::size_t ReadLinesNewestFirst(const std::string& path, const std::function<void(std::string_view)>& visit,
                                 std::size_t longestLine) {
  const UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file) throw FileWriteError("Cannot open file " + path + ": " + std::strerror(errno));
  const int fd = file.Get();
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
    throw FileWriteError("Cannot open file " + path + ": not a regular file");
  std::size_t skipped = 0;
  const auto take = [&](std::string_view line) {
    if (line.size() > longestLine)
      ++skipped;
    else
      visit(line);
  };
  std::string carry;  // the end of the line the last piece began in, which this piece starts
  std::string piece;
  bool cutLine = true;   // until the first LF from the end: a line a crash cut short
  bool tooLong = false;  // inside a line already too long to keep: its bytes are not gathered
  for (off_t end = info.st_size; end > 0;) {
    const off_t start = std::max<off_t>(0, end - static_cast<off_t>(kPiece));
    piece.resize(static_cast<std::size_t>(end - start));
    for (std::size_t done = 0; done < piece.size();) {
      const ssize_t n = ::pread(fd, piece.data() + done, piece.size() - done, start + static_cast<off_t>(done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) throw FileWriteError("Cannot read file " + path + ": " + std::strerror(n < 0 ? errno : EIO));
      done += static_cast<std::size_t>(n);
    }
    end = start;
    if (!tooLong) piece += carry;
    std::size_t lineEnd = piece.size();
    if (cutLine || tooLong) {
      lineEnd = piece.rfind('\n');
      if (lineEnd == std::string::npos) {
        carry.clear();
        continue;
      }
      if (tooLong) ++skipped;
      cutLine = tooLong = false;
    }
    for (std::size_t lf; lineEnd > 0 && (lf = piece.rfind('\n', lineEnd - 1)) != std::string::npos; lineEnd = lf)
      take(std::string_view(piece).substr(lf + 1, lineEnd - lf - 1));
    tooLong = lineEnd > longestLine;
    carry = tooLong ? std::string() : piece.substr(0, lineEnd);
  }
  if (tooLong)
    ++skipped;
  else if (!cutLine)
    take(carry);  // the first line, which no LF precedes
  return skipped;
}
