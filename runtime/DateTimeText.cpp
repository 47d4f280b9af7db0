#include "DateTimeText.h"

#include <array>
#include <langinfo.h>
#include <utility>

namespace {

std::string Strftime(const char* pattern, const std::tm& local) {
  std::array<char, 128> buffer{};
  const size_t length = std::strftime(buffer.data(), buffer.size(), pattern, &local);
  return std::string(buffer.data(), length);
}

} // namespace

std::string DateTimeToStr(const std::tm& local) {
  std::string text = Strftime("%x", local);
  if (local.tm_hour != 0 || local.tm_min != 0 || local.tm_sec != 0)
    text += ' ' + Strftime("%X", local);
  return text;
}

const std::string& NowText() {
  // The trace stamps every line with this text, several lines a millisecond during a run
  // of small files, and formatting it costs more than the rest of a line: it is made
  // anew only when the second or the thread's LC_TIME has changed. The formats' addresses
  // tell the LC_TIME in effect without the lock and the copy of asking for its name.
  thread_local std::time_t madeFor = -1;
  thread_local std::pair<const char*, const char*> madeWith;
  thread_local std::string text;
  const std::time_t now = std::time(nullptr);
  const std::pair<const char*, const char*> formats(nl_langinfo(D_FMT), nl_langinfo(T_FMT));
  if (now != madeFor || formats != madeWith) {
    std::tm local{};
    localtime_r(&now, &local);
    text = DateTimeToStr(local);
    madeFor = now;
    madeWith = formats;
  }
  return text;
}
