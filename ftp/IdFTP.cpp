#include "IdFTP.h"

#include "FileStream.h"
#include "IdFTPParsing.h"
#include "IdReplyParsing.h"
#include "IdSimpleServer.h"
#include "IdSocketErrors.h"
#include "IdStack.h"
#include "MemoryStream.h"

#include <sys/stat.h>

namespace {

// The active-mode accept waits in slices of this many ms: a connection or a reply ends a
// slice at once, and between slices the window is served.
constexpr int32_t AcceptSliceTime = 50;

bool FileExists(const std::string& name) {
  struct stat info {};
  return ::stat(name.c_str(), &info) == 0;
}

// Releases the data connection on every way out of a transfer.
class TDataConnectionRelease {
 public:
  explicit TDataConnectionRelease(std::unique_ptr<TIdTCPConnection>& connection)
      : FConnection(connection) {}
  ~TDataConnectionRelease() { FConnection.reset(); }
  TDataConnectionRelease(const TDataConnectionRelease&) = delete;
  TDataConnectionRelease& operator=(const TDataConnectionRelease&) = delete;

 private:
  std::unique_ptr<TIdTCPConnection>& FConnection;
};

} // namespace

TIdFTP::TIdFTP() {
  Port = 21;
}

TIdFTP::~TIdFTP() = default;

int16_t TIdFTP::SendWithArgument(const std::string& command, const std::string& argument,
                                 const TIdReplyCodes& allowed) {
  if (BreaksCommandLine(argument)) throw EIdFTPInvalidArgument();
  return SendCommand(command + argument, allowed);
}

void TIdFTP::Connect(bool login) {
  if (login && (BreaksCommandLine(User) || BreaksCommandLine(Password)))
    throw EIdFTPInvalidArgument();
  try {
    TIdTCPClient::Connect();
    ReadReply({220});
    if (login) {
      if (SendCommand("user " + User, TIdReplyCodes{230, 331}) == 331)
        SendCommand("pass " + Password, TIdReplyCodes{230});
      SendTypeCommand();
      if (SendCommand("syst", TIdReplyCodes{200, 215, 500}) == 500) {
        FSystemDescription = "Unbekannt";
      } else {
        const std::string line = LastReplyLine();
        FSystemDescription = line.size() > 3 ? line.substr(3) : std::string();
      }
    }
  } catch (...) {
    try {
      Disconnect();
    } catch (...) {
    }
    throw;
  }
}

void TIdFTP::Quit() {
  if (!Connected()) return;
  // The session ends whether or not the line could still be written.
  try {
    WriteLine("Quit");
  } catch (...) {
    Disconnect();
    throw;
  }
  Disconnect();
}

void TIdFTP::Abort() {
  if (Connected()) WriteLine("ABOR");
  CloseDataConnection();
}

void TIdFTP::CloseDataConnection() {
  if (FDataConnection) FDataConnection->DropConnection();
}

void TIdFTP::SetTransferType(TIdFTPTransferType type) {
  if (type == FTransferType || FDataConnection) return;
  FTransferType = type;
  if (Connected()) SendTypeCommand();
}

void TIdFTP::SendTypeCommand() {
  SendCommand(FTransferType == ftBinary ? "type I" : "type A", TIdReplyCodes{200});
}

void TIdFTP::ChangeWorkingDir(const std::string& path) {
  SendWithArgument("CWD ", path, {250});
}

std::string TIdFTP::QueryWorkingDir() {
  SendCommand("PWD", TIdReplyCodes{257});
  return ExtractQuotedPath(LastReplyLine());
}

void TIdFTP::MakeRemoteDir(const std::string& name) {
  SendWithArgument("MKD ", name, {257});
}

void TIdFTP::RemoveRemoteDir(const std::string& name) {
  SendWithArgument("RMD ", name, {250});
}

void TIdFTP::DeleteRemoteFile(const std::string& name) {
  SendWithArgument("DELE ", name, {250});
}

int32_t TIdFTP::QueryFileSize(const std::string& name) {
  return SendWithArgument("SIZE ", name, {}) == 213 ? SizeFromReply(ReplyLines) : -1;
}

void TIdFTP::ListDirectory(TStringList& target, const std::string& specifier, bool detailed) {
  if (BreaksCommandLine(specifier)) throw EIdFTPInvalidArgument();
  TMemoryStream text;
  RunIncomingTransfer(TrimControls((detailed ? "list " : "nlst ") + specifier), text);
  target.Clear();
  for (std::string& line : SplitListing(text.Data()))
    target.Add(std::move(line));
}

void TIdFTP::RetrieveFile(const std::string& remoteName, const std::string& localName,
                          bool overwrite) {
  if (BreaksCommandLine(remoteName)) throw EIdFTPInvalidArgument();
  if (!overwrite && FileExists(localName)) throw EIdFTPFileAlreadyExists();
  TFileStream file(localName, TFileMode::Create);
  RetrieveToStream(remoteName, file);
}

void TIdFTP::RetrieveToStream(const std::string& remoteName, TStream& destination) {
  if (BreaksCommandLine(remoteName)) throw EIdFTPInvalidArgument();
  RunIncomingTransfer("retr " + remoteName, destination);
}

void TIdFTP::StoreFile(const std::string& localName, const std::string& remoteName, bool append) {
  if (BreaksCommandLine(remoteName)) throw EIdFTPInvalidArgument();
  TFileStream file(localName, TFileMode::OpenRead);
  StoreFromStream(file, remoteName, append);
}

void TIdFTP::StoreFromStream(TStream& source, const std::string& remoteName, bool append) {
  if (BreaksCommandLine(remoteName)) throw EIdFTPInvalidArgument();
  const std::string command =
      remoteName.empty() ? "STOU " : (append ? "APPE " : "STOR ") + remoteName;
  RunOutgoingTransfer(command, source);
}

void TIdFTP::RunIncomingTransfer(const std::string& command, TStream& destination) {
  RunTransfer(command, {125, 150},
              [&](TIdTCPConnection& data) { data.ReadToStream(destination, -1, true); });
}

void TIdFTP::RunOutgoingTransfer(const std::string& command, TStream& source) {
  RunTransfer(command, {110, 125, 150}, [&](TIdTCPConnection& data) {
    if (!Passive) {
      // Active mode always sends the whole stream.
      data.WriteFromStream(source, true, false);
      return;
    }
    try {
      data.WriteFromStream(source, false, false);
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
  {
    TDataConnectionRelease release(FDataConnection);
    if (Passive) {
      std::string ip;
      int32_t port = 0;
      RequestPassiveAddress(ip, port);
      WriteLine(command);
      auto* client = new TIdTCPClient;
      FDataConnection.reset(client);
      client->SocksInfo = SocksInfo;
      ShareWorkHandlers();
      client->Host = ip;
      client->Port = port;
      client->Connect();
      try {
        ReadReply(preliminary);
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
      listener->BoundIP = SocketHandle.IP;
      listener->PrepareListening();
      AnnounceDataPort(listener->SocketHandle);
      SendCommand(command, TIdReplyCodes{125, 150});
      WaitForDataConnection(*listener);
      move(*listener);
    }
  }
  // Only now, with the data connection closed, does the server finish the transfer.
  if (ReadReply({225, 226, 250, 426}) == 426) ReadReply({226});
}

void TIdFTP::WaitForDataConnection(TIdSimpleServer& listener) {
  listener.AcceptTimeOut = AcceptTimeOut;
  listener.AcceptPollTime = AcceptSliceTime;
  listener.OnAcceptWait = [this, &listener] {
    // A server that cannot connect says so on the control connection (425, 421, ...);
    // that ends the wait at once.
    if (InputSize() == 0) {
      TIdSocketList control{SocketHandle.SocketId};
      if (GlobalStack->SockSelect(&control, nullptr, nullptr, 0) != 1) return;
    }
    // A connection that arrived in the same instant is taken first.
    TIdSocketList pending{listener.SocketHandle.SocketId};
    if (GlobalStack->SockSelect(&pending, nullptr, nullptr, 0) == 1) return;
    ReadReply({});
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
