#include "DownloadTarget.h"

#include "Format.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace {

EFCreateError CannotCreate(const std::string& path) {
  return EFCreateError(Format("Datei %s kann nicht erstellt werden", path.c_str()));
}

} // namespace

std::string TDownloadTarget::TemporaryPathFor(const std::string& targetPath) {
  const size_t slash = targetPath.rfind('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  return targetPath.substr(0, nameStart) + "." + targetPath.substr(nameStart) + ".lichtfracht-teil";
}

TDownloadTarget::TDownloadTarget(std::string targetPath) : FTargetPath(std::move(targetPath)) {
  std::error_code missing;
  // A link chosen as the target keeps pointing where it did: the file it names is the one
  // replaced, as writing through the link would have done.
  const fs::path resolved = fs::canonical(FTargetPath, missing);
  FFinalPath = missing ? FTargetPath : resolved.string();
  FTargetExisted = !missing;
  if (FTargetExisted) {
    // Writing in place would have been refused for a folder or a file the user may not
    // write; a rename would replace it all the same, or fail only after the transfer.
    try {
      TFileStream probe(FFinalPath, TFileMode::OpenReadWrite);
    } catch (const EFOpenError&) {
      throw CannotCreate(FTargetPath);
    }
  }
  FTemporaryPath = TemporaryPathFor(FFinalPath);
  try {
    FStream = std::make_unique<TFileStream>(FTemporaryPath, TFileMode::Create);
  } catch (const EFCreateError&) {
    FTemporaryPath.clear();
    // The user chose the target; the temporary name would only puzzle them.
    throw CannotCreate(FTargetPath);
  }
}

TDownloadTarget::~TDownloadTarget() {
  Discard();
}

void TDownloadTarget::Commit() {
  FStream.reset();
  std::error_code failed;
  fs::rename(FTemporaryPath, FFinalPath, failed);
  if (failed) {
    Discard();
    throw CannotCreate(FTargetPath);
  }
  FTemporaryPath.clear();
}

void TDownloadTarget::Discard() noexcept {
  FStream.reset();
  if (!FTemporaryPath.empty()) {
    std::error_code ignored; // nothing is left to do about a file that will not go
    fs::remove(FTemporaryPath, ignored);
    FTemporaryPath.clear();
  }
}
