#include "syslog/stream_framing.h"

#include <algorithm>
#include <string>
#include <utility>

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

std::size_t FramedSize(std::size_t message_size, Framing framing) {
  if (framing == Framing::kLf) return message_size + 1;
  return std::to_string(message_size).size() + 1 + message_size;
}

std::string_view SpoolHeading() {
  return kSpoolHeading;
}

void SpoolDecoder::Feed(std::string_view chunk,
                        const std::function<void(std::string&& message)>& take,
                        const std::function<void(std::size_t size)>& coming) {
  while (!chunk.empty()) {
    switch (state_) {
      case State::kHeading: {
        const std::size_t n = std::min(chunk.size(), kSpoolHeading.size() - pending_.size());
        pending_.append(chunk.substr(0, n));
        chunk.remove_prefix(n);
        if (kSpoolHeading.substr(0, pending_.size()) != pending_) {
          state_ = State::kBroken;
        } else if (pending_.size() == kSpoolHeading.size()) {
          pending_.clear();
          state_ = State::kLength;
        }
        break;
      }
      case State::kLength: {
        const char c = chunk.front();
        chunk.remove_prefix(1);
        if (c >= '0' && c <= '9' && pending_.size() < kMaxLengthDigits) {
          pending_ += c;
          break;
        }
        if (c != ' ' || pending_.empty()) {
          state_ = State::kBroken;
          break;
        }
        needed_ = std::stoull(pending_);
        pending_.clear();
        if (needed_ > longest_) {
          ++passed_over_;
          state_ = State::kPassOver;
        } else {
          if (coming) coming(needed_);
          if (needed_ == 0) {
            take(std::string());
          } else {
            state_ = State::kBody;
          }
        }
        break;
      }
      case State::kBody:
      case State::kPassOver: {
        const std::size_t n = std::min(chunk.size(), needed_);
        if (state_ == State::kBody) pending_.append(chunk.substr(0, n));
        chunk.remove_prefix(n);
        needed_ -= n;
        if (needed_ == 0) {
          if (state_ == State::kBody) take(std::move(pending_));
          pending_.clear();
          state_ = State::kLength;
        }
        break;
      }
      case State::kBroken:
        return;
    }
  }
}

}  // namespace brennicot
