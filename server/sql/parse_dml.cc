// SELECT, INSERT, UPDATE and DELETE.

#include "server/sql/parser_internal.h"
#include "server/types/collation.h"

namespace server {

namespace {

// Words that would start a feature of SELECT this server does not run.
constexpr std::string_view kUnsupportedClauses[] = {"COMPUTE", "FOR", "OPTION"};

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

bool Parser::ParseSelect(SelectStmt& out, bool into_allowed) {
  out.line = Peek().line;
  into_allowed_ = into_allowed;
  if (!ParseQuerySpecification(out)) return false;
  while (PeekWord("UNION")) {
    Next();
    UnionPart part;
    part.all = AcceptWord("ALL");
    part.query = std::make_shared<SelectStmt>();
    part.query->line = Peek().line;
    // A parenthesised query may stand in a UNION.
    size_t parens = 0;
    while (AcceptOp("(")) ++parens;
    union_part_ = true;
    if (!ParseQuerySpecification(*part.query)) return false;
    for (; parens > 0; --parens) {
      if (!ExpectOp(")")) return false;
    }
    out.unions.push_back(std::move(part));
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
  // FOR after a SELECT is FOR XML or FOR BROWSE, or a cursor's FOR UPDATE or
  // FOR READ ONLY, which ends the query.
  for (std::string_view word : kUnsupportedClauses) {
    if (word == "FOR" && (PeekWord("UPDATE", 1) || PeekWord("READ", 1))) break;
    if (PeekWord(word)) return NotSupported(ToUpper(Peek().raw) + " in SELECT", Peek());
  }
  return true;
}

bool Parser::ParseQuerySpecification(SelectStmt& out) {
  // Queries inside this one (subqueries, derived tables) may not have INTO.
  const bool into_allowed = into_allowed_, union_part = union_part_;
  into_allowed_ = union_part_ = false;
  if (!ExpectWord("SELECT")) return false;
  if (AcceptWord("DISTINCT")) {
    out.distinct = true;
  } else {
    AcceptWord("ALL");
  }
  if (AcceptWord("TOP")) {
    int64_t top = 0;
    // TOP (n) is a later form; 2000 takes a constant.
    if (!ParseInteger(top)) return false;
    if (top < 0) return Fail(Previous());
    out.top = top;
    out.top_percent = AcceptWord("PERCENT");
    if (PeekWord("WITH") && PeekWord("TIES", 1)) {
      Next();
      Next();
      out.with_ties = true;
    }
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
  // SELECT ... INTO makes a table; a table variable is declared, never made.
  if (PeekWord("INTO") && Peek(1).kind == TokenKind::kVariable) return Fail(Peek(1));
  if (PeekWord("INTO")) {
    if (union_part) {
      SqlError error = Raise(Msg::kSelectIntoNotFirst);
      error.line = Peek().line;
      return FailWith(std::move(error));
    }
    if (!into_allowed) return Fail(Peek());
    Next();
    ObjectName into;
    if (!ParseObjectName(into)) return false;
    if (into.parts > 3) return Fail(Previous());
    out.into = std::move(into);
  }
  if (AcceptWord("FROM") && !ParseFromList(out.from)) return false;
  if (AcceptWord("WHERE") && !ParseCondition(out.where)) return false;
  if (PeekWord("GROUP")) {
    Next();
    if (!ExpectWord("BY")) return false;
    out.group_all = AcceptWord("ALL");
    do {
      ExprPtr key;
      if (!ParseScalar(key)) return false;
      out.group_by.push_back(std::move(key));
    } while (AcceptOp(","));
    if (PeekWord("WITH") && (PeekWord("ROLLUP", 1) || PeekWord("CUBE", 1))) {
      Next();
      out.grouping = AcceptWord("ROLLUP") ? GroupingKind::kRollup : GroupingKind::kCube;
      if (out.grouping == GroupingKind::kCube) Next();
    }
  }
  if (AcceptWord("HAVING") && !ParseCondition(out.having)) return false;
  return true;
}

bool Parser::ParseTableSource(FromItem& out) {
  out.line = Peek().line;
  if (AcceptOp("(")) {
    if (PeekWord("SELECT")) {
      out.derived = std::make_shared<SelectStmt>();
      if (!ParseSelect(*out.derived) || !ExpectOp(")")) return false;
      // A derived table must be named.
      AcceptWord("AS");
      if (!IsName(Peek())) return Fail();
      out.table.alias = Next().value;
      return true;
    }
    // A parenthesised join.
    if (!ParseFromItem(out)) return false;
    return ExpectOp(")");
  }
  // ::fn_name(args): one of the server's own table-valued functions.
  if (AcceptOp("::")) {
    out.system_function = true;
    out.table.name = ObjectName{};
    if (!ParseName(out.table.name.name) || !PeekOp("(")) return Fail();
  } else if (!ParseTableName(out.table.name)) {
    return false;
  }
  // name(args) is a table-valued function; name (NOLOCK) a table with hints.
  if (!out.table.name.variable && PeekOp("(") && (out.system_function || !StartsTableHints())) {
    Next();
    out.function = true;
    if (!PeekOp(")")) {
      do {
        if (!ParseScalar(out.function_args.emplace_back())) return false;
      } while (AcceptOp(","));
    }
    if (!ExpectOp(")")) return false;
  }
  if (AcceptWord("AS")) {
    if (!ParseName(out.table.alias)) return false;
  } else if (IsName(Peek())) {
    out.table.alias = Next().value;
  }
  if (out.function) return true;
  if (PeekWord("WITH") && PeekOp("(", 1)) {
    Next();
    if (!ParseTableHints(out.table.hints)) return false;
  } else if (PeekOp("(") && !ParseTableHints(out.table.hints)) {
    return false;
  }
  return true;
}

bool Parser::StartsTableHints() const {
  if (!PeekOp("(")) return false;
  const Token& word = Peek(1);
  if (word.kind != TokenKind::kIdentifier) return false;
  std::string upper = ToUpper(word.raw);
  for (std::string_view name : kTableHints) {
    if (upper == name) return true;
  }
  return false;
}

bool Parser::ParseFromList(std::vector<FromItem>& out) {
  do {
    FromItem item;
    if (!ParseFromItem(item)) return false;
    out.push_back(std::move(item));
  } while (AcceptOp(","));
  return true;
}

bool Parser::ParseFromItem(FromItem& out) {
  if (!Enter()) return false;
  bool parsed = ParseTableSource(out) && ContinueJoin(out);
  Leave();
  return parsed;
}

bool Parser::PeekJoin() {
  // INNER may carry a join hint before JOIN, as the outer joins may.
  bool hinted =
      PeekWord("LOOP", 1) || PeekWord("HASH", 1) || PeekWord("MERGE", 1) || PeekWord("REMOTE", 1);
  return PeekWord("JOIN") ||
         (PeekWord("INNER") && (PeekWord("JOIN", 1) || (hinted && PeekWord("JOIN", 2)))) ||
         (PeekWord("CROSS") && PeekWord("JOIN", 1)) || PeekWord("LEFT") || PeekWord("RIGHT") ||
         PeekWord("FULL");
}

bool Parser::ContinueJoin(FromItem& out) {
  while (PeekJoin()) {
    JoinKind kind = JoinKind::kInner;
    if (AcceptWord("INNER")) {
    } else if (AcceptWord("CROSS")) {
      kind = JoinKind::kCross;
    } else if (PeekWord("LEFT") || PeekWord("RIGHT") || PeekWord("FULL")) {
      std::string word = ToUpper(Next().raw);
      kind = word == "LEFT"    ? JoinKind::kLeft
             : word == "RIGHT" ? JoinKind::kRight
                               : JoinKind::kFull;
      AcceptWord("OUTER");
    }
    // Join hints say how to join, never what.
    JoinHint hint = AcceptWord("LOOP")     ? JoinHint::kLoop
                    : AcceptWord("HASH")   ? JoinHint::kHash
                    : AcceptWord("MERGE")  ? JoinHint::kMerge
                    : AcceptWord("REMOTE") ? JoinHint::kRemote
                                           : JoinHint::kNone;
    if (!ExpectWord("JOIN")) return false;
    auto join = std::make_unique<FromItem>();
    join->line = out.line;
    join->join = kind;
    join->hint = hint;
    join->right = std::make_unique<FromItem>();
    if (!Enter()) return false;
    bool parsed = ParseTableSource(*join->right);
    // `a JOIN b JOIN c ON x ON y` joins a to (b JOIN c ON x).
    if (parsed && kind != JoinKind::kCross && PeekJoin()) parsed = ContinueJoin(*join->right);
    Leave();
    if (!parsed) return false;
    if (kind != JoinKind::kCross && (!ExpectWord("ON") || !ParseCondition(join->on))) return false;
    join->left = std::make_unique<FromItem>(std::move(out));
    out = std::move(*join);
  }
  return true;
}

bool Parser::ParseInsertBulk(InsertStmt& insert, Statement& out) {
  auto bulk = std::make_shared<InsertBulk>();
  if (!ParseTableName(insert.table) || !ExpectOp("(")) return false;
  do {
    InsertBulk::BulkColumn column;
    if (!ParseName(column.name) || !ParseDeclaredType(column.type)) return false;
    // The client's collation of its data; the column's own collation is
    // what the rows are stored under.
    if (AcceptWord("COLLATE")) {
      std::string collation;
      if (!ParseName(collation)) return false;
    }
    bulk->columns.push_back(std::move(column));
  } while (AcceptOp(","));
  if (!ExpectOp(")")) return false;
  if (AcceptWord("WITH")) {
    if (!ExpectOp("(")) return false;
    do {
      const Token& option = Peek();
      if (AcceptWord("CHECK_CONSTRAINTS")) {
        bulk->check_constraints = true;
      } else if (AcceptWord("FIRE_TRIGGERS")) {
        bulk->fire_triggers = true;
      } else if (AcceptWord("KEEP_NULLS")) {
        bulk->keep_nulls = true;
      } else if (AcceptWord("KEEPIDENTITY")) {
        bulk->keep_identity = true;
      } else if (AcceptWord("TABLOCK")) {
        // The whole batch holds the table already.
      } else if (PeekWord("ROWS_PER_BATCH") || PeekWord("KILOBYTES_PER_BATCH")) {
        // Sizes that tune how a server commits: every load here is one batch.
        Next();
        int64_t ignored = 0;
        if (!ExpectOp("=") || !ParseInteger(ignored)) return false;
      } else if (PeekWord("ORDER")) {
        return NotSupported("INSERT BULK with ORDER", option);
      } else {
        return Fail();
      }
    } while (AcceptOp(","));
    if (!ExpectOp(")")) return false;
  }
  insert.bulk = std::move(bulk);
  out.node = std::move(insert);
  return true;
}

bool Parser::ParseInsert(Statement& out) {
  Next();
  InsertStmt insert;
  // INSERT BULK is followed by a name; a table called bulk by a column
  // list or the values.
  if (PeekWord("BULK") && IsName(Peek(1))) {
    static constexpr std::string_view kNotNames[] = {"VALUES", "SELECT", "DEFAULT", "EXEC",
                                                     "EXECUTE"};
    bool name = true;
    for (std::string_view word : kNotNames) name = name && !PeekWord(word, 1);
    if (name) {
      Next();
      return ParseInsertBulk(insert, out);
    }
  }
  AcceptWord("INTO");
  if (!ParseTableName(insert.table)) return false;
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
    if (insert.table.variable) {
      SqlError error = Raise(Msg::kExecIntoTableVariable);
      error.line = Peek().line;
      return FailWith(std::move(error));
    }
    Statement exec;
    if (!ParseExec(exec, false)) return false;
    insert.exec = std::make_shared<ExecStmt>(std::move(std::get<ExecStmt>(exec.node)));
  } else {
    return Fail();
  }
  out.node = std::move(insert);
  return true;
}

bool Parser::ParseUpdate(Statement& out) {
  Next();
  UpdateStmt update;
  if (!ParseTableName(update.table) || !ExpectWord("SET")) return false;
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
  if (AcceptWord("FROM") && !ParseFromList(update.from)) return false;
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
  if (!ParseTableName(del.table)) return false;
  if (AcceptWord("FROM") && !ParseFromList(del.from)) return false;
  if (PeekWord("WHERE") && PeekWord("CURRENT", 1)) {
    if (!ParseCurrentOf(del.current_of)) return false;
  } else if (AcceptWord("WHERE") && !ParseCondition(del.where)) {
    return false;
  }
  out.node = std::move(del);
  return true;
}

}  // namespace server
