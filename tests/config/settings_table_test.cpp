#include "config/settings_table.h"

#include <gtest/gtest.h>

#include "base/error.h"
#include "kit/error_of.h"

namespace brennicot {
namespace {

using testkit::FailureNumberOf;

TEST(SettingsTable, KeysAreCaseSensitiveAndKeptInOrder) {
  SettingsTable table;
  table.Add("OriginalAddress", "10.1.2.3");
  table.Add("originaladdress", "other");  // a different key, not a duplicate
  table.Add("udpport", "514");
  EXPECT_EQ(table.Get("OriginalAddress"), "10.1.2.3");
  EXPECT_EQ(table.Get("originaladdress"), "other");
  EXPECT_EQ(FailureNumberOf([&] { table.Get("ORIGINALADDRESS"); }), errnum::kInvalidArgument);
  ASSERT_EQ(table.Entries().size(), 3u);
  EXPECT_EQ(table.Entries()[2].first, "udpport");
}

TEST(SettingsTable, AddNeverReplacesAndSetNeverAdds) {
  SettingsTable table;
  table.Add("commport", "1");
  EXPECT_EQ(FailureNumberOf([&] { table.Add("commport", "3"); }), errnum::kKeyExists);
  EXPECT_EQ(table.Get("commport"), "1");

  EXPECT_EQ(FailureNumberOf([&] { table.Set("Commport", "3"); }), errnum::kInvalidArgument);
  EXPECT_EQ(FailureNumberOf([&] { table.Get("Commport"); }), errnum::kInvalidArgument);
  table.Set("commport", "");
  EXPECT_EQ(table.Get("commport"), "");
  EXPECT_EQ(FailureNumberOf([&] { table.Get("missing"); }), errnum::kInvalidArgument);
}

TEST(SettingsTable, ReleasedTableRefusesEveryUse) {
  SettingsTable table;
  table.Add("checkseq", "0");
  table.Release();
  EXPECT_TRUE(table.Released());
  EXPECT_TRUE(table.Entries().empty());
  EXPECT_EQ(FailureNumberOf([&] { table.Get("checkseq"); }), errnum::kObjectReleased);
  EXPECT_EQ(FailureNumberOf([&] { table.Set("checkseq", "1"); }), errnum::kObjectReleased);
  EXPECT_EQ(FailureNumberOf([&] { table.Add("checkseq", "1"); }), errnum::kObjectReleased);
}

}  // namespace
}  // namespace brennicot
