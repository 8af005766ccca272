#include "host/start_plan.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/settings.h"
#include "fakes/host_fakes.h"

namespace brennicot {
namespace {

using Strings = std::vector<std::string>;
using Overrides = std::map<std::string, std::string>;
using Stage = StartPlan::Stage;

// A start whose settings are the defaults but for `overrides`, over a closed port.
struct Planned {
  explicit Planned(const Overrides& overrides) {
    for (const SettingRow& row : kSettings) settings.Add(row.key, std::string(row.default_value));
    for (const auto& [key, value] : overrides) settings.Set(key, value);
  }
  // -check's view: every refusal as "<key> <number>: <description>", in the order found.
  Strings Refusals() {
    Strings refusals;
    StartPlan(settings, platform, port).RunEach([&](std::string_view key, const Error& e) {
      refusals.push_back(std::string(key) + " " + std::to_string(e.number()) + ": " +
                         e.description());
    });
    return refusals;
  }
  // The start's view: its stages in order up to the first failure ("" when none fails).
  std::string FirstFailure() {
    try {
      for (const Stage stage : {Stage::kChannel, Stage::kPort, Stage::kCarriageReturns,
                                Stage::kStatusTimer, Stage::kRunning}) {
        plan.Run(stage);
      }
    } catch (const Error& e) {
      return std::to_string(e.number()) + ": " + e.description();
    }
    return "";
  }

  SettingsTable settings;
  fakes::FakePlatform platform;
  fakes::FakeSerialDevice* device = new fakes::FakeSerialDevice;
  SerialPort port{std::unique_ptr<SerialDevice>(device)};
  StartPlan plan{settings, platform, port};
};

TEST(StartPlan, TheWayOutFollowsTransportFramingAndQueueMaxAndATlsOneReadsItsFiles) {
  const struct {
    Overrides settings;
    Transport transport;
    std::optional<Framing> framing;  // none: RELP frames its messages itself
    std::string tls_name = "";  // what the one session given the files must find in the certificate
    std::size_t queue_bytes = 8192 * 1024;
  } cases[] = {
      {{}, Transport::kUdp, Framing::kOctet},
      {{{"framing", "lf"}}, Transport::kUdp, Framing::kLf},
      {{{"transport", "tcp"}, {"queuemax", "1"}}, Transport::kTcp, Framing::kOctet, "", 1024},
      {{{"transport", "tcp"}, {"framing", "lf"}, {"queuemax", "0"}},
       Transport::kTcp,
       Framing::kLf,
       "",
       0},
      {{{"transport", "tls"}}, Transport::kTls, Framing::kOctet, "collector.example"},
      {{{"transport", "relp"}}, Transport::kRelp, std::nullopt},
      {{{"transport", "relp-tls"}, {"queuemax", "1048576"}, {"tlsname", "syslog.example"}},
       Transport::kRelpTls,
       std::nullopt,
       "syslog.example",
       std::size_t{1048576} * 1024},
  };
  for (const auto& c : cases) {
    Planned p(c.settings);
    SCOPED_TRACE(p.settings.Get(key::kTransport) + " " + p.settings.Get(key::kFraming));
    p.settings.Set(key::kUdpTarget, "collector.example");
    p.settings.Set(key::kTlsCa, "/etc/vb/ca.pem");
    p.settings.Set(key::kTlsKey, "/etc/vb/own.key");
    p.plan.Run(Stage::kChannel);
    const TransportSettings& made = p.plan.Transport();
    EXPECT_EQ(made.transport, c.transport);
    if (c.framing) {
      EXPECT_EQ(made.stream.framing, *c.framing);
    }
    EXPECT_EQ(made.stream.queue_max_bytes, c.queue_bytes);
    EXPECT_EQ(p.plan.RemotePort(), 514);
    ASSERT_EQ(p.platform.tls_begun.size(), c.tls_name.empty() ? 0u : 1u);
    if (c.tls_name.empty()) continue;
    for (const TlsSettings& tls : {made.tls, p.platform.tls_begun.front()}) {
      const auto named = [](const TlsFile& f) { return std::string(f.key) + "=" + f.path; };
      EXPECT_EQ(tls.name, c.tls_name);
      EXPECT_EQ(named(tls.ca) + " " + named(tls.cert) + " " + named(tls.key),
                "tlsca=/etc/vb/ca.pem tlscert= tlskey=/etc/vb/own.key");
    }
  }
}

// The start warns of the key's file, which is the certificate's when no key file is named.
TEST(StartPlan, AKeyOthersMayReadIsNamed) {
  const struct {
    bool key_open;
    std::string key;
    std::optional<std::string> named;
  } cases[] = {
      {false, "/etc/vb/own.key", std::nullopt},
      {true, "/etc/vb/own.key", "/etc/vb/own.key"},
      {true, "", "/etc/vb/own.pem"},
  };
  for (const auto& c : cases) {
    Planned p({{"transport", "tls"}, {"tlscert", "/etc/vb/own.pem"}, {"tlskey", c.key}});
    p.platform.tls_key_open = c.key_open;
    p.plan.Run(Stage::kChannel);
    EXPECT_EQ(p.plan.KeyOpenToOthers(), c.named) << c.key;
  }
}

// -check hears of every step that refuses a value, under the setting it reads (it keeps the first
// of each setting); a step that needs a refused setting is not run. The start fails on the first.
TEST(StartPlan, EveryRefusalWithItsSettingAndExactTextAndTheStartFailsOnTheFirst) {
  const struct {
    Overrides settings;
    Strings refusals;
  } cases[] = {
      {{{"crsend", "3 times"}}, {}},  // read for its leading number wherever it is used
      {{{"transport", "tls"}, {"framing", "lf"}},
       {"framing 380: Invalid property value: framing=lf: TLS always counts octets"}},
      {{{"transport", "relp"}, {"framing", "lf"}},
       {"framing 380: Invalid property value: framing=lf: relp frames each message itself"}},
      {{{"transport", "relp-tls"}, {"framing", "lf"}},
       {"framing 380: Invalid property value: framing=lf: relp-tls frames each message itself"}},
      // Neither the way out nor its files are made of a transport that was refused.
      {{{"transport", "TCP"}},
       {"transport 380: Invalid property value: transport=TCP is not one of udp, tcp, tls, relp, "
        "relp-tls"}},
      {{{"framing", "octets"}, {"queuemax", "1048577"}},
       {"framing 380: Invalid property value: framing=octets is not one of octet, lf",
        "queuemax 380: Invalid property value: queuemax=1048577 is not a whole number from 0 "
        "to 1048576"}},
      // The way out is not made of a queue bound that was refused; the running forwarder would
      // fail on it as well.
      {{{"queuemax", "many"}},
       {"queuemax 380: Invalid property value: queuemax=many is not a whole number from 0 to "
        "1048576",
        "queuemax 13: Type mismatch: 'many' is not a number"}},
      {{{"transport", "tls"}, {"tlsca", "/etc/vb/missing.pem"}},
       {"transport 2: No such file or directory (/etc/vb/missing.pem)"}},
      {{{"commport", "0"}, {"commini", "9600,X,8,1"}},
       {"commport 380: Invalid property value: CommPort 0: the first port is 1",
        "commini 380: Invalid property value: Settings '9600,X,8,1': parity 'X' must be N, E, "
        "O, M or S"}},
      {{{"checkseq", "on"}}, {"checkseq 13: Type mismatch: 'on' is not a number"}},
  };
  for (const auto& c : cases) {
    Planned p(c.settings);
    if (p.settings.Get(key::kTlsCa) == "/etc/vb/missing.pem") {
      p.platform.tls_unusable = Error(2, "No such file or directory (/etc/vb/missing.pem)");
    }
    SCOPED_TRACE(c.refusals.empty() ? "none" : c.refusals.front());
    EXPECT_EQ(p.Refusals(), c.refusals);
    const std::string first = c.refusals.empty() ? "" : c.refusals.front();
    EXPECT_EQ(p.FirstFailure(), first.substr(first.find(' ') + 1));
  }
}

// The start writes what it read to the closed port and keeps the numbers it runs with; a stage
// runs its own steps alone.
TEST(StartPlan, ThePortIsGivenItsPropertiesClosedAndEachStageKeepsItsNumbers) {
  Planned p({{"commport", "3"},
             {"commini", "19200,E,7,1"},
             {"flowcontrol", "2"},
             {"crsend", "4"},
             {"EnableStatusTimer", "0"},
             {"udpport", "6514"},
             {"checkseq", "on"}});
  p.plan.Run(Stage::kChannel);
  EXPECT_EQ(p.plan.RemotePort(), 6514);
  EXPECT_EQ(p.port.CommPort(), 1) << "the port is the port stage's";
  p.plan.Run(Stage::kPort);
  EXPECT_FALSE(p.port.PortOpen());
  EXPECT_EQ(p.plan.CarriageReturns(), 0);
  p.plan.Run(Stage::kCarriageReturns);
  EXPECT_EQ(p.plan.CarriageReturns(), 4);
  p.plan.Run(Stage::kStatusTimer);
  EXPECT_FALSE(p.plan.StatusTimer());
  EXPECT_THROW(p.plan.Run(Stage::kRunning), Error);
  p.port.SetPortOpen(true);
  EXPECT_EQ(p.device->opens, Strings{"COM3 19200,E,7,1 handshaking 2 DTR on RTS on queue 16384"});

  Planned timer(Overrides{{"EnableStatusTimer", "1"}});
  timer.plan.Run(Stage::kStatusTimer);
  EXPECT_TRUE(timer.plan.StatusTimer());
}

}  // namespace
}  // namespace brennicot
