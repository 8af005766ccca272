#include "config/setting_number.h"

#include <algorithm>
#include <array>
#include <string>

#include "base/error.h"
#include "base/numeric_text.h"
#include "config/setting_keys.h"

namespace brennicot {
namespace {

// Refused when their text is not wholly a number: their use fails without one.
constexpr std::array kStrict = {key::kCommPort,         key::kFlowControl, key::kUdpPort,
                                key::kSendCommMess,     key::kCheckSeq,    key::kEnableStatusTimer,
                                key::kStatusTimerPeriod};
// Read the forgiving way (the leading number, 0 when none): the layout and the priority parts are
// read on every message and must never fail it.
constexpr std::array kLenient = {key::kMsgFormat, key::kCrSend, key::kFacility, key::kLevel,
                                 key::kBufferMax};

bool Listed(const auto& keys, std::string_view key) {
  return std::find(keys.begin(), keys.end(), key) != keys.end();
}

}  // namespace

double SettingNumber(const SettingsTable& settings, std::string_view key) {
  if (Listed(kStrict, key)) return ToNumber(settings.Get(key));
  if (Listed(kLenient, key)) return NumericValue(settings.Get(key));
  throw Error(errnum::kInternal,
              "Internal error: " + std::string(key) + " is not a number setting");
}

}  // namespace brennicot
