#include "FolderSearch.h"

#include "Format.h"

#include <dirent.h>
#include <sys/stat.h>

TFolderSearch::TFolderSearch(const std::string& folder) : FFolder(folder) {
  FHandle = ::opendir(folder.empty() ? "." : folder.c_str());
  if (FHandle == nullptr)
    throw EFolderSearchError(
        Format("Das Verzeichnis %s kann nicht gelesen werden.", folder.c_str()));
  if (!FFolder.empty() && FFolder.back() != '/') FFolder += '/';
}

TFolderSearch::~TFolderSearch() {
  if (FHandle != nullptr) ::closedir(static_cast<DIR*>(FHandle));
}

bool TFolderSearch::Next(TFolderEntry& entry) {
  while (const dirent* found = ::readdir(static_cast<DIR*>(FHandle))) {
    const std::string name = found->d_name;
    if (name == "." || name == "..") continue;
    struct stat info {};
    if (::stat((FFolder + name).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    entry.Name = name;
    entry.Size = static_cast<uint64_t>(info.st_size);
    return true;
  }
  return false;
}
