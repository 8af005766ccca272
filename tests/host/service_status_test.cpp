// The service's status line: its text, and when the host tells it.
#include "host/service_status.h"

#include "host/host_fixture.h"

namespace brennicot {
namespace {

using Strings = std::vector<std::string>;

TEST(ComposeStatusText, SaysWhereFromWhereToHowManyAndWhatFailed) {
  // `cleared`: hour, minute, second, and a day later when the fourth is given.
  const auto status = [](std::uint64_t lines, std::optional<std::int64_t> ago,
                         std::string target = "collector", std::string error = "",
                         std::string channel = "", std::vector<int> cleared = {}) {
    ServiceStatus s{7,     "/dev/ttyUSB0", "9600,N,8,1", target, "514", lines, ago,
                    error, channel,        {},           {},     {},    {},    {}};
    if (!channel.empty()) s.messages_sent = 1;
    s.last_error_at = {2030, 2, 6, 21, 41, 56};
    if (!cleared.empty()) {
      s.error_cleared_at =
          LocalTime{2030, 2, cleared.size() > 3 ? 7 : 6, cleared[0], cleared[1], cleared[2]};
    }
    return s;
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
       "error 2030/02/06 21:41:56: Err#: 8012 on COM7 Port not open"},
      {status(2, 1, "collector", "", "TCP, connected, 1 queued (1 of 8192 KiB)"),
       "COM7 (/dev/ttyUSB0) 9600,N,8,1 -> collector:514 (TCP, connected, 1 queued (1 of 8192 "
       "KiB)); 2 lines read, 1 message sent, last 1 s ago"},
      {status(2, 1, "collector", "x", "TCP, connected, 0 queued (0 of 8192 KiB)", {21, 42, 30}),
       "COM7 (/dev/ttyUSB0) 9600,N,8,1 -> collector:514 (TCP, connected, 0 queued (0 of 8192 "
       "KiB)); 2 lines read, 1 message sent, last 1 s ago; last error 2030/02/06 21:41:56 "
       "(cleared 21:42:30): x"},
      {[&] {
         ServiceStatus s = status(5, 3, "collector", "Err#: 8012 on COM7");
         s.log_failure = "cannot write the Activity log: Permission denied (/var/log/x.log)";
         return s;
       }(),
       "COM7 (/dev/ttyUSB0) 9600,N,8,1 -> collector:514; 5 lines forwarded, last 3 s ago; cannot "
       "write the Activity log: Permission denied (/var/log/x.log); last error 2030/02/06 "
       "21:41:56: Err#: 8012 on COM7"},
      {status(2, 1, "collector", "x", "TCP, connected, 0 queued (0 of 8192 KiB)", {0, 0, 1, 7}),
       "COM7 (/dev/ttyUSB0) 9600,N,8,1 -> collector:514 (TCP, connected, 0 queued (0 of 8192 "
       "KiB)); 2 lines read, 1 message sent, last 1 s ago; last error 2030/02/06 21:41:56 "
       "(cleared 2030/02/07 00:00:01): x"},
  };
  for (const auto& c : cases) EXPECT_EQ(ComposeStatusText(c.status), c.text);
  ServiceStatus no_device = status(0, std::nullopt);
  no_device.device.clear();
  EXPECT_EQ(ComposeStatusText(no_device), "COM7 9600,N,8,1 -> collector:514; 0 lines forwarded");
}

// systemd drops a status that is not UTF-8 and keeps only the start of a long one.
TEST(ComposeStatusText, IsValidUtf8AndShortNeverCutInsideACharacter) {
  const auto with = [](std::string device, std::string target) {
    return ComposeStatusText(
        ServiceStatus{1, device, "9600,N,8,1", target, "514", 0, {}, "", "", {}, {}, {}, {}, {}});
  };
  // A Latin-1 path and broken sequences: each bad byte is one U+FFFD, good characters stay.
  EXPECT_EQ(with("/dev/t\xE9l\xC3\xA9", "c\xED\xA0\x80\xF0\x9F\x98\x80"),
            "COM1 (/dev/t\xEF\xBF\xBDl\xC3\xA9) 9600,N,8,1 -> "
            "c\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xF0\x9F\x98\x80:514; 0 lines forwarded");
  // A long target, in three-byte characters, at every alignment against the cut.
  for (const std::string pad : {"", "a", "ab"}) {
    std::string target = pad;
    for (int i = 0; i < 1000; ++i) target += "\xE2\x82\xAC";  // the euro sign
    const std::string text = with("/dev/ttyS0", target);
    EXPECT_LE(text.size(), kMaxStatusTextBytes);
    ASSERT_EQ(text.substr(text.size() - 3), "...") << pad;
    const std::string kept = text.substr(0, text.size() - 3);
    EXPECT_EQ(kept, ("COM1 (/dev/ttyS0) 9600,N,8,1 -> " + target).substr(0, kept.size()));
    EXPECT_EQ((kept.size() - 32 - pad.size()) % 3, 0u) << "a character was cut after " << pad;
  }
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
  // A failed send is no line forwarded; its error line shows, with its time, until a message
  // leaves again.
  platform.socket->send_error = Error(101, "Network is unreachable");
  platform.port->queue = "d\r\n";
  Ticks(1, 500);
  const std::string error = "frmBrennicot:MessageSend err#:101:Network is unreachable";
  EXPECT_EQ(Told().back(),
            where + "3 lines forwarded, last 2 s ago; last error 2030/02/06 21:41:56: " + error);
  platform.socket->send_error.reset();
  platform.clock.now.second = 58;
  platform.port->queue = "e\r\n";
  Ticks(1, 500);
  EXPECT_EQ(Told().back(), where +
                               "4 lines forwarded, last 0 s ago; last error 2030/02/06 21:41:56 "
                               "(cleared 21:41:58): " +
                               error);
}

TEST_F(ServiceStatusTest, JournalGetsEveryEntryWithItsPriorityOnlyWhenStandardErrorIsIt) {
  for (bool journal : {false, true}) {
    platform.ui.echoed.clear();
    platform.files.files.clear();
    platform.arguments = "";
    platform.files.files["/opt/vb/Vemo_Brennicot.ini"] = "[Vemo_Brennicot]\n";
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
    // The system's event log has every entry, journal or not, with the same weight.
    using enum LogPriority;
    const std::vector<LogPriority> priorities{kWarning, kInfo, kWarning, kError, kInfo};
    ASSERT_EQ(platform.service->events.size(), priorities.size());
    for (std::size_t i = 0; i < priorities.size(); ++i) {
      EXPECT_EQ(platform.service->events[i].first, Log()[i]);
      EXPECT_EQ(platform.service->events[i].second, priorities[i]) << Log()[i];
    }
  }
}

}  // namespace
}  // namespace brennicot
