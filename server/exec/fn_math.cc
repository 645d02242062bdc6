// The mathematical functions. Those that keep their argument's type (ABS,
// CEILING, FLOOR, ROUND, SIGN, POWER, DEGREES, RADIANS) work on the exact
// digits of integers, decimals and money; the others are float functions.

#include <cmath>
#include <cstdio>
#include <random>

#include "server/exec/functions.h"
#include "server/types/decimal.h"
#include "server/types/decimal_math.h"

namespace server {

namespace {

constexpr double kPi = 3.14159265358979323846;

bool IsExactFamily(TypeFamily f) { return f == TypeFamily::kExact || f == TypeFamily::kMoney; }

// The argument of a function that keeps its type: a number as it is,
// character data as float (as it converts implicitly), anything else 8116.
Status NumberArgument(const Scalar& arg, const char* function, Scalar& out) {
  Scalar value = Coherent(arg);
  TypeFamily family = Family(value.type);
  if (family == TypeFamily::kInteger || IsExactFamily(family) || family == TypeFamily::kApprox) {
    out = value;
    return std::nullopt;
  }
  if (family == TypeFamily::kCharacter) return Coerce(value, DefaultType(BaseType::kFloat), out);
  return InvalidArgument(value.type, 1, function);
}

// A result of float arithmetic as the value of a float function: infinite
// is an overflow, not a number a domain error.
Status FloatResult(double value, Scalar& out) {
  if (std::isnan(value)) return Raise(Msg::kDomainError);
  if (!std::isfinite(value)) return Raise(Msg::kArithmeticOverflowConvert, {"expression", "float"});
  out = Scalar{DefaultType(BaseType::kFloat), value};
  return std::nullopt;
}

SqlError OverflowOf(const DataType& type) {
  const char* name = type.base == BaseType::kDecimal ? "numeric" : Info(type.base).name;
  return Raise(Msg::kArithmeticOverflowConvert, {"expression", name});
}

// An exact value (its digits) as a value of `type`, which it must fit.
Status ExactResult(const DecimalParts& parts, const DataType& type, Scalar& out) {
  if (Family(type) == TypeFamily::kInteger) {
    std::optional<int64_t> v = TruncateToInt(parts);
    if (!v) return OverflowOf(type);
    Value converted;
    if (Convert(IntScalar(*v, BaseType::kBigInt), type, false, converted)) return OverflowOf(type);
    out = Scalar{type, std::move(converted)};
    return std::nullopt;
  }
  bool money = Family(type) == TypeFamily::kMoney;
  std::optional<std::string> text =
      FormatDecimal(parts, money ? 38 : type.precision, money ? 4 : type.scale);
  if (!text) return OverflowOf(type);
  Value converted = *text;
  if (money &&
      Convert(Scalar{DataType{BaseType::kNumeric, 0, 38, 4}, *text}, type, false, converted)) {
    return OverflowOf(type);
  }
  out = Scalar{type, std::move(converted)};
  return std::nullopt;
}

std::optional<DecimalParts> DigitsOf(const Scalar& s) {
  if (Family(s.type) == TypeFamily::kInteger) return DecimalFromInt(std::get<int64_t>(s.value));
  return ParseDecimal(std::get<std::string>(s.value));
}

// A float as the exact value its seventeen significant digits name.
DecimalParts DigitsOfFloat(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.17g", value);
  std::string text = buffer;
  size_t e = text.find('e');
  if (e != std::string::npos) {
    std::snprintf(buffer, sizeof buffer, "%.40f", value);
    text = buffer;
  }
  return ParseDecimal(text).value_or(DecimalParts{});
}

bool IsZero(const DecimalParts& p) {
  return p.whole.empty() && p.fraction.find_first_not_of('0') == std::string::npos;
}

// The value rounded (or cut) to `places` digits after the point; places
// may be negative (tens, hundreds, ...).
DecimalParts RoundDigits(DecimalParts value, int64_t places, bool cut) {
  if (places >= static_cast<int64_t>(value.fraction.size())) return value;
  if (places < -40) return DecimalParts{};
  // Move the point left by `shift` so that rounding to whole units works.
  size_t shift = places < 0 ? static_cast<size_t>(-places) : 0;
  if (shift > 0) {
    std::string whole =
        std::string(shift > value.whole.size() ? shift - value.whole.size() : 0, '0') + value.whole;
    value.fraction = whole.substr(whole.size() - shift) + value.fraction;
    value.whole = whole.substr(0, whole.size() - shift);
  }
  int keep = places > 0 ? static_cast<int>(places) : 0;
  DecimalParts rounded = value;
  if (cut) {
    rounded.fraction.resize(std::min(rounded.fraction.size(), static_cast<size_t>(keep)));
  } else {
    rounded = ParseDecimal(FormatDecimal(value, 80, keep).value_or("0")).value_or(DecimalParts{});
    rounded.negative = value.negative;
  }
  if (shift > 0) {
    rounded.whole = rounded.whole.empty() ? "" : rounded.whole + std::string(shift, '0');
    rounded.fraction.clear();
  }
  if (IsZero(rounded)) rounded.negative = false;
  return rounded;
}

Status Abs(const FunctionArgs& args, const EvalScope&, Scalar& out) {
  Scalar a;
  if (Status s = NumberArgument(args[0], "abs", a)) return s;
  out = Scalar{a.type, std::monostate{}};
  if (a.is_null()) return std::nullopt;
  TypeFamily family = Family(a.type);
  if (family == TypeFamily::kApprox) {
    out.value = std::fabs(std::get<double>(a.value));
    return std::nullopt;
  }
  if (family == TypeFamily::kInteger && std::get<int64_t>(a.value) < 0)
    return EvaluateNegate("-", a, out);
  out.value = a.value;
  if (IsExactFamily(family)) {
    std::string text = std::get<std::string>(a.value);
    if (!text.empty() && text[0] == '-') text.erase(0, 1);
    out.value = std::move(text);
  }
  return std::nullopt;
}

// CEILING and FLOOR: whole numbers of the argument's type (decimal(p,s)
// becomes decimal(p,0)).
template <bool kCeiling>
Status WholeNumber(const FunctionArgs& args, const EvalScope&, Scalar& out) {
  Scalar a;
  if (Status s = NumberArgument(args[0], kCeiling ? "ceiling" : "floor", a)) return s;
  DataType type = a.type;
  if (Family(type) == TypeFamily::kExact) type.scale = 0;
  out = Scalar{type, std::monostate{}};
  if (a.is_null()) return std::nullopt;
  TypeFamily family = Family(a.type);
  if (family == TypeFamily::kInteger) {
    out.value = a.value;
    return std::nullopt;
  }
  if (family == TypeFamily::kApprox) {
    double v = std::get<double>(a.value);
    out.value = kCeiling ? std::ceil(v) : std::floor(v);
    return std::nullopt;
  }
  DecimalParts parts = *DigitsOf(a);
  bool fraction = parts.fraction.find_first_not_of('0') != std::string::npos;
  parts.fraction.clear();
  if (fraction && (kCeiling != parts.negative)) {
    // Away from zero: one more whole unit.
    DecimalParts one;
    one.whole = "1";
    one.negative = parts.negative;
    parts = *DecimalArithmetic(DecimalOp::kAdd, parts, one, 0);
  }
  if (IsZero(parts)) parts.negative = false;
  return ExactResult(parts, type, out);
}

Status Round(const FunctionArgs& args, const EvalScope&, Scalar& out) {
  Scalar a;
  if (Status s = NumberArgument(args[0], "round", a)) return s;
  out = Scalar{a.type, std::monostate{}};
  if (AnyNull(args)) return std::nullopt;
  int64_t places = 0, cut = 0;
  if (Status s = IntegerArgument(args[1], 2, "round", places)) return s;
  if (args.size() > 2) {
    if (Status s = IntegerArgument(args[2], 3, "round", cut)) return s;
  }
  if (Family(a.type) == TypeFamily::kApprox) {
    double v = std::get<double>(a.value);
    if (places > 308) return FloatResult(v, out);
    double scale = std::pow(10.0, static_cast<double>(places));
    double r = cut != 0 ? std::trunc(v * scale) / scale : std::round(v * scale) / scale;
    if (!std::isfinite(r)) r = v;
    return FloatResult(r, out);
  }
  // An exact result keeps the type: ROUND(999.9, 0) does not fit
  // numeric(4,1) and overflows.
  return ExactResult(RoundDigits(*DigitsOf(a), places, cut != 0), a.type, out);
}

Status Sign(const FunctionArgs& args, const EvalScope&, Scalar& out) {
  Scalar a;
  if (Status s = NumberArgument(args[0], "sign", a)) return s;
  out = Scalar{a.type, std::monostate{}};
  if (a.is_null()) return std::nullopt;
  if (Family(a.type) == TypeFamily::kApprox) {
    double v = std::get<double>(a.value);
    out.value = v > 0 ? 1.0 : (v < 0 ? -1.0 : 0.0);
    return std::nullopt;
  }
  DecimalParts parts = *DigitsOf(a);
  DecimalParts sign;
  if (!IsZero(parts)) {
    sign.whole = "1";
    sign.negative = parts.negative;
  }
  return ExactResult(sign, a.type, out);
}

// POWER keeps the type of its first argument, widened as SQL Server does:
// smaller integers give int, decimal(p,s) gives decimal(38,s).
Status Power(const FunctionArgs& args, const EvalScope&, Scalar& out) {
  Scalar a;
  if (Status s = NumberArgument(args[0], "power", a)) return s;
  DataType type = a.type;
  if (type.base == BaseType::kTinyInt || type.base == BaseType::kSmallInt ||
      type.base == BaseType::kBit) {
    type = DefaultType(BaseType::kInt);
  } else if (Family(type) == TypeFamily::kExact) {
    type.precision = 38;
  } else if (type.base == BaseType::kReal) {
    type = DefaultType(BaseType::kFloat);
  }
  out = Scalar{type, std::monostate{}};
  if (AnyNull(args)) return std::nullopt;
  double x = 0, y = 0;
  if (Status s = FloatArgument(a, 1, "power", x)) return s;
  if (Status s = FloatArgument(args[1], 2, "power", y)) return s;
  double r = std::pow(x, y);
  if (std::isnan(r)) return Raise(Msg::kDomainError);
  if (!std::isfinite(r)) return OverflowOf(type);
  if (Family(type) == TypeFamily::kApprox) return FloatResult(r, out);
  DecimalParts digits = DigitsOfFloat(r);
  if (Family(type) == TypeFamily::kInteger) digits.fraction.clear();
  return ExactResult(digits, type, out);
}

// DEGREES and RADIANS: integers stay integers (cut), decimals give
// numeric(38,18), floats float.
template <bool kDegrees>
Status Angle(const FunctionArgs& args, const EvalScope&, Scalar& out) {
  Scalar a;
  if (Status s = NumberArgument(args[0], kDegrees ? "degrees" : "radians", a)) return s;
  DataType type = a.type;
  if (IsExactFamily(Family(type))) type = DataType{BaseType::kNumeric, 0, 38, 18};
  if (type.base == BaseType::kReal) type = DefaultType(BaseType::kFloat);
  out = Scalar{type, std::monostate{}};
  if (a.is_null()) return std::nullopt;
  double v = 0;
  if (Status s = FloatArgument(a, 1, kDegrees ? "degrees" : "radians", v)) return s;
  double r = kDegrees ? v * 180.0 / kPi : v * kPi / 180.0;
  if (Family(type) == TypeFamily::kApprox) return FloatResult(r, out);
  DecimalParts digits = DigitsOfFloat(r);
  if (Family(type) == TypeFamily::kInteger) digits.fraction.clear();
  return ExactResult(digits, type, out);
}

// The float functions of one argument, with the domain they accept (a
// value outside it is a domain error).
struct FloatFunction {
  const char* name;
  double (*apply)(double);
  bool (*domain)(double);
};

bool Anything(double) { return true; }

constexpr FloatFunction kFloatFunctions[] = {
    {"sqrt", [](double v) { return std::sqrt(v); }, [](double v) { return v >= 0; }},
    {"square", [](double v) { return v * v; }, Anything},
    {"exp", [](double v) { return std::exp(v); }, Anything},
    {"log", [](double v) { return std::log(v); }, [](double v) { return v > 0; }},
    {"log10", [](double v) { return std::log10(v); }, [](double v) { return v > 0; }},
    {"sin", [](double v) { return std::sin(v); }, Anything},
    {"cos", [](double v) { return std::cos(v); }, Anything},
    {"tan", [](double v) { return std::tan(v); }, Anything},
    {"cot", [](double v) { return 1.0 / std::tan(v); }, [](double v) { return v != 0; }},
    {"asin", [](double v) { return std::asin(v); }, [](double v) { return v >= -1 && v <= 1; }},
    {"acos", [](double v) { return std::acos(v); }, [](double v) { return v >= -1 && v <= 1; }},
    {"atan", [](double v) { return std::atan(v); }, Anything},
};

template <size_t kIndex>
Status FloatOf(const FunctionArgs& args, const EvalScope&, Scalar& out) {
  const FloatFunction& function = kFloatFunctions[kIndex];
  out = Scalar{DefaultType(BaseType::kFloat), std::monostate{}};
  if (args[0].is_null()) return std::nullopt;
  double v = 0;
  if (Status s = FloatArgument(args[0], 1, function.name, v)) return s;
  if (!function.domain(v)) return Raise(Msg::kDomainError);
  return FloatResult(function.apply(v), out);
}

Status Atn2(const FunctionArgs& args, const EvalScope&, Scalar& out) {
  out = Scalar{DefaultType(BaseType::kFloat), std::monostate{}};
  if (AnyNull(args)) return std::nullopt;
  double y = 0, x = 0;
  if (Status s = FloatArgument(args[0], 1, "atn2", y)) return s;
  if (Status s = FloatArgument(args[1], 2, "atn2", x)) return s;
  return FloatResult(std::atan2(y, x), out);
}

Status Pi(const FunctionArgs&, const EvalScope&, Scalar& out) { return FloatResult(kPi, out); }

// RAND: a seed starts the session's sequence again; without one the
// sequence goes on (a session that never gave one starts from the clock).
Status Rand(const FunctionArgs& args, const EvalScope& scope, Scalar& out) {
  Session& session = scope.exec.session;
  if (!args.empty() && !args[0].is_null()) {
    int64_t seed = 0;
    if (Status s = IntegerArgument(args[0], 1, "rand", seed)) return s;
    session.rand_state = static_cast<uint64_t>(seed) * 0x9E3779B97F4A7C15ull + 1;
    session.rand_seeded = true;
  }
  if (!session.rand_seeded) {
    session.rand_state = std::random_device{}() | (uint64_t{std::random_device{}()} << 32);
    session.rand_seeded = true;
  }
  // splitmix64 steps, 53 bits of each as a fraction in [0, 1).
  uint64_t x = (session.rand_state += 0x9E3779B97F4A7C15ull);
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  x ^= x >> 31;
  out = Scalar{DefaultType(BaseType::kFloat), static_cast<double>(x >> 11) / 9007199254740992.0};
  return std::nullopt;
}

constexpr FunctionRow kMathFunctions[] = {
    {"ABS", 1, 1, Abs},
    {"CEILING", 1, 1, WholeNumber<true>},
    {"FLOOR", 1, 1, WholeNumber<false>},
    {"ROUND", 2, 3, Round},
    {"SIGN", 1, 1, Sign},
    {"POWER", 2, 2, Power},
    {"SQRT", 1, 1, FloatOf<0>},
    {"SQUARE", 1, 1, FloatOf<1>},
    {"EXP", 1, 1, FloatOf<2>},
    {"LOG", 1, 1, FloatOf<3>},
    {"LOG10", 1, 1, FloatOf<4>},
    {"SIN", 1, 1, FloatOf<5>},
    {"COS", 1, 1, FloatOf<6>},
    {"TAN", 1, 1, FloatOf<7>},
    {"COT", 1, 1, FloatOf<8>},
    {"ASIN", 1, 1, FloatOf<9>},
    {"ACOS", 1, 1, FloatOf<10>},
    {"ATAN", 1, 1, FloatOf<11>},
    {"PI", 0, 0, Pi},
    {"RAND", 0, 1, Rand},
    {"ATN2", 2, 2, Atn2},
    {"DEGREES", 1, 1, Angle<true>},
    {"RADIANS", 1, 1, Angle<false>},
};

}  // namespace

std::span<const FunctionRow> MathFunctions() { return kMathFunctions; }

}  // namespace server
