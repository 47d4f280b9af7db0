// ParseListingLine on one raw listing line.
#include "FuzzCheck.h"
#include "ParseListingLine.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  bool isFolder = true;
  bool isLink = true;
  std::string name = "unset";
  ParseListingLine(line, isFolder, isLink, name);

  // The name is the end of the line, without the blanks that separated it; a link's ends
  // before its " -> target".
  FUZZ_CHECK(isLink == (!line.empty() && line[0] == 'l'));
  FUZZ_CHECK(name.size() <= line.size());
  FUZZ_CHECK(name.empty() || name.front() != ' ');
  if (line.find(' ') == std::string::npos) FUZZ_CHECK(name == line);
  if (!isLink) {
    FUZZ_CHECK(line.compare(line.size() - name.size(), name.size(), name) == 0);
  } else {
    // Somewhere the name stands either at the end or before the first " -> ".
    FUZZ_CHECK(name.find(" -> ") == std::string::npos);
    bool found = false;
    for (size_t at = 0; !found && at + name.size() <= line.size(); ++at)
      found = line.compare(at, name.size(), name) == 0 &&
              (at + name.size() == line.size() || line.compare(at + name.size(), 4, " -> ") == 0);
    FUZZ_CHECK(found);
  }
  // A folder says so in its first character or with the DOS marker.
  if (isFolder)
    FUZZ_CHECK((!line.empty() && line[0] == 'd') || line.find("<DIR>") != std::string::npos);
  return 0;
}
