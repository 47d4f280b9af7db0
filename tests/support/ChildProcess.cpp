#include "ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using namespace std::chrono_literals;

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

std::string ErrorText(const char* what, int error) {
  return std::string(what) + ": " + std::strerror(error);
}

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& extra) {
  std::vector<std::string> result;
  auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
  for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
    std::string entry(*e);
    bool replaced = false;
    for (const auto& x : extra)
      replaced = replaced || nameOf(x) == nameOf(entry);
    if (!replaced) result.push_back(std::move(entry));
  }
  result.insert(result.end(), extra.begin(), extra.end());
  return result;
}

std::vector<char*> CArray(std::vector<std::string>& strings) {
  std::vector<char*> result;
  for (auto& s : strings)
    result.push_back(s.data());
  result.push_back(nullptr);
  return result;
}

// Owns the spawn attributes for the length of one posix_spawnp call.
struct TSpawnSetup {
  posix_spawn_file_actions_t Actions;
  posix_spawnattr_t Attributes;
  TSpawnSetup() {
    posix_spawn_file_actions_init(&Actions);
    posix_spawnattr_init(&Attributes);
  }
  ~TSpawnSetup() {
    posix_spawn_file_actions_destroy(&Actions);
    posix_spawnattr_destroy(&Attributes);
  }
  TSpawnSetup(const TSpawnSetup&) = delete;
  TSpawnSetup& operator=(const TSpawnSetup&) = delete;
};

} // namespace

TChildProcess::TChildProcess(const std::vector<std::string>& argv,
                             const std::vector<std::string>& extraEnvironment) {
  if (argv.empty()) throw std::runtime_error("TChildProcess: empty argv");
  int out[2] = {-1, -1};
  int err[2] = {-1, -1};
  int wake[2] = {-1, -1};
  // Close-on-exec everywhere: the child gets only the two write ends, through dup2.
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0 ||
      ::pipe2(wake, O_CLOEXEC) != 0) {
    const int error = errno;
    for (int fd : {out[0], out[1], err[0], err[1], wake[0], wake[1]})
      if (fd >= 0) ::close(fd);
    throw std::runtime_error(ErrorText("pipe2", error));
  }

  std::vector<std::string> args(argv);
  std::vector<std::string> env = MergedEnvironment(extraEnvironment);
  std::vector<char*> cArgs = CArray(args);
  std::vector<char*> cEnv = CArray(env);

  int spawnError = 0;
  {
    TSpawnSetup setup;
    posix_spawn_file_actions_addopen(&setup.Actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&setup.Actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&setup.Actions, err[1], 2);
    // Own process group, so Stop can signal the child's children too; default signal
    // handling and an empty mask, whatever the test program has set for itself.
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int s : {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGCHLD, SIGQUIT, SIGUSR1, SIGUSR2})
      sigaddset(&defaults, s);
    sigset_t noMask;
    sigemptyset(&noMask);
    posix_spawnattr_setflags(&setup.Attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF |
                                                    POSIX_SPAWN_SETSIGMASK);
    posix_spawnattr_setpgroup(&setup.Attributes, 0);
    posix_spawnattr_setsigdefault(&setup.Attributes, &defaults);
    posix_spawnattr_setsigmask(&setup.Attributes, &noMask);
    spawnError =
        posix_spawnp(&FPid, cArgs[0], &setup.Actions, &setup.Attributes, cArgs.data(), cEnv.data());
  }
  ::close(out[1]);
  ::close(err[1]);
  FOutRead = out[0];
  FErrRead = err[0];
  FWakeRead = wake[0];
  FWakeWrite = wake[1];
  if (spawnError != 0) {
    FPid = -1;
    CloseFd(FOutRead);
    CloseFd(FErrRead);
    CloseFd(FWakeRead);
    CloseFd(FWakeWrite);
    throw std::runtime_error(ErrorText(("cannot start " + argv[0]).c_str(), spawnError));
  }
  FDrainer = std::thread([this] { DrainOutput(); });
}

TChildProcess::~TChildProcess() {
  Stop();
  if (FWakeWrite >= 0) {
    const char byte = 0;
    while (::write(FWakeWrite, &byte, 1) < 0 && errno == EINTR) {
    }
  }
  if (FDrainer.joinable()) FDrainer.join();
  CloseFd(FOutRead);
  CloseFd(FErrRead);
  CloseFd(FWakeRead);
  CloseFd(FWakeWrite);
}

void TChildProcess::DrainOutput() {
  bool outOpen = true;
  bool errOpen = true;
  char buffer[4096];
  while (outOpen || errOpen) {
    pollfd fds[3] = {{outOpen ? FOutRead : -1, POLLIN, 0},
                     {errOpen ? FErrRead : -1, POLLIN, 0},
                     {FWakeRead, POLLIN, 0}};
    if (::poll(fds, 3, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[2].revents != 0) break; // the owner is going away
    for (int i = 0; i < 2; ++i) {
      if (fds[i].revents == 0) continue;
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      std::lock_guard lock(FMutex);
      if (n <= 0) {
        (i == 0 ? outOpen : errOpen) = false;
        if (i == 0) FOutEnded = true;
      } else {
        (i == 0 ? FOut : FErr).append(buffer, static_cast<size_t>(n));
      }
      FOutputArrived.notify_all();
    }
  }
  std::lock_guard lock(FMutex);
  FOutEnded = true;
  FOutputArrived.notify_all();
}

std::optional<std::string> TChildProcess::ReadLine(TClock::time_point deadline) {
  std::unique_lock lock(FMutex);
  FOutputArrived.wait_until(lock, deadline,
                            [this] { return FOut.find('\n') != std::string::npos || FOutEnded; });
  const size_t end = FOut.find('\n');
  std::string line;
  if (end != std::string::npos) {
    line = FOut.substr(0, end);
    FOut.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }
  if (FOutEnded && !FOut.empty()) {
    line.swap(FOut);
    return line;
  }
  return std::nullopt;
}

std::string TChildProcess::PendingOutput() const {
  std::lock_guard lock(FMutex);
  return FOut;
}

std::string TChildProcess::StandardError() const {
  std::lock_guard lock(FMutex);
  return FErr;
}

bool TChildProcess::HasExited() {
  if (FExitStatus) return true;
  // WNOWAIT leaves the child a zombie: until Stop reaps it, its pid (and so the process
  // group id) cannot be given to another process, and signalling the group stays safe.
  siginfo_t info{};
  if (::waitid(P_PID, static_cast<id_t>(FPid), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
    return errno == ECHILD;
  if (info.si_pid != FPid) return false;
  // The same encoding as a status from waitpid, so the W* macros apply.
  FExitStatus = info.si_code == CLD_EXITED ? (info.si_status & 0xff) << 8 : info.si_status & 0x7f;
  return true;
}

bool TChildProcess::Running() {
  return FPid >= 0 && !FReaped && !HasExited();
}

std::optional<int> TChildProcess::WaitForExit(TClock::time_point deadline) {
  while (!HasExited()) {
    if (TClock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(5ms);
  }
  return FExitStatus;
}

int TChildProcess::Stop(std::chrono::milliseconds grace) {
  if (FPid < 0) return -1;
  if (!FReaped) {
    if (!HasExited()) {
      ::kill(-FPid, SIGTERM);
      WaitForExit(TClock::now() + grace);
    }
    // Whatever is left of the group goes now: a child that ignored SIGTERM, or
    // grandchildren of one that exited.
    ::kill(-FPid, SIGKILL);
    const auto deadline = TClock::now() + 10s;
    for (;;) {
      int status = 0;
      const pid_t r = ::waitpid(FPid, &status, WNOHANG);
      if (r == FPid) {
        FExitStatus = status;
        break;
      }
      if ((r < 0 && errno != EINTR) || TClock::now() >= deadline) {
        if (!FExitStatus) FExitStatus = -1;
        break;
      }
      std::this_thread::sleep_for(2ms);
    }
    FReaped = true;
  }
  return FExitStatus.value_or(-1);
}
