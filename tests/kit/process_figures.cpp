#include "kit/process_figures.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "kit/files.h"

namespace brennicot::testkit {
namespace {

std::string ProcFile(pid_t pid, const char* name) {
  return "/proc/" + std::to_string(pid) + "/" + name;
}

long StatusKib(pid_t pid, const std::string& field) {
  for (const std::string& line : Lines(ReadFile(ProcFile(pid, "status")))) {
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + field.size());
  }
  return -1;
}

}  // namespace

long RssKib(pid_t pid) {
  return StatusKib(pid, "VmRSS:");
}

long PeakRssKib(pid_t pid) {
  return StatusKib(pid, "VmHWM:");
}

long CpuMillis(pid_t pid) {
  const std::string stat = ReadFile(ProcFile(pid, "stat"));
  // The command name may hold blanks and parentheses; the fields after it are plain numbers.
  const std::size_t close = stat.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(stat.substr(close + 2));
  std::string field;
  long utime = 0;
  long stime = 0;
  // Fields 3 onwards; utime and stime are fields 14 and 15.
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::stol(field);
    if (i == 15) stime = std::stol(field);
  }
  return (utime + stime) * 1000 / sysconf(_SC_CLK_TCK);
}

long OpenDescriptors(pid_t pid) {
  std::error_code ec;
  long n = 0;
  for (auto it = std::filesystem::directory_iterator(ProcFile(pid, "fd"), ec);
       !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    ++n;
  }
  return ec ? -1 : n;
}

}  // namespace brennicot::testkit
