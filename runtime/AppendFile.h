#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Append-mode text files: every call is a whole open-write-close cycle, every step
// checked; a failure raises EInOutError.

// Creates an empty file when none exists under path; an existing file is left alone.
void CreateFileIfMissing(const std::string& path);

// Appends text to the existing file under path, whole or not at all: when a write fails
// part-way (a full disk, a size limit), the file is cut back to its length before, so
// that no reader ever finds half a record. Never creates the file.
void AppendToFile(const std::string& path, std::string_view text);

// Opens the existing file for appending and closes it again: whether appending is
// possible at all now. Writes nothing.
void CheckAppendable(const std::string& path);

// Whether count more bytes fit into the existing file now: appends that many blanks and
// cuts them off again. The file ends as it was; a failure raises like AppendToFile.
void CheckRoomToAppend(const std::string& path, std::size_t count);
