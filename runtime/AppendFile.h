#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/types.h>
#include <utility>

class TNameWatch;

// Append-mode text files, every step checked; a failure raises EInOutError.

// An existing file opened for appending (never created), closed by Close or, when a
// failure leaves it open, by the destructor.
class TAppendFile {
 public:
  explicit TAppendFile(const std::string& path);
  ~TAppendFile();
  TAppendFile(const TAppendFile&) = delete;
  TAppendFile& operator=(const TAppendFile&) = delete;

  // Appends text whole or not at all: when a write fails part-way (a full disk, a size
  // limit), the file is cut back to its length before, so that no reader ever finds half
  // a record.
  void Append(std::string_view text);
  // Whether count more bytes fit now. Room the file system has already given the file at
  // its end (the rest of its last block, where blocks are written in place) and the
  // process's file size limit answer that without writing; otherwise that many blanks are
  // appended and cut off again. The file ends as it was.
  void CheckRoom(std::size_t count);
  // Whether path still names this file: not when it was deleted, moved away or replaced
  // since it was opened. A path that names nothing answers false. The path is looked up
  // only when something has happened to the file since the last answer: the kernel tells
  // (inotify) when the file loses a name or is moved. Where it cannot tell, every call
  // looks the path up.
  bool NamedBy(const std::string& path);
  void Close();

 private:
  int FHandle = -1;
  // Where the kernel tells of the file losing a name or being moved, set up with FIdentity.
  std::unique_ptr<TNameWatch> FWatch;
  // The file's identity, whether its file system writes a block in place and the process's
  // file size limit: fixed for an open file (the limit in practice), learnt when first
  // needed.
  std::optional<std::pair<dev_t, ino_t>> FIdentity;
  std::optional<bool> FInPlace;
  std::optional<rlim_t> FSizeLimit;
};

// Creates an empty file when none exists under path; an existing file is left alone.
void CreateFileIfMissing(const std::string& path);

// One whole open-append-close cycle of TAppendFile.
void AppendToFile(const std::string& path, std::string_view text);

// Opens the existing file for appending and closes it again: whether appending is
// possible at all now. Writes nothing.
void CheckAppendable(const std::string& path);

// One whole open-check-close cycle of TAppendFile::CheckRoom.
void CheckRoomToAppend(const std::string& path, std::size_t count);
