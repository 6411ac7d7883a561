#include "ScriptedServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <optional>

namespace {

// A bare blocking socket client, so the server is tested without the HTTP client.
class RawClient {
 public:
  explicit RawClient(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~RawClient() { Close(); }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  bool connected() const { return connected_; }
  void Send(std::string_view text) {
    ASSERT_EQ(::send(fd_, text.data(), text.size(), MSG_NOSIGNAL), static_cast<ssize_t>(text.size()));
  }
  // Reads exactly n bytes, or until the connection ends; lastErrno tells how it ended.
  std::string Read(std::size_t n) {
    std::string data;
    char buffer[65536];
    while (data.size() < n) {
      ssize_t got = ::recv(fd_, buffer, std::min(sizeof buffer, n - data.size()), 0);
      if (got <= 0) {
        lastErrno = got < 0 ? errno : 0;
        break;
      }
      data.append(buffer, static_cast<std::size_t>(got));
    }
    return data;
  }
  std::string ReadToEnd() { return Read(std::string::npos); }
  int lastErrno = -1;

 private:
  int fd_ = -1;
  bool connected_ = false;
};

std::string Get(std::string_view target) {
  return "GET " + std::string(target) + " HTTP/1.1\r\nHost: tiles\r\nAccept: */*\r\n\r\n";
}

TEST(ScriptedServerTest, DefaultHandlerServesBodyForTargetAndRecordsEveryByte) {
  ScriptedServer server;
  RawClient client(server.Port());
  ASSERT_TRUE(client.connected());
  for (std::string target : {"/a/b/c.png", "/d.png?x=1"}) {
    client.Send(Get(target));
    std::string expected = Respond::Ok(BodyFor(target)).bytes;
    EXPECT_EQ(client.Read(expected.size()), expected);
  }
  EXPECT_EQ(server.ConnectionCount(), 1u);
  EXPECT_EQ(server.Received(0), Get("/a/b/c.png") + Get("/d.png?x=1"));
  EXPECT_EQ(server.RequestLines(),
            (std::vector<std::string>{"GET /a/b/c.png HTTP/1.1", "GET /d.png?x=1 HTTP/1.1"}));
  EXPECT_NE(BodyFor("/a"), BodyFor("/b"));
  EXPECT_EQ(BodyFor("/a"), BodyFor("/a"));
}

TEST(ScriptedServerTest, HandlerSeesParsedRequestWithIndexes) {
  std::mutex mutex;
  std::vector<ScriptedRequest> seen;
  ScriptedServer server([&](const ScriptedRequest& request) {
    std::lock_guard lock(mutex);
    seen.push_back(request);
    return Respond::Ok("x");
  });
  {
    RawClient first(server.Port());
    first.Send("GET http://tiles.example/1.png HTTP/1.1\r\nHost: tiles.example\r\n"
               "proxy-authorization:  Basic dTo= \r\n\r\n");
    first.Read(Respond::Ok("x").bytes.size());
  }
  RawClient second(server.Port());
  second.Send(Get("/2.png") + Get("/3.png"));
  second.Read(2 * Respond::Ok("x").bytes.size());
  std::lock_guard lock(mutex);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].target, "http://tiles.example/1.png");
  EXPECT_EQ(seen[0].Header("Proxy-Authorization"), "Basic dTo=");
  EXPECT_FALSE(seen[0].HasHeader("Accept"));
  EXPECT_EQ(seen[2].connection, 1u);
  EXPECT_EQ(seen[2].index, 1u);
  EXPECT_EQ(seen[2].raw, Get("/3.png"));
}

TEST(ScriptedServerTest, ConnectionEndings) {
  struct Case {
    ScriptedAction action;
    std::string expected;
    int expectedErrno;  // how the read ends: 0 for a graceful close
  };
  std::string body = "0123456789";
  std::vector<Case> cases = {
      {Respond::UntilClose(body), "HTTP/1.1 200 OK\r\n\r\n" + body, 0},
      {Respond::CloseNow(), "", 0},
      {Respond::Reset(), "", ECONNRESET},
      {Respond::CloseMidBody(body, 4), "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n0123", 0},
      {Respond::Chunked(body, 4),
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\n0123\r\n4\r\n4567\r\n2\r\n89\r\n"
       "0\r\n\r\n",
       -1},
      {Respond::Drip(Respond::UntilClose("ab"), std::chrono::milliseconds(1)),
       "HTTP/1.1 200 OK\r\n\r\nab", 0},
  };
  for (const Case& c : cases) {
    ScriptedServer server([&](const ScriptedRequest&) { return c.action; });
    RawClient client(server.Port());
    client.Send(Get("/t"));
    // A kept-open connection is read for exactly its bytes; others to their end.
    std::string got = c.expectedErrno == -1 ? client.Read(c.expected.size()) : client.ReadToEnd();
    EXPECT_EQ(got, c.expected) << c.expected;
    EXPECT_EQ(client.lastErrno, c.expectedErrno) << c.expected;
  }
}

TEST(ScriptedServerTest, StreamsHugeBodiesWithoutHoldingThem) {
  ScriptedServer server([](const ScriptedRequest&) { return Respond::Huge(uint64_t{8} << 20); });
  RawClient client(server.Port());
  client.Send(Get("/big"));
  std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 8388608\r\n\r\n";
  EXPECT_EQ(client.Read(head.size()), head);
  EXPECT_EQ(client.Read(std::size_t{8} << 20).size(), std::size_t{8} << 20);
}

TEST(ScriptedServerTest, TellsWhenTheClientClosed) {
  ScriptedServer server;
  RawClient client(server.Port());
  client.Send(Get("/t"));
  client.Read(Respond::Ok(BodyFor("/t")).bytes.size());
  EXPECT_FALSE(server.PeerClosed(0));
  client.Close();
  RawClient next(server.Port());  // the FIN is queued before the next connect
  next.Send(Get("/u"));
  next.Read(Respond::Ok(BodyFor("/u")).bytes.size());
  EXPECT_TRUE(server.PeerClosed(0));
  EXPECT_FALSE(server.PeerClosed(1));
}

TEST(ScriptedServerTest, ShutsDownWithStalledAndEndlessConnections) {
  std::optional<RawClient> stalled, endless, dripping;
  {
    ScriptedServer server([](const ScriptedRequest& request) {
      if (request.target == "/stall") return Respond::StallAfter("HTTP/1.1 200 OK\r\n");
      if (request.target == "/endless") return Respond::Endless();
      return Respond::Drip(Respond::Ok("slow"), std::chrono::milliseconds(60000));
    });
    stalled.emplace(server.Port());
    stalled->Send(Get("/stall"));
    endless.emplace(server.Port());
    endless->Send(Get("/endless"));
    EXPECT_EQ(endless->Read(100000).size(), 100000u);
    dripping.emplace(server.Port());
    dripping->Send(Get("/drip"));
    EXPECT_EQ(stalled->Read(17), "HTTP/1.1 200 OK\r\n");
  }  // the destructor must return although every connection is still open
  EXPECT_EQ(stalled->ReadToEnd(), "");
  EXPECT_EQ(dripping->ReadToEnd(), "");
}

TEST(ScriptedServerTest, ServesManyConcurrentKeepAliveConnections) {
  ScriptedServer server;
  constexpr int kWorkers = 8, kRequests = 300;
  std::vector<std::thread> workers;
  std::atomic<int> good{0};
  for (int w = 0; w < kWorkers; ++w) {
    workers.emplace_back([&, w] {
      RawClient client(server.Port());
      for (int r = 0; r < kRequests; ++r) {
        std::string target = "/" + std::to_string(w) + "/" + std::to_string(r) + ".png";
        client.Send(Get(target));
        std::string expected = Respond::Ok(BodyFor(target)).bytes;
        if (client.Read(expected.size()) == expected) ++good;
      }
    });
  }
  for (auto& worker : workers) worker.join();
  EXPECT_EQ(good, kWorkers * kRequests);
  EXPECT_EQ(server.ConnectionCount(), std::size_t{kWorkers});
  EXPECT_EQ(server.RequestCount(), std::size_t{kWorkers * kRequests});
}

TEST(ScriptedServerTest, UnusedLocalPortRefusesConnections) {
  RawClient client(UnusedLocalPort());
  EXPECT_FALSE(client.connected());
}

}  // namespace
