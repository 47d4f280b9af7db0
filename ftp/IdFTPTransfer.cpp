// The data transfers of TIdFTP: the data connection in either mode around the transfer
// command, the replies that frame it, falling back from active to passive mode, and keeping
// the replies in step when a transfer fails.
#include "Format.h"
#include "IdFTP.h"
#include "IdSimpleServer.h"
#include "IdSocketErrors.h"
#include "IdStack.h"
#include "IdTCPExceptions.h"
#include "ScopeGuard.h"
#include "Stream.h"

#include <chrono>

namespace {

// The active-mode accept waits in slices of this many ms: a connection or a reply ends a
// slice at once, and between slices the window is served.
constexpr int32_t AcceptSliceTime = 50;

constexpr const char* PassiveFallbackText =
    "Der Server kann keine Verbindung zu diesem Computer aufbauen; weiter im passiven Modus.";

bool IsPreliminary(int16_t code) {
  return code >= 100 && code < 200;
}

// A reply code that says the server could not open the data connection.
bool NoDataConnection(int16_t code) {
  return code == 425;
}

// The server broke the data connection off (a close or a reset), as opposed to a local
// file, a refused command, an abort by the user or this side's own limits.
bool BrokeDataConnection(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const EIdConnClosedByPeer&) {
    return true;
  } catch (const EIdFTPUploadIncomplete&) {
    return true;
  } catch (const EIdSocketError&) {
    return true;
  } catch (...) {
    return false;
  }
}

// The reply code of a refusal, 0 for any other failure.
int32_t RefusedCode(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const EIdProtocolReplyError& e) {
    return e.ReplyCode;
  } catch (...) {
    return 0;
  }
}

std::string MessageOf(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return {};
  }
}

template <class E> bool Is(const std::exception_ptr& failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const E&) {
    return true;
  } catch (...) {
    return false;
  }
}

} // namespace

void TIdFTP::RunIncomingTransfer(const std::string& command, TStream& destination) {
  RunTransfer(command, {125, 150},
              [&](TIdTCPConnection& data) { data.ReadToStream(destination, -1, true); });
}

void TIdFTP::RunOutgoingTransfer(const std::string& command, TStream& source) {
  RunTransfer(command, {110, 125, 150}, [&](TIdTCPConnection& data) {
    // Until the server has taken the last byte, every way out resets the connection: a
    // reader failing on a shrunk file, a limit, an abort must not look like the file's end.
    data.ResetOnDrop = true;
    try {
      try {
        // Active mode always sends the whole stream, passive mode the rest from its
        // position; a transfer asked for in active mode stays whole when it falls back.
        data.WriteFromStream(source, !Passive, false);
      } catch (const EIdSocketError& e) {
        // The data socket was closed under the write by an abort: the server's replies
        // tell how the transfer ended.
        if (!UsesPassive() || e.ErrorCode != IdSocketError::NotASocket) throw;
      }
      // Aborted after the last block: the server's replies tell how it ended.
      if (FAbortSent && !data.Connected()) return;
      // Over TLS the end of the file is told first within the session, so that the server
      // can tell it from a cut-off connection.
      data.SendCloseNotify();
      data.ResetOnDrop = false;
      data.FinishSending();
    } catch (const EIdConnClosedByPeer&) {
      throw EIdFTPUploadIncomplete("Der Server hat die Datenverbindung abgebrochen, bevor er die "
                                   "ganze Datei angenommen hatte.");
    } catch (const EIdReadTimeout&) {
      throw EIdFTPUploadIncomplete(
          Format("Der Server hat die Datenverbindung nach dem Ende der Datei nicht innerhalb von "
                 "%d Sekunden geschlossen; ob er die Datei ganz angenommen hat, ist unbekannt.",
                 (DataStallTimeOut + 999) / 1000));
    }
  });
}

template <typename Move>
void TIdFTP::RunTransfer(const std::string& command, const TIdReplyCodes& preliminary, Move move) {
  // A second transfer started from a handler during this one would destroy the data
  // connection still in use further up the stack.
  if (FDataConnection) throw EIdFTPTransferInProgress();
  SettleStrayReplies();
  if (UsesPassive()) return RunPassiveTransfer(command, preliminary, move, false);
  if (RunActiveTransfer(command, move) == TActiveOutcome::Done) return;
  RunPassiveTransfer(command, preliminary, move, true);
}

template <typename Move>
TIdFTP::TActiveOutcome TIdFTP::RunActiveTransfer(const std::string& command, Move move) {
  FAbortSent = false;
  TTransferReplies replies;
  const bool first = !FActiveWorked;
  try {
    {
      TScopeGuard release([this] { ReleaseDataConnection(); });
      auto* listener = new TIdSimpleServer;
      FDataConnection.reset(listener);
      ShareWorkHandlers();
      LimitDataConnection();
      listener->BoundIP = SocketHandle.IP;
      listener->PrepareListening();
      AnnounceDataPort(listener->SocketHandle, replies, first);
      WriteLine(command);
      replies.CommandSent = true;
      ReadTransferReply({125, 150}, replies);
      WaitForDataConnection(*listener, replies, first);
      replies.DataConnected = true;
      FActiveWorked = true;
      SecureDataConnection(*listener);
      move(*listener);
    }
    ReadFinalReply(replies);
    return TActiveOutcome::Done;
  } catch (...) {
    const std::exception_ptr failure = std::current_exception();
    const int32_t refused = RefusedCode(failure);
    // The server refused PORT (it checks the address against ours: a NAT router in
    // between), said it cannot connect, or did not connect in time.
    const bool timedOut = Is<EIdAcceptTimeout>(failure);
    // Servers that connect back while they answer PORT answer only when their attempt gives
    // up (after half a minute, with a 421 that ends the session).
    const bool portUnanswered = first && replies.PortSent && !replies.CommandSent &&
                                (Is<EIdReadTimeout>(failure) || refused == 421);
    // A server with a second address for its data connections: turned away as anyone
    // else would be, and passive mode still works with it.
    const bool impossible =
        !replies.DataConnected &&
        ((!replies.CommandSent && refused != 0 && refused / 100 != 2 && refused != 421) ||
         NoDataConnection(static_cast<int16_t>(refused)) || (first && timedOut) || portUnanswered ||
         replies.ForeignRefused);
    if (timedOut && SocketHandle.IsOpen) {
      // The server may still try; call it off before anything else is said.
      try {
        WriteLine("ABOR");
        FAbortSent = true;
      } catch (...) {
      }
    }
    DrainOwedReplies(replies);
    if (!impossible) RaiseTransferFailure(failure, replies);
    FPassiveFallback = true;
    NotifyStatus(stText, PassiveFallbackText);
    if (SocketHandle.IsOpen) return TActiveOutcome::GoPassive;
    throw EIdFTPNoDataConnection(
        "Der Server kann keine Verbindung zu diesem Computer aufbauen, und die Sitzung ist "
        "beendet. Beim nächsten Verbinden wird der passive Modus verwendet.\n(" +
        MessageOf(failure) + ")");
  }
}

template <typename Move>
void TIdFTP::RunPassiveTransfer(const std::string& command, const TIdReplyCodes& preliminary,
                                Move move, bool afterActive) {
  FAbortSent = false;
  TTransferReplies replies;
  try {
    {
      TScopeGuard release([this] { ReleaseDataConnection(); });
      std::string ip;
      int32_t port = 0;
      RequestPassiveAddress(ip, port);
      WriteLine(command);
      replies.CommandSent = true;
      auto* client = new TIdTCPClient;
      FDataConnection.reset(client);
      client->SocksInfo = SocksInfo;
      ShareWorkHandlers();
      LimitDataConnection();
      client->ConnectTimeOut = ConnectTimeOut;
      // The server's own address, whatever the reply names: a server behind a NAT router
      // names its private address, a hostile one a third host to be attacked through us.
      client->Host = SocketHandle.RemoteIP;
      client->Port = port;
      client->Connect();
      replies.DataConnected = true;
      ReadTransferReply(preliminary, replies);
      SecureDataConnection(*client);
      move(*client);
      client->Disconnect();
    }
    ReadFinalReply(replies);
  } catch (...) {
    const std::exception_ptr failure = std::current_exception();
    DrainOwedReplies(replies);
    const int32_t refused = RefusedCode(failure);
    const bool noConnection =
        !replies.DataConnected && refused != 421 &&
        ((!replies.CommandSent && refused != 0) ||
         NoDataConnection(static_cast<int16_t>(refused)) || Is<EIdSocketError>(failure));
    if (!afterActive || !noConnection) RaiseTransferFailure(failure, replies);
    throw EIdFTPNoDataConnection(
        "Es kommt keine Datenverbindung zum Server zustande, weder im aktiven noch im passiven "
        "Modus. Wahrscheinlich sperrt eine Firewall die Verbindungen; bitte den Administrator "
        "des Netzes fragen.\n(" +
        MessageOf(failure) + ")");
  }
}

void TIdFTP::ReadFinalReply(TTransferReplies& replies) {
  // Only now, with the data connection closed, does the server finish the transfer.
  const int16_t code = ReadTransferReply({225, 226, 250, 426}, replies);
  ExpectLateReplies(replies);
  if (code != 426) return;
  // A 426 belongs to a normal end only after our ABOR, whose own reply follows; otherwise
  // the server broke the transfer off.
  if (!FAbortSent) RaiseReplyError();
  ReadTransferReply({226}, replies);
}

void TIdFTP::ExpectLateReplies(const TTransferReplies& replies) {
  // A server that broke a transfer off with 426 may still add a 226; one that had ended the
  // transfer when our ABOR came answers the ABOR on its own ("226 ... ABOR must've
  // succeeded"). Either reply arrives after the one taken for the end.
  if (replies.FinalRead &&
      ((!FAbortSent && replies.FinalCode == 426) || (FAbortSent && replies.FinalCode != 426)))
    FStrayRepliesUntil = TClock::now() + std::chrono::milliseconds(ReplyDrainTimeOut);
}

void TIdFTP::ReleaseDataConnection() {
  if (FDataConnection) FDataConnection->DropConnection();
  FDataConnection.reset();
}

void TIdFTP::RaiseTransferFailure(std::exception_ptr failure,
                                  const TTransferReplies& replies) const {
  // A broken data connection says only that it broke; the server's reply says why.
  if (replies.DataConnected && replies.FinalRead && replies.FinalCode >= 400 &&
      BrokeDataConnection(failure))
    throw EIdProtocolReplyError(replies.FinalCode, replies.FinalLine);
  std::rethrow_exception(failure);
}

int16_t TIdFTP::ReadTransferReply(const TIdReplyCodes& allowed, TTransferReplies& replies) {
  int16_t code;
  try {
    code = ReadReply(allowed);
  } catch (const EIdProtocolReplyError&) {
    NoteTransferReply(replies, LastReplyCode); // refused, but read
    throw;
  }
  NoteTransferReply(replies, code);
  return code;
}

void TIdFTP::NoteTransferReply(TTransferReplies& replies, int16_t code) const {
  if (replies.FinalRead) {
    replies.AbortAnswered = true;
    return;
  }
  if (IsPreliminary(code)) return;
  replies.FinalRead = true;
  replies.FinalCode = code;
  replies.FinalLine = LastReplyLine();
  // After an ABOR the server answers 426 and then the ABOR, or both with one reply.
  if (FAbortSent && code != 426) replies.AbortAnswered = true;
}

bool TIdFTP::RepliesOwed(const TTransferReplies& replies) const {
  return (replies.CommandSent && !replies.FinalRead) || (FAbortSent && !replies.AbortAnswered);
}

void TIdFTP::DrainOwedReplies(TTransferReplies& replies) {
  // When the control connection itself failed or was closed here, there is no step to keep.
  if (RepliesOwed(replies) && SocketHandle.IsOpen && !PeerClosed) {
    const TClock::time_point deadline =
        TClock::now() + std::chrono::milliseconds(ReplyDrainTimeOut);
    try {
      while (RepliesOwed(replies) && TClock::now() < deadline)
        NoteTransferReply(replies, ReadReply({}, deadline));
    } catch (...) {
      // Closed, timed out, or a handler failed: the failure the caller sees is the first one.
    }
    if (RepliesOwed(replies) && SocketHandle.IsOpen) {
      try {
        Disconnect();
      } catch (...) {
      }
      return;
    }
  }
  ExpectLateReplies(replies);
}

void TIdFTP::WaitForDataConnection(TIdSimpleServer& listener, TTransferReplies& replies,
                                   bool first) {
  // The first data connection of a session tells whether the server can reach us at all.
  listener.AcceptTimeOut =
      first && FirstAcceptTimeOut > 0 && (AcceptTimeOut <= 0 || FirstAcceptTimeOut < AcceptTimeOut)
          ? FirstAcceptTimeOut
          : AcceptTimeOut;
  listener.AcceptPollTime = AcceptSliceTime;
  // Anyone may connect to the port we announced; only the server may deliver the data.
  listener.AcceptFromIP = SocketHandle.RemoteIP;
  listener.OnForeignConnection = [this, &replies](const std::string& ip) {
    replies.ForeignRefused = true;
    NotifyStatus(stText,
                 Format("Eine Datenverbindung von %s wurde abgewiesen: sie kam nicht vom Server.",
                        ip.c_str()));
  };
  listener.OnAcceptWait = [this, &listener, &replies] {
    // Closed by a handler served meanwhile: an aborted listener ends the next wait; with
    // the session gone the server will not connect any more.
    if (!SocketHandle.IsOpen) RaiseClosed();
    if (!listener.SocketHandle.IsOpen) return;
    // A server that cannot connect says so on the control connection (425, 421, ...);
    // that ends the wait at once.
    if (!InputPending()) {
      TIdSocketList control{SocketHandle.SocketId};
      if (GlobalStack->SockSelect(&control, nullptr, nullptr, 0) != 1) return;
    }
    // A connection that arrived in the same instant is taken first.
    TIdSocketList pending{listener.SocketHandle.SocketId};
    if (GlobalStack->SockSelect(&pending, nullptr, nullptr, 0) == 1) return;
    const int16_t code = ReadReply({});
    NoteTransferReply(replies, code);
    // A transfer that ends well without a data connection moved nothing: no success.
    if (code / 100 == 2)
      throw EIdFTPNoDataConnection(Format("Der Server meldet das Ende der Übertragung (\"%s\"), "
                                          "hat aber keine Datenverbindung aufgebaut.",
                                          LastReplyLine().c_str()));
    RaiseReplyError();
  };
  listener.WaitForConnection();
}

void TIdFTP::RequestPassiveAddress(std::string& ip, int32_t& port) {
  Exchange("PASV", {227});
  ParsePassiveReply(LastReplyLine(), ip, port);
}

void TIdFTP::AnnounceDataPort(const TIdSocketHandle& handle, TTransferReplies& replies,
                              bool first) {
  WriteLine("PORT " + PortArgument(handle.IP, handle.Port));
  replies.PortSent = true;
  std::optional<TClock::time_point> deadline;
  if (first && FirstAcceptTimeOut > 0)
    deadline = TClock::now() + std::chrono::milliseconds(FirstAcceptTimeOut);
  ReadReply({200}, deadline);
}

void TIdFTP::ShareWorkHandlers() {
  FDataConnection->OnWork = OnWork;
  FDataConnection->OnWorkBegin = OnWorkBegin;
  FDataConnection->OnWorkEnd = OnWorkEnd;
}

void TIdFTP::LimitDataConnection() {
  FDataConnection->ReadTimeOut = DataStallTimeOut;
  FDataConnection->WriteTimeOut = DataStallTimeOut;
}
