// Any bytes as the INI file: the POSIX section reader against a line-by-line reference reader, and
// IniGetSet over what it reads. Whatever the file holds, the reader's block has the documented
// shape and fits its buffer, and every setting the load leaves passes its key's rule.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "base/numeric_text.h"
#include "config/ini_loader.h"
#include "config/profile_reader.h"
#include "config/settings.h"
#include "fakes/platform_fakes.h"
#include "fuzz/fuzz_support.h"

namespace brennicot::fuzz {
namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// Reads the whole file into lines first, then walks them: the simplest reading of the rules.
std::string ReferenceSection(std::string_view file, std::string_view section, std::size_t size) {
  if (file.substr(0, 3) == "\xEF\xBB\xBF") file.remove_prefix(3);
  std::vector<std::string_view> lines;
  std::size_t from = 0;
  for (std::size_t i = 0; i <= file.size(); ++i) {
    if (i == file.size() || file[i] == '\r' || file[i] == '\n') {
      lines.push_back(file.substr(from, i - from));
      from = i + 1;
    }
  }
  std::string block;
  bool inside = section.empty();
  for (std::string_view line : lines) {
    line = Trim(line);
    if (line.empty()) continue;
    if (line[0] == '[' && line.rfind(']') != std::string_view::npos && line.rfind(']') > 0) {
      if (inside) break;  // only the first section of the name counts
      inside = SameIgnoringCase(line.substr(1, line.rfind(']') - 1), section);
      continue;
    }
    if (!inside || line[0] == ';') continue;
    line = Trim(line.substr(0, line.find('\0')));
    const std::size_t eq = line.find('=');
    std::string entry(line);
    if (eq != std::string_view::npos) {
      entry = std::string(Trim(line.substr(0, eq))) + "=" + std::string(Trim(line.substr(eq + 1)));
    }
    if (entry.empty()) continue;
    block += entry;
    block += '\0';
  }
  if (block.size() + 2 <= size) return block;
  return size > 2 ? block.substr(0, size - 2) : std::string();
}

void CheckBlockShape(const std::string& block, std::size_t size) {
  FUZZ_CHECK(size < 2 ? block.empty() : block.size() <= size - 2, "block larger than its buffer");
  std::size_t from = 0;
  while (from < block.size()) {
    const std::size_t nul = block.find('\0', from);
    const std::string_view entry = std::string_view(block).substr(
        from, (nul == std::string::npos ? block.size() : nul) - from);
    FUZZ_CHECK(!entry.empty(), "an empty entry in the block");
    FUZZ_CHECK(entry.find_first_of("\r\n") == std::string_view::npos, "a line end in an entry");
    FUZZ_CHECK(entry.front() != ' ' && entry.front() != '\t', "entry not trimmed");
    if (nul == std::string::npos) break;  // the last entry, cut short by the buffer
    FUZZ_CHECK(entry.back() != ' ' && entry.back() != '\t', "entry not trimmed at its end");
    FUZZ_CHECK(entry.front() != ';', "a comment came through");
    from = nul + 1;
  }
}

// The POSIX reader on the fuzz file, whatever path the loader asks for.
class FileReader : public ProfileReader {
 public:
  explicit FileReader(std::string path) : path_(std::move(path)) {}
  std::string ReadSection(const std::string& section, std::int32_t buffer_size,
                          const std::string&) override {
    return reader_->ReadSection(section, buffer_size, path_);
  }

 private:
  std::string path_;
  std::unique_ptr<ProfileReader> reader_ = NewSystemProfileReader();
};

bool NumberBetween(const std::string& value, double low, double high) {
  try {
    const double n = ToNumber(value);
    return n > low && n < high;
  } catch (const Error&) {
    return false;
  }
}

std::size_t Utf8Characters(std::string_view s) {
  std::size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

void CheckSettings(const SettingsTable& s, const std::vector<std::string>& log) {
  const auto get = [&](std::string_view k) { return s.Get(k); };
  FUZZ_CHECK(get("commport") == "1" || NumberBetween(get("commport"), 0, 256), get("commport"));
  FUZZ_CHECK(get("msgformat") == "1" || NumberBetween(get("msgformat"), 0, 4), get("msgformat"));
  FUZZ_CHECK(get("crsend") == "1" || NumberBetween(get("crsend"), -1, 11), get("crsend"));
  FUZZ_CHECK(get("buffermax") == "4096" || NumberBetween(get("buffermax"), 500, 65507),
             get("buffermax"));
  FUZZ_CHECK(IsValidPort(get("udpport")), get("udpport"));
  FUZZ_CHECK(get("OriginalAddress").empty() || IsValidIPv4(get("OriginalAddress")),
             get("OriginalAddress"));
  const std::string& id = get("VemoBrennicotID");
  FUZZ_CHECK(!id.empty() && id.size() <= 48 && Utf8Characters(id) <= 12, Printable(id));
  FUZZ_CHECK(!get("EnableStatusTimer").empty() && !get("StatusTimerPeriod").empty(), "empty");
  for (const auto& [key, value] : s.Entries()) {
    FUZZ_CHECK(value.find_first_of(std::string("=\r\n\0", 4)) == std::string::npos,
               key + " holds " + Printable(value));
  }
  for (std::size_t i = 0; i < log.size(); ++i) {
    const bool fault = log[i].rfind("BrennicotMain:IniGetSet err#:", 0) == 0;
    FUZZ_CHECK(fault ? i + 1 == log.size() : log[i].rfind("Vemo_Brennicot invalid ", 0) == 0,
               "log line " + Printable(log[i]));
  }
}

// The file lives in memory: a file on disk costs a journal write per input, which would make the
// disk, not the reader, the bottleneck. The reader opens it by path like any other file.
class MemoryFile {
 public:
  MemoryFile() : fd_(memfd_create("ini_section_fuzz", MFD_CLOEXEC)) {
    FUZZ_CHECK(fd_ >= 0, "no memory file");
  }
  std::string Path() const { return "/proc/self/fd/" + std::to_string(fd_); }
  void Write(const std::uint8_t* data, std::size_t size) {
    FUZZ_CHECK(ftruncate(fd_, 0) == 0, "cannot empty the memory file");
    std::size_t done = 0;
    while (done < size) {
      const ssize_t n = pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
      FUZZ_CHECK(n > 0, "cannot write the memory file");
      done += static_cast<std::size_t>(n);
    }
  }

 private:
  int fd_;
};

}  // namespace
}  // namespace brennicot::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace brennicot;
  using namespace brennicot::fuzz;
  static MemoryFile* const memory_file = new MemoryFile;
  static const std::string path = memory_file->Path();
  memory_file->Write(data, size);
  const std::string_view file(reinterpret_cast<const char*>(data), size);

  const auto reader = NewSystemProfileReader();
  // The real buffer, and a small one chosen by the first byte, so cutting is tried at every place.
  const std::size_t small = size == 0 ? 0 : data[0] % 64;
  for (const std::size_t buffer : {std::size_t{4096}, small}) {
    for (const char* section : {"Vemo_Brennicot", ""}) {
      const std::string block =
          reader->ReadSection(section, static_cast<std::int32_t>(buffer), path);
      FUZZ_CHECK(block == ReferenceSection(file, section, buffer),
                 "section '" + std::string(section) + "' with buffer " + std::to_string(buffer) +
                     ": " + Printable(block));
      CheckBlockShape(block, buffer);
    }
  }

  fakes::FakeFileSystem files;
  files.files[files.exe_dir + "/Vemo_Brennicot.ini"] = "present";
  FileReader profile(path);
  fakes::FakeClock clock;
  ActivityLog log(files, clock, "Vemo_Brennicot.log");
  SettingsTable settings;
  IniGetSet(settings, log, files, profile);
  CheckSettings(settings, files.LogMessages());
  return 0;
}
