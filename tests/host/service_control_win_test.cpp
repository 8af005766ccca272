// Registration against the service manager of the machine (under Wine: of the test's own prefix).
// Each test registers a service of its own name and removes it again.
#include "host/service_control_win.h"

#include <gtest/gtest.h>

#include <vector>

#include "kit/error_of.h"
#include "kit/files.h"
#include "platform/event_loop_win.h"
#include "platform/unique_handle_win.h"
#include "platform/windows_api_win.h"

namespace brennicot::win32 {
namespace {

using testkit::Contains;
using testkit::ErrorOf;
using testkit::FailureOf;

std::string UniqueName(const char* what) {
  return std::string("VB_test_") + what + "_" + std::to_string(GetCurrentProcessId());
}

// The registration as the service manager holds it.
struct Registration {
  bool found = false;
  QUERY_SERVICE_CONFIGA config{};
  std::string binary_path;
  std::string display_name;
  // Wine's service manager takes recovery actions but cannot show them (ERROR_INVALID_LEVEL).
  bool actions_known = false;
  std::vector<SC_ACTION> actions;
  DWORD reset_period = 0;
};

// Removes a registration that an earlier, aborted run may have left behind.
void RemoveLeftover(const std::string& name) {
  const UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return;
  const UniqueServiceHandle service(OpenServiceA(manager.get(), name.c_str(), DELETE));
  if (service) DeleteService(service.get());
}

Registration Query(const std::string& name) {
  Registration r;
  const UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return r;
  const UniqueServiceHandle owned(OpenServiceA(manager.get(), name.c_str(), SERVICE_QUERY_CONFIG));
  if (owned) {
    const SC_HANDLE service = owned.get();
    r.found = true;
    std::vector<char> buffer(8192);
    DWORD needed = 0;
    if (QueryServiceConfigA(service, reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data()),
                            static_cast<DWORD>(buffer.size()), &needed)) {
      r.config = *reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
      r.binary_path = r.config.lpBinaryPathName;
      r.display_name = r.config.lpDisplayName;
    }
    if (QueryServiceConfig2A(service, SERVICE_CONFIG_FAILURE_ACTIONS,
                             reinterpret_cast<BYTE*>(buffer.data()),
                             static_cast<DWORD>(buffer.size()), &needed)) {
      const auto* failure = reinterpret_cast<SERVICE_FAILURE_ACTIONSA*>(buffer.data());
      r.actions_known = true;
      r.reset_period = failure->dwResetPeriod;
      r.actions.assign(failure->lpsaActions, failure->lpsaActions + failure->cActions);
    }
  }
  return r;
}

TEST(ScmServiceManagerTest, InstallRegistersThisProgramToStartAutomaticallyAndUninstallRemovesIt) {
  Win32EventLoop loop;
  ServiceControl control(loop, std::make_unique<ScmServiceManager>(loop));
  const std::string name = UniqueName("install");
  RemoveLeftover(name);
  control.SetServiceName(name);
  control.SetDisplayName("Vemo Brennicot " + name);
  control.SetInteractive(false);
  control.SetStartMode(2);
  control.SetControlsAccepted(0);
  ASSERT_TRUE(control.Install());

  const Registration r = Query(name);
  ASSERT_TRUE(r.found);
  EXPECT_EQ(r.config.dwServiceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
  EXPECT_EQ(r.config.dwStartType, static_cast<DWORD>(SERVICE_AUTO_START));
  EXPECT_EQ(r.config.dwErrorControl, static_cast<DWORD>(SERVICE_ERROR_NORMAL));
  EXPECT_EQ(r.binary_path, QuotedExecutablePath());
  EXPECT_EQ(r.display_name, "Vemo Brennicot " + name);
  if (r.actions_known) {
    EXPECT_EQ(r.reset_period, 86400u);
    ASSERT_EQ(r.actions.size(), 3u);
    for (const SC_ACTION& a : r.actions) {
      EXPECT_EQ(a.Type, SC_ACTION_RESTART);
      EXPECT_EQ(a.Delay, 60000u);
    }
  } else {
    RecordProperty("recovery_actions", "not shown by this service manager");
  }

  // A second registration meets the first.
  const auto again = ErrorOf([&] { control.Install(); });
  ASSERT_TRUE(again);
  EXPECT_EQ(again->number(), ERROR_SERVICE_EXISTS);
  EXPECT_TRUE(Contains(again->description(), "(service '" + name + "')")) << again->description();

  const bool removed = control.Uninstall();
  if (!removed) RemoveLeftover(name);
  EXPECT_TRUE(removed);
  EXPECT_FALSE(Query(name).found);
  const auto gone = ErrorOf([&] { control.Uninstall(); });
  ASSERT_TRUE(gone);
  EXPECT_EQ(gone->number(), ERROR_SERVICE_DOES_NOT_EXIST);
}

TEST(ScmServiceManagerTest, UninstallLeavesAServiceOfAnotherProgramAlone) {
  const std::string name = UniqueName("foreign");
  RemoveLeftover(name);
  const UniqueServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
  ASSERT_TRUE(manager);
  const UniqueServiceHandle foreign(CreateServiceA(
      manager.get(), name.c_str(), name.c_str(), DELETE, SERVICE_WIN32_OWN_PROCESS,
      SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, "\"C:\\windows\\system32\\notepad.exe\" /x",
      nullptr, nullptr, nullptr, nullptr, nullptr));
  ASSERT_TRUE(foreign);

  Win32EventLoop loop;
  ServiceControl control(loop, std::make_unique<ScmServiceManager>(loop));
  control.SetServiceName(name);
  const Error e = FailureOf([&] { control.Uninstall(); });
  EXPECT_TRUE(Query(name).found);
  DeleteService(foreign.get());
  EXPECT_EQ(e.number(), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(Contains(e.description(), "not this program")) << e.description();
}

TEST(ScmServiceManagerTest, OnlyTheStartTypesAndNoOptionalControlsAreTaken) {
  Win32EventLoop loop;
  ServiceControl control(loop, std::make_unique<ScmServiceManager>(loop));
  for (std::int32_t mode : {2, 3, 4}) EXPECT_FALSE(ErrorOf([&] { control.SetStartMode(mode); }));
  for (std::int32_t mode : {0, 1, 5, -2}) {
    EXPECT_EQ(FailureOf([&] { control.SetStartMode(mode); }).number(),
              errnum::kInvalidPropertyValue)
        << mode;
  }
  EXPECT_FALSE(ErrorOf([&] { control.SetControlsAccepted(0); }));
  EXPECT_TRUE(ErrorOf([&] { control.SetControlsAccepted(1); }));
}

TEST(ScmServiceManagerTest, RecognisesTheProgramOfACommandLine) {
  const std::tuple<const char*, const char*, bool> cases[] = {
      {"\"C:\\Program Files\\VB\\Vemo_Brennicot.exe\"", "Vemo_Brennicot.exe", true},
      {"C:\\VB\\VEMO_BRENNICOT.EXE", "Vemo_Brennicot.exe", true},
      {"C:\\VB\\Vemo_Brennicot.exe -x", "Vemo_Brennicot.exe", true},
      {"\"C:\\VB\\Vemo_Brennicot.exe\" -x", "Vemo_Brennicot.exe", true},
      {"C:\\windows\\system32\\svchost.exe -k netsvcs", "Vemo_Brennicot.exe", false},
      {"\"C:\\Vemo_Brennicot.exe\\other.exe\"", "Vemo_Brennicot.exe", false},
      {"", "Vemo_Brennicot.exe", false},
  };
  for (const auto& [command, program, expected] : cases) {
    SCOPED_TRACE(command);
    EXPECT_EQ(CommandRunsProgram(command, program), expected);
  }
}

}  // namespace
}  // namespace brennicot::win32
