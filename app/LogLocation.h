#pragma once

#include <string>

// Where the activity log goes. Beside the program file (LogFileNameFor) when the program's
// folder is writable: a build tree, a portable folder. An installed program sits in a folder
// its user cannot write (/usr/bin), so there the log is lichtfracht.log in the user's state
// folder: $XDG_STATE_HOME/lichtfracht/, by default ~/.local/state/lichtfracht/. The records
// are the same in either place.

// The variables that name the state folder, as found in the environment (empty when unset).
struct TStateEnvironment {
  std::string StateHome; // XDG_STATE_HOME
  std::string Home;      // HOME

  static TStateEnvironment OfThisProcess();
};

// The log file for programPath. When the program's folder is not writable, the state folder
// is created (with its parents) when missing; when it cannot be had either, the file beside
// the program is returned, so that the start record fails with the usual error text.
std::string LogLocationFor(const std::string& programPath, bool programFolderWritable,
                           const TStateEnvironment& environment);

// The same for this process: the folder counts as unwritable when access() refuses this
// user write access to it; the environment is this process's.
std::string LogLocationFor(const std::string& programPath);
