#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "harness/error.h"

namespace tavora::testing {

// The harness::Error `call` throws, or nothing when it returns.
inline std::optional<harness::Error> ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const harness::Error& e) {
    return e;
  }
  return std::nullopt;
}

// The harness::Error `call` throws; one that returns fails the test and gives
// error 0.
inline harness::Error RaisedError(const std::function<void()>& call) {
  std::optional<harness::Error> error = ErrorOf(call);
  if (!error) ADD_FAILURE() << "no error raised";
  return error.value_or(harness::Error(0, u""));
}

}  // namespace tavora::testing
