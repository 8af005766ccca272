// The UDP channel: each message leaves as one datagram through WsockUDP, at once, never queued.
// A text too long for one datagram leaves as consecutive pieces, each with the layout's header.
// What a stream run left in the spool leaves first, as datagrams, when the channel opens.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "log/activity_log.h"
#include "syslog/collector_channel.h"
#include "syslog/spool.h"
#include "syslog/udp_socket.h"

namespace brennicot {

class UdpChannel : public CollectorChannel {
 public:
  UdpChannel(UdpSocket& socket, ActivityLog& log) : socket_(socket), log_(log) {}
  // With the spool a stream run may have left, read up to `spool_bound` bytes (queuemax).
  UdpChannel(UdpSocket& socket, ActivityLog& log, std::unique_ptr<Spool> spool,
             std::size_t spool_bound)
      : socket_(socket), log_(log), spool_(std::move(spool)), spool_bound_(spool_bound) {}

  // Sets the remote port and host and binds; then sends the spool's messages.
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
  // The payloads of the datagrams that carry `message`.
  std::vector<std::string> Datagrams(const SyslogMessage& message) const;
  bool SendDatagram(const std::string& payload);
  void SendSpool();

  UdpSocket& socket_;
  ActivityLog& log_;
  std::unique_ptr<Spool> spool_;
  std::size_t spool_bound_ = 0;
  ChannelCounts counts_;
  std::function<void(std::string_view)> on_sent_;
};

}  // namespace brennicot
