#pragma once

#include "Exception.h"
#include "Stream.h"

#include <string>

// "Datei %s kann nicht erstellt werden"
class EFCreateError : public Exception {
 public:
  using Exception::Exception;
};

// "Datei %s kann nicht geöffnet werden"
class EFOpenError : public Exception {
 public:
  using Exception::Exception;
};

enum class TFileMode {
  Create,       // create anew, emptying an existing file; read and write
  OpenRead,     // an existing file, for reading
  OpenReadWrite // an existing file, for reading and writing
};

// A local file as a stream. Other programs may read and write the file meanwhile.
// Read and write failures raise EInOutError.
class TFileStream : public TStream {
 public:
  TFileStream(const std::string& fileName, TFileMode mode);
  ~TFileStream() override;

  int64_t Read(void* buffer, int64_t count) override;
  void Write(const void* buffer, int64_t count) override;
  int64_t Position() const override { return FPosition; }
  void SetPosition(int64_t position) override { FPosition = position < 0 ? 0 : position; }
  int64_t Size() const override;
  void SetSize(int64_t size) override;

  const std::string& FileName() const { return FFileName; }

 private:
  std::string FFileName;
  int FHandle = -1;
  int64_t FPosition = 0;
};
