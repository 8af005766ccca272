#include "config/settings_table.h"

#include "base/error.h"

namespace brennicot {
namespace {

Error ReleasedError() {
  return Error(errnum::kObjectReleased, "Settings table already released");
}

Error UnknownKey(std::string_view key) {
  return InvalidArgument("no setting named '" + std::string(key) + "'");
}

}  // namespace

std::string* SettingsTable::Find(std::string_view key) {
  for (auto& [k, v] : entries_) {
    if (k == key) return &v;
  }
  return nullptr;
}

const std::string* SettingsTable::Find(std::string_view key) const {
  for (const auto& [k, v] : entries_) {
    if (k == key) return &v;
  }
  return nullptr;
}

void SettingsTable::Add(std::string_view key, std::string_view value) {
  if (released_) throw ReleasedError();
  if (Find(key) != nullptr) {
    throw Error(errnum::kKeyExists,
                "Key already present in the Settings table: '" + std::string(key) + "'");
  }
  entries_.emplace_back(std::string(key), std::string(value));
}

void SettingsTable::Set(std::string_view key, std::string_view value) {
  if (released_) throw ReleasedError();
  std::string* v = Find(key);
  if (v == nullptr) throw UnknownKey(key);
  v->assign(value);
}

const std::string& SettingsTable::Get(std::string_view key) const {
  if (released_) throw ReleasedError();
  const std::string* v = Find(key);
  if (v == nullptr) throw UnknownKey(key);
  return *v;
}

void SettingsTable::Release() {
  entries_.clear();
  released_ = true;
}

}  // namespace brennicot
