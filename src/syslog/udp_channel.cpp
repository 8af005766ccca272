#include "syslog/udp_channel.h"

#include <optional>

#include "log/error_trap.h"
#include "syslog/stream_channel.h"

namespace brennicot {

void UdpChannel::Open(const std::string& host, std::int32_t port) {
  socket_.SetRemotePort(port);
  socket_.SetRemoteHost(host);
  socket_.Bind();
  SendSpool();
}

std::vector<std::string> UdpChannel::Datagrams(const SyslogMessage& message) const {
  // A text too long for one datagram (a remainder flushed without a line end can outgrow it)
  // would be lost whole; it leaves as consecutive pieces instead, each as large as fits, each
  // behind the same header.
  const std::size_t limit = socket_.MaxPayload();
  const std::size_t header = message.header.size();
  if (header + message.text.size() <= limit || header >= limit) return {message.Payload()};
  const std::size_t piece = limit - header;
  std::vector<std::string> datagrams;
  for (std::size_t at = 0; at < message.text.size(); at += piece) {
    datagrams.push_back(SyslogMessage{message.header, message.text.substr(at, piece)}.Payload());
  }
  return datagrams;
}

bool UdpChannel::Send(const SyslogMessage& message) {
  bool all_sent = true;
  for (const std::string& datagram : Datagrams(message)) all_sent &= SendDatagram(datagram);
  return all_sent;
}

bool UdpChannel::SendDatagram(const std::string& payload) {
  // A datagram that fails is lost (its error line says why): counted, never sent again.
  if (!RunTrapped(log_, kMessageSendWhere, [&] { socket_.SendData(payload); })) {
    ++counts_.dropped;
    return false;
  }
  ++counts_.sent;
  if (on_sent_) on_sent_(payload);
  return true;
}

void UdpChannel::SendSpool() {
  if (!spool_) return;
  // A spooled message was composed whole; where its header ends is not kept, so a piece of one
  // too long for a datagram carries no header of its own.
  std::uint64_t sent = 0;
  std::optional<Error> failure;
  const SpoolLoad load = spool_->Load(
      spool_bound_, [](std::size_t size) { return size + kQueueEntryBytes; },
      [&](std::string&& message) {
        try {
          for (const std::string& datagram : Datagrams(SyslogMessage{{}, message})) {
            socket_.SendData(datagram);
            ++counts_.sent;
            if (on_sent_) on_sent_(datagram);
          }
        } catch (...) {
          failure = ToError(std::current_exception());
          return false;
        }
        ++sent;
        return true;
      });
  if (failure) {
    // One line, not one per message; the file stays and goes first again at the next start.
    log_.LogWrite(ErrorLine(kMessageSendWhere, failure->number(),
                            failure->description() + "; " + std::to_string(load.kept - sent) +
                                " of the last run's messages not sent, kept in the spool"),
                  LogKind::kError);
    return;
  }
  if (load.kept > 0) spool_->Remove();
}

}  // namespace brennicot
