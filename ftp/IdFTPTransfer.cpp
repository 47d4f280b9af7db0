// The data transfers of TIdFTP: the data connection in either mode around the transfer
// command, the replies that frame it, and keeping those replies in step when it fails.
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

bool IsPreliminary(int16_t code) {
  return code >= 100 && code < 200;
}

} // namespace

void TIdFTP::RunIncomingTransfer(const std::string& command, TStream& destination) {
  RunTransfer(command, {125, 150},
              [&](TIdTCPConnection& data) { data.ReadToStream(destination, -1, true); });
}

void TIdFTP::RunOutgoingTransfer(const std::string& command, TStream& source) {
  RunTransfer(command, {110, 125, 150}, [&](TIdTCPConnection& data) {
    if (!Passive) {
      // Active mode always sends the whole stream.
      data.WriteFromStream(source, true, false);
      data.SendCloseNotify();
      return;
    }
    try {
      data.WriteFromStream(source, false, false);
      data.SendCloseNotify();
    } catch (const EIdSocketError& e) {
      // The data socket was closed under the write by an abort: the server's replies
      // tell how the transfer ended.
      if (e.ErrorCode != IdSocketError::NotASocket) throw;
    }
  });
}

template <typename Move>
void TIdFTP::RunTransfer(const std::string& command, const TIdReplyCodes& preliminary, Move move) {
  // A second transfer started from a handler during this one would destroy the data
  // connection still in use further up the stack.
  if (FDataConnection) throw EIdFTPTransferInProgress();
  FAbortSent = false;
  TTransferReplies replies;
  try {
    {
      TScopeGuard release([this] { FDataConnection.reset(); });
      if (Passive) {
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
        client->Host = ip;
        client->Port = port;
        client->Connect();
        try {
          ReadTransferReply(preliminary, replies);
          SecureDataConnection(*client);
          move(*client);
        } catch (...) {
          client->Disconnect();
          throw;
        }
        client->Disconnect();
      } else {
        auto* listener = new TIdSimpleServer;
        FDataConnection.reset(listener);
        ShareWorkHandlers();
        LimitDataConnection();
        listener->BoundIP = SocketHandle.IP;
        listener->PrepareListening();
        AnnounceDataPort(listener->SocketHandle);
        WriteLine(command);
        replies.CommandSent = true;
        ReadTransferReply({125, 150}, replies);
        WaitForDataConnection(*listener, replies);
        SecureDataConnection(*listener);
        move(*listener);
      }
    }
    // Only now, with the data connection closed, does the server finish the transfer.
    if (ReadTransferReply({225, 226, 250, 426}, replies) == 426) {
      // A 426 belongs to a normal end only after our ABOR, whose own reply follows;
      // otherwise the server broke the transfer off, and nothing else is owed.
      if (!FAbortSent) RaiseReplyError();
      ReadTransferReply({226}, replies);
    }
  } catch (...) {
    DrainOwedReplies(replies);
    throw;
  }
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
  // After an ABOR the server answers 426 and then the ABOR, or both with one reply.
  if (FAbortSent && code != 426) replies.AbortAnswered = true;
}

bool TIdFTP::RepliesOwed(const TTransferReplies& replies) const {
  return (replies.CommandSent && !replies.FinalRead) || (FAbortSent && !replies.AbortAnswered);
}

void TIdFTP::DrainOwedReplies(TTransferReplies& replies) {
  // When the control connection itself failed or was closed here, there is no step to keep.
  if (!RepliesOwed(replies) || !SocketHandle.IsOpen || PeerClosed) return;
  const TClock::time_point deadline = TClock::now() + std::chrono::milliseconds(ReplyDrainTimeOut);
  try {
    while (RepliesOwed(replies) && TClock::now() < deadline)
      NoteTransferReply(replies, ReadReply({}, deadline));
  } catch (...) {
    // Closed, timed out, or a handler failed: the failure the caller sees is the first one.
  }
  if (!RepliesOwed(replies) || !SocketHandle.IsOpen) return;
  try {
    Disconnect();
  } catch (...) {
  }
}

void TIdFTP::WaitForDataConnection(TIdSimpleServer& listener, TTransferReplies& replies) {
  listener.AcceptTimeOut = AcceptTimeOut;
  listener.AcceptPollTime = AcceptSliceTime;
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
    NoteTransferReply(replies, ReadReply({}));
    RaiseReplyError();
  };
  listener.WaitForConnection();
}

void TIdFTP::RequestPassiveAddress(std::string& ip, int32_t& port) {
  SendCommand("PASV", TIdReplyCodes{227});
  ParsePassiveReply(LastReplyLine(), ip, port);
}

void TIdFTP::AnnounceDataPort(const TIdSocketHandle& handle) {
  SendCommand("PORT " + PortArgument(handle.IP, handle.Port), TIdReplyCodes{200});
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
