// Syslog over TCP or TLS: the collector never answers, so what its host acknowledged on a
// connection that held is taken as delivered.
#include <algorithm>
#include <utility>

#include "syslog/stream_confirmation.h"

namespace brennicot {
namespace {

class AcknowledgedConfirmation final : public StreamConfirmation {
 public:
  AcknowledgedConfirmation(ConfirmationContext context, Framing framing)
      : context_(std::move(context)), framing_(framing) {}

  std::size_t FrameSize(std::size_t size) const override { return FramedSize(size, framing_); }
  std::string Connected() override { return {}; }
  std::optional<Error> Unopened() const override { return std::nullopt; }
  Error Failure(const Error& failure) const override { return failure; }
  bool Held(bool lasted) const override { return lasted; }
  bool MayWrite() const override { return true; }
  std::string Wire(std::string_view payload) override { return Frame(payload, framing_); }
  void Wrote(std::size_t bytes) override { in_flight_ += bytes; }
  void WroteWhole(QueuePosition) override {}
  // A Syslog collector has nothing to say; reading only notices one that closed.
  std::optional<Error> Take(std::string_view) override { return std::nullopt; }
  void Release() override;
  void Broken() override { in_flight_ = 0; }
  bool ToldByAnswers() const override { return false; }
  bool Unconfirmed() const override { return in_flight_ > 0; }
  std::string Closing() override { return {}; }
  bool Ended() const override { return false; }
  bool Settled() const override { return context_.queue.Messages() == 0; }

 private:
  ConfirmationContext context_;
  Framing framing_;
  // Written on this connection and not yet delivered, given-up messages and the part of the
  // current one included.
  std::size_t in_flight_ = 0;
};

void AcknowledgedConfirmation::Release() {
  const std::optional<std::size_t> unacknowledged = context_.socket.Unacknowledged();
  // Where the platform does not tell, what is written counts as delivered.
  const std::size_t pending =
      unacknowledged ? std::min(*unacknowledged, in_flight_) : context_.writing.offset;
  std::size_t acknowledged = in_flight_ - pending;
  // The acknowledged bytes are a prefix of the stream: whole messages leave from the oldest on.
  std::optional<QueuePosition> end;
  for (std::optional<QueueEntry> e = context_.queue.Read(0);
       e && e->at < context_.writing.write_from; e = context_.queue.Read(e->at + 1)) {
    const std::size_t size = FrameSize(e->size);
    if (size > acknowledged) break;
    acknowledged -= size;
    in_flight_ -= size;
    end = e->at + 1;
  }
  if (end) context_.delivered(*end);
}

}  // namespace

std::unique_ptr<StreamConfirmation> MakeAcknowledgedConfirmation(ConfirmationContext context,
                                                                 Framing framing) {
  return std::make_unique<AcknowledgedConfirmation>(std::move(context), framing);
}

}  // namespace brennicot
