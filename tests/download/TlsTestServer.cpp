#include "TlsTestServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace {

constexpr long kDay = 24 * 60 * 60;

void Check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string("TLS test server: ") + what);
}

EVP_PKEY* NewKey() {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  Check(key != nullptr, "key");
  return key;
}

void AddExtension(X509* cert, X509V3_CTX& ctx, int nid, const char* value) {
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  Check(ext != nullptr && X509_add_ext(cert, ext, -1) == 1, "extension");
  X509_EXTENSION_free(ext);
}

// issuer null: self-signed CA.
X509* NewCertificate(EVP_PKEY* key, X509* issuer, EVP_PKEY* issuerKey, const char* commonName,
                     const char* altNames, long validFrom, long validTo, long serial) {
  X509* cert = X509_new();
  X509_set_version(cert, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert), serial);
  X509_gmtime_adj(X509_getm_notBefore(cert), validFrom);
  X509_gmtime_adj(X509_getm_notAfter(cert), validTo);
  X509_set_pubkey(cert, key);
  X509_NAME* name = X509_get_subject_name(cert);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
  X509_set_issuer_name(cert, issuer ? X509_get_subject_name(issuer) : name);
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer ? issuer : cert, cert, nullptr, nullptr, 0);
  AddExtension(cert, ctx, NID_subject_key_identifier, "hash");
  if (issuer == nullptr) {
    AddExtension(cert, ctx, NID_basic_constraints, "critical,CA:TRUE");
    AddExtension(cert, ctx, NID_key_usage, "critical,keyCertSign,cRLSign");
  } else {
    AddExtension(cert, ctx, NID_basic_constraints, "CA:FALSE");
    AddExtension(cert, ctx, NID_authority_key_identifier, "keyid");
    AddExtension(cert, ctx, NID_subject_alt_name, altNames);
    AddExtension(cert, ctx, NID_ext_key_usage, "serverAuth");
  }
  Check(X509_sign(cert, issuerKey ? issuerKey : key, EVP_sha256()) > 0, "sign");
  return cert;
}

std::string Pem(X509* cert) {
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_X509(bio, cert);
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio, &data);
  std::string pem(data, static_cast<std::size_t>(size));
  BIO_free(bio);
  return pem;
}

}  // namespace

struct TlsTestServer::State {
  SSL_CTX* context = nullptr;
};

TlsTestServer::TlsTestServer(Leaf leaf) : state_(new State) {
  // A client that rejects the certificate hangs up while the answer is
  // written; the socket layer under TLS would end the whole test with SIGPIPE.
  ::signal(SIGPIPE, SIG_IGN);
  EVP_PKEY* caKey = NewKey();
  X509* ca = NewCertificate(caKey, nullptr, nullptr, "Quarnel Test CA", nullptr, -kDay, 3650 * kDay, 1);
  EVP_PKEY* leafKey = NewKey();
  const char* names = leaf == Leaf::OtherHostName ? "DNS:tiles.other.test" : "IP:127.0.0.1,DNS:localhost";
  const long from = leaf == Leaf::Expired ? -10 * kDay : -kDay;
  const long to = leaf == Leaf::Expired ? -2 * kDay : 3650 * kDay;
  X509* server = NewCertificate(leafKey, ca, caKey, "127.0.0.1", names, from, to, 2);
  caPem_ = Pem(ca);

  state_->context = SSL_CTX_new(TLS_server_method());
  Check(state_->context != nullptr, "context");
  Check(SSL_CTX_use_certificate(state_->context, server) == 1, "certificate");
  Check(SSL_CTX_use_PrivateKey(state_->context, leafKey) == 1, "private key");
  X509_free(server);
  X509_free(ca);
  EVP_PKEY_free(leafKey);
  EVP_PKEY_free(caKey);

  listener_ = socket(AF_INET, SOCK_STREAM, 0);
  Check(listener_ >= 0, "socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  Check(bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0, "bind");
  Check(listen(listener_, 16) == 0, "listen");
  socklen_t length = sizeof address;
  getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

TlsTestServer::~TlsTestServer() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  if (listener_ >= 0) close(listener_);
  SSL_CTX_free(state_->context);
  delete state_;
}

void TlsTestServer::Serve() {
  while (!stopping_) {
    pollfd ready{listener_, POLLIN, 0};
    if (poll(&ready, 1, 50) <= 0) continue;
    const int connection = accept(listener_, nullptr, nullptr);
    if (connection < 0) continue;
    timeval timeout{2, 0};
    setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    SSL* ssl = SSL_new(state_->context);
    SSL_set_fd(ssl, connection);
    if (SSL_accept(ssl) == 1) {
      std::string request;
      char chunk[1024];
      while (request.find("\r\n\r\n") == std::string::npos) {
        const int got = SSL_read(ssl, chunk, sizeof chunk);
        if (got <= 0) break;
        request.append(chunk, static_cast<std::size_t>(got));
      }
      const std::string body = kBody;
      const std::string answer = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                                 "\r\nConnection: close\r\n\r\n" + body;
      SSL_write(ssl, answer.data(), static_cast<int>(answer.size()));
      ++answered_;
      SSL_shutdown(ssl);
    }
    SSL_free(ssl);
    ERR_clear_error();
    close(connection);
  }
}
