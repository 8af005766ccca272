#include "platform/path.h"

#include <gtest/gtest.h>

namespace brennicot {
namespace {

TEST(PathSyntax, SplitsAtTheLastSeparatorByEachSystemsRules) {
  const struct {
    const PathSyntax* syntax;
    const char* path;
    const char* directory;
    const char* name;
  } cases[] = {
      {&kPosixPaths, "/opt/vb/Vemo_Brennicot.log", "/opt/vb", "Vemo_Brennicot.log"},
      {&kPosixPaths, "/Vemo_Brennicot", "/", "Vemo_Brennicot"},
      {&kPosixPaths, "Vemo_Brennicot.ini", ".", "Vemo_Brennicot.ini"},
      {&kPosixPaths, "etc/door.ini", "etc", "door.ini"},
      {&kPosixPaths, "/var/log/", "/var/log", ""},
      // A backslash is a character of a POSIX name, and "C:" no drive.
      {&kPosixPaths, "/srv/a\\b.ini", "/srv", "a\\b.ini"},
      {&kPosixPaths, "C:\\vb.ini", ".", "C:\\vb.ini"},
      {&kWin32Paths, "C:\\Program Files\\VB\\Vemo_Brennicot.exe", "C:\\Program Files\\VB",
       "Vemo_Brennicot.exe"},
      {&kWin32Paths, "C:\\Vemo_Brennicot.ini", "C:\\", "Vemo_Brennicot.ini"},
      {&kWin32Paths, "C:/vb/door.ini", "C:/vb", "door.ini"},
      {&kWin32Paths, "C:\\vb/door.ini", "C:\\vb", "door.ini"},
      {&kWin32Paths, "\\door.ini", "\\", "door.ini"},
      {&kWin32Paths, "door.ini", ".", "door.ini"},
      {&kWin32Paths, "\\\\server\\share\\door.ini", "\\\\server\\share", "door.ini"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const PathParts parts = c.syntax->Split(c.path);
    EXPECT_EQ(parts.directory, c.directory);
    EXPECT_EQ(parts.name, c.name);
    EXPECT_EQ(c.syntax->DirectoryOf(c.path), c.directory);
    EXPECT_EQ(c.syntax->NameOf(c.path), c.name);
  }
}

TEST(PathSyntax, JoinsWithOneSeparatorOfItsOwnSystem) {
  const struct {
    const PathSyntax* syntax;
    const char* directory;
    const char* name;
    const char* joined;
  } cases[] = {
      {&kPosixPaths, "/opt/vb", "Vemo_Brennicot.log", "/opt/vb/Vemo_Brennicot.log"},
      {&kPosixPaths, "/", "Vemo_Brennicot.log", "/Vemo_Brennicot.log"},
      {&kPosixPaths, "/opt/vb/", "x.spool", "/opt/vb/x.spool"},
      {&kPosixPaths, ".", "x.spool", "./x.spool"},
      {&kPosixPaths, "C:\\", "x", "C:\\/x"},
      {&kWin32Paths, "C:\\Program Files\\VB", "Vemo_Brennicot.log",
       "C:\\Program Files\\VB\\Vemo_Brennicot.log"},
      {&kWin32Paths, "C:\\", "Vemo_Brennicot.ini", "C:\\Vemo_Brennicot.ini"},
      {&kWin32Paths, "C:/vb/", "door.ini", "C:/vb/door.ini"},
      {&kWin32Paths, "C:\\vb", "door.ini", "C:\\vb\\door.ini"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.syntax->Join(c.directory, c.name), c.joined);
  }
}

}  // namespace
}  // namespace brennicot
