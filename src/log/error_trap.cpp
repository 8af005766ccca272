#include "log/error_trap.h"

namespace brennicot {

std::string ErrorLine(std::string_view where, std::int32_t number, std::string_view description) {
  std::string line(where);
  line += " err#:";
  line += std::to_string(number);
  line += ':';
  line += description;
  return line;
}

Error ToError(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const Error& e) {
    return e;
  } catch (const std::bad_alloc&) {
    return Error(errnum::kOutOfMemory, "Out of memory");
  } catch (const std::exception& e) {
    return Error(errnum::kInternal, std::string("Internal error: ") + e.what());
  } catch (...) {
    return Error(errnum::kInternal, "Internal error");
  }
}

}  // namespace brennicot
