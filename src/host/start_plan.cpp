#include "host/start_plan.h"

#include <algorithm>
#include <set>
#include <utility>

#include "base/numeric_text.h"
#include "config/settings.h"
#include "syslog/message_composer.h"

namespace brennicot {
namespace {

constexpr std::int16_t kInBufferSize = 16384;

}  // namespace

void StartPlan::Add(Stage stage, std::string_view key, std::vector<std::string_view> need,
                    std::function<void()> run) {
  steps_.push_back({stage, key, std::move(need), std::move(run)});
}

StartPlan::StartPlan(const SettingsTable& settings, Platform& platform, SerialPort& port)
    : settings_(settings), platform_(platform) {
  const SettingsTable& s = settings_;
  // The collector channel: values a start refuses outright, the transport, its files, the port.
  for (const SettingRow& row : kSettings) {
    if (row.rule.rejected != Rejected::kFailsStart) continue;
    Add(Stage::kChannel, row.key, {}, [&s, &row] { CheckSettingForStart(s, row); });
  }
  Add(Stage::kChannel, key::kFraming, {key::kTransport, key::kFraming, key::kQueueMax},
      [this] { transport_ = ReadTransportSettings(settings_); });
  // The files are read by a session like those the start connects with, and a file that cannot
  // be used fails the start: a collector that never answers must not hide it.
  Add(Stage::kChannel, key::kTransport, {key::kTransport, key::kFraming}, [this] {
    if (!UsesTls(transport_.transport)) return;
    const TlsSettings& tls = transport_.tls;
    const std::unique_ptr<TlsSession> session = platform_.CreateTlsSession();
    session->Begin(tls);
    if (session->KeyOpenToOthers(tls))
      key_open_ = tls.key.path.empty() ? tls.cert.path : tls.key.path;
  });
  Add(Stage::kChannel, key::kUdpPort, {},
      [this] { remote_port_ = ToInt32(SettingNumber(settings_, key::kUdpPort)); });

  // The serial port, its properties in the order the port takes them, all while it is closed.
  Add(Stage::kPort, key::kCommPort, {}, [this, &port] {
    port.SetCommPort(ToInt16(SettingNumber(settings_, key::kCommPort)));
    if (port.PortOpen()) port.SetPortOpen(false);
  });
  Add(Stage::kPort, key::kCommIni, {},
      [this, &port] { port.SetSettings(settings_.Get(key::kCommIni)); });
  Add(Stage::kPort, key::kFlowControl, {},
      [this, &port] { port.SetHandshaking(ToInt32(SettingNumber(settings_, key::kFlowControl))); });
  Add(Stage::kPort, {}, {}, [&port] {
    port.SetDTREnable(true);
    port.SetRTSEnable(true);
    port.SetRThreshold(0);  // received bytes are polled by tmrComm, not signalled
    port.SetSThreshold(0);
    port.SetInBufferSize(kInBufferSize);
  });

  Add(Stage::kCarriageReturns, key::kCrSend, {},
      [this] { carriage_returns_ = ToInt32(SettingNumber(settings_, key::kCrSend)); });
  Add(Stage::kStatusTimer, key::kEnableStatusTimer, {},
      [this] { status_timer_ = SettingNumber(settings_, key::kEnableStatusTimer) == 1; });

  // Every line, event and tick: the switches and numbers read there, and the message itself.
  for (const SettingRow& row : kSettings) {
    if (row.reading != Reading::kStrict) continue;
    Add(Stage::kRunning, row.key, {}, [this, &row] { SettingNumber(settings_, row.key); });
  }
  Add(Stage::kRunning, key::kMsgFormat, {}, [this] {
    MonthNameTable months;
    MonthNamesInit(months);
    const ComposeContext context{settings_, months, [this] { return platform_.Time().Now(); },
                                 [] { return std::string("host"); }};
    ComposeSyslogMessage(context, "text");
  });
}

void StartPlan::Run(Stage stage) {
  for (const Step& step : steps_) {
    if (step.stage == stage) step.run();
  }
}

void StartPlan::RunEach(const std::function<void(std::string_view key, const Error&)>& refused) {
  std::set<std::string_view> failed;
  for (const Step& step : steps_) {
    if (std::any_of(step.need.begin(), step.need.end(),
                    [&](std::string_view key) { return failed.contains(key); })) {
      continue;
    }
    try {
      step.run();
    } catch (const Error& e) {
      failed.insert(step.key);
      refused(step.key, e);
    }
  }
}

bool UsesTls(Transport transport) {
  return transport == Transport::kTls || transport == Transport::kRelpTls;
}

TransportSettings ReadTransportSettings(const SettingsTable& settings) {
  TransportSettings t;
  const std::string& transport = settings.Get(key::kTransport);
  t.transport = transport == "tcp"        ? Transport::kTcp
                : transport == "tls"      ? Transport::kTls
                : transport == "relp"     ? Transport::kRelp
                : transport == "relp-tls" ? Transport::kRelpTls
                                          : Transport::kUdp;
  t.stream.framing = settings.Get(key::kFraming) == "lf" ? Framing::kLf : Framing::kOctet;
  if (t.stream.framing == Framing::kLf) {
    if (t.transport == Transport::kTls) {
      throw InvalidPropertyValue(std::string(key::kFraming) + "=lf: TLS always counts octets");
    }
    if (t.transport == Transport::kRelp || t.transport == Transport::kRelpTls) {
      throw InvalidPropertyValue(std::string(key::kFraming) + "=lf: " + transport +
                                 " frames each message itself");
    }
  }
  if (t.transport == Transport::kRelp || t.transport == Transport::kRelpTls) {
    t.stream.protocol = StreamProtocol::kRelp;
  }
  t.stream.queue_max_bytes =
      static_cast<std::size_t>(SettingNumber(settings, key::kQueueMax)) * 1024;
  // The files are only named here; the session reads them at the start and at every connection.
  t.tls.ca = {key::kTlsCa, settings.Get(key::kTlsCa)};
  t.tls.cert = {key::kTlsCert, settings.Get(key::kTlsCert)};
  t.tls.key = {key::kTlsKey, settings.Get(key::kTlsKey)};
  t.tls.name = settings.Get(key::kTlsName);
  if (t.tls.name.empty()) t.tls.name = settings.Get(key::kUdpTarget);
  return t;
}

}  // namespace brennicot
