// ParsePassiveReply on one reply line, and the address it gives as the stack reads it.
#include "FuzzCheck.h"
#include "IdException.h"
#include "IdFTPParsing.h"
#include "IdReplyParsing.h"
#include "IdStack.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace {

// The six numbers of a well-formed "(h1,h2,h3,h4,p1,p2)", each 0-255 in one to three
// digits, as written; none for anything else.
std::optional<std::vector<std::string>> WellFormedNumbers(const std::string& line) {
  const std::string s = TrimControls(line);
  const size_t left = s.find('('), right = s.find(')');
  if (left == std::string::npos || right == std::string::npos || right < left) return {};
  std::vector<std::string> numbers;
  std::string digits;
  for (size_t i = left + 1; i <= right; ++i) {
    const char c = s[i];
    if (c >= '0' && c <= '9' && digits.size() < 3) {
      digits += c;
    } else if ((c == ',' || c == ')') && !digits.empty() && std::stoi(digits) <= 255) {
      numbers.push_back(digits);
      digits.clear();
    } else {
      return {};
    }
  }
  if (numbers.size() != 6) return {};
  return numbers;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  std::string ip = "unset";
  int32_t port = -1;
  try {
    ParsePassiveReply(line, ip, port);
  } catch (const EConvertError&) {
    return 0;
  } catch (const EIdException&) {
    return 0;
  }
  // Four pieces joined by dots, each cut at a comma.
  FUZZ_CHECK(std::count(ip.begin(), ip.end(), '.') >= 3);
  FUZZ_CHECK(ip.find(',') == std::string::npos);
  FUZZ_CHECK(ip.size() <= line.size() + 3);

  if (const std::optional<std::vector<std::string>> n = WellFormedNumbers(line)) {
    const std::vector<std::string>& v = *n;
    FUZZ_CHECK(ip == v[0] + '.' + v[1] + '.' + v[2] + '.' + v[3]);
    FUZZ_CHECK(port == std::stoi(v[4]) * 256 + std::stoi(v[5]));
  }

  // The data connection goes to the address as given: a dotted quad is used without a
  // lookup, and reading it must keep its numbers.
  if (TIdStack::IsDottedQuad(ip)) {
    const std::string text = TIdStack::IPBytesToText(TIdStack::TextToIPBytes(ip));
    FUZZ_CHECK(TIdStack::IsDottedQuad(text));
    FUZZ_CHECK(TIdStack::TextToIPBytes(text) == TIdStack::TextToIPBytes(ip));
  }
  return 0;
}
