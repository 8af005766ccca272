#include "syslog/tls_stream_socket.h"

#include <algorithm>
#include <utility>

namespace brennicot {

TlsStreamSocket::TlsStreamSocket(std::unique_ptr<StreamSocket> tcp,
                                 std::function<std::unique_ptr<TlsSession>()> new_session,
                                 TlsSettings settings)
    : tcp_(std::move(tcp)), new_session_(std::move(new_session)), settings_(std::move(settings)) {
  tcp_->SetOnReady([this] { OnTcpReady(); });
}

TlsStreamSocket::~TlsStreamSocket() {
  tcp_->SetOnReady({});
  Close();
}

void TlsStreamSocket::Connect(const ResolvedAddress& address, std::uint16_t port) {
  Close();
  // A new session reads the files again: a renewed certificate needs no restart.
  std::unique_ptr<TlsSession> session = new_session_();
  session->Begin(settings_);
  tcp_->Connect(address, port);
  session_ = std::move(session);
  state_ = State::kConnecting;
}

void TlsStreamSocket::OnTcpReady() {
  if (state_ == State::kConnecting) {
    if (tcp_->GetState() == State::kConnected && tls_made_ == 0) {
      Handshake({});  // the client speaks first
    } else if (tcp_->GetState() == State::kConnected) {
      const std::string received = tcp_->Read();
      // What came before a close still counts: a collector's alert says more than the close.
      if (!received.empty()) Handshake(received);
      if (state_ == State::kConnecting) Flush();
    }
    if (state_ == State::kConnecting && tcp_->GetState() == State::kBroken) {
      Break(tcp_->Failure());
    }
  } else if (state_ == State::kConnected) {
    Flush();
    if (state_ == State::kConnected && tcp_->GetState() == State::kBroken) {
      Break(tcp_->Failure());
    }
  }
  if (on_ready_) on_ready_();
}

void TlsStreamSocket::Handshake(std::string_view received) {
  std::string out;
  const TlsSession::Step step = session_->Handshake(received, out);
  tls_made_ += out.size();
  pending_ += out;
  Flush();  // an alert of a refusal goes too: the collector learns why
  if (step == TlsSession::Step::kRefused) {
    Break(RefusalError(session_->Refusal()));
  } else if (step == TlsSession::Step::kVerified && state_ == State::kConnecting) {
    state_ = State::kConnected;
  }
}

void TlsStreamSocket::Flush() {
  if (pending_.empty() || tcp_->GetState() != State::kConnected) return;
  pending_.erase(0, tcp_->Write(pending_));
  if (tcp_->GetState() == State::kBroken && state_ != State::kBroken) Break(tcp_->Failure());
}

void TlsStreamSocket::Break(const Error& why) {
  state_ = State::kBroken;
  failure_ = why;
}

std::size_t TlsStreamSocket::Write(std::string_view bytes) {
  if (state_ != State::kConnected || bytes.empty()) return 0;
  Flush();
  if (state_ != State::kConnected || !pending_.empty()) return 0;

  // Marks of records acknowledged already are not needed any more.
  if (const std::optional<std::uint64_t> acknowledged = TlsAcknowledged()) {
    while (!marks_.empty() && marks_.front().tls_end <= *acknowledged) {
      plain_acknowledged_ = marks_.front().plain_end;
      marks_.pop_front();
    }
  }

  std::string out;
  session_->Encrypt(bytes, out);
  tls_made_ += out.size();
  pending_ = std::move(out);
  Flush();
  if (state_ != State::kConnected) return 0;  // none of it counts as written
  plain_taken_ += bytes.size();
  marks_.push_back({plain_taken_, tls_made_});
  return bytes.size();
}

std::string TlsStreamSocket::Read() {
  if (state_ != State::kConnected) return {};
  const std::string received = tcp_->Read();
  std::string plain;
  if (!received.empty()) {
    std::string out;
    const bool alive = session_->Absorb(received, out, plain);
    tls_made_ += out.size();
    pending_ += out;
    if (!alive) {
      Break(RefusalError(session_->Refusal()));
      return plain;
    }
    Flush();
  }
  if (state_ == State::kConnected && tcp_->GetState() == State::kBroken) Break(tcp_->Failure());
  return plain;
}

std::optional<std::uint64_t> TlsStreamSocket::TlsAcknowledged() const {
  const std::optional<std::size_t> unacknowledged = tcp_->Unacknowledged();
  if (!unacknowledged) return std::nullopt;
  const std::uint64_t handed = tls_made_ - pending_.size();
  return handed - std::min<std::uint64_t>(*unacknowledged, handed);
}

std::optional<std::size_t> TlsStreamSocket::Unacknowledged() const {
  if (state_ == State::kClosed || state_ == State::kConnecting) return std::nullopt;
  const std::optional<std::uint64_t> acknowledged = TlsAcknowledged();
  if (!acknowledged) return std::nullopt;
  std::uint64_t plain = plain_acknowledged_;
  for (const Mark& mark : marks_) {
    if (mark.tls_end > *acknowledged) break;
    plain = mark.plain_end;
  }
  return static_cast<std::size_t>(plain_taken_ - plain);
}

void TlsStreamSocket::TimeOut() {
  if (state_ != State::kConnecting) return;
  if (tcp_->GetState() == State::kConnecting) {
    tcp_->TimeOut();
    Break(tcp_->Failure());
  } else {
    Break(RefusalError({TlsRefusalKind::kTimedOut, 0, {}}));
  }
}

void TlsStreamSocket::Close() {
  if (state_ == State::kConnected && pending_.empty()) {
    // The collector learns the session ended on purpose; best effort, nothing waits for it.
    std::string out;
    session_->Shutdown(out);
    tcp_->Write(out);
  }
  tcp_->Close();
  session_.reset();
  state_ = State::kClosed;
  pending_.clear();
  tls_made_ = 0;
  plain_taken_ = 0;
  plain_acknowledged_ = 0;
  marks_.clear();
}

}  // namespace brennicot
