// The command and reply exchange of line-oriented protocols on a TIdTCPConnection.
#include "IdReplyParsing.h"
#include "IdTCPConnection.h"
#include "IdTCPExceptions.h"
#include "ScopeGuard.h"

#include <algorithm>

int16_t TIdTCPConnection::SendCommand(const std::string& command, const TIdReplyCodes& allowed) {
  if (command != IdNoCommand) WriteLine(command);
  return ReadReply(allowed);
}

int16_t TIdTCPConnection::SendCommand(const std::string& command, int16_t expected) {
  return expected == -1 ? SendCommand(command, TIdReplyCodes{})
                        : SendCommand(command, TIdReplyCodes{expected});
}

int16_t TIdTCPConnection::ReadReply(const TIdReplyCodes& allowed,
                                    std::optional<TClock::time_point> deadline) {
  // A reply read by a handler served during this one runs against a limit of its own.
  TScopeGuard restore([this, outer = FReplyDeadline] { FReplyDeadline = outer; });
  FReplyDeadline = deadline;
  if (ReplyTimeOut > 0) {
    const TClock::time_point own = TClock::now() + std::chrono::milliseconds(ReplyTimeOut);
    if (!FReplyDeadline || own < *FReplyDeadline) FReplyDeadline = own;
  }
  ReadReplyLines();
  LastReplyCode = ReplyCodeOf(LastReplyLine());
  return CheckReplyCode(LastReplyCode, allowed);
}

void TIdTCPConnection::ReadReplyLines() {
  ReplyLines.Clear();
  // Counted with the bookkeeping of each line, so that endless short continuation lines
  // are stopped as surely as one huge one.
  size_t held = 0;
  auto keep = [&](std::string line) {
    held += line.size() + sizeof(std::string);
    if (held > static_cast<size_t>(MaxReplyLength)) DropForTooLong("eine Antwort", MaxReplyLength);
    ReplyLines.Add(std::move(line));
  };
  std::string line = ReadNonBlankLine();
  keep(line);
  std::string endPrefix;
  if (StartsMultiLineReply(line, endPrefix)) {
    do {
      line = ReadNonBlankLine();
      keep(line);
    } while (!EndsMultiLineReply(line, endPrefix));
  }
}

int16_t TIdTCPConnection::CheckReplyCode(int16_t code, const TIdReplyCodes& allowed) {
  if (allowed.empty() || std::find(allowed.begin(), allowed.end(), code) != allowed.end())
    return code;
  RaiseReplyError();
}

std::string TIdTCPConnection::LastReplyLine() const {
  return ReplyLines.Count() == 0 ? std::string() : ReplyLines.Strings(ReplyLines.Count() - 1);
}

void TIdTCPConnection::RaiseReplyError() {
  throw EIdProtocolReplyError(LastReplyCode, LastReplyLine());
}
