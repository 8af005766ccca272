// MessageSend of a host over fakes with any facility, level, msgformat, OriginalAddress,
// VemoBrennicotID, local time, host name and text. Each call either sends the payload that the
// layout rules give (layout 2 never longer than 1024) or writes one error line and sends nothing.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "fakes/host_fakes.h"
#include "fuzz/fuzz_support.h"
#include "host/frm_brennicot.h"

namespace brennicot::fuzz {
namespace {

const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::string Field(const char* key, const std::string& value) {
  return value.empty() ? std::string() : std::string(key) + "=" + value + " ";
}

// The priority digits must be plain decimal and read back as facility * 8 + level to 15
// significant digits.
void CheckPriority(const std::string& digits, double priority) {
  FUZZ_CHECK(!digits.empty() && digits.find_first_not_of("-0123456789.") == std::string::npos,
             "priority written as " + Printable(digits));
  FUZZ_CHECK(
      digits.back() != '.' && (digits.find('.') == std::string::npos || digits.back() != '0'),
      "priority with a trailing point or zero: " + digits);
  const double back = std::strtod(digits.c_str(), nullptr);
  FUZZ_CHECK(std::fabs(back - priority) <= std::fabs(priority) * 1e-14,
             "priority " + digits + " for " + std::to_string(priority));
}

struct Host {
  fakes::FakePlatform platform;
  std::unique_ptr<frmBrennicot> host;
  Host() {
    platform.arguments = "-interact";
    host = std::make_unique<frmBrennicot>(platform);
    host->FormLoad();
  }
};

}  // namespace
}  // namespace brennicot::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace brennicot;
  using namespace brennicot::fuzz;
  // MessageSend keeps no state between calls, so one host serves every input.
  static Host* const h = new Host;
  fakes::FakePlatform& platform = h->platform;
  frmBrennicot& host = *h->host;

  FuzzInput in(data, size);
  const std::string facility = in.Text(24);
  const std::string level = in.Text(24);
  const std::string msgformat = in.Text(12);
  const std::string original = in.Text(40);
  const std::string id = in.Text(40);
  LocalTime now;
  now.year = 2000 + in.Byte();
  now.month = 1 + in.Byte() % 12;
  now.day = 1 + in.Byte() % 31;
  now.hour = in.Byte() % 24;
  now.minute = in.Byte() % 60;
  now.second = in.Byte() % 60;
  const std::uint8_t host_len = in.Byte();
  // Mostly a plain name; sometimes a long one, so the host alone can push layout 2 past its limit.
  const std::string host_name = host_len < 200 ? "PLANTPC" : std::string(host_len * 5u, 'h');
  const std::string text = in.Rest();

  host.Settings().Set("facility", facility);
  host.Settings().Set("level", level);
  host.Settings().Set("msgformat", msgformat);
  host.Settings().Set("OriginalAddress", original);
  host.Settings().Set("VemoBrennicotID", id);
  platform.clock.now = now;
  platform.socket->host_name = host_name;
  platform.socket->sent.clear();
  platform.files.files.clear();
  platform.ui.echoed.clear();  // the interactive echo of every error line would pile up

  host.MessageSend(text);

  const std::vector<std::string> log = platform.files.LogMessages();
  const std::vector<std::string>& sent = platform.socket->sent;
  FUZZ_CHECK(sent.size() + log.size() == 1, "neither exactly one datagram nor one error line");
  if (!log.empty()) {
    FUZZ_CHECK(log[0].rfind("frmBrennicot:MessageSend err#:", 0) == 0, "log: " + log[0]);
  }

  const double layout = ReferenceNumericValue(msgformat);
  const double priority = ReferenceNumericValue(facility) * 8 + ReferenceNumericValue(level);
  const bool needs_priority = layout == 1 || layout == 2;
  if (layout != 1 && layout != 2 && layout != 3) {
    FUZZ_CHECK(sent.empty(), "layout " + Printable(msgformat) + " sent something");
    return 0;
  }
  if (needs_priority && !std::isfinite(priority)) {
    FUZZ_CHECK(sent.empty(), "a priority beyond a number was sent");
    return 0;
  }
  FUZZ_CHECK(sent.size() == 1, "nothing sent for layout " + Printable(msgformat));
  const std::string& payload = sent[0];
  if (layout == 3) {
    FUZZ_CHECK(payload == text, "layout 3 is not the text alone");
    return 0;
  }

  FUZZ_CHECK(payload.size() > 2 && payload[0] == '<', "no priority in " + Printable(payload));
  const std::size_t close = payload.find('>');
  FUZZ_CHECK(close != std::string::npos, "priority not closed");
  CheckPriority(payload.substr(1, close - 1), priority);
  const std::string head = payload.substr(0, close + 1);
  const std::string fields =
      Field("OriginalAddress", original) + Field("VemoBrennicotID", id) + text;
  if (layout == 1) {
    FUZZ_CHECK(payload == head + fields, "layout 1 differs: " + Printable(payload));
    return 0;
  }
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%s %2d %02d:%02d:%02d ", kMonths[now.month - 1], now.day,
                now.hour, now.minute, now.second);
  const std::string full = head + stamp + host_name + " Vemo_Brennicot " + fields;
  FUZZ_CHECK(payload.size() <= 1024, "layout 2 longer than 1024");
  FUZZ_CHECK(payload == full.substr(0, 1024), "layout 2 differs: " + Printable(payload));
  return 0;
}
