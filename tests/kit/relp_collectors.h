// Collectors for RELP: rsyslogd with imrelp, and two small peers of tests/kit/relp_peers.py.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "kit/collectors.h"
#include "kit/process.h"

namespace brennicot::testkit {

// rsyslogd with imrelp, plain or (with `cert` and `key`) over TLS with its default library,
// where it asks for a client certificate by `ca` (which it cannot do without). Its main queue is
// Direct: its "200 OK" comes once the record is written, so a kill loses nothing it confirmed.
struct RsyslogRelp : Collector {
  RsyslogRelp(const std::string& dir, const std::string& cert = {}, const std::string& key = {},
              const std::string& ca = {});
  static bool Available();
};

// A peer of relp_peers.py, killed with the test.
class RelpPeer {
 public:
  int port() const { return port_; }

 protected:
  RelpPeer(const std::string& dir, std::vector<std::string> args);
  std::string dir_;

 private:
  std::unique_ptr<TestProcess> process_;
  int port_ = 0;
};

// Refuses the first `refusals` messages with "500 <reason>", takes the rest.
class RefusingRelpCollector : public RelpPeer {
 public:
  RefusingRelpCollector(const std::string& dir, int refusals, const std::string& reason);
  std::vector<std::string> Taken() const;
  std::vector<std::string> Refused() const;
};

// Relays each connection to `to`, or accepts and closes it while nothing listens there.
class PortForwarder : public RelpPeer {
 public:
  PortForwarder(const std::string& dir, int to);
};

}  // namespace brennicot::testkit
