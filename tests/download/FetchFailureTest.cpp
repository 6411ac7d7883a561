#include "FetchFailure.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <ctime>
#include <limits>
#include <optional>

namespace {

bool HasClassifiedText(const std::string& message) {
  for (const char* text : {"10054", "Connection Closed Gracefully", "302", "403", "404"})
    if (message.find(text) != std::string::npos) return true;
  return false;
}

TEST(SocketErrorTest, MessagesCarryTheWinsockNumberAndText) {
  const std::pair<int, std::string> cases[] = {
      {10054, "Socket Error # 10054\r\nConnection reset by peer."},
      {10060, "Socket Error # 10060\r\nConnection timed out."},
      {10061, "Socket Error # 10061\r\nConnection refused."},
      {10051, "Socket Error # 10051\r\nNetwork is unreachable."},
      {10065, "Socket Error # 10065\r\nNo route to host."},
      {11001, "Socket Error # 11001\r\nHost not found."},
      {10099, "Socket Error # 10099\r\n"},
  };
  for (const auto& [number, message] : cases) EXPECT_EQ(SocketErrorMessage(number), message);
}

TEST(SocketErrorTest, ReadableFailuresNameTheReasonInWordsOnOneLine) {
  const std::pair<std::string, std::string> cases[] = {
      {SocketErrorMessage(10061), "connection refused (Socket Error # 10061)"},
      {SocketErrorMessage(11001), "host not found (Socket Error # 11001)"},
      {SocketErrorMessage(10099), "an unknown socket error (Socket Error # 10099)"},
      {"5 tiles failed, most often with \"Socket Error # 10060 Connection timed out.\" from h:1",
       "5 tiles failed, most often with \"connection timed out (Socket Error # 10060)\" from h:1"},
      {"Socket Error # 10061\r\nConnection refused.->http://h/1.png",
       "connection refused (Socket Error # 10061)->http://h/1.png"},
      {"Socket Error # 10065 and more", "no route to host (Socket Error # 10065) and more"},
      {"Socket Error # x", "Socket Error # x"},
      {"Connection Closed Gracefully.", "Connection Closed Gracefully."},
      {"two\r\nlines \n", "two lines"},
  };
  for (const auto& [message, readable] : cases) EXPECT_EQ(ReadableFailure(message), readable) << message;
}

TEST(SocketErrorTest, PosixErrorsMapToWinsockNumbers) {
  const std::pair<int, int> cases[] = {
      {ECONNRESET, 10054}, {EPIPE, 10054},        {ETIMEDOUT, 10060},   {ECONNREFUSED, 10061},
      {EHOSTUNREACH, 10065}, {ENETUNREACH, 10051}, {ECONNABORTED, 10053}, {ENETDOWN, 10050},
      {0, 0},              {ENOENT, 0},
  };
  for (const auto& [posix, winsock] : cases) EXPECT_EQ(WinsockErrorFromErrno(posix), winsock) << posix;
}

TEST(TransferFailureMessageTest, ClassifiesByFixedTexts) {
  struct Case {
    TransferOutcome outcome;
    std::string expected;  // empty: any text without a classified one
  };
  const Case cases[] = {
      {{CURLE_RECV_ERROR, ECONNRESET}, SocketErrorMessage(10054)},
      {{CURLE_SEND_ERROR, EPIPE}, SocketErrorMessage(10054)},
      {{CURLE_COULDNT_CONNECT, ECONNREFUSED}, SocketErrorMessage(10061)},
      {{CURLE_COULDNT_CONNECT, EHOSTUNREACH}, SocketErrorMessage(10065)},
      {{CURLE_COULDNT_CONNECT, ENETUNREACH}, SocketErrorMessage(10051)},
      {{CURLE_COULDNT_RESOLVE_HOST}, SocketErrorMessage(11001)},
      {{CURLE_COULDNT_RESOLVE_PROXY}, SocketErrorMessage(11001)},
      {{CURLE_OPERATION_TIMEDOUT}, SocketErrorMessage(10060)},
      {{CURLE_ABORTED_BY_CALLBACK, 0, false, false, true}, SocketErrorMessage(10060)},
      {{CURLE_SSL_CONNECT_ERROR, ECONNRESET}, SocketErrorMessage(10054)},
      {{CURLE_GOT_NOTHING}, "Connection Closed Gracefully."},
      {{CURLE_PARTIAL_FILE}, "Connection Closed Gracefully."},
      // Only the socket's own number makes a reset; other receive errors do not.
      {{CURLE_RECV_ERROR, 0}, ""},
      {{CURLE_WRITE_ERROR, 0, true}, ""},
      {{CURLE_FILESIZE_EXCEEDED}, ""},
      {{CURLE_WRITE_ERROR, 0, false, true}, ""},
      {{CURLE_WEIRD_SERVER_REPLY}, ""},
      {{CURLE_SSL_CONNECT_ERROR}, ""},
      {{CURLE_PEER_FAILED_VERIFICATION}, ""},
      {{CURLE_OUT_OF_MEMORY}, ""},
      {{CURLE_RECV_ERROR, 0, false, false, false, true}, ""},
  };
  for (const Case& c : cases) {
    std::string message = TransferFailureMessage(c.outcome);
    if (c.expected.empty()) {
      EXPECT_FALSE(message.empty()) << c.outcome.curlCode;
      EXPECT_FALSE(HasClassifiedText(message)) << message;
    } else {
      EXPECT_EQ(message, c.expected) << c.outcome.curlCode;
    }
  }
  // No fallback text, for any libcurl code, may read as a classified failure.
  for (int code = 0; code < CURL_LAST; ++code) {
    if (code == CURLE_RECV_ERROR || code == CURLE_SEND_ERROR || code == CURLE_GOT_NOTHING ||
        code == CURLE_PARTIAL_FILE)
      continue;
    EXPECT_FALSE(HasClassifiedText(TransferFailureMessage({code, 0}))) << code;
  }
}

TEST(RetryAfterTest, ReadsSecondsAndTheThreeDateForms) {
  // 2015-10-21 07:28:00 UTC
  constexpr std::time_t kAt = 1445412480;
  const struct {
    const char* value;
    std::time_t now;
    std::optional<int64_t> seconds;
  } cases[] = {
      {"3", 0, 3},
      {" 120 ", 0, 120},
      {"0", 0, 0},
      {"99999999999999999999999", 0, std::numeric_limits<int32_t>::max()},
      {"Wed, 21 Oct 2015 07:28:00 GMT", kAt - 10, 10},
      {"Wednesday, 21-Oct-15 07:28:00 GMT", kAt - 10, 10},
      {"Wed Oct 21 07:28:00 2015", kAt - 10, 10},
      {"Wed, 21 Oct 2015 07:28:00 GMT", kAt + 10, 0},  // a date gone by: no wait
      {"", 0, std::nullopt},
      {"soon", 0, std::nullopt},
      {"-5", 0, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    const auto parsed = ParseRetryAfter(c.value, c.now);
    ASSERT_EQ(parsed.has_value(), c.seconds.has_value());
    if (parsed) {
      EXPECT_EQ(parsed->count(), *c.seconds);
    }
  }
}

TEST(RetryAfterTest, WaitsDoubleWithoutAnAnswerAndNeverPassTheCap) {
  using std::chrono::seconds;
  EXPECT_EQ(RetryLaterWait(std::nullopt, 0, 120), seconds(1));
  EXPECT_EQ(RetryLaterWait(std::nullopt, 1, 120), seconds(2));
  EXPECT_EQ(RetryLaterWait(std::nullopt, 2, 120), seconds(4));
  EXPECT_EQ(RetryLaterWait(std::nullopt, 2, 3), seconds(3));
  EXPECT_EQ(RetryLaterWait(std::nullopt, 40, 120), seconds(120));
  EXPECT_EQ(RetryLaterWait(seconds(500), 0, 120), seconds(120));
  EXPECT_EQ(RetryLaterWait(seconds(7), 5, 120), seconds(7));  // the server's word beats the doubling
  EXPECT_EQ(RetryLaterWait(seconds(7), 0, 0), seconds(0));
}

}  // namespace
