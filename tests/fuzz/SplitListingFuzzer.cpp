// SplitListing on the text of a listing.
#include "FuzzCheck.h"
#include "IdFTPParsing.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> lines = SplitListing(text);
  const std::string content = text.substr(0, text.find('\0'));

  size_t characters = 0;
  for (const std::string& line : lines) {
    // Every entry can be shown and sent back as a name.
    FUZZ_CHECK(!BreaksCommandLine(line));
    characters += line.size();
  }
  // Each entry but a last unterminated one used up at least one line end.
  FUZZ_CHECK(characters + lines.size() <= content.size() + 1);
  if (content.empty()) FUZZ_CHECK(lines.empty());

  // Without CR the split is undone by joining with LF.
  if (content.find('\r') == std::string::npos) {
    std::string joined;
    for (const std::string& line : lines)
      joined += line + '\n';
    if (!content.empty() && content.back() != '\n') joined.pop_back();
    FUZZ_CHECK(joined == content);
  }
  return 0;
}
