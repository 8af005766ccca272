#include "platform/path.h"

namespace brennicot {

PathParts PathSyntax::Split(std::string_view path) const {
  const std::size_t cut = path.find_last_of(separators_);
  if (cut == std::string_view::npos) return {".", std::string(path)};
  const bool root = cut == 0 || (drive_roots_ && cut == 2 && path[1] == ':');
  return {std::string(path.substr(0, root ? cut + 1 : cut)), std::string(path.substr(cut + 1))};
}

std::string PathSyntax::Join(std::string_view directory, std::string_view name) const {
  std::string joined(directory);
  if (joined.empty() || separators_.find(joined.back()) == std::string_view::npos) {
    joined += separator_;
  }
  joined += name;
  return joined;
}

}  // namespace brennicot
