// A service whose device is missing at the start waits for it, quietly, instead of failing.
#include "host/host_fixture.h"

namespace brennicot {
namespace {

using Strings = std::vector<std::string>;

const char* const kMissingError =
    "frmBrennicot1.3:Startup err#:2:No such file or directory (/dev/ttyS0 for COM1)";
const char* const kWaiting = "Device /dev/ttyS0 for COM1 missing: trying again every 30 s";

class DeviceWaitTest : public HostTest {
 protected:
  void StartWithoutDevice() {
    StartService([&] { platform.port->absent = true; });
  }
  // Lets `count` tries of the port go by.
  void Tries(int count) { Ticks(count, kDeviceRetryMs); }
  std::size_t Opens() const { return platform.port->opens.size(); }
};

TEST_F(DeviceWaitTest, AMissingDeviceCostsALineAnHourAndIsUsedOnceItIsBack) {
  StartWithoutDevice();
  EXPECT_EQ(platform.service->reported_start, true);
  EXPECT_FALSE(platform.loop.quit);
  EXPECT_FALSE(host->tmrComm().Enabled());
  EXPECT_EQ(Log(), (Strings{kMissingError, kWaiting}));
  ASSERT_FALSE(platform.service->status_texts.empty());
  EXPECT_NE(platform.service->status_texts.back().find(
                "waiting for the device, missing since 2030/02/06 21:41:56"),
            std::string::npos)
      << platform.service->status_texts.back();

  // 250 tries over two hours and five minutes: one line at each full hour, nothing else.
  Tries(250);
  EXPECT_EQ(Opens(), 251u);
  EXPECT_EQ(Log(), (Strings{kMissingError, kWaiting,
                            "Device /dev/ttyS0 for COM1 still missing since 2030/02/06 21:41:56, "
                            "121 attempts",
                            "Device /dev/ttyS0 for COM1 still missing since 2030/02/06 21:41:56, "
                            "241 attempts"}));
  EXPECT_EQ(platform.service->failures, 0);

  platform.port->absent = false;
  Tries(1);
  const Strings log = Log();
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[4],
            "Device /dev/ttyS0 for COM1 is back after 252 attempts, missing since 2030/02/06 "
            "21:41:56");
  EXPECT_EQ(log[5], kDefaultStartupLine);
  // The start goes on as usual: the carriage return, the poll, the heartbeat.
  EXPECT_EQ(platform.port->writes, Strings{"\r"});
  EXPECT_TRUE(host->tmrStatus().Enabled());
  platform.port->queue = "first\r\n";
  Ticks(1, kCommTickMs);
  EXPECT_EQ(platform.socket->sent.size(), 1u);
  Tries(3);
  EXPECT_EQ(Opens(), 252u) << "no more tries once open";
  EXPECT_EQ(platform.service->status_texts.back().find("waiting"), std::string::npos);
}

TEST_F(DeviceWaitTest, WhatEndsTheWait) {
  const struct {
    const char* name;
    std::function<void()> event;
    Strings log_after;  // what the event adds to the log
    int exit_code;
  } cases[] = {
      {"a stop", [this] { platform.loop.RequestStop(); }, {"Brennicot Shutdown ***"}, 0},
      {"the device back but in use",
       [this] {
         platform.port->absent = false;
         platform.port->open_error = Error(16, "Device or resource busy: port in use");
         Tries(1);
       },
       {"frmBrennicot1.3:Startup err#:16:Device or resource busy: port in use",
        "Brennicot Shutdown ***"},
       1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    platform.loop.quit = false;
    StartWithoutDevice();
    Tries(2);
    c.event();
    Strings expected = {kMissingError, kWaiting};
    expected.insert(expected.end(), c.log_after.begin(), c.log_after.end());
    EXPECT_EQ(Log(), expected);
    EXPECT_TRUE(platform.loop.quit);
    EXPECT_EQ(platform.loop.exit_code, c.exit_code);
    const std::size_t opens = Opens();
    Tries(2);
    EXPECT_EQ(Opens(), opens) << "no try after the end";
    host.reset();
    platform.files.files.clear();
  }
}

TEST_F(DeviceWaitTest, InteractivelyAMissingDeviceIsReportedAndNotWaitedFor) {
  platform.arguments = "-interact";
  host = std::make_unique<frmBrennicot>(platform);
  platform.port->absent = true;
  host->FormLoad();
  Tries(3);
  EXPECT_EQ(Log(), Strings{kMissingError});
  EXPECT_EQ(Opens(), 1u);
}

}  // namespace
}  // namespace brennicot
