// What the built-in functions share: taking their arguments as the types
// they work on, and counting characters of UTF-8 text.

#include <cmath>

#include "server/exec/functions.h"

namespace server {

namespace {

// `arg` converted implicitly to `type`; a pair that never converts is the
// function's 8116.
Status ArgumentAs(const Scalar& arg, const DataType& type, int position, const char* function,
                  Scalar& out) {
  Scalar value = Coherent(arg);
  TypeFamily family = Family(value.type);
  if (family == TypeFamily::kImage || family == TypeFamily::kVariant ||
      CheckConvertible(value.type, type, false)) {
    return InvalidArgument(value.type, position, function);
  }
  return Coerce(value, type, out);
}

}  // namespace

SqlError InvalidArgument(const DataType& type, int position, const char* function) {
  return Raise(Msg::kInvalidArgumentType,
               {Info(type.base).name, std::to_string(position), function});
}

Status TextArgument(const Scalar& arg, int position, const char* function, std::string& out) {
  if (Family(arg.type) == TypeFamily::kCharacter) {
    out = std::get<std::string>(arg.value);
    return std::nullopt;
  }
  if (Family(arg.type) == TypeFamily::kText) return InvalidArgument(arg.type, position, function);
  Scalar text;
  DataType type{Info(arg.type.base).unicode ? BaseType::kNVarChar : BaseType::kVarChar, 8000, 0, 0};
  if (Status s = ArgumentAs(arg, type, position, function, text)) return s;
  out = std::get<std::string>(text.value);
  return std::nullopt;
}

Status IntegerArgument(const Scalar& arg, int position, const char* function, int64_t& out) {
  Scalar value;
  if (Status s = ArgumentAs(arg, DefaultType(BaseType::kBigInt), position, function, value))
    return s;
  out = std::get<int64_t>(value.value);
  return std::nullopt;
}

Status FloatArgument(const Scalar& arg, int position, const char* function, double& out) {
  Scalar value;
  if (Status s = ArgumentAs(arg, DefaultType(BaseType::kFloat), position, function, value))
    return s;
  out = std::get<double>(value.value);
  return std::nullopt;
}

Status DateArgument(const Scalar& arg, int position, const char* function, Scalar& out) {
  if (Family(arg.type) == TypeFamily::kDateTime) {
    out = arg;
    return std::nullopt;
  }
  // Character data and numbers read as datetime; numbers count days.
  Scalar value = Coherent(arg);
  if (Family(value.type) == TypeFamily::kCharacter) {
    return Coerce(value, DefaultType(BaseType::kDateTime), out);
  }
  TypeFamily family = Family(value.type);
  if (family != TypeFamily::kInteger && family != TypeFamily::kExact &&
      family != TypeFamily::kMoney && family != TypeFamily::kApprox) {
    return InvalidArgument(value.type, position, function);
  }
  Value converted;
  if (Status s = Convert(value, DefaultType(BaseType::kDateTime), true, converted)) return s;
  out = Scalar{DefaultType(BaseType::kDateTime), std::move(converted)};
  return std::nullopt;
}

bool AnyNull(const FunctionArgs& args) {
  for (const Scalar& arg : args) {
    if (arg.is_null()) return true;
  }
  return false;
}

std::string_view FirstCharacters(std::string_view text, int64_t count) {
  if (count <= 0) return text.substr(0, 0);
  size_t i = 0;
  for (int64_t seen = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && seen++ == count) break;
  }
  return text.substr(0, i);
}

std::string_view CharactersFrom(std::string_view text, int64_t from) {
  return text.substr(FirstCharacters(text, from).size());
}

}  // namespace server
