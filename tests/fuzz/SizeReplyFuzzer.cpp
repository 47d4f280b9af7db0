// SizeFromReply on the lines of a reply (the input split at LF).
#include "FuzzCheck.h"
#include "IdFTPParsing.h"
#include "StringList.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  TStringList lines;
  size_t start = 0;
  while (start <= input.size()) {
    size_t end = input.find('\n', start);
    if (end == std::string_view::npos) end = input.size();
    lines.Add(std::string(input.substr(start, end - start)));
    start = end + 1;
  }
  const int32_t result = SizeFromReply(lines);

  // The plain case: one line "213 " and one to nine decimal digits.
  if (lines.Count() == 1) {
    const std::string& line = lines.Strings(0);
    if (line.size() > 4 && line.size() <= 13 && line.compare(0, 4, "213 ") == 0 &&
        line.find_first_not_of("0123456789", 4) == std::string::npos)
      FUZZ_CHECK(result == std::stoi(line.substr(4)));
  }
  return 0;
}
