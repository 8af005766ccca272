#include "syslog/tls_session.h"

#include <utility>

#include "base/numeric_text.h"
#include "base/product_names.h"

namespace brennicot {
namespace {

constexpr std::string_view kExpired = "certificate has expired";
constexpr std::string_view kNameMismatch = "name mismatch";
constexpr std::string_view kUnknownAuthority = "unknown authority";
constexpr std::string_view kHandshakeFailed = "TLS handshake failed: ";
constexpr std::string_view kTimedOut = "TLS handshake failed: no answer in time";
constexpr std::string_view kEnded = "the collector ended the TLS session";

}  // namespace

Error RefusalError(const TlsRefusal& refusal) {
  switch (refusal.kind) {
    case TlsRefusalKind::kExpired:
      return Error(refusal.number, std::string(kExpired));
    case TlsRefusalKind::kNameMismatch:
      return Error(refusal.number, refusal.detail.empty()
                                       ? std::string(kNameMismatch)
                                       : std::string(kNameMismatch) + ": " + refusal.detail);
    case TlsRefusalKind::kUnknownAuthority:
      return Error(refusal.number, std::string(kUnknownAuthority));
    case TlsRefusalKind::kTimedOut:
      return Error(refusal.number, std::string(kTimedOut));
    case TlsRefusalKind::kEnded:
      return Error(refusal.number, refusal.detail.empty()
                                       ? std::string(kEnded)
                                       : std::string(kEnded) + ": " + refusal.detail);
    case TlsRefusalKind::kOther:
      break;
  }
  return Error(refusal.number, std::string(kHandshakeFailed) + refusal.detail);
}

std::string NameMismatchDetail(const std::string& expected, const std::vector<std::string>& names) {
  std::string text = "expected " + expected + ", the certificate holds ";
  if (names.empty()) return text + "no name";
  for (std::size_t i = 0; i < names.size(); ++i) text += (i == 0 ? "" : ", ") + names[i];
  return text;
}

Error TlsFileError(const TlsFile& file, TlsFileProblem problem, const std::string& detail) {
  std::string what = std::string(file.key) + "=" + file.path + ": ";
  switch (problem) {
    case TlsFileProblem::kNoCertificate:
      what += "no certificate in it";
      break;
    case TlsFileProblem::kNoKey:
      what += "no private key in it (or one protected by a password)";
      break;
    case TlsFileProblem::kKeyMismatch:
      what += "the key does not belong to the certificate";
      break;
    case TlsFileProblem::kUnusable:
      what += "cannot be used: " + detail;
      break;
  }
  return InvalidPropertyValue(what);
}

Error TlsFileUnreadable(const TlsFile& file, std::int32_t number, const std::string& reason) {
  return Error(number, std::string(file.key) + "=" + file.path + ": " + reason);
}

std::string TlsFileBytes(const TlsFile& file, FileRead read) {
  switch (read.outcome) {
    case FileRead::Outcome::kRead:
      return std::move(read.bytes);
    case FileRead::Outcome::kTooLarge:
      throw TlsFileError(file, TlsFileProblem::kUnusable,
                         "larger than " + SizeText(kMaxWholeFileBytes));
    case FileRead::Outcome::kNotAFile:
      if (read.error_number == 0) {
        throw TlsFileError(file, TlsFileProblem::kUnusable, "not a regular file");
      }
      break;
    case FileRead::Outcome::kNothing:
    case FileRead::Outcome::kFailed:
      break;
  }
  throw TlsFileUnreadable(file, read.error_number, read.words);
}

std::string KeyOpenWarning(const std::string& path) {
  // The packaged service runs as its own user, not as the key's owner: it reads the key through
  // its group, so the advice that keeps others out must not keep the service out too.
  const std::string group(names::kServiceGroup);
  return "Warning: the private key " + path +
         " may be read by any user; keep it to the service (chgrp " + group + " " + path +
         "; chmod 0640 " + path + ")";
}

}  // namespace brennicot
