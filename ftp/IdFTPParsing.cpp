#include "IdFTPParsing.h"

#include "IdGlobal.h"
#include "IdReplyParsing.h"
#include "IntConv.h"

std::string ExtractQuotedPath(const std::string& line) {
  const size_t open = line.find('"');
  const std::string rest = open == std::string::npos ? line : line.substr(open + 1);
  const size_t close = rest.find('"');
  return close == std::string::npos ? std::string() : rest.substr(0, close);
}

void ParsePassiveReply(const std::string& line, std::string& ip, int32_t& port) {
  std::string s = TrimControls(line);
  const size_t left = s.find('(');
  const size_t right = s.find(')');
  if (left != std::string::npos && right != std::string::npos) {
    s = right > left ? s.substr(left + 1, right - left - 1) : std::string();
  } else {
    s = s.substr(static_cast<size_t>(LastPos(" ", s, -1)));
  }
  std::string pieces[6];
  for (std::string& piece : pieces)
    piece = FetchToken(s, ",");
  const int32_t high = StrToInt(pieces[4]);
  const int32_t low = StrToInt(pieces[5]);
  std::string numbers;
  bool valid = true;
  for (const std::string& piece : pieces) {
    int32_t value = 0;
    valid = valid && TryStrToInt(piece, value) && value >= 0 && value <= 255;
    numbers += (numbers.empty() ? "" : ",") + piece;
  }
  if (!valid)
    throw EIdFTPInvalidPassiveAddress(
        "Der Server hat für die Datenverbindung eine ungültige Adresse genannt (" + numbers + ").");
  ip = pieces[0] + "." + pieces[1] + "." + pieces[2] + "." + pieces[3];
  port = high * 256 + low;
}

std::string PortArgument(const std::string& ip, int32_t port) {
  std::string argument = ip;
  for (char& c : argument)
    if (c == '.') c = ',';
  return argument + ',' + std::to_string(port / 256) + ',' + std::to_string(port % 256);
}

std::vector<std::string> SplitListing(const std::string& text) {
  const size_t end = text.find('\0');
  const std::string_view content(text.data(), end == std::string::npos ? text.size() : end);
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < content.size(); ++i) {
    if (content[i] != '\r' && content[i] != '\n') continue;
    lines.emplace_back(content.substr(start, i - start));
    if (content[i] == '\r' && i + 1 < content.size() && content[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < content.size()) lines.emplace_back(content.substr(start));
  return lines;
}

int32_t SizeFromReply(const TStringList& replyLines) {
  std::string text = TrimControls(replyLines.Text());
  const size_t blank = text.find(' ');
  if (blank == std::string::npos) return -1;
  text.erase(0, blank + 1);
  // A file has no negative size: "-5" is no more a size than "abc".
  int32_t size = -1;
  return TryStrToInt(text, size) && size >= 0 ? size : -1;
}

bool BreaksCommandLine(const std::string& text) {
  return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}
