// StartUp, ShutDown and the service start and stop events.
#include "host/host_fixture.h"

namespace brennicot {
namespace {

using Strings = std::vector<std::string>;

// The device as the default settings open it, once.
const Strings kDefaultOpen = {"COM1 9600,N,8,1 handshaking 1 DTR on RTS on queue 16384"};

class StartUpTest : public HostTest {};

TEST_F(StartUpTest, DefaultsOpenBothChannelsInOrderAndLogTheStartUpLine) {
  StartService();
  EXPECT_EQ(platform.service->reported_start, true);
  EXPECT_EQ(platform.socket->binds, 1);
  EXPECT_EQ(platform.port->opens, kDefaultOpen);
  EXPECT_EQ(platform.port->writes, Strings{"\r"});
  EXPECT_TRUE(host->tmrComm().Enabled());
  EXPECT_TRUE(host->tmrStatus().Enabled());
  EXPECT_EQ(Log(), Strings{kDefaultStartupLine});
  // The port is polled every 500 ms; the heartbeat counts seconds, 30 of them by default.
  platform.port->queue = "x\r\n";
  Ticks(499, 1);
  EXPECT_TRUE(platform.socket->sent.empty());
  Ticks(1, 1);
  EXPECT_EQ(platform.socket->sent_to, Strings{"localhost:514"});
  Ticks(29499, 1);
  EXPECT_EQ(platform.socket->sent.size(), 1u);
  Ticks(1, 1);
  EXPECT_EQ(platform.socket->sent.size(), 2u) << "the heartbeat";
}

TEST_F(StartUpTest, TheDeviceOpensWithTheConfiguredValues) {
  StartService([&] {
    Set("commport", "3");
    Set("flowcontrol", "2.5");
    Set("commini", "19200,E,7,2");
    Set("crsend", "0");
  });
  EXPECT_EQ(platform.port->opens,
            Strings{"COM3 19200,E,7,2 handshaking 2 DTR on RTS on queue 16384"});
  EXPECT_TRUE(platform.port->writes.empty());
}

TEST_F(StartUpTest, CarriageReturnsAreSeparateWritesAfterTheOpen) {
  const struct {
    const char* crsend;
    int writes;
  } cases[] = {{"0", 0}, {"3", 3}, {"2.5", 2}, {"3.5", 4}, {"", 0}, {"-2", 0}, {"2 CR", 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("crsend '") + c.crsend + "'");
    platform.files.files.clear();
    StartService([&] { Set("crsend", c.crsend); });
    // Writes only reach an open device: each came after the open.
    EXPECT_EQ(platform.port->opens, kDefaultOpen);
    EXPECT_EQ(platform.port->writes, Strings(c.writes, "\r"));
    EXPECT_EQ(platform.port->output, std::string(c.writes, '\r'));
    EXPECT_EQ(Log(), Strings{kDefaultStartupLine});
  }
}

TEST_F(StartUpTest, StartUpLineShowsTheStoredTextsUnconverted) {
  StartService([&] {
    Set("OriginalAddress", "10.1.2.3");
    Set("VemoBrennicotID", "");
    Set("udpport", " 1514 ");
    Set("udptarget", "collector.example");
    Set("commport", "02");
  });
  host->MessageSend("x");
  EXPECT_EQ(platform.socket->sent_to, Strings{"collector.example:1514"});
  EXPECT_EQ(Log(), Strings{"*** Brennicot 1.3 Startup commport:02 commini:9600,N,8,1 flowcontrol:1 "
                           "udptarget:collector.example udpport: 1514  OriginalAddress:10.1.2.3 "
                           "VemoBrennicotID:"});
}

TEST_F(StartUpTest, StatusTimerIsArmedOnlyForOne) {
  const struct {
    const char* value;
    bool armed;
  } cases[] = {{"1", true}, {"1.0", true}, {" 1 ", true}, {"0", false}, {"2", false}};
  for (const auto& c : cases) {
    platform.files.files.clear();
    StartService([&] { Set("EnableStatusTimer", c.value); });
    EXPECT_EQ(host->tmrStatus().Enabled(), c.armed) << c.value;
    EXPECT_EQ(Log(), Strings{kDefaultStartupLine}) << c.value;
    EXPECT_EQ(platform.service->reported_start, true);
  }
}

TEST_F(StartUpTest, NonNumericStatusSwitchFailsTheLastStepOnly) {
  StartService([&] { Set("EnableStatusTimer", "yes"); });
  EXPECT_EQ(Log(),
            (Strings{kDefaultStartupLine,
                     "frmBrennicot1.3:Startup err#:13:Type mismatch: 'yes' is not a number"}));
  // Forwarding runs: the service is not failed for a heartbeat it could not arm.
  EXPECT_EQ(platform.service->reported_start, true);
  EXPECT_TRUE(host->tmrComm().Enabled());
  EXPECT_FALSE(host->tmrStatus().Enabled());
  EXPECT_FALSE(platform.loop.quit);
}

TEST_F(StartUpTest, APortInUseLeavesTheSocketBoundAndNothingArmed) {
  bool comm_armed = true;
  Load("");
  platform.port->open_error = Error(16, "Device or resource busy (/dev/ttyS0): port in use");
  // Look at the state StartUp leaves, before the failed start is answered by the stop event.
  platform.service->on_stopping = [&] {
    comm_armed = host->tmrComm().Enabled();
    EXPECT_EQ(platform.socket->state, 1);
  };
  platform.loop.RunPosted();
  EXPECT_EQ(platform.service->reported_start, false);
  EXPECT_FALSE(comm_armed);
  EXPECT_EQ(platform.port->output, "");
  EXPECT_EQ(platform.socket->binds, 1);
  EXPECT_EQ(Log(), (Strings{"frmBrennicot1.3:Startup err#:16:Device or resource busy (/dev/ttyS0): "
                            "port in use",
                            "Brennicot Shutdown ***"}));
  EXPECT_EQ(platform.socket->closes, 1);
  EXPECT_EQ(platform.loop.exit_code, 1);
}

TEST_F(StartUpTest, ATransportThatCannotBeUsedFailsTheStartAndAStreamThatCanQueuesFromTheStart) {
  StartService([&] {
    Set("transport", "tls");
    Set("framing", "lf");
  });
  EXPECT_EQ(Log().front(),
            "frmBrennicot1.3:Startup err#:380:Invalid property value: framing=lf: TLS always "
            "counts octets");
  EXPECT_EQ(platform.socket->binds, 0);
  EXPECT_EQ(platform.service->reported_start, false);

  StartService([&] {
    Set("transport", "tcp");
    Set("udptarget", "10.0.0.5");
    Set("msgformat", "3");
  });
  EXPECT_EQ(platform.service->reported_start, true);  // the collector's absence is no failure
  platform.port->queue = "Door 3 open\r\n";
  Ticks(1, 500);
  platform.stream->Accept();
  EXPECT_EQ(platform.stream->connects, Strings{"10.0.0.5:514"});
  EXPECT_EQ(platform.stream->wire, "11 Door 3 open");
  EXPECT_EQ(platform.socket->binds, 0);
}

TEST_F(StartUpTest, InteractivelyAMessageIsShownWhenItLeavesNotWhenItIsQueued) {
  platform.files.files["/opt/vb/Vemo_Brennicot.ini"] = "[Vemo_Brennicot]\n";
  constexpr char kBlock[] = "transport=tcp\0udptarget=10.0.0.5\0msgformat=3\0";
  platform.profile.block = std::string(kBlock, sizeof kBlock - 1);
  Load("-interact");
  platform.port->queue = "Door 3 open\r\n";
  Ticks(1, 500);
  EXPECT_EQ(platform.ui.out, "");
  platform.stream->Accept();
  EXPECT_EQ(platform.ui.out, "Door 3 open\n");
}

TEST_F(StartUpTest, BindFailureNeverTouchesThePort) {
  StartService([&] { platform.socket->bind_error = Error(99, "Cannot assign requested address"); });
  EXPECT_TRUE(platform.port->opens.empty());
  EXPECT_EQ(Log(), (Strings{"frmBrennicot1.3:Startup err#:99:Cannot assign requested address",
                            "Brennicot Shutdown ***"}));
}

TEST_F(StartUpTest, UnconvertibleValuesFailTheirStep) {
  const struct {
    const char* key;
    const char* value;
    const char* line;
  } cases[] = {
      {"udpport", "abc", "frmBrennicot1.3:Startup err#:13:Type mismatch: 'abc' is not a number"},
      {"commport", "70000",
       "frmBrennicot1.3:Startup err#:6:Overflow: 70000 does not fit a 16-bit integer"},
      {"flowcontrol", "", "frmBrennicot1.3:Startup err#:13:Type mismatch: '' is not a number"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    platform.files.files.clear();
    StartService([&] { Set(c.key, c.value); });
    EXPECT_EQ(Log(), (Strings{c.line, "Brennicot Shutdown ***"}));
    EXPECT_TRUE(platform.port->opens.empty());
  }
}

class ShutDownTest : public HostTest {};

TEST_F(ShutDownTest, AfterAOneShotCommandOnlyReleasesAndLogs) {
  Load("-install");
  host->FormUnload();
  EXPECT_EQ(platform.socket->closes, 0);
  EXPECT_TRUE(platform.port->opens.empty());
  EXPECT_EQ(platform.port->closes, 0);
  EXPECT_TRUE(host->SettingsReleased());
  EXPECT_EQ(Log(), (Strings{"*** Brennicot 1.3 -install", "Brennicot Shutdown ***"}));
}

TEST_F(ShutDownTest, ClosesBothChannelsDisarmsTheTimersAndASecondCallDoesNothing) {
  StartService();
  platform.loop.RequestStop();
  EXPECT_EQ(platform.socket->closes, 1);
  EXPECT_EQ(platform.socket->state, 0);
  EXPECT_EQ(platform.port->closes, 1);
  EXPECT_FALSE(platform.port->open);
  EXPECT_FALSE(host->tmrComm().Enabled());
  EXPECT_FALSE(host->tmrStatus().Enabled());
  EXPECT_TRUE(host->SettingsReleased());
  EXPECT_EQ(platform.loop.exit_code, 0);

  const Strings log = Log();
  EXPECT_EQ(log.back(), "Brennicot Shutdown ***");
  host->FormUnload();
  host->ShutDown();
  EXPECT_EQ(Log(), log);
  EXPECT_EQ(platform.socket->closes, 1);
  EXPECT_EQ(platform.port->closes, 1);
}

TEST_F(ShutDownTest, ForwardsWhatTheDeviceAlreadySentBeforeClosing) {
  StartService();
  platform.port->queue = "last line\r\nunfinished";
  platform.loop.RequestStop();
  EXPECT_EQ(platform.socket->sent, (Strings{"<190>VemoBrennicotID=Brennicot last line",
                                            "<190>VemoBrennicotID=Brennicot unfinished"}));
  EXPECT_EQ(Log().back(), "Brennicot Shutdown ***");
}

TEST_F(ShutDownTest, NothingTouchesTheReleasedResourcesAfterwards) {
  StartService();
  host->ShutDown();
  const Strings log = Log();
  const int reads = platform.port->count_reads;
  platform.port->queue = "late line\r\n";
  Ticks(120, 500);
  host->tmrComm_Timer();
  host->tmrStatus_Timer();
  platform.port->Raise(1004);
  EXPECT_EQ(platform.port->count_reads, reads);
  EXPECT_TRUE(platform.socket->sent.empty());
  EXPECT_EQ(Log(), log);
}

TEST_F(ShutDownTest, AFailedCloseIsLoggedAndTheRestStillHappens) {
  // A socket whose close fails the way a vanished descriptor would.
  struct FailingCloseSocket : fakes::FakeUdpSystem {
    void Close() override { throw Error(9, "Bad file descriptor"); }
  };
  struct FailingPlatform : fakes::FakePlatform {
    std::unique_ptr<UdpSocket> CreateUdpSocket() override {
      auto s = std::make_unique<FailingCloseSocket>();
      socket = s.get();
      return std::make_unique<UdpSocket>(std::move(s), [this] { return loop.now_ms; });
    }
  } failing;
  frmBrennicot h(failing);
  h.FormLoad();  // empty arguments: service mode
  failing.loop.RunPosted();
  h.ShutDown();
  EXPECT_EQ(failing.port->closes, 1);
  EXPECT_FALSE(failing.port->open);
  const Strings log = failing.files.LogMessages();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2], "frmBrennicot:ShutDown err#:9:Bad file descriptor");
  EXPECT_EQ(log.back(), "Brennicot Shutdown ***");
}

}  // namespace
}  // namespace brennicot
