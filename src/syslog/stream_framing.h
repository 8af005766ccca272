// How messages are laid one after another on a stream, and in the spool file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace brennicot {

enum class Framing {
  kOctet,  // "LEN SP MSG": octet counting, any byte may be in the message
  kLf,     // "MSG LF": for collectors that take nothing else; a LF inside a message splits it
};

// The message as it goes on the stream.
std::string Frame(std::string_view message, Framing framing);
// Where the message starts inside Frame(message, framing).
std::size_t FrameHeaderSize(std::size_t message_size, Framing framing);

// The spool file: a first line naming its form, then each message octet-counted, so that any byte
// value survives whatever framing the next start uses.
std::string EncodeSpool(const std::vector<std::string_view>& messages);
struct SpoolContent {
  std::vector<std::string> messages;
  bool complete = true;  // false: the file was not a spool, or ended inside a message
};
SpoolContent DecodeSpool(std::string_view bytes);

}  // namespace brennicot
