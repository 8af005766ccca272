#include "platform/file_system_win.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "kit/error_of.h"
#include "kit/files.h"
#include "platform/windows_api_win.h"

namespace brennicot::win32 {
namespace {

using testkit::Contains;
using testkit::FailureOf;
using testkit::TempDir;

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

TEST(Win32FileSystemTest, ExecutableDirectoryHoldsTheRunningProgram) {
  Win32FileSystem files;
  const std::string dir = files.ExecutableDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_NE(dir.back(), '\\');
  char module[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameA(nullptr, module, MAX_PATH), 0u);
  const std::string path(module);
  EXPECT_EQ(files.JoinPath(dir, path.substr(path.find_last_of('\\') + 1)), path);
}

TEST(Win32FileSystemTest, JoinPathUsesTheBackslashOnce) {
  Win32FileSystem files;
  EXPECT_EQ(files.JoinPath("C:\\Program Files\\VB", "Vemo_Brennicot.log"),
            "C:\\Program Files\\VB\\Vemo_Brennicot.log");
  EXPECT_EQ(files.JoinPath("C:\\", "Vemo_Brennicot.ini"), "C:\\Vemo_Brennicot.ini");
}

TEST(Win32FileSystemTest, AppendCreatesThenAppendsEachEntryWhole) {
  TempDir dir;
  Win32FileSystem files;
  const std::string log = dir / "Vemo_Brennicot.log";
  EXPECT_FALSE(files.FileExists(log));
  files.AppendToFile(log, "first\r\n");
  files.AppendToFile(log, std::string("se\0cond\xE9\r\n", 10));
  EXPECT_TRUE(files.FileExists(log));
  EXPECT_EQ(Read(log), std::string("first\r\nse\0cond\xE9\r\n", 17));
}

TEST(Win32FileSystemTest, AppendWhileAnotherProgramReadsTheFile) {
  TempDir dir;
  Win32FileSystem files;
  const std::string log = dir / "Vemo_Brennicot.log";
  files.AppendToFile(log, "a\r\n");
  const HANDLE reader = CreateFileA(log.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  files.AppendToFile(log, "b\r\n");
  CloseHandle(reader);
  EXPECT_EQ(Read(log), "a\r\nb\r\n");
}

TEST(Win32FileSystemTest, WriteFileReplacesTheContent) {
  TempDir dir;
  Win32FileSystem files;
  const std::string ini = dir / "Vemo_Brennicot.ini";
  files.WriteFile(ini, "a much longer first content\r\n");
  files.WriteFile(ini, "short\r\n");
  EXPECT_EQ(Read(ini), "short\r\n");
}

TEST(Win32FileSystemTest, ADirectoryIsNoFile) {
  TempDir dir;
  Win32FileSystem files;
  EXPECT_FALSE(files.FileExists(dir.path()));
  EXPECT_FALSE(files.FileExists(dir / "missing.ini"));
}

TEST(Win32FileSystemTest, FailuresCarryTheSystemCodeAndThePath) {
  TempDir dir;
  Win32FileSystem files;
  const std::string path = dir / "no such dir\\Vemo_Brennicot.log";
  for (const auto& write : {std::function<void()>([&] { files.AppendToFile(path, "x"); }),
                            std::function<void()>([&] { files.WriteFile(path, "x"); })}) {
    const Error e = FailureOf(write);
    EXPECT_EQ(e.number(), ERROR_PATH_NOT_FOUND);
    EXPECT_TRUE(Contains(e.description(), "(" + path + ")")) << e.description();
  }
}

}  // namespace
}  // namespace brennicot::win32
