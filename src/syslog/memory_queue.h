// The message queue in memory: what a run keeps while the collector is away, and loses (to the
// spool at a clean stop, else for good) when the process ends.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "syslog/message_queue.h"

namespace brennicot {

class MemoryQueue final : public MessageQueue {
 public:
  // `cost`: what a message of a payload size counts against the bound. `spool_left`: runs when
  // the last message appended from the spool has left the queue, however it left.
  MemoryQueue(std::function<std::size_t(std::size_t size)> cost, std::function<void()> spool_left);

  QueuePosition Append(std::string_view payload, bool from_spool) override;
  std::optional<QueueEntry> Read(QueuePosition cursor) const override;
  std::optional<QueueEntry> Oldest() const override;
  void Delivered(QueuePosition end) override;
  void GiveUpOldest() override;
  std::size_t LoseGivenUp() override;
  std::optional<QueuePosition> DropOldest(QueuePosition from) override;
  std::size_t Messages() const override { return entries_.size() - given_up_; }
  std::size_t Bytes() const override { return bytes_; }

 private:
  struct Entry {
    QueuePosition at = 0;
    std::string payload;  // freed once given up
    std::size_t size = 0;
    bool from_spool = false;
    bool given_up = false;
  };
  static QueueEntry View(const Entry& e) { return {e.at, e.payload, e.size, e.given_up}; }
  // The first entry at or after `cursor`, from index `first` on.
  std::deque<Entry>::const_iterator Find(QueuePosition cursor, std::size_t first) const;
  void Left(const Entry& e);

  std::function<std::size_t(std::size_t)> cost_;
  std::function<void()> spool_left_;
  std::deque<Entry> entries_;  // the given-up ones first, then the queued ones
  std::size_t given_up_ = 0;
  std::size_t bytes_ = 0;
  QueuePosition next_ = 0;
  std::size_t from_spool_ = 0;  // appended from the spool and not gone yet
};

}  // namespace brennicot
