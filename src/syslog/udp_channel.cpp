#include "syslog/udp_channel.h"

#include <algorithm>

#include "log/error_trap.h"

namespace brennicot {

void UdpChannel::Open(const std::string& host, std::int32_t port) {
  socket_.SetRemotePort(port);
  socket_.SetRemoteHost(host);
  socket_.Bind();
}

bool UdpChannel::Send(const std::string& payload, std::size_t text_size) {
  // A text too long for one datagram (a remainder flushed without a line end can outgrow it)
  // would be lost whole; it leaves as consecutive pieces instead, each as large as fits. Only
  // layouts that end with the text unchanged can be that long, so what precedes it is the header
  // every piece repeats.
  const std::size_t limit = socket_.MaxPayload();
  const std::size_t header = payload.size() - std::min(payload.size(), text_size);
  if (payload.size() <= limit || header >= limit) {
    return RunTrapped(log_, kMessageSendWhere, [&] { socket_.SendData(payload); });
  }
  const std::size_t piece = limit - header;
  bool all_sent = true;
  for (std::size_t at = header; at < payload.size(); at += piece) {
    all_sent &= RunTrapped(log_, kMessageSendWhere, [&] {
      socket_.SendData(payload.substr(0, header) + payload.substr(at, piece));
    });
  }
  return all_sent;
}

}  // namespace brennicot
