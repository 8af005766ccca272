#include "fakes/fake_spool_files.h"

#include <algorithm>

namespace brennicot::fakes {

SpoolFiles::Found FakeSpoolFiles::Read(const std::string& path, std::size_t chunk_size,
                                       const std::function<void(std::string_view)>& take) {
  if (not_files.count(path)) return Found::kNotAFile;
  auto it = files.find(path);
  if (it == files.end()) return Found::kNothing;
  const std::string_view bytes = it->second;
  const std::size_t step = std::min(chunk, chunk_size);
  for (std::size_t at = 0; at < bytes.size(); at += step) take(bytes.substr(at, step));
  return Found::kFile;
}

bool FakeSpoolFiles::Replace(const std::string& path,
                             const std::function<std::string_view()>& next) {
  if (not_files.count(path)) return false;
  std::string bytes;
  for (std::string_view piece = next(); !piece.empty(); piece = next()) bytes += piece;
  if (write_failure) throw *write_failure;
  files[path] = bytes;
  return true;
}

}  // namespace brennicot::fakes
