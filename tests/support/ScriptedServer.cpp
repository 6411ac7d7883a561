#include "ScriptedServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace {

// A request head larger than this is not a request this server answers.
constexpr std::size_t kMaxHead = std::size_t{64} << 20;

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

void ParseHead(std::string_view head, ScriptedRequest& request) {
  std::size_t lineEnd = head.find("\r\n");
  std::string_view line = head.substr(0, lineEnd);
  std::size_t firstSpace = line.find(' ');
  std::size_t lastSpace = line.rfind(' ');
  request.method = std::string(line.substr(0, firstSpace));
  if (firstSpace != std::string_view::npos && lastSpace > firstSpace) {
    request.target = std::string(line.substr(firstSpace + 1, lastSpace - firstSpace - 1));
    request.version = std::string(line.substr(lastSpace + 1));
  }
  while (lineEnd != std::string_view::npos) {
    std::size_t start = lineEnd + 2;
    lineEnd = head.find("\r\n", start);
    std::string_view header = head.substr(start, lineEnd - start);
    std::size_t colon = header.find(':');
    if (header.empty() || colon == std::string_view::npos) continue;
    request.headers.emplace_back(std::string(header.substr(0, colon)),
                                 std::string(Trim(header.substr(colon + 1))));
  }
}

void CloseQuietly(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

std::string ScriptedRequest::Header(std::string_view name) const {
  for (const auto& [key, value] : headers)
    if (EqualsNoCase(key, name)) return value;
  return {};
}

bool ScriptedRequest::HasHeader(std::string_view name) const {
  return std::any_of(headers.begin(), headers.end(),
                     [&](const auto& header) { return EqualsNoCase(header.first, name); });
}

int UnusedLocalPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    CloseQuietly(fd);
    throw std::runtime_error("UnusedLocalPort: no port on 127.0.0.1");
  }
  CloseQuietly(fd);
  return ntohs(address.sin_port);
}

struct ScriptedServer::Connection {
  std::size_t index = 0;
  int fd = -1;              // -1 once closed
  std::string received;     // every byte, in order
  bool peerClosed = false;
  std::atomic<bool> done{false};
  std::thread thread;
};

ScriptedServer::ScriptedServer(Handler handler)
    : handler_(std::make_shared<const Handler>(std::move(handler))) {
  if (::pipe2(wakePipe_, O_CLOEXEC | O_NONBLOCK) != 0)
    throw std::runtime_error("ScriptedServer: pipe failed");
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  int on = 1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listenFd_ < 0 || ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listenFd_, 1024) != 0 ||
      ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    CloseQuietly(listenFd_);
    CloseQuietly(wakePipe_[0]);
    CloseQuietly(wakePipe_[1]);
    throw std::runtime_error("ScriptedServer: cannot listen on 127.0.0.1");
  }
  port_ = ntohs(address.sin_port);
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

ScriptedServer::~ScriptedServer() {
  stopping_ = true;
  // The pipe is never read: once written, every poll in the server wakes.
  [[maybe_unused]] ssize_t written = ::write(wakePipe_[1], "x", 1);
  acceptThread_.join();
  for (auto& connection : connections_)
    if (connection->thread.joinable()) connection->thread.join();
  CloseQuietly(listenFd_);
  CloseQuietly(wakePipe_[0]);
  CloseQuietly(wakePipe_[1]);
}

void ScriptedServer::SetHandler(Handler handler) {
  auto shared = std::make_shared<const Handler>(std::move(handler));
  std::lock_guard lock(mutex_);
  handler_ = std::move(shared);
}

ScriptedServer::Handler ScriptedServer::CurrentHandler() const {
  std::lock_guard lock(mutex_);
  return *handler_;
}

std::string ScriptedServer::BaseUrl() const {
  return "http://127.0.0.1:" + std::to_string(port_);
}

std::size_t ScriptedServer::ConnectionCount() const {
  std::lock_guard lock(mutex_);
  return connections_.size();
}

std::string ScriptedServer::Received(std::size_t connection) const {
  std::lock_guard lock(mutex_);
  return connection < connections_.size() ? connections_[connection]->received : std::string();
}

std::vector<std::string> ScriptedServer::RequestLines() const {
  std::lock_guard lock(mutex_);
  return requestLines_;
}

std::vector<std::string> ScriptedServer::Targets() const {
  std::lock_guard lock(mutex_);
  return targets_;
}

std::size_t ScriptedServer::RequestCount() const {
  std::lock_guard lock(mutex_);
  return requestLines_.size();
}

bool ScriptedServer::PeerClosed(std::size_t index) const {
  std::lock_guard lock(mutex_);
  if (index >= connections_.size()) return false;
  const Connection& connection = *connections_[index];
  if (connection.peerClosed) return true;
  if (connection.fd < 0) return false;
  // A client's FIN or RST on loopback is already queued here when it has
  // gone on to do anything else, so a peek answers without racing.
  char byte;
  ssize_t n = ::recv(connection.fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
}

bool ScriptedServer::WaitFor(int fd, short events) {
  pollfd fds[2] = {{fd, events, 0}, {wakePipe_[0], POLLIN, 0}};
  for (;;) {
    if (stopping_) return false;
    int n = ::poll(fds, 2, -1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || fds[1].revents != 0) return false;
    if (fds[0].revents != 0) return true;
  }
}

void ScriptedServer::AcceptLoop() {
  std::vector<Connection*> live;
  while (WaitFor(listenFd_, POLLIN)) {
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) continue;
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // Join the threads of finished connections so thousands of short
    // connections do not pile up unjoined threads.
    std::erase_if(live, [](Connection* c) {
      if (!c->done) return false;
      c->thread.join();
      return true;
    });
    Connection* connection;
    {
      std::lock_guard lock(mutex_);
      connections_.push_back(std::make_unique<Connection>());
      connection = connections_.back().get();
      connection->index = connections_.size() - 1;
      connection->fd = fd;
    }
    connection->thread = std::thread([this, connection] { Serve(*connection); });
    live.push_back(connection);
  }
}

void ScriptedServer::Serve(Connection& connection) {
  std::string pending;
  for (std::size_t index = 0;; ++index) {
    ScriptedRequest request;
    if (!ReadRequest(connection, pending, request)) break;
    request.connection = connection.index;
    request.index = index;
    {
      std::lock_guard lock(mutex_);
      requestLines_.push_back(request.method + " " + request.target + " " + request.version);
      targets_.push_back(request.target);
    }
    if (!Perform(connection, CurrentHandler()(request))) break;
  }
  {
    std::lock_guard lock(mutex_);
    CloseQuietly(connection.fd);
  }
  connection.done = true;
}

bool ScriptedServer::ReceiveSome(Connection& connection, std::string& pending) {
  char buffer[65536];
  for (;;) {
    if (!WaitFor(connection.fd, POLLIN)) return false;
    ssize_t n = ::recv(connection.fd, buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
    std::lock_guard lock(mutex_);
    if (n <= 0) {
      connection.peerClosed = true;
      return false;
    }
    connection.received.append(buffer, static_cast<std::size_t>(n));
    pending.append(buffer, static_cast<std::size_t>(n));
    return true;
  }
}

bool ScriptedServer::ReadRequest(Connection& connection, std::string& pending,
                                 ScriptedRequest& request) {
  std::size_t scanned = 0;
  std::size_t headEnd;
  while ((headEnd = pending.find("\r\n\r\n", scanned)) == std::string::npos) {
    if (pending.size() > kMaxHead) return false;
    scanned = pending.size() < 3 ? 0 : pending.size() - 3;
    if (!ReceiveSome(connection, pending)) return false;
  }
  ParseHead(std::string_view(pending).substr(0, headEnd), request);
  // A request body is read only when its length is plain decimal and sane.
  std::size_t total = headEnd + 4;
  std::string length = request.Header("Content-Length");
  if (!length.empty() && length.size() <= 9 && length.find_first_not_of("0123456789") == std::string::npos)
    total += std::stoul(length);
  while (pending.size() < total)
    if (!ReceiveSome(connection, pending)) return false;
  request.raw = pending.substr(0, total);
  pending.erase(0, total);
  return true;
}

bool ScriptedServer::SendAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
    if (n > 0) {
      data.remove_prefix(static_cast<std::size_t>(n));
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
      if (!WaitFor(fd, POLLOUT)) return false;
    } else {
      return false;
    }
  }
  return true;
}

bool ScriptedServer::Perform(Connection& connection, const ScriptedAction& action) {
  std::string_view bytes = action.bytes;
  if (action.dripDelay.count() > 0) {
    std::size_t step = std::max<std::size_t>(action.dripStep, 1);
    for (std::size_t at = 0; at < bytes.size(); at += step) {
      pollfd wake = {wakePipe_[0], POLLIN, 0};
      if (::poll(&wake, 1, static_cast<int>(action.dripDelay.count())) != 0) return false;
      if (!SendAll(connection.fd, bytes.substr(at, step))) return false;
    }
  } else if (!SendAll(connection.fd, bytes)) {
    return false;
  }
  static const std::string filler = [] {
    std::string block(65536, '\0');
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>('a' + i % 26);
    return block;
  }();
  for (uint64_t left = action.fillerBytes; left > 0;) {
    std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(left, filler.size()));
    if (!SendAll(connection.fd, std::string_view(filler).substr(0, n))) return false;
    if (action.fillerBytes != ScriptedAction::kEndless) left -= n;
  }
  Finish(connection, action.then);
  return action.then == ScriptedAction::Then::KeepOpen;
}

void ScriptedServer::StallUntilGone(Connection& connection) {
  std::string ignored;
  while (ReceiveSome(connection, ignored)) ignored.clear();
}

void ScriptedServer::Finish(Connection& connection, ScriptedAction::Then how) {
  using Then = ScriptedAction::Then;
  if (how == Then::KeepOpen) return;
  if (how == Then::Stall) {
    StallUntilGone(connection);
  } else if (how == Then::Close) {
    // FIN first; then take in whatever the client already sent, so the
    // close does not turn into a reset over unread bytes.
    ::shutdown(connection.fd, SHUT_WR);
    char buffer[4096];
    ssize_t n;
    while ((n = ::recv(connection.fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0) {
      std::lock_guard lock(mutex_);
      connection.received.append(buffer, static_cast<std::size_t>(n));
    }
  } else if (how == Then::Reset) {
    linger hard = {1, 0};
    ::setsockopt(connection.fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  }
  std::lock_guard lock(mutex_);
  CloseQuietly(connection.fd);
}
