#include "LogLocation.h"

#include "TestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <pwd.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class LogLocation : public ::testing::Test {
 protected:
  TTempDir temp{"lf-loglocation"};
  const fs::path dir = temp.Path();
  const std::string program = (dir / "bin" / "lichtfracht").string();
  const std::string besideProgram = (dir / "bin" / "lichtfracht.log").string();
};

// Tests run as root, for whom access() calls every folder writable: the writability is
// given to the inner function here.
TEST_F(LogLocation, AnUnwritableProgramFolderSendsTheLogToTheStateFolder) {
  std::ofstream(dir / "file") << "not a folder";
  struct Case {
    const char* name;
    TStateEnvironment environment;
    std::string expected; // relative to dir; empty: beside the program
    const char* firstNewFolder;
  };
  const std::string home = (dir / "home").string();
  const Case cases[] = {
      {"state home set",
       {(dir / "state").string(), home},
       "state/lichtfracht/lichtfracht.log",
       "state"},
      {"state home unset", {"", home}, "home/.local/state/lichtfracht/lichtfracht.log", "home"},
      {"state home relative",
       {"state", home},
       "home/.local/state/lichtfracht/lichtfracht.log",
       "home"},
      {"no home at all", {"", ""}, "", nullptr},
      {"folder cannot be made",
       {(dir / "file" / "state").string(), (dir / "file").string()},
       "",
       nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dir / "state");
    fs::remove_all(dir / "home");
    const std::string log = LogLocationFor(program, false, c.environment);
    if (c.expected.empty()) {
      EXPECT_EQ(log, besideProgram);
      continue;
    }
    EXPECT_EQ(log, (dir / c.expected).string());
    EXPECT_TRUE(fs::is_directory(fs::path(log).parent_path()));
    EXPECT_FALSE(fs::exists(log)) << "the log file is the start record's to create";
    EXPECT_EQ(fs::status(dir / c.firstNewFolder).permissions(), fs::perms::owner_all);
  }
}

TEST_F(LogLocation, AWritableProgramFolderKeepsTheLogBesideTheProgram) {
  const TStateEnvironment environment{(dir / "state").string(), (dir / "home").string()};
  EXPECT_EQ(LogLocationFor(program, true, environment), besideProgram);
  EXPECT_FALSE(fs::exists(dir / "state"));
  EXPECT_FALSE(fs::exists(dir / "home"));

  // This process can write the temp folder, whoever runs the tests; a missing folder is left
  // to the start record to report.
  EXPECT_EQ(LogLocationFor(program), besideProgram);
  fs::create_directories(dir / "bin");
  EXPECT_EQ(LogLocationFor(program), besideProgram);
}

// Sets or unsets an environment variable for one test.
class TVariable {
 public:
  TVariable(const char* name, const char* value) : FName(name) {
    if (const char* old = std::getenv(name)) FOld = old;
    value ? ::setenv(name, value, 1) : ::unsetenv(name);
  }
  ~TVariable() { FOld ? ::setenv(FName, FOld->c_str(), 1) : ::unsetenv(FName); }

 private:
  const char* FName;
  std::optional<std::string> FOld;
};

TEST(StateEnvironment, ComesFromTheVariablesOrTheAccount) {
  {
    TVariable state("XDG_STATE_HOME", "/var/state"), home("HOME", "/home/fotograf");
    const TStateEnvironment environment = TStateEnvironment::OfThisProcess();
    EXPECT_EQ(environment.StateHome, "/var/state");
    EXPECT_EQ(environment.Home, "/home/fotograf");
  }
  TVariable state("XDG_STATE_HOME", nullptr), home("HOME", nullptr);
  const TStateEnvironment environment = TStateEnvironment::OfThisProcess();
  EXPECT_EQ(environment.StateHome, "");
  EXPECT_EQ(environment.Home, ::getpwuid(::getuid())->pw_dir);
}

} // namespace
