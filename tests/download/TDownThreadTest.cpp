#include "TDownThread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "FailureWatch.h"
#include "MapServices.h"
#include "RequestPacer.h"
#include "TileSetSelection.h"
#include "TileStore.h"
#include "TileStoreWriter.h"
#include "Unitclasstask.h"
#include "WorkerTestSupport.h"

using namespace workertest;

namespace {

// Records every report in order; log lines and failed-tile lines are told
// apart by a prefix so that one list shows their interleaving.
class RecordingSink : public TDownThreadSink {
 public:
  void Report(const WorkerReport& report) override {
    Add("log: " + std::string(report.line));
    if (report.event == WorkerEvent::Failed) Add("ftl: " + std::string(report.listed));
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back({report.event, report.tile});
    if (report.event == WorkerEvent::Ended) done_.push_back(report.worker);
  }

  std::vector<std::string> Lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }
  std::vector<int32_t> Done() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return done_;
  }
  struct Event {
    WorkerEvent event;
    TilePosition tile;
    friend bool operator==(const Event&, const Event&) = default;
  };
  // What each report said happened, in order.
  std::vector<Event> Events() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }
  // The seq numbers of the "->ok!" lines, in order.
  std::vector<int64_t> OkSeqs() const {
    std::vector<int64_t> seqs;
    for (const std::string& line : Lines()) {
      const auto at = line.find(":seq=");
      if (at != std::string::npos && line.ends_with(" ->ok!")) seqs.push_back(std::stoll(line.substr(at + 5)));
    }
    return seqs;
  }

 protected:
  virtual void Add(std::string line) {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back(std::move(line));
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
  std::vector<int32_t> done_;
  std::vector<Event> events_;
};

const std::string kBlank = QUARNEL_BLANK_IMAGE;
constexpr int32_t kZoom = 4;

class WorkerTest : public ::testing::Test {
 protected:
  WorkerTest() {
    params_.MapsType = kOpenStreetMap;
    params_.Zoom = kZoom;
    // The whole world: the task lowers no thread count, and each test narrows the range itself.
    params_.LeftLongitude = -180;
    params_.RightLongitude = 180;
    params_.TopLatitude = 85;
    params_.BottomLatitude = -85;
    params_.SavePath = folder_.Path();
    params_.TaskFileName = "task.qrnl";
    params_.Hosts.OpenStreetMap = server_.HostAndPort();
  }

  void SetUp() override {
    // The blank checks compare with this file; an empty one would prove nothing.
    ASSERT_FALSE(ReadFile(kBlank).empty()) << kBlank;
  }

  DownloadTask& MakeTask(int32_t minX, int32_t maxX, int32_t minY, int32_t maxY, int32_t threads = 1) {
    params_.ThreadCount = threads;
    task_ = std::make_unique<DownloadTask>(params_);
    task_->MinX = minX;
    task_->MaxX = maxX;
    task_->MinY = minY;
    task_->MaxY = maxY;
    return *task_;
  }

  // Runs one worker to its end and returns where it last saved; a task kept
  // in one file gets its writer, which has committed everything on return.
  TilePosition RunWorker(int32_t index, RecordingSink& sink, const std::string& blank = kBlank) {
    std::unique_ptr<TileStoreWriter> writer;
    if (!task_->StorePath.empty())
      writer = std::make_unique<TileStoreWriter>(TileStore::OpenForWriting(task_->StorePath), kZoom,
                                                 RowOrigin::FromTop, params_.ThreadCount);
    TDownThread worker(false, task_.get(), index, sink, blank, nullptr, nullptr, nullptr, writer.get());
    worker.WaitFor();
    return worker.LastPosition();
  }

  static std::string Target(int32_t x, int32_t y) {
    return "/" + std::to_string(kZoom) + "/" + std::to_string(x) + "/" + std::to_string(y) + ".png";
  }
  std::string Url(int32_t x, int32_t y) const { return task_->TileUrl(x, y); }
  std::string TilePath(int32_t x, int32_t y) const { return task_->TileFilePath(x, y); }

  // Names in the tile folder, to see that no temporary is left behind.
  std::vector<std::string> TileFolderNames() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(task_->TileFolder))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  ScratchFolder folder_;
  TileServer server_;
  TaskParameters params_;
  std::unique_ptr<DownloadTask> task_;
};

std::string Fill(std::string text, const std::string& url, const std::string& path) {
  for (const auto& [key, value] : {std::pair<std::string, std::string>{"{url}", url}, {"{path}", path}}) {
    for (auto at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size()))
      text.replace(at, key.size(), value);
  }
  return text;
}

// ---------------------------------------------------------------------------
// Outcome table, one tile (5, 7) fetched by worker index 0.

enum class Disk { Body, Blank, Kept, Nothing };

struct OutcomeCase {
  const char* name;
  std::vector<ScriptedAction> answers;  // then the tile's own body
  bool existingFile;
  std::vector<std::string> lines;
  Disk disk;
  std::size_t requests;
};

void PrintTo(const OutcomeCase& c, std::ostream* os) { *os << c.name; }

const std::vector<std::string> kOkLines = {"log: T1:seq=1, os_5_7_4.png ->ok!", "log: T1 Finished."};
const std::vector<std::string> kNotFoundLines = {
    "log: T1 404 Not Found->{url}", "ftl: {path}|{url}", "log: Error: the image is not found on server.",
    "log: T1:5-7 got a blank image!", "log: T1 Finished."};
const std::vector<std::string> kOtherLines = {"log: T1 501 Not Implemented->{url}", "ftl: {path}|{url}",
                                              "log: T1:5-7 got a blank image!", "log: T1 Finished."};
const std::vector<std::string> kForbiddenLines = {
    "log: T1 403 Forbidden->{url}", "ftl: {path}|{url}",
    "log: Error: may be your IP is banned.\nPlease try again later.", "log: T1 Finished."};
const std::vector<std::string> kRedirectLines = {
    "log: T1 302 Found->{url}", "ftl: {path}|{url}",
    "log: Error: may be your IP is banned.\nPlease try again later.", "log: T1 Finished."};

// What the reports of the main roads say happened, every one about tile 5-7 but the end.
using enum WorkerEvent;
const std::map<std::string, std::vector<WorkerEvent>> kOutcomeEvents = {
    {"Saved", {Saved, Ended}},
    {"ClosedThenSaved", {Waiting, Saved, Ended}},
    {"TooManyRequestsWaitsASecondThenSaved", {Waiting, Saved, Ended}},
    {"NotFoundGetsBlank", {Failed, NotFound, Blank, Ended}},
    {"OtherFailureGetsBlank", {Failed, Blank, Ended}},
    {"ForbiddenBans", {Failed, Banned, Ended}},
};

// Every outcome, for a task kept in a folder and for one kept in one file.
class OutcomeTest : public WorkerTest, public ::testing::WithParamInterface<std::tuple<OutcomeCase, TileStorage>> {};

TEST_P(OutcomeTest, WritesItsLinesInOrderAndLeavesTheDiskAsExpected) {
  const auto& [c, storage] = GetParam();
  params_.Storage = storage;
  MakeTask(5, 5, 7, 7);
  const std::string path = TilePath(5, 7);
  if (c.existingFile && storage == TileStorage::Folder) WriteFile(path, "existing tile");
  if (c.existingFile && storage == TileStorage::File)
    TileStore::OpenForWriting(task_->StorePath)->WriteBatch({{kZoom, 5, 7, "existing tile"}});
  for (const ScriptedAction& answer : c.answers) server_.Queue(Target(5, 7), answer);

  RecordingSink sink;
  const TilePosition last = RunWorker(0, sink);

  std::vector<std::string> expected;
  for (const std::string& line : c.lines) expected.push_back(Fill(line, Url(5, 7), path));
  EXPECT_EQ(sink.Lines(), expected);
  EXPECT_EQ(sink.Done(), std::vector<int32_t>{0});
  EXPECT_EQ(server_.Targets(), std::vector<std::string>(c.requests, Target(5, 7)));
  if (const auto events = kOutcomeEvents.find(c.name); events != kOutcomeEvents.end()) {
    std::vector<RecordingSink::Event> expectedEvents;
    for (WorkerEvent event : events->second)
      expectedEvents.push_back({event, event == Ended ? TilePosition{} : TilePosition{5, 7}});
    EXPECT_EQ(sink.Events(), expectedEvents);
  }

  if (storage == TileStorage::File) {
    EXPECT_FALSE(Exists(task_->TileFolder)) << "a task in one file makes no tile folder";
    const auto store = TileStore::OpenReadOnly(task_->StorePath);
    const std::optional<std::string> kept = store->ReadTile(kZoom, 5, 7);
    switch (c.disk) {
      case Disk::Body: EXPECT_EQ(kept, BodyFor(Target(5, 7))); break;
      case Disk::Blank: EXPECT_EQ(store->State(kZoom, 5, 7), TileState::Placeholder); break;
      case Disk::Kept: EXPECT_EQ(kept, "existing tile"); break;
      case Disk::Nothing: EXPECT_EQ(store->State(kZoom, 5, 7), TileState::None); break;
    }
    EXPECT_EQ(last, (c.disk == Disk::Body ? TilePosition{5, 7} : TilePosition{0, 0}));
    return;
  }
  switch (c.disk) {
    case Disk::Body:
      EXPECT_EQ(ReadFile(path), BodyFor(Target(5, 7)));
      EXPECT_EQ(last, (TilePosition{5, 7}));
      break;
    case Disk::Blank:
      EXPECT_EQ(ReadFile(path), ReadFile(kBlank));
      EXPECT_EQ(last, (TilePosition{0, 0}));
      break;
    case Disk::Kept:
      EXPECT_EQ(ReadFile(path), "existing tile");
      EXPECT_EQ(last, (TilePosition{0, 0}));
      break;
    case Disk::Nothing:
      EXPECT_FALSE(Exists(path));
      EXPECT_EQ(last, (TilePosition{0, 0}));
      break;
  }
  // Temporaries of the tile write and of the blank copy are all gone.
  if (c.disk == Disk::Nothing) EXPECT_TRUE(TileFolderNames().empty());
  else EXPECT_EQ(TileFolderNames(), std::vector<std::string>{"os_5_7_4.png"});
}

INSTANTIATE_TEST_SUITE_P(
    Worker, OutcomeTest,
    ::testing::Combine(::testing::Values(
        OutcomeCase{"Saved", {}, false, kOkLines, Disk::Body, 1},
        OutcomeCase{"SavedOverExisting", {}, true, kOkLines, Disk::Body, 1},
        OutcomeCase{"ResetThenSaved", {Respond::Reset()}, false, kOkLines, Disk::Body, 2},
        OutcomeCase{"ClosedThenSaved",
                    {Respond::CloseNow()},
                    false,
                    {"log: T1:5-7:Connection Closed Gracefully.", kOkLines[0], kOkLines[1]},
                    Disk::Body,
                    2},
        OutcomeCase{"NotFoundGetsBlank", {Respond::Status(404, "Not Found", "no tile")}, false, kNotFoundLines,
                    Disk::Blank, 1},
        OutcomeCase{"NotFoundKeepsExisting", {Respond::Status(404, "Not Found")}, true, kNotFoundLines,
                    Disk::Kept, 1},
        OutcomeCase{"OtherFailureGetsBlank", {Respond::Status(501, "Not Implemented")}, false, kOtherLines,
                    Disk::Blank, 1},
        OutcomeCase{"OtherFailureKeepsExisting", {Respond::Status(501, "Not Implemented")}, true, kOtherLines,
                    Disk::Kept, 1},
        OutcomeCase{"ForbiddenBans", {Respond::Status(403, "Forbidden")}, false, kForbiddenLines, Disk::Nothing,
                    1},
        OutcomeCase{"ForbiddenKeepsExisting", {Respond::Status(403, "Forbidden")}, true, kForbiddenLines,
                    Disk::Kept, 1},
        OutcomeCase{"ServiceUnavailableWaitsAsAskedThenSaved",
                    {Respond::Raw(Respond::Text("HTTP/1.1 503 Service Unavailable", {{"Retry-After", "0"}}, ""))},
                    false,
                    {"log: T1:5-7:503 Service Unavailable: waiting 0 s before asking again.", kOkLines[0],
                     kOkLines[1]},
                    Disk::Body,
                    2},
        // A busy server's passing error is waited out as a 503 is.
        OutcomeCase{"ServerErrorWaitsThenSaved",
                    {Respond::Raw(Respond::Text("HTTP/1.1 500 Internal Server Error", {{"Retry-After", "0"}}, ""))},
                    false,
                    {"log: T1:5-7:500 Internal Server Error: waiting 0 s before asking again.", kOkLines[0],
                     kOkLines[1]},
                    Disk::Body,
                    2},
        OutcomeCase{"BadGatewayWaitsThenSaved",
                    {Respond::Raw(Respond::Text("HTTP/1.1 502 Bad Gateway", {{"Retry-After", "0"}}, ""))},
                    false,
                    {"log: T1:5-7:502 Bad Gateway: waiting 0 s before asking again.", kOkLines[0], kOkLines[1]},
                    Disk::Body,
                    2},
        OutcomeCase{"GatewayTimeoutWaitsThenSaved",
                    {Respond::Raw(Respond::Text("HTTP/1.1 504 Gateway Timeout", {{"Retry-After", "0"}}, ""))},
                    false,
                    {"log: T1:5-7:504 Gateway Timeout: waiting 0 s before asking again.", kOkLines[0], kOkLines[1]},
                    Disk::Body,
                    2},
        OutcomeCase{"TooManyRequestsWaitsASecondThenSaved",
                    {Respond::Status(429, "Too Many Requests")},
                    false,
                    {"log: T1:5-7:429 Too Many Requests: waiting 1 s before asking again.", kOkLines[0],
                     kOkLines[1]},
                    Disk::Body,
                    2},
        OutcomeCase{"RedirectBans", {Respond::Redirect(302, "Found", "http://127.0.0.1:1/elsewhere.png")}, false,
                    kRedirectLines, Disk::Nothing, 1}),
                       ::testing::Values(TileStorage::Folder, TileStorage::File)),
    [](const ::testing::TestParamInfo<std::tuple<OutcomeCase, TileStorage>>& info) {
      return std::string(std::get<0>(info.param).name) + "_" + TileStorageName(std::get<1>(info.param));
    });

// ---------------------------------------------------------------------------

TEST(ClassifyFetchFailure, AnswersByStatusCodeTransferFailuresByText) {
  const struct {
    const char* message;
    int status;  // 0: no answer came
    FetchOutcome outcome;
  } cases[] = {
      {"302 Found", 302, FetchOutcome::Banned},
      {"403 Forbidden", 403, FetchOutcome::Banned},
      {"404 Not Found", 404, FetchOutcome::NotFound},
      {"429 Too Many Requests", 429, FetchOutcome::RetryLater},
      {"500 Internal Server Error", 500, FetchOutcome::RetryLater},
      {"502 Bad Gateway", 502, FetchOutcome::RetryLater},
      {"503", 503, FetchOutcome::RetryLater},
      {"504 Gateway Timeout", 504, FetchOutcome::RetryLater},
      {"501 Not Implemented", 501, FetchOutcome::OtherFailure},
      {"301 Moved Permanently", 301, FetchOutcome::OtherFailure},
      // A reason text is never read for a code.
      {"500 Error 403", 500, FetchOutcome::RetryLater},
      {"500 Error 404", 500, FetchOutcome::RetryLater},
      {"418 Socket Error # 10054 Connection Closed Gracefully", 418, FetchOutcome::OtherFailure},
      // Without a status, the message's text decides, in table order.
      {"Socket Error # 10054\r\nConnection reset by peer.", 0, FetchOutcome::ConnectionReset},
      {"Connection Closed Gracefully.", 0, FetchOutcome::ClosedGracefully},
      {"", 0, FetchOutcome::NoMessage},
      {"Socket Error # 10061\r\nConnection refused.", 0, FetchOutcome::OtherFailure},
      {"HTTP transfer failed: 429", 0, FetchOutcome::OtherFailure},  // only a status text starts with its code
      {"5031 Custom", 0, FetchOutcome::OtherFailure},
      {"503 Service Unavailable 404", 0, FetchOutcome::NotFound},    // after every other test
      {"404 then 10054", 0, FetchOutcome::ConnectionReset},             // reset is tested first
      {"Connection Closed Gracefully. 403", 0, FetchOutcome::ClosedGracefully},
      {"403 and 404", 0, FetchOutcome::Banned},                         // ban before not-found
      {"Error 14042", 0, FetchOutcome::NotFound},                       // anywhere in the text
      {"connection closed gracefully.", 0, FetchOutcome::OtherFailure}, // case-sensitive
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(ClassifyFetchFailure(c.message, c.status), c.outcome);
  }
}

TEST_F(WorkerTest, RepeatsAfterResetEarlyCloseOrServerErrorAreBoundedThenTheTileFails) {
  const std::string resetText = "Socket Error # 10054\r\nConnection reset by peer.";
  const struct {
    const char* name;
    ScriptedAction answer;
    int32_t limit;
    std::vector<std::string> lines;
  } cases[] = {
      {"reset, limit 2",
       Respond::Reset(),
       2,
       {"log: T1 " + resetText + "->{url}", "ftl: {path}|{url}", "log: T1:5-7 got a blank image!",
        "log: T1 Finished."}},
      {"reset, limit 0",
       Respond::Reset(),
       0,
       {"log: T1 " + resetText + "->{url}", "ftl: {path}|{url}", "log: T1:5-7 got a blank image!",
        "log: T1 Finished."}},
      {"lasting 500, limit 2",
       Respond::Raw(Respond::Text("HTTP/1.1 500 Internal Server Error", {{"Retry-After", "0"}}, "")),
       2,
       {"log: T1:5-7:500 Internal Server Error: waiting 0 s before asking again.",
        "log: T1:5-7:500 Internal Server Error: waiting 0 s before asking again.",
        "log: T1 500 Internal Server Error->{url}", "ftl: {path}|{url}", "log: T1:5-7 got a blank image!",
        "log: T1 Finished."}},
      {"closed, limit 2",
       Respond::CloseNow(),
       2,
       {"log: T1:5-7:Connection Closed Gracefully.", "log: T1:5-7:Connection Closed Gracefully.",
        "log: T1 Connection Closed Gracefully.->{url}", "ftl: {path}|{url}", "log: T1:5-7 got a blank image!",
        "log: T1 Finished."}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TileServer server;
    params_.Hosts.OpenStreetMap = server.HostAndPort();
    params_.Network.RepeatLimit = c.limit;
    MakeTask(5, 5, 7, 7);
    std::filesystem::remove(TilePath(5, 7));
    server.Always(Target(5, 7), c.answer);

    RecordingSink sink;
    RunWorker(0, sink);

    std::vector<std::string> expected;
    for (const std::string& line : c.lines) expected.push_back(Fill(line, Url(5, 7), TilePath(5, 7)));
    EXPECT_EQ(sink.Lines(), expected);
    EXPECT_EQ(server.Targets().size(), static_cast<std::size_t>(c.limit) + 1);
    EXPECT_EQ(ReadFile(TilePath(5, 7)), ReadFile(kBlank));
  }
}

TEST_F(WorkerTest, OneWorkerFetchesEveryTileColumnByColumn) {
  MakeTask(3, 4, 5, 7);
  RecordingSink sink;
  const TilePosition last = RunWorker(0, sink);

  EXPECT_EQ(server_.Targets(), (std::vector<std::string>{Target(3, 5), Target(3, 6), Target(3, 7), Target(4, 5),
                                                         Target(4, 6), Target(4, 7)}));
  EXPECT_EQ(sink.Lines(), (std::vector<std::string>{
                              "log: T1:seq=1, os_3_5_4.png ->ok!", "log: T1:seq=2, os_3_6_4.png ->ok!",
                              "log: T1:seq=3, os_3_7_4.png ->ok!", "log: T1:seq=4, os_4_5_4.png ->ok!",
                              "log: T1:seq=5, os_4_6_4.png ->ok!", "log: T1:seq=6, os_4_7_4.png ->ok!",
                              "log: T1 Finished."}));
  EXPECT_EQ(last, (TilePosition{4, 7}));
  for (int32_t x = 3; x <= 4; ++x)
    for (int32_t y = 5; y <= 7; ++y) EXPECT_EQ(ReadFile(TilePath(x, y)), BodyFor(Target(x, y)));
}

TEST_F(WorkerTest, ThreeWorkersShareSevenTilesBySeqModThree) {
  MakeTask(2, 8, 4, 4, 3);  // seven columns of one row: seq k is column 1 + k
  RecordingSink sinks[3];
  {
    std::vector<std::unique_ptr<TDownThread>> workers;
    for (int32_t i = 0; i < 3; ++i)
      workers.push_back(std::make_unique<TDownThread>(false, task_.get(), i, sinks[i], kBlank));
    for (auto& worker : workers) worker->WaitFor();
  }
  EXPECT_EQ(sinks[0].OkSeqs(), (std::vector<int64_t>{3, 6}));
  EXPECT_EQ(sinks[1].OkSeqs(), (std::vector<int64_t>{1, 4, 7}));
  EXPECT_EQ(sinks[2].OkSeqs(), (std::vector<int64_t>{2, 5}));
  EXPECT_EQ(sinks[1].Lines()[1], "log: T2:seq=4, os_5_4_4.png ->ok!");
  for (int32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(sinks[i].Lines().back(), "log: T" + std::to_string(i + 1) + " Finished.");
    EXPECT_EQ(sinks[i].Done(), std::vector<int32_t>{i});
  }
  EXPECT_EQ(server_.Targets().size(), 7u);
}

// The cap holds across workers: the server sees the i-th request no
// earlier than i/N after the workers began (request starts are paced, so
// arrivals can only be later).
TEST_F(WorkerTest, ARateCapSpacesTheRequestsOfAllWorkers) {
  MakeTask(2, 7, 4, 4, 3);
  std::mutex mutex;
  std::vector<RequestPacer::Clock::time_point> arrivals;
  server_.Server().SetHandler([&](const ScriptedRequest& request) {
    std::lock_guard<std::mutex> lock(mutex);
    arrivals.push_back(RequestPacer::Clock::now());
    return ServeBodyFor(request);
  });
  RequestPacer pacer(20);
  RecordingSink sinks[3];
  const auto began = RequestPacer::Clock::now();
  {
    std::vector<std::unique_ptr<TDownThread>> workers;
    for (int32_t i = 0; i < 3; ++i)
      workers.push_back(std::make_unique<TDownThread>(false, task_.get(), i, sinks[i], kBlank, &pacer));
    for (auto& worker : workers) worker->WaitFor();
  }
  ASSERT_EQ(arrivals.size(), 6u);
  std::sort(arrivals.begin(), arrivals.end());
  for (std::size_t i = 0; i < arrivals.size(); ++i)
    EXPECT_GE(arrivals[i] - began, std::chrono::milliseconds(50) * i) << "request " << i;
  for (const RecordingSink& sink : sinks) EXPECT_EQ(sink.Done().size(), 1u);
}

TEST_F(WorkerTest, RetryAfterAsADateIsCappedByMaxRetryWait) {
  params_.Network.MaxRetryWait = 1;
  MakeTask(5, 5, 7, 7);
  char inAnHour[64];
  const std::time_t later = std::time(nullptr) + 3600;
  std::tm utc{};
  gmtime_r(&later, &utc);
  std::strftime(inAnHour, sizeof inAnHour, "%a, %d %b %Y %H:%M:%S GMT", &utc);
  std::mutex mutex;
  std::vector<RequestPacer::Clock::time_point> arrivals;
  server_.Server().SetHandler([&](const ScriptedRequest& request) {
    std::lock_guard<std::mutex> lock(mutex);
    arrivals.push_back(RequestPacer::Clock::now());
    if (arrivals.size() == 1)
      return Respond::Raw(Respond::Text("HTTP/1.1 429 Too Many Requests", {{"Retry-After", inAnHour}}, ""));
    return ServeBodyFor(request);
  });
  RecordingSink sink;
  RunWorker(0, sink);
  EXPECT_EQ(sink.Lines(), (std::vector<std::string>{"log: T1:5-7:429 Too Many Requests: waiting 1 s before asking again.",
                                                    kOkLines[0], kOkLines[1]}));
  ASSERT_EQ(arrivals.size(), 2u);
  EXPECT_GE(arrivals[1] - arrivals[0], std::chrono::seconds(1));
}

TEST_F(WorkerTest, StopDuringARetryWaitAbandonsTheTile) {
  MakeTask(5, 6, 7, 7);
  server_.Always(Target(5, 7), Respond::Raw(Respond::Text("HTTP/1.1 503 Service Unavailable", {{"Retry-After", "100"}}, "")));
  RecordingSink sink;
  TDownThread worker(false, task_.get(), 0, sink, kBlank);
  while (sink.Lines().empty()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  worker.Terminate();
  worker.WaitFor();
  EXPECT_EQ(sink.Lines(), (std::vector<std::string>{"log: T1:5-7:503 Service Unavailable: waiting 100 s before asking again.",
                                                    "log: T1 Finished."}));
  EXPECT_EQ(server_.Targets(), std::vector<std::string>{Target(5, 7)});
  EXPECT_FALSE(Exists(TilePath(5, 7)));
}

// A Stop while a worker waits for its turn ends it without fetching or
// recording the tile it was waiting for.
TEST_F(WorkerTest, StopWhileWaitingForTheRateCapAbandonsTheTile) {
  MakeTask(2, 7, 4, 4, 1);
  RequestPacer pacer(1);
  RecordingSink sink;
  TDownThread worker(false, task_.get(), 0, sink, kBlank, &pacer);
  while (server_.Targets().empty()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  worker.Terminate();
  worker.WaitFor();
  EXPECT_EQ(server_.Targets().size(), 1u);
  EXPECT_EQ(sink.OkSeqs(), std::vector<int64_t>{1});
  for (const std::string& line : sink.Lines()) EXPECT_FALSE(line.starts_with("ftl: ")) << line;
  EXPECT_EQ(sink.Done().size(), 1u);
}

struct ResumeCase {
  const char* name;
  int32_t resumeX, resumeY;
  int32_t threads, index;
  std::vector<int64_t> seqs;
  TilePosition last;
};

void PrintTo(const ResumeCase& c, std::ostream* os) { *os << c.name; }

class ResumeTest : public WorkerTest, public ::testing::WithParamInterface<ResumeCase> {};

// Range: columns 3..5, rows 2..4, nine tiles; tile (x, y) is seq (x-3)*3 + (y-2) + 1.
TEST_P(ResumeTest, SkipsEverythingUpToTheSavedPosition) {
  const ResumeCase& c = GetParam();
  DownloadTask& task = MakeTask(3, 5, 2, 4, c.threads);
  task.ResumeX[c.index] = c.resumeX;
  task.ResumeY[c.index] = c.resumeY;

  RecordingSink sink;
  const TilePosition last = RunWorker(c.index, sink);

  EXPECT_EQ(sink.OkSeqs(), c.seqs);
  EXPECT_EQ(server_.Targets().size(), c.seqs.size());
  EXPECT_EQ(sink.Lines().back(), "log: T" + std::to_string(c.index + 1) + " Finished.");
  EXPECT_EQ(last, c.last);
}

INSTANTIATE_TEST_SUITE_P(
    Worker, ResumeTest,
    ::testing::Values(ResumeCase{"NoPosition", 0, 0, 1, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9}, {5, 4}},
                      ResumeCase{"Column5Row0IsNoPosition", 5, 0, 1, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9}, {5, 4}},
                      ResumeCase{"Column0IsNoPosition", 0, 3, 1, 0, {1, 2, 3, 4, 5, 6, 7, 8, 9}, {5, 4}},
                      ResumeCase{"MidRange", 4, 3, 1, 0, {6, 7, 8, 9}, {5, 4}},
                      ResumeCase{"LastTileLeavesNothing", 5, 4, 1, 0, {}, {0, 0}},
                      ResumeCase{"SharedWorker1", 4, 2, 3, 1, {7}, {5, 2}},
                      ResumeCase{"SharedWorker0", 3, 2, 3, 0, {3, 6, 9}, {5, 4}},
                      ResumeCase{"SharedWorker2AtEnd", 5, 3, 3, 2, {}, {0, 0}}),
    [](const ::testing::TestParamInfo<ResumeCase>& info) { return std::string(info.param.name); });

// The same range over an area: inside are seqs 1, 2, 5, 7 and 9. The rest
// are stepped over without a request or a line; seqs and shares are the
// rectangle's.
class AreaWalkTest : public WorkerTest, public ::testing::WithParamInterface<ResumeCase> {};

TEST_P(AreaWalkTest, FetchesOnlyItsShareOfTheTilesInside) {
  const ResumeCase& c = GetParam();
  DownloadTask& task = MakeTask(3, 5, 2, 4, c.threads);
  task.Inside = std::make_shared<TileSetSelection>(
      std::set<std::pair<int32_t, int32_t>>{{3, 2}, {3, 3}, {4, 3}, {5, 2}, {5, 4}}, 3, 2, 4);
  task.ResumeX[c.index] = c.resumeX;
  task.ResumeY[c.index] = c.resumeY;

  RecordingSink sink;
  const TilePosition last = RunWorker(c.index, sink);

  EXPECT_EQ(sink.OkSeqs(), c.seqs);
  EXPECT_EQ(sink.Lines().size(), c.seqs.size() + 1) << "a line for a tile outside";
  EXPECT_EQ(server_.Targets().size(), c.seqs.size());
  EXPECT_EQ(last, c.last);
}

INSTANTIATE_TEST_SUITE_P(
    Worker, AreaWalkTest,
    ::testing::Values(ResumeCase{"OneWorker", 0, 0, 1, 0, {1, 2, 5, 7, 9}, {5, 4}},
                      ResumeCase{"ResumedOnATileInside", 4, 3, 1, 0, {7, 9}, {5, 4}},
                      ResumeCase{"ResumedOnATileOutside", 4, 2, 1, 0, {5, 7, 9}, {5, 4}},
                      ResumeCase{"SharedWorker1", 0, 0, 3, 1, {1, 7}, {5, 2}},
                      ResumeCase{"SharedWorker0Resumed", 3, 3, 3, 0, {9}, {5, 4}},
                      ResumeCase{"ShareWithNothingInside", 0, 0, 4, 0, {}, {0, 0}}),
    [](const ::testing::TestParamInfo<ResumeCase>& info) { return std::string(info.param.name); });

TEST_F(WorkerTest, EmptyRangeFinishesAtOnce) {
  MakeTask(6, 5, 2, 4);
  RecordingSink sink;
  const TilePosition last = RunWorker(0, sink);
  EXPECT_EQ(sink.Lines(), std::vector<std::string>{"log: T1 Finished."});
  EXPECT_EQ(sink.Done(), std::vector<int32_t>{0});
  EXPECT_TRUE(server_.Targets().empty());
  EXPECT_EQ(last, (TilePosition{0, 0}));
}

TEST_F(WorkerTest, LastPositionKeepsANegativeRow) {
  MakeTask(5, 5, -1, -1);  // rows beyond the grid's edge are requested as computed
  RecordingSink sink;
  EXPECT_EQ(RunWorker(0, sink), (TilePosition{5, -1}));
  EXPECT_EQ(ReadFile(TilePath(5, -1)), BodyFor(Target(5, -1)));
}

TEST_F(WorkerTest, StopDuringAFetchFinishesTheTileInHandThenCloses) {
  MakeTask(5, 5, 1, 3);
  std::promise<void> inFetch;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  server_.Server().SetHandler([&inFetch, released](const ScriptedRequest& request) {
    if (request.connection == 0 && request.index == 0) {
      inFetch.set_value();
      released.wait_for(std::chrono::seconds(30));  // a guard against hanging, not a timing
    }
    return ServeBodyFor(request);
  });

  RecordingSink sink;
  TDownThread worker(false, task_.get(), 0, sink, kBlank);
  ASSERT_EQ(inFetch.get_future().wait_for(std::chrono::seconds(30)), std::future_status::ready);
  worker.Terminate();
  release.set_value();
  worker.WaitFor();

  EXPECT_EQ(sink.Lines(), (std::vector<std::string>{"log: T1:seq=1, os_5_1_4.png ->ok!", "log: T1 Finished."}));
  EXPECT_EQ(sink.Done(), std::vector<int32_t>{0});
  EXPECT_EQ(server_.Targets(), std::vector<std::string>{Target(5, 1)});
  EXPECT_EQ(worker.LastPosition(), (TilePosition{5, 1}));
}

TEST_F(WorkerTest, BanEndsOnlyThatWorker) {
  MakeTask(5, 5, 1, 4, 2);  // worker 1 has seq 1 and 3, worker 0 seq 2 and 4
  server_.Queue(Target(5, 1), Respond::Status(403, "Forbidden"));
  RecordingSink sinks[2];
  {
    TDownThread worker0(false, task_.get(), 0, sinks[0], kBlank);
    TDownThread worker1(false, task_.get(), 1, sinks[1], kBlank);
    worker0.WaitFor();
    worker1.WaitFor();
  }
  EXPECT_EQ(sinks[1].Lines(), (std::vector<std::string>{
                                  "log: T2 403 Forbidden->" + Url(5, 1), "ftl: " + TilePath(5, 1) + "|" + Url(5, 1),
                                  "log: Error: may be your IP is banned.\nPlease try again later.",
                                  "log: T2 Finished."}));
  EXPECT_EQ(sinks[0].OkSeqs(), (std::vector<int64_t>{2, 4}));
  const auto targets = server_.Targets();
  EXPECT_EQ(std::count(targets.begin(), targets.end(), Target(5, 3)), 0);
  EXPECT_EQ(sinks[0].Done(), std::vector<int32_t>{0});
  EXPECT_EQ(sinks[1].Done(), std::vector<int32_t>{1});
}

TEST_F(WorkerTest, UnwritableTileIsRecordedAndTheWorkerGoesOn) {
  MakeTask(5, 5, 5, 7);
  // A folder in the tile's place: the rename into place fails (even for root).
  std::filesystem::create_directory(TilePath(5, 5));
  std::filesystem::create_directory(TilePath(5, 7));

  RecordingSink sink;
  const TilePosition last = RunWorker(0, sink);

  const std::vector<std::string> lines = sink.Lines();
  ASSERT_EQ(lines.size(), 6u);
  for (int32_t index : {0, 3}) {
    const int32_t y = index == 0 ? 5 : 7;
    EXPECT_TRUE(lines[index].starts_with("log: T1 ")) << lines[index];
    EXPECT_TRUE(lines[index].ends_with("->" + TilePath(5, y))) << lines[index];
    EXPECT_GT(lines[index].size(), std::string("log: T1 ->").size() + TilePath(5, y).size());
    EXPECT_EQ(lines[index + 1], "ftl: " + TilePath(5, y) + "|" + Url(5, y));
  }
  EXPECT_EQ(lines[2], "log: T1:seq=2, os_5_6_4.png ->ok!");
  EXPECT_EQ(lines[5], "log: T1 Finished.");
  EXPECT_EQ(last, (TilePosition{5, 6}));  // only a tile on disk moves the position
  EXPECT_EQ(TileFolderNames(), (std::vector<std::string>{"os_5_5_4.png", "os_5_6_4.png", "os_5_7_4.png"}));
}

// The worker reports a tile saved, and moves its position, only once the
// tile's batch is committed: another reader already finds it in the file.
class StoreCheckingSink : public RecordingSink {
 public:
  explicit StoreCheckingSink(std::string store) : store_(std::move(store)) {}
  void Report(const WorkerReport& report) override {
    if (report.event == WorkerEvent::Saved) {
      const auto reader = TileStore::OpenReadOnly(store_);
      if (reader->State(kZoom, report.tile.x, report.tile.y) != TileState::Data) ++ahead;
    }
    RecordingSink::Report(report);
  }
  std::atomic<int> ahead{0};

 private:
  std::string store_;
};

TEST_F(WorkerTest, AStoredTileIsReportedSavedOnlyOnceCommitted) {
  params_.Storage = TileStorage::File;
  MakeTask(3, 6, 2, 9, 2);
  std::vector<std::unique_ptr<StoreCheckingSink>> sinks;
  for (int k = 0; k < 2; ++k) sinks.push_back(std::make_unique<StoreCheckingSink>(task_->StorePath));
  TileStoreWriter writer(TileStore::OpenForWriting(task_->StorePath), kZoom, RowOrigin::FromTop, 2);
  std::vector<std::unique_ptr<TDownThread>> workers;
  for (int k = 0; k < 2; ++k)
    workers.push_back(std::make_unique<TDownThread>(false, task_.get(), k, *sinks[k], kBlank, nullptr, nullptr,
                                                    nullptr, &writer));
  for (auto& worker : workers) worker->WaitFor();
  for (int k = 0; k < 2; ++k) {
    EXPECT_EQ(sinks[k]->ahead.load(), 0);
    EXPECT_EQ(sinks[k]->OkSeqs().size(), 16u);
  }
  EXPECT_EQ(workers[0]->LastPosition(), (TilePosition{6, 9}));
  EXPECT_EQ(workers[1]->LastPosition(), (TilePosition{6, 8}));
  const auto store = TileStore::OpenReadOnly(task_->StorePath);
  EXPECT_EQ(store->CountTiles(TileState::Data), 32);
  EXPECT_EQ(store->ReadTile(kZoom, 4, 5), BodyFor(Target(4, 5)));
}

// A full disk (or a read-only file) fails the stored tiles as a failed write
// does: listed, counted by the watch, the position left where it was.
TEST_F(WorkerTest, AStoreThatCannotBeWrittenFailsItsTiles) {
  params_.Storage = TileStorage::File;
  MakeTask(5, 5, 5, 7);
  std::unique_ptr<TileStore> store = TileStore::OpenForWriting(task_->StorePath);
  // Every write is refused, as a read-only file's would be (even for root).
  ASSERT_EQ(sqlite3_exec(store->Handle(), "PRAGMA query_only=1", nullptr, nullptr, nullptr), SQLITE_OK);
  TileStoreWriter writer(std::move(store), kZoom, RowOrigin::FromTop, 1);
  std::vector<std::string> reasons;
  FailureWatch watch(2, [&](const std::string& reason) { reasons.push_back(reason); });
  RecordingSink sink;
  TDownThread worker(false, task_.get(), 0, sink, kBlank, nullptr, &watch, nullptr, &writer);
  worker.WaitFor();
  const std::vector<std::string> lines = sink.Lines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_TRUE(lines[0].starts_with("log: T1 ")) << lines[0];
  EXPECT_TRUE(lines[0].ends_with("->" + task_->StorePath)) << lines[0];
  EXPECT_EQ(lines[1], "ftl: " + TilePath(5, 5) + "|" + Url(5, 5));
  EXPECT_EQ(worker.LastPosition(), (TilePosition{0, 0}));
  EXPECT_EQ(reasons.size(), 1u) << "two failed writes in a row stop the task";
  EXPECT_EQ(sink.OkSeqs(), std::vector<int64_t>{});
}

TEST_F(WorkerTest, MissingBlankImageChangesOnlyTheDisk) {
  MakeTask(5, 5, 7, 7);
  server_.Queue(Target(5, 7), Respond::Status(404, "Not Found"));
  RecordingSink sink;
  RunWorker(0, sink, folder_.Path() + "no-such-blank.png");
  std::vector<std::string> expected;
  for (const std::string& line : kNotFoundLines) expected.push_back(Fill(line, Url(5, 7), TilePath(5, 7)));
  EXPECT_EQ(sink.Lines(), expected);
  EXPECT_TRUE(TileFolderNames().empty());
}

TEST_F(WorkerTest, ProxyPortThatIsNotAUsableNumberEndsTheWorker) {
  const struct {
    const char* port;
    const char* line;
  } cases[] = {
      {"", "log: T1 Proxy port '' is not a port number (1 to 65535)."},
      {"abc", "log: T1 Proxy port 'abc' is not a port number (1 to 65535)."},
      {"80x", "log: T1 Proxy port '80x' is not a port number (1 to 65535)."},
      {"70000", "log: T1 Proxy port '70000' is not a port number (1 to 65535)."},
  };
  params_.UseProxy = true;
  params_.ProxyServer = "127.0.0.1";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.port);
    params_.ProxyPort = c.port;
    MakeTask(5, 5, 7, 7);  // the task keeps its own copy of the parameters
    RecordingSink sink;
    RunWorker(0, sink);
    EXPECT_EQ(sink.Lines(), (std::vector<std::string>{c.line, "log: T1 Finished."}));
    EXPECT_EQ(sink.Done(), std::vector<int32_t>{0});
  }
  EXPECT_TRUE(server_.Targets().empty());
}

TEST_F(WorkerTest, ProxyAndNetworkSettingsReachTheClient) {
  params_.Hosts.OpenStreetMap = "127.0.0.1:" + std::to_string(UnusedLocalPort());
  params_.UseProxy = true;
  params_.ProxyServer = "127.0.0.1";
  params_.ProxyPort = std::to_string(server_.Port());
  params_.ProxyUsername = "user";
  params_.ProxyPassword = "pw";
  params_.Network.UserAgent = "QuarnelTest/1";
  MakeTask(5, 5, 7, 7);

  RecordingSink sink;
  EXPECT_EQ(RunWorker(0, sink), (TilePosition{5, 7}));

  const ScriptedRequest request = server_.LastRequest();
  EXPECT_TRUE(request.target.starts_with("http://127.0.0.1")) << request.target;
  EXPECT_TRUE(request.target.ends_with(Target(5, 7))) << request.target;
  EXPECT_EQ(request.Header("Proxy-Authorization"), "Basic dXNlcjpwdw==");
  EXPECT_EQ(request.Header("User-Agent"), "QuarnelTest/1");
  EXPECT_EQ(ReadFile(TilePath(5, 7)), BodyFor(request.target));
}

// A view that goes away mid-run: the error is reported and the worker still closes.
class ThrowingSink : public RecordingSink {
 protected:
  void Add(std::string line) override {
    if (line.ends_with("->ok!")) throw std::runtime_error("view closed");
    RecordingSink::Add(std::move(line));
  }
};

TEST_F(WorkerTest, UnexpectedErrorStillRunsTheClosingStepOnce) {
  MakeTask(5, 5, 6, 7);
  ThrowingSink sink;
  TDownThread worker(false, task_.get(), 0, sink, kBlank);
  worker.WaitFor();
  EXPECT_EQ(sink.Lines(), (std::vector<std::string>{"log: T1 Unexpected error: view closed", "log: T1 Finished."}));
  EXPECT_EQ(sink.Events(), (std::vector<RecordingSink::Event>{{WorkerEvent::Error, {}}, {WorkerEvent::Ended, {}}}));
  EXPECT_EQ(sink.Done(), std::vector<int32_t>{0});
  EXPECT_EQ(server_.Targets().size(), 1u);
}

TEST_F(WorkerTest, SuspendedWorkerRunsOnlyWhenStarted) {
  MakeTask(5, 5, 7, 7);
  RecordingSink sink;
  {
    TDownThread never(true, task_.get(), 0, sink, kBlank);
  }
  EXPECT_TRUE(sink.Lines().empty());
  TDownThread worker(true, task_.get(), 0, sink, kBlank);
  worker.Start();
  worker.WaitFor();
  EXPECT_EQ(sink.Lines(), kOkLines);
}

}  // namespace
