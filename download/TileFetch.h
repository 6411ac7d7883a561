#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "NetworkSettings.h"
#include "TileFreshness.h"

class RequestPacer;
class TileHttpClient;

// How a failed fetch is answered: an answer by its status code, a transfer
// failure (status 0) by its message text, the tests made in this order.
enum class FetchOutcome {
  ConnectionReset,   // "10054": repeat at once, silently
  ClosedGracefully,  // "Connection Closed Gracefully": log, repeat at once
  Banned,            // 302 or 403 (or an X-Blocked answer): record, this worker stops
  NotFound,          // 404: record, blank image
  OtherFailure,      // any other failure: record, blank image
  NoMessage,         // empty message: record, blank image
  RetryLater,        // 429, 500, 502, 503 or 504: wait, then repeat; listed when the repeats are spent
};
FetchOutcome ClassifyFetchFailure(std::string_view message, int status = 0);

inline constexpr const char* kBanText = "Error: may be your IP is banned.\nPlease try again later.";
inline constexpr const char* kNotFoundText = "Error: the image is not found on server.";

// What became of one tile's fetch once every repeat and wait was spent.
struct TileFetchResult {
  // NotModified: a conditional fetch heard "304 Not Modified".
  enum class Status { Fetched, Failed, Abandoned, NotModified };
  Status status = Status::Failed;
  // For Failed: Banned, NotFound, OtherFailure or NoMessage.
  FetchOutcome outcome = FetchOutcome::NoMessage;
  std::string message;
  // For Fetched and NotModified: what the answer said of the tile's freshness.
  TileFreshness freshness;
};

// What a caller hears while a tile is repeated: a closed connection before
// its repeat, or a wait the server asked for.
struct TileFetchNotes {
  std::function<void(const std::string& message)> repeating;
  std::function<void(const std::string& message, std::chrono::seconds wait)> waiting;
};

// The one road of a tile fetch, shared by the workers and the re-download:
// the rate cap, the bounded repeats after a reset or an early close, the
// waits a busy server's 429, 500, 502, 503 or 504 asks for (Retry-After,
// else doubling from a second, never beyond MaxRetryWait; RepeatLimit in all),
// and the check that a body is a whole image (Network.CheckTileBodies).
// A stop between repeats, in a wait or in the pacer abandons the tile: it
// is neither saved nor failed, and a resumed task fetches it again.
class TileFetcher {
 public:
  // pacer may be null (no cap); all references must outlive the fetcher.
  TileFetcher(TileHttpClient& client, const NetworkSettings& network, RequestPacer* pacer,
              const std::atomic<bool>& stop);

  // body is emptied first; on Fetched it holds the whole image.
  TileFetchResult Fetch(const std::string& url, std::string& body, const TileFetchNotes& notes = {});
  // The same, asking only for a tile that differs from the one these
  // validators name; empty validators make it a plain Fetch.
  TileFetchResult FetchIfChanged(const std::string& url, const TileValidators& known, std::string& body,
                                 const TileFetchNotes& notes = {});

 private:
  TileHttpClient& client_;
  const NetworkSettings& network_;
  RequestPacer* pacer_;
  const std::atomic<bool>& stop_;
};

// The host (and port) of an address, for messages about a server.
std::string HostOf(const std::string& url);
