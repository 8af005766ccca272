#include "host/service_control.h"

#include <gtest/gtest.h>

#include "fakes/host_fakes.h"
#include "host/frm_brennicot.h"

namespace brennicot {
namespace {

using fakes::FakePlatform;

// A service control over a fake manager; `manager` is left pointing at it.
std::unique_ptr<ServiceControl> ControlOver(FakePlatform& platform,
                                            fakes::FakeServiceManager*& manager) {
  auto owned = std::make_unique<fakes::FakeServiceManager>(platform.loop);
  manager = owned.get();
  auto control = std::make_unique<ServiceControl>(platform.loop, std::move(owned));
  control->SetServiceName("Vemo_Brennicot");
  return control;
}

// The properties are set before acting: what is registered is not interactive and starts
// automatically.
const std::string kInstall = "Install Vemo_Brennicot '' interactive=0 start=2 controls=0";
const std::string kUninstall = "Uninstall Vemo_Brennicot";

// A plain false from the control is no error and logs nothing; an error is one line, and false.
TEST(ServiceNStall, SetsThePropertiesThenActsOnlyOnTheExactCommand) {
  const std::string kExists = "a unit Vemo_Brennicot.service already exists";
  const struct {
    std::string command;
    bool control_result;
    std::string error;  // what the control throws; "" for none
    std::vector<std::string> requests;
    bool result;
  } cases[] = {
      {"-install", true, "", {kInstall}, true},
      {"-install", false, "", {kInstall}, false},
      {"-uninstall", true, "", {kUninstall}, true},
      {"-uninstall", false, "", {kUninstall}, false},
      {"-INSTALL", true, "", {}, false},
      {"-install ", true, "", {}, false},
      {"-interact", true, "", {}, false},
      {"", true, "", {}, false},
      {"-install", true, kExists, {kInstall}, false},
      {"-uninstall", true, kExists, {kUninstall}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("'" + c.command + "' " + c.error);
    FakePlatform platform;
    fakes::FakeServiceManager* manager = nullptr;
    const auto service = ControlOver(platform, manager);
    manager->install_result = manager->uninstall_result = c.control_result;
    if (!c.error.empty()) manager->install_error = Error(17, c.error);
    ActivityLog log(platform.files, platform.clock, "Vemo_Brennicot.log");

    EXPECT_EQ(ServiceNStall(*service, c.command, log), c.result);
    EXPECT_EQ(manager->requests, c.requests);
    EXPECT_EQ(platform.files.LogMessages(),
              c.error.empty()
                  ? std::vector<std::string>{}
                  : std::vector<std::string>{"BrennicotMain:ServiceNStall err#:17:" + c.error});
  }
}

TEST(ServiceNStall, AFailedRemovalIsShownAsFailed) {
  FakePlatform platform;
  platform.arguments = "-Uninstall";
  frmBrennicot host(platform);
  platform.service->install_error =
      Error(2, "the service Vemo_Brennicot.service is not registered");
  host.FormLoad();
  host.FormUnload();

  ASSERT_EQ(platform.ui.boxes.size(), 1u);
  EXPECT_EQ(platform.ui.boxes[0].text, "Vemo Brennicot uninstall failed");
  EXPECT_EQ(platform.ui.boxes[0].title, "Vemo_Brennicot");
  EXPECT_EQ(platform.ui.boxes[0].reason,
            "BrennicotMain:ServiceNStall err#:2:the service Vemo_Brennicot.service is not "
            "registered");
  const auto messages = platform.files.LogMessages();
  ASSERT_GE(messages.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(messages.end() - 3, messages.end()),
            (std::vector<std::string>{
                "BrennicotMain:ServiceNStall err#:2:the service Vemo_Brennicot.service is not "
                "registered",
                "*** Brennicot 1.3 -uninstall", "Brennicot Shutdown ***"}));
}

}  // namespace
}  // namespace brennicot
