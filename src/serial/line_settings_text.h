// The serial line settings text "speed,parity,data,stop" ("9600,N,8,1") and the handshaking mode,
// taken apart and checked for form. Each backend then checks what its driver can do with them.
#pragma once

#include <cstdint>
#include <string>

#include "base/error.h"

namespace brennicot {

struct LineSettingsText {
  unsigned long speed = 9600;   // bits per second, above 0
  char parity = 'N';            // 'N', 'E', 'O', 'M' or 'S'
  int data_bits = 8;            // 5 to 8
  std::string stop_bits = "1";  // as written; the stop bits a driver offers differ
};

// Blanks around a field are allowed, parity in either case. A text of another form throws Error
// 380 naming the text and the field at fault.
LineSettingsText ParseLineSettingsText(const std::string& text);

// Error 380 for the settings text `text`, saying why.
Error LineSettingsError(const std::string& text, const std::string& why);

// The modes of the serial port's Handshaking property, numbered as the property numbers them.
enum class Handshaking : std::int32_t { kNone = 0, kXonXoff = 1, kRtsCts = 2, kBoth = 3 };

constexpr bool UsesXonXoff(Handshaking mode) {
  return mode == Handshaking::kXonXoff || mode == Handshaking::kBoth;
}
constexpr bool UsesRtsCts(Handshaking mode) {
  return mode == Handshaking::kRtsCts || mode == Handshaking::kBoth;
}

// The mode the property's number stands for; any other number throws Error 380.
Handshaking HandshakingOf(std::int32_t mode);

}  // namespace brennicot
