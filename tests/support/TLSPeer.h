#pragma once

#include "TestCertificate.h"

#include <string>
#include <string_view>

struct ssl_st;
struct ssl_ctx_st;

// The server side of TLS for the loopback peers of the tests, on OpenSSL directly:
// TLS 1.3 with session tickets, so that a client's later connections can resume the
// session of its first.
class TTLSPeerContext {
 public:
  explicit TTLSPeerContext(const TTestCertificate& certificate);
  ~TTLSPeerContext();
  TTLSPeerContext(const TTLSPeerContext&) = delete;
  TTLSPeerContext& operator=(const TTLSPeerContext&) = delete;

  ssl_ctx_st* Get() const { return FContext; }

 private:
  ssl_ctx_st* FContext;
};

// One TLS stream accepted on a connected socket (not owned). Blocking; every wait ends
// after five seconds with std::runtime_error.
class TTLSPeerStream {
 public:
  TTLSPeerStream(const TTLSPeerContext& context, int fd);
  ~TTLSPeerStream();
  TTLSPeerStream(const TTLSPeerStream&) = delete;
  TTLSPeerStream& operator=(const TTLSPeerStream&) = delete;

  // One line without its CR LF.
  std::string ReadLine();
  void Write(std::string_view bytes);
  // Everything until the client ends the stream; closeNotify: it ended with the
  // notification rather than with a bare close.
  std::string ReadAll(bool& closeNotify);
  void CloseNotify();
  // The client resumed an earlier session of the same context.
  bool Resumed() const;

 private:
  ssl_st* FSsl;
  std::string FPending;
};
