// MessageSend: the only way out towards the collector.
#include "host/frm_brennicot.h"
#include "log/error_trap.h"
#include "syslog/message_composer.h"

namespace brennicot {

bool frmBrennicot::MessageSend(const std::string& MessageText) {
  return RunTrapped(log_, "frmBrennicot:MessageSend", [&] {
    const ComposeContext context{*settings_, month_names_,
                                 [this] { return platform_.LocalClock().Now(); },
                                 [this] { return wsockudp_->LocalHostName(); }};
    wsockudp_->SendData(ComposeSyslogPayload(context, MessageText));
  });
}

}  // namespace brennicot
