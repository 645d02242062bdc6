// Binding column names and evaluating expressions: comparisons, logic,
// LIKE, IN, BETWEEN and CAST. Arithmetic and functions have their own files.

#include "server/exec/eval.h"

#include <cctype>
#include <cstdlib>

#include "server/exec/eval_internal.h"
#include "server/exec/like.h"
#include "server/exec/type_resolution.h"
#include "server/types/datetime.h"
#include "server/types/decimal.h"

namespace server {

// Under SET ANSI_NULLS OFF, = and <> against the NULL constant or a
// variable holding NULL test for NULL; other comparisons stay unknown.
bool NonAnsiOperand(const Expr& operand, const Scalar& value, const EvalScope& scope) {
  return !scope.exec.session.options.ansi_nulls && value.is_null() &&
         (operand.kind == ExprKind::kLiteral || operand.kind == ExprKind::kVariable);
}

namespace {

bool IsNumeric(TypeFamily f) {
  return f == TypeFamily::kInteger || f == TypeFamily::kExact || f == TypeFamily::kMoney ||
         f == TypeFamily::kApprox;
}

int Sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

// A condition's outcome; a value that is not a bit counts as true unless zero.
std::optional<bool> Truth(const Scalar& s) {
  if (s.is_null()) return std::nullopt;
  if (const auto* i = std::get_if<int64_t>(&s.value)) return *i != 0;
  if (const auto* d = std::get_if<double>(&s.value)) return *d != 0;
  return true;
}

bool IsZero(const DecimalParts& d) {
  return d.whole.empty() && d.fraction.find_first_not_of('0') == std::string::npos;
}

int CompareMagnitude(const DecimalParts& a, const DecimalParts& b) {
  if (a.whole.size() != b.whole.size()) return a.whole.size() < b.whole.size() ? -1 : 1;
  if (int c = a.whole.compare(b.whole)) return Sign(c);
  size_t n = a.fraction.size() > b.fraction.size() ? a.fraction.size() : b.fraction.size();
  for (size_t i = 0; i < n; ++i) {
    char x = i < a.fraction.size() ? a.fraction[i] : '0';
    char y = i < b.fraction.size() ? b.fraction[i] : '0';
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

int CompareDecimal(const DecimalParts& a, const DecimalParts& b) {
  bool za = IsZero(a), zb = IsZero(b);
  int sa = za ? 0 : (a.negative ? -1 : 1);
  int sb = zb ? 0 : (b.negative ? -1 : 1);
  if (sa != sb) return sa < sb ? -1 : 1;
  if (sa == 0) return 0;
  int c = CompareMagnitude(a, b);
  return sa < 0 ? -c : c;
}

std::optional<DecimalParts> AsDecimal(const Scalar& s) {
  if (Family(s.type) == TypeFamily::kInteger) return DecimalFromInt(std::get<int64_t>(s.value));
  return ParseDecimal(std::get<std::string>(s.value));
}

double AsDouble(const Scalar& s) {
  switch (Family(s.type)) {
    case TypeFamily::kInteger:
      return static_cast<double>(std::get<int64_t>(s.value));
    case TypeFamily::kApprox:
      return std::get<double>(s.value);
    default:
      return std::strtod(std::get<std::string>(s.value).c_str(), nullptr);
  }
}

int CompareBytes(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  // The shorter value counts as padded with zero bytes.
  size_t n = a.size() > b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    uint8_t x = i < a.size() ? a[i] : 0;
    uint8_t y = i < b.size() ? b[i] : 0;
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

Status AsText(const Scalar& in, std::string& out) {
  TypeFamily f = Family(in.type);
  if (f == TypeFamily::kCharacter || f == TypeFamily::kText) {
    out = std::get<std::string>(in.value);
    return std::nullopt;
  }
  Value v;
  if (Status s = Convert(in, DataType{BaseType::kVarChar, 8000, 0, 0}, false, v)) return s;
  out = std::get<std::string>(v);
  return std::nullopt;
}

Status EvaluateCompare(const Expr& expr, const EvalScope& scope, Scalar& out) {
  Scalar a, b;
  if (Status s = Evaluate(*expr.args[0], scope, a)) return s;
  if (Status s = Evaluate(*expr.args[1], scope, b)) return s;
  // text, ntext and image never compare, whether or not a value is NULL.
  if (IsLargeObject(a.type) || IsLargeObject(b.type)) return Raise(Msg::kTextCompare);
  const std::string& op = expr.name;
  if (a.is_null() || b.is_null()) {
    bool equality = op == "=" || op == "<>" || op == "!=";
    if (equality &&
        (NonAnsiOperand(*expr.args[0], a, scope) || NonAnsiOperand(*expr.args[1], b, scope))) {
      bool same = a.is_null() && b.is_null();
      out = BoolScalar(op == "=" ? same : !same);
      return std::nullopt;
    }
    out = BoolScalar(std::nullopt);
    return std::nullopt;
  }
  // Only an explicit COLLATE can conflict, and only then is the operation
  // named: this runs for every row a condition tests.
  const Collation* collation = &scope.exec.collation();
  if (ExplicitCollation(*expr.args[0], *collation) ||
      ExplicitCollation(*expr.args[1], *collation)) {
    if (Status s =
            OperandCollation(*expr.args[0], *expr.args[1], CompareOperation(op), scope, collation))
      return s;
  }
  std::optional<bool> result;
  if (Status s = CompareWith(op, a, b, *collation, result)) return s;
  out = BoolScalar(result);
  return std::nullopt;
}

}  // namespace

const Collation* ExplicitCollation(const Expr& expr, const Collation& server) {
  if (expr.kind == ExprKind::kCollate) return FindCollation(expr.name, server);
  if (expr.kind != ExprKind::kBinary || expr.name != "+") return nullptr;
  const Collation* left = ExplicitCollation(*expr.args[0], server);
  return left ? left : ExplicitCollation(*expr.args[1], server);
}

std::string_view CompareOperation(const std::string& op) {
  if (op == "=") return "equal to";
  if (op == "<>" || op == "!=") return "not equal to";
  if (op == "<") return "less than";
  if (op == ">") return "greater than";
  return op == "<=" || op == "!>" ? "less than or equal to" : "greater than or equal to";
}

Status OperandCollation(const Expr& a, const Expr& b, std::string_view operation,
                        const EvalScope& scope, const Collation*& out) {
  const Collation& server = scope.exec.collation();
  return CollationOfPair(ExplicitCollation(a, server), ExplicitCollation(b, server), server,
                         operation, out);
}

Status CollationOfPair(const Collation* left, const Collation* right, const Collation& server,
                       std::string_view operation, const Collation*& out) {
  if (left && right && left->case_sensitive() != right->case_sensitive()) {
    return Raise(Msg::kCollationConflict, {std::string(operation)});
  }
  out = left ? left : right ? right : &server;
  return std::nullopt;
}

Status CompareWith(const std::string& op, const Scalar& a, const Scalar& b,
                   const Collation& collation, std::optional<bool>& out) {
  if (IsLargeObject(a.type) || IsLargeObject(b.type)) return Raise(Msg::kTextCompare);
  if (a.is_null() || b.is_null()) {
    out = std::nullopt;
    return std::nullopt;
  }
  int c = 0;
  if (Status s = CompareScalars(a, b, collation, c)) return s;
  // By the operator's characters rather than its text: this runs per row.
  // The old outer joins' *= and =* match rows as = does.
  const bool two = op.size() > 1;
  switch (op[0]) {
    case '<':  // <, <>, <=
      out = !two ? c < 0 : op[1] == '>' ? c != 0 : c <= 0;
      break;
    case '>':  // >, >=
      out = !two ? c > 0 : c >= 0;
      break;
    case '!':  // !=, !>, !<
      out = op[1] == '=' ? c != 0 : op[1] == '>' ? c <= 0 : c >= 0;
      break;
    default:  // =, *=, =*
      out = c == 0;
      break;
  }
  return std::nullopt;
}

namespace {

Status EvaluateCast(const Expr& expr, const EvalScope& scope, Scalar& out) {
  Scalar in;
  if (Status s = Evaluate(*expr.args[0], scope, in)) return s;
  DeclaredType declared;
  declared.line = expr.line;
  declared.args = expr.cast_type_args;
  size_t dot = expr.cast_type_name.rfind('.');
  if (dot == std::string::npos) {
    declared.name.name = expr.cast_type_name;
  } else {
    declared.name.parts = 2;
    declared.name.owner = expr.cast_type_name.substr(0, dot);
    declared.name.name = expr.cast_type_name.substr(dot + 1);
  }
  ResolvedType type;
  TypeUse use;
  use.for_cast = true;
  if (Status s =
          ResolveType(declared, scope.exec.CurrentDatabase(), scope.exec.collation(), use, type))
    return s;
  Value v;
  if (expr.args.size() > 1) {
    // CONVERT's style: an integer expression; a NULL style gives NULL.
    Scalar style;
    if (Status s = Evaluate(*expr.args[1], scope, style)) return s;
    if (!style.is_null()) {
      if (Status s = Coerce(style, DefaultType(BaseType::kInt), style)) return s;
    }
    if (style.is_null()) {
      out = Scalar{type.type, std::monostate{}};
      return std::nullopt;
    }
    if (Status s =
            ConvertStyled(in, type.type, static_cast<int>(std::get<int64_t>(style.value)), v))
      return s;
  } else if (Status s = Convert(in, type.type, true, v)) {
    return s;
  }
  out = Scalar{type.type, std::move(v)};
  return std::nullopt;
}

}  // namespace

Scalar BoolScalar(std::optional<bool> value) {
  Scalar s{DefaultType(BaseType::kBit), std::monostate{}};
  if (value) s.value = int64_t{*value ? 1 : 0};
  return s;
}

Status CompareScalars(const Scalar& raw_a, const Scalar& raw_b, const Collation& collation,
                      int& out) {
  // The common pairs compare in place: joins, sorts and filters call this
  // once per row or more, and the general path below copies both values.
  if (!raw_a.is_null() && !raw_b.is_null()) {
    TypeFamily fa = Family(raw_a.type), fb = Family(raw_b.type);
    const auto* ia = std::get_if<int64_t>(&raw_a.value);
    const auto* ib = std::get_if<int64_t>(&raw_b.value);
    if (ia && ib && fa == TypeFamily::kInteger && fb == TypeFamily::kInteger) {
      out = *ia < *ib ? -1 : (*ia > *ib ? 1 : 0);
      return std::nullopt;
    }
    const auto* sa = std::get_if<std::string>(&raw_a.value);
    const auto* sb = std::get_if<std::string>(&raw_b.value);
    if (sa && sb && fa == fb && (fa == TypeFamily::kCharacter || fa == TypeFamily::kDateTime)) {
      // The stored datetime form "yyyy-mm-dd hh:mm:ss.mmm" sorts as text.
      out = fa == TypeFamily::kCharacter ? collation.Compare(*sa, *sb) : Sign(sa->compare(*sb));
      return std::nullopt;
    }
  }
  Scalar a = Coherent(raw_a), b = Coherent(raw_b);
  if (a.type.base == BaseType::kSqlVariant) a.type = NaturalType(a.value);
  if (b.type.base == BaseType::kSqlVariant) b.type = NaturalType(b.value);
  TypeFamily fa = Family(a.type), fb = Family(b.type);
  if (fa == TypeFamily::kText || fb == TypeFamily::kText || fa == TypeFamily::kImage ||
      fb == TypeFamily::kImage) {
    return Raise(Msg::kTextCompare);
  }
  if (fa == TypeFamily::kCharacter && fb == TypeFamily::kCharacter) {
    out = collation.Compare(std::get<std::string>(a.value), std::get<std::string>(b.value));
    return std::nullopt;
  }
  if (IsNumeric(fa) && IsNumeric(fb)) {
    if (fa == TypeFamily::kApprox || fb == TypeFamily::kApprox) {
      double x = AsDouble(a), y = AsDouble(b);
      out = x < y ? -1 : (x > y ? 1 : 0);
      return std::nullopt;
    }
    std::optional<DecimalParts> x = AsDecimal(a), y = AsDecimal(b);
    if (!x || !y)
      return Raise(Msg::kConvertError, {Info(a.type.base).name, Info(b.type.base).name});
    out = CompareDecimal(*x, *y);
    return std::nullopt;
  }
  if ((fa == TypeFamily::kBinary || fa == TypeFamily::kImage) &&
      (fb == TypeFamily::kBinary || fb == TypeFamily::kImage)) {
    out = CompareBytes(std::get<std::vector<uint8_t>>(a.value),
                       std::get<std::vector<uint8_t>>(b.value));
    return std::nullopt;
  }
  if (fa == TypeFamily::kDateTime || fb == TypeFamily::kDateTime) {
    Scalar x, y;
    DataType dt = DefaultType(BaseType::kDateTime);
    if (Status s = Coerce(a, dt, x)) return s;
    if (Status s = Coerce(b, dt, y)) return s;
    // The stored form "yyyy-mm-dd hh:mm:ss.mmm" sorts as text.
    out = Sign(std::get<std::string>(x.value).compare(std::get<std::string>(y.value)));
    return std::nullopt;
  }
  if (fa == TypeFamily::kGuid || fb == TypeFamily::kGuid) {
    Scalar x, y;
    DataType guid = DefaultType(BaseType::kUniqueIdentifier);
    if (Status s = Coerce(a, guid, x)) return s;
    if (Status s = Coerce(b, guid, y)) return s;
    out = Sign(std::get<std::string>(x.value).compare(std::get<std::string>(y.value)));
    return std::nullopt;
  }
  // Convert the operand of lower precedence, then compare like with like.
  DataType higher = HigherType(a.type, b.type);
  Scalar x, y;
  if (Status s = Coerce(a, higher, x)) return s;
  if (Status s = Coerce(b, higher, y)) return s;
  TypeFamily f = Family(higher);
  if (f == TypeFamily::kCharacter || IsNumeric(f) || f == TypeFamily::kBinary) {
    return CompareScalars(x, y, collation, out);
  }
  return Raise(Msg::kOperandClash, {Info(a.type.base).name, Info(b.type.base).name});
}

namespace {

SqlError ErrorOn(const Expr& expr, Msg msg, std::initializer_list<std::string_view> args) {
  SqlError error = Raise(msg, args);
  error.line = expr.line;
  return error;
}

// Where a column name is found in one schema.
enum class Found { kNone, kColumn, kPrefixOnly };

// Looks for `expr` among `schema`'s columns: its position, 209 when two
// tables have it, or whether only its prefix is known here.
Status FindColumn(const Expr& expr, const RowSchema& schema, const Collation& collation,
                  Found& found, int& index) {
  found = Found::kNone;
  index = -1;
  bool one_source = schema.sources.empty();
  if (!expr.qualifier.empty() && one_source &&
      !collation.Equal(expr.qualifier, schema.table_name) &&
      !collation.Equal(expr.qualifier, schema.alias)) {
    return std::nullopt;
  }
  for (size_t i = 0; i < schema.names.size(); ++i) {
    if (!expr.qualifier.empty() && !one_source) {
      if (!collation.Equal(expr.qualifier, schema.sources[i])) continue;
      found = Found::kPrefixOnly;
    }
    if (!collation.Equal(schema.names[i], expr.name)) continue;
    if (index >= 0) return ErrorOn(expr, Msg::kAmbiguousColumn, {expr.name});
    index = static_cast<int>(i);
  }
  if (index >= 0) {
    found = Found::kColumn;
  } else if (!expr.qualifier.empty() && one_source) {
    found = Found::kPrefixOnly;
  }
  return std::nullopt;
}

}  // namespace

Status BindColumns(const Expr& expr, const RowSchema* schema, const Collation& collation,
                   const OuterRow* outer) {
  if (expr.kind == ExprKind::kColumn) {
    if (!schema) return ErrorOn(expr, Msg::kColumnNotAllowedHere, {expr.name});
    Found found = Found::kNone;
    int index = -1;
    if (Status s = FindColumn(expr, *schema, collation, found, index)) return s;
    expr.outer_level = 0;
    Found first = found;
    // Not here: an enclosing query's column, nearest first.
    int level = 0;
    for (const OuterRow* o = outer; found != Found::kColumn && o; o = o->next) {
      ++level;
      if (!o->schema) continue;
      if (Status s = FindColumn(expr, *o->schema, collation, found, index)) return s;
      if (found == Found::kColumn) {
        expr.outer_level = level;
        for (const OuterRow* m = outer; m; m = m->next) {
          m->referenced = true;
          if (m == o) break;
        }
      }
      if (found != Found::kNone) break;
    }
    if (found == Found::kColumn) {
      expr.column_index = index;
      return std::nullopt;
    }
    if (first == Found::kNone && found == Found::kNone && !expr.qualifier.empty())
      return ErrorOn(expr, Msg::kColumnPrefix, {expr.qualifier});
    return ErrorOn(expr, Msg::kInvalidColumnName, {expr.name});
  }
  if (expr.subquery) {
    // The subquery binds its own columns when it runs; the operand of IN,
    // ANY and ALL belongs to this query.
    if (!expr.args.empty()) return BindColumns(*expr.args[0], schema, collation, outer);
    return std::nullopt;
  }
  for (auto& arg : expr.args) {
    if (Status s = BindColumns(*arg, schema, collation, outer)) return s;
  }
  return std::nullopt;
}

bool HasAggregate(const Expr& expr) {
  if (expr.kind == ExprKind::kFunction && expr.qualifier.empty() && IsAggregateName(expr.name))
    return true;
  for (const auto& arg : expr.args) {
    if (HasAggregate(*arg)) return true;
  }
  return false;
}

Status Test(const Expr& condition, const EvalScope& scope, bool& out) {
  Scalar result;
  if (Status s = Evaluate(condition, scope, result)) return s;
  out = Truth(result).value_or(false);
  return std::nullopt;
}

namespace {

// The warning SET ARITHABORT OFF and SET ANSI_WARNINGS OFF give in place of
// an arithmetic error, which then makes the value NULL; empty for every
// other error.
std::optional<Msg> ArithmeticWarning(const SqlError& error) {
  if (error.number == MessageNumber(Msg::kDivideByZero)) return Msg::kDivideByZeroWarning;
  if (error.number == MessageNumber(Msg::kDomainError)) return Msg::kDomainErrorWarning;
  if (error.number == MessageNumber(Msg::kArithmeticOverflowConvert) ||
      error.number == MessageNumber(Msg::kArithmeticOverflowType) ||
      error.number == MessageNumber(Msg::kArithmeticOverflowValue)) {
    return Msg::kArithmeticOverflowWarning;
  }
  return std::nullopt;
}

Status EvaluateNode(const Expr& expr, const EvalScope& scope, Scalar& out);

}  // namespace

Status Evaluate(const Expr& expr, const EvalScope& scope, Scalar& out) {
  Status status = EvaluateNode(expr, scope, out);
  const SessionOptions& options = scope.exec.session.options;
  if (!status || options.arithabort || options.ansi_warnings) return status;
  bool computes = expr.kind == ExprKind::kBinary || expr.kind == ExprKind::kNegate ||
                  expr.kind == ExprKind::kCast || expr.kind == ExprKind::kFunction;
  std::optional<Msg> warning = computes ? ArithmeticWarning(*status) : std::nullopt;
  if (!warning) return status;
  // The value is NULL, of the type the expression has.
  EvalScope typing = scope;
  typing.typing = true;
  if (Status s = EvaluateNode(expr, typing, out)) return status;
  out.value = std::monostate{};
  if (!scope.probe && !scope.typing) {
    SqlError message = Raise(*warning);
    message.line = expr.line;
    scope.exec.Inform(std::move(message));
  }
  return std::nullopt;
}

namespace {

Status EvaluateNode(const Expr& expr, const EvalScope& scope, Scalar& out) {
  switch (expr.kind) {
    case ExprKind::kLiteral:
      out = expr.literal;
      if (scope.typing) out.value = std::monostate{};
      return std::nullopt;
    case ExprKind::kColumn: {
      int i = expr.column_index;
      const RowSchema* schema = scope.schema;
      const Row* row = scope.row;
      if (expr.outer_level > 0) {
        const OuterRow* outer = scope.outer;
        for (int level = 1; outer && level < expr.outer_level; ++level) outer = outer->next;
        schema = outer ? outer->schema : nullptr;
        row = outer ? outer->row : nullptr;
      }
      if (!schema || !row || i < 0 || static_cast<size_t>(i) >= schema->types.size() ||
          static_cast<size_t>(i) >= row->size()) {
        SqlError error = Raise(Msg::kInvalidColumnName, {expr.name});
        error.line = expr.line;
        return error;
      }
      // Field by field: a value of the kind `out` holds is copied in place.
      out.type = schema->types[i];
      out.untyped = false;
      out.constant_digits = 0;
      if (scope.typing) {
        out.value = std::monostate{};
      } else {
        out.value = (*row)[i];
      }
      return std::nullopt;
    }
    case ExprKind::kVariable: {
      if (Status s = EvaluateVariable(expr, scope, out)) return s;
      if (scope.typing) out.value = std::monostate{};
      return std::nullopt;
    }
    case ExprKind::kNegate: {
      Scalar a;
      if (Status s = Evaluate(*expr.args[0], scope, a)) return s;
      return EvaluateNegate(expr.name, a, out);
    }
    case ExprKind::kBinary: {
      Scalar a, b;
      if (Status s = Evaluate(*expr.args[0], scope, a)) return s;
      if (Status s = Evaluate(*expr.args[1], scope, b)) return s;
      if (Status s = EvaluateArithmetic(expr.name, a, b, out)) return s;
      // SET CONCAT_NULL_YIELDS_NULL OFF: NULL joins character data as ''.
      if (!scope.exec.session.options.concat_null_yields_null && expr.name == "+" &&
          out.is_null() && a.is_null() != b.is_null() &&
          Family(out.type) == TypeFamily::kCharacter) {
        const Scalar& present = a.is_null() ? b : a;
        if (Family(present.type) == TypeFamily::kCharacter) out.value = present.value;
      }
      return std::nullopt;
    }
    case ExprKind::kCompare:
      return EvaluateCompare(expr, scope, out);
    case ExprKind::kAnd:
    case ExprKind::kOr: {
      bool is_and = expr.kind == ExprKind::kAnd;
      Scalar a, b;
      if (Status s = Evaluate(*expr.args[0], scope, a)) return s;
      std::optional<bool> x = Truth(a);
      if (x && *x != is_and) {
        out = BoolScalar(*x);  // FALSE AND ..., TRUE OR ...
        return std::nullopt;
      }
      if (Status s = Evaluate(*expr.args[1], scope, b)) return s;
      std::optional<bool> y = Truth(b);
      if (y && *y != is_and) {
        out = BoolScalar(*y);
      } else if (x && y) {
        out = BoolScalar(is_and);
      } else {
        out = BoolScalar(std::nullopt);
      }
      return std::nullopt;
    }
    case ExprKind::kNot: {
      Scalar a;
      if (Status s = Evaluate(*expr.args[0], scope, a)) return s;
      std::optional<bool> x = Truth(a);
      out = x ? BoolScalar(!*x) : BoolScalar(std::nullopt);
      return std::nullopt;
    }
    case ExprKind::kIsNull: {
      Scalar a;
      if (Status s = Evaluate(*expr.args[0], scope, a)) return s;
      out = BoolScalar(a.is_null() != expr.negated);
      return std::nullopt;
    }
    case ExprKind::kLike: {
      Scalar a, b;
      if (Status s = Evaluate(*expr.args[0], scope, a)) return s;
      if (Status s = Evaluate(*expr.args[1], scope, b)) return s;
      if (a.is_null() || b.is_null()) {
        out = BoolScalar(std::nullopt);
        return std::nullopt;
      }
      const Collation* collation = nullptr;
      if (Status s = OperandCollation(*expr.args[0], *expr.args[1], "like", scope, collation))
        return s;
      std::string text, pattern;
      if (Status s = AsText(a, text)) return s;
      if (Status s = AsText(b, pattern)) return s;
      out = BoolScalar(LikeMatch(text, pattern, *collation) != expr.negated);
      return std::nullopt;
    }
    case ExprKind::kIn: {
      Scalar a;
      if (Status s = Evaluate(*expr.args[0], scope, a)) return s;
      bool found = false, unknown = false;
      for (size_t i = 1; i < expr.args.size() && !found; ++i) {
        Scalar item;
        if (Status s = Evaluate(*expr.args[i], scope, item)) return s;
        if (a.is_null() || item.is_null()) {
          // a = item, with SET ANSI_NULLS OFF's rule for NULL constants.
          if (NonAnsiOperand(*expr.args[0], a, scope) ||
              NonAnsiOperand(*expr.args[i], item, scope)) {
            found = a.is_null() && item.is_null();
          } else {
            unknown = true;
          }
          continue;
        }
        const Collation* collation = nullptr;
        if (Status s = OperandCollation(*expr.args[0], *expr.args[i], "equal to", scope, collation))
          return s;
        int c = 0;
        if (Status s = CompareScalars(a, item, *collation, c)) return s;
        found = c == 0;
      }
      out = found     ? BoolScalar(!expr.negated)
            : unknown ? BoolScalar(std::nullopt)
                      : BoolScalar(expr.negated);
      return std::nullopt;
    }
    case ExprKind::kBetween: {
      Scalar a, low, high;
      if (Status s = Evaluate(*expr.args[0], scope, a)) return s;
      if (Status s = Evaluate(*expr.args[1], scope, low)) return s;
      if (Status s = Evaluate(*expr.args[2], scope, high)) return s;
      if (a.is_null() || low.is_null() || high.is_null()) {
        out = BoolScalar(std::nullopt);
        return std::nullopt;
      }
      const Collation* low_collation = nullptr;
      const Collation* high_collation = nullptr;
      if (Status s = OperandCollation(*expr.args[0], *expr.args[1], "greater than or equal to",
                                      scope, low_collation))
        return s;
      if (Status s = OperandCollation(*expr.args[0], *expr.args[2], "less than or equal to", scope,
                                      high_collation))
        return s;
      int c1 = 0, c2 = 0;
      if (Status s = CompareScalars(a, low, *low_collation, c1)) return s;
      if (Status s = CompareScalars(a, high, *high_collation, c2)) return s;
      out = BoolScalar((c1 >= 0 && c2 <= 0) != expr.negated);
      return std::nullopt;
    }
    case ExprKind::kFunction:
      return EvaluateFunction(expr, scope, out);
    case ExprKind::kCast:
      return EvaluateCast(expr, scope, out);
    case ExprKind::kCase:
      return EvaluateCase(expr, scope, out);
    case ExprKind::kDefault: {
      SqlError error = Raise(Msg::kSyntaxErrorKeyword, {"DEFAULT"});
      error.line = expr.line;
      return error;
    }
    case ExprKind::kSubquery:
    case ExprKind::kExists:
    case ExprKind::kQuantified:
      return EvaluateSubquery(expr, scope, out);
    case ExprKind::kCollate: {
      // The value is unchanged; the comparison that reads it picks the
      // collation. Only character data has one.
      if (Status s = Evaluate(*expr.args[0], scope, out)) return s;
      if (!IsCharacterLike(out.type)) {
        SqlError error = Raise(Msg::kCollateType, {TypeName(out.type)});
        error.line = expr.line;
        return error;
      }
      return std::nullopt;
    }
  }
  return Raise(Msg::kSyntaxError, {std::to_string(expr.line), expr.text});
}

}  // namespace

}  // namespace server
