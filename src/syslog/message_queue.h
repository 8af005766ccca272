// The queue a stream channel keeps its messages in, from the moment they are composed until the
// collector has them. The channel owns this contract; its confirmation policies only call it.
//
// A position names one message for as long as it is in the queue: each Append takes the next
// number, from 0 upwards, so positions rise in queue order and are never given twice. A position
// is not an index: messages dropped from the middle leave gaps, and a cursor is any position,
// taken to mean "the first message at or after it".
//
// A message is in one of three states:
// - queued: counted in Messages() and Bytes(), readable with its payload;
// - given up: written whole to the current connection, then taken out of the count by the bound.
//   It can no longer go again, but the system may still deliver it: only its size is kept, until
//   Delivered says it arrived or LoseGivenUp that it went with the connection. Given-up messages
//   are always older than every queued one;
// - gone: delivered, dropped or lost; no call sees it again.
//
// What every implementation guarantees:
// - Payloads are kept unframed and come back byte for byte, in position order; framing is the
//   writer's business, when a message is written.
// - Bytes() is what the queued messages cost against the channel's bound, by the cost function
//   the implementation was given; a given-up message costs nothing.
// - Delivered(end) removes everything before `end`, queued or given up, and nothing else; it is
//   only asked for messages written whole, so never past a queued message not yet written.
// - Nothing leaves but by Delivered, DropOldest, GiveUpOldest and LoseGivenUp, so the channel
//   counts every loss exactly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace brennicot {

using QueuePosition = std::uint64_t;

// What a queued message costs besides its bytes (its entry and its allocation), counted against
// `queue_max_bytes` so that the bound holds for memory too, however short the messages.
inline constexpr std::size_t kQueueEntryBytes = 96;

struct QueueEntry {
  QueuePosition at = 0;
  std::string_view payload;  // valid until the next call that changes the queue; empty if given up
  std::size_t size = 0;      // the payload's size, kept for a given-up message too
  bool given_up = false;
};

class MessageQueue {
 public:
  virtual ~MessageQueue() = default;

  // `from_spool`: the message is one the last run kept; the implementation tells when the last
  // of those has left, so that the file they came from can go.
  virtual QueuePosition Append(std::string_view payload, bool from_spool) = 0;
  // The first message, queued or given up, at or after `cursor`.
  virtual std::optional<QueueEntry> Read(QueuePosition cursor) const = 0;
  // The oldest queued message (given-up ones are passed over).
  virtual std::optional<QueueEntry> Oldest() const = 0;
  // Every message before `end` arrived.
  virtual void Delivered(QueuePosition end) = 0;
  // Takes the oldest queued message out of the count; it must be written whole.
  virtual void GiveUpOldest() = 0;
  // Every given-up message went with the connection; returns how many.
  virtual std::size_t LoseGivenUp() = 0;
  // Drops the oldest queued message at or after `from`; returns its position, or nothing when
  // there is none.
  virtual std::optional<QueuePosition> DropOldest(QueuePosition from) = 0;
  virtual std::size_t Messages() const = 0;
  virtual std::size_t Bytes() const = 0;
};

}  // namespace brennicot
