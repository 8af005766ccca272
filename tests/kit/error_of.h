// The program's own Error that an operation throws, for tests of the exact error texts.
#pragma once

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

}  // namespace brennicot::testkit
