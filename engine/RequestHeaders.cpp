#include "RequestHeaders.h"

#include <algorithm>
#include <string_view>

#include "Text.h"

namespace {

bool IsTokenChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

// Control bytes other than a tab end or split a header line.
bool HasControlByte(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte < 0x20 && byte != '\t') || byte == 0x7f;
  });
}

// A name as a message may show it: control bytes as "?".
std::string Shown(std::string_view name) {
  std::string shown(name);
  std::replace_if(shown.begin(), shown.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }, '?');
  return shown;
}

// Headers the client writes itself, or that would change how the message is framed.
constexpr std::string_view kOwnHeaders[] = {
    "Host",          "Content-Length",    "Transfer-Encoding", "Connection", "Proxy-Connection", "Keep-Alive",
    "Upgrade",       "TE",                "Expect",            "Proxy-Authorization",
    "If-None-Match", "If-Modified-Since",
};

}  // namespace

std::optional<std::string> RequestHeaderProblem(const std::string& name, const std::string& value) {
  const std::string where = "The header \"" + Shown(name) + "\" in [Headers]";
  if (name.empty()) return std::string("A line of [Headers] has no header name: write Name=value.");
  if (HasLineBreak(name) || HasLineBreak(value)) return where + " holds a line break: a header is one line.";
  if (name.find(':') != std::string::npos) return where + " has a colon in its name: write Name=value.";
  if (!std::all_of(name.begin(), name.end(), IsTokenChar))
    return where + " is no header name: letters, digits and !#$%&'*+-.^_`|~ only.";
  if (HasControlByte(value)) return where + " holds a control character.";
  for (std::string_view own : kOwnHeaders)
    if (EqualsIgnoringCase(name, own)) return where + " is one Quarnel sends itself: leave it out.";
  return std::nullopt;
}

std::optional<std::string> RequestHeadersProblem(const RequestHeaders& headers) {
  for (const auto& [name, value] : headers)
    if (std::optional<std::string> problem = RequestHeaderProblem(name, value)) return problem;
  return std::nullopt;
}
