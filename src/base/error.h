// The one failure type of the program. Every procedure with an error trap turns it into a single
// Activity log line; platform failures carry the number and text the operating system gives.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

namespace brennicot {

class Error : public std::exception {
 public:
  Error(std::int32_t number, std::string description)
      : number_(number), description_(std::move(description)) {}

  std::int32_t number() const noexcept { return number_; }
  const std::string& description() const noexcept { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  std::int32_t number_;
  std::string description_;
};

// Numbers of the failures the program detects itself (the README lists them). Platform failures use
// errno (POSIX) or GetLastError / WSAGetLastError (Win32) instead.
namespace errnum {
inline constexpr std::int32_t kInvalidArgument = 5;
inline constexpr std::int32_t kOverflow = 6;
inline constexpr std::int32_t kOutOfMemory = 7;
inline constexpr std::int32_t kTypeMismatch = 13;
inline constexpr std::int32_t kInternal = 51;
inline constexpr std::int32_t kObjectReleased = 91;
inline constexpr std::int32_t kInvalidPropertyValue = 380;
inline constexpr std::int32_t kKeyExists = 457;
inline constexpr std::int32_t kPortNotOpen = 8012;
inline constexpr std::int32_t kNotSupported = 8018;
}  // namespace errnum

// Builders for the program's own failures, so each text is written once.
Error TypeMismatch(const std::string& text);
Error Overflow(const std::string& what);
Error InvalidArgument(const std::string& what);
Error InvalidPropertyValue(const std::string& what);
// A failure the operating system reported, in the one shape both backends give it: the system's
// number, its own words, then what it concerns in parentheses ("No such file or directory
// (x.ini)").
Error SystemFailure(std::int32_t number, const std::string& words, const std::string& context);

}  // namespace brennicot
