#include "DateTimeText.h"

#include <array>

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

std::string NowText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return DateTimeToStr(local);
}
