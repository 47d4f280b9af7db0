// ParseListingLine on one raw listing line.
#include "FuzzCheck.h"
#include "ParseListingLine.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  bool isFolder = true;
  std::string name = "unset";
  ParseListingLine(line, isFolder, name);

  // The name is the end of the line, without the blanks that separated it.
  FUZZ_CHECK(name.size() <= line.size());
  FUZZ_CHECK(line.compare(line.size() - name.size(), name.size(), name) == 0);
  FUZZ_CHECK(name.empty() || name.front() != ' ');
  if (line.find(' ') == std::string::npos) FUZZ_CHECK(name == line);
  // A folder says so in its first character or with the DOS marker.
  if (isFolder)
    FUZZ_CHECK((!line.empty() && line[0] == 'd') || line.find("<DIR>") != std::string::npos);
  return 0;
}
