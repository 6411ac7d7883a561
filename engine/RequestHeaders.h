#pragma once

#include <optional>
#include <string>

#include "NetworkSettings.h"

// The configured request headers ([Headers] Name=value) checked before they
// go on the wire. Messages name a header but never show its value: it may
// be a key.

// Why one header cannot be sent: a name that is no HTTP token (a colon in
// it, a blank, nothing at all), a line break or other control byte in the
// name or the value, or a name the client sends itself (Host, the framing
// and conditional headers). Accept and User-Agent may be replaced.
std::optional<std::string> RequestHeaderProblem(const std::string& name, const std::string& value);

// The first header that cannot be sent, for refusing a task at Start.
std::optional<std::string> RequestHeadersProblem(const RequestHeaders& headers);
