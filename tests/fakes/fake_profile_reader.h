// A profile reader that finds the same section in every settings file the fake files hold.
#pragma once

#include <cstdint>
#include <string>

#include "config/profile_reader.h"
#include "fakes/fake_file_system.h"

namespace brennicot::fakes {

// Returns a fixed section block for any file that exists in the fake file system.
class FakeProfileReader : public ProfileReader {
 public:
  explicit FakeProfileReader(FakeFileSystem& files) : files_(files) {}
  std::string block;  // what the section read yields
  int reads = 0;
  std::string ReadSection(const std::string&, std::int32_t, const std::string& path) override {
    ++reads;
    return files_.FileExists(path) ? block : std::string();
  }

 private:
  FakeFileSystem& files_;
};

}  // namespace brennicot::fakes
