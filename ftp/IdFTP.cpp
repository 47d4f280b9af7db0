#include "IdFTP.h"

#include "FileStream.h"
#include "Format.h"
#include "IdFTPParsing.h"
#include "IdReplyParsing.h"
#include "IdTCPExceptions.h"
#include "MemoryStream.h"

#include <algorithm>
#include <climits>
#include <sys/stat.h>

namespace {

bool FileExists(const std::string& name) {
  struct stat info {};
  return ::stat(name.c_str(), &info) == 0;
}

// A listing in memory that refuses to grow beyond its limit.
class TListingStream : public TMemoryStream {
 public:
  explicit TListingStream(int64_t limit) : FLimit(limit) {}
  void Write(const void* buffer, int64_t count) override {
    if (Position() + count > FLimit) {
      const std::string limit = FLimit % (1 << 20) == 0 ? std::to_string(FLimit >> 20) + " MiB"
                                                        : std::to_string(FLimit) + " Bytes";
      throw EIdFTPListingTooLarge("Das Verzeichnis ist zu groß: der Server hat mehr als " + limit +
                                  " an Einträgen gesendet. Es wird nicht angezeigt.");
    }
    TMemoryStream::Write(buffer, count);
  }

 private:
  int64_t FLimit;
};

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
  return Exchange(command + argument, allowed);
}

int16_t TIdFTP::Exchange(const std::string& line, const TIdReplyCodes& allowed) {
  SettleStrayReplies();
  return SendCommand(line, allowed);
}

int16_t TIdFTP::CheckReplyCode(int16_t code, const TIdReplyCodes& allowed) {
  if (code == 421) {
    Disconnect();
    RaiseReplyError();
  }
  return TIdTCPClient::CheckReplyCode(code, allowed);
}

void TIdFTP::SettleStrayReplies() {
  if (!FStrayRepliesUntil) return;
  const TClock::time_point until = *FStrayRepliesUntil;
  FStrayRepliesUntil.reset();
  if (!Connected()) return;
  // What arrives until then is the one reply still owed for the last transfer, not an
  // answer to what comes next; once begun it must be whole soon, or the session is out of
  // step and closed.
  const int64_t left = std::chrono::ceil<std::chrono::milliseconds>(until - TClock::now()).count();
  if (InputSize() == 0 &&
      (left <= 0 || ReceiveChunk(true, static_cast<int32_t>(left), nullptr, true) == 0))
    return;
  ReadReply({}, std::max(until, TClock::now() + std::chrono::milliseconds(ReplyDrainTimeOut)));
}

void TIdFTP::Connect(bool login) {
  if (login && (BreaksCommandLine(User) || BreaksCommandLine(Password)))
    throw EIdFTPInvalidArgument();
  FStrayRepliesUntil.reset();
  FActiveWorked = false;
  try {
    TIdTCPClient::Connect();
    // The whole of greeting and login has one limit: a server that trickles its lines
    // slowly enough never runs into the limits of a single wait.
    const TClock::time_point deadline =
        TClock::now() + std::chrono::milliseconds(LoginTimeOut > 0 ? LoginTimeOut : INT32_MAX);
    const auto exchange = [&](const std::string& line, const TIdReplyCodes& allowed) {
      if (line != IdNoCommand) WriteLine(line);
      try {
        return ReadReply(allowed, deadline);
      } catch (const EIdReadTimeout&) {
        if (TClock::now() < deadline) throw;
        throw EIdFTPLoginTimeout(Format("Der Server hat die Anmeldung nicht innerhalb von %d "
                                        "Sekunden abgeschlossen; die Verbindung wurde getrennt.",
                                        (LoginTimeOut + 999) / 1000));
      }
    };
    exchange(IdNoCommand, {220});
    if (TLSRequired) NegotiateTLS(exchange);
    if (login) {
      if (exchange("user " + User, {230, 331}) == 331) exchange("pass " + Password, {230});
      if (TLSRequired) ProtectDataConnections(exchange);
      exchange(FTransferType == ftBinary ? "type I" : "type A", {200});
      if (exchange("syst", {200, 215, 500}) == 500) {
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
  Exchange(FTransferType == ftBinary ? "type I" : "type A", {200});
}

void TIdFTP::Noop() {
  Exchange("NOOP", {200});
}

void TIdFTP::ChangeWorkingDir(const std::string& path) {
  SendWithArgument("CWD ", path, {250});
}

std::string TIdFTP::QueryWorkingDir() {
  Exchange("PWD", {257});
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
  TListingStream text(MaxListingSize);
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
