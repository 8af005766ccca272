// MessageSend: the only way out towards the collector.
#include "host/frm_brennicot.h"
#include "log/error_trap.h"
#include "syslog/collector_channel.h"
#include "syslog/message_composer.h"

namespace brennicot {

bool frmBrennicot::MessageSend(const std::string& MessageText) {
  const ComposeContext context{*settings_, month_names_, [this] { return platform_.Time().Now(); },
                               [this] { return wsockudp_->LocalHostName(); }};
  SyslogMessage message;
  if (!RunTrapped(log_, kMessageSendWhere,
                  [&] { message = ComposeSyslogMessage(context, MessageText); })) {
    return false;
  }
  // Composed the same for every transport; only how it leaves differs.
  return channel_->Send(message);
}

void frmBrennicot::OnMessageSent(std::string_view payload) {
  // Someone trying a configuration sees what the collector gets, when it leaves: a queued
  // message is not shown as sent.
  if (mode_ == Mode::kInteract) platform_.Ui().PrintOut(std::string(payload) + "\n");
  if (!last_error_.empty() && !error_cleared_at_) error_cleared_at_ = platform_.Time().Now();
}

}  // namespace brennicot
