#include "config/profile_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>

#include <filesystem>
#include <string>
#include <string_view>

#include "base/error.h"
#include "config/profile_section_vectors.h"
#include "kit/error_of.h"
#include "kit/files.h"

namespace brennicot {
namespace {

namespace fs = std::filesystem;
using namespace std::string_view_literals;

class ProfileReaderTest : public ::testing::Test {
 protected:
  std::string WriteIni(std::string_view bytes) {
    const std::string path = dir_ / "Vemo_Brennicot.ini";
    testkit::WriteFile(path, std::string(bytes));
    return path;
  }

  testkit::TempDir dir_;
  std::unique_ptr<ProfileReader> reader_ = NewSystemProfileReader();
};

// Only a regular file (or a link to one) is read, and only up to 1 MiB: a FIFO must not hang the
// start, nor a device be read without end.
TEST_F(ProfileReaderTest, ReadsOnlyRegularFilesOfASaneSize) {
  const std::string fifo = dir_ / "fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  EXPECT_EQ(reader_->ReadSection("Vemo_Brennicot", 4096, fifo), "");
  EXPECT_EQ(reader_->ReadSection("Vemo_Brennicot", 4096, "/dev/zero"), "");

  const std::string link = dir_ / "link.ini";
  fs::create_symlink(WriteIni("[Vemo_Brennicot]\nudpport=515\n"), link);
  EXPECT_EQ(reader_->ReadSection("Vemo_Brennicot", 4096, link), std::string("udpport=515\0", 12));

  const std::string big = WriteIni("[Vemo_Brennicot]\nudpport=515\n;" + std::string(1 << 20, 'x'));
  const Error e = testkit::FailureOf([&] { reader_->ReadSection("Vemo_Brennicot", 4096, big); });
  EXPECT_EQ(e.number(), EFBIG);
  EXPECT_NE(e.description().find("larger than 1 MiB"), std::string::npos) << e.description();
}

// Shows NULs so a failing comparison can be read.
std::string Visible(std::string_view s) {
  std::string out;
  for (char c : s) out += c == '\0' ? std::string("\\0") : std::string(1, c);
  return out;
}

TEST_F(ProfileReaderTest, SharedVectors) {
  for (const auto& v : testing::kProfileSectionVectors) {
    const std::string path = WriteIni(v.ini);
    const std::string block = reader_->ReadSection(std::string(v.section), v.buffer_size, path);
    EXPECT_EQ(Visible(block), Visible(v.expected)) << v.name;
  }
}

TEST_F(ProfileReaderTest, UnreadableFileReadsAsNoSection) {
  EXPECT_EQ(reader_->ReadSection("Vemo_Brennicot", 4096, dir_ / "missing.ini"), "");
  EXPECT_EQ(reader_->ReadSection("Vemo_Brennicot", 4096, dir_.path()), "");  // a directory
}

// Choices of our own where no Win32 observation exists: a lone CR ends a line, a NUL byte ends
// the entry it is in, and a buffer with no room for an entry yields nothing.
TEST_F(ProfileReaderTest, OwnChoicesForUnobservedInput) {
  const struct {
    std::string_view name;
    std::string_view ini;
    std::int32_t buffer_size;
    std::string_view expected;
  } cases[] = {
      {"CR line ends", "[Vemo_Brennicot]\rlevel=3\rfacility=4\r"sv, 4096,
       "level=3\0facility=4\0"sv},
      {"NUL byte inside a line", "[Vemo_Brennicot]\r\nlevel=3\0junk\r\nfacility=4\r\n"sv, 4096,
       "level=3\0facility=4\0"sv},
      {"buffer of two", "[Vemo_Brennicot]\r\nlevel=3\r\n"sv, 2, ""sv},
      {"buffer of zero", "[Vemo_Brennicot]\r\nlevel=3\r\n"sv, 0, ""sv},
  };
  for (const auto& c : cases) {
    const std::string path = WriteIni(c.ini);
    EXPECT_EQ(Visible(reader_->ReadSection("Vemo_Brennicot", c.buffer_size, path)),
              Visible(c.expected))
        << c.name;
  }
}

}  // namespace
}  // namespace brennicot
