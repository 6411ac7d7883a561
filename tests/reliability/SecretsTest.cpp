// The proxy password goes to the proxy and nowhere else: not into the log,
// the failed list, the other task files, stdout or stderr, whatever failures
// the run meets.
#include <gtest/gtest.h>

#include <map>

#include "ChildProcess.h"
#include "CliTask.h"
#include "Figures.h"
#include "RefusingPort.h"
#include "ScriptedServer.h"
#include "TestFiles.h"

namespace {

const std::string kUser = "rel-user";
const std::string kPassword = "Cnry-7f3a9c-PW";

std::string Base64(const std::string& bytes) {
  static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t group = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 2]);
    out += kDigits[(group >> 18) & 63];
    out += kDigits[(group >> 12) & 63];
    out += i + 1 < bytes.size() ? kDigits[(group >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? kDigits[group & 63] : '=';
  }
  return out;
}

// Where the password (plain, or inside the credentials' Base64) turned up.
std::vector<std::string> Leaks(const std::map<std::string, std::string>& texts) {
  const std::string encoded = Base64(kUser + ":" + kPassword);
  std::vector<std::string> leaks;
  for (const auto& [where, text] : texts)
    if (text.find(kPassword) != std::string::npos || text.find(encoded) != std::string::npos)
      leaks.push_back(where);
  return leaks;
}

}  // namespace

TEST(Secrets, ProxyPasswordNeverLeavesForTheProxy) {
  ScratchFolder scratch("secret");
  // The proxy answers each tile by its row: sound, missing, refused, cut, hung or broken.
  ScriptedServer proxy([](const ScriptedRequest& request) {
    const std::size_t dot = request.target.rfind('.');
    const std::size_t slash = request.target.rfind('/', dot);
    const int row = std::stoi(request.target.substr(slash + 1, dot - slash - 1));
    switch (row % 8) {
      case 1: return Respond::Status(404, "Not Found");
      case 2: return Respond::Status(407, "Proxy Authentication Required");
      case 3: return Respond::Status(502, "Bad Gateway");
      case 4: return Respond::CloseMidBody(BodyFor(request.target), 10);
      case 5: return Respond::Raw("HTTP/1.1 abc Broken\r\nContent-Length: 0\r\n\r\n");
      case 6: return Respond::Stall();
      case 7: return Respond::Reset();
      default: return Respond::Ok(BodyFor(request.target));
    }
  });

  TaskEntries entries;
  entries.threads = 2;
  entries.path = scratch.MakeFolder("save");
  entries.task = "secret.qrnl";
  SetEntriesCovering(TileRange{12, 2130, 2131, 1400, 1407}, entries);  // rows cover every case
  CliConfig config;
  config.port = 9;  // tiles name a host the proxy never connects to
  config.defaultPath = entries.path;
  config.readTimeout = 1;
  config.repeatLimit = 1;
  config.useProxy = true;
  config.proxyServer = "127.0.0.1";
  config.proxyPort = std::to_string(proxy.Port());
  config.proxyUsername = kUser;
  config.proxyPassword = kPassword;
  WriteConfig(scratch / "config.ini", config);

  const ChildResult run =
      RunChild(CliTaskArgs(scratch / "config.ini", entries), scratch.Path(), std::chrono::seconds(120));
  ASSERT_TRUE(run.exited) << run.Describe();

  // The credentials must have reached the proxy, or the test proves nothing.
  bool sentToProxy = false;
  for (std::size_t c = 0; c < proxy.ConnectionCount(); ++c)
    sentToProxy |= proxy.Received(c).find("Proxy-Authorization: Basic " + Base64(kUser + ":" + kPassword)) !=
                   std::string::npos;

  const TaskPaths paths = PathsOf(entries);
  std::map<std::string, std::string> texts = {
      {"stdout", run.out},          {"stderr", run.err},
      {"log", ReadFile(paths.log)}, {"failed_list", ReadFile(paths.failedList)},
      {"project", ReadFile(paths.project)}, {"tile_list", ReadFile(paths.tileList)}};

  // A proxy that cannot be reached at all: connection errors name the proxy.
  RefusingPort closedProxy;
  CliConfig unreachable = config;
  unreachable.proxyPort = std::to_string(closedProxy.Port());
  unreachable.connectTimeout = 2;
  WriteConfig(scratch / "unreachable.ini", unreachable);
  TaskEntries second = entries;
  second.task = "secret2.qrnl";
  const ChildResult refused =
      RunChild(CliTaskArgs(scratch / "unreachable.ini", second), scratch.Path(), std::chrono::seconds(120));
  ASSERT_TRUE(refused.exited) << refused.Describe();
  const TaskPaths paths2 = PathsOf(second);
  texts["unreachable_stdout"] = refused.out;
  texts["unreachable_stderr"] = refused.err;
  texts["unreachable_log"] = ReadFile(paths2.log);
  texts["unreachable_failed_list"] = ReadFile(paths2.failedList);

  // The re-download goes through the same proxy and meets the same failures.
  const ChildResult again = RunChild({CliPath(), "--config", scratch / "config.ini", "redownload", paths.failedList},
                                     scratch.Path(), std::chrono::seconds(120));
  ASSERT_TRUE(again.exited) << again.Describe();
  texts["redownload_stdout"] = again.out;
  texts["redownload_stderr"] = again.err;

  const std::vector<std::string> leaks = Leaks(texts);
  ReportFigure("secrets", {Fig("places_checked", texts.size()), Fig("leaks", leaks.size()),
                           Fig("proxy_requests", proxy.RequestCount()), Fig("credentials_sent", sentToProxy)});
  EXPECT_TRUE(sentToProxy) << "the proxy never saw the credentials";
  EXPECT_GT(CountLinesContaining(run.out, "->ok!"), 0) << run.out;
  EXPECT_TRUE(leaks.empty()) << ::testing::PrintToString(leaks);
}
