// What a function's body may not do, refused as it is created: a function
// changes nothing and gives the same result for the same arguments, so it
// may not change tables (its own table variables excepted), call
// procedures, send anything to the client, control transactions or call
// built-ins whose result varies.

#include <string>

#include "server/sql/parser_internal.h"

namespace server {

namespace {

// Built-ins whose result is not fixed by their arguments.
constexpr std::string_view kVaryingFunctions[] = {"GETDATE", "GETUTCDATE", "NEWID", "RAND",
                                                  "TEXTPTR"};

SqlError InvalidUse(std::string_view what, int line) {
  SqlError error = Raise(Msg::kInvalidUseInFunction, {what});
  error.line = line;
  return error;
}

Status CheckSelect(const SelectStmt& select, int line, bool nested);

Status CheckExpr(const Expr& expr) {
  if (expr.kind == ExprKind::kFunction && expr.qualifier.empty()) {
    for (std::string_view name : kVaryingFunctions) {
      if (!EqualNoCase(expr.name, name)) continue;
      std::string lower(name);
      for (char& c : lower) c = static_cast<char>(c - 'A' + 'a');
      return InvalidUse(lower, expr.line);
    }
  }
  if (expr.subquery) {
    if (Status s = CheckSelect(*expr.subquery, expr.line, true)) return s;
  }
  for (const ExprPtr& arg : expr.args) {
    if (Status s = CheckExpr(*arg)) return s;
  }
  return std::nullopt;
}

// A temporary table belongs to the session calling, which a function's
// result may not depend on.
Status CheckFunctionFrom(const FromItem& item, int line) {
  if (item.is_join()) {
    if (Status s = CheckFunctionFrom(*item.left, line)) return s;
    return CheckFunctionFrom(*item.right, line);
  }
  if (item.derived) return CheckSelect(*item.derived, line, true);
  if (!item.table.name.name.empty() && item.table.name.name[0] == '#') {
    SqlError error = Raise(Msg::kTempTableInFunction);
    error.line = line;
    return error;
  }
  return std::nullopt;
}

Status CheckSelect(const SelectStmt& select, int line, bool nested) {
  for (const FromItem& item : select.from) {
    if (Status s = CheckFunctionFrom(item, line)) return s;
  }
  for (const SelectItem& item : select.items) {
    if (!nested && item.variable.empty()) {
      SqlError error = Raise(Msg::kFunctionSelectReturnsData);
      error.line = line;
      return error;
    }
    if (item.expr) {
      if (Status s = CheckExpr(*item.expr)) return s;
    }
  }
  if (select.where) return CheckExpr(*select.where);
  return std::nullopt;
}

Status CheckStatement(const Statement& statement);

// Whether UPDATE's or DELETE's target is a table variable: named so, or an
// alias its FROM clause gives one.
bool ChangesTableVariable(const ObjectName& target, const std::vector<FromItem>& from) {
  if (target.variable) return true;
  if (target.parts != 1) return false;
  std::vector<const FromItem*> items;
  for (const FromItem& item : from) items.push_back(&item);
  while (!items.empty()) {
    const FromItem* item = items.back();
    items.pop_back();
    if (item->is_join()) {
      items.push_back(item->left.get());
      items.push_back(item->right.get());
    } else if (item->table.name.variable && EqualNoCase(item->table.alias, target.name)) {
      return true;
    }
  }
  return false;
}

Status CheckStatements(const std::vector<Statement>& statements) {
  for (const Statement& statement : statements) {
    if (Status s = CheckStatement(statement)) return s;
  }
  return std::nullopt;
}

Status CheckStatement(const Statement& statement) {
  int line = statement.line;
  return std::visit(
      [line](const auto& node) -> Status {
        using T = std::decay_t<decltype(node)>;
        if constexpr (std::is_same_v<T, InsertStmt>) {
          if (!node.table.variable) return InvalidUse("INSERT", line);
          if (node.select) return CheckSelect(*node.select, line, true);
          for (const ExprPtr& value : node.values) {
            if (Status s = CheckExpr(*value)) return s;
          }
        }
        if constexpr (std::is_same_v<T, UpdateStmt>) {
          if (!ChangesTableVariable(node.table, node.from)) return InvalidUse("UPDATE", line);
          for (const auto& assignment : node.assignments) {
            if (Status s = CheckExpr(*assignment.second)) return s;
          }
          if (node.where) return CheckExpr(*node.where);
        }
        if constexpr (std::is_same_v<T, DeleteStmt>) {
          if (!ChangesTableVariable(node.table, node.from)) return InvalidUse("DELETE", line);
          if (node.where) return CheckExpr(*node.where);
        }
        if constexpr (std::is_same_v<T, ExecStmt>) return InvalidUse("EXECUTE", line);
        if constexpr (std::is_same_v<T, PrintStmt>) return InvalidUse("PRINT", line);
        if constexpr (std::is_same_v<T, RaiserrorStmt>) return InvalidUse("RAISERROR", line);
        if constexpr (std::is_same_v<T, WaitforStmt>) return InvalidUse("WAITFOR", line);
        if constexpr (std::is_same_v<T, UseStmt>) return InvalidUse("USE", line);
        if constexpr (std::is_same_v<T, DbccStmt>) return InvalidUse("DBCC", line);
        if constexpr (std::is_same_v<T, UpdateStatisticsStmt>)
          return InvalidUse("UPDATE STATISTICS", line);
        if constexpr (std::is_same_v<T, GrantStmt>) return InvalidUse("GRANT", line);
        if constexpr (std::is_same_v<T, TransactionStmt>) {
          constexpr const char* kWords[] = {"BEGIN TRANSACTION", "COMMIT TRANSACTION",
                                            "ROLLBACK TRANSACTION", "SAVE TRANSACTION"};
          return InvalidUse(kWords[static_cast<int>(node.action)], line);
        }
        if constexpr (std::is_same_v<T, CreateDatabaseStmt> ||
                      std::is_same_v<T, DropDatabaseStmt> || std::is_same_v<T, CreateTableStmt> ||
                      std::is_same_v<T, CreateIndexStmt> || std::is_same_v<T, CreateModuleStmt> ||
                      std::is_same_v<T, DropObjectStmt>) {
          return InvalidUse(std::is_same_v<T, DropDatabaseStmt> || std::is_same_v<T, DropObjectStmt>
                                ? "DROP"
                                : "CREATE",
                            line);
        }
        if constexpr (std::is_same_v<T, AlterTableStmt>) return InvalidUse("ALTER TABLE", line);
        if constexpr (std::is_same_v<T, SelectStmt>) return CheckSelect(node, line, false);
        if constexpr (std::is_same_v<T, SetVariableStmt>) return CheckExpr(*node.value);
        if constexpr (std::is_same_v<T, JumpStmt>) {
          if (node.value) return CheckExpr(*node.value);
        }
        if constexpr (std::is_same_v<T, BlockStmt>) return CheckStatements(node.statements);
        if constexpr (std::is_same_v<T, IfStmt>) {
          if (Status s = CheckExpr(*node.condition)) return s;
          if (Status s = CheckStatement(*node.then_branch)) return s;
          if (node.else_branch) return CheckStatement(*node.else_branch);
        }
        if constexpr (std::is_same_v<T, WhileStmt>) {
          if (Status s = CheckExpr(*node.condition)) return s;
          return CheckStatement(*node.body);
        }
        return std::nullopt;
      },
      statement.node);
}

// The statement control leaves the function by at its end: the last one,
// looking into a closing BEGIN ... END.
const Statement* LastStatement(const std::vector<Statement>& statements) {
  if (statements.empty()) return nullptr;
  const Statement& last = statements.back();
  if (const auto* block = std::get_if<BlockStmt>(&last.node))
    return LastStatement(block->statements);
  return &last;
}

}  // namespace

Status CheckFunctionQuery(const SelectStmt& select) {
  return CheckSelect(select, select.line, true);
}

Status CheckFunctionBody(const Batch& body) {
  if (Status s = CheckStatements(body.statements)) return s;
  const Statement* last = LastStatement(body.statements);
  const auto* jump = last ? std::get_if<JumpStmt>(&last->node) : nullptr;
  if (!jump || jump->kind != JumpKind::kReturn) {
    SqlError error = Raise(Msg::kFunctionMustEndWithReturn);
    error.line = last ? last->line : 1;
    return error;
  }
  return std::nullopt;
}

}  // namespace server
