// The stream channel: Syslog over a connection (TCP; TLS puts a session over the same socket)
// that loses nothing while the collector is away.
//
// - One ordered queue of whole messages, bounded by `queue_max_bytes` (framed bytes and each
//   entry's bookkeeping). Every
//   message goes through it: while connecting, while away and while the socket is full. When full,
//   the oldest messages are dropped and counted. 0: no queue; a message the socket does not take
//   at once is dropped and counted.
// - Messages leave in the order they were made, each once while the connection holds. A message
//   is delivered when the collector's host acknowledged it (where the platform tells) and the
//   connection it went on has held kHeldMs: one that a port forwarder accepts and closes at once
//   confirms nothing. Until then it stays in the queue; when the connection breaks it goes first
//   on the next one: at least once.
// - RELP (framing kRelp) puts the collector's own word in place of its host's: the connection
//   opens a session (`open` with the offers), each message is a `syslog` command with the
//   connection's next transaction number, at most kRelpWindow of them unconfirmed, and a message
//   is delivered on its `200 OK` however young the connection. Any other answer, a `serverclose`
//   or bytes that are no RELP end the connection like a failure: reported once per reason, and
//   after the back-off everything unconfirmed goes again, in order, with new numbers. Close sends
//   `close` once all is confirmed.
// - Every message that leaves the queue undelivered is counted as dropped, so the count is the
//   loss. A full queue gives up its oldest first; one already written stays in the system's
//   buffer and may still arrive, so it is counted only once its fate is known (lost with the
//   connection, or acknowledged).
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
#include <deque>
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
#include "syslog/relp_frames.h"
#include "syslog/spool_files.h"
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
// RELP: how many messages may await the collector's answer at once.
inline constexpr std::size_t kRelpWindow = 128;

// What a queued message costs besides its bytes (its entry and its allocation), counted against
// `queue_max_bytes` so that the bound holds for memory too, however short the messages.
inline constexpr std::size_t kQueueEntryBytes = 96;

struct StreamSettings {
  Framing framing = Framing::kOctet;
  std::size_t queue_max_bytes = std::size_t{8192} * 1024;
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

  std::size_t QueuedMessages() const { return queue_.size(); }

 private:
  enum class Phase { kIdle, kResolving, kConnecting, kConnected, kWaiting };
  struct Message {
    std::string framed;
    std::size_t payload_at = 0;  // where the message starts inside `framed`
    std::uint64_t serial = 0;
    bool from_spool = false;
    bool sent = false;  // written whole once: told to the operator, counted as sent
    // RELP: the transaction number's bytes in front of `framed` on the current connection.
    std::uint16_t prefix_size = 0;
    bool confirmed = false;  // RELP: answered `200 OK`, awaiting those before it
  };
  // A written message the bound took out of the queue: it can no longer go again, but the
  // system may still deliver it.
  struct GivenUp {
    std::size_t size = 0;
    bool from_spool = false;
    bool confirmed = false;
  };

  void Enqueue(std::string_view payload, bool from_spool);
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
  bool MayWrite() const;
  // RELP: takes what the collector sent; false once that ended the connection.
  bool TakeRelp(std::string_view data);
  std::optional<Error> OnRelpFrame(const RelpFrame& frame);
  std::optional<Error> OnRelpOpened(const RelpStatus& status);
  void ReleaseConfirmed();
  std::size_t InFlight() const { return given_up_.size() + written_; }
  static std::size_t WireSize(const Message& m) { return m.framed.size() + m.prefix_size; }
  void ReleaseAcknowledged();
  void CountLost(std::uint64_t n);
  void Trim();
  void GiveUpFront();
  void PopFront();
  void SpoolMessageLeft(bool from_spool);
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

  // RELP, of the current connection.
  bool relp_ = false;
  RelpParser relp_parser_;
  bool relp_open_ = false;         // the collector accepted the session
  bool relp_confirmed_ = false;    // and confirmed a message on it
  std::uint64_t next_txnr_ = 1;    // of the next command written
  std::uint64_t oldest_txnr_ = 1;  // of given_up_'s first, else queue_[0], when in flight
  std::uint64_t close_txnr_ = 0;   // 0 until `close` is written
  bool close_answered_ = false;
  std::string wire_;     // queue_[written_] with its transaction number, while it is written
  std::string control_;  // `open` or `close`, written before anything else

  // queue_[0, written_) are written whole to the current connection and await acknowledgement;
  // offset_ bytes of queue_[written_] are written too.
  std::deque<Message> queue_;
  std::size_t queued_bytes_ = 0;  // counted against the bound: kQueueEntryBytes each included
  std::size_t written_ = 0;
  std::size_t written_bytes_ = 0;  // of queue_[0, written_), offset_ included
  std::size_t offset_ = 0;
  // Written before queue_[0] on the current connection, out of the queue, fate unknown.
  std::deque<GivenUp> given_up_;
  std::size_t given_up_bytes_ = 0;
  std::uint64_t next_serial_ = 0;
  std::uint64_t sent_total_ = 0;
  std::uint64_t last_dropped_serial_ = UINT64_MAX;
  std::uint64_t dropped_total_ = 0;
  bool overflow_told_ = false;    // the queue overflowed while connected, and it was said
  std::size_t spooled_left_ = 0;  // messages of the spool file not yet delivered

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
