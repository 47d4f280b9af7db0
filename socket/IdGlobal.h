#pragma once

#include <chrono>
#include <cstdint>
#include <string>

// Time-outs are milliseconds; this one waits without limit.
inline constexpr int32_t TimeoutInfinite = -2;

// Cuts the text before the first occurrence of delimiter. Not found: the whole text is
// the token. With remove, the token and the delimiter are taken off the front of text
// (all of it when the delimiter is missing).
std::string FetchToken(std::string& text, const std::string& delimiter, bool remove = true);

// 1-based position of the last occurrence of sub in text that begins at or before start,
// ignoring letter case (A-Z only); 0 when there is none. Start -1 means the end of text.
int32_t LastPos(const std::string& sub, const std::string& text, int32_t start = -1);

// True on the thread that started the program.
bool IsMainThread();

// The monotonic clock (the one steady_clock reads) at the resolution of the system's tick,
// a few ms: several times cheaper than a precise reading, which matters where a reading is
// taken for every block of a transfer only to pace something measured in tens of ms.
std::chrono::steady_clock::time_point CoarseSteadyNow();

// Writes text to the diagnostic channel (standard error).
void DebugOutput(const std::string& text);

// Blocking waits in this layer are cut into slices, and the window served between them,
// by the anti-freeze. It lives one layer up and installs these two functions.
struct TIdWaitHooks {
  // The slice length in milliseconds, or -1 when no active anti-freeze is in effect.
  int32_t (*SliceLength)() = nullptr;
  // Serves the window's messages when due (idle: the wait found no data).
  void (*PumpIfDue)(bool idle, bool force) = nullptr;
};
extern TIdWaitHooks WaitHooks;
