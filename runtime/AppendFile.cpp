#include "AppendFile.h"

#include "InOutError.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int OpenChecked(const std::string& path, int flags) {
  for (;;) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    if (errno != EINTR) RaiseInOutError(errno);
  }
}

void CloseChecked(int fd) {
  if (::close(fd) != 0 && errno != EINTR) RaiseInOutError(errno);
}

off_t LengthOf(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) RaiseInOutError(errno);
  return info.st_size;
}

void CutBackTo(int fd, off_t length) {
  while (::ftruncate(fd, length) != 0)
    if (errno != EINTR) RaiseInOutError(errno);
}

// Writes all of text at the end of fd. A write that fails part-way cuts off what it wrote,
// found from the length afterwards: asking for the length before every record would cost
// a system call that almost never serves.
void AppendWhole(int fd, std::string_view text) {
  off_t written = 0;
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n > 0) {
      text.remove_prefix(static_cast<size_t>(n));
      written += n;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    // A write that takes nothing without an error would loop for ever: a full device.
    const int error = n < 0 ? errno : ENOSPC;
    // The cut is what keeps the record whole; if even that fails, its error is the one
    // the user has to act on.
    if (written > 0) CutBackTo(fd, LengthOf(fd) - written);
    RaiseInOutError(error);
  }
}

} // namespace

TAppendFile::TAppendFile(const std::string& path)
    : FHandle(OpenChecked(path, O_WRONLY | O_APPEND)) {}

TAppendFile::~TAppendFile() {
  if (FHandle >= 0) ::close(FHandle);
}

void TAppendFile::Append(std::string_view text) {
  AppendWhole(FHandle, text);
}

void TAppendFile::CheckRoom(std::size_t count) {
  const off_t length = LengthOf(FHandle);
  AppendWhole(FHandle, std::string(count, ' '));
  CutBackTo(FHandle, length);
}

void TAppendFile::Close() {
  const int fd = FHandle;
  FHandle = -1;
  CloseChecked(fd);
}

void CreateFileIfMissing(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    if (errno == EEXIST) return;
    RaiseInOutError(errno);
  }
  CloseChecked(fd);
}

void AppendToFile(const std::string& path, std::string_view text) {
  TAppendFile file(path);
  file.Append(text);
  file.Close();
}

void CheckAppendable(const std::string& path) {
  TAppendFile(path).Close();
}

void CheckRoomToAppend(const std::string& path, std::size_t count) {
  TAppendFile file(path);
  file.CheckRoom(count);
  file.Close();
}
