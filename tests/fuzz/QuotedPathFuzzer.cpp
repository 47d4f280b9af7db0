// ExtractQuotedPath on one reply line.
#include "FuzzCheck.h"
#include "IdFTPParsing.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  const std::string path = ExtractQuotedPath(line);
  FUZZ_CHECK(path.find('"') == std::string::npos);
  const size_t quotes = static_cast<size_t>(std::count(line.begin(), line.end(), '"'));
  if (quotes < 2) {
    FUZZ_CHECK(path.empty());
  } else {
    // Exactly the text between the first two quotes.
    const size_t open = line.find('"');
    FUZZ_CHECK(line.compare(open + 1, path.size(), path) == 0);
    FUZZ_CHECK(line[open + 1 + path.size()] == '"');
  }
  return 0;
}
