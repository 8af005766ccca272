// How messages are laid one after another on a stream, and in the spool file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace brennicot {

enum class Framing {
  kOctet,  // "LEN SP MSG": octet counting, any byte may be in the message
  kLf,     // "MSG LF": for collectors that take nothing else; a LF inside a message splits it
};

// The message as it goes on the stream.
std::string Frame(std::string_view message, Framing framing);
// What Frame(message, framing) takes, in bytes.
std::size_t FramedSize(std::size_t message_size, Framing framing);

// The spool file: a first line naming its form, then each message octet-counted, so that any byte
// value survives whatever framing the next start uses.
std::string_view SpoolHeading();

// Takes a spool file in pieces, however they fall, and hands on each message as soon as its last
// byte is in. A message longer than `longest` is passed over unread and only counted: it could not
// be kept anyway, and a length the file does not honour then costs no memory. Bytes that are not a
// spool's end the reading; what came before them stands.
class SpoolDecoder {
 public:
  explicit SpoolDecoder(std::size_t longest) : longest_(longest) {}

  // `coming` learns each message's size before its bytes are gathered (and before `take`).
  void Feed(std::string_view chunk, const std::function<void(std::string&& message)>& take,
            const std::function<void(std::size_t size)>& coming = {});
  // Whether everything fed so far ends where a message ends, after a spool's first line.
  bool Complete() const { return state_ == State::kLength && pending_.empty(); }
  std::uint64_t PassedOver() const { return passed_over_; }

 private:
  enum class State { kHeading, kLength, kBody, kPassOver, kBroken };

  std::size_t longest_;
  State state_ = State::kHeading;
  std::string pending_;     // the heading, the length's digits or the message so far
  std::size_t needed_ = 0;  // bytes of the message still to come (kBody, kPassOver)
  std::uint64_t passed_over_ = 0;
};

}  // namespace brennicot
