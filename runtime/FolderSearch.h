#pragma once

#include "Exception.h"

#include <cstdint>
#include <string>

// "Das Verzeichnis %s kann nicht gelesen werden."
class EFolderSearchError : public Exception {
 public:
  using Exception::Exception;
};

struct TFolderEntry {
  std::string Name; // without the folder
  uint64_t Size = 0;
};

// The files of one folder, one at a time, in the order the file system gives them.
// Hidden files count like any other; subfolders, "." and "..", and everything that is not
// a regular file after following links (FIFOs, sockets, devices, dangling links) are left
// out: reading a FIFO would block for ever.
class TFolderSearch {
 public:
  // Raises EFolderSearchError when the folder cannot be read.
  explicit TFolderSearch(const std::string& folder);
  ~TFolderSearch();
  TFolderSearch(const TFolderSearch&) = delete;
  TFolderSearch& operator=(const TFolderSearch&) = delete;

  // The next file; false when there is none left.
  bool Next(TFolderEntry& entry);

 private:
  void* FHandle = nullptr; // DIR*
};
