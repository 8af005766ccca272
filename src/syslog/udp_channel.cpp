#include "syslog/udp_channel.h"

#include "log/error_trap.h"

namespace brennicot {

void UdpChannel::Open(const std::string& host, std::int32_t port) {
  socket_.SetRemotePort(port);
  socket_.SetRemoteHost(host);
  socket_.Bind();
}

bool UdpChannel::Send(const SyslogMessage& message) {
  // A text too long for one datagram (a remainder flushed without a line end can outgrow it)
  // would be lost whole; it leaves as consecutive pieces instead, each as large as fits, each
  // behind the same header.
  const std::size_t limit = socket_.MaxPayload();
  const std::size_t header = message.header.size();
  if (header + message.text.size() <= limit || header >= limit) {
    return SendDatagram(message.Payload());
  }
  const std::size_t piece = limit - header;
  bool all_sent = true;
  for (std::size_t at = 0; at < message.text.size(); at += piece) {
    all_sent &=
        SendDatagram(SyslogMessage{message.header, message.text.substr(at, piece)}.Payload());
  }
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

}  // namespace brennicot
