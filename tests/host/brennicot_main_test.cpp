#include "host/frm_brennicot.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"

namespace brennicot {
namespace {

using Strings = std::vector<std::string>;

// The host and its components live inside Main; this platform keeps what a test needs to see
// afterwards and can make the serial port absent.
class MainPlatform : public fakes::FakePlatform {
 public:
  bool port_absent = false;
  std::unique_ptr<SerialPort> CreateSerialPort(SerialDevicePathOf device_path) override {
    auto p = FakePlatform::CreateSerialPort(std::move(device_path));
    if (port_absent) port->open_error = Error(2, "No such file or directory (/dev/ttyS0)");
    return p;
  }
  bool registration_refused = false;
  std::unique_ptr<ServiceControl> CreateServiceControl() override {
    auto s = FakePlatform::CreateServiceControl();
    service->install_result = service->uninstall_result = !registration_refused;
    return s;
  }
};

TEST(Main, ARefusedRegistrationEndsWithStatusOneForScripts) {
  for (const char* command : {"-install", "-uninstall"}) {
    MainPlatform platform;
    platform.registration_refused = true;
    platform.arguments = command;
    EXPECT_EQ(Main(platform), 1) << command;
    ASSERT_EQ(platform.ui.boxes.size(), 1u);
    EXPECT_NE(platform.ui.boxes[0].text.find(" failed"), std::string::npos);
  }
}

// A -settings without a file touches nothing at all: whatever the file beside the program says
// is not what was asked for.
TEST(Main, SettingsOptionWithoutAFileLoadsNothing) {
  for (const char* arguments : {"-settings", "-settings -install"}) {
    MainPlatform platform;
    platform.arguments = arguments;
    EXPECT_EQ(Main(platform), 0) << arguments;
    EXPECT_TRUE(platform.files.files.empty()) << arguments;
    EXPECT_EQ(platform.ui.err,
              "Vemo_Brennicot: -settings must be followed by the settings file's name: nothing "
              "loaded, nothing started (--help lists the commands)\n");
  }
}

TEST(Main, OneShotCommandsEndWithoutTheLoop) {
  const struct {
    const char* arguments;
    Strings log;
    std::size_t boxes;
  } cases[] = {
      {"-install", {"*** Brennicot 1.3 -install", "Brennicot Shutdown ***"}, 1},
      {"-UNINSTALL", {"*** Brennicot 1.3 -uninstall", "Brennicot Shutdown ***"}, 1},
      {"-bogus", {"Brennicot Shutdown ***"}, 0},
      {"-install now", {"Brennicot Shutdown ***"}, 0},
  };
  for (const auto& c : cases) {
    MainPlatform platform;
    platform.arguments = c.arguments;
    EXPECT_EQ(Main(platform), 0) << c.arguments;
    EXPECT_EQ(platform.loop.runs, 0) << c.arguments;
    EXPECT_EQ(platform.files.LogMessages(), c.log) << c.arguments;
    EXPECT_EQ(platform.ui.boxes.size(), c.boxes) << c.arguments;
  }
}

// Help and version only print, touching no file; any other argument loads the settings (writing
// the default file), logs and prints a hint. All end with 0.
TEST(Main, HelpAndVersionTouchNoFileOtherArgumentsLoadTheSettingsAndEnd) {
  const struct {
    const char* arguments;
    const char* out_starts;  // nullptr: nothing on standard output
    const char* err;         // nullptr: nothing on standard error
  } cases[] = {
      {"--help", "Usage: Vemo_Brennicot [-interact ", nullptr},
      {"-H", "Usage: Vemo_Brennicot [-interact ", nullptr},
      {"-?", "Usage: Vemo_Brennicot [-interact ", nullptr},
      {"/?", "Usage: Vemo_Brennicot [-interact ", nullptr},
      {"--VERSION", "Vemo_Brennicot 1.3\n", nullptr},
      {"--help me", nullptr,
       "Vemo_Brennicot: unrecognised argument '--help me': settings loaded, nothing started "
       "(--help lists the commands)\n"},
      {"-Bogus", nullptr,
       "Vemo_Brennicot: unrecognised argument '-Bogus': settings loaded, nothing started "
       "(--help lists the commands)\n"},
  };
  for (const auto& c : cases) {
    MainPlatform platform;
    platform.arguments = c.arguments;
    EXPECT_EQ(Main(platform), 0) << c.arguments;
    EXPECT_EQ(platform.loop.runs, 0) << c.arguments;
    const bool loads = c.out_starts == nullptr;
    EXPECT_EQ(platform.files.files.size(), loads ? 2u : 0u) << "the INI file and the log";
    EXPECT_EQ(platform.files.LogMessages(), loads ? Strings{"Brennicot Shutdown ***"} : Strings{});
    EXPECT_EQ(platform.ui.err, c.err ? c.err : "") << c.arguments;
    if (c.out_starts == nullptr) {
      EXPECT_EQ(platform.ui.out, "") << c.arguments;
    } else {
      EXPECT_EQ(platform.ui.out.rfind(c.out_starts, 0), 0u) << c.arguments << platform.ui.out;
      EXPECT_EQ(platform.ui.out.back(), '\n') << c.arguments;
    }
  }
  // The modes print nothing of their own.
  for (const char* arguments : {"", "-interact", "-install"}) {
    MainPlatform platform;
    platform.arguments = arguments;
    Main(platform);
    EXPECT_EQ(platform.ui.out + platform.ui.err, "") << arguments;
  }
}

TEST(Main, ServiceAndInteractiveModesRunTheLoopThenShutDownOnce) {
  for (const char* arguments : {"", "-interact", "-INTERACT"}) {
    MainPlatform platform;
    platform.arguments = arguments;
    EXPECT_EQ(Main(platform), 0) << arguments;
    EXPECT_EQ(platform.loop.runs, 1) << arguments;
    const Strings log = platform.files.LogMessages();
    ASSERT_EQ(log.size(), 2u) << arguments;
    EXPECT_EQ(log[0].rfind("*** Brennicot 1.3 Startup commport:1 ", 0), 0u) << log[0];
    EXPECT_EQ(log[1], "Brennicot Shutdown ***");
  }
}

TEST(Main, FailedServiceStartEndsTheProcessWithOne) {
  MainPlatform platform;
  platform.port_absent = true;
  EXPECT_EQ(Main(platform), 1);
  EXPECT_EQ(platform.files.LogMessages(),
            (Strings{"frmBrennicot1.3:Startup err#:2:No such file or directory (/dev/ttyS0)",
                     "Brennicot Shutdown ***"}));
}

TEST(Main, FailedInteractiveStartKeepsRunning) {
  MainPlatform platform;
  platform.port_absent = true;
  platform.arguments = "-interact";
  EXPECT_EQ(Main(platform), 0);
  EXPECT_EQ(platform.loop.runs, 1);
  EXPECT_EQ(platform.ui.shown, 1);
}

}  // namespace
}  // namespace brennicot
