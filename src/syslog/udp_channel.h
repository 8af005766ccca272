// The UDP channel: each message leaves as one datagram through WsockUDP, at once, never queued.
// A text too long for one datagram leaves as consecutive pieces, each with the layout's header.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "log/activity_log.h"
#include "platform/udp_socket.h"
#include "syslog/collector_channel.h"

namespace brennicot {

class UdpChannel : public CollectorChannel {
 public:
  UdpChannel(UdpSocket& socket, ActivityLog& log) : socket_(socket), log_(log) {}

  // Sets the remote port and host and binds.
  void Open(const std::string& host, std::int32_t port) override;
  // One error line per datagram that fails.
  bool Send(const SyslogMessage& message) override;
  bool IsOpen() const override { return socket_.State() != 0; }
  void Close() override { socket_.Close(); }
  std::string StatusText() const override { return {}; }
  ChannelCounts Counts() const override { return counts_; }
  void SetOnSent(std::function<void(std::string_view payload)> on_sent) override {
    on_sent_ = std::move(on_sent);
  }

 private:
  bool SendDatagram(const std::string& payload);

  UdpSocket& socket_;
  ActivityLog& log_;
  ChannelCounts counts_;
  std::function<void(std::string_view)> on_sent_;
};

}  // namespace brennicot
