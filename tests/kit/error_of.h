// The program's own Error that an operation throws, for tests of the exact error texts.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <utility>

#include "base/error.h"

namespace brennicot::testkit {

template <typename Operation>
std::optional<Error> ErrorOf(Operation&& operation) {
  try {
    std::forward<Operation>(operation)();
  } catch (const Error& e) {
    return e;
  }
  return std::nullopt;
}

// The number of the Error an operation throws; 0 when it throws none.
template <typename Operation>
std::int32_t FailureNumberOf(Operation&& operation) {
  const auto e = ErrorOf(std::forward<Operation>(operation));
  return e ? e->number() : 0;
}

// The Error an operation throws; fails the test when it throws none.
template <typename Operation>
Error FailureOf(Operation&& operation) {
  if (auto e = ErrorOf(std::forward<Operation>(operation))) return *e;
  ADD_FAILURE() << "no Error thrown";
  return Error(0, "");
}

}  // namespace brennicot::testkit
