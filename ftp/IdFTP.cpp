#include "IdFTP.h"

#include "FileStream.h"
#include "IdFTPParsing.h"
#include "IdReplyParsing.h"
#include "MemoryStream.h"

#include <sys/stat.h>

namespace {

bool FileExists(const std::string& name) {
  struct stat info {};
  return ::stat(name.c_str(), &info) == 0;
}

} // namespace

TIdFTP::TIdFTP() {
  Port = 21;
  ReadTimeOut = DefaultReadTimeOut;
  WriteTimeOut = DefaultReadTimeOut;
  ReplyTimeOut = DefaultReplyTimeOut;
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
    if (TLSRequired) NegotiateTLS();
    if (login) {
      if (SendCommand("user " + User, TIdReplyCodes{230, 331}) == 331)
        SendCommand("pass " + Password, TIdReplyCodes{230});
      if (TLSRequired) ProtectDataConnections();
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
  // Still waiting for the server to answer the connect: there is no one to say it to.
  if (Connecting()) {
    Disconnect();
    return;
  }
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
  if (Connected() && !Connecting()) {
    WriteLine("ABOR");
    if (FDataConnection) FAbortSent = true;
  }
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
