#pragma once

#include <string>

// printf-style formatting into a byte string; the message texts of the program use
// only %s (given as const char*) and %d.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
