// How a numeric setting's text becomes a number where it is used. The choice is per setting and
// lives in one table beside the loader's rules: strict for the settings whose use fails without a
// whole number, lenient for those read the forgiving way (the leading number, 0 when none).
#pragma once

#include <string_view>

#include "config/settings_table.h"

namespace brennicot {

// The value of the numeric setting `key`: strict settings throw Error 13 (or 6) for a text that is
// not wholly a number; lenient ones never fail. Error 51 for a key that is not numeric.
double SettingNumber(const SettingsTable& settings, std::string_view key);

}  // namespace brennicot
