// MessageSend: the only way out towards the collector.
#include "host/frm_brennicot.h"
#include "log/error_trap.h"
#include "syslog/message_composer.h"

namespace brennicot {

bool frmBrennicot::MessageSend(const std::string& MessageText) {
  const ComposeContext context{*settings_, month_names_,
                               [this] { return platform_.LocalClock().Now(); },
                               [this] { return wsockudp_->LocalHostName(); }};
  SyslogMessage message;
  if (!RunTrapped(log_, "frmBrennicot:MessageSend",
                  [&] { message = ComposeSyslogMessage(context, MessageText); })) {
    return false;
  }
  // A text too long for one datagram (a remainder flushed without a line end can outgrow it)
  // would be lost whole; it leaves as consecutive pieces instead, each as large as fits, each
  // behind the same header.
  const std::size_t limit = wsockudp_->MaxPayload();
  const std::size_t header = message.header.size();
  if (header + message.text.size() <= limit || header >= limit) {
    return RunTrapped(log_, "frmBrennicot:MessageSend",
                      [&] { wsockudp_->SendData(message.Payload()); });
  }
  const std::size_t piece = limit - header;
  bool all_sent = true;
  for (std::size_t at = 0; at < message.text.size(); at += piece) {
    all_sent &= RunTrapped(log_, "frmBrennicot:MessageSend", [&] {
      wsockudp_->SendData(SyslogMessage{message.header, message.text.substr(at, piece)}.Payload());
    });
  }
  return all_sent;
}

}  // namespace brennicot
