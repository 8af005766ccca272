// The service's status line: its text, and when the host tells it.
#include "host/service_status.h"

#include "host/host_fixture.h"

namespace brennicot {
namespace {

using Strings = std::vector<std::string>;

TEST(ComposeStatusText, SaysWhereFromWhereToHowManyAndWhatFailed) {
  const auto status = [](std::uint64_t lines, std::optional<std::int64_t> ago,
                         std::string target = "collector", std::string error = "") {
    return ServiceStatus{7, "/dev/ttyUSB0", "9600,N,8,1", target, "514", lines, ago, error};
  };
  const struct {
    ServiceStatus status;
    const char* text;
  } cases[] = {
      {status(12345, 3),
       "COM7 (/dev/ttyUSB0) 9600,N,8,1 -> collector:514; 12,345 lines forwarded, "
       "last 3 s ago"},
      {status(0, std::nullopt),
       "COM7 (/dev/ttyUSB0) 9600,N,8,1 -> collector:514; 0 lines forwarded"},
      {status(1, 119),
       "COM7 (/dev/ttyUSB0) 9600,N,8,1 -> collector:514; 1 line forwarded, last "
       "119 s ago"},
      {status(999, 7199, "::1"),
       "COM7 (/dev/ttyUSB0) 9600,N,8,1 -> [::1]:514; 999 lines "
       "forwarded, last 119 min ago"},
      {status(1000000, 7200),
       "COM7 (/dev/ttyUSB0) 9600,N,8,1 -> collector:514; 1,000,000 lines "
       "forwarded, last 2 h ago"},
      {status(5, 3 * 86400 + 5, "collector", "Err#: 8012 on COM7\r\nPort not open"),
       "COM7 (/dev/ttyUSB0) 9600,N,8,1 -> collector:514; 5 lines forwarded, last 3 d ago; last "
       "error: Err#: 8012 on COM7 Port not open"},
  };
  for (const auto& c : cases) EXPECT_EQ(ComposeStatusText(c.status), c.text);
  ServiceStatus no_device = status(0, std::nullopt);
  no_device.device.clear();
  EXPECT_EQ(ComposeStatusText(no_device), "COM7 9600,N,8,1 -> collector:514; 0 lines forwarded");
}

class ServiceStatusTest : public HostTest {
 protected:
  void Start() {
    StartService([&] {
      Set("msgformat", "3");
      Set("EnableStatusTimer", "0");
      Set("udptarget", "collector");
    });
  }
  const Strings& Told() const { return platform.service->status_texts; }
};

TEST_F(ServiceStatusTest, IsToldAtStartAndThenOnlyWhenItChangesAtMostOncePerTick) {
  const std::string where = "COM1 (/dev/ttyS0) 9600,N,8,1 -> collector:514; ";
  Start();
  EXPECT_EQ(Told(), Strings{where + "0 lines forwarded"});
  Ticks(4, 500);
  EXPECT_EQ(Told().size(), 1u) << "nothing changed";
  platform.port->queue = "a\r\nb\r\nc\r\n";
  Ticks(1, 500);
  Ticks(3, 500);
  EXPECT_EQ(Told(), (Strings{where + "0 lines forwarded", where + "3 lines forwarded, last 0 s ago",
                             where + "3 lines forwarded, last 1 s ago"}));
  // A failed send is no line forwarded; its error line shows until another error replaces it.
  platform.socket->send_error = Error(101, "Network is unreachable");
  platform.port->queue = "d\r\n";
  Ticks(1, 500);
  EXPECT_EQ(Told().back(), where +
                               "3 lines forwarded, last 2 s ago; last error: "
                               "frmBrennicot:MessageSend err#:101:Network is unreachable");
}

TEST_F(ServiceStatusTest, JournalGetsEveryEntryWithItsPriorityOnlyWhenStandardErrorIsIt) {
  for (bool journal : {false, true}) {
    platform.ui.echoed.clear();
    platform.files.files.clear();
    platform.arguments = "";
    platform.files.files["/opt/vb/Vemo_Brennicot.ini"] = "";
    platform.profile.block = std::string("checkseq=1\0udpport=abc\0", 23);
    host = std::make_unique<frmBrennicot>(platform);
    platform.service->journal = journal;
    host->FormLoad();
    platform.loop.RunPosted();
    platform.port->queue = "This is Syslog test message number 0002\r\n";
    Ticks(1, 500);
    platform.socket->send_error = Error(101, "Network is unreachable");
    platform.port->queue = "x\r\n";
    Ticks(1, 500);
    platform.loop.RequestStop();
    const Strings expected = {
        "<4>Vemo_Brennicot invalid port- abc - using 514", std::string("<6>") + kDefaultStartupLine,
        "<4>INSEQERR - expected 1 received 2",
        "<3>frmBrennicot:MessageSend err#:101:Network is unreachable", "<6>Brennicot Shutdown ***"};
    EXPECT_EQ(platform.ui.echoed, journal ? expected : Strings{}) << journal;
    EXPECT_EQ(Log().size(), 5u) << "the log file is written as before";
  }
}

}  // namespace
}  // namespace brennicot
