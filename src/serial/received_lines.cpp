#include "serial/received_lines.h"

#include <algorithm>
#include <limits>

#include "base/error.h"
#include "base/numeric_text.h"

namespace brennicot {

namespace {
bool IsLineEnd(char c) {
  return c == '\r' || c == '\n';
}
}  // namespace

void ReceiveBuffer::Clear() {
  data_.clear();
  start_ = 0;
  searched_to_ = 0;
}

void ReceiveBuffer::Compact() {
  if (start_ == 0) return;
  data_.erase(0, start_);
  searched_to_ = searched_to_ > start_ ? searched_to_ - start_ : 0;
  start_ = 0;
}

void ReceiveBuffer::Append(std::string_view bytes) {
  // Drop consumed lines first, so the buffer does not grow by what was already sent.
  Compact();
  data_.append(bytes);
}

void ReceiveBuffer::CutLines(const std::function<void(const std::string&)>& on_line) {
  constexpr std::size_t kNone = std::string::npos;
  std::string line;
  // The next CR and the next LF are each looked for again only once the cut has passed them, and
  // never before searched_to_: a long partial line or a long run of one line end is read once.
  const std::size_t from = std::max(start_, searched_to_);
  std::size_t cr = data_.find('\r', from);
  std::size_t lf = data_.find('\n', from);
  while (start_ < data_.size()) {
    if (cr != kNone && cr < start_) cr = data_.find('\r', start_);
    if (lf != kNone && lf < start_) lf = data_.find('\n', start_);
    const std::size_t end = std::min(cr, lf);
    if (end == kNone) break;
    line.assign(data_, start_, end - start_);
    std::size_t next = end + 1;
    if (next < data_.size() && IsLineEnd(data_[next])) ++next;
    start_ = next;
    if (start_ == data_.size()) Clear();
    if (!line.empty()) on_line(line);
  }
  // Only reached when every line went out: what is left holds no line end.
  searched_to_ = data_.size();
}

std::string ReceiveBuffer::TakeAll() {
  std::string all = start_ == 0 ? std::move(data_) : data_.substr(start_);
  Clear();
  return all;
}

std::optional<std::string> CheckSequence(std::string_view line, std::int32_t& expected) {
  if (line.size() < kSequenceFieldLength) return std::nullopt;
  if (line.substr(0, line.size() - kSequenceFieldLength) != kTestLinePrefix) return std::nullopt;

  if (expected == std::numeric_limits<std::int32_t>::max()) {
    throw Overflow("expected sequence number beyond 32 bits");
  }
  ++expected;
  const std::int32_t received = ToInt32(NumericValue(line.substr(kTestLinePrefix.size())));
  if (received == expected) return std::nullopt;
  std::string report =
      "INSEQERR - expected " + std::to_string(expected) + " received " + std::to_string(received);
  expected = received;
  return report;
}

}  // namespace brennicot
