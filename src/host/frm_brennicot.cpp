#include "host/frm_brennicot.h"

#include <memory>

#include "base/numeric_text.h"
#include "base/product_names.h"
#include "base/text.h"
#include "config/ini_loader.h"
#include "config/settings.h"
#include "host/command_line.h"
#include "host/service_status.h"
#include "host/start_plan.h"
#include "log/error_trap.h"
#include "log/log_priority.h"
#include "syslog/tls_stream_socket.h"
#include "syslog/udp_channel.h"

namespace brennicot {

frmBrennicot::frmBrennicot(Platform& platform)
    : platform_(platform),
      log_(platform.Files(), platform.Time(), std::string(names::kLogFile)),
      settings_(std::make_unique<SettingsTable>()),
      tmr_status_(platform.Loop().CreateTimer([this] { tmrStatus_Timer(); })),
      tmr_comm_(platform.Loop().CreateTimer([this] { tmrComm_Timer(); })),
      wsockudp_(platform.CreateUdpSocket()),
      mscomm1_(platform.CreateSerialPort([this](std::int16_t port) {
        // The [Ports] section is read when the port opens, so the mapping in force is the file's.
        return SerialDevicePath(port, platform_.Profile(),
                                IniFilePath(platform_.Files(), settings_file_));
      })),
      ntservice1_(platform.CreateServiceControl()),
      channel_(std::make_unique<UdpChannel>(*wsockudp_, log_)),
      tmr_device_(platform.Loop().CreateTimer([this] { RetryDeviceOpen(); })) {
  mscomm1_->SetOnComm([this] { MSComm1_OnComm(); });
  ntservice1_->SetEventHandlers([this](bool& success) { OnServiceStart(success); },
                                [this] { OnServiceStop(); });
}

frmBrennicot::~frmBrennicot() = default;

void frmBrennicot::FormLoad() {
  const CommandLine line = SplitCommandLine(platform_.ArgumentString(), platform_.HasArguments());
  arguments_ = line.arguments;
  command_ = LowerAscii(line.arguments);
  mode_ = ModeOf(line.has_arguments, command_);
  // A settings file that cannot be told is no reason to load another one: whatever the file
  // beside the program says is not what was asked for.
  std::string refusal = line.refusal;
  if (refusal.empty() && !line.settings_file.empty()) refusal = PlaceFiles(line.settings_file);
  if (!refusal.empty()) {
    mode_ = Mode::kOther;
    platform_.Ui().PrintError(SettingsRefusalHint(refusal));
    shut_down_ = true;
    return;
  }
  // Help and version answer the person who asked and change nothing: no file is read or written,
  // nothing is logged. With nothing loaded there is nothing to shut down either.
  if (mode_ == Mode::kHelp || mode_ == Mode::kVersion) {
    platform_.Ui().PrintOut(mode_ == Mode::kHelp ? UsageText() : VersionLine());
    shut_down_ = true;
    return;
  }
  if (mode_ == Mode::kCheck) {
    // A check leaves no trace: no log entry (not even the shut-down line), no default file, and
    // no word with the service manager.
    shut_down_ = true;
    one_shot_exit_status_ = CheckSettingsFile(platform_, *mscomm1_, *ntservice1_, settings_file_);
    return;
  }
  // A log the program cannot write is said once where someone looks, however the run began.
  log_.SetOnWriteFailure([this](const std::string& failure) { TellLogWriteFailure(failure); });
  // The person running it interactively is checking a configuration: what loading the settings
  // reports must reach the terminal too, so echoing starts before anything is logged.
  if (mode_ == Mode::kInteract) {
    log_.SetEcho([this](const std::string& entry) { platform_.Ui().Echo(entry); });
  }
  RunTrapped(log_, "frmBrennicot:form_load", [&] {
    settings_ = std::make_unique<SettingsTable>();
    expected_sequence_ = 0;
    status_tick_count_ = 0;
    // Before the settings are read: their reports belong in the journal too.
    if (mode_ == Mode::kService) WatchServiceLog();
    MonthNamesInit(month_names_);
    IniGetSet(*settings_, log_, platform_.Files(), platform_.Profile(), settings_file_);
    BoundActivityLog();

    const std::string& service_name = settings_->Get(key::kServiceName);
    ntservice1_->SetServiceName(ServiceNameFrom(service_name));
    ntservice1_->SetDisplayName(service_name);
    ntservice1_->SetSettingsFile(settings_file_, log_file_);

    Dispatch();
  });
}

std::string frmBrennicot::PlaceFiles(const std::string& settings_file) {
  try {
    settings_file_ = platform_.Files().MakeAbsolute(settings_file);
  } catch (const Error& e) {
    return "-settings " + settings_file + ": " + e.description();
  }
  const PathParts parts = platform_.Files().Split(settings_file_);
  const std::string stem = SettingsStem(parts.name);
  // A systemd unit's LogsDirectory= and StateDirectory= hand the service its directories, a list
  // of absolute paths separated by ":"; the first is its own.
  // A settings file kept where the program's own is kept (/etc/vemo-brennicot for the package's
  // program, whose own settings are a link to there) has its log where the program's own log is
  // kept (/var/log/vemo-brennicot), which the service may write; any other lives beside its file.
  FileSystem& files = platform_.Files();
  const std::string program_dir = files.ExecutableDirectory();
  const std::string home =
      files.DirectoryOfTarget(files.JoinPath(program_dir, std::string(names::kIniFile))) ==
              parts.directory
          ? files.DirectoryOfTarget(files.JoinPath(program_dir, std::string(names::kLogFile)))
          : parts.directory;
  const auto directory = [&](const char* variable) {
    std::string value = platform_.EnvironmentValue(variable);
    if (value.starts_with('/')) value = value.substr(0, value.find(':'));
    return value.empty() ? home : value;
  };
  const std::string log_dir = directory("LOGS_DIRECTORY");
  log_.SetFile(log_dir, stem + ".log");
  log_file_ = files.JoinPath(log_dir, stem + ".log");
  spool_path_ = files.JoinPath(directory("STATE_DIRECTORY"), stem + ".spool");
  return {};
}

void frmBrennicot::Dispatch() {
  if (mode_ == Mode::kRegister) {
    const Registration registration = RegistrationOf(command_);
    const std::string word(registration.command);
    // The person who ran the command learns why it failed where they look, not only in the log.
    std::string reason;
    const bool ok = ServiceNStall(*ntservice1_, word, log_, &reason);
    // Which of several registrations this one is, said where the outcome is shown.
    if (ok && word == kInstallCommand) reason = ntservice1_->RegisteredAs();
    // Scripts that register the service see the outcome in the exit status too.
    one_shot_exit_status_ = ok ? 0 : 1;
    const std::string message = RegistrationMessage(word, ok);
    const std::string title(names::kMessageBoxTitle);
    if (!registration.quiet) {
      platform_.Ui().MessageBox(message, title, reason);
    } else if (ok) {
      // Standard output keeps the one line scripts read.
      platform_.Ui().PrintOut(title + ": " + message + "\n");
      if (!reason.empty()) platform_.Ui().PrintError(reason + "\n");
    } else {
      platform_.Ui().PrintError(title + ": " + message + "\n" +
                                (reason.empty() ? "" : reason + "\n"));
    }
    log_.LogWrite("*** Brennicot " + VersionText() + " " + word, LogKind::kInformation);
  } else if (mode_ == Mode::kInteract) {
    StartUp();
    platform_.Ui().ShowWindow();
  } else if (mode_ == Mode::kService) {
    ntservice1_->StartService();
  } else {
    // Any other argument only loads the settings and ends. It never offers the process to the
    // service manager: on Win32 that alone starts a dispatcher that waits for a service start.
    platform_.Ui().PrintError(UnknownArgumentHint(arguments_));
  }
}

void frmBrennicot::BoundActivityLog() {
  // A value the start refuses (its error line says so) leaves the default bound in force.
  const SettingRow& row = *SettingRowOf(key::kLogMaxSize);
  const double kib = Accepts(row, settings_->Get(key::kLogMaxSize))
                         ? SettingNumber(*settings_, key::kLogMaxSize)
                         : ToNumber(row.default_value);
  log_.SetMaxBytes(static_cast<std::uint64_t>(kib) * 1024);
}

void frmBrennicot::FormUnload() {
  ShutDown();
}

void frmBrennicot::OnServiceStart(bool& success) {
  service_mode_ = true;
  StartUp();
  // A device that is not there (yet) is waited for here: a restart every few seconds would tell
  // the same thing to the log and the journal many thousand times a day. Anything else in the
  // way (in use, refused settings) fails the start as before.
  const std::string missing = mscomm1_->MissingDevice();
  if (!tmr_comm_->Enabled() && !mscomm1_->PortOpen() && !missing.empty()) WaitForDevice(missing);
  // The service manager is told the truth: a start whose channels could not be opened would show
  // as running while forwarding nothing, so it fails and the restart policy can act. A status
  // heartbeat that could not be armed leaves forwarding intact and fails nothing. A start waiting
  // for its device runs: it is doing what it should.
  success = tmr_comm_->Enabled() || device_wait_.has_value();
  // A good start says what it does once READY=1 has gone; a failed one says why before it ends.
  if (success) {
    platform_.Loop().Post([this] { UpdateServiceStatus(); });
  } else {
    UpdateServiceStatus();
  }
}

void frmBrennicot::WatchServiceLog() {
  const bool journal = ntservice1_->StandardErrorIsJournal();
  log_.SetObserver([this, journal](const std::string& message, LogKind kind) {
    if (kind == LogKind::kError) {
      last_error_ = message;
      last_error_at_ = platform_.Time().Now();
      error_cleared_at_.reset();
    }
    if (journal) platform_.Ui().Echo(JournalStreamText(message, kind));
    ntservice1_->WriteEventLog(message, PriorityOf(kind));
  });
}

void frmBrennicot::TellLogWriteFailure(const std::string& failure) {
  const std::string text = std::string(names::kStem) + ": " + failure + "; carrying on without it";
  const bool service = mode_ == Mode::kService;
  const bool journal = service && ntservice1_->StandardErrorIsJournal();
  platform_.Ui().PrintError((journal ? JournalStreamText(text, LogKind::kError) : text) + "\n");
  if (service) ntservice1_->WriteEventLog(text, LogPriority::kError);
}

void frmBrennicot::UpdateServiceStatus() {
  if (!service_mode_) return;
  // After ShutDown the settings are gone; the last status told stays the right one.
  RunTrapped(
      [&] {
        const SettingsTable& s = *settings_;
        ServiceStatus status;
        status.comm_port = mscomm1_->CommPort();
        status.device = mscomm1_->DeviceName();
        if (device_wait_) {
          status.device = device_wait_->device;
          status.missing_since = device_wait_->since;
        }
        status.settings = s.Get(key::kCommIni);
        status.target = s.Get(key::kUdpTarget);
        status.udp_port = s.Get(key::kUdpPort);
        status.channel = channel_->StatusText();
        status.lines_forwarded = lines_forwarded_;
        // Over a stream a line taken is not yet a line sent: both are told.
        if (!status.channel.empty()) status.messages_sent = channel_->Counts().sent;
        if (ticks_since_line_) status.seconds_since_line = *ticks_since_line_ * kCommTickMs / 1000;
        status.last_error = last_error_;
        status.last_error_at = last_error_at_;
        status.error_cleared_at = error_cleared_at_;
        status.log_failure = log_.WriteFailure();
        std::string text = ComposeStatusText(status);
        if (text == status_text_) return;
        status_text_ = std::move(text);
        ntservice1_->SetStatusText(status_text_);
      },
      [](const Error&) {});
}

std::string frmBrennicot::SpoolPath() {
  if (!spool_path_.empty()) return spool_path_;
  FileSystem& files = platform_.Files();
  const std::string log_path =
      files.JoinPath(files.ExecutableDirectory(), std::string(names::kLogFile));
  return files.JoinPath(files.DirectoryOfTarget(log_path), std::string(names::kSpoolFile));
}

std::unique_ptr<CollectorChannel> frmBrennicot::MakeUdpChannel(const TransportSettings& transport) {
  return std::make_unique<UdpChannel>(*wsockudp_, log_,
                                      std::make_unique<Spool>(platform_.Spool(), log_, SpoolPath()),
                                      transport.stream.queue_max_bytes);
}

std::unique_ptr<CollectorChannel> frmBrennicot::MakeStreamChannel(
    const TransportSettings& transport) {
  std::unique_ptr<StreamSocket> socket = platform_.CreateStreamSocket();
  if (UsesTls(transport.transport)) {
    socket = std::make_unique<TlsStreamSocket>(
        std::move(socket), [this] { return platform_.CreateTlsSession(); }, transport.tls);
  }
  std::string transport_name = transport.transport == Transport::kTls       ? "TLS"
                               : transport.transport == Transport::kRelp    ? "RELP"
                               : transport.transport == Transport::kRelpTls ? "RELP over TLS"
                                                                            : "TCP";
  return std::make_unique<StreamChannel>(
      StreamChannelParts{
          platform_.Loop(), [this] { return platform_.Time().ElapsedMillis(); }, platform_.Time(),
          log_, platform_.Spool(), SpoolPath(), std::move(socket),
          [this](const std::string& host) { return platform_.CreateCollectorAddress(host); },
          std::move(transport_name),
          std::string(names::kStem) + "," + VersionText() + ",serial line to Syslog forwarder",
          transport.transport == Transport::kRelpTls && transport.tls.cert.path.empty()
              ? "a collector that wants the forwarder's certificate does so when tlscert names none"
              : ""},
      transport.stream);
}

void frmBrennicot::OnServiceStop() {
  ShutDown();
}

int Main(Platform& platform) {
  auto host = std::make_unique<frmBrennicot>(platform);
  host->FormLoad();

  int exit_code = host->OneShotExitStatus();
  if (host->RunsEventLoop()) exit_code = platform.Loop().Run();
  host->FormUnload();
  host.reset();
  return exit_code;
}

}  // namespace brennicot
