// The pure framing and code reading of replies, line by line: the input is split at LF,
// every line is taken as it came and trimmed, and the framing is checked against a plain
// restatement of its rule.
#include "FuzzCheck.h"
#include "IdReplyParsing.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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

// Whether received ends the multi-line reply of code: it begins with the code and then
// ends or goes on with a blank.
bool EndsReply(const std::string& received, const std::string& code) {
  return SameTextPrefix(received, code) &&
         (received.size() == code.size() || received[code.size()] == ' ');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  TStringList lines;
  auto framing = std::make_unique<TIdReplyFraming>(lines);
  // The reference: the lines of the reply so far and the code that ends it.
  std::vector<std::string> expected;
  std::string code;
  size_t start = 0;
  while (start <= input.size()) {
    size_t end = input.find('\n', start);
    if (end == std::string_view::npos) end = input.size();
    const std::string raw(input.substr(start, end - start));
    start = end + 1;

    CheckTrim(raw);
    const std::string trimmed = TrimControls(raw);
    CheckCode(raw);
    CheckCode(trimmed);

    bool whole = false;
    if (!trimmed.empty()) {
      expected.push_back(trimmed);
      if (expected.size() == 1)
        whole = !(trimmed.size() > 3 && trimmed[3] == '-');
      else
        whole = EndsReply(raw, code);
      if (expected.size() == 1 && !whole) code = trimmed.substr(0, 3);
    }
    FUZZ_CHECK(framing->Feed(raw) == whole);
    FUZZ_CHECK(framing->Complete() == whole);
    FUZZ_CHECK(static_cast<size_t>(lines.Count()) == expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
      FUZZ_CHECK(lines.Strings(static_cast<int>(i)) == expected[i]);
    if (whole) {
      FUZZ_CHECK(framing->Feed("999 more") && lines.Count() == static_cast<int>(expected.size()));
      framing = std::make_unique<TIdReplyFraming>(lines);
      FUZZ_CHECK(lines.Count() == 0);
      expected.clear();
    }
  }
  return 0;
}
