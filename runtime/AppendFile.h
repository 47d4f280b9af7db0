#pragma once

#include <string>
#include <string_view>

// Append-mode text files: every call is a whole open-write-close cycle, every step
// checked; a failure raises EInOutError.

// Creates an empty file when none exists under path; an existing file is left alone.
void CreateFileIfMissing(const std::string& path);

// Appends text to the existing file under path. Never creates the file.
void AppendToFile(const std::string& path, std::string_view text);
