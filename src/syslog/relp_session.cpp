#include "syslog/relp_session.h"

#include <deque>
#include <optional>
#include <string_view>
#include <utility>

#include "syslog/relp_frames.h"

namespace brennicot {
namespace {

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

class RelpConfirmation final : public StreamConfirmation {
 public:
  RelpConfirmation(ConfirmationContext context, RelpPeer peer)
      : context_(std::move(context)), peer_(std::move(peer)) {}

  // "syslog LEN SP MSG LF": the transaction number in front is the connection's.
  std::size_t FrameSize(std::size_t size) const override {
    return RelpHeader("syslog", size).size() + size + 1;
  }
  std::string Connected() override;
  std::optional<Error> Unopened() const override;
  Error Failure(const Error& failure) const override;
  // The collector itself answered, which nothing in front of it can fake; and it took a message
  // when it had one: one that opens sessions and refuses each message is not back.
  bool Held(bool lasted) const override {
    return open_ && (confirmed_ || context_.queue.Messages() == 0 || lasted);
  }
  bool MayWrite() const override {
    return open_ && close_txnr_ == 0 && in_flight_.size() < kRelpWindow;
  }
  std::string Wire(std::string_view payload) override {
    return RelpFrameText(next_txnr_, "syslog", payload);
  }
  void Wrote(std::size_t) override {}
  void WroteWhole(QueuePosition at) override {
    next_txnr_ = FollowingTxnr(next_txnr_);
    in_flight_.push_back({at, false});
  }
  std::optional<Error> Take(std::string_view data) override;
  // Only the collector's answers deliver, and they are taken as they come.
  void Release() override {}
  // Whatever the collector answered for them, they go again in order and are answered again.
  void Broken() override {
    open_ = false;
    in_flight_.clear();
  }
  bool ToldByAnswers() const override { return true; }
  bool Unconfirmed() const override { return !in_flight_.empty(); }
  std::string Closing() override;
  bool Ended() const override { return close_answered_; }
  bool Settled() const override { return close_answered_; }

 private:
  struct InFlight {
    QueuePosition at = 0;
    bool confirmed = false;  // answered `200 OK`, awaiting those before it
  };
  std::optional<Error> OnFrame(const RelpFrame& frame);
  std::optional<Error> OnOpened(const RelpStatus& status);
  void ReleaseConfirmed();

  ConfirmationContext context_;
  RelpPeer peer_;
  RelpParser parser_;
  bool open_ = false;            // the collector accepted the session
  bool confirmed_ = false;       // and confirmed a message on it
  std::uint64_t next_txnr_ = 1;  // of the next command written
  // The messages written whole on this connection and not yet delivered (given-up ones
  // included), oldest first; the first carries oldest_txnr_.
  std::deque<InFlight> in_flight_;
  std::uint64_t oldest_txnr_ = 1;
  std::uint64_t close_txnr_ = 0;  // 0 until `close` is written
  bool close_answered_ = false;
};

std::string RelpConfirmation::Connected() {
  parser_ = RelpParser();
  open_ = false;
  confirmed_ = false;
  close_txnr_ = 0;
  close_answered_ = false;
  in_flight_.clear();
  // Every connection numbers from 1, its `open`; messages follow it.
  next_txnr_ = 2;
  oldest_txnr_ = 2;
  return RelpFrameText(1, "open",
                       "relp_version=0\nrelp_software=" + peer_.software + "\ncommands=syslog");
}

std::optional<Error> RelpConfirmation::Unopened() const {
  if (open_) return std::nullopt;
  return Error(0, "no answer to the RELP session's opening in " +
                      std::to_string(peer_.opening_wait_ms / 1000) + " s");
}

Error RelpConfirmation::Failure(const Error& failure) const {
  if (open_) return failure;
  // All a collector that refuses the connection's peer may show (a TLS 1.3 collector that wants
  // a certificate, say): it closes before it answers.
  std::string why =
      failure.description() + ", before the collector answered the RELP session's opening";
  if (!peer_.closed_unopened_hint.empty()) why += ": " + peer_.closed_unopened_hint;
  return Error(failure.number(), why);
}

std::optional<Error> RelpConfirmation::Take(std::string_view data) {
  std::optional<Error> failure;
  const bool fine = parser_.Feed(data, [&](RelpFrame&& frame) {
    if (!failure && !close_answered_) failure = OnFrame(frame);
  });
  if (!failure && !fine) {
    failure = Error(0, "the collector's answer is no RELP: " + parser_.Problem());
  }
  return failure;
}

// The failures of a session carry the collector's status code where it gave one, else 0.
std::optional<Error> RelpConfirmation::OnFrame(const RelpFrame& frame) {
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
  if (!open_) {
    if (frame.txnr != 1 || !status) {
      return Error(0, "the collector did not answer the RELP session's opening");
    }
    return OnOpened(*status);
  }
  const std::uint64_t at = TxnrDistance(oldest_txnr_, frame.txnr);
  if (at >= in_flight_.size()) {
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
  in_flight_[at].confirmed = true;
  confirmed_ = true;
  ReleaseConfirmed();
  return std::nullopt;
}

std::optional<Error> RelpConfirmation::OnOpened(const RelpStatus& status) {
  if (status.code != 200) {
    return Error(status.code, "the collector refused the RELP session: " +
                                  std::to_string(status.code) + " " + status.text);
  }
  if (!OffersSyslog(status.rest)) {
    return Error(0, "the collector's RELP session takes no syslog commands");
  }
  open_ = true;
  return std::nullopt;
}

void RelpConfirmation::ReleaseConfirmed() {
  std::optional<QueuePosition> end;
  while (!in_flight_.empty() && in_flight_.front().confirmed) {
    end = in_flight_.front().at + 1;
    in_flight_.pop_front();
    oldest_txnr_ = FollowingTxnr(oldest_txnr_);
  }
  if (end) context_.delivered(*end);
}

std::string RelpConfirmation::Closing() {
  if (!open_ || close_txnr_ != 0 || context_.queue.Messages() > 0 || !in_flight_.empty()) {
    return {};
  }
  close_txnr_ = next_txnr_;
  next_txnr_ = FollowingTxnr(next_txnr_);
  return RelpFrameText(close_txnr_, "close", "");
}

}  // namespace

std::unique_ptr<StreamConfirmation> MakeRelpConfirmation(ConfirmationContext context,
                                                         RelpPeer peer) {
  return std::make_unique<RelpConfirmation>(std::move(context), std::move(peer));
}

}  // namespace brennicot
