// Serial input as the host takes it: the Receive buffer that cuts it into lines, and the
// sequence check of the numbered test lines among them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace brennicot {

// The Receive buffer: serial input not sent yet, cut into lines at CR or LF. A line end is the
// first CR or LF plus at most one following CR or LF, so CR LF, LF CR, CR CR and LF LF each end one
// line; empty lines are skipped. Cutting is linear in the bytes: consumed lines are skipped by an
// offset, never erased from the front one by one, and a partial line that grows over many ticks
// is searched for a line end only in what each tick added.
class ReceiveBuffer {
 public:
  void Clear();
  // Characters held: the Receive buffer length.
  std::size_t Length() const { return data_.size() - start_; }
  void Append(std::string_view bytes);
  // Hands each complete non-empty line, without its line end, to on_line, in arrival order. A line
  // leaves the buffer before on_line runs, so a failure in on_line never sends it twice. What
  // stays is at most one partial line without CR or LF.
  void CutLines(const std::function<void(const std::string& line)>& on_line);
  // The whole content, leaving the buffer empty.
  std::string TakeAll();

 private:
  void Compact();

  std::string data_;
  std::size_t start_ = 0;
  // data_[start_, searched_to_) is known to hold no CR or LF.
  std::size_t searched_to_ = 0;
};

// The sequence check of numbered test lines: "This is Syslog test message number " followed by a
// four-character sequence field.
inline constexpr std::string_view kTestLinePrefix = "This is Syslog test message number ";
inline constexpr std::size_t kSequenceFieldLength = 4;

// For a test line: advances `expected`; when the received number differs, returns
// "INSEQERR - expected <expected> received <received>" and follows the received number. Any other
// line leaves `expected` alone and yields nothing. Throws Error 6 for a field or a count beyond
// 32 bits.
std::optional<std::string> CheckSequence(std::string_view line, std::int32_t& expected);

}  // namespace brennicot
