#include "FileStream.h"

#include "Format.h"
#include "InOutError.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TFileStream::TFileStream(const std::string& fileName, TFileMode mode) : FFileName(fileName) {
  switch (mode) {
  case TFileMode::Create:
    FHandle = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (FHandle < 0)
      throw EFCreateError(Format("Datei %s kann nicht erstellt werden", fileName.c_str()));
    break;
  case TFileMode::OpenRead:
  case TFileMode::OpenReadWrite:
    FHandle =
        ::open(fileName.c_str(), (mode == TFileMode::OpenRead ? O_RDONLY : O_RDWR) | O_CLOEXEC);
    if (FHandle < 0)
      throw EFOpenError(Format("Datei %s kann nicht geöffnet werden", fileName.c_str()));
    break;
  }
  // A folder opens fine on POSIX but is no file to read or write.
  struct stat info {};
  if (::fstat(FHandle, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(FHandle);
    FHandle = -1;
    if (mode == TFileMode::Create)
      throw EFCreateError(Format("Datei %s kann nicht erstellt werden", fileName.c_str()));
    throw EFOpenError(Format("Datei %s kann nicht geöffnet werden", fileName.c_str()));
  }
}

TFileStream::~TFileStream() {
  if (FHandle >= 0) ::close(FHandle);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  if (count <= 0) return 0;
  for (;;) {
    const ssize_t n = ::pread(FHandle, buffer, static_cast<size_t>(count), FPosition);
    if (n >= 0) {
      FPosition += n;
      return n;
    }
    if (errno != EINTR) RaiseInOutError(errno);
  }
}

void TFileStream::Write(const void* buffer, int64_t count) {
  const char* bytes = static_cast<const char*>(buffer);
  while (count > 0) {
    const ssize_t n = ::pwrite(FHandle, bytes, static_cast<size_t>(count), FPosition);
    if (n < 0) {
      if (errno == EINTR) continue;
      RaiseInOutError(errno);
    }
    bytes += n;
    count -= n;
    FPosition += n;
  }
}

int64_t TFileStream::Size() const {
  struct stat info {};
  if (::fstat(FHandle, &info) != 0) RaiseInOutError(errno);
  return info.st_size;
}

void TFileStream::SetSize(int64_t size) {
  if (::ftruncate(FHandle, size) != 0) RaiseInOutError(errno);
  if (FPosition > size) FPosition = size;
}
