#include "host/frm_brennicot.h"

#include "config/ini_loader.h"
#include "config/product_names.h"
#include "config/setting_keys.h"
#include "host/command_line.h"
#include "host/service_install.h"
#include "host/version.h"
#include "log/error_trap.h"

namespace brennicot {

frmBrennicot::frmBrennicot(Platform& platform)
    : platform_(platform),
      log_(platform.Files(), platform.LocalClock(), std::string(names::kLogFile)),
      settings_(std::make_unique<SettingsTable>()),
      tmr_status_(platform.Loop().CreateTimer([this] { tmrStatus_Timer(); })),
      tmr_comm_(platform.Loop().CreateTimer([this] { tmrComm_Timer(); })),
      wsockudp_(platform.CreateUdpSocket()),
      mscomm1_(platform.CreateSerialPort()),
      ntservice1_(platform.CreateServiceControl()) {
  mscomm1_->SetOnComm([this] { MSComm1_OnComm(); });
  ntservice1_->SetEventHandlers([this](bool& success) { OnServiceStart(success); },
                                [this] { OnServiceStop(); });
}

frmBrennicot::~frmBrennicot() = default;

void frmBrennicot::FormLoad() {
  // The person running it interactively is checking a configuration: what loading the settings
  // reports must reach the terminal too, so echoing starts before anything is logged.
  if (LowerAscii(platform_.ArgumentString()) == kInteractCommand) {
    log_.SetEcho([this](const std::string& entry) { platform_.Ui().Echo(entry); });
  }
  RunTrapped(log_, "frmBrennicot:form_load", [&] {
    settings_ = std::make_unique<SettingsTable>();
    expected_sequence_ = 0;
    status_tick_count_ = 0;
    MonthNamesInit(month_names_);
    IniGetSet(*settings_, log_, platform_.Files(), platform_.Profile());

    const std::string& service_name = settings_->Get(key::kServiceName);
    ntservice1_->SetServiceName(ServiceNameFrom(service_name));
    ntservice1_->SetDisplayName(service_name);

    Dispatch(LowerAscii(platform_.ArgumentString()));
  });
}

void frmBrennicot::Dispatch(const std::string& command) {
  if (command == kInstallCommand || command == kUninstallCommand) {
    const bool ok = ServiceNStall(*ntservice1_, command, log_);
    // Scripts that register the service see the outcome in the exit status too.
    one_shot_exit_status_ = ok ? 0 : 1;
    platform_.Ui().MessageBox(RegistrationMessage(command, ok),
                              std::string(names::kMessageBoxTitle));
    log_.LogWrite("*** Brennicot " + VersionText() + " " + command);
  } else if (command == kInteractCommand) {
    StartUp();
    platform_.Ui().ShowWindow();
  } else {
    // Help and version are printed besides, not instead: every argument but the four commands
    // still only loads the settings and ends, as it always did.
    if (IsHelpCommand(command)) {
      platform_.Ui().PrintOut(UsageText());
    } else if (command == kVersionCommand) {
      platform_.Ui().PrintOut(VersionLine());
    } else if (!command.empty()) {
      platform_.Ui().PrintError(UnknownArgumentHint(platform_.ArgumentString()));
    }
    ntservice1_->StartService();
  }
}

void frmBrennicot::FormUnload() {
  ShutDown();
}

void frmBrennicot::OnServiceStart(bool& success) {
  service_mode_ = true;
  StartUp();
  // The service manager is told the truth: a start whose channels could not be opened would show
  // as running while forwarding nothing, so it fails and the restart policy can act. A status
  // heartbeat that could not be armed leaves forwarding intact and fails nothing.
  success = tmr_comm_->Enabled();
}

void frmBrennicot::OnServiceStop() {
  ShutDown();
}

}  // namespace brennicot
