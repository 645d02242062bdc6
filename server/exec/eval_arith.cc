// Arithmetic, concatenation and the unary operators, with SQL Server's
// result types: integers stay exact and overflow as errors, decimal and money
// keep a scale, float is double, + joins character and binary values.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "server/exec/eval_internal.h"
#include "server/types/datetime.h"
#include "server/types/decimal.h"
#include "server/types/decimal_math.h"

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

DataType Unvariant(const Scalar& s) {
  return s.type.base == BaseType::kSqlVariant ? NaturalType(s.value) : s.type;
}

struct Plan {
  Mode mode = Mode::kInteger;
  DataType result;
  DataType operand;  // what both operands are converted to before computing
};

bool IsBitwise(const std::string& op) { return op == "&" || op == "|" || op == "^"; }

// The exact type of e1 op e2 for decimal operands (integers and money count
// as the decimals that hold them), by the server's rules for precision and
// scale. Beyond 38 digits the scale gives way, keeping at least six places
// (or the scale it had, if less), so that whole digits are not lost.
DataType ExactResult(const std::string& op, const DataType& a, const DataType& b) {
  DataType x = AsExact(a).value_or(DataType{BaseType::kDecimal, 0, 38, 0});
  DataType y = AsExact(b).value_or(DataType{BaseType::kDecimal, 0, 38, 0});
  int p1 = x.precision, s1 = x.scale, p2 = y.precision, s2 = y.scale;
  int p = 0, s = 0;
  if (op == "*") {
    p = p1 + p2 + 1;
    s = s1 + s2;
  } else if (op == "/") {
    s = std::max(6, s1 + p2 + 1);
    p = p1 - s1 + s2 + s;
  } else if (op == "%") {
    s = std::max(s1, s2);
    p = std::min(p1 - s1, p2 - s2) + s;
  } else {
    s = std::max(s1, s2);
    p = s + std::max(p1 - s1, p2 - s2) + 1;
  }
  if (p > 38) {
    s = std::max(s - (p - 38), std::min(s, 6));
    p = 38;
  }
  BaseType base = Family(a) == TypeFamily::kExact ? a.base : b.base;
  return DataType{base, 0, std::max(p, 1), s};
}

// Decides how `a op b` is computed and what type it has.
Status MakePlan(const std::string& op, const DataType& ta, const DataType& tb, Plan& plan) {
  TypeFamily fa = Family(ta), fb = Family(tb);
  bool bitwise = IsBitwise(op);
  if (op == "+") {
    bool ca = fa == TypeFamily::kCharacter, cb = fb == TypeFamily::kCharacter;
    if (ca && cb) {
      // The sum of the lengths, as far as the type goes.
      plan.mode = Mode::kConcat;
      plan.result = HigherType(ta, tb);
      plan.result.length = std::min(ta.length + tb.length, MaxLength(plan.result.base));
      return std::nullopt;
    }
    // Character data meets text or a uniqueidentifier: + has no meaning
    // that fits both.
    auto incompatible = [](TypeFamily f) {
      return f == TypeFamily::kText || f == TypeFamily::kGuid || f == TypeFamily::kImage;
    };
    if (((ca || fa == TypeFamily::kText) && incompatible(fb)) ||
        ((cb || fb == TypeFamily::kText) && incompatible(fa))) {
      return Raise(Msg::kIncompatibleInOperator,
                   {Info(ta.base).name, Info(tb.base).name, OperatorName(op)});
    }
    if (fa == TypeFamily::kBinary && fb == TypeFamily::kBinary) {
      plan.mode = Mode::kBinaryConcat;
      bool both_fixed = ta.base == BaseType::kBinary && tb.base == BaseType::kBinary;
      plan.result = DataType{both_fixed ? BaseType::kBinary : BaseType::kVarBinary,
                             std::min(ta.length + tb.length, 8000), 0, 0};
      return std::nullopt;
    }
  }
  for (const DataType* t : {&ta, &tb}) {
    TypeFamily f = Family(*t);
    if (f == TypeFamily::kText || f == TypeFamily::kImage || f == TypeFamily::kGuid ||
        f == TypeFamily::kVariant)
      return InvalidFor(*t, op);
  }
  if (fa == TypeFamily::kDateTime || fb == TypeFamily::kDateTime) {
    bool ok = op == "+" || (op == "-" && fa == TypeFamily::kDateTime);
    if (!ok) return InvalidFor(fa == TypeFamily::kDateTime ? ta : tb, op);
    plan.mode = Mode::kDate;
    plan.result = fa == TypeFamily::kDateTime ? ta : tb;
    return std::nullopt;
  }
  if (fa == TypeFamily::kCharacter && fb == TypeFamily::kCharacter) return InvalidFor(ta, op);
  // A character operand takes the other operand's type; a binary one is int.
  DataType na = fa == TypeFamily::kCharacter ? tb : ta;
  DataType nb = fb == TypeFamily::kCharacter ? ta : tb;
  if (Family(na) == TypeFamily::kBinary) na = DefaultType(BaseType::kInt);
  if (Family(nb) == TypeFamily::kBinary) nb = DefaultType(BaseType::kInt);
  TypeFamily ga = Family(na), gb = Family(nb);
  if (ga == TypeFamily::kApprox || gb == TypeFamily::kApprox) {
    if (bitwise || op == "%") return InvalidFor(ga == TypeFamily::kApprox ? na : nb, op);
    plan.mode = Mode::kFloat;
    bool real = (ga != TypeFamily::kApprox || na.base == BaseType::kReal) &&
                (gb != TypeFamily::kApprox || nb.base == BaseType::kReal);
    plan.result = DefaultType(real ? BaseType::kReal : BaseType::kFloat);
    plan.operand = DefaultType(BaseType::kFloat);
    return std::nullopt;
  }
  if (ga == TypeFamily::kExact || gb == TypeFamily::kExact) {
    if (bitwise) return InvalidFor(ga == TypeFamily::kExact ? na : nb, op);
    plan.mode = Mode::kExact;
    plan.result = ExactResult(op, na, nb);
    return std::nullopt;
  }
  if (ga == TypeFamily::kMoney || gb == TypeFamily::kMoney) {
    if (bitwise) return InvalidFor(ga == TypeFamily::kMoney ? na : nb, op);
    plan.mode = Mode::kMoney;
    bool small = (ga != TypeFamily::kMoney || na.base == BaseType::kSmallMoney) &&
                 (gb != TypeFamily::kMoney || nb.base == BaseType::kSmallMoney);
    plan.result = DefaultType(small ? BaseType::kSmallMoney : BaseType::kMoney);
    return std::nullopt;
  }
  // Integers keep the type of higher precedence: tinyint + tinyint is
  // tinyint. bit takes part in arithmetic only beside another integer type.
  plan.mode = Mode::kInteger;
  plan.result = DefaultType(HigherType(na, nb).base);
  if (plan.result.base == BaseType::kBit && !bitwise) return InvalidFor(plan.result, op);
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
  // Conversion messages call both exact types numeric.
  const char* name = result.base == BaseType::kDecimal ? "numeric" : Info(result.base).name;
  return Raise(Msg::kArithmeticOverflowConvert, {"expression", name});
}

bool FitsInteger(int64_t v, BaseType base) { return IntegerInRange(v, base); }

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
  if (!FitsInteger(r, result.base)) {
    // The small types name the value; int and bigint the conversion.
    if (result.base == BaseType::kTinyInt || result.base == BaseType::kSmallInt)
      return Raise(Msg::kArithmeticOverflowType, {Info(result.base).name, std::to_string(r)});
    return Overflow(result);
  }
  out = Scalar{result, r};
  return std::nullopt;
}

std::optional<DecimalParts> AsDecimalParts(const Scalar& s) {
  if (Family(s.type) == TypeFamily::kInteger) return DecimalFromInt(std::get<int64_t>(s.value));
  return ParseDecimal(std::get<std::string>(s.value));
}

DecimalOp ToDecimalOp(const std::string& op) {
  if (op == "+") return DecimalOp::kAdd;
  if (op == "-") return DecimalOp::kSubtract;
  if (op == "*") return DecimalOp::kMultiply;
  if (op == "/") return DecimalOp::kDivide;
  return DecimalOp::kModulo;
}

// Exact arithmetic for decimal and money results.
Status ComputeExact(const std::string& op, const Scalar& a, const Scalar& b, const DataType& result,
                    Scalar& out) {
  std::optional<DecimalParts> x = AsDecimalParts(a), y = AsDecimalParts(b);
  if (!x || !y) return Overflow(result);
  bool money = Family(result) == TypeFamily::kMoney;
  int scale = money ? 4 : result.scale;
  std::optional<DecimalParts> r = DecimalArithmetic(ToDecimalOp(op), *x, *y, scale);
  if (!r) return Raise(Msg::kDivideByZero);
  std::optional<std::string> text = FormatDecimal(*r, money ? 38 : result.precision, scale);
  if (!text) return Overflow(result);
  if (money) {
    Value v;
    if (Convert(Scalar{DataType{BaseType::kNumeric, 0, 38, 4}, *text}, result, false, v))
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
  // The NULL constant takes the other operand's type ('a' + NULL is varchar).
  if (a.untyped && !b.untyped) a.type = b.type;
  if (b.untyped && !a.untyped) b.type = a.type;
  // An integer constant meets decimals as a decimal of its own digits.
  for (Scalar* operand : {&a, &b}) {
    if (operand->constant_digits > 0 && Family(operand->type) == TypeFamily::kInteger)
      operand->type.precision = operand->constant_digits;
  }
  Plan plan;
  if (Status s = MakePlan(op, a.type, b.type, plan)) return s;
  if (a.untyped != b.untyped && plan.mode == Mode::kConcat)
    plan.result = a.untyped ? b.type : a.type;
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
  if (plan.mode == Mode::kExact || plan.mode == Mode::kMoney) {
    // Binary operands count as int; money and decimals keep their digits.
    Scalar x = a, y = b;
    if (Family(x.type) == TypeFamily::kBinary) {
      if (Status s = Coerce(a, DefaultType(BaseType::kInt), x)) return s;
    }
    if (Family(y.type) == TypeFamily::kBinary) {
      if (Status s = Coerce(b, DefaultType(BaseType::kInt), y)) return s;
    }
    return ComputeExact(op, x, y, plan.result, out);
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
    if (plan.result.base == BaseType::kReal) {
      p = static_cast<float>(p);
      q = static_cast<float>(q);
    }
    double r = op == "+" ? p + q : op == "-" ? p - q : op == "*" ? p * q : p / q;
    if (!std::isfinite(r)) return Overflow(plan.result);
    if (plan.result.base == BaseType::kReal) r = static_cast<double>(static_cast<float>(r));
    out = Scalar{plan.result, r};
    return std::nullopt;
  }
  return Raise(Msg::kInternalError, {"an arithmetic plan without a way to compute it"});
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
    // The type stays, so -CAST(1 AS tinyint) overflows as the server's does.
    DataType result = a.type.base == BaseType::kBit ? DefaultType(BaseType::kInt) : a.type;
    if (a.is_null()) {
      out = Scalar{result, std::monostate{}};
      return std::nullopt;
    }
    int64_t v = std::get<int64_t>(a.value);
    if (v == std::numeric_limits<int64_t>::min()) return Overflow(result);
    if (Status s = ComputeInteger("-", 0, v, result, out)) return s;
    out.constant_digits = a.constant_digits;  // -3 is still a constant of one digit
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
