#pragma once

#include "IdException.h"
#include "StringList.h"

#include <cstdint>
#include <string>
#include <vector>

// The pure parts of the FTP client: reading replies and building arguments.

// The text between the first double quote and the next one; empty when there are fewer
// than two. No unescaping: a doubled quote ends the path at its first half.
//   257 "/fotos/2024" is current directory  ->  /fotos/2024
std::string ExtractQuotedPath(const std::string& line);

// A PASV reply whose numbers are not each 0-255: an address that would go to name lookup
// or a port that does not exist.
class EIdFTPInvalidPassiveAddress : public EIdException {
 public:
  using EIdException::EIdException;
};

// Address and port of a PASV reply's last line: the six numbers in parentheses, or,
// without parentheses, the last blank-separated word. A port piece that is no integer
// raises EConvertError; any of the six that is not a number 0-255 raises
// EIdFTPInvalidPassiveAddress. The address is used as given, whatever it names.
//   227 Entering Passive Mode (127,0,0,1,4,1).  ->  127.0.0.1, 1025
void ParsePassiveReply(const std::string& line, std::string& ip, int32_t& port);

// The argument of PORT: 10.0.0.5 and 4660 give 10,0,0,5,18,52.
std::string PortArgument(const std::string& ip, int32_t port);

// Lines of a listing: each ends at CR LF, a lone LF or a lone CR; a line end at the very
// end adds no empty line; a zero byte ends the text.
std::vector<std::string> SplitListing(const std::string& text);

// The size in a 213 reply: the lines joined (each with CR LF), trimmed, everything up to
// the first blank removed, the rest read as a signed 32-bit integer; -1 when it is none or
// negative, and for a reply without a blank (a bare "213" holds no size, only its code).
int32_t SizeFromReply(const TStringList& replyLines);

// Whether text would break out of its command line: a CR, an LF or a zero byte.
bool BreaksCommandLine(const std::string& text);
