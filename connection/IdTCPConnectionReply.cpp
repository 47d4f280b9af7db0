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
  TIdReplyFraming framing(ReplyLines);
  // Counted with the bookkeeping of each line, blank ones too, so that endless short lines
  // are stopped as surely as one huge one.
  size_t held = 0;
  for (;;) {
    const std::string line = ReadLine("", TimeoutInfinite);
    held += line.size() + sizeof(std::string);
    if (held > static_cast<size_t>(MaxReplyLength)) DropForTooLong("eine Antwort", MaxReplyLength);
    if (framing.Feed(line)) return;
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
