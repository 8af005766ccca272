#include "syslog/relp_frames.h"

#include <algorithm>
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

void RelpParser::Break(std::string why) {
  state_ = State::kBroken;
  problem_ = std::move(why);
}

bool RelpParser::Feed(std::string_view chunk, const std::function<void(RelpFrame&&)>& take) {
  while (!chunk.empty() && state_ != State::kBroken) {
    switch (state_) {
      case State::kTxnr:
      case State::kLength: {
        const char c = chunk.front();
        chunk.remove_prefix(1);
        if (IsDigit(c) && digits_.size() < kMaxDigits) {
          digits_ += c;
          break;
        }
        const bool txnr = state_ == State::kTxnr;
        const char* what = txnr ? "transaction number" : "data length";
        if (IsDigit(c)) {
          Break(std::string("a ") + what + " longer than 9 digits");
          break;
        }
        const bool ends_length = !txnr && (c == '\n' || c == ' ');
        if ((c != ' ' && !ends_length) || digits_.empty()) {
          Break(std::string("no ") + what + " where one belongs");
          break;
        }
        const std::uint64_t n = std::stoull(digits_);
        digits_.clear();
        if (txnr) {
          frame_.txnr = n;
          state_ = State::kCommand;
          break;
        }
        if (n > longest_) {
          Break("a frame of " + std::to_string(n) + " bytes, longer than the " +
                std::to_string(longest_) + " taken");
          break;
        }
        needed_ = static_cast<std::size_t>(n);
        if (c == '\n') {
          if (needed_ != 0) {
            Break("a frame that ends before its data");
            break;
          }
          take(std::exchange(frame_, {}));
          state_ = State::kTxnr;
        } else {
          state_ = needed_ == 0 ? State::kEnd : State::kData;
        }
        break;
      }
      case State::kCommand: {
        const char c = chunk.front();
        chunk.remove_prefix(1);
        if (IsCommandChar(c) && frame_.command.size() < kRelpCommandMax) {
          frame_.command += c;
        } else if (c == ' ' && !frame_.command.empty()) {
          state_ = State::kLength;
        } else {
          Break("no command where one belongs");
        }
        break;
      }
      case State::kData: {
        const std::size_t n = std::min(chunk.size(), needed_);
        frame_.data.append(chunk.substr(0, n));
        chunk.remove_prefix(n);
        needed_ -= n;
        if (needed_ == 0) state_ = State::kEnd;
        break;
      }
      case State::kEnd: {
        const char c = chunk.front();
        chunk.remove_prefix(1);
        if (c != '\n') {
          Break("a frame not ended by a line feed");
          break;
        }
        take(std::exchange(frame_, {}));
        state_ = State::kTxnr;
        break;
      }
      case State::kBroken:
        break;
    }
  }
  return state_ != State::kBroken;
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
