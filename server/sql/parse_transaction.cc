// BEGIN TRAN, COMMIT, ROLLBACK and SAVE TRAN. BEGIN alone opens a block,
// which ParseStatement refuses before it gets here.

#include <string>

#include "base/utf.h"
#include "server/sql/parser_internal.h"

namespace server {

bool Parser::ParseTransactionName(TransactionStmt& out, bool required) {
  const Token& t = Peek();
  if (t.kind == TokenKind::kVariable) {
    out.variable = MakeExpr(ExprKind::kVariable, t.line);
    out.variable->name = t.value;
    Next();
    return true;
  }
  if (!IsName(t)) return !required || Fail();
  out.name = Next().value;
  std::string_view allowed = base::Utf8Prefix(out.name, kMaxTransactionName);
  if (allowed.size() < out.name.size()) {
    // A name written out is refused; a variable's value is cut instead.
    SqlError error = Raise(Msg::kIdentifierTooLong, {allowed, std::to_string(kMaxTransactionName)});
    error.line = t.line;
    return FailWith(std::move(error));
  }
  return true;
}

bool Parser::ParseTransaction(Statement& out) {
  const Token& first = Next();
  TransactionStmt transaction;
  bool tran_word = false;
  if (IsWord(first, "BEGIN")) {
    transaction.action = TransactionAction::kBegin;
    tran_word = true;
  } else if (IsWord(first, "COMMIT")) {
    transaction.action = TransactionAction::kCommit;
  } else if (IsWord(first, "ROLLBACK")) {
    transaction.action = TransactionAction::kRollback;
  } else {
    transaction.action = TransactionAction::kSave;
    tran_word = true;
  }
  if (AcceptWord("TRAN") || AcceptWord("TRANSACTION")) {
    bool save = transaction.action == TransactionAction::kSave;
    if (!ParseTransactionName(transaction, save)) return false;
  } else if (tran_word) {
    return Fail();
  } else {
    // COMMIT WORK and ROLLBACK WORK are the SQL-92 spellings; they take no name.
    AcceptWord("WORK");
  }
  out.node = std::move(transaction);
  return true;
}

}  // namespace server
