// ISNUMERIC and ISDATE: whether a value would convert, without failing;
// CURSOR_STATUS.

#include "server/exec/cursors.h"
#include "server/exec/functions.h"
#include "server/types/datetime.h"

namespace server {

namespace {

bool IsDigitChar(char c) { return c >= '0' && c <= '9'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// What money reads: a sign and a currency symbol (either first), digits
// with thousands commas, and a point; even "$", "-" and "," alone read as 0.
bool ReadsAsMoney(std::string_view text) {
  size_t i = 0;
  auto sign = [&] {
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  };
  auto currency = [&] {
    static constexpr std::string_view kSymbols[] = {"$", "\xC2\xA3", "\xC2\xA5", "\xE2\x82\xAC"};
    for (std::string_view symbol : kSymbols) {
      if (text.substr(i, symbol.size()) == symbol) {
        i += symbol.size();
        return;
      }
    }
  };
  sign();
  currency();
  sign();
  while (i < text.size() && (IsDigitChar(text[i]) || text[i] == ',')) ++i;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigitChar(text[i])) ++i;
  }
  return i == text.size();
}

// What float reads: digits with a point and an exponent (e or d).
bool ReadsAsFloat(std::string_view text) {
  size_t i = 0, digits = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  for (; i < text.size() && IsDigitChar(text[i]); ++i) ++digits;
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size() && IsDigitChar(text[i]); ++i) ++digits;
  }
  if (digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    size_t exponent = 0;
    for (; i < text.size() && IsDigitChar(text[i]); ++i) ++exponent;
    if (exponent == 0) return false;
  }
  return i == text.size();
}

Status IsNumeric(const FunctionArgs& args, const EvalScope&, Scalar& out) {
  out = Scalar{DefaultType(BaseType::kInt), int64_t{0}};
  const Scalar& a = args[0];
  if (a.is_null()) return std::nullopt;
  switch (Family(Coherent(a).type)) {
    case TypeFamily::kInteger:
    case TypeFamily::kExact:
    case TypeFamily::kMoney:
    case TypeFamily::kApprox:
      out.value = int64_t{1};
      return std::nullopt;
    case TypeFamily::kCharacter: {
      std::string_view text = TrimBlanks(std::get<std::string>(a.value));
      out.value = int64_t{!text.empty() && (ReadsAsMoney(text) || ReadsAsFloat(text))};
      return std::nullopt;
    }
    case TypeFamily::kText:
    case TypeFamily::kImage:
      return InvalidArgument(a.type, 1, "isnumeric");
    default:
      return std::nullopt;
  }
}

Status IsDate(const FunctionArgs& args, const EvalScope&, Scalar& out) {
  out = Scalar{DefaultType(BaseType::kInt), int64_t{0}};
  const Scalar& a = args[0];
  if (a.is_null()) return std::nullopt;
  TypeFamily family = Family(a.type);
  if (family == TypeFamily::kDateTime) {
    out.value = int64_t{1};
    return std::nullopt;
  }
  if (family == TypeFamily::kText || family == TypeFamily::kImage)
    return InvalidArgument(a.type, 1, "isdate");
  // Other values are read as their text would be.
  std::string text;
  if (Status s = TextArgument(a, 1, "isdate", text)) return s;
  DateTime value;
  out.value = int64_t{ParseDateTime(text, value) == DateParse::kOk &&
                      InDateTimeRange(RoundToTicks(value)) && !TrimBlanks(text).empty()};
  return std::nullopt;
}

// CURSOR_STATUS('local' | 'global' | 'variable', name).
Status CursorStatusFunction(const FunctionArgs& args, const EvalScope& scope, Scalar& out) {
  out = Scalar{DefaultType(BaseType::kSmallInt), std::monostate{}};
  if (AnyNull(args)) return std::nullopt;
  std::string kind, name;
  if (Status s = TextArgument(args[0], 1, "cursor_status", kind)) return s;
  if (Status s = TextArgument(args[1], 2, "cursor_status", name)) return s;
  if (!EqualNoCase(kind, "variable") && !EqualNoCase(kind, "local") &&
      !EqualNoCase(kind, "global")) {
    return Raise(Msg::kInvalidParameter, {"1", "cursor_status"});
  }
  out.value = int64_t{CursorStatus(kind, name, scope.exec)};
  return std::nullopt;
}

constexpr FunctionRow kSystemFunctions[] = {
    {"CURSOR_STATUS", 2, 2, CursorStatusFunction},
    {"ISNUMERIC", 1, 1, IsNumeric},
    {"ISDATE", 1, 1, IsDate},
};

}  // namespace

std::span<const FunctionRow> SystemFunctions() { return kSystemFunctions; }

}  // namespace server
