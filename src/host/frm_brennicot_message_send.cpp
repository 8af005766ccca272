// MessageSend: the only way out towards the collector.
#include <algorithm>

#include "host/frm_brennicot.h"
#include "log/error_trap.h"
#include "syslog/message_composer.h"

namespace brennicot {

bool frmBrennicot::MessageSend(const std::string& MessageText) {
  const ComposeContext context{*settings_, month_names_,
                               [this] { return platform_.LocalClock().Now(); },
                               [this] { return wsockudp_->LocalHostName(); }};
  std::string payload;
  if (!RunTrapped(log_, "frmBrennicot:MessageSend",
                  [&] { payload = ComposeSyslogPayload(context, MessageText); })) {
    return false;
  }
  // A text too long for one datagram (a remainder flushed without a line end can outgrow it)
  // would be lost whole; it leaves as consecutive pieces instead, each as large as fits. Only
  // layouts that end with the text unchanged can be that long, so what precedes it is the header
  // every piece repeats.
  const std::size_t limit = wsockudp_->MaxPayload();
  const std::size_t header = payload.size() - std::min(payload.size(), MessageText.size());
  if (payload.size() <= limit || header >= limit) {
    return RunTrapped(log_, "frmBrennicot:MessageSend", [&] { SendDatagram(payload); });
  }
  const std::size_t piece = limit - header;
  bool all_sent = true;
  for (std::size_t at = 0; at < MessageText.size(); at += piece) {
    all_sent &= RunTrapped(log_, "frmBrennicot:MessageSend", [&] {
      SendDatagram(ComposeSyslogPayload(context, MessageText.substr(at, piece)));
    });
  }
  return all_sent;
}

void frmBrennicot::SendDatagram(const std::string& payload) {
  wsockudp_->SendData(payload);
  // Someone trying a configuration sees what the collector gets, without a collector.
  if (command_ == kInteractCommand) platform_.Ui().PrintOut(payload + "\n");
}

}  // namespace brennicot
