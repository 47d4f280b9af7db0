#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

// A program a test starts and must not leave behind: it runs in a process group of its
// own (so Stop reaches its children too), reads /dev/null as stdin, and its stdout and
// stderr are drained by a thread, so a chatty child never blocks on a full pipe.
class TChildProcess {
 public:
  using TClock = std::chrono::steady_clock;

  // Starts argv[0] (searched on PATH when it holds no slash) with argv. Each entry of
  // extraEnvironment ("NAME=value") is added to the inherited environment or replaces
  // the variable of that name. Throws std::runtime_error when the program cannot start.
  explicit TChildProcess(const std::vector<std::string>& argv,
                         const std::vector<std::string>& extraEnvironment = {});
  // Stops the process group and reaps the child.
  ~TChildProcess();
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  pid_t Pid() const { return FPid; }

  // The next line of stdout without its LF (and without a CR right before it). An
  // unterminated rest counts as a line once stdout has ended. nullopt when the
  // deadline passes first or stdout has ended with nothing left.
  std::optional<std::string> ReadLine(TClock::time_point deadline);
  // stdout received but not yet taken by ReadLine.
  std::string PendingOutput() const;
  // Everything the child wrote to stderr so far.
  std::string StandardError() const;

  // True until the child has exited (it is reaped only by Stop).
  bool Running();
  // Waits until the child exits on its own; its wait status, or nullopt at the deadline.
  std::optional<int> WaitForExit(TClock::time_point deadline);
  // SIGTERM to the process group unless the child has exited already; after at most
  // grace, SIGKILL to whatever of the group is left; then reaps the child. Returns the
  // wait status (see waitpid), or -1 when the child could not be reaped. Calling it again
  // returns the same status.
  int Stop(std::chrono::milliseconds grace = std::chrono::milliseconds(3000));

 private:
  void DrainOutput();
  bool HasExited();

  pid_t FPid = -1;
  std::optional<int> FExitStatus;
  bool FReaped = false;
  int FOutRead = -1;
  int FErrRead = -1;
  int FWakeRead = -1;
  int FWakeWrite = -1;

  mutable std::mutex FMutex;
  std::condition_variable FOutputArrived;
  std::string FOut;
  std::string FErr;
  bool FOutEnded = false;
  std::thread FDrainer;
};
