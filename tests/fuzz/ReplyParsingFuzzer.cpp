// The pure framing and code reading of replies, line by line: the input is split at LF,
// and every line is taken as it came and as ReadNonBlankLine would trim it.
#include "FuzzCheck.h"
#include "IdReplyParsing.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameTextPrefix(const std::string& text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (Upper(text[i]) != Upper(prefix[i])) return false;
  return true;
}

bool IsControl(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

void CheckTrim(const std::string& line) {
  const std::string trimmed = TrimControls(line);
  FUZZ_CHECK(TrimControls(trimmed) == trimmed);
  if (trimmed.empty()) {
    for (char c : line)
      FUZZ_CHECK(IsControl(c));
    return;
  }
  FUZZ_CHECK(!IsControl(trimmed.front()) && !IsControl(trimmed.back()));
  // Only controls went, from both ends.
  const size_t at = line.find(trimmed);
  FUZZ_CHECK(at != std::string::npos);
  for (size_t i = 0; i < at; ++i)
    FUZZ_CHECK(IsControl(line[i]));
  for (size_t i = at + trimmed.size(); i < line.size(); ++i)
    FUZZ_CHECK(IsControl(line[i]));
}

void CheckCode(const std::string& line) {
  const int16_t code = ReplyCodeOf(line);
  // Three characters hold no more than this, in decimal or hexadecimal.
  FUZZ_CHECK(code >= -99 && code <= 999);
  if (SameTextPrefix(line, "+OK"))
    FUZZ_CHECK(code == 1);
  else if (SameTextPrefix(line, "-ERR"))
    FUZZ_CHECK(code == 0);
  else if (line.size() >= 3 && line[0] >= '0' && line[0] <= '9' && line[1] >= '0' &&
           line[1] <= '9' && line[2] >= '0' && line[2] <= '9')
    FUZZ_CHECK(code == (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0'));
}

// Returns the end prefix when line opens a multi-line reply, else an empty text.
std::string CheckStart(const std::string& line) {
  std::string endPrefix = "unchanged";
  const bool starts = StartsMultiLineReply(line, endPrefix);
  FUZZ_CHECK(starts == (line.size() > 3 && line[3] == '-'));
  if (!starts) {
    FUZZ_CHECK(endPrefix == "unchanged");
    return {};
  }
  FUZZ_CHECK(endPrefix == line.substr(0, 3) + ' ');
  return endPrefix;
}

void CheckEnd(const std::string& line, const std::string& endPrefix) {
  const bool ends = EndsMultiLineReply(line, endPrefix);
  FUZZ_CHECK(ends == (line.size() < 4 || SameTextPrefix(line, endPrefix)));
  if (line.compare(0, endPrefix.size(), endPrefix) == 0) FUZZ_CHECK(ends);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string endPrefix;
  size_t start = 0;
  while (start <= input.size()) {
    size_t end = input.find('\n', start);
    if (end == std::string_view::npos) end = input.size();
    const std::string raw(input.substr(start, end - start));
    start = end + 1;

    CheckTrim(raw);
    const std::string trimmed = TrimControls(raw);
    for (const std::string& line : {raw, trimmed}) {
      CheckCode(line);
      CheckStart(line);
      if (!endPrefix.empty()) CheckEnd(line, endPrefix);
    }
    // Framed as ReadReply frames the lines ReadNonBlankLine gives it.
    if (trimmed.empty()) continue;
    if (endPrefix.empty())
      endPrefix = CheckStart(trimmed);
    else if (EndsMultiLineReply(trimmed, endPrefix))
      endPrefix.clear();
  }
  return 0;
}
