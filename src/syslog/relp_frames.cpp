#include "syslog/relp_frames.h"

#include <algorithm>
#include <charconv>
#include <utility>

namespace brennicot {
namespace {

constexpr std::size_t kMaxDigits = 9;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsCommandChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

std::string RelpHeader(std::string_view command, std::size_t data_size) {
  std::string header(command);
  header += ' ';
  header += std::to_string(data_size);
  if (data_size > 0) header += ' ';
  return header;
}

std::string RelpFrameText(std::uint64_t txnr, std::string_view command, std::string_view data) {
  std::string frame = std::to_string(txnr);
  frame += ' ';
  frame += RelpHeader(command, data.size());
  frame.append(data);
  frame += '\n';
  return frame;
}

RelpParser::Step RelpParser::Break(std::string why) {
  broken_ = true;
  problem_ = std::move(why);
  return Step::kBroken;
}

// At most nine digits, then a blank (or, where `may_end_line`, a line feed) in `end`.
RelpParser::Step RelpParser::ReadNumber(std::string_view in, std::size_t& at, const char* what,
                                        bool may_end_line, std::uint64_t& number, char& end) {
  const std::size_t from = at;
  while (at < in.size() && IsDigit(in[at])) {
    if (at - from == kMaxDigits) return Break(std::string("a ") + what + " longer than 9 digits");
    ++at;
  }
  if (at == in.size()) return Step::kMore;
  end = in[at];
  if (at == from || !(end == ' ' || (may_end_line && end == '\n'))) {
    return Break(std::string("no ") + what + " where one belongs");
  }
  std::from_chars(in.data() + from, in.data() + at, number);
  ++at;
  return Step::kFrame;
}

RelpParser::Step RelpParser::ReadFrame(std::string_view in, std::size_t& used) {
  std::size_t at = 0;
  char end = 0;
  std::uint64_t txnr = 0;
  if (Step s = ReadNumber(in, at, "transaction number", false, txnr, end); s != Step::kFrame) {
    return s;
  }
  const std::size_t command_at = at;
  while (at < in.size() && IsCommandChar(in[at]) && at - command_at < kRelpCommandMax) ++at;
  if (at == in.size()) return Step::kMore;
  if (in[at] != ' ' || at == command_at) return Break("no command where one belongs");
  const std::string_view command = in.substr(command_at, at - command_at);
  ++at;
  std::uint64_t length = 0;
  if (Step s = ReadNumber(in, at, "data length", true, length, end); s != Step::kFrame) return s;
  if (length > longest_) {
    return Break("a frame of " + std::to_string(length) + " bytes, longer than the " +
                 std::to_string(longest_) + " taken");
  }
  const auto size = static_cast<std::size_t>(length);
  if (end == '\n' && size != 0) return Break("a frame that ends before its data");
  if (end == ' ') {
    if (in.size() - at <= size) return Step::kMore;
    if (in[at + size] != '\n') return Break("a frame not ended by a line feed");
  }
  frame_.txnr = txnr;
  frame_.command.assign(command);
  frame_.data.assign(end == ' ' ? in.substr(at, size) : std::string_view());
  used = end == ' ' ? at + size + 1 : at;
  return Step::kFrame;
}

bool RelpParser::Feed(std::string_view chunk, const std::function<void(RelpFrame&&)>& take) {
  if (broken_) return false;
  std::string_view in = chunk;
  if (!pending_.empty()) {
    pending_.append(chunk);
    in = pending_;
  }
  std::size_t done = 0;
  while (done < in.size()) {
    std::size_t used = 0;
    const Step step = ReadFrame(in.substr(done), used);
    if (step == Step::kBroken) return false;
    if (step == Step::kMore) break;
    take(std::move(frame_));
    done += used;
  }
  // Bounded: a frame's start is at most its header and `longest_` bytes of data.
  if (!pending_.empty()) {
    pending_.erase(0, done);
  } else {
    pending_.assign(in.substr(done));
  }
  return true;
}

std::optional<RelpStatus> ParseRelpStatus(std::string_view data) {
  if (data.size() < 3 || !IsDigit(data[0]) || !IsDigit(data[1]) || !IsDigit(data[2])) {
    return std::nullopt;
  }
  if (data.size() > 3 && data[3] != ' ' && data[3] != '\n') return std::nullopt;
  RelpStatus status;
  status.code = (data[0] - '0') * 100 + (data[1] - '0') * 10 + (data[2] - '0');
  std::string_view line = data.substr(std::min<std::size_t>(data.size(), 3));
  const std::size_t end = line.find('\n');
  if (end != std::string_view::npos) {
    status.rest = std::string(line.substr(end + 1));
    line = line.substr(0, end);
  }
  if (!line.empty() && line.front() == ' ') line.remove_prefix(1);
  status.text = std::string(line);
  return status;
}

}  // namespace brennicot
