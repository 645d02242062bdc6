#pragma once

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

}  // namespace tavora::testing
