// The types expressions take when values of two types meet: the operand
// converted in a comparison, and the one type of CASE's and COALESCE's
// results.

#include <algorithm>

#include "server/exec/eval_internal.h"

namespace server {

DataType HigherType(const DataType& a, const DataType& b) {
  int pa = Info(a.base).precedence, pb = Info(b.base).precedence;
  if (pa != pb) return pa > pb ? a : b;
  DataType t = a;
  t.length = a.length > b.length ? a.length : b.length;
  if (Family(a) == TypeFamily::kExact) {
    int scale = a.scale > b.scale ? a.scale : b.scale;
    int whole = (a.precision - a.scale) > (b.precision - b.scale) ? a.precision - a.scale
                                                                  : b.precision - b.scale;
    t.precision = whole + scale > 38 ? 38 : whole + scale;
    t.scale = scale;
  }
  return t;
}

std::optional<DataType> AsExact(const DataType& type) {
  // An integer constant's type carries the count of its digits.
  if (Family(type) == TypeFamily::kInteger && type.precision > 0 &&
      type.precision < DefaultType(type.base).precision) {
    return DataType{BaseType::kDecimal, 0, type.precision, 0};
  }
  switch (type.base) {
    case BaseType::kBit:
      return DataType{BaseType::kDecimal, 0, 1, 0};
    case BaseType::kTinyInt:
      return DataType{BaseType::kDecimal, 0, 3, 0};
    case BaseType::kSmallInt:
      return DataType{BaseType::kDecimal, 0, 5, 0};
    case BaseType::kInt:
      return DataType{BaseType::kDecimal, 0, 10, 0};
    case BaseType::kBigInt:
      return DataType{BaseType::kDecimal, 0, 19, 0};
    case BaseType::kSmallMoney:
      return DataType{BaseType::kDecimal, 0, 10, 4};
    case BaseType::kMoney:
      return DataType{BaseType::kDecimal, 0, 19, 4};
    case BaseType::kDecimal:
    case BaseType::kNumeric:
      return type;
    default:
      return std::nullopt;
  }
}

DataType CommonType(const DataType& a, const DataType& b) {
  DataType higher = HigherType(a, b);
  TypeFamily family = Family(higher);
  if (family == TypeFamily::kExact) {
    // Enough whole digits for either side and the larger scale.
    std::optional<DataType> x = AsExact(a), y = AsExact(b);
    if (x && y) {
      int scale = std::max(x->scale, y->scale);
      int whole = std::max(x->precision - x->scale, y->precision - y->scale);
      higher.precision = std::min(whole + scale, 38);
      higher.scale = std::min(scale, higher.precision);
    }
    return higher;
  }
  if ((family == TypeFamily::kCharacter || family == TypeFamily::kBinary) &&
      Family(a) == Family(b) && higher.base != BaseType::kTimestamp) {
    higher.length = std::min(std::max(a.length, b.length), MaxLength(higher.base));
  }
  return higher;
}

Status Coerce(const Scalar& in, const DataType& type, Scalar& out) {
  Value v;
  if (Status s = Convert(in, type, false, v)) return s;
  out = Scalar{type, std::move(v)};
  return std::nullopt;
}

}  // namespace server
