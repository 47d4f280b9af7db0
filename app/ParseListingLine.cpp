#include "ParseListingLine.h"

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Removes the first field and the blanks after it. A rest without a blank keeps its text:
// that last field is the name.
void SkipField(std::string& rest) {
  const size_t blank = rest.find(' ');
  if (blank != std::string::npos) rest.erase(0, blank + 1);
  const size_t first = rest.find_first_not_of(' ');
  rest.erase(0, first == std::string::npos ? rest.size() : first);
}

} // namespace

void ParseListingLine(const std::string& line, bool& isFolder, std::string& name) {
  bool isLink = false;
  ParseListingLine(line, isFolder, isLink, name);
}

void ParseListingLine(const std::string& line, bool& isFolder, bool& isLink, std::string& name) {
  isFolder = !line.empty() && line[0] == 'd';
  // Unix servers list a link as "name -> target"; only the name is the entry's. DOS
  // listings have no links (their lines begin with a digit).
  isLink = !line.empty() && line[0] == 'l';
  // Only a line that starts with a digit can be a DOS line (its date comes first). Unix
  // servers that list numeric owners ("-rw-r--r-- 1 1001 1001 ...") would otherwise pass
  // the digit test below on the owner field.
  const bool mayBeDos = !line.empty() && IsDigit(line[0]);
  std::string rest = line;
  for (int k = 0; k < 8; ++k) {
    bool dos = false;
    if (k == 2 && !isFolder && mayBeDos) {
      const size_t blank = rest.find(' ');
      isFolder = blank != std::string::npos && rest.compare(0, blank, "<DIR>") == 0;
      dos = isFolder || (!rest.empty() && IsDigit(rest[0]));
    }
    SkipField(rest);
    if (dos) break;
  }
  if (isLink) {
    const size_t arrow = rest.find(" -> ");
    if (arrow != std::string::npos) rest.erase(arrow);
  }
  name = std::move(rest);
}
