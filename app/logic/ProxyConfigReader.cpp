#include "ProxyConfigReader.h"

ProxyConfig ReadProxyConfig(const IniFile& config) {
  ProxyConfig proxy;
  proxy.UseProxy = config.ReadInteger("Proxy", "UseProxy", 0) == 1;
  proxy.ProxyServer = config.ReadString("Proxy", "ProxyServer", "");
  proxy.ProxyPort = config.ReadString("Proxy", "ProxyPort", "");
  proxy.ProxyUsername = config.ReadString("Proxy", "ProxyUsername", "");
  proxy.ProxyPassword = config.ReadString("Proxy", "ProxyPassword", "");
  return proxy;
}
