#include "LogLocation.h"

#include "ActivityLog.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// A relative XDG_STATE_HOME is invalid and to be ignored, as the base directory rules say.
fs::path StateFolder(const TStateEnvironment& environment) {
  if (!environment.StateHome.empty() && fs::path(environment.StateHome).is_absolute())
    return fs::path(environment.StateHome) / "lichtfracht";
  if (!environment.Home.empty() && fs::path(environment.Home).is_absolute())
    return fs::path(environment.Home) / ".local" / "state" / "lichtfracht";
  return {};
}

// Creates folder and its missing parents, each new one readable by its owner only, as the
// base directory rules ask for; an existing folder is fine as it is.
bool MakeFolder(const fs::path& folder) {
  fs::path partial;
  for (const fs::path& part : folder) {
    partial /= part;
    if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  std::error_code error;
  return fs::is_directory(folder, error);
}

} // namespace

TStateEnvironment TStateEnvironment::OfThisProcess() {
  TStateEnvironment environment{Variable("XDG_STATE_HOME"), Variable("HOME")};
  // Started without HOME (by a service manager, say), the account's home folder stands in.
  if (environment.Home.empty())
    if (const passwd* account = ::getpwuid(::getuid()); account && account->pw_dir)
      environment.Home = account->pw_dir;
  return environment;
}

std::string LogLocationFor(const std::string& programPath, bool programFolderWritable,
                           const TStateEnvironment& environment) {
  const std::string besideProgram = LogFileNameFor(programPath);
  if (programFolderWritable) return besideProgram;
  const fs::path folder = StateFolder(environment);
  if (folder.empty() || !MakeFolder(folder)) return besideProgram;
  return (folder / "lichtfracht.log").native();
}

std::string LogLocationFor(const std::string& programPath) {
  fs::path folder = fs::path(programPath).parent_path();
  if (folder.empty()) folder = ".";
  // Only a refusal moves the log. A missing folder (no real program file is in one) keeps
  // it beside the program, where the start record reports the folder as missing.
  const bool refused = ::access(folder.c_str(), W_OK) != 0 && (errno == EACCES || errno == EROFS);
  return LogLocationFor(programPath, !refused, TStateEnvironment::OfThisProcess());
}
