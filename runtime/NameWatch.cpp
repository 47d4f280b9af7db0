#include "NameWatch.h"

#include <cerrno>
#include <string>
#include <sys/inotify.h>
#include <unistd.h>
#include <unordered_map>

namespace {

struct TWatched {
  int Users = 0; // watches of one file share the kernel's watch
  std::uint64_t Events = 0;
  bool Gone = false; // the kernel ended the watch (the file system went away)
};

// The shared instance and what it has told per watch. Only the thread that writes the log
// uses it.
struct TInstance {
  int Handle = -1;
  std::unordered_map<int, TWatched> Watched;
};

TInstance& Instance() {
  static TInstance instance;
  if (instance.Handle < 0) instance.Handle = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  return instance;
}

void CountForAll(TInstance& instance) {
  for (auto& [watch, watched] : instance.Watched)
    ++watched.Events;
}

// Reads everything the kernel has told since the last time into the counts.
void TakeEvents(TInstance& instance) {
  alignas(inotify_event) char events[4096];
  for (;;) {
    const ssize_t n = ::read(instance.Handle, events, sizeof events);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // Nothing more (EAGAIN), or an instance that fails: then it cannot vouch for anything.
      if (!(n < 0 && errno == EAGAIN)) CountForAll(instance);
      return;
    }
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(events + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      if (event->mask & IN_Q_OVERFLOW) {
        CountForAll(instance);
        continue;
      }
      // Events of a watch already given up (its IN_IGNORED after removal) find nothing.
      const auto found = instance.Watched.find(event->wd);
      if (found == instance.Watched.end()) continue;
      ++found->second.Events;
      if (event->mask & IN_IGNORED) found->second.Gone = true;
    }
  }
}

} // namespace

TNameWatch::TNameWatch(int fd) {
  TInstance& instance = Instance();
  if (instance.Handle < 0) return;
  // The open file itself, whatever its path names by now.
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  const int watch =
      ::inotify_add_watch(instance.Handle, self.c_str(), IN_ATTRIB | IN_MOVE_SELF | IN_DELETE_SELF);
  if (watch < 0) return;
  // What was told before this watch began is not its news.
  TakeEvents(instance);
  TWatched& watched = instance.Watched[watch];
  ++watched.Users;
  FWatch = watch;
  FSeen = watched.Events;
}

TNameWatch::~TNameWatch() {
  if (FWatch < 0) return;
  TInstance& instance = Instance();
  const auto found = instance.Watched.find(FWatch);
  if (found == instance.Watched.end() || --found->second.Users > 0) return;
  instance.Watched.erase(found);
  // Unlike closing the instance, removing a watch does not wait for the kernel.
  ::inotify_rm_watch(instance.Handle, FWatch);
}

bool TNameWatch::Told() {
  if (FWatch < 0) return true;
  TInstance& instance = Instance();
  TakeEvents(instance);
  const TWatched& watched = instance.Watched[FWatch];
  const bool told = watched.Gone || watched.Events != FSeen;
  FSeen = watched.Events;
  return told;
}
