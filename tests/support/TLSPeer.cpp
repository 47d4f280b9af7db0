#include "TLSPeer.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/time.h>

namespace {

[[noreturn]] void Fail(const char* what) {
  char reason[256] = "";
  ERR_error_string_n(ERR_get_error(), reason, sizeof reason);
  ERR_clear_error();
  throw std::runtime_error(std::string("TLS peer: ") + what + " failed: " + reason);
}

} // namespace

TTLSPeerContext::TTLSPeerContext(const TTestCertificate& certificate)
    : FContext(SSL_CTX_new(TLS_server_method())) {
  const std::string pem = certificate.ServerPem();
  BIO* text = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
  EVP_PKEY* key = PEM_read_bio_PrivateKey(text, nullptr, nullptr, nullptr);
  X509* cert = PEM_read_bio_X509(text, nullptr, nullptr, nullptr);
  BIO_free(text);
  const bool ok = FContext != nullptr && key != nullptr && cert != nullptr &&
                  SSL_CTX_use_certificate(FContext, cert) == 1 &&
                  SSL_CTX_use_PrivateKey(FContext, key) == 1;
  EVP_PKEY_free(key);
  X509_free(cert);
  if (!ok) {
    SSL_CTX_free(FContext);
    Fail("context");
  }
}

TTLSPeerContext::~TTLSPeerContext() {
  SSL_CTX_free(FContext);
}

TTLSPeerStream::TTLSPeerStream(const TTLSPeerContext& context, int fd)
    : FSsl(SSL_new(context.Get())) {
  timeval limit{5, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  if (FSsl == nullptr || SSL_set_fd(FSsl, fd) != 1 || SSL_accept(FSsl) != 1) {
    SSL_free(FSsl);
    Fail("handshake");
  }
}

TTLSPeerStream::~TTLSPeerStream() {
  SSL_free(FSsl);
}

std::string TTLSPeerStream::ReadLine() {
  for (;;) {
    const size_t end = FPending.find("\r\n");
    if (end != std::string::npos) {
      std::string line = FPending.substr(0, end);
      FPending.erase(0, end + 2);
      return line;
    }
    char buffer[4096];
    const int n = SSL_read(FSsl, buffer, sizeof buffer);
    if (n <= 0) Fail("reading a line");
    FPending.append(buffer, static_cast<size_t>(n));
  }
}

void TTLSPeerStream::Write(std::string_view bytes) {
  size_t written = 0;
  if (!bytes.empty() && SSL_write_ex(FSsl, bytes.data(), bytes.size(), &written) != 1)
    Fail("writing");
}

std::string TTLSPeerStream::ReadAll(bool& closeNotify) {
  std::string all = std::move(FPending);
  FPending.clear();
  char buffer[65536];
  for (;;) {
    size_t n = 0;
    if (SSL_read_ex(FSsl, buffer, sizeof buffer, &n) == 1) {
      all.append(buffer, n);
      continue;
    }
    const int error = SSL_get_error(FSsl, 0);
    closeNotify = error == SSL_ERROR_ZERO_RETURN;
    const bool bareEnd = error == SSL_ERROR_SYSCALL ||
                         (error == SSL_ERROR_SSL &&
                          ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING);
    ERR_clear_error();
    if (!closeNotify && !bareEnd) Fail("reading");
    return all;
  }
}

void TTLSPeerStream::CloseNotify() {
  SSL_shutdown(FSsl);
}

bool TTLSPeerStream::Resumed() const {
  return SSL_session_reused(FSsl) == 1;
}
