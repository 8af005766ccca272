// The stream channel's writing: the queue goes on the wire in order, each message framed by the
// protocol's policy as it is written, and leaves as the policy finds it delivered; the spool
// fills the queue at the start of a run and keeps what is left at its end.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "log/error_trap.h"
#include "syslog/spool.h"
#include "syslog/stream_channel.h"

namespace brennicot {

bool StreamChannel::Send(const SyslogMessage& message) {
  if (!open_) {
    parts_.log.LogWrite(
        ErrorLine(kMessageSendWhere, errnum::kPortNotOpen, "not connected (" + Destination() + ")"),
        LogKind::kError);
    return false;
  }
  const QueuePosition at = queue_->Append(message.Payload(), false);
  if (away_) ++away_queued_;
  Pump();
  Trim();
  return last_dropped_ != at;
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

void StreamChannel::Delivered(QueuePosition end) {
  const std::size_t before = queue_->Messages();
  queue_->Delivered(end);
  if (queue_->Messages() < before && queue_->Messages() == 0) overflow_told_ = false;
}

void StreamChannel::Pump() {
  if (phase_ != Phase::kConnected) return;
  StreamSocket& socket = *parts_.socket;
  if (!FlushControl()) return;
  while (confirmation_->MayWrite()) {
    const std::optional<QueueEntry> m = queue_->Read(writing_.write_from);
    if (!m) break;
    if (writing_.offset == 0) wire_ = confirmation_->Wire(m->payload);
    const std::size_t n = socket.Write(std::string_view(wire_).substr(writing_.offset));
    if (socket.GetState() != StreamSocket::State::kConnected) {
      OnFailed(ConnectionFailure(), true);
      return;
    }
    writing_.offset += n;
    confirmation_->Wrote(n);
    if (writing_.offset < wire_.size()) break;  // told again once it takes more
    confirmation_->WroteWhole(m->at);
    writing_ = {m->at + 1, 0};
    wire_.clear();
    // Told to the operator and counted as sent once, however often it goes again.
    if (m->at >= sent_end_) {
      sent_end_ = m->at + 1;
      ++sent_total_;
      if (on_sent_) on_sent_(m->payload);
    }
  }
  ReleaseAcknowledged();
  ReportReachable();
  // At stop, once everything is confirmed, a session ends as its protocol has it.
  if (closing_) {
    std::string end = confirmation_->Closing();
    if (!end.empty()) {
      control_ = std::move(end);
      FlushControl();
    }
  }
  if (confirmation_->ToldByAnswers()) return;  // the timer waits for an opening's answer alone
  // Nothing tells when an acknowledgement arrives, nor when a connection has held: look now and
  // then while either is awaited.
  if (confirmation_->Unconfirmed() || away_) {
    Arm(kAckPollMs);
  } else {
    timer_->SetEnabled(false);
  }
}

void StreamChannel::ReleaseAcknowledged() {
  // A connection that ends within kHeldMs confirms nothing: what it took goes again.
  if (Held()) confirmation_->Release();
}

void StreamChannel::LoadSpool() {
  // Read up to the bound the queue keeps to, so that loading holds no more than the queue will.
  const auto cost = [&](std::size_t size) {
    return confirmation_->FrameSize(size) + kQueueEntryBytes;
  };
  Spool spool(parts_.spool, parts_.log, parts_.spool_path);
  const SpoolLoad load = spool.Load(settings_.queue_max_bytes, cost, [&](std::string&& message) {
    queue_->Append(message, true);
    if (away_) ++away_queued_;
    return true;
  });
  dropped_total_ += load.dropped;
  Trim();
}

void StreamChannel::SaveSpool() {
  std::vector<std::string_view> messages;
  messages.reserve(queue_->Messages());
  for (std::optional<QueueEntry> e = queue_->Oldest(); e; e = queue_->Read(e->at + 1)) {
    messages.push_back(e->payload);
  }
  Spool(parts_.spool, parts_.log, parts_.spool_path).Save(messages);
}

}  // namespace brennicot
