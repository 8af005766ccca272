// Paths as text: cut at the last separator and put together again, by one system's rules. Nothing
// here asks the system anything, so either system's rules hold (and are tested) on both.
#pragma once

#include <string>
#include <string_view>

namespace brennicot {

// A path cut at its last separator.
struct PathParts {
  // "." for a bare name: it lives in the current directory. A root keeps its separator ("/",
  // "C:\"), so that the directory is still one.
  std::string directory;
  std::string name;
};

// How one system writes paths.
class PathSyntax {
 public:
  constexpr PathSyntax(char separator, std::string_view separators, bool drive_roots)
      : separator_(separator), separators_(separators), drive_roots_(drive_roots) {}

  PathParts Split(std::string_view path) const;
  std::string DirectoryOf(std::string_view path) const { return Split(path).directory; }
  std::string NameOf(std::string_view path) const { return Split(path).name; }
  // `directory`, the separator and `name`; a directory that already ends in a separator (a root)
  // gets none more.
  std::string Join(std::string_view directory, std::string_view name) const;

 private:
  char separator_;               // the one written
  std::string_view separators_;  // every one read
  bool drive_roots_;             // "C:\" is a root
};

// POSIX: "/" only; a backslash is part of a name there.
inline constexpr PathSyntax kPosixPaths('/', "/", false);
// Win32 writes "\" and reads "/" as well.
inline constexpr PathSyntax kWin32Paths('\\', "\\/", true);

}  // namespace brennicot
