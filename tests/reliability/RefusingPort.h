#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

// A port on 127.0.0.1 that is bound but never listens: every connection to
// it is refused, and no other program can start listening there meanwhile.
// With digits set, the port's number contains them.
class RefusingPort {
 public:
  explicit RefusingPort(const std::string& digits = "") {
    for (int port = 1024; port < 65536 && port_ == 0; ++port) {
      if (std::to_string(port).find(digits) == std::string::npos) continue;
      fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_port = htons(static_cast<uint16_t>(port));
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        port_ = port;
      } else {
        ::close(fd_);
        fd_ = -1;
      }
    }
  }
  ~RefusingPort() {
    if (fd_ >= 0) ::close(fd_);
  }
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;

  int Port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};
