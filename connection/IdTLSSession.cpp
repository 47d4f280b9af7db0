#include "IdTLSSession.h"

#include "Format.h"
#include "IdSocketErrors.h"
#include "IdStack.h"

#include <climits>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>

namespace {

// Why the server's certificate was refused, for the refusals a studio will meet: an
// expired certificate, one made for another host, one signed by nobody we trust.
struct TVerifyText {
  long Code;
  const char* Text; // "%s": the host name
};

constexpr const char* UntrustedIssuer =
    "Das Zertifikat des Servers stammt von keiner Stelle, der dieses Programm vertraut.";

constexpr TVerifyText VerifyTexts[] = {
    {X509_V_ERR_CERT_HAS_EXPIRED, "Das Zertifikat des Servers ist abgelaufen."},
    {X509_V_ERR_CERT_NOT_YET_VALID, "Das Zertifikat des Servers ist noch nicht gültig."},
    {X509_V_ERR_HOSTNAME_MISMATCH, "Das Zertifikat des Servers gilt nicht für %s."},
    {X509_V_ERR_IP_ADDRESS_MISMATCH, "Das Zertifikat des Servers gilt nicht für %s."},
    {X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT,
     "Das Zertifikat des Servers ist selbst ausgestellt und nicht als vertrauenswürdig "
     "hinterlegt."},
    {X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN, UntrustedIssuer},
    {X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT, UntrustedIssuer},
    {X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY, UntrustedIssuer},
    {X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE, UntrustedIssuer},
    {X509_V_ERR_CERT_REVOKED, "Das Zertifikat des Servers wurde widerrufen."},
};

std::string VerifyFailureText(long code, const std::string& host) {
  for (const TVerifyText& entry : VerifyTexts)
    if (entry.Code == code) return Format(entry.Text, host.c_str());
  return Format("Das Zertifikat des Servers wurde nicht anerkannt (%s).",
                X509_verify_cert_error_string(code));
}

// OpenSSL's reason for the oldest error in its queue, which it then empties.
std::string TakeOpenSslReason() {
  const unsigned long error = ERR_peek_error();
  const char* reason = error != 0 ? ERR_reason_error_string(error) : nullptr;
  ERR_clear_error();
  return reason != nullptr ? reason : "unbekannter Fehler";
}

// The socket under the session: plain non-blocking calls through the socket stack, which
// stays the program's only gateway to the system. A call that would block asks OpenSSL to
// retry; any other failure is kept for the session's error.
int SocketCallResult(BIO* bio, int32_t n, void (*retry)(BIO*)) {
  if (n >= 0) return n;
  const int32_t error = GlobalStack->SockLastError();
  if (error == IdSocketError::WouldBlock || error == IdSocketError::Interrupted)
    retry(bio);
  else
    static_cast<TIdTLSSession::TSocketLink*>(BIO_get_data(bio))->Error = error;
  return -1;
}

int ReadFromSocket(BIO* bio, char* buffer, int size) {
  auto* link = static_cast<TIdTLSSession::TSocketLink*>(BIO_get_data(bio));
  BIO_clear_retry_flags(bio);
  return SocketCallResult(bio, GlobalStack->SockRecv(link->SocketId, buffer, size, Id_MSG_DONTWAIT),
                          [](BIO* b) { BIO_set_retry_read(b); });
}

int WriteToSocket(BIO* bio, const char* buffer, int size) {
  auto* link = static_cast<TIdTLSSession::TSocketLink*>(BIO_get_data(bio));
  BIO_clear_retry_flags(bio);
  return SocketCallResult(bio, GlobalStack->SockSend(link->SocketId, buffer, size, Id_MSG_DONTWAIT),
                          [](BIO* b) { BIO_set_retry_write(b); });
}

long ControlSocket(BIO*, int command, long, void*) {
  // Nothing is buffered on the way to the socket.
  return command == BIO_CTRL_FLUSH ? 1 : 0;
}

BIO_METHOD* SocketMethod() {
  // Made once and kept for the life of the process, as OpenSSL's own methods are.
  static BIO_METHOD* const method = [] {
    BIO_METHOD* made = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "socket stack");
    if (made == nullptr || BIO_meth_set_read(made, ReadFromSocket) != 1 ||
        BIO_meth_set_write(made, WriteToSocket) != 1 || BIO_meth_set_ctrl(made, ControlSocket) != 1)
      throw EIdTLSError("TLS konnte nicht eingerichtet werden (" + TakeOpenSslReason() + ").");
    return made;
  }();
  return method;
}

std::shared_ptr<ssl_ctx_st> MakeContext(const std::string& trustedPem) {
  std::shared_ptr<SSL_CTX> context(SSL_CTX_new(TLS_client_method()), SSL_CTX_free);
  if (!context)
    throw EIdTLSError("TLS konnte nicht eingerichtet werden (" + TakeOpenSslReason() + ").");
  SSL_CTX* ctx = context.get();
  SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
  SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
  // A send may take part of a buffer and is repeated with the rest from a moved pointer.
  SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  if (trustedPem.empty()) {
    if (SSL_CTX_set_default_verify_paths(ctx) != 1)
      throw EIdTLSError("Der Zertifikatsspeicher des Systems ist nicht lesbar (" +
                        TakeOpenSslReason() + ").");
    return context;
  }
  X509_STORE* store = X509_STORE_new();
  if (store == nullptr)
    throw EIdTLSError("TLS konnte nicht eingerichtet werden (" + TakeOpenSslReason() + ").");
  SSL_CTX_set_cert_store(ctx, store); // owned by the context from here on
  BIO* text = BIO_new_mem_buf(trustedPem.data(), static_cast<int>(trustedPem.size()));
  int count = 0;
  while (X509* certificate = PEM_read_bio_X509(text, nullptr, nullptr, nullptr)) {
    if (X509_STORE_add_cert(store, certificate) == 1) ++count;
    X509_free(certificate);
  }
  BIO_free(text);
  ERR_clear_error(); // the end of the text reads as an error
  if (count == 0)
    throw EIdTLSError("Das eingebaute Zertifikat des Servers ist nicht lesbar; ohne es wird "
                      "keine Verbindung aufgebaut.");
  // The embedded certificate is the anchor itself, even when it is the server's own and
  // not a CA's: the chain need not go further up.
  X509_STORE_set_flags(store, X509_V_FLAG_PARTIAL_CHAIN);
  return context;
}

} // namespace

TIdTLSSession::TIdTLSSession(int32_t socketId, const std::string& hostName,
                             const std::string& trustedPem)
    : TIdTLSSession(MakeContext(trustedPem), socketId, hostName) {}

TIdTLSSession::TIdTLSSession(std::shared_ptr<ssl_ctx_st> context, int32_t socketId,
                             std::string hostName)
    : FContext(std::move(context)), FHostName(std::move(hostName)) {
  FLink.SocketId = socketId;
  FSsl = SSL_new(FContext.get());
  BIO* bio = FSsl != nullptr ? BIO_new(SocketMethod()) : nullptr;
  if (bio == nullptr) {
    SSL_free(FSsl);
    throw EIdTLSError("TLS konnte nicht eingerichtet werden (" + TakeOpenSslReason() + ").");
  }
  BIO_set_data(bio, &FLink);
  BIO_set_init(bio, 1);
  SSL_set_bio(FSsl, bio, bio); // one reference, owned by the session
  // Also on an accepted connection (an active-mode data connection) we are the client.
  SSL_set_connect_state(FSsl);
  // An address is no server name (RFC 6066); it is still what the certificate must name.
  if (!TIdStack::IsDottedQuad(FHostName)) SSL_set_tlsext_host_name(FSsl, FHostName.c_str());
  if (SSL_set1_host(FSsl, FHostName.c_str()) != 1) {
    SSL_free(FSsl);
    throw EIdTLSError(
        Format("Der Servername %s ist für die Zertifikatsprüfung ungeeignet.", FHostName.c_str()));
  }
}

TIdTLSSession::~TIdTLSSession() {
  SSL_free(FSsl);
}

std::unique_ptr<TIdTLSSession> TIdTLSSession::ResumingOn(int32_t socketId) const {
  std::unique_ptr<TIdTLSSession> session(new TIdTLSSession(FContext, socketId, FHostName));
  if (SSL_SESSION* earlier = SSL_get1_session(FSsl)) {
    SSL_set_session(session->FSsl, earlier);
    SSL_SESSION_free(earlier);
  }
  return session;
}

TIdTLSResult TIdTLSSession::Outcome(int result, bool inHandshake) {
  switch (SSL_get_error(FSsl, result)) {
  case SSL_ERROR_WANT_READ:
    return TIdTLSResult::WantRead;
  case SSL_ERROR_WANT_WRITE:
    return TIdTLSResult::WantWrite;
  case SSL_ERROR_ZERO_RETURN:
    return TIdTLSResult::Closed;
  case SSL_ERROR_SYSCALL:
    ERR_clear_error();
    return FLink.Error != 0 ? TIdTLSResult::SocketFailed : TIdTLSResult::Truncated;
  default:
    break;
  }
  const unsigned long error = ERR_peek_error();
  if (ERR_GET_LIB(error) == ERR_LIB_SSL &&
      ERR_GET_REASON(error) == SSL_R_UNEXPECTED_EOF_WHILE_READING) {
    ERR_clear_error();
    return TIdTLSResult::Truncated;
  }
  if (FLink.Error != 0) {
    ERR_clear_error();
    return TIdTLSResult::SocketFailed;
  }
  const std::string reason = TakeOpenSslReason();
  if (inHandshake) RaiseHandshakeFailure(reason);
  throw EIdTLSError("Die verschlüsselte Verbindung ist gestört (" + reason + ").");
}

void TIdTLSSession::RaiseHandshakeFailure(const std::string& openSslReason) const {
  const long verify = SSL_get_verify_result(FSsl);
  std::string reason;
  if (verify != X509_V_OK)
    reason = VerifyFailureText(verify, FHostName);
  else if (openSslReason.empty())
    reason = "Der Server hat die Verbindung während des TLS-Handshakes getrennt.";
  else
    reason = "Der TLS-Handshake ist gescheitert (" + openSslReason + ").";
  throw EIdTLSError(
      Format("Keine verschlüsselte Verbindung zu %s: %s", FHostName.c_str(), reason.c_str()));
}

TIdTLSResult TIdTLSSession::Handshake() {
  ERR_clear_error();
  FLink.Error = 0;
  const int result = SSL_do_handshake(FSsl);
  if (result == 1) return TIdTLSResult::Done;
  const TIdTLSResult outcome = Outcome(result, true);
  if (outcome == TIdTLSResult::WantRead || outcome == TIdTLSResult::WantWrite) return outcome;
  RaiseHandshakeFailure({});
}

TIdTLSResult TIdTLSSession::Receive(char* buffer, int32_t size, int32_t& received) {
  ERR_clear_error();
  FLink.Error = 0;
  size_t count = 0;
  const int result = SSL_read_ex(FSsl, buffer, static_cast<size_t>(size), &count);
  received = static_cast<int32_t>(count);
  return result == 1 ? TIdTLSResult::Done : Outcome(result, false);
}

TIdTLSResult TIdTLSSession::Send(const char* buffer, int32_t size, int32_t& sent) {
  ERR_clear_error();
  FLink.Error = 0;
  size_t count = 0;
  const int result = SSL_write_ex(FSsl, buffer, static_cast<size_t>(size), &count);
  sent = static_cast<int32_t>(count);
  return result == 1 ? TIdTLSResult::Done : Outcome(result, false);
}

TIdTLSResult TIdTLSSession::CloseNotify() {
  ERR_clear_error();
  FLink.Error = 0;
  // 0: ours went out, the peer's has not come yet, which is all we ask for here.
  const int result = SSL_shutdown(FSsl);
  if (result >= 0) return TIdTLSResult::Done;
  return Outcome(result, false);
}

bool TIdTLSSession::HasBufferedInput() const {
  return SSL_pending(FSsl) > 0;
}

std::string TIdTLSSession::Description() const {
  return std::string(SSL_get_version(FSsl)) + ", " + SSL_get_cipher_name(FSsl);
}

bool TIdTLSSession::Resumed() const {
  return SSL_session_reused(FSsl) == 1;
}
