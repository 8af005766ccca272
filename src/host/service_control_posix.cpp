#include "host/service_control_posix.h"
#include "platform/file_system_posix.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "base/error.h"
#include "base/product_names.h"
#include "base/text.h"
#include "host/command_line.h"
#include "host/systemd_unit_posix.h"
#include "platform/system_error_posix.h"
#include "platform/unique_fd_posix.h"

extern char** environ;

namespace brennicot::posix {

void NotifyServiceManager(const std::string& state) {
  const char* path = std::getenv("NOTIFY_SOCKET");
  if (path == nullptr || path[0] == '\0') return;
  // One socket for the life of the process: a keep-alive must not cost a socket each time. A
  // service manager slow to read must not hold the event thread: a notification is then lost.
  static const UniqueFd fd(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd) return;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const std::size_t len = std::strlen(path);
  if (len >= sizeof addr.sun_path) return;
  std::memcpy(addr.sun_path, path, len);
  if (addr.sun_path[0] == '@') addr.sun_path[0] = '\0';  // abstract namespace
  const auto addr_len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + len);
  // A lost notification cannot be reported anywhere useful; systemd's timeout will tell.
  [[maybe_unused]] auto n = sendto(fd.get(), state.data(), state.size(), MSG_NOSIGNAL,
                                   reinterpret_cast<const sockaddr*>(&addr), addr_len);
}

namespace {

constexpr std::int32_t kAutomaticStart = 2;

// The watchdog timeout systemd sets (WATCHDOG_USEC, meant for this process when WATCHDOG_PID says
// so), in milliseconds; 0 when no watchdog watches this process.
long long WatchdogTimeoutMs() {
  const char* usec = std::getenv("WATCHDOG_USEC");
  if (usec == nullptr || usec[0] == '\0') return 0;
  const char* pid = std::getenv("WATCHDOG_PID");
  if (pid != nullptr && pid[0] != '\0' && std::strtoll(pid, nullptr, 10) != getpid()) return 0;
  char* end = nullptr;
  const long long value = std::strtoll(usec, &end, 10);
  if (*end != '\0' || value <= 0) return 0;
  return value / 1000 + (value % 1000 != 0 ? 1 : 0);  // a timeout under 1 ms is still one
}

}  // namespace

long long WatchdogKeepAliveMs() {
  const long long timeout_ms = WatchdogTimeoutMs();
  if (timeout_ms <= 0) return 0;
  // A third of the timeout leaves room for a tick delivered late; a timeout set absurdly short
  // must not turn the keep-alives into a flood.
  return std::max(kMinKeepAliveMs, std::min<long long>(timeout_ms / 3, INT_MAX));
}

namespace {

constexpr const char* kRootVariable = "BRENNICOT_SYSTEMD_ROOT";
// More than any unit file holds; what lies beyond is not read.
constexpr std::size_t kUnitReadLimit = 64 * 1024;

// Where registration acts: the running systemd, or a directory tree standing for a system's root.
struct Target {
  std::string root;  // prefix of every system path; "" for the running system
  bool live = true;

  std::string Path(const std::string& absolute) const { return root + absolute; }
  std::vector<std::string> Systemctl(std::initializer_list<std::string> args) const {
    std::vector<std::string> argv{"systemctl"};
    if (!live) argv.push_back("--root=" + (root.empty() ? std::string("/") : root));
    argv.insert(argv.end(), args);
    return argv;
  }
};

Target CurrentTarget() {
  const char* root = std::getenv(kRootVariable);
  if (root != nullptr && root[0] != '\0') {
    std::string dir(root);
    if (dir.front() != '/') {
      throw InvalidArgument(std::string(kRootVariable) + " must be an absolute path, not '" +
                            PrintableText(dir) + "'");
    }
    while (!dir.empty() && dir.back() == '/') dir.pop_back();
    return Target{dir, false};
  }
  // The test systemd itself uses to tell whether it runs the system.
  struct stat st {};
  if (lstat("/run/systemd/system", &st) != 0 || !S_ISDIR(st.st_mode)) {
    throw Error(errnum::kNotSupported,
                "systemd is not running on this machine (no /run/systemd/system), so the service "
                "cannot be registered");
  }
  return Target{};
}

std::string ExistingExecutablePath() {
  const std::string path = ExecutablePath();
  // A program replaced or deleted since it started reads as "<path> (deleted)".
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) throw LastSystemError(PrintableText(path));
  if (!S_ISREG(st.st_mode)) throw SystemError(ENOENT, PrintableText(path));
  return path;
}

// The real directories into which `files` are links (a Debian package keeps the INI file and the
// Activity log beside the program in /etc and /var/log), each once. Files that are not links
// add nothing; a link whose directory is missing still names it, so the unit says where it must be.
std::vector<std::string> LinkedDirectories(const std::vector<std::string>& files) {
  std::vector<std::string> dirs;
  for (const std::string& beside : files) {
    const std::string dir = beside.substr(0, beside.rfind('/'));
    std::optional<std::string> link = LinkTarget(beside, PrintableText(beside));
    if (!link || link->empty()) continue;
    std::string target = std::move(*link);
    if (target.front() != '/') target = dir + "/" + target;
    std::string target_dir = target.substr(0, target.rfind('/'));
    if (target_dir.empty()) target_dir = "/";
    if (char* real = realpath(target_dir.c_str(), nullptr)) {
      target_dir = real;
      std::free(real);
    }
    if (std::find(dirs.begin(), dirs.end(), target_dir) == dirs.end()) {
      dirs.push_back(target_dir);
    }
  }
  return dirs;
}

// The files whose links lead where the service writes: the INI file and the Activity log beside
// the program, or the settings file -settings named and the log the start placed for it.
std::vector<std::string> LinkedFiles(const std::string& executable,
                                     const ServiceRegistration& registration) {
  if (registration.settings_file.empty()) {
    const std::string dir = executable.substr(0, executable.rfind('/'));
    return {dir + "/" + std::string(names::kIniFile), dir + "/" + std::string(names::kLogFile)};
  }
  return {registration.settings_file, registration.log_file};
}

// Where the service writes: the directories the files' links lead to and, with a settings file,
// the directory the start placed the log in, which need not be the settings file's.
std::vector<std::string> WrittenDirectories(const std::string& executable,
                                            const ServiceRegistration& registration) {
  std::vector<std::string> dirs = LinkedDirectories(LinkedFiles(executable, registration));
  if (!registration.log_file.empty()) {
    const std::string log_dir = registration.log_file.substr(0, registration.log_file.rfind('/'));
    const std::string settings_dir =
        registration.settings_file.substr(0, registration.settings_file.rfind('/'));
    if (log_dir != settings_dir && std::find(dirs.begin(), dirs.end(), log_dir) == dirs.end()) {
      dirs.push_back(log_dir);
    }
  }
  return dirs;
}

// Whether anything (a file, a link, a masking link to /dev/null) stands at the path.
bool Exists(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) == 0) return true;
  if (errno == ENOENT || errno == ENOTDIR) return false;
  throw LastSystemError(PrintableText(path));
}

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The first bytes of a file, up to `limit`; 512 are enough to recognise a unit this program wrote.
// A link is followed only when `follow`.
std::string ReadHead(const std::string& path, std::size_t limit = 512, bool follow = false) {
  const UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW)));
  if (!fd) throw LastSystemError(PrintableText(path));
  std::string head(limit, '\0');
  std::size_t got = 0;
  while (got < limit) {
    const ssize_t n = read(fd.get(), head.data() + got, limit - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw LastSystemError(PrintableText(path));
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  head.resize(got);
  return head;
}

// Creates the file, refusing to replace anything that appeared since the existence check.
void WriteNewFile(const std::string& path, const std::string& text) {
  UniqueFd fd(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644));
  if (!fd) throw LastSystemError(PrintableText(path));
  int error_number = WriteAll(fd.get(), text);
  if (const int close_error = fd.Close(); error_number == 0) error_number = close_error;
  if (error_number != 0) {
    unlink(path.c_str());
    throw SystemError(error_number, PrintableText(path));
  }
}

void RemoveFile(const std::string& path) {
  if (unlink(path.c_str()) != 0) throw LastSystemError(PrintableText(path));
}

std::string UnitPath(const Target& target, const std::string& unit) {
  return target.Path(SystemUnitDirectories().front() + "/" + unit);
}

// Takes back a registration that failed half-way, so that the next attempt does not meet it.
// Its own failures are not reported: the failure that caused it is.
void UndoInstall(const Target& target, const std::string& unit) {
  try {
    RunCommand(target.Systemctl({"disable", "--", unit}));
  } catch (const Error&) {
  }
  unlink(UnitPath(target, unit).c_str());
  if (target.live) {
    try {
      RunCommand(target.Systemctl({"daemon-reload"}));
    } catch (const Error&) {
    }
  }
}

}  // namespace

void SystemdServiceManager::CheckInteractive(bool interactive) const {
  if (interactive) {
    throw InvalidPropertyValue("Interactive true: a systemd service has no desktop to use");
  }
}

void SystemdServiceManager::CheckStartMode(std::int32_t mode) const {
  // An enabled unit is what automatic start means under systemd; nothing else is offered.
  if (mode != kAutomaticStart) {
    throw InvalidPropertyValue("StartMode " + std::to_string(mode) + " (only 2, automatic start)");
  }
}

void SystemdServiceManager::CheckControlsAccepted(std::int16_t controls) const {
  if (controls != 0) {
    throw InvalidPropertyValue("ControlsAccepted " + std::to_string(controls) +
                               ": a systemd service cannot be paused");
  }
}

bool SystemdServiceManager::Install(const ServiceRegistration& registration) {
  // The name is checked before it is used in any path.
  const std::string unit = UnitFileName(registration.name);
  const Target target = CurrentTarget();
  const std::string executable = ExistingExecutablePath();
  std::optional<PackagedService> packaged = PackagedServiceFor(executable, unit);
  // The alias belongs to the package's one service; a second one from another settings file
  // would take it over.
  if (packaged && !registration.settings_file.empty()) packaged->alias.clear();
  const std::string text = UnitFileText(
      registration.display_name, executable, WrittenDirectories(executable, registration),
      packaged ? &*packaged : nullptr, registration.settings_file);
  // A unit of the same name (or of the alias's) would be replaced or shadowed: refuse rather than
  // take over someone else's service.
  std::vector<std::string> names{unit};
  if (packaged && !packaged->alias.empty()) names.push_back(packaged->alias);
  for (const std::string& name : names) {
    for (const std::string& dir : SystemUnitDirectories()) {
      const std::string existing = target.Path(dir + "/" + name);
      if (Exists(existing)) {
        throw Error(EEXIST, "a unit " + name + " already exists (" + PrintableText(existing) +
                                "); uninstall it first or choose another servicename");
      }
    }
  }
  WriteNewFile(UnitPath(target, unit), text);
  try {
    if (target.live) RunCommand(target.Systemctl({"daemon-reload"}));
    RunCommand(target.Systemctl({"enable", "--", unit}));
  } catch (const Error&) {
    UndoInstall(target, unit);
    throw;
  }
  return true;
}

bool SystemdServiceManager::Uninstall(const std::string& name) {
  const std::string unit = UnitFileName(name);
  const Target target = CurrentTarget();
  const std::string path = UnitPath(target, unit);
  if (!Exists(path)) {
    throw Error(ENOENT,
                "the service " + unit + " is not registered (no " + PrintableText(path) + ")");
  }
  if (!IsRegularFile(path) || !IsGeneratedUnit(ReadHead(path))) {
    throw Error(EPERM, PrintableText(path) +
                           " was not written by Vemo_Brennicot -install; it is left as it is");
  }
  // Disabling needs the unit's [Install] section, so the file goes afterwards. A running service
  // is stopped: systemd would otherwise keep a service whose unit is gone.
  if (target.live) {
    RunCommand(target.Systemctl({"disable", "--now", "--", unit}));
  } else {
    RunCommand(target.Systemctl({"disable", "--", unit}));
  }
  RemoveFile(path);
  if (target.live) RunCommand(target.Systemctl({"daemon-reload"}));
  return true;
}

std::string SystemdServiceManager::RegisteredAs(const std::string& name) const {
  return "Registered as the systemd unit " + UnitFileName(name) + ".";
}

std::string SystemdServiceManager::RunsAsUser(const std::string& service_name) const {
  std::string unit;
  try {
    unit = UnitFileName(service_name);
  } catch (const Error&) {
    return {};  // no unit can carry the name: nothing registered runs as anyone
  }
  const char* root = std::getenv(kRootVariable);
  const std::string prefix = root != nullptr ? root : "";
  for (const std::string& dir : SystemUnitDirectories()) {
    const std::string path = prefix + dir + "/" + unit;
    if (access(path.c_str(), F_OK) != 0) continue;
    // The first unit found is the one systemd reads; without User= it runs as root.
    std::string text;
    try {
      text = ReadHead(path, kUnitReadLimit, true);
    } catch (const Error&) {
      return {};
    }
    return UnitUser(text);
  }
  const std::optional<PackagedService> packaged = PackagedServiceFor(ExecutablePath(), unit);
  return packaged ? packaged->user : std::string();
}

void SystemdServiceManager::Connect() {
  loop_.IgnoreHangUp();
  loop_.SetStopHandler([this] { ServiceEvents().Stop(0); });
  loop_.Post([this] { ServiceEvents().RunStartEvent(); });
}

void SystemdServiceManager::ReportRunning() {
  NotifyServiceManager("READY=1");
  StartWatchdog();
}

void SystemdServiceManager::ReportStopping() {
  if (watchdog_) watchdog_->SetEnabled(false);
  NotifyServiceManager("STOPPING=1");
}

void SystemdServiceManager::StartWatchdog() {
  const long long interval = WatchdogKeepAliveMs();
  if (interval <= 0) return;
  // From the loop itself, so that a handler that never returns stops the keep-alives too.
  watchdog_ = loop_.CreateTimer([] { NotifyServiceManager("WATCHDOG=1"); });
  watchdog_->SetInterval(static_cast<int>(interval));
  watchdog_->SetEnabled(true);
}

void SystemdServiceManager::SetStatusText(const std::string& text) {
  NotifyServiceManager("STATUS=" + text);
}

bool SystemdServiceManager::StandardErrorIsJournal() const {
  // systemd names the stream it connected as "device:inode"; a descriptor redirected since then
  // (a wrapper script, a shell) no longer matches it.
  const char* stream = std::getenv("JOURNAL_STREAM");
  if (stream == nullptr) return false;
  struct stat st {};
  if (fstat(STDERR_FILENO, &st) != 0) return false;
  return std::string(stream) == std::to_string(static_cast<unsigned long long>(st.st_dev)) + ":" +
                                    std::to_string(static_cast<unsigned long long>(st.st_ino));
}

namespace {

// Only the end of the output is reported; a chatty helper must not grow memory without bound.
constexpr std::size_t kOutputKept = 4096;

std::string CommandText(const std::vector<std::string>& argv) {
  std::string text;
  for (const std::string& arg : argv) {
    if (!text.empty()) text += ' ';
    text += PrintableText(arg);
  }
  return text;
}

std::string LastLine(std::string output) {
  while (!output.empty() && (output.back() == '\n' || output.back() == '\r' ||
                             output.back() == ' ' || output.back() == '\t')) {
    output.pop_back();
  }
  const auto newline = output.rfind('\n');
  return PrintableText(newline == std::string::npos ? output : output.substr(newline + 1));
}

// Owns the spawn attributes: the child starts with no blocked signals and with the default action
// for the ones this process catches or ignores (SIGPIPE is ignored here).
class SpawnSetup {
 public:
  explicit SpawnSetup(int output_fd) {
    posix_spawn_file_actions_init(&actions_);
    posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions_, output_fd, 1);
    posix_spawn_file_actions_adddup2(&actions_, output_fd, 2);
    posix_spawnattr_init(&attr_);
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signo :
         {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGCHLD, SIGUSR1, SIGUSR2, SIGALRM, SIGXFSZ})
      sigaddset(&defaults, signo);
    posix_spawnattr_setsigmask(&attr_, &none);
    posix_spawnattr_setsigdefault(&attr_, &defaults);
    posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attr_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  const posix_spawn_file_actions_t* actions() const { return &actions_; }
  const posix_spawnattr_t* attr() const { return &attr_; }

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attr_;
};

std::string ReadOutput(int fd) {
  std::string output;
  // A failed read ends it: what was read so far is all the report can show.
  ReadAll(fd, [&output](std::string_view chunk) {
    output.append(chunk);
    if (output.size() > 2 * kOutputKept) output.erase(0, output.size() - kOutputKept);
    return true;
  });
  return output;
}

}  // namespace

void RunCommand(const std::vector<std::string>& argv) {
  if (argv.empty()) throw InvalidArgument("no command to run");
  const std::string command = CommandText(argv);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) throw LastSystemError(command);
  UniqueFd output_read(pipe_fds[0]);
  UniqueFd output_write(pipe_fds[1]);
  pid_t pid = 0;
  int spawn_error = 0;
  {
    const SpawnSetup setup(output_write.get());
    spawn_error = posix_spawnp(&pid, args[0], setup.actions(), setup.attr(), args.data(), environ);
  }
  // Only the child may hold the writing end now, so the reading ends when the child does.
  output_write.Reset();
  if (spawn_error != 0) throw SystemError(spawn_error, command);
  const std::string output = ReadOutput(output_read.get());
  output_read.Reset();

  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) throw LastSystemError(command);
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return;

  const std::string said = LastLine(output);
  const std::string tail = said.empty() ? "" : ": " + said;
  if (WIFSIGNALED(status)) {
    throw Error(128 + WTERMSIG(status),
                command + " was ended by signal " + std::to_string(WTERMSIG(status)) + tail);
  }
  throw Error(WEXITSTATUS(status),
              command + " exited with status " + std::to_string(WEXITSTATUS(status)) + tail);
}

}  // namespace brennicot::posix
