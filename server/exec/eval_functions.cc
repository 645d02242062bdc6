// Built-in functions, aggregates and global variables.

#include <algorithm>
#include <cctype>
#include <span>
#include <unordered_set>

#include "server/exec/cursors.h"
#include "server/exec/functions.h"
#include "server/exec/query.h"
#include "server/exec/temp_tables.h"
#include "server/exec/user_functions.h"
#include "server/types/collation.h"
#include "server/types/datetime.h"
#include "server/types/decimal.h"
#include "server/types/decimal_math.h"

namespace server {

namespace {

using Args = FunctionArgs;

// What @@VERSION says: the build this server answers as (LOGINACK gives
// 8.00.2039 too), for clients that read the version from the text.
constexpr char kVersionText[] =
    "Microsoft SQL Server  2000 - 8.00.2039 (Intel X86) \n\tMay  3 2005 23:18:38 \n\tCopyright "
    "(c) 1988-2003 Microsoft Corporation\n\tStandard Edition on Windows NT 5.2 (Build 3790: "
    "Service Pack 2)\n";

Scalar Text(std::string text, int length = 128) {
  return Scalar{DataType{BaseType::kNVarChar, length, 0, 0}, std::move(text)};
}

Status AsString(const Scalar& in, std::string& out) {
  if (IsCharacterLike(in.type)) {
    out = std::get<std::string>(in.value);
    return std::nullopt;
  }
  Value v;
  if (Status s = Convert(in, DataType{BaseType::kVarChar, 8000, 0, 0}, false, v)) return s;
  out = std::get<std::string>(v);
  return std::nullopt;
}

Status NewId(const Args&, const EvalScope& scope, Scalar& out) {
  out = Scalar{DefaultType(BaseType::kUniqueIdentifier), scope.exec.server.NewGuid()};
  return std::nullopt;
}

Status DbName(const Args& args, const EvalScope& scope, Scalar& out) {
  out = Text("");
  if (args.empty()) {
    out.value = scope.exec.session.database;
    return std::nullopt;
  }
  if (args[0].is_null()) {
    out.value = std::monostate{};
    return std::nullopt;
  }
  Scalar id;
  if (Status s = Coerce(args[0], DefaultType(BaseType::kInt), id)) return s;
  out.value = std::monostate{};
  for (const auto& db : scope.exec.server.databases) {
    if (db->dbid == std::get<int64_t>(id.value)) out.value = db->name;
  }
  return std::nullopt;
}

Status DbId(const Args& args, const EvalScope& scope, Scalar& out) {
  out = Scalar{DefaultType(BaseType::kSmallInt), std::monostate{}};
  std::string name = scope.exec.session.database;
  if (!args.empty()) {
    if (args[0].is_null()) return std::nullopt;
    if (Status s = AsString(args[0], name)) return s;
  }
  if (Database* db = scope.exec.server.FindDatabase(name)) out.value = int64_t{db->dbid};
  return std::nullopt;
}

Status LoginName(const Args&, const EvalScope& scope, Scalar& out) {
  out = Text(scope.exec.session.login);
  return std::nullopt;
}

// Both names come unpadded although SQL Server documents HOST_NAME as nchar;
// nvarchar(128) keeps `HOST_NAME() + 'x'` as clients see it.
Status HostName(const Args&, const EvalScope& scope, Scalar& out) {
  out = Text(scope.exec.session.host_name);
  return std::nullopt;
}

Status AppName(const Args&, const EvalScope& scope, Scalar& out) {
  out = Text(scope.exec.session.program_name);
  return std::nullopt;
}

Status DataLength(const Args& args, const EvalScope&, Scalar& out) {
  out = Scalar{DefaultType(BaseType::kInt), std::monostate{}};
  const Scalar& a = args[0];
  if (a.is_null()) return std::nullopt;
  Scalar c = Coherent(a);
  int64_t bytes = 0;
  if (const auto* text = std::get_if<std::string>(&c.value)) {
    bytes = Info(c.type.base).unicode ? 2 * static_cast<int64_t>(CharacterCount(*text))
                                      : static_cast<int64_t>(text->size());
    if (!IsCharacterLike(c.type)) bytes = StorageLength(c.type);
  } else if (const auto* raw = std::get_if<std::vector<uint8_t>>(&c.value)) {
    bytes = static_cast<int64_t>(raw->size());
  } else {
    bytes = StorageLength(c.type);
  }
  out.value = bytes;
  return std::nullopt;
}

Status IsNull(const Args& args, const EvalScope&, Scalar& out) {
  // The result has the first argument's type; the NULL constant has none.
  DataType type = args[0].untyped ? args[1].type : args[0].type;
  const Scalar& chosen = args[0].is_null() ? args[1] : args[0];
  if (chosen.is_null()) {
    out = Scalar{type, std::monostate{}, args[0].untyped && args[1].untyped};
    return std::nullopt;
  }
  return Coerce(chosen, type, out);
}

Status Coalesce(const Args& args, const EvalScope&, Scalar& out) {
  std::optional<DataType> type;
  for (const Scalar& a : args) {
    if (a.untyped) continue;
    if (type) {
      DataType common = CommonType(*type, a.type);
      if (Status s = CheckConvertible(a.type, common, false)) return s;
      if (Status s = CheckConvertible(*type, common, false)) return s;
      type = common;
    } else {
      type = a.type;
    }
  }
  for (const Scalar& a : args) {
    if (!a.is_null()) return Coerce(a, *type, out);
  }
  out = Scalar{type.value_or(DefaultType(BaseType::kInt)), std::monostate{}};
  return std::nullopt;
}

Status NullIf(const Args& args, const EvalScope& scope, Scalar& out) {
  out = args[0];
  if (args[0].is_null() || args[1].is_null()) return std::nullopt;
  int c = 0;
  if (Status s = CompareScalars(args[0], args[1], scope.exec.collation(), c)) return s;
  if (c == 0) out.value = std::monostate{};
  return std::nullopt;
}

// The functions that read the catalog or the session, and ISNULL, COALESCE
// and NULLIF; the other families have their own tables (fn_*.cc).
// clang-format off
constexpr FunctionRow kFunctions[] = {
    {"NEWID", 0, 0, NewId},
    {"DB_NAME", 0, 1, DbName},
    {"DB_ID", 0, 1, DbId},
    {"SUSER_SNAME", 0, 0, LoginName},
    {"SUSER_NAME", 0, 0, LoginName},
    {"HOST_NAME", 0, 0, HostName},
    {"APP_NAME", 0, 0, AppName},
    {"DATALENGTH", 1, 1, DataLength},
    {"ISNULL", 2, 2, IsNull},
    {"COALESCE", 2, 255, Coalesce},
    {"NULLIF", 2, 2, NullIf},
};
// clang-format on

constexpr const char* kAggregates[] = {"COUNT", "COUNT_BIG", "MIN",     "MAX",
                                       "SUM",   "AVG",       "GROUPING"};

Status EvaluateAggregate(const Expr& expr, const EvalScope& scope, Scalar& out) {
  std::string name = ToUpper(expr.name);
  if (!scope.group) {
    SqlError error = Raise(Msg::kAggregateInWhere);
    error.line = expr.line;
    return error;
  }
  // COUNT_BIG is COUNT giving bigint.
  const DataType count_type = DefaultType(name == "COUNT_BIG" ? BaseType::kBigInt : BaseType::kInt);
  if (name == "COUNT_BIG") name = "COUNT";
  if (name == "COUNT" && expr.star) {
    out = Scalar{count_type, static_cast<int64_t>(scope.group->size())};
    return std::nullopt;
  }
  if (name == "GROUPING") {
    // 1 on a ROLLUP or CUBE summary row for the column it sums over.
    const Expr* column = expr.args.size() == 1 ? expr.args[0].get() : nullptr;
    if (!column || column->kind != ExprKind::kColumn)
      return Raise(Msg::kNotSupported, {"GROUPING of anything but a GROUP BY column"});
    bool rolled = scope.rolled_up && std::find(scope.rolled_up->begin(), scope.rolled_up->end(),
                                               column->column_index) != scope.rolled_up->end();
    out = Scalar{DefaultType(BaseType::kInt), int64_t{rolled ? 1 : 0}};
    return std::nullopt;
  }
  if (expr.args.size() != 1 || expr.star) {
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return Raise(Msg::kFunctionArgumentCount, {lower, "1"});
  }
  const Expr& arg = *expr.args[0];
  // The argument's type, from a row of NULLs, gives the result's type
  // when no row has a value.
  Row nulls(scope.schema ? scope.schema->types.size() : 0);
  EvalScope row_scope = scope;
  row_scope.row = &nulls;
  row_scope.group = nullptr;
  Scalar typed;
  if (Status s = Evaluate(arg, row_scope, typed)) return s;
  TypeFamily family = Family(typed.type);
  if (name != "COUNT" && (family == TypeFamily::kText || family == TypeFamily::kImage ||
                          (name != "MIN" && name != "MAX" && family != TypeFamily::kInteger &&
                           family != TypeFamily::kExact && family != TypeFamily::kMoney &&
                           family != TypeFamily::kApprox))) {
    std::string op = name;
    for (char& c : op) c = static_cast<char>(c - 'A' + 'a');
    return Raise(Msg::kInvalidOperator, {Info(typed.type.base).name, op});
  }
  int64_t count = 0;
  Scalar acc{typed.type, std::monostate{}};
  bool exact = family == TypeFamily::kExact;
  if (name == "SUM" || name == "AVG") {
    // Sums of small integers are int, of smallmoney money, of real float,
    // and of decimal(p,s) decimal(38,s), whatever the rows hold.
    if (family == TypeFamily::kInteger && typed.type.base != BaseType::kBigInt)
      acc.type = DefaultType(BaseType::kInt);
    if (typed.type.base == BaseType::kSmallMoney) acc.type = DefaultType(BaseType::kMoney);
    if (typed.type.base == BaseType::kReal) acc.type = DefaultType(BaseType::kFloat);
    if (exact) acc.type = DataType{typed.type.base, 0, 38, typed.type.scale};
  }
  // An exact sum keeps every digit; only the total must fit decimal(38,s).
  std::optional<DecimalParts> exact_sum;
  std::unordered_set<std::string> seen;  // DISTINCT: each value once
  for (const Row* row : *scope.group) {
    row_scope.row = row;
    Scalar v;
    if (Status s = Evaluate(arg, row_scope, v)) return s;
    if (v.is_null()) {
      ExecContext& exec = scope.exec;
      if (exec.session.options.ansi_warnings && !scope.probe && !scope.typing &&
          !exec.warned_null_eliminated) {
        exec.warned_null_eliminated = true;
        SqlError warning = Raise(Msg::kNullEliminated);
        warning.line = exec.statement_line;
        exec.Inform(std::move(warning));
      }
      continue;
    }
    if (expr.distinct && !seen.insert(GroupKey(v, scope.exec.collation())).second) continue;
    ++count;
    if (name == "COUNT") continue;
    if ((name == "SUM" || name == "AVG") && exact) {
      std::optional<DecimalParts> digits = ParseDecimal(std::get<std::string>(Coherent(v).value));
      if (!digits) return Raise(Msg::kConvertError, {Info(v.type.base).name, "numeric"});
      exact_sum = exact_sum ? DecimalArithmetic(DecimalOp::kAdd, *exact_sum, *digits, 0) : digits;
      continue;
    }
    if (acc.is_null()) {
      if (name == "SUM" || name == "AVG") {
        if (Status s = Coerce(v, acc.type, acc)) return s;
      } else {
        acc = v;
      }
      continue;
    }
    if (name == "MIN" || name == "MAX") {
      int c = 0;
      if (Status s = CompareScalars(v, acc, scope.exec.collation(), c)) return s;
      if ((name == "MIN" && c < 0) || (name == "MAX" && c > 0)) acc = v;
    } else {
      // Integers add in place while the sum stays in range; the general
      // path below reports an overflow as it must.
      const auto* a = std::get_if<int64_t>(&acc.value);
      const auto* b = std::get_if<int64_t>(&v.value);
      int64_t total = 0;
      if (a && b && Family(acc.type) == TypeFamily::kInteger &&
          Family(v.type) == TypeFamily::kInteger && !__builtin_add_overflow(*a, *b, &total) &&
          IntegerInRange(total, acc.type.base)) {
        acc.value = total;
        continue;
      }
      Scalar sum;
      if (Status s = EvaluateArithmetic("+", acc, v, sum)) return s;
      if (Status s = Coerce(sum, acc.type, acc)) return s;
    }
  }
  if (name == "COUNT") {
    out = Scalar{count_type, count};
    return std::nullopt;
  }
  if (exact && (name == "SUM" || name == "AVG")) {
    // AVG of decimal(p,s) has at least six places; its quotient is cut.
    DataType type = acc.type;
    if (name == "AVG") type.scale = std::max(type.scale, 6);
    out = Scalar{type, std::monostate{}};
    if (!exact_sum) return std::nullopt;
    DecimalParts total = *exact_sum;
    if (name == "AVG") {
      total = *DecimalArithmetic(DecimalOp::kDivide, total, DecimalFromInt(count), type.scale);
    }
    std::optional<std::string> text = FormatDecimal(total, type.precision, type.scale);
    if (!text) return Raise(Msg::kArithmeticOverflowConvert, {"expression", "numeric"});
    out.value = std::move(*text);
    return std::nullopt;
  }
  if (name == "AVG" && !acc.is_null()) {
    return EvaluateArithmetic("/", acc, IntScalar(count), out);
  }
  out = acc;
  return std::nullopt;
}

// DATEADD's first argument as the parser keeps it: the word, not a value.
bool IsDatepartWord(const Expr& expr) {
  return expr.kind == ExprKind::kLiteral && !expr.name.empty();
}

const FunctionRow* FindFunction(const std::string& name) {
  for (std::span<const FunctionRow> family :
       {std::span<const FunctionRow>(kFunctions), StringFunctions(), MathFunctions(),
        DateFunctions(), SystemFunctions(), MetadataFunctions()}) {
    for (const FunctionRow& row : family) {
      if (EqualNoCase(name, row.name)) return &row;
    }
  }
  return nullptr;
}

}  // namespace

bool IsAggregateName(const std::string& name) {
  for (const char* aggregate : kAggregates) {
    if (EqualNoCase(name, aggregate)) return true;
  }
  return false;
}

Status EvaluateFunction(const Expr& expr, const EvalScope& scope, Scalar& out) {
  if (!expr.qualifier.empty()) return EvaluateUserFunction(expr, scope, out);
  if (IsTriggerFunction(expr)) return EvaluateTriggerFunction(expr, scope, out);
  if (IsAggregateName(expr.name)) return EvaluateAggregate(expr, scope, out);
  const FunctionRow* row = FindFunction(expr.name);
  if (!row) {
    SqlError error = Raise(Msg::kUnknownFunction, {expr.name});
    error.line = expr.line;
    return error;
  }
  // Messages name the function in lower case.
  std::string name = row->name;
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (expr.star || expr.args.size() < row->min_args || expr.args.size() > row->max_args) {
    SqlError error = row->min_args == row->max_args
                         ? Raise(Msg::kFunctionArgumentCount, {name, std::to_string(row->min_args)})
                         : Raise(Msg::kFunctionArgumentRange, {name, std::to_string(row->min_args),
                                                               std::to_string(row->max_args)});
    error.line = expr.line;
    return error;
  }
  // A datepart is a word (DATEADD(day, ...)), never a value.
  if (row->datepart_first && !IsDatepartWord(*expr.args[0])) {
    SqlError error = Raise(Msg::kInvalidParameter, {"1", name});
    error.line = expr.line;
    return error;
  }
  Args args;
  for (const auto& arg : expr.args) {
    Scalar value;
    if (Status s = Evaluate(*arg, scope, value)) return s;
    args.push_back(std::move(value));
  }
  if (Status s = row->handler(args, scope, out)) {
    s->line = expr.line;
    return s;
  }
  return std::nullopt;
}

Status EvaluateVariable(const Expr& expr, const EvalScope& scope, Scalar& out) {
  const std::string& name = expr.name;
  ExecContext& exec = scope.exec;
  if (name.size() > 2 && name[1] == '@') {
    std::string global = ToUpper(name);
    if (global == "@@SERVERNAME") {
      out = Text(exec.server.options.name);
    } else if (global == "@@VERSION") {
      out = Text(kVersionText, 256);
    } else if (global == "@@SPID") {
      out = IntScalar(exec.session.id, BaseType::kSmallInt);
    } else if (global == "@@ROWCOUNT") {
      out = IntScalar(exec.session.rowcount);
    } else if (global == "@@IDENTITY") {
      out = Scalar{DataType{BaseType::kNumeric, 0, 38, 0}, std::monostate{}};
      if (exec.session.identity) out.value = std::to_string(*exec.session.identity);
    } else if (global == "@@DBTS") {
      Database* db = exec.CurrentDatabase();
      uint64_t ts = db ? static_cast<uint64_t>(db->dbts) : 0;
      std::vector<uint8_t> bytes(8);
      for (int i = 7; i >= 0; --i, ts >>= 8) bytes[i] = static_cast<uint8_t>(ts & 0xff);
      out = BinaryScalar(std::move(bytes));
    } else if (global == "@@TRANCOUNT") {
      out = IntScalar(exec.session.transaction.count);
    } else if (global == "@@FETCH_STATUS") {
      out = IntScalar(exec.session.fetch_status);
    } else if (global == "@@CURSOR_ROWS") {
      out = IntScalar(CursorRows(exec.session));
    } else if (global == "@@ERROR") {
      out = IntScalar(exec.session.last_error);
    } else if (global == "@@NESTLEVEL") {
      out = IntScalar(exec.depth);
    } else if (global == "@@OPTIONS") {
      out = IntScalar(exec.session.options.Bits());
    } else if (global == "@@TEXTSIZE") {
      out = IntScalar(exec.session.options.textsize);
    } else if (global == "@@LOCK_TIMEOUT") {
      out = IntScalar(exec.session.options.lock_timeout);
    } else if (global == "@@DATEFIRST") {
      out = IntScalar(7, BaseType::kTinyInt);
    } else if (global == "@@LANGUAGE") {
      out = Text("us_english");
    } else if (global == "@@SERVICENAME") {
      out = Text("MSSQLSERVER");
    } else if (global == "@@MAX_PRECISION") {
      out = IntScalar(38, BaseType::kTinyInt);
    } else if (global == "@@MAX_CONNECTIONS") {
      // The most SQL Server allows, not the listener's own limit, which is
      // what SQL Server's documentation says this returns.
      out = IntScalar(32767);
    } else if (global == "@@PROCID") {
      out = IntScalar(exec.procid);
    } else if (global == "@@LANGID") {
      out = IntScalar(0, BaseType::kSmallInt);  // us_english
    } else if (global == "@@REMSERVER") {
      // Only a call from another server has one.
      out = Scalar{DataType{BaseType::kNVarChar, 128, 0, 0}, std::monostate{}};
    } else {
      SqlError error = Raise(Msg::kMustDeclareVariable, {name});
      error.line = expr.line;
      return error;
    }
    return std::nullopt;
  }
  for (const auto& [variable, value] : exec.variables) {
    if (exec.collation().Equal(variable, name)) {
      out = value;
      return std::nullopt;
    }
  }
  SqlError error = Raise(Msg::kMustDeclareVariable, {name});
  error.line = expr.line;
  return error;
}

}  // namespace server
