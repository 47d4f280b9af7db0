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
    std::string code;
    for (;;) {
      const std::optional<std::string> received = NextLine("");
      if (!received) return reply;
      std::string trimmed = TrimControls(*received);
      if (trimmed.empty()) continue;
      reply.Lines.push_back(trimmed);
      if (reply.Lines.size() == 1) {
        if (trimmed.size() <= 3 || trimmed[3] != '-') break;
        code = trimmed.substr(0, 3);
        continue;
      }
      // Only the code itself, or the code and a blank, as received, ends it.
      if (received->size() >= 3 && SameText(received->substr(0, 3), code) &&
          (received->size() == 3 || (*received)[3] == ' '))
        break;
    }
    reply.Complete = true;
    return reply;
  }

 private:
  static bool SameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      const auto upper = [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
      };
      if (upper(a[i]) != upper(b[i])) return false;
    }
    return true;
  }
  static std::string SearchFor(const std::string& terminator) {
    return terminator.empty() ? std::string("\n") : terminator;
  }

  std::string FBytes;
  size_t FPosition = 0;
};
