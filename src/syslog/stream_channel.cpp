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

// RELP numbers its transactions 1 to 999,999,999 and then from 1 again.
std::uint64_t FollowingTxnr(std::uint64_t txnr) {
  return txnr >= kRelpLargestNumber ? 1 : txnr + 1;
}
std::uint64_t TxnrDistance(std::uint64_t from, std::uint64_t to) {
  return to >= from ? to - from : to + kRelpLargestNumber - from;
}

bool OffersSyslog(const std::string& offers) {
  std::string_view rest = offers;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    constexpr std::string_view kCommands = "commands=";
    if (line.substr(0, kCommands.size()) != kCommands) continue;
    std::string_view list = line.substr(kCommands.size());
    while (!list.empty()) {
      const std::size_t comma = list.find(',');
      if (list.substr(0, comma) == "syslog") return true;
      list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    }
    return false;
  }
  return true;  // no list: the command every RELP collector takes
}

}  // namespace

StreamChannel::StreamChannel(StreamChannelParts parts, StreamSettings settings)
    : parts_(std::move(parts)),
      settings_(settings),
      timer_(parts_.loop.CreateTimer([this] { OnTimer(); })),
      relp_(settings.framing == Framing::kRelp) {
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
      if (relp_ && !relp_open_) {
        OnFailed(Error(0, "no answer to the RELP session's opening in " +
                              std::to_string(kConnectTimeoutMs / 1000) + " s"),
                 true);
        break;
      }
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
    // A Syslog collector has nothing to say (this notices one that closed); a RELP one answers.
    const std::string data = socket.Read();
    if (relp_ && !data.empty() && !TakeRelp(data)) return;
    // Once `close` is answered, the collector closing is the session's end, not a failure.
    if (closing_ && close_answered_) return;
    if (socket.GetState() == StreamSocket::State::kConnected) {
      Pump();
    } else {
      OnFailed(ConnectionFailure(), true);
    }
  }
}

Error StreamChannel::ConnectionFailure() const {
  const Error& failure = parts_.socket->Failure();
  if (!relp_ || relp_open_) return failure;
  // All a collector that refuses the connection's peer may show (a TLS 1.3 collector that wants
  // a certificate, say): it closes before it answers.
  std::string why =
      failure.description() + ", before the collector answered the RELP session's opening";
  if (!parts_.closed_unopened_hint.empty()) why += ": " + parts_.closed_unopened_hint;
  return Error(failure.number(), why);
}

void StreamChannel::OnConnected() {
  timer_->SetEnabled(false);
  phase_ = Phase::kConnected;
  connected_at_ms_ = parts_.now_ms();
  if (relp_) {
    relp_parser_ = RelpParser();
    relp_open_ = false;
    relp_confirmed_ = false;
    close_txnr_ = 0;
    close_answered_ = false;
    wire_.clear();
    // Every connection numbers from 1, its `open`; messages follow it.
    next_txnr_ = 2;
    oldest_txnr_ = 2;
    control_ = RelpFrameText(
        1, "open", "relp_version=0\nrelp_software=" + parts_.software + "\ncommands=syslog");
    Arm(kConnectTimeoutMs);  // for the answer
  }
  Pump();
}

bool StreamChannel::Held() const {
  if (phase_ != Phase::kConnected) return false;
  const bool lasted = parts_.now_ms() - connected_at_ms_ >= kHeldMs;
  // The collector itself answered, which nothing in front of it can fake; and it took a message
  // when it had one: one that opens sessions and refuses each message is not back.
  if (relp_) return relp_open_ && (relp_confirmed_ || queue_.empty() || lasted);
  return lasted;
}

bool StreamChannel::MayWrite() const {
  return !relp_ || (relp_open_ && close_txnr_ == 0 && InFlight() < kRelpWindow);
}

bool StreamChannel::FlushControl() {
  if (control_.empty()) return true;
  StreamSocket& socket = *parts_.socket;
  const std::size_t n = socket.Write(control_);
  if (socket.GetState() != StreamSocket::State::kConnected) {
    OnFailed(ConnectionFailure(), true);
    return false;
  }
  control_.erase(0, n);
  return control_.empty();
}

bool StreamChannel::TakeRelp(std::string_view data) {
  std::optional<Error> failure;
  const bool fine = relp_parser_.Feed(data, [&](RelpFrame&& frame) {
    if (!failure && !close_answered_) failure = OnRelpFrame(frame);
  });
  if (!failure && !fine) {
    failure = Error(0, "the collector's answer is no RELP: " + relp_parser_.Problem());
  }
  if (!failure) return true;
  OnFailed(*failure, true);
  return false;
}

// The failures of a session carry the collector's status code where it gave one, else 0.
std::optional<Error> StreamChannel::OnRelpFrame(const RelpFrame& frame) {
  if (frame.command == "serverclose") {
    return Error(0, "the collector ended the RELP session (serverclose)");
  }
  if (frame.command != "rsp") {
    return Error(0, "the collector sent the RELP command \"" + frame.command + "\"");
  }
  if (close_txnr_ != 0 && frame.txnr == close_txnr_) {
    close_answered_ = true;
    return std::nullopt;
  }
  const std::optional<RelpStatus> status = ParseRelpStatus(frame.data);
  if (!relp_open_) {
    if (frame.txnr != 1 || !status) {
      return Error(0, "the collector did not answer the RELP session's opening");
    }
    return OnRelpOpened(*status);
  }
  const std::uint64_t at = TxnrDistance(oldest_txnr_, frame.txnr);
  if (at >= InFlight()) {
    return Error(0, "the collector answered transaction " + std::to_string(frame.txnr) +
                        ", which awaits no answer");
  }
  if (!status) {
    return Error(0, "the collector's answer to transaction " + std::to_string(frame.txnr) +
                        " has no status");
  }
  if (status->code != 200) {
    // The message stays first in the queue and goes again after the back-off.
    return Error(status->code, "the collector refused a message: " + std::to_string(status->code) +
                                   " " + status->text);
  }
  if (at < given_up_.size()) {
    given_up_[at].confirmed = true;
  } else {
    queue_[at - given_up_.size()].confirmed = true;
  }
  relp_confirmed_ = true;
  ReleaseConfirmed();
  return std::nullopt;
}

std::optional<Error> StreamChannel::OnRelpOpened(const RelpStatus& status) {
  if (status.code != 200) {
    return Error(status.code, "the collector refused the RELP session: " +
                                  std::to_string(status.code) + " " + status.text);
  }
  if (!OffersSyslog(status.rest)) {
    return Error(0, "the collector's RELP session takes no syslog commands");
  }
  relp_open_ = true;
  timer_->SetEnabled(false);
  return std::nullopt;
}

void StreamChannel::ReleaseConfirmed() {
  // Answers may come in any order; messages leave in theirs.
  while (!given_up_.empty() && given_up_.front().confirmed) {
    given_up_bytes_ -= given_up_.front().size;
    SpoolMessageLeft(given_up_.front().from_spool);
    given_up_.pop_front();
    oldest_txnr_ = FollowingTxnr(oldest_txnr_);
  }
  if (!given_up_.empty()) return;
  while (written_ > 0 && queue_.front().confirmed) {
    written_bytes_ -= WireSize(queue_.front());
    --written_;
    PopFront();
    oldest_txnr_ = FollowingTxnr(oldest_txnr_);
  }
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
    // Whatever a RELP collector answered for them, they go again in order and are answered again.
    for (std::size_t i = 0; i < written_ && i < queue_.size(); ++i) queue_[i].confirmed = false;
    written_ = 0;
    written_bytes_ = 0;
    offset_ = 0;
  }
  const Error error = reason;  // the socket's own failure goes with Close
  socket.Close();
  phase_ = Phase::kWaiting;
  relp_open_ = false;
  control_.clear();
  wire_.clear();
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
  if (!FlushControl()) return;
  while (written_ < queue_.size() && MayWrite()) {
    Message& m = queue_[written_];
    std::string_view wire = m.framed;
    if (relp_) {
      if (offset_ == 0) {
        wire_ = std::to_string(next_txnr_) + " ";
        m.prefix_size = static_cast<std::uint16_t>(wire_.size());
        wire_ += m.framed;
      }
      wire = wire_;
    }
    const std::size_t n = socket.Write(wire.substr(offset_));
    if (socket.GetState() != StreamSocket::State::kConnected) {
      OnFailed(ConnectionFailure(), true);
      return;
    }
    offset_ += n;
    written_bytes_ += n;
    if (offset_ < wire.size()) break;  // told again once it takes more
    if (relp_) {
      wire_.clear();
      next_txnr_ = FollowingTxnr(next_txnr_);
    }
    Message& whole = queue_[written_];
    if (!whole.sent) {
      whole.sent = true;
      ++sent_total_;
      if (on_sent_) {
        on_sent_(std::string_view(whole.framed)
                     .substr(whole.payload_at, whole.framed.size() - whole.payload_at -
                                                   FrameTrailerSize(settings_.framing)));
      }
    }
    ++written_;
    offset_ = 0;
  }
  if (relp_) {
    ReportReachable();
    // At stop, once everything is confirmed, the session ends as the protocol has it.
    if (closing_ && relp_open_ && close_txnr_ == 0 && queue_.empty() && given_up_.empty()) {
      close_txnr_ = next_txnr_;
      next_txnr_ = FollowingTxnr(next_txnr_);
      control_ = RelpFrameText(close_txnr_, "close", "");
      FlushControl();
    }
    // Answers are told by the socket; the timer waits for the opening's alone.
    return;
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
  // A connection that ends within kHeldMs confirms nothing: what it took goes again. Over RELP
  // only the collector's answers do.
  if (relp_ || !Held()) return;
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
  while (written_ > 0 && WireSize(queue_.front()) <= acknowledged) {
    const std::size_t size = WireSize(queue_.front());
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
  given_up_.push_back({WireSize(m), m.from_spool, m.confirmed});
  given_up_bytes_ += WireSize(m);
  written_bytes_ -= WireSize(m);
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
        m.payload_at, m.framed.size() - m.payload_at - FrameTrailerSize(settings_.framing)));
  }
  Spool(parts_.spool, parts_.log, parts_.spool_path).Save(messages);
}

void StreamChannel::Close() {
  if (!open_) return;
  StreamSocket& socket = *parts_.socket;
  // A connected collector gets a moment to take what is queued and acknowledge it. The loop runs
  // on for it, on its own clock: the socket tells when it takes more or breaks, and the count of
  // what is acknowledged, which nothing tells, is looked at often meanwhile.
  // A RELP collector is also told the session ends, once all is confirmed.
  if (phase_ == Phase::kConnected && (relp_ || !queue_.empty())) {
    closing_ = true;
    const std::unique_ptr<Timer> look = parts_.loop.CreateTimer([this] { OnReady(); });
    look->SetInterval(static_cast<int>(kLookupPollMs));
    look->SetEnabled(true);
    if (relp_) Pump();  // `close` goes at once when nothing awaits an answer
    parts_.loop.RunFor(std::chrono::milliseconds(kCloseGraceMs), [this] {
      return phase_ != Phase::kConnected || (relp_ ? close_answered_ : queue_.empty());
    });
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
  closing_ = false;
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
