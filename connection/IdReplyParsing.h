#pragma once

#include "StringList.h"

#include <cstdint>
#include <string>

// Framing of replies of line-oriented protocols: lines beginning with a three-digit code,
// continued over several lines when the fourth character of the first is "-", and the
// status words "+OK" and "-ERR". Socket-free: the connection feeds it the lines as they
// arrive.
//
// A multi-line reply ends only at a line that, as received, begins with the code of its
// first line followed by a blank, or is exactly that code:
//   220-Welcome                    starts it (code 220)
//    220 ready in a message file   text: it begins with a blank
//   --                             text: short lines too
//   230 Logged in                  text: another code
//   220 Service ready              ends it
// Servers put message files (a login banner, a folder's notes) inside replies with a blank
// in front of each line, and such a line may be anything.
class TIdReplyFraming {
 public:
  // The reply's lines go to lines, trimmed, blank ones left out; it is emptied first.
  explicit TIdReplyFraming(TStringList& lines);

  // Takes the next line as received, without its line end. True once the reply is whole;
  // lines fed after that are not taken.
  bool Feed(const std::string& received);
  bool Complete() const { return FComplete; }

 private:
  TStringList& FLines;
  std::string FCode; // the code a multi-line reply ends with; empty before the first line
  bool FComplete = false;
};

// The code of a reply from its last line: 1 for "+OK", 0 for "-ERR" (any case), else the
// first three characters as an integer, 0 when they are none.
int16_t ReplyCodeOf(const std::string& lastLine);

// line without the bytes of value 32 or less at both ends.
std::string TrimControls(const std::string& line);
