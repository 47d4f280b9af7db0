// Explicit FTP over TLS for TIdFTP (RFC 4217): the control connection is secured before
// the login, the data connections after they are made. Without TLSRequired none of this
// runs and the conversation is plain FTP.
#include "Format.h"
#include "IdFTP.h"
#include "IdTLSSession.h"

void TIdFTP::NegotiateTLS(const TLoginExchange& exchange) {
  if (exchange("AUTH TLS", {}) != 234)
    throw EIdTLSError(Format("Der Server bietet keine verschlüsselte Verbindung an (Antwort auf "
                             "AUTH TLS: %s). Unverschlüsselt werden weder Passwort noch Fotos "
                             "gesendet.",
                             LastReplyLine().c_str()));
  // Bytes behind the 234 came before the encryption and could have been put there by
  // anyone on the way; they must not be read as the server's replies.
  if (InputSize() > 0)
    throw EIdTLSError("Der Server hat nach seiner Zusage zu AUTH TLS unverschlüsselt "
                      "weitergesendet; die Verbindung wurde getrennt.");
  StartTLS(std::make_unique<TIdTLSSession>(SocketHandle.SocketId, Host, TLSTrustedCertificates),
           false);
  NotifyStatus(stText,
               Format("TLS-Verbindung hergestellt (%s).", TLSSession()->Description().c_str()));
}

void TIdFTP::ProtectDataConnections(const TLoginExchange& exchange) {
  // A stream protocol has no protection buffer: its size is 0 (RFC 4217, 9).
  for (const char* command : {"PBSZ 0", "PROT P"})
    if (exchange(command, {}) != 200)
      throw EIdTLSError(Format("Der Server verweigert verschlüsselte Datenverbindungen "
                               "(Antwort auf %s: %s). Unverschlüsselt wird keine Datei "
                               "übertragen.",
                               command, LastReplyLine().c_str()));
}

void TIdFTP::SecureDataConnection(TIdTCPConnection& data) {
  if (!TLSRequired) return;
  // The control connection's session is resumed: servers take that as the proof that the
  // data connection comes from the client that logged in.
  TIdTLSSession* control = TLSSession();
  if (control == nullptr) RaiseClosed();
  data.StartTLS(control->ResumingOn(data.SocketHandle.SocketId), true);
}
