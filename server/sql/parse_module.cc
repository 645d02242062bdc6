// CREATE VIEW, PROCEDURE, FUNCTION, TRIGGER, DEFAULT and RULE: the
// definitions SQL Server keeps as text. Procedure, trigger and function
// bodies run to the end of the batch and are parsed at once (names in them
// are resolved when they run); a schema-bound function's SELECTs are parsed
// so that the objects they name can be bound.

#include "server/sql/parser_internal.h"

namespace server {

namespace {

constexpr size_t kMaxNameParts = 2;

}  // namespace

bool Parser::ParseParameters(CreateModuleStmt& module, bool parenthesised) {
  if (parenthesised && PeekOp(")")) return true;
  if (!parenthesised && Peek().kind != TokenKind::kVariable) return true;
  do {
    ParameterDef parameter;
    if (Peek().kind != TokenKind::kVariable) return Fail();
    parameter.name = Next().value;
    AcceptWord("AS");
    if (PeekWord("CURSOR")) return NotSupported("A cursor parameter", Peek());
    if (!ParseDeclaredType(parameter.type)) return false;
    AcceptWord("VARYING");
    if (AcceptOp("=")) {
      size_t start = Position();
      ExprPtr value;
      if (!ParseUnary(value)) return false;
      parameter.has_default = true;
      parameter.default_text = StoredText(TextBetween(start, Position() - 1));
    }
    if (AcceptWord("OUTPUT") || AcceptWord("OUT")) parameter.output = true;
    module.parameters.push_back(std::move(parameter));
  } while (AcceptOp(","));
  return true;
}

bool Parser::ParseFunctionHead(CreateModuleStmt& module) {
  if (!ExpectOp("(") || !ParseParameters(module, true) || !ExpectOp(")")) return false;
  if (!ExpectWord("RETURNS")) return false;
  if (Peek().kind == TokenKind::kVariable) {
    // RETURNS @t TABLE (...): the table variable the body fills.
    module.returns_variable = Next().value;
    if (!ExpectWord("TABLE")) return false;
    auto table = std::make_shared<CreateTableStmt>();
    table->name.name = module.returns_variable;
    table->name.variable = true;
    if (!ParseTableDefinition(*table, true)) return false;
    module.returns_table = std::move(table);
    module.function_kind = FunctionKind::kTable;
  } else if (AcceptWord("TABLE")) {
    module.function_kind = FunctionKind::kInlineTable;
  } else {
    DeclaredType returns;
    if (!ParseDeclaredType(returns)) return false;
    module.returns = std::move(returns);
  }
  return true;
}

bool Parser::ParseTriggerHead(CreateModuleStmt& module) {
  if (!ExpectWord("ON") || !ParseObjectName(module.trigger_table)) return false;
  if (AcceptWord("WITH")) {
    if (!ExpectWord("ENCRYPTION")) return false;
    module.encrypted = true;
  }
  if (AcceptWord("INSTEAD")) {
    if (!ExpectWord("OF")) return false;
    module.instead_of = true;
  } else if (!AcceptWord("FOR") && !ExpectWord("AFTER")) {
    return false;
  }
  do {
    if (AcceptWord("INSERT")) {
      module.on_insert = true;
    } else if (AcceptWord("UPDATE")) {
      module.on_update = true;
    } else if (!ExpectWord("DELETE")) {
      return false;
    } else {
      module.on_delete = true;
    }
  } while (AcceptOp(","));
  if (AcceptWord("WITH") && !ExpectWord("APPEND")) return false;
  if (PeekWord("NOT") && PeekWord("FOR", 1)) {
    Next();
    Next();
    if (!ExpectWord("REPLICATION")) return false;
  }
  return true;
}

bool Parser::CollectBodySelects(CreateModuleStmt& module, size_t body_pos) {
  Rewind(body_pos);
  while (!AtEnd()) {
    if (!PeekWord("SELECT")) {
      Next();
      continue;
    }
    auto select = std::make_shared<SelectStmt>();
    if (!ParseSelect(*select)) return false;
    module.body_selects.push_back(std::move(select));
  }
  return true;
}

bool Parser::ParseModule(Statement& out, ModuleKind kind, size_t create_pos) {
  CreateModuleStmt module;
  module.kind = kind;
  module.quoted_identifier = quoted_identifier_;
  module.text = std::string(TextFrom(create_pos));
  if (!ParseObjectName(module.name)) return false;
  if (static_cast<size_t>(module.name.parts) > kMaxNameParts) return Fail(Previous());
  if (!module.name.name.empty() && module.name.name[0] == '#')
    return NotSupported("Temporary procedures, views and functions", Previous());

  if (kind == ModuleKind::kDefault || kind == ModuleKind::kRule) {
    if (!ExpectWord("AS")) return false;
    bool parsed = kind == ModuleKind::kRule ? ParseCondition(module.expression)
                                            : ParseScalar(module.expression);
    if (!parsed) return false;
    if (!AtEnd()) return Fail();
    module.expression->text = StoredText(module.expression->text);
    out.node = std::move(module);
    return true;
  }

  if (kind == ModuleKind::kView && PeekOp("(") && !ParseNameList(module.view_columns)) return false;
  if (kind == ModuleKind::kProcedure) {
    if (AcceptOp(";")) {
      int64_t number = 0;
      if (!ParseInteger(number)) return false;
      if (number != 1) return NotSupported("Numbered procedures", Previous());
    }
    bool parenthesised = AcceptOp("(");
    if (!ParseParameters(module, parenthesised)) return false;
    if (parenthesised && !ExpectOp(")")) return false;
  }
  if (kind == ModuleKind::kFunction && !ParseFunctionHead(module)) return false;
  if (kind == ModuleKind::kTrigger && !ParseTriggerHead(module)) return false;

  if (kind != ModuleKind::kTrigger && AcceptWord("WITH")) {
    do {
      if (AcceptWord("ENCRYPTION")) {
        module.encrypted = true;
      } else if (kind != ModuleKind::kProcedure && AcceptWord("SCHEMABINDING")) {
        module.schema_bound = true;
      } else if (!(kind == ModuleKind::kView && AcceptWord("VIEW_METADATA")) &&
                 !(kind == ModuleKind::kProcedure && AcceptWord("RECOMPILE"))) {
        return Fail();
      }
    } while (AcceptOp(","));
  }
  if (kind == ModuleKind::kProcedure && PeekWord("FOR") && PeekWord("REPLICATION", 1)) {
    Next();
    Next();
  }

  if (kind == ModuleKind::kView) {
    if (!ExpectWord("AS")) return false;
    module.select = std::make_unique<SelectStmt>();
    if (!ParseSelect(*module.select)) return false;
    if (PeekWord("WITH") && PeekWord("CHECK", 1)) {
      Next();
      Next();
      if (!ExpectWord("OPTION")) return false;
    }
    if (!AtEnd()) return Fail();
    out.node = std::move(module);
    return true;
  }

  // Functions may leave out AS; procedures and triggers may not.
  if (!AcceptWord("AS") && kind != ModuleKind::kFunction) return Fail();
  if (AtEnd()) return Fail();
  size_t body_pos = Position();
  module.body = std::string(TextFrom(body_pos));
  if (kind == ModuleKind::kFunction && module.schema_bound &&
      !CollectBodySelects(module, body_pos)) {
    return false;
  }
  bool inline_table =
      kind == ModuleKind::kFunction && module.function_kind == FunctionKind::kInlineTable;
  if (inline_table) {
    // RETURN [(] SELECT ... [)]: a view with parameters.
    Rewind(body_pos);
    if (!ExpectWord("RETURN")) return false;
    size_t parens = 0;
    while (AcceptOp("(")) ++parens;
    module.select = std::make_unique<SelectStmt>();
    if (!ParseSelect(*module.select)) return false;
    for (; parens > 0; --parens) {
      if (!ExpectOp(")")) return false;
    }
    if (!AtEnd()) return Fail();
    if (Status s = CheckFunctionQuery(*module.select)) return FailWith(std::move(*s));
  }
  bool function = kind == ModuleKind::kFunction && !inline_table;
  if (kind == ModuleKind::kProcedure || kind == ModuleKind::kTrigger || function) {
    // The body is checked as it is created, so that nothing is accepted
    // that could not run; names in it are resolved only when it runs.
    auto body = std::make_shared<Batch>();
    Rewind(body_pos);  // after the SELECTs a schema-bound function binds
    if (!ParseStatements(*body, false)) return false;
    // A trigger and a table function return no value.
    bool returns_value = kind != ModuleKind::kTrigger &&
                         !(kind == ModuleKind::kFunction && !module.returns_variable.empty());
    if (Status s = CheckFlow(*body, returns_value)) return FailWith(std::move(*s));
    if (function) {
      if (Status s = CheckFunctionBody(*body)) return FailWith(std::move(*s));
    }
    module.body_statements = std::move(body);
  }
  // A body nested deeper than the parser takes could never run, so it is
  // refused now, as SQL Server's compile refuses it.
  int depth = 0;
  for (; !AtEnd(); Next()) {
    if (PeekOp("(") && ++depth > kMaxParserNesting) {
      SqlError error = Raise(Msg::kNestedTooDeeply);
      error.line = Peek().line;
      return FailWith(std::move(error));
    }
    if (PeekOp(")")) --depth;
  }
  out.node = std::move(module);
  return true;
}

}  // namespace server
