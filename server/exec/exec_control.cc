// Variables, blocks, loops, jumps, WAITFOR and RAISERROR.

#include <cctype>
#include <chrono>
#include <cstdio>

#include "server/exec/cursors.h"
#include "server/exec/eval.h"
#include "server/exec/executor.h"
#include "server/exec/table_variables.h"
#include "server/exec/type_resolution.h"
#include "server/types/cell_text.h"

namespace server {

namespace {

// Loop rounds and jumps between looks at whether the client has cancelled
// (and chances for other sessions to run).
constexpr int64_t kRoundsPerPause = 1000;

Status Breathe(ExecContext& ctx) {
  if (++ctx.rounds % kRoundsPerPause != 0) return std::nullopt;
  return ctx.transactions.Pause(ctx.session, std::chrono::steady_clock::now());
}

Scalar* FindVariable(ExecContext& ctx, const std::string& name) {
  for (auto& [variable, value] : ctx.variables) {
    if (ctx.collation().Equal(variable, name)) return &value;
  }
  return nullptr;
}

Status EvaluateValue(const Expr& expr, ExecContext& ctx, Scalar& out) {
  if (Status s = BindColumns(expr, nullptr, ctx.collation())) return s;
  return Evaluate(expr, EvalScope{ctx}, out);
}

// 'hh:mm[:ss[.mmm]]' as WAITFOR DELAY takes it; false when it is not that.
bool ParseDelay(const std::string& text, std::chrono::milliseconds& out) {
  int hours = 0, minutes = 0, seconds = 0, millis = 0, used = 0;
  int fields = std::sscanf(text.c_str(), "%2d:%2d%n:%2d%n.%3d%n", &hours, &minutes, &used, &seconds,
                           &used, &millis, &used);
  if (fields < 2 || static_cast<size_t>(used) != text.size()) return false;
  if (hours > 23 || minutes > 59 || seconds > 59 || hours < 0 || minutes < 0 || seconds < 0)
    return false;
  out = std::chrono::hours(hours) + std::chrono::minutes(minutes) + std::chrono::seconds(seconds) +
        std::chrono::milliseconds(millis);
  return true;
}

// RAISERROR's message: printf's %d %i %u %o %x %X %s with flags, width
// and precision, each taking the next argument.
Status FormatMessage(const std::string& format, const std::vector<Scalar>& args, std::string& out) {
  size_t next = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      out += format[i];
      continue;
    }
    size_t start = i++;
    while (i < format.size() && std::string_view("-+0 #").find(format[i]) != std::string::npos) ++i;
    while (i < format.size() && (std::isdigit(static_cast<unsigned char>(format[i])))) ++i;
    if (i < format.size() && format[i] == '.') {
      ++i;
      while (i < format.size() && std::isdigit(static_cast<unsigned char>(format[i]))) ++i;
    }
    std::string spec = format.substr(start, i - start);
    if (i < format.size() && (format[i] == 'l' || format[i] == 'h')) ++i;
    if (i >= format.size()) break;
    char conversion = format[i];
    if (conversion == '%') {
      out += '%';
      continue;
    }
    if (std::string_view("diuoxXs").find(conversion) == std::string::npos) {
      out += format.substr(start, i - start + 1);
      continue;
    }
    size_t index = next++;
    if (index >= args.size() || args[index].is_null()) {
      out += "(null)";
      continue;
    }
    const Scalar& arg = args[index];
    bool text = Family(arg.type) == TypeFamily::kCharacter;
    bool integer = Family(arg.type) == TypeFamily::kInteger && arg.type.base != BaseType::kBigInt;
    if (conversion == 's' ? !text : !integer)
      return Raise(Msg::kRaiserrorArgumentType, {std::to_string(index + 1)});
    char buffer[512];
    if (conversion == 's') {
      std::snprintf(buffer, sizeof buffer, (spec + "s").c_str(),
                    std::get<std::string>(arg.value).c_str());
    } else {
      int64_t value = std::get<int64_t>(arg.value);
      std::string c_spec = spec + (conversion == 'd' || conversion == 'i' ? "lld" : "ll");
      if (conversion != 'd' && conversion != 'i') c_spec += conversion;
      std::snprintf(buffer, sizeof buffer, c_spec.c_str(), static_cast<long long>(value));
    }
    out += buffer;
  }
  return std::nullopt;
}

int64_t IntegerOr(const Scalar& value, int64_t fallback) {
  Value converted;
  if (value.is_null() || Convert(value, DataType{BaseType::kInt}, false, converted) ||
      !std::holds_alternative<int64_t>(converted)) {
    return fallback;
  }
  return std::get<int64_t>(converted);
}

}  // namespace

Status ExecuteDeclare(const DeclareStmt& stmt, ExecContext& ctx) {
  for (const DeclareStmt::Variable& variable : stmt.variables) {
    if (variable.table) {
      if (Status s = DeclareTableVariable(*variable.table, ctx)) return s;
      continue;
    }
    if (variable.cursor) {
      // Run again in a loop it keeps the cursor it holds.
      if (FindCursorVariable(variable.name, ctx)) continue;
      auto cursor = std::make_shared<Cursor>();
      cursor->variable = variable.name;
      cursor->allocated = false;
      cursor->scope = ctx.cursor_scope;
      ctx.session.cursors.push_back(std::move(cursor));
      continue;
    }
    // A DECLARE run again in a loop keeps the value.
    if (FindVariable(ctx, variable.name)) continue;
    ResolvedType resolved;
    if (Status s = ResolveType(variable.type, ctx.CurrentDatabase(), ctx.collation(), TypeUse{},
                               resolved)) {
      return s;
    }
    ctx.variables[variable.name] = Scalar{resolved.type, std::monostate{}};
  }
  return std::nullopt;
}

Status AssignVariable(const std::string& name, const Scalar& value, ExecContext& ctx) {
  Scalar* variable = FindVariable(ctx, name);
  if (!variable) return Raise(Msg::kMustDeclareVariable, {name});
  Value converted;
  if (Status s = Convert(value, variable->type, false, converted)) return s;
  variable->value = std::move(converted);
  return std::nullopt;
}

Status ExecuteSetVariable(const SetVariableStmt& stmt, ExecContext& ctx) {
  // Only SET @c = CURSOR ... FOR gives a cursor variable its cursor.
  if (FindCursorVariable(stmt.name, ctx))
    return Raise(Msg::kNotSupported, {"Setting a cursor variable to another cursor"});
  if (!FindVariable(ctx, stmt.name)) return Raise(Msg::kMustDeclareVariable, {stmt.name});
  Scalar value;
  if (Status s = EvaluateValue(*stmt.value, ctx, value)) return s;
  return AssignVariable(stmt.name, value, ctx);
}

Status ExecuteBlock(const BlockStmt& stmt, ExecContext& ctx) {
  return RunStatementList(stmt.statements, ctx);
}

Status ExecuteWhile(const WhileStmt& stmt, ExecContext& ctx) {
  if (Status s = BindColumns(*stmt.condition, nullptr, ctx.collation())) return s;
  for (;;) {
    bool holds = false;
    if (Status s = Test(*stmt.condition, EvalScope{ctx}, holds)) return s;
    ctx.session.last_error = 0;
    if (!holds) return std::nullopt;
    if (Status s = RunListedStatement(*stmt.body, ctx)) return s;
    switch (ctx.flow) {
      case Flow::kBreak:
        ctx.flow = Flow::kNext;
        return std::nullopt;
      case Flow::kContinue:
        ctx.flow = Flow::kNext;
        break;
      case Flow::kNext:
        break;
      case Flow::kReturn:
      case Flow::kGoto:
        return std::nullopt;
    }
    if (Status s = Breathe(ctx)) return s;
  }
}

Status ExecuteJump(const JumpStmt& stmt, ExecContext& ctx) {
  switch (stmt.kind) {
    case JumpKind::kBreak:
      ctx.flow = Flow::kBreak;
      break;
    case JumpKind::kContinue:
      ctx.flow = Flow::kContinue;
      break;
    case JumpKind::kGoto:
      if (Status s = Breathe(ctx)) return s;
      ctx.flow = Flow::kGoto;
      ctx.jump_label = stmt.label;
      break;
    case JumpKind::kReturn: {
      int64_t status = 0;
      if (stmt.value) {
        Scalar value;
        if (Status s = EvaluateValue(*stmt.value, ctx, value)) return s;
        if (ctx.function_result) {
          // A function returns any value; its caller converts it.
          *ctx.function_result = std::move(value);
          ctx.flow = Flow::kReturn;
          break;
        }
        Value converted;
        if (Status s = Convert(value, DataType{BaseType::kInt}, false, converted)) return s;
        // RETURN NULL gives 0, with a warning SQL Server also sends.
        if (std::holds_alternative<int64_t>(converted)) status = std::get<int64_t>(converted);
      }
      ctx.return_status = status;
      ctx.flow = Flow::kReturn;
      break;
    }
    case JumpKind::kLabel:
      break;
  }
  return std::nullopt;
}

Status ExecuteWaitfor(const WaitforStmt& stmt, ExecContext& ctx) {
  Scalar value;
  if (Status s = EvaluateValue(*stmt.delay, ctx, value)) return s;
  std::string text = value.is_null() ? "" : CellText(value.value);
  std::chrono::milliseconds delay{0};
  if (Family(value.type) != TypeFamily::kCharacter || !ParseDelay(text, delay))
    return Raise(Msg::kWaitforTimeSyntax, {text});
  return ctx.transactions.Pause(ctx.session, std::chrono::steady_clock::now() + delay);
}

Status ExecuteRaiserror(const RaiserrorStmt& stmt, ExecContext& ctx) {
  std::vector<Scalar> values;
  for (const ExprPtr& arg : stmt.args) {
    Scalar value;
    if (Status s = EvaluateValue(*arg, ctx, value)) return s;
    values.push_back(std::move(value));
  }
  const Scalar& message = values[0];
  if (Family(message.type) == TypeFamily::kInteger) {
    int64_t number = IntegerOr(message, 0);
    if (number < 13000) {
      return Raise(Msg::kRaiserrorNumber, {std::to_string(number), "13000", "2147483647"});
    }
    // No message is ever added to sysmessages here.
    return Raise(Msg::kRaiserrorNotFound, {std::to_string(number)});
  }
  int64_t severity = std::min<int64_t>(IntegerOr(values[1], 16), 25);
  int64_t state = IntegerOr(values[2], 1);
  if (severity > 18 && !stmt.log) return Raise(Msg::kRaiserrorSeverity, {"18"});
  if (severity >= 20) {
    return Raise(Msg::kNotSupported, {"RAISERROR with severity 20 or more, which ends the "
                                      "connection,"});
  }
  SqlError raised = Raise(Msg::kRaiserrorMessage, {""});
  raised.message.clear();
  std::string format = message.is_null() ? "" : CellText(message.value);
  std::vector<Scalar> arguments(values.begin() + 3, values.end());
  if (Status s = FormatMessage(format, arguments, raised.message)) return s;
  // SQL Server keeps the first 400 characters.
  if (raised.message.size() > 400) raised.message.resize(400);
  raised.severity = static_cast<int>(std::max<int64_t>(severity, 0));
  raised.state = static_cast<int>(state < 0 || state > 255 ? 1 : state);
  raised.line = ctx.statement_line;
  bool error = raised.severity > 10;
  ctx.session.last_error = error || stmt.seterror ? raised.number : 0;
  // WITH NOWAIT asks for the message at once; every message of a batch goes
  // out with its reply, in order, which is as soon as this server sends any.
  if (error) {
    ctx.outcome.AddError(std::move(raised), false);
  } else {
    ctx.Inform(std::move(raised));
  }
  return std::nullopt;
}

}  // namespace server
