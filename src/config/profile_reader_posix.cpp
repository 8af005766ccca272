#include <cerrno>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "base/numeric_text.h"
#include "base/text.h"
#include "config/profile_reader.h"
#include "platform/file_system.h"
#include "platform/system_error_posix.h"

namespace brennicot::posix {
namespace {

// The name of a section header line ("[name]", already trimmed), or false when the line is not one.
// The name runs to the last "]" on the line, as written (no trimming inside the brackets).
bool SectionName(std::string_view line, std::string_view* name) {
  if (line.empty() || line.front() != '[') return false;
  const std::size_t close = line.rfind(']');
  if (close == std::string_view::npos || close == 0) return false;
  *name = line.substr(1, close - 1);
  return true;
}

// One setting line as the block carries it: blanks around the first "=" removed, the rest as
// written. The entries of the block are C strings, so a NUL byte ends the entry.
std::string Entry(std::string_view line) {
  const std::size_t nul = line.find('\0');
  if (nul != std::string_view::npos) line = TrimBlanks(line.substr(0, nul));
  const std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) return std::string(line);
  std::string entry(TrimBlanks(line.substr(0, eq)));
  entry += '=';
  entry += TrimBlanks(line.substr(eq + 1));
  return entry;
}

// The whole file, or nothing when there is none to read (missing, a directory, not a regular
// file: a FIFO must not hang the start, nor a device be read without end). Throws Error for a file
// that cannot be opened or read (no permission, an I/O error) and for one too large to be settings.
std::optional<std::string> ReadWholeFile(const std::string& path) {
  FileRead read = brennicot::ReadWholeFile(path, Links::kFollow);
  switch (read.outcome) {
    case FileRead::Outcome::kRead:
      return std::move(read.bytes);
    case FileRead::Outcome::kNothing:
    case FileRead::Outcome::kNotAFile:
      return std::nullopt;
    case FileRead::Outcome::kTooLarge:
      throw SystemError(EFBIG,
                        path + ": larger than " + SizeText(kMaxWholeFileBytes) + ", not read");
    case FileRead::Outcome::kFailed:
      break;
  }
  throw SystemError(read.error_number, path);
}

class PosixProfileReader : public ProfileReader {
 public:
  std::string ReadSection(const std::string& section, std::int32_t buffer_size,
                          const std::string& path) override;
};

}  // namespace

std::string PosixProfileReader::ReadSection(const std::string& section, std::int32_t buffer_size,
                                            const std::string& path) {
  const std::optional<std::string> content = ReadWholeFile(path);
  if (!content) return {};

  std::string_view rest = *content;
  if (rest.substr(0, 3) == "\xEF\xBB\xBF") rest.remove_prefix(3);

  const std::size_t size = buffer_size > 0 ? static_cast<std::size_t>(buffer_size) : 0;
  // Every entry followed by NUL; the final NUL is implied. Building stops once the block is known
  // not to fit, so a huge file costs no more than the buffer.
  std::string block;
  // Lines before the first header belong to a section without a name.
  bool in_section = section.empty();
  bool section_done = false;
  while (!rest.empty() && !section_done && block.size() < size) {
    std::size_t end = rest.find_first_of("\r\n");
    if (end == std::string_view::npos) end = rest.size();
    const std::string_view line = TrimBlanks(rest.substr(0, end));
    rest.remove_prefix(end);
    if (!rest.empty() && rest.front() == '\r') rest.remove_prefix(1);
    if (!rest.empty() && rest.front() == '\n') rest.remove_prefix(1);

    std::string_view name;
    if (line.empty()) continue;
    if (SectionName(line, &name)) {
      // Only the first section of that name counts.
      section_done = in_section;
      in_section = EqualIgnoringCase(name, section);
      continue;
    }
    if (!in_section || line.front() == ';') continue;
    const std::string entry = Entry(line);
    if (entry.empty()) continue;
    block += entry;
    block += '\0';
  }
  // With the final NUL the block must fit the buffer with room to spare; otherwise it is cut so
  // that two NULs still fit behind it, and the count is size - 2.
  if (block.size() + 2 <= size) return block;
  return size > 2 ? block.substr(0, size - 2) : std::string();
}

}  // namespace brennicot::posix

namespace brennicot {

std::unique_ptr<ProfileReader> NewSystemProfileReader() {
  return std::make_unique<posix::PosixProfileReader>();
}

}  // namespace brennicot
