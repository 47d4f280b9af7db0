#pragma once

#include "IdException.h"

#include <cstdint>
#include <memory>
#include <string>

struct ssl_st;
struct ssl_ctx_st;

// The encrypted connection could not be made or broke down: a server that does not offer
// it, a handshake that failed, a certificate that is not trusted. The connection has been
// dropped; nothing after the failure went out.
class EIdTLSError : public EIdException {
 public:
  using EIdException::EIdException;
};

// The peer ended an encrypted stream without its close notification: whatever came last
// may have been cut off on the way, so the transfer counts as failed.
class EIdTLSTruncated : public EIdConnClosedByPeer {
 public:
  EIdTLSTruncated() {
    Message = "Der Server hat die verschlüsselte Datenverbindung ohne TLS-Abschluss beendet; "
              "die Übertragung ist unvollständig.";
  }
};

// What one call on the session came to.
enum class TIdTLSResult : uint8_t {
  Done,         // the step is complete (Receive and Send: bytes moved)
  WantRead,     // call again once the socket is readable
  WantWrite,    // call again once the socket takes data
  Closed,       // the peer ended the session with its close notification
  Truncated,    // the peer ended the TCP stream without it
  SocketFailed, // a socket call failed; SocketError tells why
};

// The client side of TLS over one connected socket, between the socket and the buffered
// connection. It never blocks: reads and writes go through the socket stack without
// waiting, and every call that needs the socket first reports WantRead or WantWrite, so
// the connection waits in its usual sliced, limited waits.
//
// The server is verified against HostName (a name or an IPv4 address): its certificate
// chain must lead to a trusted certificate and name that host, and must be valid now.
class TIdTLSSession {
 public:
  // trustedPem: the certificates (PEM) that are the only trust anchors; any of them may
  // be the server's own certificate. Empty: the system's certificate store.
  TIdTLSSession(int32_t socketId, const std::string& hostName, const std::string& trustedPem);
  ~TIdTLSSession();
  TIdTLSSession(const TIdTLSSession&) = delete;
  TIdTLSSession& operator=(const TIdTLSSession&) = delete;

  // A session for another connection to the same server (an FTP data connection): the
  // same trust and name, offering to resume this session. Servers refuse data connections
  // whose session is not the control connection's, so call it once this session has read
  // what the server sent after its handshake (TLS 1.3 sends the ticket only then).
  std::unique_ptr<TIdTLSSession> ResumingOn(int32_t socketId) const;

  // One step of the handshake; raises EIdTLSError with the German reason when it fails.
  TIdTLSResult Handshake();
  TIdTLSResult Receive(char* buffer, int32_t size, int32_t& received);
  TIdTLSResult Send(const char* buffer, int32_t size, int32_t& sent);
  // Sends the close notification (Done once it went out); does not wait for the peer's.
  TIdTLSResult CloseNotify();

  // Decrypted bytes are held here: a receive returns at once, whatever the socket says.
  bool HasBufferedInput() const;
  int32_t SocketError() const { return FLink.Error; }
  // "TLSv1.3, TLS_AES_256_GCM_SHA384"
  std::string Description() const;
  // The handshake resumed an earlier session instead of making a new one.
  bool Resumed() const;

  // The socket under the session, and the error of its last failing call (0: none).
  struct TSocketLink {
    int32_t SocketId = -1;
    int32_t Error = 0;
  };

 private:
  TIdTLSSession(std::shared_ptr<ssl_ctx_st> context, int32_t socketId, std::string hostName);
  TIdTLSResult Outcome(int result, bool inHandshake);
  [[noreturn]] void RaiseHandshakeFailure(const std::string& openSslReason) const;

  std::shared_ptr<ssl_ctx_st> FContext;
  ssl_st* FSsl = nullptr;
  TSocketLink FLink; // the socket layer's side of the session; its address is handed out
  std::string FHostName;
};
