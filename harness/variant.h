#ifndef TAVORA_HARNESS_VARIANT_H_
#define TAVORA_HARNESS_VARIANT_H_

#include <cstdint>
#include <string>
#include <variant>

#include "harness/export.h"

namespace harness {

// The contract's variant: exactly five kinds. The kind is part of the value,
// so Long 0 and Integer 0 are different values.
class HARNESS_API Variant {
 public:
  enum class Kind { kNull, kString, kLong, kInteger, kBoolean };

  Variant() = default;  // Null
  static Variant Null() { return Variant(); }
  static Variant String(std::u16string text) { return Variant(Value(std::move(text))); }
  static Variant Long(int32_t n) { return Variant(Value(n)); }
  static Variant Integer(int16_t n) { return Variant(Value(n)); }
  static Variant Boolean(bool b) { return Variant(Value(b)); }

  Kind kind() const { return static_cast<Kind>(value_.index()); }
  bool is_null() const { return kind() == Kind::kNull; }

  // Typed reads; each throws Error 13 "Type mismatch" for another kind.
  const std::u16string& AsString() const;
  int32_t AsLong() const;
  int16_t AsInteger() const;
  bool AsBoolean() const;

  // The value as text the way the platform converts it: digits for numbers,
  // "True"/"False" for booleans. Null cannot be converted (Error 94).
  std::u16string ToText() const;

  friend bool operator==(const Variant&, const Variant&) = default;

 private:
  using Value = std::variant<std::monostate, std::u16string, int32_t, int16_t, bool>;
  explicit Variant(Value v) : value_(std::move(v)) {}
  Value value_;
};

// Kind names as the output formats write them: "Null", "String", ...
HARNESS_API const char* KindName(Variant::Kind kind);

}  // namespace harness

#endif  // TAVORA_HARNESS_VARIANT_H_
