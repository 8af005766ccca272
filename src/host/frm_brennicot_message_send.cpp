// MessageSend: the only way out towards the collector.
#include "host/frm_brennicot.h"
#include "log/error_trap.h"
#include "syslog/collector_channel.h"
#include "syslog/message_composer.h"

namespace brennicot {

bool frmBrennicot::MessageSend(const std::string& MessageText) {
  const ComposeContext context{*settings_, month_names_,
                               [this] { return platform_.LocalClock().Now(); },
                               [this] { return wsockudp_->LocalHostName(); }};
  SyslogMessage message;
  if (!RunTrapped(log_, kMessageSendWhere,
                  [&] { message = ComposeSyslogMessage(context, MessageText); })) {
    return false;
  }
  // Composed the same for every transport; only how it leaves differs.
  return channel_->Send(message);
}

}  // namespace brennicot
