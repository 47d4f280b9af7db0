#include "AppendFile.h"

#include "InOutError.h"

#include <cerrno>
#include <fcntl.h>
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
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      ::close(fd);
      RaiseInOutError(error);
    }
    text.remove_prefix(static_cast<size_t>(n));
  }
  CloseChecked(fd);
}
