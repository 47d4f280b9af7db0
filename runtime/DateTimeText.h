#pragma once

#include <ctime>
#include <string>

// The default date-time text: the locale's short date, a blank and its long time
// (07.12.2026 14:05:09 under de_DE). At exactly midnight (hours, minutes and seconds all
// zero) the blank and the time are left out. Follows the process's LC_TIME.
std::string DateTimeToStr(const std::tm& local);

// DateTimeToStr of the current local date and time; valid until the thread's next call.
const std::string& NowText();
