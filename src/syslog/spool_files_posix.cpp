#include "syslog/spool_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string_view>

#include "platform/file_system.h"
#include "platform/file_system_posix.h"
#include "platform/system_error_posix.h"

namespace brennicot::posix {

// The spool file on POSIX: read and written whole by the file primitives with links refused
// (O_NOFOLLOW; a fresh 0600 file beside it renamed into place); unlink removes a link itself,
// never what it leads to.
class PosixSpoolFiles : public SpoolFiles {
 public:
  std::string DirectoryOfTarget(const std::string& path) override;
  Found Read(const std::string& path, std::size_t chunk_size,
             const std::function<void(std::string_view chunk)>& take) override;
  bool Replace(const std::string& path, const std::function<std::string_view()>& next) override;
  void Remove(const std::string& path) override;
};

namespace {

std::string DirectoryOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string PosixSpoolFiles::DirectoryOfTarget(const std::string& path) {
  // A loop of links leads nowhere: the spool then stays beside the name itself.
  try {
    return DirectoryOf(FinalPath(path));
  } catch (const Error&) {
    return DirectoryOf(path);
  }
}

SpoolFiles::Found PosixSpoolFiles::Read(const std::string& path, std::size_t chunk_size,
                                        const std::function<void(std::string_view)>& take) {
  return ReadSpoolFile(path, chunk_size, take);
}

bool PosixSpoolFiles::Replace(const std::string& path,
                              const std::function<std::string_view()>& next) {
  return WriteFileWhole(path, Links::kRefuse, true, next);
}

void PosixSpoolFiles::Remove(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return;
    throw LastSystemError(path);
  }
  if (!S_ISREG(st.st_mode)) return;
  // unlink removes a name, never what a link leads to: a swap after lstat harms nothing.
  if (unlink(path.c_str()) != 0 && errno != ENOENT) throw LastSystemError(path);
}

}  // namespace brennicot::posix

namespace brennicot {

std::unique_ptr<SpoolFiles> MakeSpoolFiles() {
  return std::make_unique<posix::PosixSpoolFiles>();
}

}  // namespace brennicot
