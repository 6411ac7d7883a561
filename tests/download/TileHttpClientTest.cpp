#include "TileHttpClient.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "ScriptedServer.h"
#include "TestFiles.h"

namespace {

using namespace std::chrono_literals;

const char* const kClassified[] = {"10054", "Connection Closed Gracefully", "302", "403", "404"};

bool HasClassifiedText(const std::string& message) {
  for (const char* text : kClassified)
    if (message.find(text) != std::string::npos) return true;
  return false;
}

struct Outcome {
  bool ok = false;
  std::string message;
  int status = 0;
  std::string body;
};

Outcome Fetch(TileHttpClient& client, const std::string& url, std::string body = {}) {
  Outcome outcome;
  try {
    client.Get(url, body);
    outcome.ok = true;
  } catch (const FetchError& error) {
    outcome.message = error.what();
    outcome.status = error.Status();
  }
  outcome.body = std::move(body);
  return outcome;
}

NetworkSettings FastSettings() {
  NetworkSettings settings;
  settings.ConnectTimeout = 1;
  settings.ReadTimeout = 1;
  return settings;
}

// ---- Against the scripted server ----

class TileHttpClientTest : public ::testing::Test {
 protected:
  std::string Url(const ScriptedServer& server, const std::string& path) { return server.BaseUrl() + path; }
};

TEST_F(TileHttpClientTest, SendsExactlyTheBuiltRequestDirectly) {
  ScriptedServer server;
  NetworkSettings settings;
  settings.UserAgent = "QuarnelTest/1.0";
  TileHttpClient client(settings);
  client.ProxyPort = 3128;  // a port alone, or a user name alone, is no proxy
  client.ProxyUsername = "user";
  const std::string url = Url(server, "/a/b/c.png?v=1");
  Outcome outcome = Fetch(client, url);
  ASSERT_TRUE(outcome.ok) << outcome.message;
  EXPECT_EQ(outcome.body, BodyFor("/a/b/c.png?v=1"));
  EXPECT_EQ(server.Received(0), BuildRequestText(SplitAddress(url), "", "", "", "QuarnelTest/1.0"));
  EXPECT_EQ(server.Received(0),
            "GET /a/b/c.png?v=1 HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/html, */*\r\n"
            "User-Agent: QuarnelTest/1.0\r\n\r\n");
}

struct ProxyCase {
  std::string user, password;
};

class ProxyRequestTest : public ::testing::TestWithParam<ProxyCase> {};

TEST_P(ProxyRequestTest, SendsAbsoluteTargetsToTheProxyOverOneConnection) {
  ScriptedServer proxy;
  TileHttpClient client;
  client.ProxyServer = "127.0.0.1";
  client.ProxyPort = proxy.Port();
  client.ProxyUsername = GetParam().user;
  client.ProxyPassword = GetParam().password;
  const std::string urls[] = {"http://tiles.example/a/b/c.png", "http://Other.Example:8080/1/2/3.png"};
  std::string expected;
  for (const std::string& url : urls) {
    Outcome outcome = Fetch(client, url);
    ASSERT_TRUE(outcome.ok) << outcome.message;
    EXPECT_EQ(outcome.body, BodyFor(url));  // the proxy sees the absolute target
    expected += BuildRequestText(SplitAddress(url), client.ProxyServer, client.ProxyUsername,
                                 client.ProxyPassword, NetworkSettings::kDefaultUserAgent);
  }
  EXPECT_EQ(proxy.ConnectionCount(), 1u);
  EXPECT_EQ(proxy.Received(0), expected);
  EXPECT_EQ(proxy.Targets(), (std::vector<std::string>{urls[0], urls[1]}));
}

INSTANTIATE_TEST_SUITE_P(Credentials, ProxyRequestTest,
                         ::testing::Values(ProxyCase{"", ""}, ProxyCase{"", "ignored"},
                                           ProxyCase{"user", ""}, ProxyCase{"us:er", "pä ss"}));

TEST_F(TileHttpClientTest, KeepsOneConnectionWhileAllowed) {
  ScriptedServer server;
  TileHttpClient client;
  for (int i = 0; i < 20; ++i) {
    const std::string path = "/z/" + std::to_string(i) + ".png";
    Outcome outcome = Fetch(client, Url(server, path));
    ASSERT_TRUE(outcome.ok) << outcome.message;
    EXPECT_EQ(outcome.body, BodyFor(path));
  }
  EXPECT_EQ(server.ConnectionCount(), 1u);
  EXPECT_EQ(server.RequestCount(), 20u);
}

TEST_F(TileHttpClientTest, ClosesWhenTheResponseAsksOrTheServerClosed) {
  struct Case {
    const char* name;
    ScriptedAction first;
    bool closes;
  };
  const Case cases[] = {
      {"content-length", Respond::Ok("one"), false},
      {"chunked", Respond::Chunked("one", 2), false},
      {"404 with body", Respond::Status(404, "Not Found", "gone"), false},
      {"keep-alive", Respond::ConnectionClose("one", "keep-alive"), false},
      {"HTTP/1.0", Respond::Http10("one"), true},
      {"Connection: close", Respond::ConnectionClose("one"), true},
      {"Connection:  CLOSE ", Respond::ConnectionClose("one", " CLOSE "), true},
      {"until close", Respond::UntilClose("one"), true},
      {"closed after the response", Respond::Raw(Respond::Ok("one").bytes, ScriptedAction::Then::Close),
       true},
  };
  for (const Case& c : cases) {
    ScriptedServer server([&](const ScriptedRequest& request) {
      return request.target == "/first" ? c.first : Respond::Ok("two");
    });
    TileHttpClient client;
    Fetch(client, Url(server, "/first"));
    Outcome second = Fetch(client, Url(server, "/second"));
    EXPECT_TRUE(second.ok) << c.name << ": " << second.message;
    EXPECT_EQ(second.body, "two") << c.name;
    EXPECT_EQ(server.ConnectionCount(), c.closes ? 2u : 1u) << c.name;
    EXPECT_EQ(server.RequestCount(), 2u) << c.name;
    if (c.closes && c.first.then == ScriptedAction::Then::KeepOpen) {
      EXPECT_TRUE(server.PeerClosed(0)) << c.name;  // the client closed it, not the server
    }
  }
}

TEST_F(TileHttpClientTest, ChangeOfServerClosesTheOldConnectionFirst) {
  ScriptedServer first;
  std::atomic<bool> firstClosedBeforeSecond{false};
  ScriptedServer second([&](const ScriptedRequest& request) {
    firstClosedBeforeSecond = first.PeerClosed(0);
    return ServeBodyFor(request);
  });
  TileHttpClient client;
  ASSERT_TRUE(Fetch(client, Url(first, "/1.png")).ok);
  ASSERT_TRUE(Fetch(client, Url(second, "/2.png")).ok);
  EXPECT_TRUE(firstClosedBeforeSecond);
  ASSERT_TRUE(Fetch(client, Url(first, "/3.png")).ok);
  EXPECT_EQ(first.ConnectionCount(), 2u);
  EXPECT_EQ(second.ConnectionCount(), 1u);
  EXPECT_TRUE(second.PeerClosed(0));
}

TEST_F(TileHttpClientTest, ReadsEveryKindOfBodyAndAppends) {
  const std::string binary = BodyFor("/binary");
  const std::pair<const char*, ScriptedAction> cases[] = {
      {"content-length", Respond::Ok(binary)},
      {"empty", Respond::Ok("")},
      {"chunked", Respond::Chunked(binary, 7)},
      {"until close", Respond::UntilClose(binary)},
      {"HTTP/1.0", Respond::Http10(binary)},
      {"dripped", Respond::Drip(Respond::Ok("slow but steady"), 2ms, 3)},
  };
  for (const auto& [name, action] : cases) {
    ScriptedServer server([&](const ScriptedRequest&) { return action; });
    TileHttpClient client(FastSettings());
    Outcome outcome = Fetch(client, Url(server, "/t.png"), "kept:");
    ASSERT_TRUE(outcome.ok) << name << ": " << outcome.message;
    std::string body = action.bytes.substr(action.bytes.find("\r\n\r\n") + 4);
    if (std::string_view(name) == "chunked") body = binary;
    EXPECT_EQ(outcome.body, "kept:" + body) << name;
  }
}

TEST_F(TileHttpClientTest, StatusFailuresCarryTheStatusTextAndCodeAndNeverFollow) {
  struct Case {
    ScriptedAction action;
    std::string message;
    std::string body;
    int status;
  };
  const Case cases[] = {
      {Respond::Redirect(302, "Found", "/elsewhere"), "302 Found", "", 302},
      {Respond::Redirect(301, "Moved Permanently", "http://127.0.0.1:1/x"), "301 Moved Permanently", "", 301},
      {Respond::Status(403, "Forbidden", "banned"), "403 Forbidden", "banned", 403},
      {Respond::Status(404, "Not Found", "no tile here"), "404 Not Found", "no tile here", 404},
      {Respond::Status(500, "Internal Server Error"), "500 Internal Server Error", "", 500},
      {Respond::Status(500, "Error 403"), "500 Error 403", "", 500},
      {Respond::Status(304, "Not Modified"), "304 Not Modified", "", 304},
      {Respond::Raw(Respond::Text("HTTP/1.1 201 Created", {{"Location", "/new"}}, "made")), "201 Created",
       "made", 201},
      {Respond::Raw("HTTP/1.1 204\r\n\r\n"), "", "", 0},
  };
  for (const Case& c : cases) {
    ScriptedServer server([&](const ScriptedRequest&) { return c.action; });
    TileHttpClient client;
    Outcome outcome = Fetch(client, Url(server, "/t.png"));
    EXPECT_EQ(outcome.ok, c.message.empty()) << c.message;
    EXPECT_EQ(outcome.message, c.message);
    EXPECT_EQ(outcome.status, c.status) << c.message;
    EXPECT_EQ(outcome.body, c.body) << c.message;
    EXPECT_EQ(server.RequestCount(), 1u) << c.message;
  }
}

TEST_F(TileHttpClientTest, ConnectionFailuresCarryTheirFixedTexts) {
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n";
  const std::string body(1000, 'b');
  struct Case {
    const char* name;
    ScriptedAction action;
    std::string message;
  };
  const Case cases[] = {
      {"reset before the response", Respond::Reset(), SocketErrorMessage(10054)},
      {"reset after 404 bytes of body", Respond::ResetMidBody(body, 404), SocketErrorMessage(10054)},
      {"closed before the response", Respond::CloseNow(), "Connection Closed Gracefully."},
      {"closed in the status line", Respond::Raw("HTTP/1.1 2", ScriptedAction::Then::Close),
       "Connection Closed Gracefully."},
      {"closed in the headers", Respond::Raw("HTTP/1.1 200 OK\r\nContent-Le", ScriptedAction::Then::Close),
       "Connection Closed Gracefully."},
      {"closed mid-body", Respond::CloseMidBody(body, 403), "Connection Closed Gracefully."},
      {"closed mid-chunk",
       Respond::Raw("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n10\r\nabc",
                    ScriptedAction::Then::Close),
       "Connection Closed Gracefully."},
      {"stalled before the response", Respond::Stall(), SocketErrorMessage(10060)},
      {"stalled after 403 bytes of body", Respond::StallAfter(head + body.substr(0, 403)),
       SocketErrorMessage(10060)},
  };
  for (const Case& c : cases) {
    ScriptedServer server([&](const ScriptedRequest&) { return c.action; });
    TileHttpClient client(FastSettings());
    Outcome outcome = Fetch(client, Url(server, "/t.png"), "kept");
    EXPECT_FALSE(outcome.ok) << c.name;
    EXPECT_EQ(outcome.message, c.message) << c.name;
    EXPECT_EQ(outcome.status, 0) << c.name;  // no answer: the text decides
    EXPECT_EQ(outcome.body, "kept") << c.name;  // nothing of the broken body
  }
}

TEST_F(TileHttpClientTest, RefusedPortFailsWith10061) {
  TileHttpClient client(FastSettings());
  Outcome outcome = Fetch(client, "http://127.0.0.1:" + std::to_string(UnusedLocalPort()) + "/t.png");
  EXPECT_EQ(outcome.message, SocketErrorMessage(10061));
}

TEST_F(TileHttpClientTest, RecoversAfterAFailure) {
  std::atomic<int> calls{0};
  ScriptedServer server([&](const ScriptedRequest& request) {
    return calls++ == 0 ? Respond::Reset() : ServeBodyFor(request);
  });
  TileHttpClient client;
  EXPECT_EQ(Fetch(client, Url(server, "/a.png")).message, SocketErrorMessage(10054));
  Outcome outcome = Fetch(client, Url(server, "/b.png"));
  EXPECT_TRUE(outcome.ok) << outcome.message;
  EXPECT_EQ(outcome.body, BodyFor("/b.png"));
}

TEST_F(TileHttpClientTest, BodiesPastTheCapFailWithoutHoldingThem) {
  constexpr int64_t kCap = 64 * 1024;
  struct Case {
    const char* name;
    ScriptedAction action;
  };
  const Case cases[] = {
      {"announced and sent", Respond::Huge(kCap + 1)},
      {"announced as 2^63-1", Respond::Huge(uint64_t{INT64_MAX}, 4096)},
      {"no length, endless", Respond::Endless()},
      {"chunked past the cap", Respond::Chunked(std::string(kCap + 10, 'c'), 4096)},
  };
  for (const Case& c : cases) {
    ScriptedServer server([&](const ScriptedRequest&) { return c.action; });
    NetworkSettings settings = FastSettings();
    settings.MaxTileBytes = kCap;
    TileHttpClient client(settings);
    std::string buffer = "x";
    buffer.shrink_to_fit();
    const std::size_t before = buffer.capacity();
    try {
      client.Get(Url(server, "/big.png"), buffer);
      ADD_FAILURE() << c.name << ": no failure";
    } catch (const FetchError& error) {
      EXPECT_NE(std::string(error.what()).find("maximum size"), std::string::npos) << c.name << error.what();
      EXPECT_FALSE(HasClassifiedText(error.what())) << c.name;
    }
    EXPECT_LE(buffer.capacity(), std::max<std::size_t>(before, 1 + kCap)) << c.name;
    EXPECT_LE(buffer.size(), 1 + kCap) << c.name;
  }
}

TEST_F(TileHttpClientTest, BodyExactlyAtTheCapSucceeds) {
  NetworkSettings settings;
  settings.MaxTileBytes = 10000;
  ScriptedServer server([](const ScriptedRequest&) { return Respond::UntilClose(std::string(10000, 'z')); });
  TileHttpClient client(settings);
  Outcome outcome = Fetch(client, Url(server, "/t.png"));
  EXPECT_TRUE(outcome.ok) << outcome.message;
  EXPECT_EQ(outcome.body.size(), 10000u);
}

TEST_F(TileHttpClientTest, AnXBlockedAnswerIsABanWhateverItsStatus) {
  const ScriptedAction answers[] = {
      Respond::Raw(Respond::Text("HTTP/1.1 200 OK", {{"X-Blocked", "1"}}, "tile")),
      Respond::Raw(Respond::Text("HTTP/1.1 500 Oops", {{"x-blocked", "yes"}}, "")),
      Respond::Raw(Respond::Text("HTTP/1.1 200 OK", {{"X-Blocked", ""}, {"Content-Length", "100"}}, "cut", false),
                   ScriptedAction::Then::Close),
  };
  for (const ScriptedAction& answer : answers) {
    ScriptedServer server([&](const ScriptedRequest&) { return answer; });
    TileHttpClient client(FastSettings());
    std::string body;
    try {
      client.Get(Url(server, "/t.png"), body);
      ADD_FAILURE() << answer.bytes;
    } catch (const FetchError& error) {
      EXPECT_TRUE(error.Blocked()) << error.what();
      EXPECT_STREQ(error.what(), kBlockedAnswer);
    }
    EXPECT_TRUE(body.empty());
  }
}

TEST_F(TileHttpClientTest, ADrippingTileFailsAfterTheTileTimeout) {
  // A few bytes every 300 ms never trip the one-second read time-out.
  ScriptedServer server([](const ScriptedRequest&) {
    return Respond::Drip(Respond::Ok(std::string(1000, 't')), std::chrono::milliseconds(300), 20);
  });
  NetworkSettings settings = FastSettings();
  settings.TileTimeout = 2;
  TileHttpClient client(settings);
  const Outcome outcome = Fetch(client, Url(server, "/t.png"));
  EXPECT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.message, kTileTimedOut);
}

TEST_F(TileHttpClientTest, HugeHeadersFailCleanlyAndTheClientGoesOn) {
  using Headers = std::vector<std::pair<std::string, std::string>>;
  Headers manyLines;
  for (int i = 0; i < 20000; ++i) manyLines.emplace_back("X-Line-" + std::to_string(i), std::string(40, 'v'));
  const Headers oneLine = {{"X-Padding", std::string(1 << 20, 'p')}};
  const Headers* const cases[] = {&oneLine, &manyLines};
  for (const Headers* headers : cases) {
    std::atomic<int> calls{0};
    ScriptedServer server([&](const ScriptedRequest& request) {
      if (calls++ > 0) return ServeBodyFor(request);
      return Respond::Raw(Respond::Text("HTTP/1.1 200 OK", *headers, "tile"));
    });
    TileHttpClient client(FastSettings());
    Outcome outcome = Fetch(client, Url(server, "/t.png"));
    EXPECT_FALSE(outcome.ok);
    EXPECT_NE(outcome.message.find("header is too large"), std::string::npos) << outcome.message;
    EXPECT_FALSE(HasClassifiedText(outcome.message)) << outcome.message;
    EXPECT_TRUE(Fetch(client, Url(server, "/u.png")).ok);
  }
}

TEST_F(TileHttpClientTest, RefusesAddressesItWillNotFetch) {
  ScriptedServer server;
  const std::string port = std::to_string(server.Port());
  const std::string urls[] = {
      "ftp://127.0.0.1:" + port + "/t.png", "file:///etc/passwd", "gopher://127.0.0.1:" + port + "/",
      "127.0.0.1:" + port + "/t.png",       "http://127.0.0.1:99999/t.png", "http://127.0.0.1:x/t.png",
      "http:///t.png",                       "http://127.0.0.1:" + port + "/a b.png",
      "http://127.0.0.1:" + port + "/a\r\nX: y",
  };
  TileHttpClient client;
  for (const std::string& url : urls) {
    Outcome outcome = Fetch(client, url);
    EXPECT_FALSE(outcome.ok) << url;
    EXPECT_FALSE(outcome.message.empty()) << url;
    EXPECT_FALSE(HasClassifiedText(outcome.message)) << url << ": " << outcome.message;
  }
  EXPECT_EQ(server.ConnectionCount(), 0u);
  // A file on this machine is refused by name and never read.
  ScratchFolder folder("notafile");
  WriteFile(folder / "t.png", "bytes of a file");
  Outcome file = Fetch(client, "file://" + (folder / "t.png"));
  EXPECT_EQ(file.message, "Unsupported protocol: only http and https addresses are fetched.");
  EXPECT_EQ(file.body, "");
}

TEST_F(TileHttpClientTest, StatusCodeThatIsNotANumberFails) {
  for (const char* line : {"HTTP/1.1 abc OK", "HTTP/1.1 2x0 OK", "HTTP/1.1  OK"}) {
    ScriptedServer server([&](const ScriptedRequest&) {
      return Respond::Raw(Respond::Text(line, {}, "body"));
    });
    TileHttpClient client(FastSettings());
    Outcome outcome = Fetch(client, Url(server, "/t.png"));
    EXPECT_FALSE(outcome.ok) << line;
    EXPECT_NE(outcome.message.find("Invalid response"), std::string::npos) << line << ": " << outcome.message;
  }
}

TEST_F(TileHttpClientTest, HttpsGoesOverTls) {
  ScriptedServer server;  // speaks plain HTTP only, so the handshake gets no answer
  TileHttpClient client(FastSettings());
  Outcome outcome = Fetch(client, "https://127.0.0.1:" + std::to_string(server.Port()) + "/t.png");
  EXPECT_FALSE(outcome.ok);
  ASSERT_EQ(server.ConnectionCount(), 1u);
  EXPECT_EQ(server.Received(0).substr(0, 2), "\x16\x03");  // a TLS handshake record
  EXPECT_EQ(server.RequestCount(), 0u);
}

TEST_F(TileHttpClientTest, HttpsThroughAProxyTunnelsAndKeepsCredentialsForTheProxy) {
  ScriptedServer proxy([](const ScriptedRequest&) { return Respond::Status(403, "Forbidden"); });
  TileHttpClient client(FastSettings());
  client.ProxyServer = "127.0.0.1";
  client.ProxyPort = proxy.Port();
  client.ProxyUsername = "u";
  client.ProxyPassword = "p";
  Outcome outcome = Fetch(client, "https://tiles.example/a.png");
  EXPECT_EQ(outcome.message, "The proxy refused the tunnel to the tile server.");
  EXPECT_EQ(proxy.Received(0),
            "CONNECT tiles.example:443 HTTP/1.1\r\nHost: tiles.example:443\r\n"
            "Proxy-Authorization: Basic dTpw\r\n\r\n");
}

TEST_F(TileHttpClientTest, EightClientsInParallelEachKeepTheirConnection) {
  ScriptedServer server;
  std::atomic<int> good{0};
  std::vector<std::thread> workers;
  for (int w = 0; w < 8; ++w) {
    workers.emplace_back([&, w] {
      TileHttpClient client;
      for (int i = 0; i < 100; ++i) {
        const std::string path = "/" + std::to_string(w) + "/" + std::to_string(i) + ".png";
        Outcome outcome = Fetch(client, Url(server, path));
        if (outcome.ok && outcome.body == BodyFor(path)) ++good;
      }
    });
  }
  for (auto& worker : workers) worker.join();
  EXPECT_EQ(good, 800);
  EXPECT_EQ(server.ConnectionCount(), 8u);
}

}  // namespace

// The key goes out in the address and the headers, and a message that
// echoes it (here a reason phrase) shows "{key}" instead.
TEST(TileHttpClientKeyTest, FillsTheKeyOnTheWireAndKeepsItOutOfMessages) {
  ScriptedServer server([](const ScriptedRequest& request) {
    return Respond::Status(418, "no " + request.target.substr(request.target.find('=') + 1));
  });
  NetworkSettings settings;
  settings.Key = "k3y-value";
  settings.Headers = {{"X-Api-Key", "{key}"}, {"Referer", "https://example.org/"}};
  TileHttpClient client(settings);
  const Outcome outcome = Fetch(client, server.BaseUrl() + "/t/1/2/3.png?key={key}");
  EXPECT_EQ(server.Targets(), std::vector<std::string>{"/t/1/2/3.png?key=k3y-value"});
  EXPECT_NE(server.Received(0).find("X-Api-Key: k3y-value\r\n"), std::string::npos) << server.Received(0);
  EXPECT_EQ(outcome.status, 418);
  EXPECT_EQ(outcome.message, "418 no {key}");
}
