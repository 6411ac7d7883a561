#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "BackgroundJob.h"
#include "Platform.h"
#include "TaskParameters.h"
#include "TileSizeSample.h"

// A task's size judged from a few of its tiles, fetched from its server.

struct LevelEstimate {
  int32_t zoom = 0;
  int64_t tiles = 0;
  TileSizeSample sample;
  bool FromServer() const { return sample.fetched > 0; }
  // The sample's mean size times the tiles; the typical size without a sample.
  double Bytes() const;
};

// The tile count of the parameters' level (inside its area, for one over an
// area) and up to 8 of its tiles fetched
// through the configured server, proxy and headers (briefer time-outs than
// a download's: an estimate must not hang). Throws TaskSetupError for a
// range the set-up refuses.
LevelEstimate EstimateLevel(const TaskParameters& parameters, const std::atomic<bool>* stop = nullptr);

// "about 1.4 GB (8 sample tiles, 9–38 KB)"; without a sample tile the
// typical-size figure and why: "about 2.9 MB at a typical tile size (no
// sample tile came from the server: ...)".
std::string SampledSizeText(const LevelEstimate& estimate);
// "zoom 12: 1234 tiles, " and the sampled size.
std::string LevelEstimateLine(const LevelEstimate& estimate);
// "total: 5000 tiles, about 70.2 MB", and whether part of it is the typical size.
std::string TotalEstimateLine(const std::vector<LevelEstimate>& levels);
// The window's line: one level's count and size, or each level's and all of them together.
std::string WindowEstimateText(const std::vector<LevelEstimate>& levels);

// The window's "Estimate from the server": samples in the background and
// keeps the text for the entries it was asked about, so the estimate line
// shows it until they change.
class ServerEstimate {
 public:
  explicit ServerEstimate(Platform& platform) : job_(platform) {}
  // Stops the sampling; the job waits for the sample tiles in hand.
  ~ServerEstimate() { stop_ = true; }
  ServerEstimate(const ServerEstimate&) = delete;
  ServerEstimate& operator=(const ServerEstimate&) = delete;

  // Samples the parameters' levels up to lastZoom on a thread of its own;
  // key names the entries they came from. changed runs through
  // PostToGuiThread when the text is ready. False (nothing started) while a
  // sampling runs.
  bool Start(const TaskParameters& parameters, int32_t lastZoom, std::string key, std::function<void()> changed);
  bool Running() const { return job_.Running(); }
  // The text for these entries ("Asking the server ..." while it samples); nullopt for other entries.
  std::optional<std::string> TextFor(const std::string& key) const;

 private:
  std::atomic<bool> stop_{false};
  std::string key_;
  std::string text_;
  BackgroundJob job_;  // last: it joins its thread before the members it uses go
};
