#pragma once

#include <string>

// A fresh folder under the system's temporary folder, removed with everything in it when
// the object goes away.
class TScratchFolder {
 public:
  // prefix names the folder (prefix + six random characters); throws std::runtime_error
  // when it cannot be made.
  explicit TScratchFolder(const std::string& prefix);
  ~TScratchFolder();
  TScratchFolder(const TScratchFolder&) = delete;
  TScratchFolder& operator=(const TScratchFolder&) = delete;

  const std::string& Path() const { return FPath; }

 private:
  std::string FPath;
};
