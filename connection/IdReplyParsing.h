#pragma once

#include <cstdint>
#include <string>

// Framing of replies of line-oriented protocols: lines beginning with a three-digit code,
// continued over several lines when the fourth character of the first is "-", and the
// status words "+OK" and "-ERR".

// Whether line starts a multi-line reply; if so, endPrefix is the code and a blank
// ("230 "), which the closing line begins with.
bool StartsMultiLineReply(const std::string& line, std::string& endPrefix);

// Whether line ends the multi-line reply opened with endPrefix: a line shorter than four
// characters, or one that begins with the prefix (letter case ignored).
bool EndsMultiLineReply(const std::string& line, const std::string& endPrefix);

// The code of a reply from its last line: 1 for "+OK", 0 for "-ERR" (any case), else the
// first three characters as an integer, 0 when they are none.
int16_t ReplyCodeOf(const std::string& lastLine);

// line without the bytes of value 32 or less at both ends.
std::string TrimControls(const std::string& line);
