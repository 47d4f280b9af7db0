#pragma once

#include <string>

// The rules by which the folder upload, the publishing run and the download by list treat
// local folders and file names.

// The decimal text of value, with a "0" in front when it has one digit: 7 -> "07".
std::string ZeroPad2(int value);

// The remote folder of a publishing run: year, month, day, "-", hour, minute.
// 2026, 12, 7, 14, 5 -> "20261207-1405".
std::string DatedFolderName(int year, int month, int day, int hour, int minute);

// Whether the folder upload leaves a file out: the thumbnail cache "thumbs.db" (any
// letter case) and files whose extension, from the last "." on, is ".SEND" (any case).
bool SkippedByFolderUpload(const std::string& name);

// folder with a "/" at its end (an empty text stays empty).
std::string WithTrailingSeparator(const std::string& folder);

// Whether name, taken from a server's listing, can be written into a local folder as it
// stands: not empty, not "." or "..", no "/" and no control character. Anything else
// would land outside the folder or under a name nobody asked for.
bool IsPlainFileName(const std::string& name);
