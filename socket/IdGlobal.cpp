#include "IdGlobal.h"

#include <cstdio>
#include <ctime>
#include <thread>

namespace {

// Static initialisation runs on the thread that starts the program.
const std::thread::id MainThreadId = std::this_thread::get_id();

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

TIdWaitHooks WaitHooks;

std::string FetchToken(std::string& text, const std::string& delimiter, bool remove) {
  const size_t at = text.find(delimiter);
  std::string token;
  if (at == std::string::npos) {
    token = text;
    if (remove) text.clear();
  } else {
    token = text.substr(0, at);
    if (remove) text.erase(0, at + delimiter.size());
  }
  return token;
}

int32_t LastPos(const std::string& sub, const std::string& text, int32_t start) {
  const int32_t last = static_cast<int32_t>(text.size()) - static_cast<int32_t>(sub.size()) + 1;
  if (sub.empty() || last < 1) return 0;
  if (start == -1 || start > last) start = last;
  for (int32_t pos = start; pos >= 1; --pos) {
    bool equal = true;
    for (size_t i = 0; i < sub.size() && equal; ++i)
      equal = LowerAscii(text[static_cast<size_t>(pos - 1) + i]) == LowerAscii(sub[i]);
    if (equal) return pos;
  }
  return 0;
}

bool IsMainThread() {
  return std::this_thread::get_id() == MainThreadId;
}

std::chrono::steady_clock::time_point CoarseSteadyNow() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  return std::chrono::steady_clock::time_point(
      std::chrono::duration_cast<std::chrono::steady_clock::duration>(
          std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec)));
}

void DebugOutput(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}
