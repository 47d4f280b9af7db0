#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The runtime's integer conversion: leading blanks, an optional sign, then decimal digits,
// or hexadecimal digits after "$" or "0x". Decimal values must fit a signed 32-bit integer;
// hexadecimal ones may use all 32 bits ("$FFFFFFFF" is -1). Nothing may follow the digits.
bool TryStrToInt(std::string_view text, int32_t& value);

// As TryStrToInt, but a text that is no valid integer raises EConvertError with
// "'<text>' ist kein gültiger Integerwert".
int32_t StrToInt(const std::string& text);
