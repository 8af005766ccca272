// What a start makes of the loaded settings before it opens anything with them: each value
// converted as the start converts it, the serial properties written to the closed port, and for
// TLS the files read and matched by a session of the kind the start connects with. StartUp runs
// it stage by stage between its openings; -check runs every step of it on its own, so -check
// refuses exactly what a start refuses and finds every such value, not only the first.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "config/settings_table.h"
#include "host/platform.h"
#include "host/service_control.h"
#include "serial/serial_port.h"
#include "syslog/stream_channel.h"
#include "syslog/tls_session.h"

namespace brennicot {

// The way out towards the collector, from the settings `transport`, `framing` and `queuemax`, and
// for TLS `tlsca`, `tlsname`, `tlscert` and `tlskey`. Their defaults give UDP, as without them;
// values a start cannot use were refused before (the settings table's rules).
enum class Transport { kUdp, kTcp, kTls, kRelp, kRelpTls };

// Whether the way out is a TLS session (tls, relp-tls), whose files a start reads.
bool UsesTls(Transport transport);

struct TransportSettings {
  Transport transport = Transport::kUdp;
  // queuemax is read whatever the transport: over UDP it bounds what a stream run's spool gives.
  StreamSettings stream;
  TlsSettings tls;  // for kTls, kRelpTls: the name is udptarget's unless tlsname gives one
};

// Throws Error 380 for framing=lf with tls (TLS always counts octets) and with relp or relp-tls
// (RELP frames each message itself).
TransportSettings ReadTransportSettings(const SettingsTable& settings);

class StartPlan {
 public:
  // The parts of a start in its order: the steps of a stage run just before the start opens (or
  // arms) what they are for. kRunning is what the running forwarder converts on every line, event
  // or tick: a start never runs it, a value that fails there fails every one of them.
  enum class Stage { kChannel, kPort, kCarriageReturns, kStatusTimer, kRunning };

  // `port` is the host's closed serial port: the start writes its properties before opening it.
  StartPlan(const SettingsTable& settings, Platform& platform, SerialPort& port);
  StartPlan(const StartPlan&) = delete;
  StartPlan& operator=(const StartPlan&) = delete;

  // The start: the steps of `stage` in order. Throws the first failure, which the start reports.
  void Run(Stage stage);
  // -check: every step of every stage, each on its own; `refused` hears of each that fails, with
  // the setting it reads. A step that needs what a failed one makes is not run.
  void RunEach(const std::function<void(std::string_view key, const Error&)>& refused);

  // What the steps made, once they ran.
  const TransportSettings& Transport() const { return transport_; }
  std::int32_t RemotePort() const { return remote_port_; }
  std::int32_t CarriageReturns() const { return carriage_returns_; }
  bool StatusTimer() const { return status_timer_; }
  // TLS: the private key's file when others than its owner may read it (the start warns).
  const std::optional<std::string>& KeyOpenToOthers() const { return key_open_; }

 private:
  struct Step {
    Stage stage;
    std::string_view key;                // the setting whose value fails it ("" for none)
    std::vector<std::string_view> need;  // settings whose steps must have passed first
    std::function<void()> run;
  };
  void Add(Stage stage, std::string_view key, std::vector<std::string_view> need,
           std::function<void()> run);

  const SettingsTable& settings_;
  Platform& platform_;
  std::vector<Step> steps_;
  TransportSettings transport_;
  std::int32_t remote_port_ = 0;
  std::int32_t carriage_returns_ = 0;
  bool status_timer_ = false;
  std::optional<std::string> key_open_;
};

// -check: what a start would make of the settings file, told before the start.
//
// Reads the settings file as a start would and reports on standard output, one line each: every
// entry that is invalid or would be ignored (each judged on its own, and those a start would not
// reach because of a fault before them), every value the start itself would refuse, whether the
// port's device exists and the service's user may open it (it is not opened: a running service
// may hold it), whether that user may read the TLS files, and whether the collector's name
// resolves; then a verdict. Writes no file and no log entry, connects nowhere. The service's user
// is the one its registration names (`service`, named here as the settings name it); where none
// is named, this user. `port` is the host's closed serial port, which knows the device behind a
// port number. Returns the exit status: 0 when a start would use exactly what the file says and
// every check passed, 1 otherwise. `settings_file`: the one -settings named, "" for the one beside
// the program.
int CheckSettingsFile(Platform& platform, SerialPort& port, ServiceControl& service,
                      const std::string& settings_file);

}  // namespace brennicot
