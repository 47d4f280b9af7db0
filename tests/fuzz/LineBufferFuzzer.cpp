// The line buffer and the reply framing of TIdTCPConnection over an in-memory peer that
// hands out its bytes in pieces of fuzzed sizes.
//
// Input: a flags byte, a piece byte, up to seven piece sizes, then the peer's bytes.
//   flags bits 0-1  terminator of ReadLine: LF (empty), CR LF, CR LF "." CR LF, LF given
//         bits 2-3  operations: lines; replies; lines, replies and byte reads in turn;
//                   replies each after a command
//         bit  4    ASCIIFilter
//         bits 5-6  after the last byte: close; error "shut down"; connection reset; close
//   piece byte      low three bits: number of piece sizes (none: as much as asked)
// Every result is compared with TReferenceReader, and so is the number of bytes consumed;
// the first failure (always an EIdException) must be one the bytes explain, and ends the run.
// Lines over the length limit are left to the unit tests: a megabyte per run would slow the
// fuzzer down a hundredfold.
#include "FuzzCheck.h"
#include "FuzzStack.h"
#include "IdException.h"
#include "IdSocketErrors.h"
#include "IdStack.h"
#include "IdTCPConnection.h"
#include "ReferenceReader.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

const std::string NoopCommand = "NOOP";

const std::string& TerminatorOf(uint8_t flags) {
  static const std::string terminators[] = {"", "\r\n", "\r\n.\r\n", "\n"};
  return terminators[flags & 3];
}

int32_t EndErrorOf(uint8_t flags) {
  switch ((flags >> 5) & 3) {
  case 1:
    return IdSocketError::Shutdown;
  case 2:
    return IdSocketError::ConnectionReset;
  default:
    return 0;
  }
}

enum class TStep { Line, Reply, Bytes, CommandAndReply };

TStep StepOf(uint8_t flags, size_t turn) {
  switch ((flags >> 2) & 3) {
  case 0:
    return TStep::Line;
  case 1:
    return TStep::Reply;
  case 2:
    return static_cast<TStep>(turn % 3);
  default:
    return TStep::CommandAndReply;
  }
}

class TRun {
 public:
  TRun(TIdTCPConnection& connection, TFuzzStack& stack, std::string bytes)
      : FConnection(connection), FStack(stack), FReference(std::move(bytes)) {}

  // One step; false once the connection failed.
  bool Step(TStep step, const std::string& terminator, size_t turn) {
    bool going = false;
    switch (step) {
    case TStep::Line:
      going = Line(terminator);
      break;
    case TStep::Bytes:
      going = Bytes(1 + turn % 5);
      break;
    case TStep::CommandAndReply:
      going = Reply(true);
      break;
    case TStep::Reply:
      going = Reply(false);
      break;
    }
    if (going) CheckConsumed();
    return going;
  }

  void CheckCommandsSent() const {
    const std::string& sent = FStack.Sent();
    std::string expected;
    for (size_t i = 0; i < FCommands; ++i)
      expected += NoopCommand + "\r\n";
    // The last command may have failed before it was written.
    FUZZ_CHECK(sent == expected ||
               (FCommands > 0 && sent == expected.substr(0, expected.size() - 6)));
  }

 private:
  bool Line(const std::string& terminator) {
    std::string line;
    try {
      line = FConnection.ReadLine(terminator, TimeoutInfinite);
    } catch (const EIdException&) {
      FUZZ_CHECK(!FReference.NextLine(terminator));
      return false;
    }
    if (FConnection.LineTimedOut) {
      // No time limit was given: only a close with an incomplete line buffered ends the
      // wait without a line, and the connection is then closed.
      FUZZ_CHECK(line.empty());
      FUZZ_CHECK(!FConnection.Connected());
      FUZZ_CHECK(!FReference.HasLine(terminator));
      return true;
    }
    const std::optional<std::string> expected = FReference.NextLine(terminator);
    FUZZ_CHECK(expected && *expected == line);
    return true;
  }

  bool Bytes(size_t count) {
    std::string bytes(count, '\0');
    try {
      FConnection.ReadExact(bytes.data(), static_cast<int32_t>(count));
    } catch (const EIdException&) {
      FUZZ_CHECK(FReference.Left() < count);
      return false;
    }
    const std::optional<std::string> expected = FReference.NextBytes(count);
    FUZZ_CHECK(expected && *expected == bytes);
    return true;
  }

  bool Reply(bool withCommand) {
    const TReferenceReader::TReply expected = FReference.NextReply();
    try {
      if (withCommand) {
        ++FCommands;
        FConnection.SendCommand(NoopCommand, TIdReplyCodes{});
      } else {
        FConnection.ReadReply(TIdReplyCodes{});
      }
    } catch (const EIdException&) {
      FUZZ_CHECK(!expected.Complete);
      return false;
    }
    FUZZ_CHECK(expected.Complete);
    const TStringList& lines = FConnection.ReplyLines;
    FUZZ_CHECK(static_cast<size_t>(lines.Count()) == expected.Lines.size());
    for (size_t i = 0; i < expected.Lines.size(); ++i)
      FUZZ_CHECK(lines.Strings(static_cast<int>(i)) == expected.Lines[i]);
    FUZZ_CHECK(FConnection.LastReplyCode == ReplyCodeOf(expected.Lines.back()));
    return true;
  }

  // What the peer handed out and is no longer buffered is exactly what was read.
  void CheckConsumed() const {
    FUZZ_CHECK(FStack.Delivered() - static_cast<size_t>(FConnection.InputSize()) ==
               FReference.Position());
  }

  TIdTCPConnection& FConnection;
  TFuzzStack& FStack;
  TReferenceReader FReference;
  size_t FCommands = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t flags = data[0];
  const size_t pieceCount = data[1] & 7;
  if (size < 2 + pieceCount) return 0;
  const std::vector<uint32_t> pieces(data + 2, data + 2 + pieceCount);
  std::string bytes(reinterpret_cast<const char*>(data) + 2 + pieceCount, size - 2 - pieceCount);

  // The stack is freed with the last component, here the connection.
  FUZZ_CHECK(GlobalStack == nullptr);
  auto* stack = new TFuzzStack(bytes, pieces, EndErrorOf(flags));
  GlobalStack = stack;
  {
    TIdTCPConnection connection;
    connection.SocketHandle.OpenSocket();
    connection.ASCIIFilter = (flags & 0x10) != 0;
    std::string seen = bytes;
    if (connection.ASCIIFilter)
      for (char& c : seen)
        c = static_cast<char>(c & 0x7F);

    TRun run(connection, *stack, std::move(seen));
    const size_t steps = 2 * size + 8;
    for (size_t turn = 0; turn < steps; ++turn)
      if (!run.Step(StepOf(flags, turn), TerminatorOf(flags), turn)) break;
    run.CheckCommandsSent();
  }
  FUZZ_CHECK(GlobalStack == nullptr);
  return 0;
}
