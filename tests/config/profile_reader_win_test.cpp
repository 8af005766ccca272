// The shared section vectors against GetPrivateProfileSectionA itself, so that the POSIX reader
// and the system's call are held to the same block.
#include "config/profile_reader.h"

#include <gtest/gtest.h>

#include <fstream>

#include "config/profile_section_vectors.h"
#include "kit/files.h"

namespace brennicot::win32 {
namespace {

std::string Printable(std::string_view bytes) {
  std::string out;
  for (char c : bytes) out += c == '\0' ? std::string("\\0") : std::string(1, c);
  return out;
}

TEST(Win32ProfileReaderTest, GivesTheBlockOfEverySharedVector) {
  testkit::TempDir dir;
  const auto reader = NewSystemProfileReader();
  int n = 0;
  for (const auto& v : brennicot::testing::kProfileSectionVectors) {
    SCOPED_TRACE(std::string(v.name));
    // A file of its own per vector: the system may keep a profile file it has read.
    const std::string path = dir / ("v" + std::to_string(++n) + ".ini");
    {
      std::ofstream out(path, std::ios::binary);
      out.write(v.ini.data(), static_cast<std::streamsize>(v.ini.size()));
    }
    const std::string block = reader->ReadSection(std::string(v.section), v.buffer_size, path);
    EXPECT_EQ(Printable(block), Printable(v.expected));
  }
}

TEST(Win32ProfileReaderTest, AMissingFileOrNoBufferGivesNothing) {
  testkit::TempDir dir;
  const auto reader = NewSystemProfileReader();
  EXPECT_EQ(reader->ReadSection("Vemo_Brennicot", 4096, dir / "missing.ini"), "");
  const std::string path = dir / "present.ini";
  std::ofstream(path, std::ios::binary) << "[Vemo_Brennicot]\r\nlevel=3\r\n";
  EXPECT_EQ(reader->ReadSection("Vemo_Brennicot", 0, path), "");
}

}  // namespace
}  // namespace brennicot::win32
