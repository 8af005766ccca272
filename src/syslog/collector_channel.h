// Where MessageSend hands each composed message: one channel per run, chosen by `transport`. The
// UDP channel is today's socket; the stream channel queues, reconnects, resends and spools.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "syslog/message_composer.h"

namespace brennicot {

// The trap of every failure on the way out towards the collector.
inline constexpr std::string_view kMessageSendWhere = "frmBrennicot:MessageSend";

// What left, what waits and what was lost, for the status line.
struct ChannelCounts {
  std::uint64_t sent = 0;     // messages written whole to the collector (each once)
  std::uint64_t queued = 0;   // waiting to go, or to be confirmed
  std::uint64_t dropped = 0;  // left the queue undelivered: the loss, counted
};

class CollectorChannel {
 public:
  virtual ~CollectorChannel() = default;

  // Points the channel at the collector and opens it. Throws Error when it cannot be used at all
  // (a failed start). A collector that cannot be reached is no such failure for a stream: it is
  // an outage, and messages queue.
  virtual void Open(const std::string& host, std::int32_t port) = 0;
  // Hands over one composed message. Reports its own failures in the Activity log; returns
  // whether the message was taken (sent, or queued to be sent).
  virtual bool Send(const SyslogMessage& message) = 0;
  virtual bool IsOpen() const = 0;
  // Closes it. A stream channel first gives the collector a moment to take what is written, then
  // keeps what is still undelivered for the next start.
  virtual void Close() = 0;
  // What the status line says about the way out; empty for UDP, whose status says it all.
  virtual std::string StatusText() const = 0;
  virtual ChannelCounts Counts() const = 0;
  // Runs when a message leaves, once per message: a queued one is not yet sent.
  virtual void SetOnSent(std::function<void(std::string_view payload)> on_sent) = 0;
};

}  // namespace brennicot
