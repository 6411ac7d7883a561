#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// What a saved tile's server said about it: the validators a conditional
// request asks with, and how long the tile stays fresh. A task keeps them,
// one line per tile event, in NAME_fresh.txt beside its project file:
//
//   x TAB y TAB checked TAB expires TAB etag TAB last-modified LF
//
// with times in milliseconds since 1970 (expires 0: the server named none). A
// later line for the same tile replaces an earlier one. A refresh writes
// "R" TAB start (TAB days, when asked for tiles that old) when it begins and
// "E" TAB start when it has seen every tile, so a stopped refresh can be
// taken up where it stopped, judging as it began. A line cut short by a
// crash has no LF and is passed over; so is a line longer than any writer
// writes (kLongestFreshLine).

// The validators of a saved tile, as the server sent them.
struct TileValidators {
  std::string etag;          // quotes and "W/" included
  std::string lastModified;  // an HTTP date
  bool Empty() const { return etag.empty() && lastModified.empty(); }
};

// The caching headers of a response, as sent (empty when absent); several
// Cache-Control lines are joined with ", ".
struct ResponseCaching {
  std::string etag;
  std::string lastModified;
  std::string cacheControl;
  std::string expires;
  std::string date;
  std::string age;
};

struct TileFreshness {
  TileValidators validators;
  int64_t expires = 0;  // 0: the server named no expiry
  bool Empty() const { return validators.Empty() && expires == 0; }
};

// Milliseconds since 1970, the unit of every time here.
int64_t NowMilliseconds();

// When a response stops being fresh, as its headers say at time now:
// Cache-Control "no-store" or "no-cache" at once, else "max-age" (less
// "Age"), else "Expires" (measured against "Date" when sent, an unreadable
// one at once); 0 when none of them is sent.
int64_t ExpiryOf(const ResponseCaching& caching, int64_t now);
TileFreshness FreshnessOf(const ResponseCaching& caching, int64_t now);

struct FreshRecord {
  int32_t x = 0;
  int32_t y = 0;
  int64_t checked = 0;
  TileFreshness freshness;
};

// One line of the file, LF included. A validator that cannot stand in a
// line (a tab, a line break, an absurd length) is left out.
std::string FreshRecordLine(const FreshRecord& record);
// The same line appended to out.
void AppendFreshRecordLine(std::string& out, const FreshRecord& record);
// kind 'R' or 'E'; olderThanDays only for 'R'.
std::string RefreshMarkerLine(char kind, int64_t start, std::optional<int32_t> olderThanDays = std::nullopt);

// A line without its LF.
struct FreshLine {
  enum class Kind { Tile, RefreshStarted, RefreshEnded };
  Kind kind = Kind::Tile;
  FreshRecord record;  // Tile
  int64_t start = 0;   // the markers
  std::optional<int32_t> olderThanDays;  // "R": the age it was asked for
};
std::optional<FreshLine> ParseFreshLine(std::string_view line);

// Whether a refresh asks again for a tile last checked at checked, judged as
// of reference, the refresh's start. A refresh that continues one that
// stopped keeps that one's start, and the tiles checked since are done.
// With olderThanDays, a tile is due when its expiry has passed or it is that
// old; without, when its expiry has passed, or, with none known, when it is
// 7 days old.
bool RefreshDue(int64_t checked, int64_t expires, int64_t reference, std::optional<int32_t> olderThanDays,
                bool continuing = false);

inline constexpr std::size_t kLongestFreshLine = std::size_t{8} << 10;

// Each whole line of a file (without its LF), the last first, read from the
// end in pieces; a last line without its LF is passed over, and so is a line
// longer than longestLine, whose bytes are never gathered. Returns how many
// were too long. Throws FileWriteError when the file cannot be read or is not
// a regular file.
std::size_t ReadLinesNewestFirst(const std::string& path, const std::function<void(std::string_view line)>& visit,
                                 std::size_t longestLine = kLongestFreshLine);

inline constexpr int32_t kDefaultRefreshDays = 7;
inline constexpr const char* kFreshFileSuffix = "_fresh.txt";

// NAME_fresh.txt for the task whose tile folder is NAME/.
std::string FreshFilePathForTileFolder(const std::string& tileFolder);
