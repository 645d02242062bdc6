// CREATE TABLE with its column and table constraints, and CREATE INDEX.

#include "server/sql/parser_internal.h"
#include "server/types/collation.h"

namespace server {

namespace {

bool StartsConstraint(const Parser& p) {
  return p.PeekWord("CONSTRAINT") || p.PeekWord("PRIMARY") || p.PeekWord("UNIQUE") ||
         p.PeekWord("CHECK") || p.PeekWord("FOREIGN") || p.PeekWord("REFERENCES") ||
         p.PeekWord("DEFAULT");
}

}  // namespace

bool Parser::ParseCreateTable(Statement& out) {
  Next();
  CreateTableStmt table;
  if (!ParseObjectName(table.name)) return false;
  if (table.name.parts > 3) return Fail(Previous());
  if (!ParseTableDefinition(table, false)) return false;
  if (PeekWord("ON") || PeekWord("TEXTIMAGE_ON")) return NotSupported("Filegroups", Peek());
  out.node = std::move(table);
  return true;
}

bool Parser::ParseTableDefinition(CreateTableStmt& table, bool variable) {
  if (!ExpectOp("(")) return false;
  do {
    int line = Peek().line;
    if (StartsConstraint(*this)) {
      if (!ParseConstraint(table, "", line, variable)) return false;
    } else if (!ParseColumnDef(table, variable)) {
      return false;
    }
  } while (AcceptOp(","));
  return ExpectOp(")");
}

bool Parser::ParseTableName(ObjectName& out) {
  if (Peek().kind != TokenKind::kVariable) return ParseObjectName(out);
  out = ObjectName{};
  out.name = Next().value;
  out.variable = true;
  return true;
}

bool Parser::ParseColumnDef(CreateTableStmt& table, bool variable) {
  ColumnDef column;
  column.line = Peek().line;
  if (!ParseName(column.name)) return false;
  if (AcceptWord("AS")) {
    size_t start = Position();
    ExprPtr expr;
    if (!ParseScalar(expr)) return false;
    column.computed = std::string(TextBetween(start, Position() - 1));
  } else {
    DeclaredType type;
    if (!ParseDeclaredType(type)) return false;
    column.type = std::move(type);
  }
  while (true) {
    int line = Peek().line;
    if (AcceptWord("COLLATE")) {
      if (!ParseName(column.collation)) return false;
    } else if (AcceptWord("NULL")) {
      column.nullable = true;
    } else if (PeekWord("NOT") && PeekWord("NULL", 1)) {
      Next();
      Next();
      column.nullable = false;
    } else if (AcceptWord("IDENTITY")) {
      column.identity = true;
      if (AcceptOp("(")) {
        if (!ParseInteger(column.identity_seed) || !ExpectOp(",") ||
            !ParseInteger(column.identity_increment) || !ExpectOp(")")) {
          return false;
        }
      }
      if (PeekWord("NOT") && PeekWord("FOR", 1)) {
        Next();
        Next();
        if (!ExpectWord("REPLICATION")) return false;
      }
    } else if (AcceptWord("ROWGUIDCOL")) {
      column.rowguidcol = true;
    } else if (StartsConstraint(*this)) {
      // Column constraints refer to the column being defined.
      if (!ParseConstraint(table, column.name, line, variable)) return false;
    } else {
      break;
    }
  }
  table.columns.push_back(std::move(column));
  return true;
}

bool Parser::ParseConstraint(CreateTableStmt& table, const std::string& column, int line,
                             bool variable) {
  ConstraintDef constraint;
  constraint.line = line;
  constraint.column_level = !column.empty();
  // A table variable's constraints have no names of their own and cannot
  // refer to other tables.
  if (variable && (PeekWord("CONSTRAINT") || PeekWord("FOREIGN") || PeekWord("REFERENCES")))
    return Fail();
  if (AcceptWord("CONSTRAINT") && !ParseName(constraint.name)) return false;
  if (PeekWord("PRIMARY") || PeekWord("UNIQUE")) {
    if (AcceptWord("PRIMARY")) {
      if (!ExpectWord("KEY")) return false;
      constraint.kind = ConstraintKind::kPrimaryKey;
    } else {
      Next();
      constraint.kind = ConstraintKind::kUnique;
    }
    if (AcceptWord("CLUSTERED")) {
      constraint.clustered = true;
    } else if (AcceptWord("NONCLUSTERED")) {
      constraint.clustered = false;
    }
    if (PeekOp("(")) {
      if (!ParseNameList(constraint.columns)) return false;
    } else if (constraint.column_level) {
      constraint.columns.push_back(column);
    } else {
      return Fail();
    }
    if (AcceptWord("WITH")) {
      if (!ExpectWord("FILLFACTOR") || !ExpectOp("=")) return false;
      int64_t fill = 0;
      if (!ParseInteger(fill)) return false;
      if (fill < 0 || fill > 100) return Fail(Previous());
      constraint.fill_factor = static_cast<int>(fill);
    }
    if (PeekWord("ON")) return NotSupported("Filegroups", Peek());
  } else if (AcceptWord("CHECK")) {
    constraint.kind = ConstraintKind::kCheck;
    if (PeekWord("NOT") && PeekWord("FOR", 1)) {
      Next();
      Next();
      if (!ExpectWord("REPLICATION")) return false;
      constraint.not_for_replication = true;
    }
    if (!ExpectOp("(")) return false;
    size_t start = Position();
    ExprPtr condition;
    if (!ParseCondition(condition)) return false;
    constraint.text = std::string(TextBetween(start, Position() - 1));
    if (!ExpectOp(")")) return false;
    if (constraint.column_level) constraint.columns.push_back(column);
  } else if (PeekWord("FOREIGN") || PeekWord("REFERENCES")) {
    constraint.kind = ConstraintKind::kForeignKey;
    if (AcceptWord("FOREIGN")) {
      if (!ExpectWord("KEY")) return false;
      if (PeekOp("(")) {
        if (!ParseNameList(constraint.columns)) return false;
      } else if (!constraint.column_level) {
        return Fail();
      }
    }
    if (constraint.columns.empty()) {
      if (!constraint.column_level) return Fail();
      constraint.columns.push_back(column);
    }
    if (!ExpectWord("REFERENCES") || !ParseObjectName(constraint.ref_table)) return false;
    if (PeekOp("(") && !ParseNameList(constraint.ref_columns)) return false;
    while (PeekWord("ON")) {
      Next();
      if (!AcceptWord("DELETE") && !ExpectWord("UPDATE")) return false;
      if (PeekWord("CASCADE")) return NotSupported("Cascading referential actions", Peek());
      if (!ExpectWord("NO") || !ExpectWord("ACTION")) return false;
    }
    if (PeekWord("NOT") && PeekWord("FOR", 1)) {
      Next();
      Next();
      if (!ExpectWord("REPLICATION")) return false;
      constraint.not_for_replication = true;
    }
  } else if (AcceptWord("DEFAULT")) {
    if (!constraint.column_level) return Fail(Previous());
    constraint.kind = ConstraintKind::kDefault;
    size_t start = Position();
    ExprPtr value;
    if (!ParseScalar(value)) return false;
    constraint.text = std::string(TextBetween(start, Position() - 1));
    constraint.columns.push_back(column);
  } else {
    return Fail();
  }
  table.constraints.push_back(std::move(constraint));
  return true;
}

bool Parser::ParseCreateIndex(Statement& out) {
  CreateIndexStmt index;
  index.unique = AcceptWord("UNIQUE");
  if (AcceptWord("CLUSTERED")) {
    index.clustered = true;
  } else {
    AcceptWord("NONCLUSTERED");
  }
  if (!ExpectWord("INDEX") || !ParseName(index.name) || !ExpectWord("ON") ||
      !ParseObjectName(index.table) || !ExpectOp("(")) {
    return false;
  }
  do {
    std::string column;
    if (!ParseName(column)) return false;
    if (!AcceptWord("ASC")) AcceptWord("DESC");
    index.columns.push_back(std::move(column));
  } while (AcceptOp(","));
  if (!ExpectOp(")")) return false;
  if (AcceptWord("WITH")) {
    do {
      if (AcceptWord("FILLFACTOR")) {
        int64_t fill = 0;
        if (!ExpectOp("=") || !ParseInteger(fill)) return false;
        if (fill < 0 || fill > 100) return Fail(Previous());
        index.fill_factor = static_cast<int>(fill);
      } else if (AcceptWord("IGNORE_DUP_KEY")) {
        index.ignore_dup_key = true;
      } else if (!AcceptWord("PAD_INDEX") && !AcceptWord("DROP_EXISTING") &&
                 !AcceptWord("STATISTICS_NORECOMPUTE") && !AcceptWord("SORT_IN_TEMPDB")) {
        return Fail();
      }
    } while (AcceptOp(","));
  }
  if (PeekWord("ON")) return NotSupported("Filegroups", Peek());
  out.node = std::move(index);
  return true;
}

}  // namespace server
