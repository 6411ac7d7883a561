#include <gtest/gtest.h>

#include <string>

#include "TestFiles.h"
#include "TileHttpClient.h"
#include "TlsTestServer.h"

namespace {

bool HasClassifiedText(const std::string& message) {
  for (const char* text : {"10054", "Connection Closed Gracefully", "302", "403", "404"})
    if (message.find(text) != std::string::npos) return true;
  return false;
}

// The message of a failed fetch; empty when the tile arrived.
std::string FetchMessage(const NetworkSettings& network, const std::string& url, std::string* body = nullptr) {
  TileHttpClient client(network);
  std::string received;
  try {
    client.Get(url, received);
  } catch (const FetchError& error) {
    return error.what();
  }
  if (body) *body = received;
  return "";
}

const std::string kUntrusted =
    "TLS failure: the server's certificate is not trusted (its issuer is in neither the system's certificates nor "
    "Network.CaFile).";

TEST(TlsTrustTest, APrivateCaIsTrustedOnceNetworkCaFileNamesIt) {
  TlsTestServer server(TlsTestServer::Leaf::Good);
  ScratchFolder folder;
  const std::string caFile = folder / "private-ca.pem";
  WriteFile(caFile, server.CaPem());

  EXPECT_EQ(FetchMessage(NetworkSettings{}, server.Url("/1/0/0.png")), kUntrusted);
  NetworkSettings trusting;
  trusting.CaFile = caFile;
  std::string body;
  EXPECT_EQ(FetchMessage(trusting, server.Url("/1/0/0.png"), &body), "");
  EXPECT_EQ(body, TlsTestServer::kBody);
  EXPECT_EQ(server.Answered(), 1);
}

TEST(TlsTrustTest, EachCertificateProblemIsNamedWithoutAClassifiedText) {
  const struct {
    const char* name;
    TlsTestServer::Leaf leaf;
    std::string message;
  } cases[] = {
      {"other host", TlsTestServer::Leaf::OtherHostName,
       "TLS failure: the server's certificate is made out to another host name."},
      {"expired", TlsTestServer::Leaf::Expired, "TLS failure: the server's certificate has expired."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TlsTestServer server(c.leaf);
    ScratchFolder folder;
    NetworkSettings network;
    network.CaFile = folder / "ca.pem";
    WriteFile(network.CaFile, server.CaPem());
    const std::string message = FetchMessage(network, server.Url("/404/302/403.png"));
    EXPECT_EQ(message, c.message);
    EXPECT_FALSE(HasClassifiedText(message));
  }
  EXPECT_FALSE(HasClassifiedText(kUntrusted));
  EXPECT_FALSE(HasClassifiedText(kCaFileUnusable));
}

TEST(TlsTrustTest, ACaFileThatGivesNothingToTrustFailsEveryHttpsFetchClearly) {
  TlsTestServer server(TlsTestServer::Leaf::Good);
  ScratchFolder folder;
  WriteFile(folder / "notes.txt", "not a certificate\n");
  for (const std::string& path : {folder / "missing.pem", folder / "notes.txt"}) {
    SCOPED_TRACE(path);
    NetworkSettings network;
    network.CaFile = path;
    EXPECT_EQ(FetchMessage(network, server.Url("/1/0/0.png")), kCaFileUnusable);
  }
  EXPECT_EQ(server.Answered(), 0);
}

TEST(TrustBundleTest, KeepsTheSystemsCertificatesAndAddsTheFilesOwn) {
  ScratchFolder folder;
  const std::string system = folder / "system.pem";
  const std::string own = folder / "own.pem";
  WriteFile(system, "-----BEGIN CERTIFICATE-----\nSYSTEM\n-----END CERTIFICATE-----");
  WriteFile(own, "-----BEGIN CERTIFICATE-----\nOWN\n-----END CERTIFICATE-----\n");

  EXPECT_EQ(TrustBundle(system, own), ReadFile(system) + "\n" + ReadFile(own));
  EXPECT_EQ(TrustBundle(folder / "no-system.pem", own), ReadFile(own));
  EXPECT_EQ(TrustBundle("", own), ReadFile(own));
  EXPECT_EQ(TrustBundle(system, folder / "missing.pem"), std::nullopt);
  EXPECT_EQ(TrustBundle(system, system + ".none"), std::nullopt);
}

}  // namespace
