// The control-of-flow language: DECLARE, SET @v, BEGIN ... END, WHILE,
// BREAK, CONTINUE, RETURN, GOTO and labels, WAITFOR and RAISERROR, and the
// checks SQL Server makes on them before a batch or procedure runs.

#include <set>

#include "server/sql/parser_internal.h"
#include "server/types/collation.h"

namespace server {

bool Parser::ParseDeclare(Statement& out) {
  Next();
  if (IsName(Peek()) &&
      (PeekWord("CURSOR", 1) || PeekWord("INSENSITIVE", 1) || PeekWord("SCROLL", 1))) {
    return ParseDeclareCursor(out);
  }
  DeclareStmt declared;
  do {
    if (Peek().kind != TokenKind::kVariable) return Fail();
    DeclareStmt::Variable variable;
    variable.name = Next().value;
    AcceptWord("AS");
    if (AcceptWord("TABLE")) {
      auto table = std::make_shared<CreateTableStmt>();
      table->name.name = variable.name;
      table->name.variable = true;
      if (!ParseTableDefinition(*table, true)) return false;
      variable.table = std::move(table);
    } else if (AcceptWord("CURSOR")) {
      variable.cursor = true;
    } else if (!ParseDeclaredType(variable.type)) {
      return false;
    }
    declared.variables.push_back(std::move(variable));
  } while (AcceptOp(","));
  out.node = std::move(declared);
  return true;
}

bool Parser::ParseSetVariable(Statement& out) {
  SetVariableStmt set;
  set.name = Next().value;
  if (!ExpectOp("=")) return false;
  if (PeekWord("CURSOR")) {
    Next();
    SetCursorStmt cursor;
    cursor.variable = std::move(set.name);
    if (!ParseCursorDefinition(cursor.definition, false, false)) return false;
    out.node = std::move(cursor);
    return true;
  }
  if (!ParseScalar(set.value)) return false;
  out.node = std::move(set);
  return true;
}

bool Parser::ParseBlock(Statement& out, bool first_statement_rule) {
  Next();
  if (!Enter()) return false;
  BlockStmt block;
  bool parsed = true;
  while (parsed && !PeekWord("END")) {
    if (AtEnd()) {
      parsed = Fail();
      break;
    }
    if (AcceptOp(";")) continue;
    Statement statement;
    statement.line = Peek().line;
    parsed = ParseStatement(statement, false, first_statement_rule);
    if (parsed) block.statements.push_back(std::move(statement));
  }
  Leave();
  if (!parsed || !ExpectWord("END")) return false;
  out.node = std::move(block);
  return true;
}

bool Parser::ParseWhile(Statement& out, bool first_statement_rule) {
  Next();
  if (!Enter()) return false;
  WhileStmt loop;
  loop.body = std::make_unique<Statement>();
  bool parsed = ParseCondition(loop.condition);
  if (parsed) {
    loop.body->line = Peek().line;
    parsed = ParseStatement(*loop.body, false, first_statement_rule);
  }
  Leave();
  if (!parsed) return false;
  out.node = std::move(loop);
  return true;
}

bool Parser::ParseJump(Statement& out) {
  JumpStmt jump;
  const Token& word = Next();
  if (IsWord(word, "BREAK")) {
    jump.kind = JumpKind::kBreak;
  } else if (IsWord(word, "CONTINUE")) {
    jump.kind = JumpKind::kContinue;
  } else if (IsWord(word, "GOTO")) {
    jump.kind = JumpKind::kGoto;
    if (!ParseName(jump.label)) return false;
  } else {
    jump.kind = JumpKind::kReturn;
    // A value follows when the next token can start one and not a statement.
    const Token& next = Peek();
    bool value = next.kind == TokenKind::kInteger || next.kind == TokenKind::kDecimal ||
                 next.kind == TokenKind::kString || next.kind == TokenKind::kVariable ||
                 next.kind == TokenKind::kSystemVariable || PeekOp("(") || PeekOp("-") ||
                 PeekOp("+") || (IsName(next) && PeekOp("(", 1));
    if (value && !ParseScalar(jump.value)) return false;
  }
  out.node = std::move(jump);
  return true;
}

bool Parser::ParseWaitfor(Statement& out) {
  Next();
  if (PeekWord("TIME")) return NotSupported("WAITFOR TIME", Peek());
  if (!ExpectWord("DELAY")) return false;
  WaitforStmt wait;
  if (!ParseScalar(wait.delay)) return false;
  out.node = std::move(wait);
  return true;
}

bool Parser::ParseRaiserror(Statement& out) {
  Next();
  RaiserrorStmt raise;
  if (!ExpectOp("(")) return false;
  do {
    ExprPtr arg;
    if (!ParseScalar(arg)) return false;
    raise.args.push_back(std::move(arg));
  } while (AcceptOp(","));
  if (!ExpectOp(")")) return false;
  if (raise.args.size() < 3) return Fail(Previous());
  if (AcceptWord("WITH")) {
    do {
      if (AcceptWord("LOG")) {
        raise.log = true;
      } else if (AcceptWord("NOWAIT")) {
        raise.nowait = true;
      } else if (AcceptWord("SETERROR")) {
        raise.seterror = true;
      } else {
        return Fail();
      }
    } while (AcceptOp(","));
  }
  out.node = std::move(raise);
  return true;
}

namespace {

// What SQL Server checks in a batch or procedure body before any of it
// runs: labels are unique and GOTO names one, variables are declared once,
// BREAK and CONTINUE are inside a WHILE, and RETURN gives a value only in a
// procedure.
class FlowChecker {
 public:
  explicit FlowChecker(bool procedure) : procedure_(procedure) {}

  Status Check(const std::vector<Statement>& statements) {
    if (Status s = Walk(statements, 0)) return s;
    for (const auto& [label, line] : gotos_) {
      if (!labels_.contains(ToUpper(label)))
        return At(Raise(Msg::kLabelNotDeclared, {label}), line);
    }
    return std::nullopt;
  }

 private:
  static SqlError At(SqlError error, int line) {
    error.line = line;
    return error;
  }

  Status Walk(const std::vector<Statement>& statements, int loops) {
    for (const Statement& statement : statements) {
      if (Status s = Visit(statement, loops)) return s;
    }
    return std::nullopt;
  }

  Status Visit(const Statement& statement, int loops) {
    const int line = statement.line;
    if (const auto* declare = std::get_if<DeclareStmt>(&statement.node)) {
      for (const DeclareStmt::Variable& variable : declare->variables) {
        if (!variables_.insert(ToUpper(variable.name)).second)
          return At(Raise(Msg::kVariableRedeclared, {variable.name}), line);
      }
    } else if (const auto* jump = std::get_if<JumpStmt>(&statement.node)) {
      switch (jump->kind) {
        case JumpKind::kBreak:
          if (loops == 0) return At(Raise(Msg::kBreakOutsideWhile), line);
          break;
        case JumpKind::kContinue:
          if (loops == 0) return At(Raise(Msg::kContinueOutsideWhile), line);
          break;
        case JumpKind::kReturn:
          if (jump->value && !procedure_) return At(Raise(Msg::kReturnValueHere), line);
          break;
        case JumpKind::kGoto:
          gotos_.emplace_back(jump->label, line);
          break;
        case JumpKind::kLabel:
          if (!labels_.insert(ToUpper(jump->label)).second)
            return At(Raise(Msg::kLabelRedeclared, {jump->label}), line);
          break;
      }
    } else if (const auto* block = std::get_if<BlockStmt>(&statement.node)) {
      return Walk(block->statements, loops);
    } else if (const auto* loop = std::get_if<WhileStmt>(&statement.node)) {
      return Visit(*loop->body, loops + 1);
    } else if (const auto* branch = std::get_if<IfStmt>(&statement.node)) {
      if (Status s = Visit(*branch->then_branch, loops)) return s;
      if (branch->else_branch) return Visit(*branch->else_branch, loops);
    }
    return std::nullopt;
  }

  bool procedure_;
  std::set<std::string> variables_;
  std::set<std::string> labels_;
  std::vector<std::pair<std::string, int>> gotos_;
};

}  // namespace

Status CheckFlow(const Batch& batch, bool procedure) {
  return FlowChecker(procedure).Check(batch.statements);
}

}  // namespace server
