#include "host/service_install.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "host/frm_brennicot.h"

namespace brennicot {
namespace {

using fakes::FakePlatform;

const std::vector<std::string> kProperties = {"Interactive=false", "StartMode=2",
                                              "ControlsAccepted=0"};

std::vector<std::string> PropertiesThen(const std::vector<std::string>& more) {
  std::vector<std::string> calls = kProperties;
  calls.insert(calls.end(), more.begin(), more.end());
  return calls;
}

TEST(ServiceNStall, SetsThePropertiesThenActsOnlyOnTheExactCommand) {
  const struct {
    std::string command;
    bool control_result;
    std::vector<std::string> calls;
    bool result;
  } cases[] = {
      {"-install", true, PropertiesThen({"Install"}), true},
      {"-install", false, PropertiesThen({"Install"}), false},
      {"-uninstall", true, PropertiesThen({"Uninstall"}), true},
      {"-uninstall", false, PropertiesThen({"Uninstall"}), false},
      {"-INSTALL", true, kProperties, false},
      {"-install ", true, kProperties, false},
      {"-interact", true, kProperties, false},
      {"", true, kProperties, false},
  };
  for (const auto& c : cases) {
    FakePlatform platform;
    fakes::FakeServiceControl service(platform.loop);
    service.install_result = service.uninstall_result = c.control_result;
    ActivityLog log(platform.files, platform.clock, "Vemo_Brennicot.log");

    EXPECT_EQ(ServiceNStall(service, c.command, log), c.result) << "'" << c.command << "'";
    EXPECT_EQ(service.calls, c.calls) << "'" << c.command << "'";
    // A plain false from the control is no error: nothing is logged.
    EXPECT_TRUE(platform.files.LogMessages().empty()) << "'" << c.command << "'";
  }
}

TEST(ServiceNStall, AnErrorGivesOneLineAndFalse) {
  for (const std::string command : {"-install", "-uninstall"}) {
    FakePlatform platform;
    fakes::FakeServiceControl service(platform.loop);
    service.install_error = Error(17, "a unit Vemo_Brennicot.service already exists");
    ActivityLog log(platform.files, platform.clock, "Vemo_Brennicot.log");

    EXPECT_FALSE(ServiceNStall(service, command, log));
    EXPECT_EQ(
        platform.files.LogMessages(),
        std::vector<std::string>{
            "BrennicotMain:ServiceNStall err#:17:a unit Vemo_Brennicot.service already exists"});
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
