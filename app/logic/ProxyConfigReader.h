#pragma once

#include "Ftl.h"
#include "IniFile.h"

// The "Proxy" section of the configuration, read afresh at every use: the
// workers and the re-download go through the same proxy.
ProxyConfig ReadProxyConfig(const IniFile& config);
