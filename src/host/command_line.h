// The command keywords and the texts derived from them.
#pragma once

#include <string>
#include <string_view>

namespace brennicot {

inline constexpr std::string_view kInstallCommand = "-install";
inline constexpr std::string_view kUninstallCommand = "-uninstall";
inline constexpr std::string_view kInteractCommand = "-interact";

// The service name: `servicename` with every blank replaced by "_".
std::string ServiceNameFrom(std::string_view display_name);
// "Vemo Brennicot install was successful" / "Vemo Brennicot uninstall failed".
std::string RegistrationMessage(std::string_view command, bool succeeded);

}  // namespace brennicot
