#pragma once

#include <array>
#include <string>

namespace brennicot {

// Month abbreviations indexed 1..12 (entry 0 unused): fixed English, whatever the locale.
using MonthNameTable = std::array<std::string, 13>;

void MonthNamesInit(MonthNameTable& table);

}  // namespace brennicot
