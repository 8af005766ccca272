#include "syslog/memory_queue.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace brennicot {

MemoryQueue::MemoryQueue(std::function<std::size_t(std::size_t size)> cost,
                         std::function<void()> spool_left)
    : cost_(std::move(cost)), spool_left_(std::move(spool_left)) {}

QueuePosition MemoryQueue::Append(std::string_view payload, bool from_spool) {
  Entry e;
  e.at = next_++;
  e.payload = std::string(payload);
  e.size = payload.size();
  e.from_spool = from_spool;
  bytes_ += cost_(e.size);
  if (from_spool) ++from_spool_;
  entries_.push_back(std::move(e));
  return entries_.back().at;
}

std::deque<MemoryQueue::Entry>::const_iterator MemoryQueue::Find(QueuePosition cursor,
                                                                 std::size_t first) const {
  return std::lower_bound(entries_.begin() + static_cast<std::ptrdiff_t>(first), entries_.end(),
                          cursor, [](const Entry& e, QueuePosition p) { return e.at < p; });
}

std::optional<QueueEntry> MemoryQueue::Read(QueuePosition cursor) const {
  const auto it = Find(cursor, 0);
  if (it == entries_.end()) return std::nullopt;
  return View(*it);
}

std::optional<QueueEntry> MemoryQueue::Oldest() const {
  if (given_up_ == entries_.size()) return std::nullopt;
  return View(entries_[given_up_]);
}

void MemoryQueue::Left(const Entry& e) {
  if (e.from_spool && --from_spool_ == 0 && spool_left_) spool_left_();
}

void MemoryQueue::Delivered(QueuePosition end) {
  while (!entries_.empty() && entries_.front().at < end) {
    const Entry e = std::move(entries_.front());
    entries_.pop_front();
    if (e.given_up) {
      --given_up_;
    } else {
      bytes_ -= cost_(e.size);
    }
    Left(e);
  }
}

void MemoryQueue::GiveUpOldest() {
  if (given_up_ == entries_.size()) return;
  Entry& e = entries_[given_up_++];
  bytes_ -= cost_(e.size);
  std::string().swap(e.payload);
  e.given_up = true;
}

std::size_t MemoryQueue::LoseGivenUp() {
  const std::size_t lost = given_up_;
  for (; given_up_ > 0; --given_up_) {
    const Entry e = std::move(entries_.front());
    entries_.pop_front();
    Left(e);
  }
  return lost;
}

std::optional<QueuePosition> MemoryQueue::DropOldest(QueuePosition from) {
  const auto it = Find(from, given_up_);
  if (it == entries_.end()) return std::nullopt;
  const Entry e = std::move(entries_[static_cast<std::size_t>(it - entries_.begin())]);
  entries_.erase(it);
  bytes_ -= cost_(e.size);
  Left(e);
  return e.at;
}

}  // namespace brennicot
