#include "TransferSpeed.h"

#include <cstdint>
#include <cstdio>

double TransferSeconds(std::chrono::milliseconds elapsed) {
  constexpr int64_t MillisecondsPerDay = 24 * 60 * 60 * 1000;
  const int64_t ofDay = elapsed.count() < 0 ? 0 : elapsed.count() % MillisecondsPerDay;
  const int64_t hours = ofDay / 3600000;
  const int64_t minutes = ofDay / 60000 % 60;
  const int64_t seconds = ofDay / 1000 % 60;
  const auto whole = static_cast<uint16_t>(minutes * 60 + seconds + hours * 3600);
  return whole + static_cast<double>(ofDay % 1000) / 1000.0;
}

double UpdatedTransferRate(double rate, uint64_t bytes, std::chrono::milliseconds elapsed) {
  const double time = TransferSeconds(elapsed);
  return time > 0 ? static_cast<double>(bytes) / 1024.0 / time : rate;
}

std::string SpeedText(double rate) {
  // printf follows LC_NUMERIC, which the application takes from the environment.
  char text[64];
  std::snprintf(text, sizeof text, "%.2f KB/s", rate);
  return text;
}
