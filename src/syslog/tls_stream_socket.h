// A stream socket that speaks TLS: a TLS session over the platform's stream socket, so the stream
// channel (queue, framing, backoff, resending, spool) is the same for TCP and TLS.
//
// - Connecting covers the TCP connection and the handshake: the socket is kConnected only once
//   the session verified the collector, so no byte of a message can reach the socket before.
//   A refusal breaks it with the reason of tls_session.h.
// - Each Write becomes whole TLS records at once; what the TCP socket does not take yet waits
//   here, and nothing more is taken until it has gone.
// - Unacknowledged maps the TCP count back to the bytes written here, at record level: the
//   bytes of one Write count as acknowledged only once every record that carries them is,
//   since a collector cannot read part of a record. The stream channel writes one message per
//   Write, so a message goes again exactly when one of its records went unacknowledged.
// - Each Connect starts a new session, which reads the files anew.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "syslog/stream_socket.h"
#include "syslog/tls_session.h"

namespace brennicot {

class TlsStreamSocket : public StreamSocket {
 public:
  TlsStreamSocket(std::unique_ptr<StreamSocket> tcp,
                  std::function<std::unique_ptr<TlsSession>()> new_session, TlsSettings settings);
  ~TlsStreamSocket() override;
  TlsStreamSocket(const TlsStreamSocket&) = delete;
  TlsStreamSocket& operator=(const TlsStreamSocket&) = delete;

  void SetOnReady(std::function<void()> on_ready) override { on_ready_ = std::move(on_ready); }
  // Throws Error as the TCP socket does, and when the files can no longer be used.
  void Connect(const ResolvedAddress& address, std::uint16_t port) override;
  State GetState() const override { return state_; }
  const Error& Failure() const override { return failure_; }
  std::size_t Write(std::string_view bytes) override;
  // Takes what the collector sent into the session and returns the data decrypted.
  std::string Read() override;
  std::optional<std::size_t> Unacknowledged() const override;
  void TimeOut() override;
  void Close() override;

 private:
  // Where the plain bytes of one Write end, and where their records end in the TLS stream.
  struct Mark {
    std::uint64_t plain_end;
    std::uint64_t tls_end;
  };

  void OnTcpReady();
  void Handshake(std::string_view received);
  // Hands the TCP socket what it takes of `pending_`.
  void Flush();
  void Break(const Error& why);
  // The TLS bytes the collector's host acknowledged; nothing when the system does not tell.
  std::optional<std::uint64_t> TlsAcknowledged() const;

  std::unique_ptr<StreamSocket> tcp_;
  std::function<std::unique_ptr<TlsSession>()> new_session_;
  TlsSettings settings_;
  std::unique_ptr<TlsSession> session_;
  State state_ = State::kClosed;
  Error failure_{0, ""};
  std::function<void()> on_ready_;

  std::string pending_;         // TLS bytes the TCP socket has not taken yet
  std::uint64_t tls_made_ = 0;  // TLS bytes made by this connection, handshake included
  std::uint64_t plain_taken_ = 0;
  std::deque<Mark> marks_;  // of Writes not known to be acknowledged, oldest first
  std::uint64_t plain_acknowledged_ = 0;
};

}  // namespace brennicot
