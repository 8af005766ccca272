// The error trap every trapped procedure uses: run the body; on a failure write exactly one line
// "<where> err#:<number>:<description>" to the Activity log and return normally. Nothing is retried
// and nothing reaches the caller.
#pragma once

#include <cstdint>
#include <exception>
#include <new>
#include <string>
#include <string_view>

#include "base/error.h"
#include "log/activity_log.h"

namespace brennicot {

// "<where> err#:<number>:<description>"; `where` is "<module>:<procedure>".
std::string ErrorLine(std::string_view where, std::int32_t number, std::string_view description);

// The number and description of whatever was thrown: an Error keeps its own, anything else becomes
// one of the program's own failures.
Error ToError(std::exception_ptr failure);

// Runs body(); on failure hands the error to on_error. Returns true when the body completed.
template <typename Body, typename OnError>
bool RunTrapped(Body&& body, OnError&& on_error) {
  try {
    body();
    return true;
  } catch (...) {
    on_error(ToError(std::current_exception()));
    return false;
  }
}

// The usual trap: the failure becomes one error line in the Activity log.
template <typename Body>
bool RunTrapped(ActivityLog& log, std::string_view where, Body&& body) {
  return RunTrapped(std::forward<Body>(body), [&](const Error& e) {
    log.LogWrite(ErrorLine(where, e.number(), e.description()), LogKind::kError);
  });
}

}  // namespace brennicot
