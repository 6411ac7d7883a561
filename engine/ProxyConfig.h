#pragma once

#include <optional>
#include <string>

#include "IniFile.h"

// The proxy settings as the configuration holds them; the port stays text
// until it is checked.
struct ProxyConfig {
  bool UseProxy = false;
  std::string ProxyServer;
  std::string ProxyPort;
  std::string ProxyUsername;
  std::string ProxyPassword;
};

// The "Proxy" section of the configuration, read afresh at every use: the
// workers and the re-download go through the same proxy.
ProxyConfig ReadProxyConfig(const IniFile& config);

// Why a proxy port cannot be used (a message naming it), or nothing when it
// is a port from 1 to 65535.
std::optional<std::string> ProxyPortProblem(const std::string& port);
