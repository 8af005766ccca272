#include "config/port_map.h"

#include <string_view>

#include "base/error.h"
#include "base/text.h"
#include "config/ini_loader.h"

namespace brennicot {
namespace {

constexpr std::string_view kPortsSection = "Ports";
// The section is small, but device paths by id are long; leave room for many of them.
constexpr std::int32_t kPortsBufferSize = 32767;

}  // namespace

std::string SerialDevicePath(std::int16_t port, ProfileReader& profile,
                             const std::string& ini_path) {
  if (port < 1) {
    throw InvalidPropertyValue("COM" + std::to_string(port) +
                               " is not a serial port number (the first port is 1)");
  }
  const std::string key = "COM" + std::to_string(port);
  const std::string block =
      profile.ReadSection(std::string(kPortsSection), kPortsBufferSize, ini_path);

  bool mapped = false;
  std::string device;
  for (const std::string_view entry : SectionEntries(block, kPortsBufferSize)) {
    const std::size_t equals = entry.find('=');
    if (equals == std::string_view::npos || !EqualIgnoringCase(entry.substr(0, equals), key)) {
      continue;
    }
    mapped = true;
    device = entry.substr(equals + 1);  // a path may hold "=" itself
  }
  if (!mapped) return "/dev/ttyS" + std::to_string(port - 1);
  // A relative path would be looked up from whatever the working directory is (/ for a service).
  if (device.empty() || device.front() != '/') {
    throw InvalidPropertyValue("[Ports] " + key + "=" + device +
                               " does not name a device by its absolute path");
  }
  return device;
}

}  // namespace brennicot
