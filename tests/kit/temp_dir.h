// A fresh directory for one test, removed with everything in it when the test is done.
#pragma once

#include <string>

namespace brennicot::testkit {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // A path in it, with the system's own separator.
  std::string operator/(const std::string& name) const;

 private:
  std::string path_;
};

}  // namespace brennicot::testkit
