#include "config/section_block.h"

#include <algorithm>

namespace brennicot {

std::vector<std::string_view> SectionEntries(std::string_view block, std::int32_t buffer_size) {
  std::string_view rest = block;
  // A block the reader had to cut is two characters short of its buffer and lacks its final NUL.
  if (buffer_size >= 2 && rest.size() == static_cast<std::size_t>(buffer_size - 2) &&
      !rest.empty() && rest.back() != '\0') {
    const std::size_t last_nul = rest.rfind('\0');
    rest = last_nul == std::string_view::npos ? std::string_view() : rest.substr(0, last_nul + 1);
  }
  std::vector<std::string_view> entries;
  while (!rest.empty()) {
    const std::size_t end = std::min(rest.find('\0'), rest.size());
    if (end > 0) entries.push_back(rest.substr(0, end));
    rest.remove_prefix(end == rest.size() ? end : end + 1);
  }
  return entries;
}

}  // namespace brennicot
