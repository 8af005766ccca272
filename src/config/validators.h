// Checks that decide whether a value from the INI file may replace a setting. Pure functions of
// their text: no trimming, no length limit, and no input makes them fail.
#pragma once

#include <string>

namespace brennicot {

// A UDP port: only the digits 0-9, value 1 to 65535; any number of leading zeros ("00514").
bool IsValidPort(const std::string& text);

// A dotted IPv4 address: exactly three ".", only digits and dots, each part at most 255. An empty
// part counts as 0, so "10..0.1" and "..." pass; leading zeros are allowed.
bool IsValidIPv4(const std::string& text);

}  // namespace brennicot
