// The frames of the Reliable Event Logging Protocol as this forwarder speaks them:
// "TXNR SP COMMAND SP DATALEN [SP DATA] LF", where DATA is there only when DATALEN is not 0.
//
// The parser takes what the collector sends in pieces, however the reads cut it, and hands on
// each whole frame. What the collector sends is small (responses, its `serverclose`), so a frame
// longer than the parser's bound, or bytes that are no frame, end the reading for good: the
// connection is out of step and is given up, and the reason says what was wrong.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace brennicot {

// Transaction numbers are at most nine digits; so are data lengths.
inline constexpr std::uint64_t kRelpLargestNumber = 999'999'999;
inline constexpr std::size_t kRelpCommandMax = 32;
// Bound of a frame's data the collector may send: an `open` answer lists a few offers.
inline constexpr std::size_t kRelpLongestData = 64 * 1024;

struct RelpFrame {
  std::uint64_t txnr = 0;
  std::string command;
  std::string data;
};

// One whole frame, as it goes on the wire.
std::string RelpFrameText(std::uint64_t txnr, std::string_view command, std::string_view data);

// The bytes a frame of `data_size` bytes adds after "TXNR SP": "COMMAND SP DATALEN [SP]" before
// the data and LF after it.
std::string RelpHeader(std::string_view command, std::size_t data_size);

class RelpParser {
 public:
  explicit RelpParser(std::size_t longest_data = kRelpLongestData) : longest_(longest_data) {}

  // Hands `take` each frame completed by `chunk`. False once the bytes are no RELP (now or
  // earlier): Problem() says why, and nothing more is read.
  bool Feed(std::string_view chunk, const std::function<void(RelpFrame&&)>& take);
  const std::string& Problem() const { return problem_; }

 private:
  enum class Step { kFrame, kMore, kBroken };
  // Reads the frame at the front of `in` into frame_, `used` being its size. A frame is read
  // where it lies, whole: an answer per message is read once, not byte by byte.
  Step ReadFrame(std::string_view in, std::size_t& used);
  Step ReadNumber(std::string_view in, std::size_t& at, const char* what, bool may_end_line,
                  std::uint64_t& number, char& end);
  Step Break(std::string why);

  std::size_t longest_;
  bool broken_ = false;
  RelpFrame frame_;
  std::string pending_;  // the start of a frame that the next read completes
  std::string problem_;
};

// The status a `rsp` frame carries: "200 OK", or "500 reason", with more lines after an `open`
// answer's status.
struct RelpStatus {
  int code = 0;
  std::string text;  // the status line after the code: "OK"
  std::string rest;  // the lines after it
};
// Nothing for data that does not start with three digits.
std::optional<RelpStatus> ParseRelpStatus(std::string_view data);

}  // namespace brennicot
