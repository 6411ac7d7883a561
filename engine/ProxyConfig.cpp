#include "ProxyConfig.h"

#include "TextFormat.h"

ProxyConfig ReadProxyConfig(const IniFile& config) {
  ProxyConfig proxy;
  proxy.UseProxy = config.ReadInteger("Proxy", "UseProxy", 0) == 1;
  proxy.ProxyServer = config.ReadString("Proxy", "ProxyServer", "");
  proxy.ProxyPort = config.ReadString("Proxy", "ProxyPort", "");
  proxy.ProxyUsername = config.ReadString("Proxy", "ProxyUsername", "");
  proxy.ProxyPassword = config.ReadString("Proxy", "ProxyPassword", "");
  return proxy;
}

std::optional<std::string> ProxyPortProblem(const std::string& port) {
  const std::optional<int32_t> number = ParseInt32(port);
  if (number && *number >= 1 && *number <= 65535) return std::nullopt;
  return "Proxy port '" + port + "' is not a port number (1 to 65535).";
}
