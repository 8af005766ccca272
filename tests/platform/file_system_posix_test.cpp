#include "platform/file_system_posix.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "base/error.h"
#include "kit/emulation.h"
#include "kit/error_of.h"
#include "kit/files.h"

namespace brennicot::posix {
namespace {

namespace fs = std::filesystem;

class PosixFileSystemTest : public testing::Test {
 protected:
  PosixFileSystem files;
  testkit::TempDir scratch;
  const std::string dir = scratch.path();
};

TEST_F(PosixFileSystemTest, AppendCreatesThenAppendsBytesUnchangedAndWriteFileTruncates) {
  const std::string path = files.JoinPath(dir, "Vemo_Brennicot.log");
  EXPECT_FALSE(files.FileExists(path));
  EXPECT_FALSE(files.FileExists(dir)) << "a directory is no file";
  files.AppendToFile(path, "one\r\n");
  EXPECT_TRUE(files.FileExists(path));
  files.AppendToFile(path, std::string("t\0o\xFF\r\n", 6));
  EXPECT_EQ(testkit::ReadFile(path), "one\r\n" + std::string("t\0o\xFF\r\n", 6));
  files.WriteFile(path, "short");
  EXPECT_EQ(testkit::ReadFile(path), "short");
}

// The one read of a file: what it finds in each place, links followed or refused.
TEST_F(PosixFileSystemTest, ReadWholeFileFindsEachKindOfPlaceByTheOneRule) {
  testkit::WriteFile(dir + "/file", "bytes\n");
  testkit::WriteFile(dir + "/large", std::string(kMaxWholeFileBytes + 1, 'x'));
  fs::create_symlink(dir + "/file", dir + "/link");
  fs::create_directory(dir + "/dir");
  ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0644), 0);
  using Outcome = FileRead::Outcome;
  const struct {
    const char* name;
    Links links;
    Outcome outcome;
    int error_number;
  } kCases[] = {
      {"file", Links::kRefuse, Outcome::kRead, 0},
      {"link", Links::kFollow, Outcome::kRead, 0},
      {"link", Links::kRefuse, Outcome::kNotAFile, 0},
      {"missing", Links::kFollow, Outcome::kNothing, ENOENT},
      {"dir", Links::kFollow, Outcome::kNotAFile, EISDIR},
      {"fifo", Links::kFollow, Outcome::kNotAFile, 0},  // and no wait for a writer
      {"large", Links::kFollow, Outcome::kTooLarge, 0},
  };
  for (const auto& c : kCases) {
    const FileRead read = ReadWholeFile(dir + "/" + c.name, c.links);
    EXPECT_EQ(read.outcome, c.outcome) << c.name;
    EXPECT_EQ(read.error_number, c.error_number) << c.name;
    EXPECT_EQ(read.bytes, c.outcome == Outcome::kRead ? "bytes\n" : "") << c.name;
  }
}

TEST_F(PosixFileSystemTest, FailuresCarryErrnoAndThePath) {
  const std::string missing = dir + "/no/such/dir/Vemo_Brennicot.log";
  Error e = testkit::FailureOf([&] { files.AppendToFile(missing, "x"); });
  EXPECT_EQ(e.number(), ENOENT);
  EXPECT_NE(e.description().find(missing), std::string::npos) << e.description();

  e = testkit::FailureOf([&] { files.WriteFile(dir, "x"); });  // a directory is no file to write
  EXPECT_EQ(e.number(), EISDIR);
  EXPECT_NE(e.description().find(dir), std::string::npos) << e.description();
}

// Packages link these files elsewhere, so a link to a regular file is written through; anything
// else in the file's place (a FIFO would block an ordinary open for good) fails at once.
TEST_F(PosixFileSystemTest, OnlyRegularFilesOrLinksToThemAreWritten) {
  const std::string target = dir + "/real.log";
  const std::string link = dir + "/Vemo_Brennicot.log";
  fs::create_symlink(target, link);
  files.AppendToFile(link, "through the link\n");
  EXPECT_EQ(testkit::ReadFile(target), "through the link\n");
  // A whole file replaces the one the link leads to, never the link.
  files.WriteFile(link, "replaced whole\n");
  EXPECT_EQ(testkit::ReadFile(target), "replaced whole\n");
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(testkit::TreeOf(dir).size(), 2u) << "no temporary file is left";

  const std::string fifo = dir + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  EXPECT_EQ(testkit::FailureOf([&] { files.AppendToFile(fifo, "x"); }).number(),
            ENXIO);  // no reader
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  const Error e = testkit::FailureOf([&] { files.WriteFile(fifo, "x"); });
  close(reader);
  EXPECT_EQ(e.number(), errnum::kInvalidArgument);
  EXPECT_NE(e.description().find(fifo + " is not a regular file"), std::string::npos);
  EXPECT_EQ(testkit::FailureOf([&] { files.WriteFile("/dev/null", "x"); }).number(),
            errnum::kInvalidArgument);
}

// A log root creates (an administrator's -install) belongs to its directory's owner, the
// service's user, also where it is reached through a link.
TEST_F(PosixFileSystemTest, AFileRootCreatesGoesToTheOwnerOfItsDirectory) {
  if (geteuid() != 0) GTEST_SKIP() << "only root creates files for another user";
  const passwd* nobody = getpwnam("nobody");
  ASSERT_NE(nobody, nullptr);
  const std::string logs = dir + "/logs";
  fs::create_directory(logs);
  ASSERT_EQ(chown(logs.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  const std::string link = dir + "/Vemo_Brennicot.log";
  fs::create_symlink(logs + "/Vemo_Brennicot.log", link);
  files.AppendToFile(link, "first\r\n");
  struct stat st {};
  ASSERT_EQ(stat((logs + "/Vemo_Brennicot.log").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, nobody->pw_uid);
  EXPECT_EQ(st.st_gid, nobody->pw_gid);
  EXPECT_TRUE(fs::is_symlink(link));
}

TEST_F(PosixFileSystemTest, ExecutableDirectoryHoldsThisTestProgramNotTheWorkingDirectory) {
  const fs::path before = fs::current_path();
  fs::current_path(dir);
  const std::string exe_dir = files.ExecutableDirectory();
  fs::current_path(before);
  EXPECT_NE(exe_dir, dir);
  BRENNICOT_SKIP_WHEN_EMULATED("/proc/self/exe is qemu itself; only its readlink is faked");
  EXPECT_TRUE(fs::equivalent(fs::path(exe_dir) / "platform_tests", "/proc/self/exe")) << exe_dir;
}

// The one link rule, the kernel's: every link followed to the last, relative ones from the
// directory of the link they are in, to the directory of a target that may not be there yet.
TEST_F(PosixFileSystemTest, DirectoryOfTargetFollowsEveryLinkToTheLast) {
  fs::create_directories(dir + "/lib");
  fs::create_directories(dir + "/mid");
  const struct {
    const char* name;
    std::vector<std::pair<std::string, std::string>> links;  // link, target ("{d}": the scratch)
    std::string path;
    std::string directory;
  } cases[] = {
      {"no link", {}, "{d}/lib/x.log", "{d}/lib"},
      {"absolute, to nothing yet", {{"lib/x.log", "{d}/log/x.log"}}, "{d}/lib/x.log", "{d}/log"},
      {"relative", {{"lib/x.log", "../log/x.log"}}, "{d}/lib/x.log", "{d}/lib/../log"},
      {"a chain ends at its last link",
       {{"lib/x.log", "{d}/mid/x.log"}, {"mid/x.log", "../log/x.log"}},
       "{d}/lib/x.log",
       "{d}/mid/../log"},
      {"beside itself", {{"lib/x.log", "y.log"}}, "{d}/lib/x.log", "{d}/lib"},
      {"a loop leads nowhere: the name's own",
       {{"lib/x.log", "y.log"}, {"lib/y.log", "x.log"}},
       "{d}/lib/x.log",
       "{d}/lib"},
      {"the root", {}, "/x.log", "/"},
  };
  const auto filled = [this](std::string text) {
    if (text.starts_with("{d}")) text.replace(0, 3, dir);
    return text;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const auto& [link, target] : c.links) fs::create_symlink(filled(target), dir + "/" + link);
    EXPECT_EQ(files.DirectoryOfTarget(filled(c.path)), filled(c.directory));
    for (const auto& [link, target] : c.links) fs::remove(dir + "/" + link);
  }
}

TEST_F(PosixFileSystemTest, ResolvedPathNamesAnExistingDirectoryAsTheKernelDoes) {
  fs::create_directories(dir + "/etc");
  fs::create_symlink(dir + "/etc", dir + "/link");
  const std::string real = fs::canonical(dir).string();
  EXPECT_EQ(ResolvedPath(dir + "/link/../etc/./"), real + "/etc");
  EXPECT_EQ(ResolvedPath(dir + "/link"), real + "/etc");
  EXPECT_EQ(ResolvedPath(dir + "/gone/../etc"), dir + "/gone/../etc");
}

}  // namespace
}  // namespace brennicot::posix
