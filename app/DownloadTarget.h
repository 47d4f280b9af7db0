#pragma once

#include "FileStream.h"

#include <memory>
#include <string>

// The local file of one download. The bytes go to a temporary file beside the target
// (".<name>.lichtfracht-teil" in the same folder, so that the final rename stays on one
// file system and cannot leave half a copy); only Commit puts it in place under the
// target's name. Dropped without a Commit (a failure, an abort), the temporary file is
// removed and the target is exactly as it was: a file that looks complete is complete.
class TDownloadTarget {
 public:
  // Creates the temporary file. Refused with "Datei %s kann nicht erstellt werden" naming
  // the target when the target could not be written: a folder, a file the user may not
  // write, a folder that does not exist or is closed to us.
  explicit TDownloadTarget(std::string targetPath);
  ~TDownloadTarget();
  TDownloadTarget(const TDownloadTarget&) = delete;
  TDownloadTarget& operator=(const TDownloadTarget&) = delete;

  // Where the transfer writes; valid until Commit or Discard.
  TFileStream& Stream() { return *FStream; }
  // Closes the temporary file and renames it over the target.
  void Commit();
  // Closes and removes the temporary file; the target stays as it was. Safe to repeat.
  void Discard() noexcept;

  const std::string& TargetPath() const { return FTargetPath; }
  // Whether a file of the target's name was there before this download.
  bool TargetExisted() const { return FTargetExisted; }

  // The temporary name for targetPath: ".<name>.lichtfracht-teil" in its folder.
  static std::string TemporaryPathFor(const std::string& targetPath);

 private:
  std::string FTargetPath;    // as the user chose it, for the messages
  std::string FFinalPath;     // the file that is replaced: the target, links followed
  std::string FTemporaryPath; // empty once committed or discarded
  std::unique_ptr<TFileStream> FStream;
  bool FTargetExisted = false;
};
