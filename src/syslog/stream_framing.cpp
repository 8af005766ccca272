#include "syslog/stream_framing.h"

namespace brennicot {
namespace {

constexpr std::string_view kSpoolHeading = "Vemo_Brennicot spool 1\n";
// A length longer than this many digits is not one the program wrote.
constexpr std::size_t kMaxLengthDigits = 12;

}  // namespace

std::string Frame(std::string_view message, Framing framing) {
  std::string framed;
  if (framing == Framing::kLf) {
    framed.reserve(message.size() + 1);
    framed.append(message);
    framed += '\n';
  } else {
    const std::string length = std::to_string(message.size());
    framed.reserve(length.size() + 1 + message.size());
    framed.append(length);
    framed += ' ';
    framed.append(message);
  }
  return framed;
}

std::size_t FrameHeaderSize(std::size_t message_size, Framing framing) {
  return framing == Framing::kLf ? 0 : std::to_string(message_size).size() + 1;
}

std::string EncodeSpool(const std::vector<std::string_view>& messages) {
  std::string bytes(kSpoolHeading);
  for (const std::string_view m : messages) bytes += Frame(m, Framing::kOctet);
  return bytes;
}

SpoolContent DecodeSpool(std::string_view bytes) {
  SpoolContent content;
  if (bytes.substr(0, kSpoolHeading.size()) != kSpoolHeading) {
    content.complete = false;
    return content;
  }
  std::size_t at = kSpoolHeading.size();
  while (at < bytes.size()) {
    const std::size_t blank = bytes.find(' ', at);
    if (blank == std::string_view::npos || blank == at || blank - at > kMaxLengthDigits) break;
    std::size_t length = 0;
    bool digits = true;
    for (std::size_t i = at; i < blank; ++i) {
      const char c = bytes[i];
      if (c < '0' || c > '9') digits = false;
      length = length * 10 + static_cast<std::size_t>(c - '0');
    }
    if (!digits || length > bytes.size() - blank - 1) break;
    content.messages.emplace_back(bytes.substr(blank + 1, length));
    at = blank + 1 + length;
  }
  content.complete = at == bytes.size();
  return content;
}

}  // namespace brennicot
