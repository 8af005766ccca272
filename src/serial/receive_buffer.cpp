#include "serial/receive_buffer.h"

namespace brennicot {
namespace {
bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }
}  // namespace

void ReceiveBuffer::Clear() {
  data_.clear();
  start_ = 0;
}

void ReceiveBuffer::Compact() {
  if (start_ == 0) return;
  data_.erase(0, start_);
  start_ = 0;
}

void ReceiveBuffer::Append(std::string_view bytes) {
  // Drop consumed lines first, so the buffer does not grow by what was already sent.
  Compact();
  data_.append(bytes);
}

void ReceiveBuffer::CutLines(const std::function<void(const std::string&)>& on_line) {
  std::string line;
  while (start_ < data_.size()) {
    const std::size_t end = data_.find_first_of("\r\n", start_);
    if (end == std::string::npos) break;
    line.assign(data_, start_, end - start_);
    std::size_t next = end + 1;
    if (next < data_.size() && IsLineEnd(data_[next])) ++next;
    start_ = next;
    if (start_ == data_.size()) Clear();
    if (!line.empty()) on_line(line);
  }
}

std::string ReceiveBuffer::TakeAll() {
  std::string all = data_.substr(start_);
  Clear();
  return all;
}

}  // namespace brennicot
