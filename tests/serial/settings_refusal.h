// The one check of a refused settings text, for each layer that refuses some: Error 380 naming
// the text and the fault.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>

#include "base/error.h"
#include "kit/error_of.h"
#include "kit/files.h"

namespace brennicot::testkit {

// Each case: a settings text, and the fault its error names.
template <typename Parse>
void ExpectSettingsRefused(Parse parse,
                           std::initializer_list<std::pair<const char*, const char*>> cases) {
  for (const auto& [text, fault] : cases) {
    SCOPED_TRACE(text);
    const Error e = FailureOf([&] { parse(text); });
    EXPECT_EQ(e.number(), errnum::kInvalidPropertyValue);
    EXPECT_TRUE(Contains(e.description(), "Settings '" + std::string(text) + "': " + fault))
        << e.description();
  }
}

}  // namespace brennicot::testkit
