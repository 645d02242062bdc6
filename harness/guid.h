#ifndef TAVORA_HARNESS_GUID_H_
#define TAVORA_HARNESS_GUID_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "harness/export.h"

namespace harness {

// A 128-bit interface or class identifier, laid out as the platform lays it out.
struct Guid {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  std::array<uint8_t, 8> data4{};

  friend constexpr bool operator==(const Guid&, const Guid&) = default;
};

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" in upper case, the registry's form.
HARNESS_API std::string ToString(const Guid& guid);

// Parses the form ToString writes (braces optional, any case); nullopt on bad input.
HARNESS_API std::optional<Guid> ParseGuid(std::string_view text);

}  // namespace harness

#endif  // TAVORA_HARNESS_GUID_H_
