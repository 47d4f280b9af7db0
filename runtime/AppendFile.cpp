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

// Closes fd and raises error: the path of every failure after the open.
[[noreturn]] void CloseAndRaise(int fd, int error) {
  ::close(fd);
  RaiseInOutError(error);
}

// The length of the open file, the point a failed append is cut back to.
off_t LengthOf(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) CloseAndRaise(fd, errno);
  return info.st_size;
}

// Writes all of text at the end of fd, or cuts the file back to length and raises.
void AppendWhole(int fd, off_t length, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n > 0) {
      text.remove_prefix(static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    // A write that takes nothing without an error would loop for ever: a full device.
    const int error = n < 0 ? errno : ENOSPC;
    // The cut is what keeps the record whole; if even that fails, its error is the one
    // the user has to act on.
    while (::ftruncate(fd, length) != 0)
      if (errno != EINTR) CloseAndRaise(fd, errno);
    CloseAndRaise(fd, error);
  }
}

} // namespace

void CreateFileIfMissing(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    if (errno == EEXIST) return;
    RaiseInOutError(errno);
  }
  CloseChecked(fd);
}

void AppendToFile(const std::string& path, std::string_view text) {
  const int fd = OpenChecked(path, O_WRONLY | O_APPEND);
  AppendWhole(fd, LengthOf(fd), text);
  CloseChecked(fd);
}

void CheckAppendable(const std::string& path) {
  CloseChecked(OpenChecked(path, O_WRONLY | O_APPEND));
}

void CheckRoomToAppend(const std::string& path, std::size_t count) {
  const int fd = OpenChecked(path, O_WRONLY | O_APPEND);
  const off_t length = LengthOf(fd);
  AppendWhole(fd, length, std::string(count, ' '));
  while (::ftruncate(fd, length) != 0)
    if (errno != EINTR) CloseAndRaise(fd, errno);
  CloseChecked(fd);
}
