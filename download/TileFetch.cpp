#include "TileFetch.h"

#include <ctime>
#include <exception>

#include "FetchFailure.h"
#include "HttpRequestText.h"
#include "RequestPacer.h"
#include "Text.h"
#include "TileBody.h"
#include "TileHttpClient.h"

FetchOutcome ClassifyFetchFailure(std::string_view message, int status) {
  // An answer is judged by its code: a reason text may hold any digits.
  if (status != 0) {
    switch (status) {
      case 302:
      case 403: return FetchOutcome::Banned;
      case 404: return FetchOutcome::NotFound;
      case 429:
      case 500:
      case 502:
      case 503:
      case 504: return FetchOutcome::RetryLater;
      default: return FetchOutcome::OtherFailure;
    }
  }
  if (Contains(message, "10054")) return FetchOutcome::ConnectionReset;
  if (Contains(message, "Connection Closed Gracefully")) return FetchOutcome::ClosedGracefully;
  if (Contains(message, "302") || Contains(message, "403")) return FetchOutcome::Banned;
  if (Contains(message, "404")) return FetchOutcome::NotFound;
  // Only a status text starts with its code: no transfer failure can pass for one.
  for (std::string_view code : {"429", "500", "502", "503", "504"}) {
    if (message.starts_with(code) && (message.size() == code.size() || message[code.size()] == ' '))
      return FetchOutcome::RetryLater;
  }
  if (message.empty()) return FetchOutcome::NoMessage;
  return FetchOutcome::OtherFailure;
}

TileFetcher::TileFetcher(TileHttpClient& client, const NetworkSettings& network, RequestPacer* pacer,
                         const std::atomic<bool>& stop)
    : client_(client), network_(network), pacer_(pacer), stop_(stop) {}

TileFetchResult TileFetcher::Fetch(const std::string& url, std::string& body, const TileFetchNotes& notes) {
  return FetchIfChanged(url, TileValidators{}, body, notes);
}

TileFetchResult TileFetcher::FetchIfChanged(const std::string& url, const TileValidators& known, std::string& body,
                                            const TileFetchNotes& notes) {
  const TileFetchResult abandoned{TileFetchResult::Status::Abandoned, FetchOutcome::NoMessage, {}, {}};
  int32_t waits = 0;
  for (int32_t repeats = 0;; ++repeats) {
    body.clear();
    if (pacer_ && !pacer_->Wait(stop_)) return abandoned;
    std::string message;
    std::string retryAfter;
    int status = 0;
    bool blocked = false;
    bool fetched = false;
    bool changed = true;
    try {
      changed = client_.GetIfChanged(url, known, body);
      fetched = true;
    } catch (const FetchError& e) {
      message = e.what();
      status = e.Status();
      retryAfter = e.RetryAfter();
      blocked = e.Blocked();
    } catch (const std::exception& e) {
      message = e.what();
    } catch (...) {
      // A failure without a message text: outcome "no message".
    }
    if (fetched) {
      const TileFreshness freshness = FreshnessOf(client_.LastCaching(), NowMilliseconds());
      if (!changed) return {TileFetchResult::Status::NotModified, FetchOutcome::NoMessage, {}, freshness};
      const bool vector = network_.TileFormat == TaskTileFormat::Mvt;
      const auto problem = !network_.CheckTileBodies ? std::nullopt
                           : vector                  ? VectorTileBodyProblem(body, network_.MaxTileBytes)
                                                     : TileBodyProblem(body);
      if (!problem) return {TileFetchResult::Status::Fetched, FetchOutcome::NoMessage, {}, freshness};
      body.clear();
      return {TileFetchResult::Status::Failed, FetchOutcome::OtherFailure, std::string(*problem), {}};
    }
    body.clear();
    if (blocked) return {TileFetchResult::Status::Failed, FetchOutcome::Banned, message, {}};

    FetchOutcome outcome = ClassifyFetchFailure(message, status);
    const bool repeatsLeft = repeats < network_.RepeatLimit;
    if (outcome == FetchOutcome::ConnectionReset || outcome == FetchOutcome::ClosedGracefully) {
      if (repeatsLeft) {
        if (outcome == FetchOutcome::ClosedGracefully && notes.repeating) notes.repeating(message);
        if (stop_) return abandoned;
        continue;
      }
      outcome = FetchOutcome::OtherFailure;
    }
    if (outcome == FetchOutcome::RetryLater) {
      if (repeatsLeft) {
        const std::chrono::seconds wait =
            RetryLaterWait(ParseRetryAfter(retryAfter, std::time(nullptr)), waits++, network_.MaxRetryWait);
        if (notes.waiting) notes.waiting(message, wait);
        if (!SleepUntilUnlessStopped(std::chrono::steady_clock::now() + wait, stop_)) return abandoned;
        continue;
      }
      outcome = FetchOutcome::OtherFailure;
    }
    return {TileFetchResult::Status::Failed, outcome, message, {}};
  }
}

std::string HostOf(const std::string& url) {
  const SplitUrl parts = SplitAddress(url);
  return parts.port.empty() ? parts.host : parts.host + ":" + parts.port;
}
