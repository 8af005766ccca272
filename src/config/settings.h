// The settings, one row each: the key (spelled exactly so; the Settings table compares keys
// case-sensitively), the default, what the INI loader accepts and what it does with a value it
// refuses, how the value's users read it as a number, and whether it is one of the seventeen of the
// default INI file. The Settings table's defaults, the default INI file, the loader, the start's
// check and SettingNumber all read these rows and nothing else.
//
// The seventeen come first; their order and defaults are those of the default file and never
// change. A setting beyond them is one more row with `seventeen = false`: it is never written into
// the default file, and a file that does not name it leaves its default in the table, so a run
// without it behaves as before the row existed. A value its check refuses fails the start (one
// error line naming the key and the value): quietly using the default instead would change what
// the operator asked for. For example:
//
//   namespace key { inline constexpr std::string_view kQueueMax = "queuemax"; }
//
//   {.key = key::kQueueMax, .default_value = "8192", .reading = Reading::kStrict,
//    .rule = {.check = Check::kWholeNumberFromTo, .low = 0, .high = 1048576,
//             .rejected = Rejected::kFailsStart},
//    .seventeen = false},
//
// makes "queuemax=lots" end a start with "... err#:380:Invalid property value: queuemax=lots is not
// a whole number from 0 to 1048576", and SettingNumber(settings, key::kQueueMax) gives 8192 when
// the file has no queuemax. A row of words ("one of these") is
//
//   {.key = key::kFraming, .default_value = "octet",
//    .rule = {.check = Check::kOneOf, .rejected = Rejected::kFailsStart, .words = "octet|lf"},
//    .seventeen = false},
//
// A rule's own `report` replaces the generated reason ("is not one of octet, lf") when given.
// Tests that list the whole Settings table see such rows after the seventeen.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/text.h"
#include "config/settings_table.h"
#include "log/activity_log.h"

namespace brennicot {

// Checks that decide whether a value from the INI file may replace a setting. Pure functions of
// their text: no trimming, no length limit, and no input makes them fail.

// A UDP port: only the digits 0-9, value 1 to 65535; any number of leading zeros ("00514").
bool IsValidPort(const std::string& text);

// A dotted IPv4 address: exactly three ".", only digits and dots, each part at most 255. An empty
// part counts as 0, so "10..0.1" and "..." pass; leading zeros are allowed.
bool IsValidIPv4(const std::string& text);

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
// Beyond the seventeen: the way out towards the collector.
inline constexpr std::string_view kTransport = "transport";
inline constexpr std::string_view kFraming = "framing";
inline constexpr std::string_view kQueueMax = "queuemax";
inline constexpr std::string_view kTlsCa = "tlsca";
inline constexpr std::string_view kTlsName = "tlsname";
inline constexpr std::string_view kTlsCert = "tlscert";
inline constexpr std::string_view kTlsKey = "tlskey";
// Beyond the seventeen: the Activity log's bound.
inline constexpr std::string_view kLogMaxSize = "logmaxsize";
}  // namespace key

// The Activity log's bound in KiB. Nothing on Windows rotates the file, and the service runs for
// years; on Linux logrotate does (the Debian package ships its rule), so the file only grows.
#ifdef _WIN32
inline constexpr std::string_view kLogMaxSizeDefault = "10240";
#else
inline constexpr std::string_view kLogMaxSizeDefault = "0";
#endif

// What a value from the INI file must be for the loader to take it.
enum class Check : std::uint8_t {
  kAnything,           // any text, the empty one included
  kNumberBetween,      // a number strictly between low and high; text that is no number at all
                       // is a fault that ends the loading
  kPort,               // IsValidPort
  kAddress,            // IsValidIPv4; the empty text is passed over without a word
  kNotEmpty,           // any text but the empty one
  kNotEmptyFirst12,    // not empty; only its first twelve characters are kept
  kOneOf,              // exactly one of `words` ("udp|tcp"), letter case included
  kWholeNumberFromTo,  // a whole number from low to high, both included
};

// What becomes of a value its check refuses.
enum class Rejected : std::uint8_t {
  kSilently,    // the current value stays; nothing is said
  kReported,    // the current value stays; "Vemo_Brennicot<report><value> - using <current>"
  kFailsStart,  // stored as written; CheckSettingsForStart refuses it
};

// How the users of a setting turn its text into a number.
enum class Reading : std::uint8_t {
  kText,     // not a number setting
  kStrict,   // the whole text must be a number: a use fails without one
  kLenient,  // the leading number, 0 when none: read on every message, so it never fails
};

// What the loader takes for a setting, and what it does with a value it does not take.
struct SettingRule {
  Check check = Check::kAnything;
  double low = 0;  // bounds of kNumberBetween and kWholeNumberFromTo
  double high = 0;
  Rejected rejected = Rejected::kSilently;
  // kReported: the text between the stem and the value. kFailsStart: the reason after
  // "<key>=<value>" (generated from the check when empty).
  std::string_view report = {};
  std::string_view words = {};  // kOneOf: the accepted words, separated by "|"
};

struct SettingRow {
  std::string_view key;
  std::string_view default_value;
  Reading reading = Reading::kText;
  SettingRule rule = {};
  bool seventeen = true;  // written into the default INI file
};

// One row a line, two where the rule is long.
// clang-format off
inline constexpr std::array kSettings = std::to_array<SettingRow>({
    {key::kCommPort, "1", Reading::kStrict, {Check::kNumberBetween, 0, 256}},
    {key::kCommIni, "9600,N,8,1"},
    {key::kFlowControl, "1", Reading::kStrict},
    {key::kUdpPort, "514", Reading::kStrict,
     {Check::kPort, 0, 0, Rejected::kReported, " invalid port- "}},
    {key::kUdpTarget, "localhost"},
    {key::kMsgFormat, "1", Reading::kLenient,
     {Check::kNumberBetween, 0, 4, Rejected::kReported, " invalid message format- "}},
    {key::kCrSend, "1", Reading::kLenient, {Check::kNumberBetween, -1, 11}},
    {key::kServiceName, "Vemo Brennicot"},
    {key::kFacility, "23", Reading::kLenient},
    {key::kLevel, "6", Reading::kLenient},
    {key::kBufferMax, "4096", Reading::kLenient,
     {Check::kNumberBetween, 500, 65507, Rejected::kReported, " invalid buffer limit- "}},
    {key::kSendCommMess, "1", Reading::kStrict},
    {key::kCheckSeq, "0", Reading::kStrict},
    {key::kOriginalAddress, "", Reading::kText,
     {Check::kAddress, 0, 0, Rejected::kReported, " invalid IP- "}},
    {key::kVemoBrennicotId, "Brennicot", Reading::kText, {Check::kNotEmptyFirst12}},
    {key::kEnableStatusTimer, "1", Reading::kStrict, {Check::kNotEmpty}},
    {key::kStatusTimerPeriod, "30", Reading::kStrict, {Check::kNotEmpty}},
    {key::kTransport, "udp", Reading::kText,
     {Check::kOneOf, 0, 0, Rejected::kFailsStart, {}, "udp|tcp|tls|relp|relp-tls"}, false},
    {key::kFraming, "octet", Reading::kText,
     {Check::kOneOf, 0, 0, Rejected::kFailsStart, {}, "octet|lf"}, false},
    {key::kQueueMax, "8192", Reading::kStrict,
     {Check::kWholeNumberFromTo, 0, 1048576, Rejected::kFailsStart}, false},
    // TLS: files of authorities (empty: the system's), the collector's name (empty: udptarget's),
    // the forwarder's own certificate and key. The files are read when the start uses them.
    {key::kTlsCa, "", Reading::kText, {}, false},
    {key::kTlsName, "", Reading::kText, {}, false},
    {key::kTlsCert, "", Reading::kText, {}, false},
    {key::kTlsKey, "", Reading::kText, {}, false},
    {key::kLogMaxSize, kLogMaxSizeDefault, Reading::kStrict,
     {Check::kWholeNumberFromTo, 0, 4194304, Rejected::kFailsStart}, false},
});
// clang-format on

// The rows' own consistency, checked by the compiler: keys differ even in letter case (the file's
// keys are matched that way), the seventeen come first and are seventeen, a reported refusal has
// its text and a silent one none, and only checks that cannot fault may fail a start.
constexpr bool RowsAreConsistent() {
  std::size_t seventeen = 0;
  for (std::size_t i = 0; i < kSettings.size(); ++i) {
    const SettingRow& row = kSettings[i];
    const SettingRule& rule = row.rule;
    if (row.seventeen) {
      if (seventeen != i) return false;
      ++seventeen;
    }
    if (rule.rejected == Rejected::kReported && rule.report.empty()) return false;
    if (rule.rejected == Rejected::kSilently && !rule.report.empty()) return false;
    if (rule.rejected == Rejected::kFailsStart && rule.check != Check::kOneOf &&
        rule.check != Check::kWholeNumberFromTo) {
      return false;
    }
    if ((rule.check == Check::kOneOf) == rule.words.empty()) return false;
    for (std::size_t j = 0; j < i; ++j) {
      const std::string_view other = kSettings[j].key;
      bool same = other.size() == row.key.size();
      for (std::size_t k = 0; same && k < other.size(); ++k) {
        same = LowerAscii(other[k]) == LowerAscii(row.key[k]);
      }
      if (same) return false;
    }
  }
  return seventeen == 17;
}
static_assert(RowsAreConsistent());

// The row of `key`, spelled exactly; nullptr for a key that is no setting.
const SettingRow* SettingRowOf(std::string_view key);
// The row whose key equals `name` once both have their ASCII letters lowered; nullptr when none.
const SettingRow* SettingRowIgnoringCase(std::string_view name);

// Whether `row` takes `value` from the INI file. kNumberBetween throws Error 13 (or 6), naming the
// key, for text that is no number; no other check fails.
bool Accepts(const SettingRow& row, std::string_view value);

// Adds every row's default, in table order, to an empty Settings table. A key already present stops
// it at that row with one "BrennicotMain:IniSetDefault err#:" line; earlier rows stay.
void IniSetDefault(SettingsTable& settings, ActivityLog& log);

// The value of the number setting `key`, read as its row says: strict settings throw Error 13 (or
// 6) for a text that is not wholly a number; lenient ones never fail. Error 51 for any other key.
double SettingNumber(const SettingsTable& settings, std::string_view key);

// Throws Error 380, naming the key and the value, for the first setting a start must refuse: a
// value its check does not take, where the row says so.
void CheckSettingsForStart(const SettingsTable& settings);
// The same for one row: nothing for a row whose refusals do not fail a start.
void CheckSettingForStart(const SettingsTable& settings, const SettingRow& row);

}  // namespace brennicot
