#include "syslog/tls_session.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "base/error.h"
#include "kit/error_of.h"
#include "platform/file_system.h"

namespace brennicot {
namespace {

using testkit::FailureOf;

// What each outcome of reading a TLS file comes to: the bytes, or the error an administrator reads.
TEST(TlsFileBytesTest, EachReadOutcomeHasItsOwnReport) {
  const TlsFile file{"tlsca", "/etc/ssl/ca.pem"};
  const struct {
    FileRead::Outcome outcome;
    std::int32_t error_number;
    std::string words;
    std::int32_t number;
    std::string text;
  } cases[] = {
      {FileRead::Outcome::kTooLarge, 0, "", errnum::kInvalidPropertyValue,
       "Invalid property value: tlsca=/etc/ssl/ca.pem: cannot be used: larger than 1 MiB"},
      {FileRead::Outcome::kNotAFile, 0, "", errnum::kInvalidPropertyValue,
       "Invalid property value: tlsca=/etc/ssl/ca.pem: cannot be used: not a regular file"},
      // A directory: the system itself refused to read it, in its own words.
      {FileRead::Outcome::kNotAFile, 21, "Is a directory", 21,
       "tlsca=/etc/ssl/ca.pem: Is a directory"},
      {FileRead::Outcome::kNothing, 2, "No such file or directory", 2,
       "tlsca=/etc/ssl/ca.pem: No such file or directory"},
      {FileRead::Outcome::kFailed, 13, "Permission denied", 13,
       "tlsca=/etc/ssl/ca.pem: Permission denied"},
  };
  for (const auto& c : cases) {
    FileRead read;
    read.outcome = c.outcome;
    read.error_number = c.error_number;
    read.words = c.words;
    read.bytes = "never handed out";
    const Error e = FailureOf([&] { TlsFileBytes(file, read); });
    EXPECT_EQ(e.number(), c.number) << c.text;
    EXPECT_EQ(e.description(), c.text);
  }
  FileRead whole;
  whole.outcome = FileRead::Outcome::kRead;
  whole.bytes = "-----BEGIN CERTIFICATE-----";
  EXPECT_EQ(TlsFileBytes(file, whole), "-----BEGIN CERTIFICATE-----");
}

}  // namespace
}  // namespace brennicot
