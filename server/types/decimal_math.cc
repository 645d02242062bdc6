#include "server/types/decimal_math.h"

#include <algorithm>
#include <string>
#include <vector>

namespace server {

namespace {

// Unsigned whole numbers as decimal digit strings without leading zeros
// ("" is zero): values here have at most a few dozen digits, so schoolbook
// arithmetic is plenty.
std::string Strip(std::string digits) {
  size_t first = digits.find_first_not_of('0');
  return first == std::string::npos ? std::string() : digits.substr(first);
}

int CompareDigits(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

std::string AddDigits(const std::string& a, const std::string& b) {
  std::string out;
  int carry = 0;
  for (size_t i = 0; i < a.size() || i < b.size() || carry; ++i) {
    int x = i < a.size() ? a[a.size() - 1 - i] - '0' : 0;
    int y = i < b.size() ? b[b.size() - 1 - i] - '0' : 0;
    int sum = x + y + carry;
    out += static_cast<char>('0' + sum % 10);
    carry = sum / 10;
  }
  std::reverse(out.begin(), out.end());
  return Strip(out);
}

// a - b for a >= b.
std::string SubtractDigits(const std::string& a, const std::string& b) {
  std::string out;
  int borrow = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    int x = a[a.size() - 1 - i] - '0' - borrow;
    int y = i < b.size() ? b[b.size() - 1 - i] - '0' : 0;
    borrow = x < y ? 1 : 0;
    out += static_cast<char>('0' + x + 10 * borrow - y);
  }
  std::reverse(out.begin(), out.end());
  return Strip(out);
}

std::string MultiplyDigits(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return "";
  std::vector<int> sum(a.size() + b.size(), 0);
  for (size_t i = a.size(); i-- > 0;) {
    for (size_t j = b.size(); j-- > 0;) sum[i + j + 1] += (a[i] - '0') * (b[j] - '0');
  }
  for (size_t k = sum.size(); k-- > 1;) {
    sum[k - 1] += sum[k] / 10;
    sum[k] %= 10;
  }
  std::string out;
  for (int d : sum) out += static_cast<char>('0' + d);
  return Strip(out);
}

// a / b (b not zero), whole quotient; `remainder` gets what is left.
std::string DivideDigits(const std::string& a, const std::string& b, std::string& remainder) {
  std::string quotient;
  remainder.clear();
  for (char digit : a) {
    remainder = Strip(remainder + digit);
    int count = 0;
    while (CompareDigits(remainder, b) >= 0) {
      remainder = SubtractDigits(remainder, b);
      ++count;
    }
    quotient += static_cast<char>('0' + count);
  }
  return Strip(quotient);
}

// A value as digits times 10^-scale.
struct Scaled {
  bool negative = false;
  std::string digits;
  int scale = 0;
};

Scaled FromParts(const DecimalParts& parts) {
  std::string fraction = parts.fraction;
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  return {parts.negative, Strip(parts.whole + fraction), static_cast<int>(fraction.size())};
}

DecimalParts ToParts(const Scaled& value) {
  std::string digits = value.digits;
  if (static_cast<int>(digits.size()) <= value.scale)
    digits.insert(0, value.scale - digits.size() + 1, '0');
  DecimalParts parts;
  parts.whole = Strip(digits.substr(0, digits.size() - value.scale));
  parts.fraction = digits.substr(digits.size() - value.scale);
  parts.negative = value.negative && !value.digits.empty();
  return parts;
}

std::string Shift(const std::string& digits, int places) {
  return digits.empty() ? digits : digits + std::string(places, '0');
}

// x + y with signs.
Scaled AddSigned(const Scaled& x, const Scaled& y) {
  int scale = std::max(x.scale, y.scale);
  std::string a = Shift(x.digits, scale - x.scale), b = Shift(y.digits, scale - y.scale);
  Scaled out;
  out.scale = scale;
  if (x.negative == y.negative) {
    out.digits = AddDigits(a, b);
    out.negative = x.negative;
  } else if (CompareDigits(a, b) >= 0) {
    out.digits = SubtractDigits(a, b);
    out.negative = x.negative;
  } else {
    out.digits = SubtractDigits(b, a);
    out.negative = y.negative;
  }
  return out;
}

}  // namespace

DecimalParts TruncateDecimal(const DecimalParts& value, int scale) {
  DecimalParts out = value;
  if (static_cast<int>(out.fraction.size()) > scale) out.fraction.resize(scale);
  bool zero = out.whole.empty() && out.fraction.find_first_not_of('0') == std::string::npos;
  if (zero) out.negative = false;
  return out;
}

std::optional<DecimalParts> DecimalArithmetic(DecimalOp op, const DecimalParts& a,
                                              const DecimalParts& b, int scale) {
  Scaled x = FromParts(a), y = FromParts(b);
  switch (op) {
    case DecimalOp::kAdd:
      return ToParts(AddSigned(x, y));
    case DecimalOp::kSubtract:
      y.negative = !y.negative;
      return ToParts(AddSigned(x, y));
    case DecimalOp::kMultiply:
      return ToParts(
          {x.negative != y.negative, MultiplyDigits(x.digits, y.digits), x.scale + y.scale});
    case DecimalOp::kDivide: {
      if (y.digits.empty()) return std::nullopt;
      // (x * 10^(scale + y.scale - x.scale)) / y has `scale` fraction digits.
      int shift = scale + y.scale - x.scale;
      std::string dividend = x.digits, divisor = y.digits;
      if (shift >= 0) {
        dividend = Shift(dividend, shift);
      } else {
        divisor = Shift(divisor, -shift);
      }
      std::string remainder;
      return ToParts({x.negative != y.negative, DivideDigits(dividend, divisor, remainder), scale});
    }
    case DecimalOp::kModulo: {
      if (y.digits.empty()) return std::nullopt;
      // The remainder keeps the dividend's sign, as integer % does.
      int common = std::max(x.scale, y.scale);
      std::string remainder;
      DivideDigits(Shift(x.digits, common - x.scale), Shift(y.digits, common - y.scale), remainder);
      return ToParts({x.negative, remainder, common});
    }
  }
  return std::nullopt;
}

}  // namespace server
