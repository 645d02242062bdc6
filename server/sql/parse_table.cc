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
  if (AcceptWord("ON") && !ParseFilegroup(table.filegroup)) return false;
  if (AcceptWord("TEXTIMAGE_ON") && !ParseFilegroup(table.textimage_filegroup)) return false;
  out.node = std::move(table);
  return true;
}

// A filegroup's name after ON: PRIMARY may stand bare, though it is a
// keyword; the default filegroup is named as the delimited word "default".
bool Parser::ParseFilegroup(std::string& out) {
  if (AcceptWord("PRIMARY")) {
    out = "PRIMARY";
    return true;
  }
  return ParseName(out);
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
    column.computed = StoredText(TextBetween(start, Position() - 1));
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
    if (!variable && AcceptWord("ON") && !ParseFilegroup(constraint.filegroup)) return false;
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
    constraint.text = StoredText(TextBetween(start, Position() - 1));
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
    // Only ALTER TABLE ADD has table-level defaults: DEFAULT value FOR column.
    if (!constraint.column_level && !table_defaults_) return Fail(Previous());
    constraint.kind = ConstraintKind::kDefault;
    size_t start = Position();
    ExprPtr value;
    if (!ParseScalar(value)) return false;
    constraint.text = StoredText(TextBetween(start, Position() - 1));
    if (constraint.column_level) {
      constraint.columns.push_back(column);
    } else {
      std::string target;
      if (!ExpectWord("FOR") || !ParseName(target)) return false;
      constraint.columns.push_back(std::move(target));
    }
    if (table_defaults_ && PeekWord("WITH") && PeekWord("VALUES", 1)) {
      Next();
      Next();
      constraint.with_values = true;
    }
  } else {
    return Fail();
  }
  table.constraints.push_back(std::move(constraint));
  return true;
}

bool Parser::ParseAlterTable(Statement& out) {
  Next();
  AlterTableStmt alter;
  if (!ParseObjectName(alter.table)) return false;
  if (alter.table.parts > 3) return Fail(Previous());
  // "ALL", or a list of names: the triggers or constraints it names.
  auto names_or_all = [&]() -> bool {
    if (AcceptWord("ALL")) {
      alter.all = true;
      return true;
    }
    do {
      std::string name;
      if (!ParseName(name)) return false;
      alter.names.push_back(std::move(name));
    } while (AcceptOp(","));
    return true;
  };
  if (AcceptWord("ALTER")) {
    if (!ExpectWord("COLUMN") || !ParseName(alter.column.name)) return false;
    alter.column.line = Previous().line;
    if (PeekWord("ADD") || PeekWord("DROP")) {
      alter.action =
          PeekWord("ADD") ? AlterTableAction::kAddRowGuidCol : AlterTableAction::kDropRowGuidCol;
      Next();
      if (!ExpectWord("ROWGUIDCOL")) return false;
    } else {
      alter.action = AlterTableAction::kAlterColumn;
      DeclaredType type;
      if (!ParseDeclaredType(type)) return false;
      alter.column.type = std::move(type);
      if (AcceptWord("COLLATE") && !ParseName(alter.column.collation)) return false;
      if (AcceptWord("NULL")) {
        alter.column.nullable = true;
      } else if (PeekWord("NOT") && PeekWord("NULL", 1)) {
        Next();
        Next();
        alter.column.nullable = false;
      }
    }
  } else if (PeekWord("DROP")) {
    Next();
    alter.action = AlterTableAction::kDrop;
    do {
      AlterTableStmt::DropItem item;
      if (AcceptWord("COLUMN")) {
        item.column = true;
      } else {
        AcceptWord("CONSTRAINT");
      }
      if (!ParseName(item.name)) return false;
      alter.drops.push_back(std::move(item));
    } while (AcceptOp(","));
  } else if (PeekWord("ENABLE") || PeekWord("DISABLE")) {
    alter.action =
        PeekWord("ENABLE") ? AlterTableAction::kEnableTriggers : AlterTableAction::kDisableTriggers;
    Next();
    if (!ExpectWord("TRIGGER") || !names_or_all()) return false;
  } else {
    if (AcceptWord("WITH")) {
      if (AcceptWord("CHECK")) {
        alter.with_check = true;
      } else if (!ExpectWord("NOCHECK")) {
        return false;
      } else {
        alter.with_check = false;
      }
    }
    if (AcceptWord("ADD")) {
      alter.action = AlterTableAction::kAdd;
      alter.added.name = alter.table;
      table_defaults_ = true;
      do {
        int line = Peek().line;
        bool parsed = PeekWord("CONSTRAINT") || PeekWord("PRIMARY") || PeekWord("UNIQUE") ||
                              PeekWord("CHECK") || PeekWord("FOREIGN") || PeekWord("DEFAULT")
                          ? ParseConstraint(alter.added, "", line, false)
                          : ParseColumnDef(alter.added, false);
        if (!parsed) {
          table_defaults_ = false;
          return false;
        }
      } while (AcceptOp(","));
      table_defaults_ = false;
    } else if (PeekWord("CHECK") || PeekWord("NOCHECK")) {
      alter.action = PeekWord("CHECK") ? AlterTableAction::kCheckConstraints
                                       : AlterTableAction::kNocheckConstraints;
      Next();
      if (!ExpectWord("CONSTRAINT") || !names_or_all()) return false;
    } else {
      return Fail();
    }
  }
  out.node = std::move(alter);
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
      } else if (AcceptWord("DROP_EXISTING")) {
        index.drop_existing = true;
      } else if (!AcceptWord("PAD_INDEX") && !AcceptWord("STATISTICS_NORECOMPUTE") &&
                 !AcceptWord("SORT_IN_TEMPDB")) {
        return Fail();
      }
    } while (AcceptOp(","));
  }
  if (AcceptWord("ON") && !ParseFilegroup(index.filegroup)) return false;
  out.node = std::move(index);
  return true;
}

}  // namespace server
