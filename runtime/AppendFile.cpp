#include "AppendFile.h"

#include "InOutError.h"
#include "NameWatch.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/vfs.h>
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

struct stat StatusOf(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) RaiseInOutError(errno);
  return info;
}

off_t LengthOf(int fd) {
  return StatusOf(fd).st_size;
}

// ext2 to ext4, tmpfs and XFS overwrite a block where it is; a file system that copies a
// block on writing needs new room even for a block the file has.
bool WritesBlocksInPlace(int fd) {
  struct statfs info {};
  if (::fstatfs(fd, &info) != 0) return false;
  constexpr unsigned long Ext = 0xEF53, Tmpfs = 0x01021994, Xfs = 0x58465342;
  const auto type = static_cast<unsigned long>(info.f_type);
  return type == Ext || type == Tmpfs || type == Xfs;
}

// The process's file size limit; 0 where it cannot be read, so that nothing is taken to fit.
rlim_t SizeLimit() {
  struct rlimit limit {};
  return ::getrlimit(RLIMIT_FSIZE, &limit) == 0 ? limit.rlim_cur : 0;
}

// Whether count more bytes fit into room the file system has already given the file at its
// end. A log of short records finds the next one in its last block most of the time, and
// writing blanks and cutting them off again cost more than the record itself.
bool RoomGiven(int fd, std::size_t count, rlim_t sizeLimit) {
  const struct stat info = StatusOf(fd);
  const off_t end = info.st_size + static_cast<off_t>(count);
  return static_cast<off_t>(info.st_blocks) * 512 >= end &&
         (sizeLimit == RLIM_INFINITY || static_cast<rlim_t>(end) <= sizeLimit);
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
  if (!FInPlace) FInPlace = WritesBlocksInPlace(FHandle);
  if (!FSizeLimit) FSizeLimit = SizeLimit();
  if (*FInPlace && RoomGiven(FHandle, count, *FSizeLimit)) return;
  const off_t length = LengthOf(FHandle);
  AppendWhole(FHandle, std::string(count, ' '));
  CutBackTo(FHandle, length);
}

bool TAppendFile::NamedBy(const std::string& path) {
  if (!FIdentity) {
    const struct stat open = StatusOf(FHandle);
    FIdentity.emplace(open.st_dev, open.st_ino);
    FWatch = std::make_unique<TNameWatch>(FHandle);
  } else if (FWatch && !FWatch->Told()) {
    // Nothing happened to the file since path was last found to name it.
    return true;
  }
  struct stat named {};
  return ::stat(path.c_str(), &named) == 0 && std::pair(named.st_dev, named.st_ino) == *FIdentity;
}

void TAppendFile::Close() {
  FWatch.reset();
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
