#include "DateTimeText.h"

#include <array>
#include <clocale>

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
  // anew only when the second or the LC_TIME locale has changed.
  thread_local std::time_t madeFor = -1;
  thread_local std::string madeIn;
  thread_local std::string text;
  const std::time_t now = std::time(nullptr);
  const char* locale = std::setlocale(LC_TIME, nullptr);
  if (now != madeFor || locale == nullptr || madeIn != locale) {
    std::tm local{};
    localtime_r(&now, &local);
    text = DateTimeToStr(local);
    madeFor = now;
    madeIn = locale != nullptr ? locale : "";
  }
  return text;
}
