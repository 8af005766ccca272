// RELP's confirmation: the collector's own word in place of its host's. Each connection opens a
// session (`open` with the offers, transaction 1); each message is a `syslog` command with the
// connection's next transaction number, at most kRelpWindow of them unanswered, and a message is
// delivered on its `200 OK` however young the connection. Answers may come in any order;
// messages leave in theirs. Any other answer, a `serverclose` or bytes that are no RELP end the
// connection. At stop, once all is confirmed, `close` ends the session.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "syslog/stream_confirmation.h"

namespace brennicot {

// How many messages may await the collector's answer at once.
inline constexpr std::size_t kRelpWindow = 128;

struct RelpPeer {
  std::string software;  // what the `open` offers name the forwarder
  // Why a collector may close a connection before it answers the opening ("" for none).
  std::string closed_unopened_hint;
  std::int64_t opening_wait_ms = 0;  // told when the opening goes unanswered
};

std::unique_ptr<StreamConfirmation> MakeRelpConfirmation(ConfirmationContext context,
                                                         RelpPeer peer);

}  // namespace brennicot
