#include "serial/serial_driver_win.h"

#include <gtest/gtest.h>

#include "kit/error_of.h"
#include "kit/files.h"
#include "platform/windows_api_win.h"
#include "serial/serial_port.h"
#include "serial/settings_refusal.h"

namespace brennicot::win32 {

namespace {

using testkit::ExpectSettingsRefused;

TEST(Win32LineSettingsTest, TextsAndHandshakingBecomeTheirControlBlock) {
  struct Case {
    const char* text;
    std::int32_t handshaking;
    DWORD speed;
    BYTE parity;
    BYTE data_bits;
    BYTE stop_bits;
  };
  const Case cases[] = {
      {"9600,N,8,1", 0, 9600, NOPARITY, 8, ONESTOPBIT},
      {"110,E,7,2", 1, 110, EVENPARITY, 7, TWOSTOPBITS},
      {"115200,O,6,1", 2, 115200, ODDPARITY, 6, ONESTOPBIT},
      {"14400,M,5,1.5", 3, 14400, MARKPARITY, 5, ONE5STOPBITS},
      {"256000,s,8,2", 0, 256000, SPACEPARITY, 8, TWOSTOPBITS},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    DCB dcb{};
    // Leftovers of a previous owner that would corrupt or stop a transparent line.
    dcb.fNull = TRUE;
    dcb.fErrorChar = TRUE;
    dcb.fAbortOnError = TRUE;
    dcb.fOutxDsrFlow = TRUE;
    dcb.fBinary = FALSE;
    ApplyToDcb(ParseLineSettings(c.text), HandshakingOf(c.handshaking), true, true, dcb);
    EXPECT_EQ(dcb.DCBlength, sizeof dcb);
    EXPECT_EQ(dcb.BaudRate, c.speed);
    EXPECT_EQ(dcb.Parity, c.parity);
    EXPECT_EQ(dcb.fParity, c.parity != NOPARITY);
    EXPECT_EQ(dcb.ByteSize, c.data_bits);
    EXPECT_EQ(dcb.StopBits, c.stop_bits);
    EXPECT_TRUE(dcb.fBinary);
    EXPECT_FALSE(dcb.fNull);
    EXPECT_FALSE(dcb.fErrorChar);
    EXPECT_FALSE(dcb.fAbortOnError);
    EXPECT_FALSE(dcb.fOutxDsrFlow);
    const bool xon_xoff = c.handshaking == 1 || c.handshaking == 3;
    const bool rts_cts = c.handshaking == 2 || c.handshaking == 3;
    EXPECT_EQ(dcb.fOutX, xon_xoff);
    EXPECT_EQ(dcb.fInX, xon_xoff);
    EXPECT_EQ(dcb.fOutxCtsFlow, rts_cts);
    EXPECT_EQ(dcb.fRtsControl,
              static_cast<DWORD>(rts_cts ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE));
    EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
    EXPECT_EQ(dcb.XonChar, 0x11);
    EXPECT_EQ(dcb.XoffChar, 0x13);
  }
}

TEST(Win32LineSettingsTest, DtrAndRtsFollowTheirSwitches) {
  const LineSettings settings = ParseLineSettings("9600,N,8,1");
  DCB dcb{};
  ApplyToDcb(settings, Handshaking::kNone, false, false, dcb);
  EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_DISABLE));
  EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_DISABLE));
  // Under RTS/CTS handshaking the driver owns RTS, whatever the switch says.
  ApplyToDcb(settings, Handshaking::kRtsCts, false, false, dcb);
  EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE));
}

// The form of the text is checked in common (line_settings_text_test); these are what the Win32
// driver cannot do.
TEST(Win32LineSettingsTest, RejectsWhatTheLineCannotDoNamingTheFault) {
  ExpectSettingsRefused([](const std::string& text) { ParseLineSettings(text); },
                        {
                            {"999999999,N,8,1", "speed '999999999'"},
                            {"9600,N,8,0", "stop bits '0' must be 1, 1.5 or 2"},
                            {"9600,N,8,1.5", "stop bits '1.5' go with 5 data bits only"},
                            {"9600,N,5,2", "stop bits '2' cannot go with 5 data bits"},
                        });
}

using Codes = std::vector<std::int16_t>;

TEST(Win32LineEventsTest, ModemLineChangesAndErrorFlagsBecomeTheirCodes) {
  const ModemLines none{true, 0};
  struct Case {
    const char* what;
    std::uint32_t errors;
    ModemLines before;
    ModemLines after;
    Codes expected;
  };
  const Case cases[] = {
      {"nothing changed", 0, {true, MS_DSR_ON | MS_CTS_ON}, {true, MS_DSR_ON | MS_CTS_ON}, {}},
      {"DSR rose", 0, none, {true, MS_DSR_ON}, {comm_event::kDsr}},
      {"DSR fell", 0, {true, MS_DSR_ON}, none, {comm_event::kDsr}},
      {"carrier changed", 0, {true, MS_RLSD_ON}, none, {comm_event::kCd}},
      {"ring indicator rose", 0, none, {true, MS_RING_ON}, {comm_event::kRing}},
      {"ring indicator fell: the same ring", 0, {true, MS_RING_ON}, none, {}},
      {"CTS moves with the handshake", 0, none, {true, MS_CTS_ON}, {}},
      {"break", CE_BREAK, none, none, {comm_event::kBreak}},
      {"framing", CE_FRAME, none, none, {comm_event::kFrame}},
      {"overrun", CE_OVERRUN, none, none, {comm_event::kOverrun}},
      {"input queue overflow", CE_RXOVER, none, none, {comm_event::kRxOver}},
      {"parity", CE_RXPARITY, none, none, {comm_event::kRxParity}},
      {"output queue full", CE_TXFULL, none, none, {comm_event::kTxFull}},
      {"everything at once, in code order",
       CE_TXFULL | CE_RXPARITY | CE_RXOVER | CE_OVERRUN | CE_FRAME | CE_BREAK,
       none,
       {true, MS_DSR_ON | MS_RLSD_ON | MS_RING_ON},
       {comm_event::kDsr, comm_event::kCd, comm_event::kRing, comm_event::kBreak,
        comm_event::kFrame, comm_event::kOverrun, comm_event::kRxOver, comm_event::kRxParity,
        comm_event::kTxFull}},
      {"a port without modem lines still reports errors", CE_FRAME, {}, {}, {comm_event::kFrame}},
      {"modem lines seen only once are no change", 0, {}, {true, MS_DSR_ON}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(CommEventsOf(c.errors, c.before, c.after), c.expected);
  }
}

}  // namespace

}  // namespace brennicot::win32
