// EXEC of a procedure with positional and named arguments. Arguments are
// constants, variables, DEFAULT or bare words, which T-SQL takes as
// character strings (sp_adddistributor ... @password=P).

#include "server/sql/parser_internal.h"

namespace server {

namespace {

bool IsNumber(const Token& t) {
  return t.kind == TokenKind::kInteger || t.kind == TokenKind::kDecimal ||
         t.kind == TokenKind::kFloat || t.kind == TokenKind::kMoney;
}

bool StartsArgument(const Parser& p) {
  const Token& t = p.Peek();
  switch (t.kind) {
    case TokenKind::kVariable:
    case TokenKind::kSystemVariable:
    case TokenKind::kString:
    case TokenKind::kNString:
    case TokenKind::kInteger:
    case TokenKind::kDecimal:
    case TokenKind::kFloat:
    case TokenKind::kMoney:
    case TokenKind::kBinary:
    case TokenKind::kQuotedIdentifier:
      return true;
    case TokenKind::kOperator:
      return (p.PeekOp("-") || p.PeekOp("+")) && IsNumber(p.Peek(1));
    default:
      return p.PeekWord("DEFAULT") || p.PeekWord("NULL") || p.IsName(t);
  }
}

}  // namespace

bool Parser::ParseExec(Statement& out, bool implicit) {
  if (!implicit) Next();
  ExecStmt exec;
  if (AcceptOp("(")) {
    if (!ParseScalar(exec.text) || !ExpectOp(")")) return false;
    out.node = std::move(exec);
    return true;
  }
  if (Peek().kind == TokenKind::kVariable) {
    if (!PeekOp("=", 1)) return NotSupported("EXECUTE of a procedure named by a variable", Peek());
    exec.return_variable = Next().value;
    Next();
  }
  if (!ParseObjectName(exec.procedure)) return false;
  if (AcceptOp(";")) {
    // A numbered procedure group member ("proc;2").
    int64_t number = 0;
    if (!ParseInteger(number)) return false;
    if (number != 1) return NotSupported("Numbered procedures", Previous());
  }
  if (StartsArgument(*this)) {
    // System procedures take up to about a dozen arguments: one allocation.
    exec.args.reserve(16);
    do {
      if (!ParseExecArg(exec.args.emplace_back())) return false;
    } while (AcceptOp(","));
  }
  if (PeekWord("WITH") && PeekWord("RECOMPILE", 1)) {
    Next();
    Next();
  }
  out.node = std::move(exec);
  return true;
}

bool Parser::ParseExecArg(ExecArg& out) {
  out.line = Peek().line;
  if (Peek().kind == TokenKind::kVariable && PeekOp("=", 1)) {
    out.name = Next().value;
    Next();
  }
  const Token& t = Peek();
  size_t start = Position();
  if (AcceptWord("DEFAULT")) {
    out.is_default = true;
  } else if (t.kind == TokenKind::kVariable || t.kind == TokenKind::kSystemVariable) {
    out.value = MakeExpr(ExprKind::kVariable, t.line);
    out.value->name = t.value;
    Next();
    if (!Finish(*out.value, start)) return false;
  } else if (PeekOp("-") || PeekOp("+") || PeekWord("NULL")) {
    if (!ParseUnary(out.value)) return false;
  } else if (t.kind == TokenKind::kString || t.kind == TokenKind::kNString ||
             t.kind == TokenKind::kBinary || IsNumber(t)) {
    if (!ParseLiteral(out.value)) return false;
  } else if (IsName(t)) {
    out.value = MakeExpr(ExprKind::kLiteral, t.line);
    out.value->literal = StringScalar(t.value);
    Next();
    if (!Finish(*out.value, start)) return false;
  } else {
    return Fail(t);
  }
  if (AcceptWord("OUTPUT") || AcceptWord("OUT")) {
    out.output = true;
    if (!out.value || out.value->kind != ExprKind::kVariable || out.value->name[1] == '@') {
      SqlError error = Raise(Msg::kOutputConstant);
      error.line = out.line;
      return FailWith(std::move(error));
    }
  }
  return true;
}

}  // namespace server
