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
#include "platform/platform.h"
#include "serial/serial_port.h"
#include "syslog/transport_settings.h"

namespace brennicot {

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

}  // namespace brennicot
