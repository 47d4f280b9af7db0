#include "FolderSearch.h"

#include "Format.h"

#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>

TFolderSearch::TFolderSearch(const std::string& folder) {
  FHandle = ::opendir(folder.empty() ? "." : folder.c_str());
  if (FHandle == nullptr)
    throw EFolderSearchError(
        Format("Das Verzeichnis %s kann nicht gelesen werden.", folder.c_str()));
}

TFolderSearch::~TFolderSearch() {
  if (FHandle != nullptr) ::closedir(static_cast<DIR*>(FHandle));
}

bool TFolderSearch::Next(TFolderEntry& entry) {
  DIR* folder = static_cast<DIR*>(FHandle);
  while (const dirent* found = ::readdir(folder)) {
    const std::string_view name = found->d_name;
    if (name == "." || name == "..") continue;
    // Relative to the open folder: the kernel need not walk the folder's path again for
    // each of the thousands of files a shoot can hold.
    struct stat info {};
    if (::fstatat(::dirfd(folder), found->d_name, &info, 0) != 0 || !S_ISREG(info.st_mode))
      continue;
    entry.Name = name;
    entry.Size = static_cast<uint64_t>(info.st_size);
    return true;
  }
  return false;
}
