#include "harness/variant.h"

#include "harness/error.h"

namespace harness {

const std::u16string& Variant::AsString() const {
  if (auto* s = std::get_if<std::u16string>(&value_)) return *s;
  RaiseRuntime(errors::kTypeMismatch);
}

int32_t Variant::AsLong() const {
  if (auto* n = std::get_if<int32_t>(&value_)) return *n;
  RaiseRuntime(errors::kTypeMismatch);
}

int16_t Variant::AsInteger() const {
  if (auto* n = std::get_if<int16_t>(&value_)) return *n;
  RaiseRuntime(errors::kTypeMismatch);
}

bool Variant::AsBoolean() const {
  if (auto* b = std::get_if<bool>(&value_)) return *b;
  RaiseRuntime(errors::kTypeMismatch);
}

namespace {

std::u16string Digits(int64_t n) {
  std::string ascii = std::to_string(n);
  return std::u16string(ascii.begin(), ascii.end());
}

}  // namespace

std::u16string Variant::ToText() const {
  switch (kind()) {
    case Kind::kNull:
      RaiseRuntime(errors::kInvalidNull);
    case Kind::kString:
      return std::get<std::u16string>(value_);
    case Kind::kLong:
      return Digits(std::get<int32_t>(value_));
    case Kind::kInteger:
      return Digits(std::get<int16_t>(value_));
    case Kind::kBoolean:
      return std::get<bool>(value_) ? u"True" : u"False";
  }
  RaiseRuntime(errors::kInternal);
}

const char* KindName(Variant::Kind kind) {
  switch (kind) {
    case Variant::Kind::kNull:
      return "Null";
    case Variant::Kind::kString:
      return "String";
    case Variant::Kind::kLong:
      return "Long";
    case Variant::Kind::kInteger:
      return "Integer";
    case Variant::Kind::kBoolean:
      return "Boolean";
  }
  return "?";
}

}  // namespace harness
