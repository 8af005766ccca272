#include "syslog/stream_channel.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "base/product_names.h"
#include "base/text.h"
#include "log/error_trap.h"
#include "syslog/memory_queue.h"
#include "syslog/relp_session.h"
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
      timer_(parts_.loop.CreateTimer([this] { OnTimer(); })),
      queue_(std::make_unique<MemoryQueue>(
          [this](std::size_t size) { return confirmation_->FrameSize(size) + kQueueEntryBytes; },
          [this] {
            RunTrapped(parts_.log, kSpoolWhere, [&] { parts_.spool.Remove(parts_.spool_path); });
          })) {
  ConfirmationContext context{*queue_, *parts_.socket, writing_,
                              [this](QueuePosition end) { Delivered(end); }};
  if (settings_.protocol == StreamProtocol::kRelp) {
    confirmation_ = MakeRelpConfirmation(
        std::move(context), {parts_.software, parts_.closed_unopened_hint, kConnectTimeoutMs});
  } else {
    confirmation_ = MakeAcknowledgedConfirmation(std::move(context), settings_.framing);
  }
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
      if (const std::optional<Error> unopened = confirmation_->Unopened()) {
        OnFailed(*unopened, true);
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
    const std::string data = socket.Read();
    if (!data.empty() && !TakeAnswers(data)) return;
    // Once the session's end is answered, the collector closing is that end, not a failure.
    if (closing_ && confirmation_->Ended()) return;
    if (socket.GetState() == StreamSocket::State::kConnected) {
      Pump();
    } else {
      OnFailed(ConnectionFailure(), true);
    }
  }
}

Error StreamChannel::ConnectionFailure() const {
  return confirmation_->Failure(parts_.socket->Failure());
}

bool StreamChannel::TakeAnswers(std::string_view data) {
  const bool unopened = confirmation_->Unopened().has_value();
  const std::optional<Error> failure = confirmation_->Take(data);
  // The wait for the opening's answer is over once it came.
  if (unopened && !confirmation_->Unopened()) timer_->SetEnabled(false);
  if (!failure) return true;
  OnFailed(*failure, true);
  return false;
}

void StreamChannel::OnConnected() {
  timer_->SetEnabled(false);
  phase_ = Phase::kConnected;
  connected_at_ms_ = parts_.now_ms();
  control_ = confirmation_->Connected();
  if (confirmation_->Unopened()) Arm(kConnectTimeoutMs);  // for the answer
  Pump();
}

bool StreamChannel::Held() const {
  if (phase_ != Phase::kConnected) return false;
  return confirmation_->Held(parts_.now_ms() - connected_at_ms_ >= kHeldMs);
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
  std::size_t put_back = 0;
  std::uint64_t lost = 0;
  if (phase_ == Phase::kConnected) {
    // The count is still told after the break: only what the collector's host acknowledged on a
    // connection that held is taken as delivered, everything after it goes again.
    ReleaseAcknowledged();
    if (Held()) delay_ms_ = kFirstRetryMs;
    // Written, taken out by the bound, never confirmed: gone with the connection.
    lost = queue_->LoseGivenUp();
    for (std::optional<QueueEntry> e = queue_->Read(0); e && e->at < writing_.write_from;
         e = queue_->Read(e->at + 1)) {
      ++put_back;
    }
    if (writing_.offset > 0) ++put_back;
    writing_ = {};
  }
  confirmation_->Broken();
  const Error error = reason;  // the socket's own failure goes with Close
  socket.Close();
  phase_ = Phase::kWaiting;
  control_.clear();
  wire_.clear();
  const std::string description =
      name_destination ? error.description() + " (" + Destination() + ")" : error.description();
  const std::string line = ErrorLine(kMessageSendWhere, error.number(), description);
  if (!away_) {
    away_ = true;
    away_since_ms_ = parts_.now_ms();
    away_since_ = parts_.clock.Now();
    away_queued_ = queue_->Messages();
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

void StreamChannel::CountLost(std::uint64_t n) {
  dropped_total_ += n;
  if (away_) away_dropped_ += n;
}

void StreamChannel::Trim() {
  while (queue_->Bytes() > settings_.queue_max_bytes) {
    const std::optional<QueueEntry> oldest = queue_->Oldest();
    if (!oldest) break;
    if (oldest->at < writing_.write_from) {
      // Written already: the system has it and may still deliver it; it only loses its second
      // chance, and is counted once its fate is known.
      queue_->GiveUpOldest();
      continue;
    }
    // Half on the wire: the rest must follow, or the stream falls out of step.
    const QueuePosition from = oldest->at + (writing_.offset > 0 ? 1 : 0);
    const std::optional<QueueEntry> victim = queue_->Read(from);
    if (!victim) break;
    last_dropped_ = victim->at;
    if (phase_ == Phase::kConnected && !away_ && !overflow_told_) {
      // Connected but slower than the device: no outage line tells of this loss.
      overflow_told_ = true;
      parts_.log.LogWrite("Collector " + Destination() +
                              " takes messages slower than they come: the queue is full (" +
                              KiB(settings_.queue_max_bytes) + " KiB), the oldest are dropped",
                          LogKind::kError);
    }
    CountLost(1);
    queue_->DropOldest(from);
    if (queue_->Messages() == 0) overflow_told_ = false;
  }
}

void StreamChannel::Close() {
  if (!open_) return;
  StreamSocket& socket = *parts_.socket;
  // A connected collector gets a moment to take what is queued and confirm it. The loop runs on
  // for it, on its own clock: the socket tells when it takes more or breaks, and the count of
  // what is acknowledged, which nothing tells, is looked at often meanwhile.
  if (phase_ == Phase::kConnected && !confirmation_->Settled()) {
    closing_ = true;
    const std::unique_ptr<Timer> look = parts_.loop.CreateTimer([this] { OnReady(); });
    look->SetInterval(static_cast<int>(kLookupPollMs));
    look->SetEnabled(true);
    // An answering collector is told the session ends at once when nothing awaits an answer.
    if (confirmation_->ToldByAnswers()) Pump();
    parts_.loop.RunFor(std::chrono::milliseconds(kCloseGraceMs),
                       [this] { return phase_ != Phase::kConnected || confirmation_->Settled(); });
  }
  timer_->SetEnabled(false);
  if (phase_ == Phase::kConnected) {
    // Ended by us, not by the collector: what its host acknowledged is taken as delivered however
    // young the connection is, so a stop soon after a start does not send it all again.
    connected_at_ms_ = std::min(connected_at_ms_, parts_.now_ms() - kHeldMs);
    ReleaseAcknowledged();
  }
  // Their fate is unknown once the socket goes: counted as lost.
  CountLost(queue_->LoseGivenUp());
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
  return {sent_total_, queue_->Messages(), dropped_total_};
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
  text += ", " + std::to_string(queue_->Messages()) + " queued (" + KiB(queue_->Bytes()) + " of " +
          KiB(settings_.queue_max_bytes) + " KiB)";
  if (dropped_total_ > 0) text += ", " + std::to_string(dropped_total_) + " dropped";
  return text;
}

}  // namespace brennicot
