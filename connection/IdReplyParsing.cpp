#include "IdReplyParsing.h"

#include "IntConv.h"

namespace {

bool SameTextPrefix(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char a = text[i], b = prefix[i];
    if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
    if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 'a' + 'A');
    if (a != b) return false;
  }
  return true;
}

} // namespace

TIdReplyFraming::TIdReplyFraming(TStringList& lines) : FLines(lines) {
  FLines.Clear();
}

bool TIdReplyFraming::Feed(const std::string& received) {
  if (FComplete) return true;
  std::string line = TrimControls(received);
  if (line.empty()) return false;
  if (FLines.Count() == 0) {
    FLines.Add(line);
    if (line.size() > 3 && line[3] == '-')
      FCode = line.substr(0, 3);
    else
      FComplete = true;
    return FComplete;
  }
  FLines.Add(std::move(line));
  FComplete = SameTextPrefix(received, FCode) &&
              (received.size() == FCode.size() || received[FCode.size()] == ' ');
  return FComplete;
}

int16_t ReplyCodeOf(const std::string& lastLine) {
  if (SameTextPrefix(lastLine, "+OK")) return 1;
  if (SameTextPrefix(lastLine, "-ERR")) return 0;
  int32_t code = 0;
  if (!TryStrToInt(lastLine.substr(0, 3), code)) return 0;
  return static_cast<int16_t>(code);
}

std::string TrimControls(const std::string& line) {
  size_t first = 0, last = line.size();
  while (first < last && static_cast<unsigned char>(line[first]) <= 32)
    ++first;
  while (last > first && static_cast<unsigned char>(line[last - 1]) <= 32)
    --last;
  return line.substr(first, last - first);
}
