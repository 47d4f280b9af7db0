#include "ChildProcess.h"

#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/wait.h>

namespace {

using namespace std::chrono_literals;
using TClock = TChildProcess::TClock;

// Gone, or a zombie waiting for whoever adopted it.
bool Ended(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return true;
  const size_t close = line.rfind(')');
  return close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z';
}

TEST(ChildProcess, ReadsStdoutLineByLineAndKeepsStderr) {
  TChildProcess child({"/bin/sh", "-c", "printf 'eins\\nzwei\\r\\ndrei'; echo fehler >&2"});
  const auto deadline = TClock::now() + 5s;
  EXPECT_EQ(child.ReadLine(deadline), "eins");
  EXPECT_EQ(child.ReadLine(deadline), "zwei");
  EXPECT_EQ(child.ReadLine(deadline), "drei"); // the rest once stdout has ended
  EXPECT_EQ(child.ReadLine(deadline), std::nullopt);
  const auto status = child.WaitForExit(deadline);
  ASSERT_TRUE(status.has_value());
  EXPECT_TRUE(WIFEXITED(*status));
  EXPECT_EQ(child.StandardError(), "fehler\n");
}

TEST(ChildProcess, ReadLineGivesUpAtTheDeadline) {
  TChildProcess child({"sleep", "30"});
  const auto start = TClock::now();
  EXPECT_EQ(child.ReadLine(start + 200ms), std::nullopt);
  EXPECT_LT(TClock::now() - start, 2s);
  EXPECT_TRUE(child.Running());
  const int status = child.Stop();
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  EXPECT_FALSE(child.Running());
}

TEST(ChildProcess, StopKillsWhatIgnoresSigtermAndTheWholeGroup) {
  // The shell ignores SIGTERM; its background child is a grandchild of the test.
  TChildProcess child({"/bin/sh", "-c", "trap '' TERM; sleep 30 & echo $!; wait; wait"});
  const auto line = child.ReadLine(TClock::now() + 5s);
  ASSERT_TRUE(line.has_value());
  const pid_t grandchild = std::stoi(*line);
  const auto start = TClock::now();
  const int status = child.Stop(300ms);
  EXPECT_LT(TClock::now() - start, 5s);
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGKILL);
  const auto deadline = TClock::now() + 5s;
  while (!Ended(grandchild) && TClock::now() < deadline)
    std::this_thread::sleep_for(10ms);
  EXPECT_TRUE(Ended(grandchild));
}

TEST(ChildProcess, UnknownProgramThrows) {
  EXPECT_THROW(TChildProcess({"/nonexistent/lf-no-such-program"}), std::runtime_error);
}

TEST(ChildProcess, ExtraEnvironmentReplacesInheritedValue) {
  TChildProcess child({"/bin/sh", "-c", "echo \"$LF_CHILD_TEST\""}, {"LF_CHILD_TEST=gesetzt"});
  EXPECT_EQ(child.ReadLine(TClock::now() + 5s), "gesetzt");
}

} // namespace
