#include "host/frm_brennicot.h"

#include <gtest/gtest.h>

#include "fakes/host_fakes.h"
#include "host/host_fixture.h"

namespace brennicot {
namespace {

using Strings = std::vector<std::string>;

class DispatchTest : public HostTest {};

TEST_F(DispatchTest, RegistrationCommandsInAnyLetterCase) {
  const struct {
    const char* arguments;
    bool result;
    const char* operation;
    const char* box;
    const char* log_line;
  } cases[] = {
      {"-install", true, "Install", "Vemo Brennicot install was successful",
       "*** Brennicot 1.3 -install"},
      {"-INSTALL", true, "Install", "Vemo Brennicot install was successful",
       "*** Brennicot 1.3 -install"},
      {"-Install", false, "Install", "Vemo Brennicot install failed", "*** Brennicot 1.3 -install"},
      {"-uninstall", true, "Uninstall", "Vemo Brennicot uninstall was successful",
       "*** Brennicot 1.3 -uninstall"},
      {"-UnInstall", false, "Uninstall", "Vemo Brennicot uninstall failed",
       "*** Brennicot 1.3 -uninstall"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    platform.files.files.clear();
    platform.ui.boxes.clear();
    platform.arguments = c.arguments;
    host = std::make_unique<frmBrennicot>(platform);
    platform.service->install_result = platform.service->uninstall_result = c.result;
    host->FormLoad();

    // Registered with the properties the host set: not interactive, automatic start.
    const std::string registration =
        std::string(c.operation) == "Install"
            ? "Install Vemo_Brennicot 'Vemo Brennicot' interactive=0 start=2 controls=0"
            : "Uninstall Vemo_Brennicot";
    EXPECT_EQ(platform.service->requests, Strings{registration});
    ASSERT_EQ(platform.ui.boxes.size(), 1u);
    EXPECT_EQ(platform.ui.boxes[0].text, c.box);
    EXPECT_EQ(platform.ui.boxes[0].title, "Vemo_Brennicot");
    EXPECT_EQ(Log(), Strings{c.log_line});
    EXPECT_EQ(platform.service->starts, 0);
    EXPECT_TRUE(platform.port->opens.empty());
  }
}

// For scripts and installers: the outcome where a script reads it, and no box to wait on.
TEST_F(DispatchTest, QuietRegistrationPrintsTheOutcomeInsteadOfABox) {
  Load("-install -quiet");
  EXPECT_EQ(platform.ui.out, "Vemo_Brennicot: Vemo Brennicot install was successful\n");
  // What it was registered as, beside the one line scripts read.
  EXPECT_EQ(platform.ui.err, "Registered as Vemo_Brennicot.\n");
  EXPECT_EQ(host->OneShotExitStatus(), 0);
  EXPECT_EQ(Log(), Strings{"*** Brennicot 1.3 -install"});

  platform.files.files.clear();
  platform.ui.err.clear();
  platform.arguments = "-INSTALL -Quiet";
  host = std::make_unique<frmBrennicot>(platform);
  platform.service->install_error = Error(1073, "The specified service already exists");
  host->FormLoad();
  EXPECT_EQ(platform.ui.err,
            "Vemo_Brennicot: Vemo Brennicot install failed\n"
            "BrennicotMain:ServiceNStall err#:1073:The specified service already exists\n");
  EXPECT_EQ(host->OneShotExitStatus(), 1);
  EXPECT_TRUE(platform.ui.boxes.empty());
}

// The backend knows nothing of the INI file: the host tells it where a port number leads.
TEST_F(DispatchTest, PortDeviceComesFromThePortsSectionOfTheIniFile) {
  platform.files.files["/opt/vb/Vemo_Brennicot.ini"] = "";
  platform.profile.block = std::string("COM2=/dev/ttyUSB0\0", 18);
  Load("-setup");
  ASSERT_TRUE(platform.serial_device_path);
  EXPECT_EQ(platform.serial_device_path(2), "/dev/ttyUSB0");
  EXPECT_EQ(platform.serial_device_path(1), "/dev/ttyS0");
}

TEST_F(DispatchTest, RefusedRegistrationIsReportedThenFails) {
  platform.arguments = "-install";
  host = std::make_unique<frmBrennicot>(platform);
  platform.service->install_error = Error(1073, "The specified service already exists");
  host->FormLoad();
  EXPECT_EQ(Log(), (Strings{"BrennicotMain:ServiceNStall err#:1073:The specified service already "
                            "exists",
                            "*** Brennicot 1.3 -install"}));
  ASSERT_EQ(platform.ui.boxes.size(), 1u);
  EXPECT_EQ(platform.ui.boxes[0].text, "Vemo Brennicot install failed");
  // Why, where the person who ran it looks: the error line the log has.
  EXPECT_EQ(platform.ui.boxes[0].reason, Log()[0]);
}

// Only a command line without any argument is the service; an argument that is no keyword only
// loads the settings and never offers the process to the service manager.
TEST_F(DispatchTest, OnlyNoArgumentAtAllConnectsToTheServiceManager) {
  for (const char* arguments : {"", "-install ", "-install now", " -install", "-bogus", "install",
                                "blank", "-quiet", "-install  -quiet", "-interact -quiet"}) {
    SCOPED_TRACE(std::string("'") + arguments + "'");
    platform.files.files.clear();
    const bool blank = std::string(arguments) == "blank";
    platform.blank_argument = blank;
    Load(blank ? "" : arguments);
    const bool service = std::string(arguments).empty();
    EXPECT_TRUE(platform.service->requests.empty());
    EXPECT_EQ(platform.service->starts, service ? 1 : 0);
    EXPECT_EQ(host->RunsEventLoop(), service);
    EXPECT_TRUE(platform.ui.boxes.empty());
    EXPECT_EQ(platform.ui.shown, 0);
    // The start event has not come yet: nothing is open.
    EXPECT_EQ(platform.socket->binds, 0);
    EXPECT_TRUE(platform.port->opens.empty());
    EXPECT_TRUE(Log().empty());
  }
}

TEST_F(DispatchTest, InteractStartsAtOnceShowsTheWindowAndEchoesTheLog) {
  Load("-Interact");
  EXPECT_EQ(platform.service->starts, 0);
  EXPECT_TRUE(platform.service->requests.empty());
  EXPECT_EQ(platform.ui.shown, 1);
  EXPECT_TRUE(platform.port->open);
  EXPECT_EQ(platform.socket->binds, 1);
  EXPECT_EQ(Log(), Strings{kDefaultStartupLine});
  EXPECT_EQ(platform.ui.echoed,
            Strings{std::string("2030/02/06 21:41:56\t") + kDefaultStartupLine});
}

TEST_F(DispatchTest, ServiceIsNamedInEveryMode) {
  for (const char* arguments : {"", "-interact", "-install", "-bogus"}) {
    Load(arguments);
    EXPECT_EQ(platform.service_control->ServiceName(), "Vemo_Brennicot") << arguments;
    EXPECT_EQ(platform.service_control->DisplayName(), "Vemo Brennicot") << arguments;
  }
}

// A service whose log cannot be written (a file another user made) says so once, in the journal
// and the event log, and runs on.
TEST_F(DispatchTest, AServiceThatCannotWriteItsLogSaysSoOnceAndRunsOn) {
  platform.files.writable = false;
  host = std::make_unique<frmBrennicot>(platform);
  platform.service->journal = true;
  host->FormLoad();
  platform.loop.RunPosted();
  platform.port->queue = "d\r\n";
  Ticks(1, 500);
  platform.loop.RequestStop();
  const std::string text =
      "Vemo_Brennicot: cannot write the Activity log: Permission denied "
      "(/opt/vb/Vemo_Brennicot.log); carrying on without it";
  EXPECT_EQ(platform.ui.err, "<3>" + text + "\n");
  ASSERT_FALSE(platform.service->events.empty());
  EXPECT_EQ(platform.service->events.front(), std::make_pair(text, LogPriority::kError));
  EXPECT_EQ(platform.socket->sent.size(), 1u) << "the line went all the same";
  EXPECT_EQ(platform.ui.echoed.back(), "<6>Brennicot Shutdown ***");
}

// The host and its components live inside Main; this platform keeps what a test needs to see
// afterwards and can make the serial port one that cannot be opened.
class MainPlatform : public fakes::FakePlatform {
 public:
  bool port_unusable = false;
  std::unique_ptr<SerialPort> CreateSerialPort(SerialDevicePathOf device_path) override {
    auto p = FakePlatform::CreateSerialPort(std::move(device_path));
    if (port_unusable) port->open_error = Error(13, "Permission denied (/dev/ttyS0)");
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

// The modes run the loop and shut down once; one-shot commands end without it. Neither the modes
// nor registration print anything of their own; an unknown argument prints a hint.
TEST(Main, OnlyTheModesRunTheLoopAndEveryRunShutsDownOnce) {
  const struct {
    const char* arguments;
    int runs;
    Strings log;
    std::size_t boxes;
    bool prints;
  } cases[] = {
      {"", 1, {kDefaultStartupLine, "Brennicot Shutdown ***"}, 0, false},
      {"-interact", 1, {kDefaultStartupLine, "Brennicot Shutdown ***"}, 0, false},
      {"-INTERACT", 1, {kDefaultStartupLine, "Brennicot Shutdown ***"}, 0, false},
      {"-install", 0, {"*** Brennicot 1.3 -install", "Brennicot Shutdown ***"}, 1, false},
      {"-UNINSTALL", 0, {"*** Brennicot 1.3 -uninstall", "Brennicot Shutdown ***"}, 1, false},
      {"-bogus", 0, {"Brennicot Shutdown ***"}, 0, true},
      {"-install now", 0, {"Brennicot Shutdown ***"}, 0, true},
  };
  for (const auto& c : cases) {
    MainPlatform platform;
    platform.arguments = c.arguments;
    EXPECT_EQ(Main(platform), 0) << c.arguments;
    EXPECT_EQ(platform.loop.runs, c.runs) << c.arguments;
    EXPECT_EQ(platform.files.LogMessages(), c.log) << c.arguments;
    EXPECT_EQ(platform.ui.boxes.size(), c.boxes) << c.arguments;
    EXPECT_EQ(platform.ui.out + platform.ui.err != "", c.prints) << c.arguments;
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
}

TEST(Main, FailedServiceStartEndsTheProcessWithOne) {
  MainPlatform platform;
  platform.port_unusable = true;
  EXPECT_EQ(Main(platform), 1);
  EXPECT_EQ(platform.files.LogMessages(),
            (Strings{"frmBrennicot1.3:Startup err#:13:Permission denied (/dev/ttyS0)",
                     "Brennicot Shutdown ***"}));
}

TEST(Main, FailedInteractiveStartKeepsRunning) {
  MainPlatform platform;
  platform.port_unusable = true;
  platform.arguments = "-interact";
  EXPECT_EQ(Main(platform), 0);
  EXPECT_EQ(platform.loop.runs, 1);
  EXPECT_EQ(platform.ui.shown, 1);
}

}  // namespace
}  // namespace brennicot
