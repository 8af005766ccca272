// The Settings table: named text values, keys compared case-sensitively, kept in the order added.
// Every value stays text; users convert at the point of use.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace brennicot {

class SettingsTable {
 public:
  // Adds a new entry; Error 457 when the key is present already (nothing is replaced).
  void Add(std::string_view key, std::string_view value);
  // Replaces the value of a present entry; Error 5 for an unknown key.
  void Set(std::string_view key, std::string_view value);
  // The value of a present entry; Error 5 for an unknown key, Error 91 once released.
  const std::string& Get(std::string_view key) const;
  // Removes every entry and marks the table released: later lookups fail instead of reading stale
  // values.
  void Release();
  bool Released() const { return released_; }
  const std::vector<std::pair<std::string, std::string>>& Entries() const { return entries_; }

 private:
  std::string* Find(std::string_view key);
  const std::string* Find(std::string_view key) const;

  std::vector<std::pair<std::string, std::string>> entries_;
  bool released_ = false;
};

}  // namespace brennicot
