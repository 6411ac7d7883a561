#pragma once

#include <atomic>
#include <string>
#include <thread>

// An https server on 127.0.0.1 with a certificate chain made up at start:
// a private CA and a leaf signed by it, valid for 127.0.0.1 unless the test
// asks for a leaf with a flaw. Every completed handshake gets one fixed
// answer and the connection closes.
class TlsTestServer {
 public:
  enum class Leaf { Good, OtherHostName, Expired };
  static constexpr const char* kBody = "tile over tls";

  explicit TlsTestServer(Leaf leaf);
  ~TlsTestServer();
  TlsTestServer(const TlsTestServer&) = delete;
  TlsTestServer& operator=(const TlsTestServer&) = delete;

  std::string Url(const std::string& target) const {
    return "https://127.0.0.1:" + std::to_string(port_) + target;
  }
  const std::string& CaPem() const { return caPem_; }
  int Answered() const { return answered_.load(); }

 private:
  void Serve();

  struct State;
  State* state_ = nullptr;
  std::string caPem_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> answered_{0};
  std::thread thread_;
};
