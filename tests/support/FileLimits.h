#pragma once

#include <csignal>
#include <fcntl.h>
#include <linux/fs.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

// Ways to make a file refuse writes in a test, undone when the object goes.

// A size no file of this process may grow beyond (RLIMIT_FSIZE), as a full disk shows
// itself to a writer: a write that would cross it is cut short, the next one fails
// (EFBIG). The signal the kernel sends with that failure is ignored meanwhile.
class TFileSizeLimit {
 public:
  explicit TFileSizeLimit(off_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &FPrevious);
    FPreviousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = FPrevious;
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    FSet = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
  }
  ~TFileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &FPrevious);
    std::signal(SIGXFSZ, FPreviousHandler);
  }
  TFileSizeLimit(const TFileSizeLimit&) = delete;
  TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;
  bool Set() const { return FSet; }

 private:
  rlimit FPrevious{};
  void (*FPreviousHandler)(int) = SIG_DFL;
  bool FSet = false;
};

// An existing file made read-only. Root writes to a file without write permission all
// the same, so for root the file is made immutable too (where the file system and the
// process's capabilities allow it). Works() tells whether a write is now refused.
class TUnwritableFile {
 public:
  explicit TUnwritableFile(std::string path) : FPath(std::move(path)) {
    ::chmod(FPath.c_str(), 0444);
    if (!Writable()) return;
    FImmutable = SetImmutable(true);
  }
  ~TUnwritableFile() {
    if (FImmutable) SetImmutable(false);
    ::chmod(FPath.c_str(), 0644);
  }
  TUnwritableFile(const TUnwritableFile&) = delete;
  TUnwritableFile& operator=(const TUnwritableFile&) = delete;
  bool Works() const { return !Writable(); }

 private:
  bool Writable() const {
    const int fd = ::open(FPath.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    return true;
  }
  bool SetImmutable(bool on) const {
    const int fd = ::open(FPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
      flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
      done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
  }

  std::string FPath;
  bool FImmutable = false;
};
