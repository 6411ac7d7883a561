#include <zlib.h>

#include <algorithm>
#include <cstdio>

#include "ScriptedServer.h"

namespace Respond {

using Then = ScriptedAction::Then;

std::string Text(std::string_view statusLine,
                 const std::vector<std::pair<std::string, std::string>>& headers,
                 std::string_view body, bool contentLength) {
  std::string text;
  text.reserve(statusLine.size() + body.size() + 128);
  text.append(statusLine).append("\r\n");
  for (const auto& [name, value] : headers) text.append(name).append(": ").append(value).append("\r\n");
  if (contentLength) text.append("Content-Length: ").append(std::to_string(body.size())).append("\r\n");
  text.append("\r\n").append(body);
  return text;
}

ScriptedAction Raw(std::string bytes, Then then) {
  ScriptedAction action;
  action.bytes = std::move(bytes);
  action.then = then;
  return action;
}

ScriptedAction Ok(std::string_view body) { return Status(200, "OK", body); }

ScriptedAction Status(int code, std::string_view reason, std::string_view body) {
  return Raw(Text("HTTP/1.1 " + std::to_string(code) + " " + std::string(reason), {}, body));
}

ScriptedAction Redirect(int code, std::string_view reason, std::string_view location) {
  return Raw(Text("HTTP/1.1 " + std::to_string(code) + " " + std::string(reason),
                  {{"Location", std::string(location)}}, ""));
}

ScriptedAction Chunked(std::string_view body, std::size_t chunkSize) {
  std::string text = Text("HTTP/1.1 200 OK", {{"Transfer-Encoding", "chunked"}}, "", false);
  chunkSize = std::max<std::size_t>(chunkSize, 1);
  for (std::size_t at = 0; at < body.size(); at += chunkSize) {
    std::string_view chunk = body.substr(at, chunkSize);
    char size[32];
    std::snprintf(size, sizeof size, "%zx\r\n", chunk.size());
    text.append(size).append(chunk).append("\r\n");
  }
  text.append("0\r\n\r\n");
  return Raw(std::move(text));
}

ScriptedAction UntilClose(std::string_view body) {
  return Raw(Text("HTTP/1.1 200 OK", {}, body, false), Then::Close);
}

ScriptedAction Http10(std::string_view body) { return Raw(Text("HTTP/1.0 200 OK", {}, body)); }

ScriptedAction ConnectionClose(std::string_view body, std::string_view value) {
  return Raw(Text("HTTP/1.1 200 OK", {{"Connection", std::string(value)}}, body));
}

ScriptedAction CloseNow() { return Raw("", Then::Close); }

ScriptedAction Reset() { return Raw("", Then::Reset); }

ScriptedAction CloseMidBody(std::string_view body, std::size_t n) {
  std::string text = Text("HTTP/1.1 200 OK", {}, body);
  text.resize(text.size() - body.size() + std::min(n, body.size()));
  return Raw(std::move(text), Then::Close);
}

ScriptedAction ResetMidBody(std::string_view body, std::size_t n) {
  ScriptedAction action = CloseMidBody(body, n);
  action.then = Then::Reset;
  return action;
}

ScriptedAction Stall() { return Raw("", Then::Stall); }

ScriptedAction StallAfter(std::string bytes) { return Raw(std::move(bytes), Then::Stall); }

ScriptedAction Huge(uint64_t announced, uint64_t sent) {
  ScriptedAction action = Raw(
      Text("HTTP/1.1 200 OK", {{"Content-Length", std::to_string(announced)}}, "", false),
      sent < announced ? Then::Close : Then::KeepOpen);
  action.fillerBytes = sent;
  return action;
}

ScriptedAction Huge(uint64_t length) { return Huge(length, length); }

ScriptedAction Endless() {
  ScriptedAction action = Raw(Text("HTTP/1.1 200 OK", {}, "", false), Then::Close);
  action.fillerBytes = ScriptedAction::kEndless;
  return action;
}

ScriptedAction Drip(ScriptedAction action, std::chrono::milliseconds delay, std::size_t step) {
  action.dripDelay = delay;
  action.dripStep = step;
  return action;
}

}  // namespace Respond

namespace {

void AppendBigEndian(std::string& bytes, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<char>(value >> shift));
}

void AppendChunk(std::string& bytes, std::string_view type, std::string_view data) {
  AppendBigEndian(bytes, static_cast<uint32_t>(data.size()));
  const std::size_t covered = bytes.size();
  bytes.append(type).append(data);
  AppendBigEndian(bytes, static_cast<uint32_t>(crc32(0L, reinterpret_cast<const Bytef*>(bytes.data() + covered),
                                                     static_cast<uInt>(bytes.size() - covered))));
}

}  // namespace

std::string PngFramed(std::string_view content) {
  std::string bytes("\x89PNG\r\n\x1a\n", 8);
  AppendChunk(bytes, "IHDR", std::string_view("\0\0\0\x01\0\0\0\x01\x08\0\0\0\0", 13));  // 1 x 1, grey
  AppendChunk(bytes, "IDAT", content);
  AppendChunk(bytes, "IEND", "");
  return bytes;
}

std::string BodyFor(std::string_view target) {
  uint64_t state = 14695981039346656037ull;  // FNV-1a over the target seeds the bytes
  for (unsigned char c : target) state = (state ^ c) * 1099511628211ull;
  std::string content = "tile " + std::string(target) + "\r\n";
  std::size_t length = 64 + state % 4033;
  content.reserve(content.size() + length);
  for (std::size_t i = 0; i < length; ++i) {
    state ^= state << 13;  // xorshift64: every byte value, NUL, CR and LF included
    state ^= state >> 7;
    state ^= state << 17;
    content.push_back(static_cast<char>(state >> 56));
  }
  // Framed as a PNG whose chunks hold together, so it passes the image
  // check that every tile answer meets.
  return PngFramed(content);
}

ScriptedAction ServeBodyFor(const ScriptedRequest& request) {
  return Respond::Ok(BodyFor(request.target));
}
