#include "syslog/stream_channel.h"

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

#include "base/product_names.h"
#include "base/text.h"
#include "log/error_trap.h"
#include "syslog/spool.h"

namespace brennicot {
namespace {

std::string Count(std::uint64_t n, std::string_view one, std::string_view many) {
  return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

// While the collector stays away, this many different reasons are told; more are not.
constexpr std::size_t kReasonsTold = 8;

std::string KiB(std::size_t bytes) {
  return std::to_string((bytes + 1023) / 1024);
}

}  // namespace

StreamChannel::StreamChannel(StreamChannelParts parts, StreamSettings settings)
    : parts_(std::move(parts)),
      settings_(settings),
      timer_(parts_.loop.CreateTimer([this] { OnTimer(); })) {
  parts_.socket->SetOnReady([this] { OnReady(); });
}

StreamChannel::~StreamChannel() {
  parts_.socket->SetOnReady({});
}

std::string StreamChannel::Destination() const {
  return parts_.transport_name + " to " + HostAndPort(host_, std::to_string(port_));
}

void StreamChannel::Open(const std::string& host, std::int32_t port) {
  RequirePortInRange(port);
  host_ = host;
  port_ = static_cast<std::uint16_t>(port);
  address_ = parts_.address_of(host);
  open_ = true;
  LoadSpool();
  Attempt();
}

void StreamChannel::Enqueue(std::string_view payload, bool from_spool) {
  Message m;
  m.framed = Frame(payload, settings_.framing);
  m.payload_at = FrameHeaderSize(payload.size(), settings_.framing);
  m.serial = next_serial_++;
  m.from_spool = from_spool;
  queued_bytes_ += m.framed.size() + kQueueEntryBytes;
  queue_.push_back(std::move(m));
  if (away_) ++away_queued_;
}

bool StreamChannel::Send(const SyslogMessage& message) {
  if (!open_) {
    parts_.log.LogWrite(
        ErrorLine(kMessageSendWhere, errnum::kPortNotOpen, "not connected (" + Destination() + ")"),
        LogKind::kError);
    return false;
  }
  const std::uint64_t serial = next_serial_;
  Enqueue(message.Payload(), false);
  Pump();
  Trim();
  return last_dropped_serial_ != serial;
}

void StreamChannel::Attempt() {
  phase_ = Phase::kResolving;
  attempt_started_ms_ = parts_.now_ms();
  address_->LookUpNow();
  CheckLookup();
}

void StreamChannel::CheckLookup() {
  if (address_->Resolving() && parts_.now_ms() - attempt_started_ms_ < kLookupWaitMs) {
    Arm(kLookupPollMs);
    return;
  }
  ResolvedAddress target;
  try {
    target = address_->Current();
  } catch (const Error& e) {
    OnFailed(e, false);  // the resolver's error names the host already
    return;
  }
  phase_ = Phase::kConnecting;
  try {
    parts_.socket->Connect(target, port_);
  } catch (const Error& e) {
    OnFailed(e, true);
    return;
  }
  Arm(kConnectTimeoutMs);
}

void StreamChannel::Arm(std::int64_t ms) {
  timer_->SetEnabled(false);
  timer_->SetInterval(static_cast<int>(ms));
  timer_->SetEnabled(true);
}

void StreamChannel::OnTimer() {
  timer_->SetEnabled(false);
  switch (phase_) {
    case Phase::kWaiting:
      Attempt();
      break;
    case Phase::kResolving:
      CheckLookup();
      break;
    case Phase::kConnecting:
      parts_.socket->TimeOut();
      OnReady();
      break;
    case Phase::kConnected:
      Pump();
      break;
    case Phase::kIdle:
      break;
  }
}

void StreamChannel::OnReady() {
  StreamSocket& socket = *parts_.socket;
  if (phase_ == Phase::kConnecting) {
    if (socket.GetState() == StreamSocket::State::kConnected) {
      OnConnected();
    } else if (socket.GetState() == StreamSocket::State::kBroken) {
      OnFailed(socket.Failure(), true);
    }
  } else if (phase_ == Phase::kConnected) {
    socket.Read();  // a collector has nothing to say; this notices one that closed
    if (socket.GetState() == StreamSocket::State::kConnected) {
      Pump();
    } else {
      OnFailed(socket.Failure(), true);
    }
  }
}

void StreamChannel::OnConnected() {
  timer_->SetEnabled(false);
  phase_ = Phase::kConnected;
  connected_at_ms_ = parts_.now_ms();
  Pump();
}

bool StreamChannel::Held() const {
  return phase_ == Phase::kConnected && parts_.now_ms() - connected_at_ms_ >= kHeldMs;
}

void StreamChannel::ReportReachable() {
  // Only a connection that held brings the collector back: one that a port forwarder accepts
  // and closes at once is part of the outage.
  if (!away_ || !Held()) return;
  away_ = false;
  away_reasons_.clear();
  const std::int64_t seconds = (connected_at_ms_ - away_since_ms_ + 500) / 1000;
  parts_.log.LogWrite(
      "Collector " + Destination() + " reachable again after " + std::to_string(seconds) + " s: " +
          Count(away_queued_, "message", "messages") + " queued, " + std::to_string(away_resent_) +
          " sent again, " + std::to_string(away_dropped_) + " dropped",
      LogKind::kInformation);
}

void StreamChannel::OnFailed(const Error& reason, bool name_destination) {
  StreamSocket& socket = *parts_.socket;
  const bool was_connected = phase_ == Phase::kConnected;
  std::size_t put_back = 0;
  std::uint64_t lost = 0;
  if (was_connected) {
    // The count is still told after the break: only what the collector's host acknowledged on a
    // connection that held is taken as delivered, everything after it goes again.
    ReleaseAcknowledged();
    if (Held()) delay_ms_ = kFirstRetryMs;
    // Written, taken out by the bound, never acknowledged: gone with the connection.
    lost = given_up_.size();
    for (const GivenUp& g : given_up_) SpoolMessageLeft(g.from_spool);
    given_up_.clear();
    given_up_bytes_ = 0;
    put_back = written_ + (offset_ > 0 ? 1 : 0);
    written_ = 0;
    written_bytes_ = 0;
    offset_ = 0;
  }
  const Error error = reason;  // the socket's own failure goes with Close
  socket.Close();
  phase_ = Phase::kWaiting;
  const std::string description =
      name_destination ? error.description() + " (" + Destination() + ")" : error.description();
  const std::string line = ErrorLine(kMessageSendWhere, error.number(), description);
  if (!away_) {
    away_ = true;
    away_since_ms_ = parts_.now_ms();
    away_since_ = parts_.clock.Now();
    away_queued_ = queue_.size();
    away_resent_ = 0;
    away_dropped_ = 0;
    away_reasons_.clear();
  }
  // One line for each reason the collector stays away for (a key that became unusable while the
  // collector was down shows), not one per attempt.
  if (std::find(away_reasons_.begin(), away_reasons_.end(), line) == away_reasons_.end()) {
    if (away_reasons_.size() < kReasonsTold) away_reasons_.push_back(line);
    parts_.log.LogWrite(line, LogKind::kError);
  }
  CountLost(lost);
  away_resent_ += put_back;
  Arm(delay_ms_);
  delay_ms_ = std::min(delay_ms_ * 2, kLongestRetryMs);
}

void StreamChannel::Pump() {
  if (phase_ != Phase::kConnected) return;
  StreamSocket& socket = *parts_.socket;
  while (written_ < queue_.size()) {
    const Message& m = queue_[written_];
    const std::size_t n = socket.Write(std::string_view(m.framed).substr(offset_));
    if (socket.GetState() != StreamSocket::State::kConnected) {
      OnFailed(socket.Failure(), true);
      return;
    }
    offset_ += n;
    written_bytes_ += n;
    if (offset_ < m.framed.size()) break;  // told again once it takes more
    Message& whole = queue_[written_];
    if (!whole.sent) {
      whole.sent = true;
      ++sent_total_;
      if (on_sent_) {
        on_sent_(std::string_view(whole.framed)
                     .substr(whole.payload_at, whole.framed.size() - whole.payload_at -
                                                   (settings_.framing == Framing::kLf)));
      }
    }
    ++written_;
    offset_ = 0;
  }
  ReleaseAcknowledged();
  ReportReachable();
  // Nothing tells when an acknowledgement arrives, nor when a connection has held: look now and
  // then while either is awaited.
  if (written_bytes_ + given_up_bytes_ > 0 || away_) {
    Arm(kAckPollMs);
  } else {
    timer_->SetEnabled(false);
  }
}

void StreamChannel::ReleaseAcknowledged() {
  // A connection that ends within kHeldMs confirms nothing: what it took goes again.
  if (!Held()) return;
  const std::optional<std::size_t> unacknowledged = parts_.socket->Unacknowledged();
  const std::size_t in_flight = given_up_bytes_ + written_bytes_;
  // Where the platform does not tell, what is written counts as delivered.
  const std::size_t pending = unacknowledged ? std::min(*unacknowledged, in_flight) : offset_;
  std::size_t acknowledged = in_flight - pending;
  while (!given_up_.empty() && given_up_.front().size <= acknowledged) {
    acknowledged -= given_up_.front().size;
    given_up_bytes_ -= given_up_.front().size;
    SpoolMessageLeft(given_up_.front().from_spool);
    given_up_.pop_front();
  }
  if (!given_up_.empty()) return;
  while (written_ > 0 && queue_.front().framed.size() <= acknowledged) {
    const std::size_t size = queue_.front().framed.size();
    acknowledged -= size;
    written_bytes_ -= size;
    --written_;
    PopFront();
  }
}

void StreamChannel::PopFront() {
  const Message& m = queue_.front();
  queued_bytes_ -= m.framed.size() + kQueueEntryBytes;
  const bool from_spool = m.from_spool;
  queue_.pop_front();
  if (queue_.empty()) overflow_told_ = false;
  SpoolMessageLeft(from_spool);
}

void StreamChannel::SpoolMessageLeft(bool from_spool) {
  if (from_spool && --spooled_left_ == 0) {
    RunTrapped(parts_.log, kSpoolWhere, [&] { parts_.spool.Remove(parts_.spool_path); });
  }
}

void StreamChannel::CountLost(std::uint64_t n) {
  dropped_total_ += n;
  if (away_) away_dropped_ += n;
}

void StreamChannel::GiveUpFront() {
  const Message& m = queue_.front();
  given_up_.push_back({m.framed.size(), m.from_spool});
  given_up_bytes_ += m.framed.size();
  written_bytes_ -= m.framed.size();
  --written_;
  queued_bytes_ -= m.framed.size() + kQueueEntryBytes;
  queue_.pop_front();
}

void StreamChannel::Trim() {
  std::size_t i = 0;
  while (queued_bytes_ > settings_.queue_max_bytes && i < queue_.size()) {
    if (i < written_) {
      // Written already: the system has it and may still deliver it; it only loses its second
      // chance, and is counted once its fate is known.
      GiveUpFront();
      continue;
    }
    if (i == written_ && offset_ > 0) {
      ++i;  // half on the wire: the rest must follow, or the stream falls out of step
      continue;
    }
    last_dropped_serial_ = queue_[i].serial;
    if (phase_ == Phase::kConnected && !away_ && !overflow_told_) {
      // Connected but slower than the device: no outage line tells of this loss.
      overflow_told_ = true;
      parts_.log.LogWrite("Collector " + Destination() +
                              " takes messages slower than they come: the queue is full (" +
                              KiB(settings_.queue_max_bytes) + " KiB), the oldest are dropped",
                          LogKind::kError);
    }
    CountLost(1);
    if (i == 0) {
      PopFront();
    } else {
      queued_bytes_ -= queue_[i].framed.size() + kQueueEntryBytes;
      const bool from_spool = queue_[i].from_spool;
      queue_.erase(queue_.begin() + static_cast<std::ptrdiff_t>(i));
      SpoolMessageLeft(from_spool);
    }
  }
}

void StreamChannel::LoadSpool() {
  // Read up to the bound the queue keeps to, so that loading holds no more than the queue will.
  const auto cost = [&](std::size_t size) {
    return FramedSize(size, settings_.framing) + kQueueEntryBytes;
  };
  Spool spool(parts_.spool, parts_.log, parts_.spool_path);
  const SpoolLoad load = spool.Load(settings_.queue_max_bytes, cost, [&](std::string&& message) {
    Enqueue(message, true);
    return true;
  });
  spooled_left_ = load.kept;
  dropped_total_ += load.dropped;
  Trim();
}

void StreamChannel::SaveSpool() {
  std::vector<std::string_view> messages;
  messages.reserve(queue_.size());
  for (const Message& m : queue_) {
    messages.push_back(std::string_view(m.framed).substr(
        m.payload_at, m.framed.size() - m.payload_at - (settings_.framing == Framing::kLf)));
  }
  Spool(parts_.spool, parts_.log, parts_.spool_path).Save(messages);
}

void StreamChannel::Close() {
  if (!open_) return;
  StreamSocket& socket = *parts_.socket;
  // A connected collector gets a moment to take what is queued and acknowledge it. The loop runs
  // on for it, on its own clock: the socket tells when it takes more or breaks, and the count of
  // what is acknowledged, which nothing tells, is looked at often meanwhile.
  if (phase_ == Phase::kConnected && !queue_.empty()) {
    const std::unique_ptr<Timer> look = parts_.loop.CreateTimer([this] { OnReady(); });
    look->SetInterval(static_cast<int>(kLookupPollMs));
    look->SetEnabled(true);
    parts_.loop.RunFor(std::chrono::milliseconds(kCloseGraceMs),
                       [this] { return phase_ != Phase::kConnected || queue_.empty(); });
  }
  timer_->SetEnabled(false);
  if (phase_ == Phase::kConnected) {
    // Ended by us, not by the collector: what its host acknowledged is taken as delivered however
    // young the connection is, so a stop soon after a start does not send it all again.
    connected_at_ms_ = std::min(connected_at_ms_, parts_.now_ms() - kHeldMs);
    ReleaseAcknowledged();
  }
  // Their fate is unknown once the socket goes: counted as lost.
  CountLost(given_up_.size());
  for (const GivenUp& g : given_up_) SpoolMessageLeft(g.from_spool);
  given_up_.clear();
  given_up_bytes_ = 0;
  // The run's loss in one line, whatever the status line showed meanwhile.
  if (dropped_total_ > 0) {
    parts_.log.LogWrite("Collector " + Destination() + ": " +
                            Count(dropped_total_, "message", "messages") + " dropped in this run",
                        LogKind::kError);
  }
  socket.Close();
  phase_ = Phase::kIdle;
  open_ = false;
  SaveSpool();
}

ChannelCounts StreamChannel::Counts() const {
  return {sent_total_, queue_.size(), dropped_total_};
}

std::string StreamChannel::StatusText() const {
  std::string text = parts_.transport_name + ", ";
  if (phase_ == Phase::kConnected) {
    text += "connected";
  } else if (away_) {
    text += "away since " + FormatLogTimestamp(away_since_);
  } else {
    text += "connecting";
  }
  text += ", " + std::to_string(queue_.size()) + " queued (" + KiB(queued_bytes_) + " of " +
          KiB(settings_.queue_max_bytes) + " KiB)";
  if (dropped_total_ > 0) text += ", " + std::to_string(dropped_total_) + " dropped";
  return text;
}

}  // namespace brennicot
