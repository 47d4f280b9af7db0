#pragma once

#include <string>

// Name and kind of the entry of one raw listing line. Fields are runs of characters up to
// the next blank (only code 32 separates). Unix-style lines lose their first eight fields,
// DOS-style lines (which begin with their date) their first three; everything after them
// is the name, inner blanks included. The cases it knows are the rows of
// ParseListingLineTest.cpp.
//   drwxr-xr-x 2 anna users 4096 Dec 7 14:05 Urlaub 2026  ->  folder "Urlaub 2026"
//   12-07-26  02:25PM       <DIR>          Fotos          ->  folder "Fotos"
//   12-07-26  02:25PM                 1234 liste.txt      ->  file "liste.txt"
//   lrwxrwxrwx 1 anna users 5 Dec 7 14:05 Neueste -> Serie  ->  link "Neueste"
// A link line (type letter "l") names the link: its name ends before the first " -> ".
// Never reads past the end of the line: what is left when the fields run out is the name.
void ParseListingLine(const std::string& line, bool& isFolder, bool& isLink, std::string& name);
// The same for callers that treat a link like a file.
void ParseListingLine(const std::string& line, bool& isFolder, std::string& name);
