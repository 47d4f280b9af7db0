// A TIdTCPConnection over TLS: the handshake, and receives and sends through the session
// with the waits it asks for.
#include "IdStack.h"
#include "IdTCPConnection.h"
#include "IdTCPExceptions.h"
#include "IdTLSSession.h"
#include "ScopeGuard.h"

namespace {

// A session call whose failure leaves the session unusable: the connection is dropped
// before the error goes up.
template <typename TCall> TIdTLSResult DroppedOnTLSError(TIdTCPConnection& connection, TCall call) {
  try {
    return call();
  } catch (const EIdTLSError&) {
    connection.DropConnection();
    throw;
  }
}

} // namespace

bool TIdTCPConnection::InputPending() const {
  return InputSize() > 0 || (FTLS && FTLS->HasBufferedInput());
}

void TIdTCPConnection::StartTLS(std::unique_ptr<TIdTLSSession> session, bool endRequired) {
  FTLS = std::move(session);
  FTLSEndRequired = endRequired;
  // Each wait is limited as a receive or send is; the whole handshake as a whole reply.
  TScopeGuard restore([this, outer = FReplyDeadline] { FReplyDeadline = outer; });
  if (ReplyTimeOut > 0) FReplyDeadline = TClock::now() + std::chrono::milliseconds(ReplyTimeOut);
  try {
    for (;;) {
      const TIdTLSResult step = FTLS->Handshake();
      if (step == TIdTLSResult::Done) return;
      WaitForTLS(step == TIdTLSResult::WantWrite);
    }
  } catch (const EIdTLSError&) {
    DropConnection();
    throw;
  } catch (const EIdTCPConnectionError& e) {
    // A stalled handshake: the connection is already dropped.
    throw EIdTLSError("Keine verschlüsselte Verbindung zum Server: Der TLS-Handshake kam nicht "
                      "zu Ende. " +
                      e.Message);
  }
}

void TIdTCPConnection::SendCloseNotify() {
  if (!FTLS || !SocketHandle.IsOpen) return;
  for (;;) {
    const TIdTLSResult step = FTLS->CloseNotify();
    if (step == TIdTLSResult::Done) break;
    if (step != TIdTLSResult::WantRead && step != TIdTLSResult::WantWrite) {
      // The peer is gone before the end could be told: the transfer did not finish.
      DropClosedByPeer();
      throw EIdConnClosedByPeer();
    }
    WaitForTLS(step == TIdTLSResult::WantWrite);
  }
  // The session is over for this side. What the peer still sends (TLS 1.3 session tickets,
  // its own close notification) is only read to the peer's end, as raw bytes, before the
  // socket is closed: a close over unread bytes would reset the connection.
  FTLS.reset();
}

void TIdTCPConnection::WaitForTLS(bool forSending) {
  if (forSending)
    WaitForRoom();
  else
    WaitForInput(TimeoutInfinite); // returns only when ready; a limit raises
}

int32_t TIdTCPConnection::ReceiveTLS(char* buffer, int32_t size, int32_t& error) {
  int32_t received = 0;
  switch (DroppedOnTLSError(*this, [&] { return FTLS->Receive(buffer, size, received); })) {
  case TIdTLSResult::Done:
    return received;
  case TIdTLSResult::WantRead:
    return TLSRetry; // a record is still incomplete, or it held no data
  case TIdTLSResult::WantWrite:
    WaitForTLS(true);
    return TLSRetry;
  case TIdTLSResult::Closed:
    return 0;
  case TIdTLSResult::Truncated:
    // A reply is framed by its lines; a data stream only by the close notification.
    if (!FTLSEndRequired) return 0;
    DropClosedByPeer();
    throw EIdTLSTruncated();
  case TIdTLSResult::SocketFailed:
    break;
  }
  error = FTLS->SocketError();
  return Id_SOCKET_ERROR;
}

int32_t TIdTCPConnection::SendTLS(const char* buffer, int32_t size, int32_t& error) {
  int32_t sent = 0;
  const TIdTLSResult result =
      DroppedOnTLSError(*this, [&] { return FTLS->Send(buffer, size, sent); });
  switch (result) {
  case TIdTLSResult::Done:
    return sent;
  case TIdTLSResult::WantRead:
  case TIdTLSResult::WantWrite:
    WaitForTLS(result == TIdTLSResult::WantWrite);
    return TLSRetry;
  case TIdTLSResult::Closed:
  case TIdTLSResult::Truncated:
    return 0;
  case TIdTLSResult::SocketFailed:
    break;
  }
  error = FTLS->SocketError();
  return Id_SOCKET_ERROR;
}
