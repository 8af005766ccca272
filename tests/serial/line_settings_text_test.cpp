// The form of a settings text and the handshaking mode, checked alike for both backends; what a
// driver can do with a well-formed text is each backend's own test.
#include "serial/line_settings_text.h"

#include <gtest/gtest.h>

#include "kit/error_of.h"
#include "kit/files.h"
#include "serial/settings_refusal.h"

namespace brennicot {
namespace {

using testkit::Contains;
using testkit::ExpectSettingsRefused;
using testkit::FailureOf;

TEST(LineSettingsText, TakesBlanksAroundFieldsAndParityInEitherCase) {
  const LineSettingsText s = ParseLineSettingsText(" 19200 , e , 7 , 1 ");
  EXPECT_EQ(s.speed, 19200u);
  EXPECT_EQ(s.parity, 'E');
  EXPECT_EQ(s.data_bits, 7);
  EXPECT_EQ(s.stop_bits, "1");
}

TEST(LineSettingsText, RejectsATextOfAnotherFormNamingTheFieldAtFault) {
  ExpectSettingsRefused([](const std::string& text) { ParseLineSettingsText(text); },
                        {
                            {"", "expected speed,parity,data bits,stop bits"},
                            {"9600,N,8", "expected speed,parity,data bits,stop bits"},
                            {"9600,N,8,1,1", "expected speed,parity,data bits,stop bits"},
                            {"9600;N;8;1", "expected speed,parity,data bits,stop bits"},
                            {"0,N,8,1", "speed '0' is not a speed"},
                            {"-9600,N,8,1", "speed '-9600'"},
                            {"96OO,N,8,1", "speed '96OO'"},
                            {"9600,X,8,1", "parity 'X' must be N, E, O, M or S"},
                            {"9600,NO,8,1", "parity 'NO'"},
                            {"9600,,8,1", "parity ''"},
                            {"9600,N,4,1", "data bits '4' must be 5, 6, 7 or 8"},
                            {"9600,N,08,1", "data bits '08'"},
                            {"9600,N,9,1", "data bits '9'"},
                        });
  for (std::int32_t mode : {-1, 4}) {
    const Error e = FailureOf([&] { HandshakingOf(mode); });
    EXPECT_EQ(e.number(), errnum::kInvalidPropertyValue) << mode;
    EXPECT_TRUE(Contains(e.description(), "Handshaking " + std::to_string(mode)));
  }
}

}  // namespace
}  // namespace brennicot
