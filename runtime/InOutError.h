#pragma once

#include "Exception.h"

// A failed file operation. ErrorCode follows the system codes the messages are known by:
// 2 file or folder not found, 3 invalid file name, 4 too many open files, 5 access denied,
// 101 disk full; every other failure keeps a code of its own.
class EInOutError : public Exception {
 public:
  EInOutError(int errorCode, std::string message)
      : Exception(std::move(message)), ErrorCode(errorCode) {}
  int ErrorCode;
};

// Maps an errno value onto the codes above.
int IoErrorCodeFromErrno(int errnoValue);

// "Datei nicht gefunden", ..., "E/A-Fehler %d".
std::string IoErrorText(int code);

// Raises EInOutError for the given errno value.
[[noreturn]] void RaiseInOutError(int errnoValue);
