// When a message written to a stream counts as delivered: one policy per protocol.
//
// - Syslog over TCP or TLS (MakeAcknowledgedConfirmation): the collector says nothing, so its host
//   has to: a message is delivered once the host acknowledged its bytes (where the platform
//   tells; elsewhere once written) and the connection it went on has held kHeldMs.
// - RELP (MakeRelpConfirmation, relp_session.h): the collector's own `200 OK` for each message,
//   within a session and a window of messages awaiting an answer.
//
// A policy frames each message as it goes on the wire, learns what is delivered and tells the
// queue through the channel; the connection, the order of writing, the bound and every report
// stay with the channel (stream_channel.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "base/error.h"
#include "syslog/message_queue.h"
#include "syslog/stream_framing.h"
#include "syslog/stream_socket.h"

namespace brennicot {

// Where the channel's writing stands on the current connection.
struct StreamWriting {
  QueuePosition write_from = 0;  // every message before it is written whole
  std::size_t offset = 0;        // bytes written of the first queued one at or after it
};

// What a policy works with. `delivered` goes through the channel, which keeps its counts.
struct ConfirmationContext {
  MessageQueue& queue;
  StreamSocket& socket;
  const StreamWriting& writing;
  std::function<void(QueuePosition end)> delivered;
};

class StreamConfirmation {
 public:
  virtual ~StreamConfirmation() = default;

  // What a message of `size` payload bytes takes on the wire, as the queue's bound counts it.
  virtual std::size_t FrameSize(std::size_t size) const = 0;
  // A connection is up: the bytes that go before any message ("" for none).
  virtual std::string Connected() = 0;
  // Why messages may not go yet on a connection that is up: it awaits the collector's answer to
  // its opening. Nothing once they may.
  virtual std::optional<Error> Unopened() const = 0;
  // `failure` of the socket as the operator is told it.
  virtual Error Failure(const Error& failure) const = 0;
  // Whether the connection brings the collector back; `lasted`: it is up for kHeldMs.
  virtual bool Held(bool lasted) const = 0;
  virtual bool MayWrite() const = 0;
  // The message as it goes on this connection.
  virtual std::string Wire(std::string_view payload) = 0;
  // `bytes` more of the current message are written; then all of the one `at` that position.
  virtual void Wrote(std::size_t bytes) = 0;
  virtual void WroteWhole(QueuePosition at) = 0;
  // What the collector sent; an Error ends the connection.
  virtual std::optional<Error> Take(std::string_view data) = 0;
  // On a connection that held: takes what the socket says is delivered.
  virtual void Release() = 0;
  // The connection is gone: the policy forgets what it had written on it; all that is still
  // queued goes again on the next, answered or not.
  virtual void Broken() = 0;
  // Whether the socket tells when something is delivered (the collector answers); otherwise the
  // channel looks now and then while Unconfirmed().
  virtual bool ToldByAnswers() const = 0;
  virtual bool Unconfirmed() const = 0;
  // At stop, once nothing awaits confirmation: the bytes that end the session ("" for none, or
  // not yet).
  virtual std::string Closing() = 0;
  // The collector answered the end of the session: its closing the connection is no failure.
  virtual bool Ended() const = 0;
  // At stop: nothing more to wait for.
  virtual bool Settled() const = 0;
};

std::unique_ptr<StreamConfirmation> MakeAcknowledgedConfirmation(ConfirmationContext context,
                                                                 Framing framing);

}  // namespace brennicot
