#pragma once

#include "IdReplyParsing.h"

#include <optional>
#include <string>
#include <vector>

// What a reader of the peer's bytes must see, computed the slow and obvious way on the
// whole byte string at once: the line buffer under test gets the same bytes in pieces and
// has to agree with this at every step.
class TReferenceReader {
 public:
  explicit TReferenceReader(std::string bytes) : FBytes(std::move(bytes)) {}

  size_t Position() const { return FPosition; }
  size_t Left() const { return FBytes.size() - FPosition; }
  // Whether a terminator follows.
  bool HasLine(const std::string& terminator) const {
    return FBytes.find(SearchFor(terminator), FPosition) != std::string::npos;
  }

  // The next line as ReadLine gives it; none when no terminator follows.
  std::optional<std::string> NextLine(const std::string& terminator) {
    const std::string search = SearchFor(terminator);
    const size_t at = FBytes.find(search, FPosition);
    if (at == std::string::npos) return std::nullopt;
    std::string line = FBytes.substr(FPosition, at - FPosition);
    FPosition = at + search.size();
    if (terminator.empty() && !line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }

  std::optional<std::string> NextBytes(size_t count) {
    if (Left() < count) return std::nullopt;
    std::string bytes = FBytes.substr(FPosition, count);
    FPosition += count;
    return bytes;
  }

  // One reply as ReadReply frames it, from here on.
  struct TReply {
    bool Complete = false; // false: the bytes ran out first
    std::vector<std::string> Lines;
  };
  TReply NextReply() {
    TReply reply;
    auto nonBlank = [&]() -> std::optional<std::string> {
      for (;;) {
        const std::optional<std::string> line = NextLine("");
        if (!line) return std::nullopt;
        std::string trimmed = TrimControls(*line);
        if (!trimmed.empty()) return trimmed;
      }
    };
    std::optional<std::string> line = nonBlank();
    if (!line) return reply;
    reply.Lines.push_back(*line);
    std::string endPrefix;
    if (StartsMultiLineReply(*line, endPrefix)) {
      do {
        line = nonBlank();
        if (!line) return reply;
        reply.Lines.push_back(*line);
      } while (!EndsMultiLineReply(*line, endPrefix));
    }
    reply.Complete = true;
    return reply;
  }

 private:
  static std::string SearchFor(const std::string& terminator) {
    return terminator.empty() ? std::string("\n") : terminator;
  }

  std::string FBytes;
  size_t FPosition = 0;
};
