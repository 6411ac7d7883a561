#include "TileFreshness.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "HttpRequestText.h"
#include "RequestHeaders.h"
#include "ScriptedServer.h"
#include "TestFiles.h"
#include "TileHttpClient.h"

namespace {

// 2023-11-14 22:13:20 UTC, in milliseconds.
constexpr int64_t kNow = int64_t{1700000000} * 1000;
constexpr const char* kNowDate = "Tue, 14 Nov 2023 22:13:20 GMT";

struct ExpiryCase {
  const char* name;
  ResponseCaching caching;
  int64_t expires;
};

class ExpiryTest : public testing::TestWithParam<ExpiryCase> {};

TEST_P(ExpiryTest, FromTheHeaders) { EXPECT_EQ(ExpiryOf(GetParam().caching, kNow), GetParam().expires); }

INSTANTIATE_TEST_SUITE_P(
    Headers, ExpiryTest,
    testing::Values(ExpiryCase{"none", {"\"e\"", "x", "", "", "", ""}, 0},
                    ExpiryCase{"maxAge", {"", "", "public, max-age=3600", "", "", ""}, kNow + 3600000},
                    ExpiryCase{"maxAgeLessAge", {"", "", "max-age=3600", "", "", "600"}, kNow + 3000000},
                    ExpiryCase{"maxAgeBeatsExpires", {"", "", "MAX-AGE=60", kNowDate, kNowDate, ""}, kNow + 60000},
                    ExpiryCase{"noCache", {"", "", "max-age=3600, no-cache", "", "", ""}, kNow},
                    ExpiryCase{"unreadableMaxAge", {"", "", "max-age=soon", "", "", ""}, kNow},
                    // An hour after the server's own Date, whatever our clock says.
                    ExpiryCase{"expiresAgainstDate",
                               {"", "", "", "Tue, 14 Nov 2023 23:00:00 GMT", "Tue, 14 Nov 2023 22:00:00 GMT", ""},
                               kNow + 3600000},
                    ExpiryCase{"expiresInThePast", {"", "", "", "Tue, 14 Nov 2023 21:00:00 GMT", "", ""}, kNow},
                    ExpiryCase{"expiresZero", {"", "", "", "0", "", ""}, kNow}),
    [](const auto& info) { return std::string(info.param.name); });

struct DueCase {
  const char* name;
  int64_t checked, expires;
  std::optional<int32_t> days;
  bool due;
  bool continuing = false;
};

class RefreshDueTest : public testing::TestWithParam<DueCase> {};

TEST_P(RefreshDueTest, AsOfTheRefreshStart) {
  const DueCase& c = GetParam();
  EXPECT_EQ(RefreshDue(c.checked, c.expires, kNow, c.days, c.continuing), c.due);
}

constexpr int64_t kDay = int64_t{86400} * 1000;

INSTANTIATE_TEST_SUITE_P(
    Rules, RefreshDueTest,
    testing::Values(DueCase{"expired", kNow - 10, kNow - 1, std::nullopt, true},
                    DueCase{"stillFresh", kNow - 30 * kDay, kNow + 1, std::nullopt, false},
                    DueCase{"noExpiryWeekOld", kNow - 7 * kDay, 0, std::nullopt, true},
                    DueCase{"noExpiryDaysOld", kNow - 6 * kDay, 0, std::nullopt, false},
                    DueCase{"olderThanDays", kNow - 3 * kDay, kNow + kDay, 2, true},
                    DueCase{"youngerThanDays", kNow - kDay, kNow + kDay, 2, false},
                    DueCase{"expiredYoungerThanDays", kNow - kDay, kNow - 1, 2, true},
                    DueCase{"olderThanZero", kNow, 0, 0, true},
                    // Checked by the refresh being continued: done, whatever the rule.
                    DueCase{"checkedSinceStart", kNow, kNow, 0, false, true},
                    DueCase{"checkedBeforeStart", kNow - 1, kNow, 0, true, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FreshLineTest, RoundTripsAndRefusesCutLines) {
  const FreshRecord record{8, -5, kNow, {{"W/\"a b\"", kNowDate}, kNow + 60}};
  const std::string line = FreshRecordLine(record);
  ASSERT_EQ(line.back(), '\n');
  const std::optional<FreshLine> parsed = ParseFreshLine(std::string_view(line).substr(0, line.size() - 1));
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->record.x, 8);
  EXPECT_EQ(parsed->record.y, -5);
  EXPECT_EQ(parsed->record.freshness.validators.etag, "W/\"a b\"");
  EXPECT_EQ(parsed->record.freshness.validators.lastModified, kNowDate);
  EXPECT_EQ(parsed->record.freshness.expires, kNow + 60);
  // A validator that would break the line is left out.
  EXPECT_EQ(FreshRecordLine({1, 2, 3, {{"a\tb", "c\nd"}, 0}}), "1\t2\t3\t0\t\t\n");
  EXPECT_FALSE(ParseFreshLine("8\t5\t17000"));
  EXPECT_FALSE(ParseFreshLine("8\t5\t1700x\t0\t\t"));
  const std::optional<FreshLine> marker = ParseFreshLine("R\t1700000000000");
  ASSERT_TRUE(marker);
  EXPECT_EQ(marker->kind, FreshLine::Kind::RefreshStarted);
  EXPECT_EQ(marker->start, kNow);
}

// Lines across many pieces come back newest first; a cut last line does not.
TEST(FreshLineTest, ReadsWholeLinesFromTheEnd) {
  ScratchFolder folder("fresh");
  for (const bool cutLast : {false, true}) {
    std::vector<std::string> lines;
    std::string text;
    for (int i = 0; i < 9000; ++i) {
      lines.push_back(i % 97 == 0 ? std::string() : std::string(static_cast<std::size_t>(i % 23), 'a') + std::to_string(i));
      text += lines.back() + "\n";
    }
    if (cutLast) text += "cut short";
    WriteFile(folder / "fresh.txt", text);
    std::vector<std::string> read;
    ReadLinesNewestFirst(folder / "fresh.txt", [&](std::string_view line) { read.emplace_back(line); });
    std::reverse(read.begin(), read.end());
    EXPECT_EQ(read, lines) << cutLast;
  }
}

struct HeaderCase {
  const char* name;
  const char* value;
  bool refused;
};

class RequestHeaderTest : public testing::TestWithParam<HeaderCase> {};

TEST_P(RequestHeaderTest, RefusedWithoutShowingTheValue) {
  const std::optional<std::string> problem = RequestHeaderProblem(GetParam().name, GetParam().value);
  EXPECT_EQ(problem.has_value(), GetParam().refused) << GetParam().name;
  if (problem && std::string(GetParam().value).size() > 3) {
    EXPECT_EQ(problem->find(GetParam().value), std::string::npos) << *problem;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, RequestHeaderTest,
    testing::Values(HeaderCase{"Referer", "https://maps.example.org/", false},
                    HeaderCase{"X-Api-Key", "secret-123", false}, HeaderCase{"User-Agent", "Me/1.0", false},
                    HeaderCase{"X-Empty", "", false}, HeaderCase{"X-Key", "secret\r\nHost: evil", true},
                    HeaderCase{"X-Key", "secret\rvalue", true}, HeaderCase{"X:Key", "secret-123", true},
                    HeaderCase{"X Key", "secret-123", true}, HeaderCase{"", "secret-123", true},
                    HeaderCase{"X-Key", "tab\tallowed", false}, HeaderCase{"X-Key", "bell\arefused", true},
                    HeaderCase{"host", "other.example", true}, HeaderCase{"Content-Length", "5", true},
                    HeaderCase{"If-None-Match", "\"x\"", true}));

// The configured headers and the validators go on the wire as the request
// text says; a 304 keeps the buffer as it was.
TEST(ConditionalRequestTest, SendsHeadersAndValidatorsAndHearsNotModified) {
  ScriptedServer server([](const ScriptedRequest& request) {
    if (request.HasHeader("If-None-Match"))
      return Respond::Raw(Respond::Text("HTTP/1.1 304 Not Modified", {{"ETag", "\"v1\""}, {"Cache-Control", "max-age=60"}}, ""));
    return Respond::Raw(Respond::Text("HTTP/1.1 200 OK",
                                      {{"ETag", "\"v1\""}, {"Last-Modified", kNowDate}, {"Cache-Control", "no-transform"},
                                       {"Cache-Control", "max-age=120"}},
                                      PngFramed("tile")));
  });
  NetworkSettings settings;
  settings.Headers = {{"Referer", "https://maps.example.org/"}, {"User-Agent", "Mine/2"}, {"X-Bad", "a\nb"}};
  TileHttpClient client(settings);
  const std::string url = server.BaseUrl() + "/4/8/5.png";
  std::string buffer = "kept";
  ASSERT_TRUE(client.GetIfChanged(url, {}, buffer));
  EXPECT_EQ(buffer, "kept" + PngFramed("tile"));
  EXPECT_EQ(client.LastCaching().etag, "\"v1\"");
  EXPECT_EQ(client.LastCaching().lastModified, kNowDate);
  EXPECT_EQ(client.LastCaching().cacheControl, "no-transform, max-age=120");

  const TileValidators known{"\"v1\"", kNowDate};
  buffer = "kept";
  EXPECT_FALSE(client.GetIfChanged(url, known, buffer));
  EXPECT_EQ(buffer, "kept");
  EXPECT_EQ(client.LastCaching().cacheControl, "max-age=60");
  const SplitUrl parts = SplitAddress(url);
  EXPECT_EQ(server.Received(0), BuildRequestText(parts, "", "", "", settings.UserAgent, settings.Headers) +
                                    BuildRequestText(parts, "", "", "", settings.UserAgent, settings.Headers, &known));
  EXPECT_EQ(BuildRequestText(parts, "", "", "", "Agent/1", settings.Headers, &known),
            "GET /4/8/5.png HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/html, */*\r\nUser-Agent: Mine/2\r\n"
            "Referer: https://maps.example.org/\r\nIf-None-Match: \"v1\"\r\nIf-Modified-Since: " +
                std::string(kNowDate) + "\r\n\r\n");
  // Without validators a 304 is the failure it always was.
  server.SetHandler([](const ScriptedRequest&) { return Respond::Status(304, "Not Modified"); });
  EXPECT_THROW(client.Get(server.BaseUrl() + "/x", buffer), FetchError);
}

// Through a proxy the configured headers come before the proxy's credentials.
TEST(ConditionalRequestTest, HeadersThroughAProxy) {
  ScriptedServer proxy;
  NetworkSettings settings;
  settings.Headers = {{"X-Api-Key", "k"}, {"X-Empty", ""}};
  TileHttpClient client(settings);
  client.ProxyServer = "127.0.0.1";
  client.ProxyPort = proxy.Port();
  client.ProxyUsername = "user";
  client.ProxyPassword = "pw";
  const std::string url = "http://tiles.example/1/2/3.png";
  std::string buffer;
  client.Get(url, buffer);
  EXPECT_EQ(proxy.Received(0),
            BuildRequestText(SplitAddress(url), "127.0.0.1", "user", "pw", settings.UserAgent, settings.Headers));
}

}  // namespace
