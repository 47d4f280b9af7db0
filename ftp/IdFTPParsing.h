#pragma once

#include "StringList.h"

#include <cstdint>
#include <string>
#include <vector>

// The pure parts of the FTP client: reading replies and building arguments.

// The text between the first double quote and the next one; empty when there are fewer
// than two. No unescaping: a doubled quote ends the path at its first half.
//   257 "/fotos/2024" is current directory  ->  /fotos/2024
std::string ExtractQuotedPath(const std::string& line);

// Address and port of a PASV reply's last line: the six numbers in parentheses, or,
// without parentheses, the last blank-separated word. The address pieces are not checked;
// a port piece that is no integer raises EConvertError.
//   227 Entering Passive Mode (127,0,0,1,4,1).  ->  127.0.0.1, 1025
void ParsePassiveReply(const std::string& line, std::string& ip, int32_t& port);

// The argument of PORT: 10.0.0.5 and 4660 give 10,0,0,5,18,52.
std::string PortArgument(const std::string& ip, int32_t port);

// Lines of a listing: each ends at CR LF, a lone LF or a lone CR; a line end at the very
// end adds no empty line; a zero byte ends the text.
std::vector<std::string> SplitListing(const std::string& text);

// The size in a 213 reply: the lines joined (each with CR LF), trimmed, everything up to
// the first blank removed, the rest read as a signed 32-bit integer; -1 when it is none.
int32_t SizeFromReply(const TStringList& replyLines);

// Whether text would break out of its command line: a CR, an LF or a zero byte.
bool BreaksCommandLine(const std::string& text);
