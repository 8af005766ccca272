// Spool files in memory, kept across hosts of one test.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "base/error.h"
#include "syslog/spool_files.h"

namespace brennicot::fakes {

// Read in chunks of `chunk` bytes at most, so a reader meets a record split across two.
class FakeSpoolFiles : public SpoolFiles {
 public:
  std::map<std::string, std::string> files;
  std::set<std::string> not_files;  // a link or anything else: left alone
  std::size_t chunk = 7;
  std::optional<Error> write_failure;
  Found Read(const std::string& path, std::size_t chunk_size,
             const std::function<void(std::string_view chunk)>& take) override;
  bool Replace(const std::string& path, const std::function<std::string_view()>& next) override;
  void Remove(const std::string& path) override { files.erase(path); }
};

}  // namespace brennicot::fakes
