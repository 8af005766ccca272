// The stream channel: Syslog over a connection (TCP; TLS puts a session over the same socket),
// or RELP over either, that loses nothing while the collector is away.
//
// - One ordered queue of whole messages (message_queue.h), bounded by `queue_max_bytes` (framed
//   bytes and each entry's bookkeeping). Every message goes through it: while connecting, while
//   away and while the socket is full. When full, the oldest messages are dropped and counted.
//   0: no queue; a message the socket does not take at once is dropped and counted.
// - Messages leave in the order they were made, each once while the connection holds. When a
//   message is delivered is the protocol's confirmation policy (stream_confirmation.h): for
//   Syslog, the collector's host acknowledged it (where the platform tells) and the connection
//   it went on has held kHeldMs, so one that a port forwarder accepts and closes at once confirms
//   nothing; for RELP (relp_session.h), the collector's own `200 OK`. Until then it stays in the
//   queue.
// - When the connection breaks, everything still in the queue goes first on the next one, in
//   order: at least once. That is more than the unconfirmed: RELP answers may come out of order,
//   and a message whose `200 OK` came while an older one was still unanswered stays queued behind
//   it, so it goes again (and is answered again) too, and is spooled at Close. RELP's failures (any
//   answer but `200 OK`, a `serverclose`, bytes that are no RELP) end the connection like any
//   other: reported once per reason, everything queued goes again after the back-off, with new
//   numbers.
// - Every message that leaves the queue undelivered is counted as dropped. A full queue gives up
//   its oldest first; one already written stays in the system's buffer and may still arrive, so
//   it is counted only once its fate is known: delivered when confirmed in order, lost with the
//   connection or at Close. So the count is the loss but for one case: over RELP, a given-up
//   message answered `200 OK` behind an unanswered one is counted lost then too.
// - Reconnection: 1 s after a failure, doubling to 30 s, the name looked up anew each time; 1 s
//   again after a connection that held. A start whose collector is away is an outage, not a
//   failure.
// - Reports: one error line when the collector becomes unreachable (its address and the
//   system's reason) and one for each other reason while it stays away, one line when it is back
//   on a connection that held (time away, messages queued, sent again, dropped); never a line per
//   message.
// - Spool: what is still undelivered at Close is written to the spool file; Open queues the
//   spool's messages first and removes the file once they have left.
//
// Plain code over the platform's stream socket, collector address, timers and spool files, so it
// is tested with fakes and no real time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "log/activity_log.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "syslog/collector_address.h"
#include "syslog/collector_channel.h"
#include "syslog/message_queue.h"
#include "syslog/spool_files.h"
#include "syslog/stream_confirmation.h"
#include "syslog/stream_framing.h"
#include "syslog/stream_socket.h"

namespace brennicot {

// The channel's timings, in milliseconds.
inline constexpr std::int64_t kFirstRetryMs = 1'000;
inline constexpr std::int64_t kLongestRetryMs = 30'000;
// A connection that stayed up this long held: the next failure is retried after 1 s again.
inline constexpr std::int64_t kHeldMs = 10'000;
inline constexpr std::int64_t kConnectTimeoutMs = 10'000;
// How long an attempt waits for the name's fresh answer before using the last good address.
inline constexpr std::int64_t kLookupWaitMs = 5'000;
inline constexpr std::int64_t kLookupPollMs = 50;
// While written bytes await acknowledgement, how often the count is looked at.
inline constexpr std::int64_t kAckPollMs = 1'000;
// Close gives a connected collector this long to acknowledge what is written.
inline constexpr std::int64_t kCloseGraceMs = 2'000;

// Syslog messages framed on the stream, or RELP commands.
enum class StreamProtocol { kSyslog, kRelp };

struct StreamSettings {
  Framing framing = Framing::kOctet;  // Syslog only: RELP frames each message itself
  std::size_t queue_max_bytes = std::size_t{8192} * 1024;
  StreamProtocol protocol = StreamProtocol::kSyslog;
};

// What a stream channel is made of: the platform's parts, or a test's fakes.
struct StreamChannelParts {
  EventLoop& loop;
  std::function<std::int64_t()> now_ms;  // the timers' clock
  Clock& clock;                          // local time, for the status line
  ActivityLog& log;
  SpoolFiles& spool;
  std::string spool_path;
  std::unique_ptr<StreamSocket> socket;
  std::function<std::unique_ptr<CollectorAddress>(const std::string& host)> address_of;
  std::string transport_name;  // "TCP": how reports name the way out
  std::string software;        // RELP: what the `open` offers name the forwarder
  // RELP: why a collector may close a connection before it answers the opening ("" for none).
  std::string closed_unopened_hint;
};

class StreamChannel : public CollectorChannel {
 public:
  StreamChannel(StreamChannelParts parts, StreamSettings settings);
  ~StreamChannel() override;
  StreamChannel(const StreamChannel&) = delete;
  StreamChannel& operator=(const StreamChannel&) = delete;

  // The port must be 1 to 65535 (Error 380). Queues the spool's messages, then starts connecting.
  void Open(const std::string& host, std::int32_t port) override;
  bool Send(const SyslogMessage& message) override;
  bool IsOpen() const override { return open_; }
  void Close() override;
  // "TCP, connected, 0 queued (0 of 8192 KiB)", "TCP, away since 2030/02/06 21:41:56, ...",
  // with ", N dropped" once any were.
  std::string StatusText() const override;
  ChannelCounts Counts() const override;
  void SetOnSent(std::function<void(std::string_view payload)> on_sent) override {
    on_sent_ = std::move(on_sent);
  }

  std::size_t QueuedMessages() const { return queue_->Messages(); }

 private:
  enum class Phase { kIdle, kResolving, kConnecting, kConnected, kWaiting };

  void Attempt();
  void CheckLookup();
  void OnTimer();
  void OnReady();
  void OnConnected();
  // The attempt or the connection failed with `reason`; try again later.
  void OnFailed(const Error& reason, bool name_destination);
  void Pump();
  // Writes what waits in control_; false while some of it still waits.
  bool FlushControl();
  // Why the connected socket broke, as the operator is told.
  Error ConnectionFailure() const;
  bool Held() const;
  // Takes what the collector sent; false once that ended the connection.
  bool TakeAnswers(std::string_view data);
  void ReleaseAcknowledged();
  // The policy found everything before `end` delivered.
  void Delivered(QueuePosition end);
  void CountLost(std::uint64_t n);
  void Trim();
  void ReportReachable();
  void Arm(std::int64_t ms);
  void LoadSpool();
  void SaveSpool();
  std::string Destination() const;

  StreamChannelParts parts_;
  StreamSettings settings_;
  std::unique_ptr<Timer> timer_;
  std::unique_ptr<CollectorAddress> address_;
  std::string host_;
  std::uint16_t port_ = 0;
  bool open_ = false;
  Phase phase_ = Phase::kIdle;
  std::int64_t delay_ms_ = kFirstRetryMs;
  std::int64_t attempt_started_ms_ = 0;
  std::int64_t connected_at_ms_ = 0;
  std::function<void(std::string_view)> on_sent_;
  bool closing_ = false;

  std::unique_ptr<MessageQueue> queue_;
  StreamWriting writing_;
  std::unique_ptr<StreamConfirmation> confirmation_;
  std::string wire_;     // the message being written, as the policy put it on the wire
  std::string control_;  // what the policy writes before anything else (RELP `open`, `close`)
  QueuePosition sent_end_ = 0;  // every message before it was written whole once
  std::uint64_t sent_total_ = 0;
  std::optional<QueuePosition> last_dropped_;
  std::uint64_t dropped_total_ = 0;
  bool overflow_told_ = false;  // the queue overflowed while connected, and it was said

  // The current outage.
  bool away_ = false;
  std::int64_t away_since_ms_ = 0;
  LocalTime away_since_{};
  std::uint64_t away_queued_ = 0;
  std::uint64_t away_resent_ = 0;
  std::uint64_t away_dropped_ = 0;
  std::vector<std::string> away_reasons_;  // told once each
};

}  // namespace brennicot
