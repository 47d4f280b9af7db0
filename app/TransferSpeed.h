#pragma once

#include <chrono>
#include <cstdint>
#include <string>

// The seconds of a running transfer as the speed display counts them: only the time of
// day of the elapsed time (whole days are dropped), its whole seconds held in an unsigned
// 16-bit value (so they wrap above 65535), plus the milliseconds. A negative elapsed time
// (the clock was set back) counts as 0.
double TransferSeconds(std::chrono::milliseconds elapsed);

// The speed in KB/s after bytes in elapsed: bytes / 1024 over TransferSeconds(elapsed), or
// rate unchanged when that is 0 (the same millisecond as the begin, or a wrapped count of
// seconds). bytes is the whole count, not the work event's 32-bit total, which wraps
// beyond 2 GiB.
double UpdatedTransferRate(double rate, std::uint64_t bytes, std::chrono::milliseconds elapsed);

// The speed in KB/s as the status bar shows it: at least one digit, the locale's decimal
// separator (LC_NUMERIC), two decimals, " KB/s". 4 -> "4,00 KB/s" under de_DE.
std::string SpeedText(double rate);
