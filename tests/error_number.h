#pragma once

#include <cstdint>
#include <functional>

#include "harness/error.h"

namespace tavora::testing {

// The number of the harness error `call` throws; 0 when it throws none.
inline int32_t ErrorNumber(const std::function<void()>& call) {
  try {
    call();
  } catch (const harness::Error& e) {
    return e.number();
  }
  return 0;
}

}  // namespace tavora::testing
