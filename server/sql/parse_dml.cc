// SELECT, INSERT, UPDATE and DELETE.

#include "server/sql/parser_internal.h"
#include "server/types/collation.h"

namespace server {

namespace {

// Words that would start a feature of SELECT this server does not run.
constexpr std::string_view kUnsupportedClauses[] = {"GROUP", "HAVING", "UNION", "COMPUTE",
                                                    "FOR",   "OPTION", "INTO"};
constexpr std::string_view kJoinWords[] = {"JOIN", "INNER", "LEFT", "RIGHT",
                                           "FULL", "CROSS", "OUTER"};

// The table hints that say how a table is locked. Locks are taken on whole
// tables, so the granularity hints ask for nothing finer than what is done.
constexpr std::string_view kTableHints[] = {
    "NOLOCK",   "READUNCOMMITTED", "READCOMMITTED", "REPEATABLEREAD", "SERIALIZABLE",
    "HOLDLOCK", "UPDLOCK",         "XLOCK",         "TABLOCK",        "TABLOCKX",
    "ROWLOCK",  "PAGLOCK",         "NOEXPAND",      "FASTFIRSTROW"};

}  // namespace

bool Parser::ParseStringAlias(std::string& out) {
  const Token& t = Next();
  // A column name in quotes is still an identifier, bounded as one.
  if (t.value.size() > kMaxIdentifier) {
    SqlError error = Raise(Msg::kIdentifierTooLong, {std::string(t.value.substr(0, kMaxIdentifier)),
                                                     std::to_string(kMaxIdentifier)});
    error.line = t.line;
    return FailWith(std::move(error));
  }
  out = t.value;
  return true;
}

bool Parser::ParseTableHints(std::vector<std::string>& hints) {
  if (!ExpectOp("(")) return false;
  do {
    const Token& hint = Peek();
    if (hint.kind != TokenKind::kIdentifier) return Fail(hint);
    std::string word = ToUpper(hint.raw);
    bool known = false;
    for (std::string_view name : kTableHints) known = known || word == name;
    if (!known) return NotSupported("The table hint " + word, hint);
    Next();
    hints.push_back(std::move(word));
  } while (AcceptOp(",") || (Peek().kind == TokenKind::kIdentifier && !PeekOp(")")));
  return ExpectOp(")");
}

bool Parser::ParseSelect(SelectStmt& out) {
  if (!ExpectWord("SELECT")) return false;
  AcceptWord("ALL");
  if (PeekWord("DISTINCT")) return NotSupported("SELECT DISTINCT", Peek());
  if (AcceptWord("TOP")) {
    int64_t top = 0;
    if (!ParseInteger(top)) return false;
    if (top < 0) return Fail(Previous());
    if (PeekWord("PERCENT")) return NotSupported("TOP ... PERCENT", Peek());
    out.top = top;
  }
  do {
    SelectItem item;
    if (Peek().kind == TokenKind::kVariable && PeekOp("=", 1)) {
      item.variable = Next().value;
      Next();
      if (!ParseScalar(item.expr)) return false;
    } else if (AcceptOp("*")) {
      item.star = true;
    } else if (IsName(Peek()) && PeekOp(".", 1) && PeekOp("*", 2)) {
      item.star = true;
      item.star_qualifier = Next().value;
      Next();
      Next();
    } else if (IsName(Peek()) && PeekOp("=", 1)) {
      item.alias = Next().value;
      Next();
      if (!ParseScalar(item.expr)) return false;
    } else {
      if (!ParseScalar(item.expr)) return false;
      if (AcceptWord("AS")) {
        if (Peek().kind == TokenKind::kString) {
          if (!ParseStringAlias(item.alias)) return false;
        } else if (!ParseName(item.alias)) {
          return false;
        }
      } else if (Peek().kind == TokenKind::kString) {
        if (!ParseStringAlias(item.alias)) return false;
      } else if (IsName(Peek())) {
        item.alias = Next().value;
      }
    }
    out.items.push_back(std::move(item));
    // Stop at once: a longer list could never be sent as one result.
    if (out.items.size() > kMaxSelectItems) {
      SqlError error = Raise(Msg::kTooManySelectItems, {std::to_string(kMaxSelectItems)});
      error.line = Previous().line;
      return FailWith(std::move(error));
    }
  } while (AcceptOp(","));
  if (PeekWord("INTO")) return NotSupported("SELECT ... INTO", Peek());
  if (AcceptWord("FROM")) {
    if (PeekOp("(")) return NotSupported("Derived tables", Peek());
    TableRef from;
    if (!ParseObjectName(from.name)) return false;
    if (AcceptWord("AS")) {
      if (!ParseName(from.alias)) return false;
    } else if (IsName(Peek())) {
      from.alias = Next().value;
    }
    if (PeekWord("WITH") && PeekOp("(", 1)) {
      Next();
      if (!ParseTableHints(from.hints)) return false;
    } else if (PeekOp("(") && !ParseTableHints(from.hints)) {
      return false;
    }
    if (PeekOp(",")) return NotSupported("Joins", Peek());
    for (std::string_view word : kJoinWords) {
      if (PeekWord(word)) return NotSupported("Joins", Peek());
    }
    out.from = std::move(from);
  }
  if (AcceptWord("WHERE") && !ParseCondition(out.where)) return false;
  // FOR after a SELECT is FOR XML or FOR BROWSE, or a cursor's FOR UPDATE or
  // FOR READ ONLY, which ends the query.
  for (std::string_view word : kUnsupportedClauses) {
    if (word == "FOR" && (PeekWord("UPDATE", 1) || PeekWord("READ", 1))) break;
    if (PeekWord(word)) return NotSupported(ToUpper(Peek().raw) + " in SELECT", Peek());
  }
  if (AcceptWord("ORDER")) {
    if (!ExpectWord("BY")) return false;
    do {
      OrderItem item;
      if (!ParseScalar(item.expr)) return false;
      if (AcceptWord("DESC")) {
        item.descending = true;
      } else {
        AcceptWord("ASC");
      }
      out.order_by.push_back(std::move(item));
    } while (AcceptOp(","));
  }
  for (std::string_view word : kUnsupportedClauses) {
    if (word == "FOR" && (PeekWord("UPDATE", 1) || PeekWord("READ", 1))) break;
    if (PeekWord(word)) return NotSupported(ToUpper(Peek().raw) + " in SELECT", Peek());
  }
  return true;
}

bool Parser::ParseInsert(Statement& out) {
  Next();
  InsertStmt insert;
  AcceptWord("INTO");
  if (!ParseObjectName(insert.table)) return false;
  if (PeekOp("(")) {
    insert.has_column_list = true;
    if (!ParseNameList(insert.columns)) return false;
  }
  if (AcceptWord("VALUES")) {
    if (!ExpectOp("(")) return false;
    do {
      ExprPtr value;
      if (!ParseScalar(value)) return false;
      insert.values.push_back(std::move(value));
    } while (AcceptOp(","));
    if (!ExpectOp(")")) return false;
  } else if (PeekWord("DEFAULT") && PeekWord("VALUES", 1)) {
    if (insert.has_column_list) return Fail();
    Next();
    Next();
    insert.default_values = true;
  } else if (PeekWord("SELECT")) {
    insert.select = std::make_unique<SelectStmt>();
    if (!ParseSelect(*insert.select)) return false;
  } else if (PeekWord("EXEC") || PeekWord("EXECUTE")) {
    return NotSupported("INSERT ... EXECUTE", Peek());
  } else {
    return Fail();
  }
  out.node = std::move(insert);
  return true;
}

bool Parser::ParseUpdate(Statement& out) {
  Next();
  UpdateStmt update;
  if (!ParseObjectName(update.table) || !ExpectWord("SET")) return false;
  do {
    std::string column;
    if (Peek().kind == TokenKind::kVariable) return NotSupported("Variables", Peek());
    if (!ParseName(column)) return false;
    // A qualified column (t.col) names the updated table's column.
    while (AcceptOp(".")) {
      if (!ParseName(column)) return false;
    }
    if (!ExpectOp("=")) return false;
    ExprPtr value;
    if (!ParseScalar(value)) return false;
    update.assignments.emplace_back(std::move(column), std::move(value));
  } while (AcceptOp(","));
  if (PeekWord("FROM")) return NotSupported("UPDATE ... FROM", Peek());
  if (PeekWord("WHERE") && PeekWord("CURRENT", 1)) {
    if (!ParseCurrentOf(update.current_of)) return false;
  } else if (AcceptWord("WHERE") && !ParseCondition(update.where)) {
    return false;
  }
  out.node = std::move(update);
  return true;
}

bool Parser::ParseDelete(Statement& out) {
  Next();
  DeleteStmt del;
  AcceptWord("FROM");
  if (!ParseObjectName(del.table)) return false;
  if (PeekWord("FROM")) return NotSupported("DELETE ... FROM", Peek());
  if (PeekWord("WHERE") && PeekWord("CURRENT", 1)) {
    if (!ParseCurrentOf(del.current_of)) return false;
  } else if (AcceptWord("WHERE") && !ParseCondition(del.where)) {
    return false;
  }
  out.node = std::move(del);
  return true;
}

}  // namespace server
