#include "config/setting_number.h"

#include <gtest/gtest.h>

#include <string>

#include "base/error.h"
#include "config/setting_keys.h"

namespace brennicot {
namespace {

// Which settings fail on a text that only begins with a number decides which error lines a bad INI
// value produces, and where: a lenient setting must never fail the message it is read for.
TEST(SettingNumber, StrictSettingsRejectWhatLenientOnesReadAsTheLeadingNumber) {
  const struct {
    std::string_view key;
    bool strict;
  } cases[] = {
      {key::kCommPort, true},   {key::kFlowControl, true},       {key::kUdpPort, true},
      {key::kMsgFormat, false}, {key::kCrSend, false},           {key::kFacility, false},
      {key::kLevel, false},     {key::kBufferMax, false},        {key::kSendCommMess, true},
      {key::kCheckSeq, true},   {key::kEnableStatusTimer, true}, {key::kStatusTimerPeriod, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.key));
    SettingsTable settings;
    settings.Add(c.key, " 7 ");
    EXPECT_EQ(SettingNumber(settings, c.key), 7);
    settings.Set(c.key, "7 days");
    if (c.strict) {
      try {
        SettingNumber(settings, c.key);
        ADD_FAILURE() << "no error";
      } catch (const Error& e) {
        EXPECT_EQ(e.number(), errnum::kTypeMismatch);
      }
    } else {
      EXPECT_EQ(SettingNumber(settings, c.key), 7);
    }
  }
  SettingsTable settings;
  settings.Add(key::kUdpTarget, "1");
  EXPECT_THROW(SettingNumber(settings, key::kUdpTarget), Error);
}

}  // namespace
}  // namespace brennicot
