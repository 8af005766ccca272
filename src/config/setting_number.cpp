#include "config/setting_number.h"

#include <array>
#include <string>

#include "base/error.h"
#include "base/numeric_text.h"
#include "config/setting_keys.h"

namespace brennicot {
namespace {

enum class Conversion { kStrict, kLenient };

struct NumericSetting {
  std::string_view key;
  Conversion conversion;
};

constexpr std::array<NumericSetting, 12> kNumericSettings = {{
    {key::kCommPort, Conversion::kStrict},
    {key::kFlowControl, Conversion::kStrict},
    {key::kUdpPort, Conversion::kStrict},
    // The layout and the priority parts are read on every message: they must never fail it.
    {key::kMsgFormat, Conversion::kLenient},
    {key::kCrSend, Conversion::kLenient},
    {key::kFacility, Conversion::kLenient},
    {key::kLevel, Conversion::kLenient},
    {key::kBufferMax, Conversion::kLenient},
    {key::kSendCommMess, Conversion::kStrict},
    {key::kCheckSeq, Conversion::kStrict},
    {key::kEnableStatusTimer, Conversion::kStrict},
    {key::kStatusTimerPeriod, Conversion::kStrict},
}};

}  // namespace

double SettingNumber(const SettingsTable& settings, std::string_view key) {
  for (const NumericSetting& setting : kNumericSettings) {
    if (setting.key != key) continue;
    const std::string& text = settings.Get(key);
    return setting.conversion == Conversion::kStrict ? ToNumber(text) : NumericValue(text);
  }
  throw Error(errnum::kInternal,
              "Internal error: " + std::string(key) + " is not a number setting");
}

}  // namespace brennicot
