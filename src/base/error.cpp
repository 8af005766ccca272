#include "base/error.h"

namespace brennicot {

Error TypeMismatch(const std::string& text) {
  return Error(errnum::kTypeMismatch, "Type mismatch: '" + text + "' is not a number");
}

Error Overflow(const std::string& what) {
  return Error(errnum::kOverflow, "Overflow: " + what);
}

Error InvalidArgument(const std::string& what) {
  return Error(errnum::kInvalidArgument, "Invalid argument: " + what);
}

Error InvalidPropertyValue(const std::string& what) {
  return Error(errnum::kInvalidPropertyValue, "Invalid property value: " + what);
}

Error SystemFailure(std::int32_t number, const std::string& words, const std::string& context) {
  return Error(number, words + " (" + context + ")");
}

}  // namespace brennicot
