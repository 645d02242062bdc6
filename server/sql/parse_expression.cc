// Expressions, by T-SQL's precedence: OR, AND, NOT, predicates (comparison,
// IS NULL, LIKE, IN, BETWEEN), + - & | ^, * / %, unary - + ~, primaries.

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "server/sql/parser_internal.h"
#include "server/types/collation.h"
#include "server/types/decimal.h"

namespace server {

namespace {

bool IsComparison(const Token& t) {
  if (t.kind != TokenKind::kOperator) return false;
  static constexpr std::string_view kOps[] = {
      "=", "<>", "!=", "<", ">", "<=", ">=", "!<", "!>", "*=", "=*"};
  for (std::string_view op : kOps) {
    if (t.raw == op) return true;
  }
  return false;
}

ExprPtr Binary(ExprKind kind, std::string op, ExprPtr left, ExprPtr right) {
  ExprPtr expr = MakeExpr(kind, left->line);
  expr->name = std::move(op);
  expr->args.push_back(std::move(left));
  expr->args.push_back(std::move(right));
  return expr;
}

// The deepest expression of a subquery, so that a tree holding subqueries
// is bounded as a whole.
int SelectDepth(const SelectStmt& select);

int FromDepth(const FromItem& item) {
  int depth = 0;
  if (item.derived) depth = SelectDepth(*item.derived) + 1;
  if (item.on) depth = std::max(depth, item.on->depth);
  if (item.left) depth = std::max(depth, FromDepth(*item.left) + 1);
  if (item.right) depth = std::max(depth, FromDepth(*item.right) + 1);
  return depth;
}

int SelectDepth(const SelectStmt& select) {
  int depth = 0;
  for (const SelectItem& item : select.items) {
    if (item.expr) depth = std::max(depth, item.expr->depth);
  }
  for (const FromItem& item : select.from) depth = std::max(depth, FromDepth(item));
  for (const ExprPtr* expr : {&select.where, &select.having}) {
    if (*expr) depth = std::max(depth, (*expr)->depth);
  }
  for (const ExprPtr& key : select.group_by) depth = std::max(depth, key->depth);
  for (const UnionPart& part : select.unions) depth = std::max(depth, SelectDepth(*part.query));
  for (const OrderItem& item : select.order_by) depth = std::max(depth, item.expr->depth);
  return depth;
}

// A constant longer than varchar, nvarchar or varbinary can hold is text,
// ntext or image, as SQL Server types it; no result column then declares a
// length the protocol cannot carry.
Scalar LongAsLob(Scalar literal, BaseType lob) {
  if (literal.type.length > MaxLength(literal.type.base)) literal.type = DefaultType(lob);
  return literal;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return c - 'A' + 10;
}

}  // namespace

bool Parser::Enter() {
  if (nesting_ >= kMaxParserNesting) {
    SqlError error = Raise(Msg::kNestedTooDeeply);
    error.line = Peek().line;
    return FailWith(std::move(error));
  }
  ++nesting_;
  return true;
}

bool Parser::Finish(Expr& expr, size_t first_token) {
  expr.line = Peek(0).line;
  if (Position() > first_token) {
    expr.text = std::string(TextBetween(first_token, Position() - 1));
    expr.line = (*tokens_)[first_token].line;
  }
  expr.depth = 1;
  for (const auto& arg : expr.args) expr.depth = std::max(expr.depth, arg->depth + 1);
  if (expr.subquery) expr.depth = std::max(expr.depth, SelectDepth(*expr.subquery) + 1);
  if (expr.depth > kMaxExpressionDepth) {
    SqlError error = Raise(Msg::kNestedTooDeeply);
    error.line = expr.line;
    return FailWith(std::move(error));
  }
  return true;
}

bool IsPredicate(const Expr& expr) {
  switch (expr.kind) {
    case ExprKind::kCompare:
    case ExprKind::kAnd:
    case ExprKind::kOr:
    case ExprKind::kNot:
    case ExprKind::kIsNull:
    case ExprKind::kLike:
    case ExprKind::kIn:
    case ExprKind::kBetween:
    case ExprKind::kExists:
    case ExprKind::kQuantified:
      return true;
    case ExprKind::kFunction:
      return expr.name == "UPDATE" && expr.qualifier.empty();  // UPDATE(column), in a trigger
    default:
      return false;
  }
}

bool Parser::ParseExpr(ExprPtr& out) { return ParseOr(out); }

bool Parser::ParseSubquery(Expr& out) {
  out.subquery = std::make_shared<SelectStmt>();
  return ParseSelect(*out.subquery);
}

bool Parser::ParseScalar(ExprPtr& out) { return ParseAdditive(out); }

bool Parser::ParseCondition(ExprPtr& out) {
  if (!ParseOr(out)) return false;
  return IsPredicate(*out) || Fail();
}

bool Parser::ParseOr(ExprPtr& out) {
  size_t start = Position();
  if (!ParseAnd(out)) return false;
  while (PeekWord("OR")) {
    if (!IsPredicate(*out)) return Fail();
    Next();
    ExprPtr right;
    if (!ParseAnd(right)) return false;
    if (!IsPredicate(*right)) return Fail();
    out = Binary(ExprKind::kOr, "OR", std::move(out), std::move(right));
    if (!Finish(*out, start)) return false;
  }
  return true;
}

bool Parser::ParseAnd(ExprPtr& out) {
  size_t start = Position();
  if (!ParseNot(out)) return false;
  while (PeekWord("AND")) {
    if (!IsPredicate(*out)) return Fail();
    Next();
    ExprPtr right;
    if (!ParseNot(right)) return false;
    if (!IsPredicate(*right)) return Fail();
    out = Binary(ExprKind::kAnd, "AND", std::move(out), std::move(right));
    if (!Finish(*out, start)) return false;
  }
  return true;
}

bool Parser::ParseNot(ExprPtr& out) {
  size_t start = Position();
  if (AcceptWord("NOT")) {
    ExprPtr inner;
    if (!Enter()) return false;
    bool parsed = ParseNot(inner);
    Leave();
    if (!parsed) return false;
    if (!IsPredicate(*inner)) return Fail();
    out = MakeExpr(ExprKind::kNot, inner->line);
    out->args.push_back(std::move(inner));
    return Finish(*out, start);
  }
  if (AcceptWord("EXISTS")) {
    out = MakeExpr(ExprKind::kExists, Previous().line);
    if (!ExpectOp("(") || !ParseSubquery(*out) || !ExpectOp(")")) return false;
    return Finish(*out, start);
  }
  return ParsePredicate(out);
}

bool Parser::ParsePredicate(ExprPtr& out) {
  size_t start = Position();
  if (!ParseAdditive(out)) return false;
  if (IsComparison(Peek())) {
    std::string op(Next().raw);
    ExprPtr right;
    if (PeekWord("ALL") || PeekWord("ANY") || PeekWord("SOME")) {
      ExprPtr quantified = MakeExpr(ExprKind::kQuantified, out->line);
      quantified->name = op;
      quantified->all = EqualNoCase(Next().raw, "ALL");
      quantified->args.push_back(std::move(out));
      if (!ExpectOp("(") || !ParseSubquery(*quantified) || !ExpectOp(")")) return false;
      out = std::move(quantified);
      return Finish(*out, start);
    }
    if (!ParseAdditive(right)) return false;
    out = Binary(ExprKind::kCompare, op, std::move(out), std::move(right));
    return Finish(*out, start);
  }
  if (AcceptWord("IS")) {
    ExprPtr test = MakeExpr(ExprKind::kIsNull, out->line);
    test->negated = AcceptWord("NOT");
    if (!ExpectWord("NULL")) return false;
    test->args.push_back(std::move(out));
    out = std::move(test);
    return Finish(*out, start);
  }
  bool negated = false;
  if (PeekWord("NOT") && (PeekWord("LIKE", 1) || PeekWord("IN", 1) || PeekWord("BETWEEN", 1))) {
    Next();
    negated = true;
  }
  if (AcceptWord("LIKE")) {
    ExprPtr pattern;
    if (!ParseAdditive(pattern)) return false;
    if (PeekWord("ESCAPE")) return NotSupported("LIKE ... ESCAPE", Peek());
    out = Binary(ExprKind::kLike, "LIKE", std::move(out), std::move(pattern));
  } else if (AcceptWord("IN")) {
    ExprPtr in = MakeExpr(ExprKind::kIn, out->line);
    in->args.push_back(std::move(out));
    if (!ExpectOp("(")) return false;
    if (PeekWord("SELECT")) {
      // IN (subquery) is = ANY (subquery).
      in->kind = ExprKind::kQuantified;
      in->name = "=";
      if (!ParseSubquery(*in) || !ExpectOp(")")) return false;
      out = std::move(in);
      out->negated = negated;
      return Finish(*out, start);
    }
    do {
      ExprPtr item;
      if (!ParseScalar(item)) return false;
      in->args.push_back(std::move(item));
    } while (AcceptOp(","));
    if (!ExpectOp(")")) return false;
    out = std::move(in);
  } else if (AcceptWord("BETWEEN")) {
    ExprPtr between = MakeExpr(ExprKind::kBetween, out->line);
    between->args.push_back(std::move(out));
    ExprPtr low, high;
    if (!ParseAdditive(low) || !ExpectWord("AND") || !ParseAdditive(high)) return false;
    between->args.push_back(std::move(low));
    between->args.push_back(std::move(high));
    out = std::move(between);
  } else {
    return true;
  }
  out->negated = negated;
  return Finish(*out, start);
}

bool Parser::ParseAdditive(ExprPtr& out) {
  size_t start = Position();
  if (!ParseMultiplicative(out)) return false;
  while (PeekOp("+") || PeekOp("-") || PeekOp("&") || PeekOp("|") || PeekOp("^")) {
    std::string op(Next().raw);
    ExprPtr right;
    if (!ParseMultiplicative(right)) return false;
    out = Binary(ExprKind::kBinary, op, std::move(out), std::move(right));
    if (!Finish(*out, start)) return false;
  }
  return true;
}

bool Parser::ParseMultiplicative(ExprPtr& out) {
  size_t start = Position();
  if (!ParseUnary(out)) return false;
  while (PeekOp("*") || PeekOp("/") || PeekOp("%")) {
    std::string op(Next().raw);
    ExprPtr right;
    if (!ParseUnary(right)) return false;
    out = Binary(ExprKind::kBinary, op, std::move(out), std::move(right));
    if (!Finish(*out, start)) return false;
  }
  return true;
}

bool Parser::ParseUnary(ExprPtr& out) {
  size_t start = Position();
  if (PeekOp("-") || PeekOp("+") || PeekOp("~")) {
    std::string op(Next().raw);
    ExprPtr inner;
    if (!Enter()) return false;
    bool parsed = ParseUnary(inner);
    Leave();
    if (!parsed) return false;
    out = MakeExpr(ExprKind::kNegate, inner->line);
    out->name = op;
    out->args.push_back(std::move(inner));
    return Finish(*out, start);
  }
  if (!ParsePrimary(out)) return false;
  // COLLATE belongs to the operand just before it, tighter than any
  // operator: a + b COLLATE x collates b alone.
  while (PeekWord("COLLATE")) {
    int line = Next().line;
    std::string name;
    if (!ParseName(name)) return false;
    // Every database has the server's collation, so DATABASE_DEFAULT is
    // known here whichever database the statement runs in.
    if (!FindCollation(name, Collation(false))) {
      SqlError error = Raise(Msg::kInvalidCollation, {name});
      error.line = line;
      return FailWith(std::move(error));
    }
    ExprPtr collated = MakeExpr(ExprKind::kCollate, line);
    collated->name = name;
    collated->args.push_back(std::move(out));
    out = std::move(collated);
    if (!Finish(*out, start)) return false;
  }
  return true;
}

bool Parser::ParseLiteral(ExprPtr& out) {
  const Token& t = Peek();
  out = MakeExpr(ExprKind::kLiteral, t.line);
  switch (t.kind) {
    case TokenKind::kString:
      out->literal = LongAsLob(StringScalar(t.value), BaseType::kText);
      break;
    case TokenKind::kNString:
      out->literal = LongAsLob(StringScalar(t.value, true), BaseType::kNText);
      break;
    case TokenKind::kInteger:
    case TokenKind::kDecimal: {
      // Most numbers are short whole ones, int whatever their digits.
      if (t.kind == TokenKind::kInteger && t.raw.size() <= 9) {
        int64_t v = 0;
        for (char c : t.raw) v = v * 10 + (c - '0');
        out->literal = IntScalar(v);
        // Its own digits, without leading zeros, count where it meets decimals.
        size_t first = t.raw.find_first_not_of('0');
        out->literal.constant_digits =
            first == std::string_view::npos ? 1 : static_cast<int>(t.raw.size() - first);
        break;
      }
      std::optional<DecimalParts> parts = ParseDecimal(t.raw);
      if (!parts) return Fail(t);
      int scale = static_cast<int>(parts->fraction.size());
      int precision = static_cast<int>(parts->whole.size()) + scale;
      if (precision < 1) precision = 1;
      if (precision > 38) {
        SqlError error = Raise(Msg::kNumberOutOfRange, {t.raw});
        error.line = t.line;
        return FailWith(std::move(error));
      }
      if (t.kind == TokenKind::kInteger && parts->whole.size() <= 10) {
        int64_t v = TruncateToInt(*parts).value_or(0);
        if (v <= 2147483647) {
          out->literal = IntScalar(v);
          out->literal.constant_digits = precision;
          break;
        }
      }
      // Larger whole numbers and numbers with a point are numeric(p,s).
      out->literal = Scalar{DataType{BaseType::kNumeric, 0, precision, scale},
                            *FormatDecimal(*parts, precision, scale)};
      break;
    }
    case TokenKind::kFloat: {
      double v = std::strtod(std::string(t.raw).c_str(), nullptr);
      if (!std::isfinite(v)) {
        SqlError error = Raise(Msg::kNumberOutOfRange, {t.raw});
        error.line = t.line;
        return FailWith(std::move(error));
      }
      out->literal = FloatScalar(v);
      break;
    }
    case TokenKind::kMoney: {
      std::optional<DecimalParts> parts = ParseDecimal(t.raw.substr(1));
      std::optional<int64_t> scaled = parts ? ScaledBy10000(*parts) : std::nullopt;
      if (!scaled) {
        SqlError error = Raise(Msg::kArithmeticOverflowConvert, {"expression", "money"});
        error.line = t.line;
        return FailWith(std::move(error));
      }
      out->literal = Scalar{DefaultType(BaseType::kMoney), *FormatDecimal(*parts, 38, 4)};
      break;
    }
    case TokenKind::kBinary: {
      std::string hex(t.raw.substr(2));
      if (hex.size() % 2) hex.insert(hex.begin(), '0');
      std::vector<uint8_t> bytes;
      for (size_t i = 0; i < hex.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(HexValue(hex[i]) * 16 + HexValue(hex[i + 1])));
      }
      out->literal = LongAsLob(BinaryScalar(std::move(bytes)), BaseType::kImage);
      break;
    }
    default:
      return Fail(t);
  }
  out->text = std::string(t.raw);
  Next();
  return true;
}

bool Parser::ParseFunctionCall(ExprPtr& out, const std::string& name, size_t start) {
  out = MakeExpr(ExprKind::kFunction, Peek().line);
  out->name = name;
  if (!ExpectOp("(")) return false;
  if (AcceptOp("*")) {
    out->star = true;
  } else if (!PeekOp(")")) {
    if (AcceptWord("DISTINCT")) {
      out->distinct = true;
    } else {
      AcceptWord("ALL");
    }
    // DATEADD, DATEDIFF, DATENAME and DATEPART name their datepart with a
    // word (year, dd, ...), which is neither a column nor a value.
    static constexpr std::string_view kDatepartFunctions[] = {"DATEADD", "DATEDIFF", "DATENAME",
                                                              "DATEPART"};
    bool datepart = false;
    for (std::string_view function : kDatepartFunctions) datepart |= EqualNoCase(name, function);
    if (datepart && Peek().kind == TokenKind::kIdentifier && PeekOp(",", 1)) {
      ExprPtr word = MakeExpr(ExprKind::kLiteral, Peek().line);
      word->name = Peek().value;
      word->literal = StringScalar(Peek().value);
      word->text = std::string(Peek().raw);
      Next();
      out->args.push_back(std::move(word));
      Next();  // the comma
    }
    do {
      ExprPtr arg;
      if (!ParseScalar(arg)) return false;
      out->args.push_back(std::move(arg));
    } while (AcceptOp(","));
  }
  if (!ExpectOp(")")) return false;
  return Finish(*out, start);
}

bool Parser::ParseCase(ExprPtr& out, size_t start) {
  const Token& case_token = Next();
  if (case_nesting_ >= kMaxCaseNesting) {
    SqlError error = Raise(Msg::kCaseNestedTooDeeply, {std::to_string(kMaxCaseNesting)});
    error.line = case_token.line;
    return FailWith(std::move(error));
  }
  ++case_nesting_;
  out = MakeExpr(ExprKind::kCase, case_token.line);
  // A simple CASE compares one value with each WHEN value; a searched CASE
  // tests each WHEN condition.
  auto parse = [&]() -> bool {
    if (!PeekWord("WHEN")) {
      ExprPtr input;
      if (!ParseScalar(input)) return false;
      out->case_input = true;
      out->args.push_back(std::move(input));
    }
    if (!PeekWord("WHEN")) return Fail();
    while (AcceptWord("WHEN")) {
      ExprPtr when, then;
      if (!(out->case_input ? ParseScalar(when) : ParseCondition(when))) return false;
      if (!ExpectWord("THEN") || !ParseScalar(then)) return false;
      out->args.push_back(std::move(when));
      out->args.push_back(std::move(then));
    }
    if (AcceptWord("ELSE")) {
      ExprPtr otherwise;
      if (!ParseScalar(otherwise)) return false;
      out->case_else = true;
      out->args.push_back(std::move(otherwise));
    }
    return ExpectWord("END");
  };
  bool parsed = parse();
  --case_nesting_;
  return parsed && Finish(*out, start);
}

bool Parser::ParsePrimary(ExprPtr& out) {
  // Every construct that nests (parentheses, calls, CAST, CONVERT,
  // subqueries) comes back here, so one guard bounds them all before the
  // stack runs out.
  if (!Enter()) return false;
  bool parsed = ParseOperand(out);
  Leave();
  return parsed;
}

bool Parser::ParseOperand(ExprPtr& out) {
  size_t start = Position();
  const Token& t = Peek();
  switch (t.kind) {
    case TokenKind::kString:
    case TokenKind::kNString:
    case TokenKind::kInteger:
    case TokenKind::kDecimal:
    case TokenKind::kFloat:
    case TokenKind::kMoney:
    case TokenKind::kBinary:
      return ParseLiteral(out);
    case TokenKind::kVariable:
    case TokenKind::kSystemVariable:
      out = MakeExpr(ExprKind::kVariable, t.line);
      out->name = t.value;
      Next();
      return Finish(*out, start);
    default:
      break;
  }
  if (AcceptOp("(")) {
    bool parsed = true;
    if (PeekWord("SELECT")) {
      out = MakeExpr(ExprKind::kSubquery, t.line);
      parsed = ParseSubquery(*out);
    } else {
      parsed = ParseExpr(out);
    }
    if (!parsed || !ExpectOp(")")) return false;
    return Finish(*out, start);
  }
  if (AcceptWord("NULL")) {
    out = MakeExpr(ExprKind::kLiteral, t.line);
    out->literal = NullScalar();
    return Finish(*out, start);
  }
  if (AcceptWord("DEFAULT")) {
    out = MakeExpr(ExprKind::kDefault, t.line);
    return Finish(*out, start);
  }
  if (PeekWord("CAST") && PeekOp("(", 1)) {
    Next();
    Next();
    out = MakeExpr(ExprKind::kCast, t.line);
    ExprPtr inner;
    DeclaredType type;
    if (!ParseScalar(inner) || !ExpectWord("AS") || !ParseDeclaredType(type) || !ExpectOp(")"))
      return false;
    out->args.push_back(std::move(inner));
    out->cast_type_name = type.name.Text();
    out->cast_type_args = type.args;
    return Finish(*out, start);
  }
  if (PeekWord("CONVERT") && PeekOp("(", 1)) {
    Next();
    Next();
    out = MakeExpr(ExprKind::kCast, t.line);
    ExprPtr inner;
    DeclaredType type;
    if (!ParseDeclaredType(type) || !ExpectOp(",") || !ParseScalar(inner)) return false;
    out->args.push_back(std::move(inner));
    if (AcceptOp(",")) {
      // The style, evaluated with the value: args[1].
      ExprPtr style;
      if (!ParseScalar(style)) return false;
      out->args.push_back(std::move(style));
    }
    if (!ExpectOp(")")) return false;
    out->cast_type_name = type.name.Text();
    out->cast_type_args = type.args;
    return Finish(*out, start);
  }
  // UPDATE(column), in a trigger, names a column without reading it.
  if (PeekWord("UPDATE") && PeekOp("(", 1) && IsName(Peek(2)) && PeekOp(")", 3)) {
    out = MakeExpr(ExprKind::kFunction, t.line);
    out->name = "UPDATE";
    ExprPtr column = MakeExpr(ExprKind::kLiteral, Peek(2).line);
    column->name = Peek(2).value;
    column->literal = StringScalar(Peek(2).value);
    out->args.push_back(std::move(column));
    for (int i = 0; i < 4; ++i) Next();
    return Finish(*out, start);
  }
  // Functions whose names are reserved words (LEFT and RIGHT also join).
  if ((PeekWord("COALESCE") || PeekWord("NULLIF") || PeekWord("LEFT") || PeekWord("RIGHT")) &&
      PeekOp("(", 1)) {
    std::string name = ToUpper(Next().raw);
    return ParseFunctionCall(out, name, start);
  }
  static constexpr std::pair<std::string_view, std::string_view> kNiladic[] = {
      {"CURRENT_TIMESTAMP", "GETDATE"}, {"CURRENT_USER", "USER_NAME"},
      {"SESSION_USER", "USER_NAME"},    {"USER", "USER_NAME"},
      {"SYSTEM_USER", "SUSER_SNAME"},
  };
  for (const auto& [word, function] : kNiladic) {
    if (PeekWord(word)) {
      Next();
      out = MakeExpr(ExprKind::kFunction, t.line);
      out->name = std::string(function);
      return Finish(*out, start);
    }
  }
  if (PeekWord("CASE")) return ParseCase(out, start);
  if (!IsName(t)) return Fail(t);
  std::vector<std::string> parts;
  parts.push_back(Next().value);
  while (PeekOp(".") && parts.size() < 4) {
    Next();
    if (!IsName(Peek())) return Fail();
    parts.push_back(Next().value);
  }
  if (PeekOp("(")) {
    if (!ParseFunctionCall(out, parts.back(), start)) return false;
    if (parts.size() >= 2) out->qualifier = parts[parts.size() - 2];
    return true;
  }
  out = MakeExpr(ExprKind::kColumn, t.line);
  out->name = parts.back();
  if (parts.size() >= 2) out->qualifier = parts[parts.size() - 2];
  return Finish(*out, start);
}

}  // namespace server
