// Arithmetic, concatenation and the unary operators, with SQL Server's
// result types: integers stay exact and overflow as errors, decimal and money
// keep a scale, float is double, + joins character and binary values.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "server/exec/eval_internal.h"
#include "server/types/datetime.h"
#include "server/types/decimal.h"

namespace server {

namespace {

enum class Mode { kConcat, kBinaryConcat, kDate, kInteger, kExact, kMoney, kFloat };

const char* OperatorName(const std::string& op) {
  if (op == "+") return "add";
  if (op == "-") return "subtract";
  if (op == "*") return "multiply";
  if (op == "/") return "divide";
  if (op == "%") return "modulo";
  if (op == "&") return "boolean AND";
  if (op == "|") return "boolean OR";
  if (op == "^") return "boolean XOR";
  return op.c_str();
}

SqlError InvalidFor(const DataType& type, const std::string& op) {
  return Raise(Msg::kInvalidOperator, {Info(type.base).name, OperatorName(op)});
}

bool IsArithmeticFamily(TypeFamily f) {
  return f == TypeFamily::kInteger || f == TypeFamily::kExact || f == TypeFamily::kMoney ||
         f == TypeFamily::kApprox || f == TypeFamily::kBinary;
}

DataType Unvariant(const Scalar& s) {
  return s.type.base == BaseType::kSqlVariant ? NaturalType(s.value) : s.type;
}

struct Plan {
  Mode mode = Mode::kInteger;
  DataType result;
  DataType operand;  // what both operands are converted to before computing
};

// Decides how `a op b` is computed and what type it has.
Status MakePlan(const std::string& op, const DataType& ta, const DataType& tb, Plan& plan) {
  TypeFamily fa = Family(ta), fb = Family(tb);
  for (const DataType* t : {&ta, &tb}) {
    TypeFamily f = Family(*t);
    if (f == TypeFamily::kText || f == TypeFamily::kImage || f == TypeFamily::kGuid)
      return InvalidFor(*t, op);
  }
  bool bitwise = op == "&" || op == "|" || op == "^";
  if (op == "+" && fa == TypeFamily::kCharacter && fb == TypeFamily::kCharacter) {
    bool unicode = Info(ta.base).unicode || Info(tb.base).unicode;
    int limit = unicode ? 4000 : 8000;
    int length = ta.length + tb.length;
    plan.mode = Mode::kConcat;
    plan.result = DataType{unicode ? BaseType::kNVarChar : BaseType::kVarChar,
                           length > limit ? limit : length, 0, 0};
    return std::nullopt;
  }
  if (op == "+" && fa == TypeFamily::kBinary && fb == TypeFamily::kBinary) {
    int length = ta.length + tb.length;
    plan.mode = Mode::kBinaryConcat;
    plan.result = DataType{BaseType::kVarBinary, length > 8000 ? 8000 : length, 0, 0};
    return std::nullopt;
  }
  if (fa == TypeFamily::kDateTime || fb == TypeFamily::kDateTime) {
    bool ok = op == "+" || (op == "-" && fa == TypeFamily::kDateTime);
    if (!ok) return InvalidFor(fa == TypeFamily::kDateTime ? ta : tb, op);
    plan.mode = Mode::kDate;
    plan.result = fa == TypeFamily::kDateTime ? ta : tb;
    return std::nullopt;
  }
  if (fa == TypeFamily::kCharacter && fb == TypeFamily::kCharacter) return InvalidFor(ta, op);
  if (fa == TypeFamily::kVariant || fb == TypeFamily::kVariant)
    return InvalidFor(fa == TypeFamily::kVariant ? ta : tb, op);
  // A character operand takes the other operand's type.
  DataType na = fa == TypeFamily::kCharacter ? tb : ta;
  DataType nb = fb == TypeFamily::kCharacter ? ta : tb;
  if (Family(na) == TypeFamily::kBinary) na = DefaultType(BaseType::kInt);
  if (Family(nb) == TypeFamily::kBinary) nb = DefaultType(BaseType::kInt);
  if (!IsArithmeticFamily(Family(na)) || !IsArithmeticFamily(Family(nb)))
    return InvalidFor(IsArithmeticFamily(Family(na)) ? nb : na, op);
  TypeFamily ga = Family(na), gb = Family(nb);
  if (ga == TypeFamily::kApprox || gb == TypeFamily::kApprox) {
    if (bitwise || op == "%") return InvalidFor(ga == TypeFamily::kApprox ? na : nb, op);
    plan.mode = Mode::kFloat;
    plan.result = (na.base == BaseType::kReal && nb.base == BaseType::kReal)
                      ? DefaultType(BaseType::kReal)
                      : DefaultType(BaseType::kFloat);
    plan.operand = DefaultType(BaseType::kFloat);
    return std::nullopt;
  }
  if (ga == TypeFamily::kExact || gb == TypeFamily::kExact) {
    if (bitwise) return InvalidFor(ga == TypeFamily::kExact ? na : nb, op);
    int sa = ga == TypeFamily::kInteger ? 0 : na.scale;
    int sb = gb == TypeFamily::kInteger ? 0 : nb.scale;
    int pb = gb == TypeFamily::kInteger ? 10 : nb.precision;
    int scale = op == "*"   ? sa + sb
                : op == "/" ? (sa + pb + 1 > 6 ? sa + pb + 1 : 6)
                            : (sa > sb ? sa : sb);
    if (scale > 18) scale = 18;
    plan.mode = Mode::kExact;
    plan.result = DataType{BaseType::kNumeric, 0, 38, scale};
    plan.operand = DataType{BaseType::kNumeric, 0, 38, 18};
    return std::nullopt;
  }
  if (ga == TypeFamily::kMoney || gb == TypeFamily::kMoney) {
    if (bitwise) return InvalidFor(ga == TypeFamily::kMoney ? na : nb, op);
    plan.mode = Mode::kMoney;
    bool small = (ga != TypeFamily::kMoney || na.base == BaseType::kSmallMoney) &&
                 (gb != TypeFamily::kMoney || nb.base == BaseType::kSmallMoney);
    plan.result = DefaultType(small ? BaseType::kSmallMoney : BaseType::kMoney);
    plan.operand = DefaultType(BaseType::kMoney);
    return std::nullopt;
  }
  plan.mode = Mode::kInteger;
  bool big = na.base == BaseType::kBigInt || nb.base == BaseType::kBigInt;
  plan.result = DefaultType(big ? BaseType::kBigInt : BaseType::kInt);
  plan.operand = DefaultType(BaseType::kBigInt);
  return std::nullopt;
}

long double AsLongDouble(const Scalar& s) {
  switch (Family(s.type)) {
    case TypeFamily::kInteger:
      return static_cast<long double>(std::get<int64_t>(s.value));
    case TypeFamily::kApprox:
      return std::get<double>(s.value);
    default:
      return std::strtold(std::get<std::string>(s.value).c_str(), nullptr);
  }
}

SqlError Overflow(const DataType& result) {
  return Raise(Msg::kArithmeticOverflowConvert, {"expression", Info(result.base).name});
}

Status ComputeInteger(const std::string& op, int64_t x, int64_t y, const DataType& result,
                      Scalar& out) {
  int64_t r = 0;
  bool overflow = false;
  if (op == "+") {
    overflow = __builtin_add_overflow(x, y, &r);
  } else if (op == "-") {
    overflow = __builtin_sub_overflow(x, y, &r);
  } else if (op == "*") {
    overflow = __builtin_mul_overflow(x, y, &r);
  } else if (op == "/" || op == "%") {
    if (y == 0) return Raise(Msg::kDivideByZero);
    if (x == std::numeric_limits<int64_t>::min() && y == -1) {
      overflow = op == "/";
      r = 0;
    } else {
      r = op == "/" ? x / y : x % y;
    }
  } else if (op == "&") {
    r = x & y;
  } else if (op == "|") {
    r = x | y;
  } else {
    r = x ^ y;
  }
  if (overflow) return Overflow(result);
  if (result.base == BaseType::kInt &&
      (r < std::numeric_limits<int32_t>::min() || r > std::numeric_limits<int32_t>::max())) {
    return Overflow(result);
  }
  out = Scalar{result, r};
  return std::nullopt;
}

Status ComputeDecimal(const std::string& op, long double x, long double y, const DataType& result,
                      Scalar& out) {
  long double r = 0;
  if (op == "+") {
    r = x + y;
  } else if (op == "-") {
    r = x - y;
  } else if (op == "*") {
    r = x * y;
  } else {
    if (y == 0) return Raise(Msg::kDivideByZero);
    r = op == "/" ? x / y : std::fmod(x, y);
  }
  if (!std::isfinite(r) || std::fabs(r) >= 1e38L) return Overflow(result);
  int scale = Family(result) == TypeFamily::kMoney ? 4 : result.scale;
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, "%.*Lf", scale, r);
  std::optional<DecimalParts> parts = ParseDecimal(buffer);
  std::optional<std::string> text = parts ? FormatDecimal(*parts, 38, scale) : std::nullopt;
  if (!text) return Overflow(result);
  if (Family(result) == TypeFamily::kMoney) {
    Value v;
    if (Status s = Convert(Scalar{DataType{BaseType::kNumeric, 0, 38, 4}, *text}, result, false, v))
      return Overflow(result);
    out = Scalar{result, std::move(v)};
    return std::nullopt;
  }
  out = Scalar{result, std::move(*text)};
  return std::nullopt;
}

Status ComputeDate(const std::string& op, const Scalar& a, const Scalar& b, const DataType& result,
                   Scalar& out) {
  // Both sides as days with a fraction; a datetime operand counts from 1900.
  auto days = [](const Scalar& s, long double& d) -> Status {
    if (Family(s.type) == TypeFamily::kDateTime || Family(s.type) == TypeFamily::kCharacter) {
      Scalar dt;
      if (Status e = Coerce(s, DefaultType(BaseType::kDateTime), dt)) return e;
      DateTime value;
      ParseDateTime(std::get<std::string>(dt.value), value);
      d = static_cast<long double>(value.days) + value.ms / 86400000.0L;
      return std::nullopt;
    }
    d = AsLongDouble(s);
    return std::nullopt;
  };
  long double x = 0, y = 0;
  if (Status s = days(a, x)) return s;
  if (Status s = days(b, y)) return s;
  long double r = op == "+" ? x + y : x - y;
  if (!(r > -1e7L && r < 1e7L)) return Overflow(result);
  Value v;
  if (Status s =
          Convert(Scalar{DefaultType(BaseType::kFloat), static_cast<double>(r)}, result, false, v))
    return s;
  out = Scalar{result, std::move(v)};
  return std::nullopt;
}

}  // namespace

Status EvaluateArithmetic(const std::string& op, const Scalar& raw_a, const Scalar& raw_b,
                          Scalar& out) {
  Scalar a = Coherent(raw_a), b = Coherent(raw_b);
  a.type = Unvariant(a);
  b.type = Unvariant(b);
  Plan plan;
  if (Status s = MakePlan(op, a.type, b.type, plan)) return s;
  if (a.is_null() || b.is_null()) {
    out = Scalar{plan.result, std::monostate{}};
    return std::nullopt;
  }
  switch (plan.mode) {
    case Mode::kConcat: {
      std::string text = std::get<std::string>(a.value) + std::get<std::string>(b.value);
      out = Scalar{plan.result, std::move(text)};
      return std::nullopt;
    }
    case Mode::kBinaryConcat: {
      std::vector<uint8_t> bytes = std::get<std::vector<uint8_t>>(a.value);
      const auto& tail = std::get<std::vector<uint8_t>>(b.value);
      bytes.insert(bytes.end(), tail.begin(), tail.end());
      if (bytes.size() > 8000) bytes.resize(8000);
      out = Scalar{plan.result, std::move(bytes)};
      return std::nullopt;
    }
    case Mode::kDate:
      return ComputeDate(op, a, b, plan.result, out);
    default:
      break;
  }
  // A character operand converts to the other operand's type first, so its
  // errors name that type.
  if (Family(a.type) == TypeFamily::kCharacter) {
    if (Status s = Coerce(Scalar(a), b.type, a)) return s;
  } else if (Family(b.type) == TypeFamily::kCharacter) {
    if (Status s = Coerce(Scalar(b), a.type, b)) return s;
  }
  Scalar x, y;
  if (Status s = Coerce(a, plan.operand, x)) return s;
  if (Status s = Coerce(b, plan.operand, y)) return s;
  if (plan.mode == Mode::kInteger) {
    return ComputeInteger(op, std::get<int64_t>(x.value), std::get<int64_t>(y.value), plan.result,
                          out);
  }
  if (plan.mode == Mode::kFloat) {
    double p = std::get<double>(x.value), q = std::get<double>(y.value);
    if (op == "/" && q == 0) return Raise(Msg::kDivideByZero);
    double r = op == "+" ? p + q : op == "-" ? p - q : op == "*" ? p * q : p / q;
    if (!std::isfinite(r)) return Overflow(plan.result);
    if (plan.result.base == BaseType::kReal) r = static_cast<double>(static_cast<float>(r));
    out = Scalar{plan.result, r};
    return std::nullopt;
  }
  return ComputeDecimal(op, AsLongDouble(x), AsLongDouble(y), plan.result, out);
}

Status EvaluateNegate(const std::string& op, const Scalar& raw, Scalar& out) {
  Scalar a = Coherent(raw);
  a.type = Unvariant(a);
  TypeFamily f = Family(a.type);
  if (op == "+") {
    if (f == TypeFamily::kText || f == TypeFamily::kImage) return InvalidFor(a.type, "plus");
    out = a;
    return std::nullopt;
  }
  if (op == "~") {
    if (f != TypeFamily::kInteger) return InvalidFor(a.type, "~");
    if (a.is_null()) {
      out = a;
      return std::nullopt;
    }
    int64_t v = std::get<int64_t>(a.value);
    int64_t r = a.type.base == BaseType::kBit       ? (v ? 0 : 1)
                : a.type.base == BaseType::kTinyInt ? 255 - v
                                                    : ~v;
    out = Scalar{a.type, r};
    return std::nullopt;
  }
  if (f == TypeFamily::kInteger) {
    DataType result = a.type.base == BaseType::kBigInt ? a.type : DefaultType(BaseType::kInt);
    if (a.is_null()) {
      out = Scalar{result, std::monostate{}};
      return std::nullopt;
    }
    int64_t v = std::get<int64_t>(a.value);
    if (v == std::numeric_limits<int64_t>::min() ||
        (result.base == BaseType::kInt && -v > std::numeric_limits<int32_t>::max())) {
      return Overflow(result);
    }
    out = Scalar{result, -v};
    return std::nullopt;
  }
  if (f == TypeFamily::kApprox) {
    out = a.is_null() ? a : Scalar{a.type, -std::get<double>(a.value)};
    return std::nullopt;
  }
  if (f == TypeFamily::kExact || f == TypeFamily::kMoney) {
    if (a.is_null()) {
      out = a;
      return std::nullopt;
    }
    std::string text = std::get<std::string>(a.value);
    if (!text.empty() && text[0] == '-') {
      text.erase(0, 1);
    } else if (text.find_first_not_of("0.") != std::string::npos) {
      text = "-" + text;
    }
    out = Scalar{a.type, std::move(text)};
    return std::nullopt;
  }
  return InvalidFor(a.type, "minus");
}

}  // namespace server
