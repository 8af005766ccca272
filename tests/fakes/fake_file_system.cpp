#include "fakes/fake_file_system.h"

#include <cerrno>

#include "base/error.h"

namespace brennicot::fakes {

std::string FakeFileSystem::ExecutableDirectory() {
  if (exe_dir_fails) throw Error(ENOENT, "No such file or directory (/proc/self/exe)");
  return exe_dir;
}

void FakeFileSystem::AppendToFile(const std::string& path, const std::string& bytes) {
  if (!writable) throw Error(EACCES, "Permission denied (" + path + ")");
  ++appends;
  files[path] += bytes;
}

void FakeFileSystem::WriteFile(const std::string& path, const std::string& bytes) {
  if (!writable) throw Error(EACCES, "Permission denied (" + path + ")");
  files[path] = bytes;
}

std::string FakeFileSystem::Beside(const std::string& name) const {
  auto it = files.find(exe_dir + "/" + name);
  return it == files.end() ? std::string() : it->second;
}

std::vector<std::string> FakeFileSystem::LogLines() const {
  std::vector<std::string> lines;
  const std::string log = Beside("Vemo_Brennicot.log");
  std::size_t pos = 0;
  while (pos < log.size()) {
    const std::size_t end = log.find("\r\n", pos);
    if (end == std::string::npos) {
      lines.push_back(log.substr(pos));
      break;
    }
    lines.push_back(log.substr(pos, end - pos));
    pos = end + 2;
  }
  return lines;
}

std::vector<std::string> FakeFileSystem::LogMessages() const {
  // Entries begin with "YYYY/MM/DD HH:MM:SS\t"; a physical line without it continues the entry.
  std::vector<std::string> messages;
  for (const auto& line : LogLines()) {
    if (line.size() >= 20 && line[19] == '\t' && line[4] == '/') {
      messages.push_back(line.substr(20));
    } else if (!messages.empty()) {
      messages.back() += "\r\n" + line;
    } else {
      messages.push_back(line);
    }
  }
  return messages;
}

}  // namespace brennicot::fakes
