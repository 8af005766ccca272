// The seventeen settings: key names (spelled exactly so; the table compares them case-sensitively)
// and their defaults, in table order. The default INI file is written from this same table.
#pragma once

#include <array>
#include <string_view>

namespace brennicot {

namespace key {
inline constexpr std::string_view kCommPort = "commport";
inline constexpr std::string_view kCommIni = "commini";
inline constexpr std::string_view kFlowControl = "flowcontrol";
inline constexpr std::string_view kUdpPort = "udpport";
inline constexpr std::string_view kUdpTarget = "udptarget";
inline constexpr std::string_view kMsgFormat = "msgformat";
inline constexpr std::string_view kCrSend = "crsend";
inline constexpr std::string_view kServiceName = "servicename";
inline constexpr std::string_view kFacility = "facility";
inline constexpr std::string_view kLevel = "level";
inline constexpr std::string_view kBufferMax = "buffermax";
inline constexpr std::string_view kSendCommMess = "sendcommmess";
inline constexpr std::string_view kCheckSeq = "checkseq";
inline constexpr std::string_view kOriginalAddress = "OriginalAddress";
inline constexpr std::string_view kVemoBrennicotId = "VemoBrennicotID";
inline constexpr std::string_view kEnableStatusTimer = "EnableStatusTimer";
inline constexpr std::string_view kStatusTimerPeriod = "StatusTimerPeriod";
// Optional keys, beyond the seventeen: absent means the behaviour of the seventeen alone. They are
// never written into the default file.
inline constexpr std::string_view kTransport = "transport";
inline constexpr std::string_view kFraming = "framing";
inline constexpr std::string_view kQueueMax = "queuemax";
inline constexpr std::string_view kTlsCa = "tlsca";
inline constexpr std::string_view kTlsName = "tlsname";
inline constexpr std::string_view kTlsCert = "tlscert";
inline constexpr std::string_view kTlsKey = "tlskey";
}  // namespace key

struct SettingDefault {
  std::string_view key;
  std::string_view value;
};

inline constexpr std::array<SettingDefault, 17> kSettingDefaults = {{
    {key::kCommPort, "1"},
    {key::kCommIni, "9600,N,8,1"},
    {key::kFlowControl, "1"},
    {key::kUdpPort, "514"},
    {key::kUdpTarget, "localhost"},
    {key::kMsgFormat, "1"},
    {key::kCrSend, "1"},
    {key::kServiceName, "Vemo Brennicot"},
    {key::kFacility, "23"},
    {key::kLevel, "6"},
    {key::kBufferMax, "4096"},
    {key::kSendCommMess, "1"},
    {key::kCheckSeq, "0"},
    {key::kOriginalAddress, ""},
    {key::kVemoBrennicotId, "Brennicot"},
    {key::kEnableStatusTimer, "1"},
    {key::kStatusTimerPeriod, "30"},
}};

inline constexpr std::array<SettingDefault, 7> kOptionalSettingDefaults = {{
    {key::kTransport, "udp"},
    {key::kFraming, "octet"},
    {key::kQueueMax, "8192"},
    {key::kTlsCa, ""},    // empty: the system's trust store
    {key::kTlsName, ""},  // empty: udptarget
    {key::kTlsCert, ""},
    {key::kTlsKey, ""},
}};

}  // namespace brennicot
