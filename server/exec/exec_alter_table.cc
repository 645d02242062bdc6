// ALTER TABLE: ALTER COLUMN (type, collation, nullability, ROWGUIDCOL), ADD
// of columns and constraints, DROP of columns and constraints, CHECK and
// NOCHECK CONSTRAINT, ENABLE and DISABLE TRIGGER. Each action works on a
// copy of the table and replaces the catalog's only once everything it
// checks has passed, so a refused ALTER changes nothing; when the rows
// change shape they are copied into a new store table under the statement's
// savepoint, and the old one goes with the batch.

#include <algorithm>
#include <functional>

#include "server/exec/constraints.h"
#include "server/exec/dml_common.h"
#include "server/exec/executor.h"
#include "server/exec/locking.h"
#include "server/exec/relation.h"
#include "server/exec/schema_binding.h"
#include "server/exec/temp_tables.h"
#include "server/exec/type_resolution.h"
#include "server/sql/parser.h"

namespace server {

// ALTER TABLE ADD's columns and constraints on a copy of a table
// (exec_create_table.cc).
Status ExtendTable(const CreateTableStmt& added, Database& db, ExecContext& ctx, const Table& from,
                   Table& out, bool& constraint_failed);

namespace {

// Reports an error that does not end the statement's list of errors: the
// dependents SQL Server names one by one before its summary error.
void ReportFirst(SqlError error, ExecContext& ctx) {
  if (error.line <= 0) error.line = ctx.statement_line;
  ctx.outcome.AddError(std::move(error), false);
}

std::string TypeWord(const DataType& type) { return Info(type.base).name; }

void CollectNames(const Expr& expr, std::vector<std::string>& names) {
  if (expr.kind == ExprKind::kColumn) names.push_back(expr.name);
  for (const auto& arg : expr.args) CollectNames(*arg, names);
}

// Whether a stored expression (a CHECK, a computed column) names `column`.
bool ExpressionUsesColumn(const std::string& text, const std::string& column,
                          const Collation& collation) {
  auto parsed = ParseExpression(text);
  if (!std::holds_alternative<ExprPtr>(parsed)) return false;
  std::vector<std::string> names;
  CollectNames(*std::get<ExprPtr>(parsed), names);
  return std::any_of(names.begin(), names.end(),
                     [&](const std::string& name) { return collation.Equal(name, column); });
}

bool ListNames(const std::vector<std::string>& list, const std::string& column,
               const Collation& collation) {
  return std::any_of(list.begin(), list.end(),
                     [&](const std::string& name) { return collation.Equal(name, column); });
}

// One object that stands in the way of changing or dropping a column.
struct Dependent {
  const char* kind;  // the %S_MSG word of 5074: "index", "object", "column"
  std::string name;
  int id = 0;  // a constraint's or module's object id
};

// What changes of a column the objects that use it allow.
struct ColumnChange {
  bool drop = false;
  bool type = false;       // another type, or another size of it
  bool widening = false;   // varchar, nvarchar or varbinary made no shorter
  bool same_base = false;  // the same type, maybe of another size
  bool nullability = false;
  bool collation = false;
};

std::vector<Dependent> DependentsOf(const Table& table, const std::string& column,
                                    const ColumnChange& change, Database& db,
                                    const Collation& collation) {
  std::vector<Dependent> out;
  bool any_change = change.drop || change.type || change.nullability || change.collation;
  if (!any_change) return out;
  for (const Index& index : table.indexes) {
    if (!ListNames(index.columns, column, collation)) continue;
    // An index allows a variable-length column to grow, and nothing else.
    bool allowed = !change.drop && !change.nullability && !change.collation &&
                   (!change.type || (change.widening && index.kind != IndexKind::kPrimaryKey));
    if (!allowed) {
      out.push_back(
          {index.kind == IndexKind::kIndex ? "index" : "object", index.name, index.constraint_id});
    }
  }
  for (const CheckConstraint& check : table.checks) {
    bool uses = collation.Equal(check.column, column) ||
                ExpressionUsesColumn(check.text, column, collation);
    if (!uses) continue;
    bool allowed = !change.drop && !change.collation &&
                   (!change.type || (change.widening && change.same_base));
    if (!allowed) out.push_back({"object", check.name, check.id});
  }
  for (const Column& other : table.columns) {
    if (other.default_name.empty() || !collation.Equal(other.name, column)) continue;
    // A default allows another size of the same type.
    if (change.drop || (change.type && !change.same_base))
      out.push_back({"object", other.default_name, other.default_id});
  }
  for (const ForeignKey& fk : table.foreign_keys) {
    if (ListNames(fk.columns, column, collation) &&
        (change.drop || change.type || change.collation))
      out.push_back({"object", fk.name, fk.id});
  }
  for (const auto& other : db.tables) {
    if (other.get() == &table) continue;
    for (const ForeignKey& fk : other->foreign_keys) {
      if (!collation.Equal(fk.ref_table, table.name) || !collation.Equal(fk.ref_owner, table.owner))
        continue;
      if (ListNames(fk.ref_columns, column, collation) &&
          (change.drop || change.type || change.collation))
        out.push_back({"object", fk.name, fk.id});
    }
  }
  for (const Column& other : table.columns) {
    if (other.is_computed() && !collation.Equal(other.name, column) &&
        ExpressionUsesColumn(other.computed, column, collation))
      out.push_back({"column", other.name});
  }
  // A schema-bound view or function holds the columns it names; a change of
  // nullability alone leaves what it reads as it was.
  if (change.drop || change.type || change.collation) {
    for (const Module& module : db.modules) {
      if (module.schema_bound && ModuleNamesColumn(module, table, column, collation))
        out.push_back({"object", module.name, module.id});
    }
  }
  // Indexes first, then the objects in the order they were made, then
  // computed columns.
  auto rank = [](const Dependent& d) {
    return std::string_view(d.kind) == "index" ? 0 : std::string_view(d.kind) == "column" ? 2 : 1;
  };
  std::stable_sort(out.begin(), out.end(), [&](const Dependent& a, const Dependent& b) {
    if (rank(a) != rank(b)) return rank(a) < rank(b);
    return rank(a) == 1 && a.id < b.id;
  });
  return out;
}

// 5074 for each dependent, then 4922.
Status RefuseForDependents(const std::vector<Dependent>& dependents, const char* statement,
                           const std::string& column, ExecContext& ctx) {
  for (const Dependent& dependent : dependents)
    ReportFirst(Raise(Msg::kDependentOnColumn, {dependent.kind, dependent.name, column}), ctx);
  return Raise(Msg::kColumnAccessed, {statement, column});
}

bool Replicated(const Database& db, const Table& table, const Collation& collation) {
  for (const Publication& publication : db.publications) {
    for (const Article& article : publication.articles) {
      if (collation.Equal(article.source_object, table.name) &&
          collation.Equal(article.source_owner, table.owner))
        return true;
    }
  }
  return false;
}

// Copies every row of `from` into a new store table for `to`, each made by
// `map`; `to` gets the new store id. The old rows go when the batch ends,
// unless the statement fails, whose savepoint takes the new ones back.
Status CopyRows(const Table& from, Table& to, ExecContext& ctx,
                const std::function<Status(const Row& in, Row& out)>& map) {
  std::vector<Row> rows;
  if (Status s = ctx.StoreOf(from).Scan(from, [&rows](RowId, Row& row) -> Status {
        rows.push_back(row);
        return std::nullopt;
      }))
    return s;
  to.store_id = ctx.server.next_store_id++;
  for (const Row& row : rows) {
    Row out;
    if (Status s = map(row, out)) return s;
    if (Status s = ctx.StoreOf(to).Insert(to, out)) return s;
  }
  return std::nullopt;
}

class TableAlter {
 public:
  TableAlter(const AlterTableStmt& stmt, Database& db, Table& table, ExecContext& ctx)
      : stmt_(stmt), db_(db), table_(table), ctx_(ctx), collation_(ctx.collation()) {}

  Status Run() {
    switch (stmt_.action) {
      case AlterTableAction::kAlterColumn:
        return AlterColumn();
      case AlterTableAction::kAddRowGuidCol:
      case AlterTableAction::kDropRowGuidCol:
        return RowGuidCol(stmt_.action == AlterTableAction::kAddRowGuidCol);
      case AlterTableAction::kAdd:
        return Add();
      case AlterTableAction::kDrop:
        return Drop();
      case AlterTableAction::kCheckConstraints:
      case AlterTableAction::kNocheckConstraints:
        return ToggleConstraints(stmt_.action == AlterTableAction::kCheckConstraints);
      case AlterTableAction::kEnableTriggers:
      case AlterTableAction::kDisableTriggers:
        return ToggleTriggers(stmt_.action == AlterTableAction::kEnableTriggers);
    }
    return std::nullopt;
  }

 private:
  Status AlterColumn() {
    const ColumnDef& def = stmt_.column;
    int at = table_.FindColumn(def.name, collation_);
    if (at < 0) return Raise(Msg::kAlterColumnMissing, {def.name, table_.name});
    const Column& old = table_.columns[at];
    ResolvedType resolved;
    TypeUse use;
    use.ordinal = at + 1;
    use.column = def.name;
    if (Status s = ResolveType(*def.type, &db_, collation_, use, resolved)) return s;
    if (resolved.type.base == BaseType::kTimestamp)
      return Raise(Msg::kAlterColumnToType, {old.name, "timestamp"});
    if (old.is_computed()) return Raise(Msg::kAlterColumnBecause, {old.name, "COMPUTED"});
    if (IsLargeObject(old.type) || old.type.base == BaseType::kTimestamp)
      return Raise(Msg::kAlterColumnBecause, {old.name, TypeWord(old.type)});
    if (old.rowguidcol) return Raise(Msg::kAlterColumnBecause, {old.name, "ROWGUIDCOL"});
    if (Replicated(db_, table_, collation_))
      return Raise(Msg::kAlterColumnBecause, {old.name, "REPLICATED"});
    Column column = old;
    column.type = resolved.type;
    column.user_type = resolved.user_type;
    // ANSI_NULL_DFLT is always on for ALTER COLUMN.
    column.nullable = def.nullable.value_or(resolved.nullable.value_or(true));
    column.collation.clear();
    if (IsCharacterLike(column.type)) {
      if (!def.collation.empty() && !FindCollation(def.collation, collation_))
        return Raise(Msg::kInvalidCollation, {def.collation});
      // Without COLLATE the column takes the database's collation again.
      column.collation = def.collation.empty() ? db_.collation : def.collation;
    } else if (!def.collation.empty()) {
      return Raise(Msg::kCollateType, {TypeWord(column.type)});
    }
    if (column.identity) {
      bool integral =
          Family(column.type) == TypeFamily::kInteger && column.type.base != BaseType::kBit;
      bool exact = Family(column.type) == TypeFamily::kExact && column.type.scale == 0;
      if ((!integral && !exact) || column.nullable) return Raise(Msg::kIdentityType, {old.name});
    }
    ColumnChange change;
    change.type = !(column.type == old.type);
    change.same_base = column.type.base == old.type.base;
    bool variable = old.type.base == BaseType::kVarChar || old.type.base == BaseType::kNVarChar ||
                    old.type.base == BaseType::kVarBinary;
    change.widening = change.same_base && variable && column.type.length >= old.type.length;
    change.nullability = column.nullable != old.nullable;
    change.collation = !collation_.Equal(column.collation, old.collation);
    std::vector<Dependent> dependents = DependentsOf(table_, old.name, change, db_, collation_);
    if (!dependents.empty())
      return RefuseForDependents(dependents, "ALTER TABLE ALTER COLUMN", old.name, ctx_);

    Table altered = table_;
    altered.columns[at] = column;
    const DataType from_type = old.type;
    const std::string name = old.name;
    const std::string table_name = QualifiedName(db_, table_);
    const bool ansi_warnings = ctx_.session.options.ansi_warnings;
    if (Status s = CopyRows(table_, altered, ctx_, [&](const Row& in, Row& out) -> Status {
          out = in;
          Value& value = out[at];
          if (std::holds_alternative<std::monostate>(value)) {
            if (!column.nullable) return Raise(Msg::kNullNotAllowed, {name, table_name, "UPDATE"});
            return std::nullopt;
          }
          Value converted;
          if (Status s =
                  ConvertForStore(Scalar{from_type, value}, column.type, ansi_warnings, converted))
            return s;
          value = std::move(converted);
          return std::nullopt;
        }))
      return s;
    table_ = std::move(altered);
    return std::nullopt;
  }

  Status RowGuidCol(bool add) {
    int at = table_.FindColumn(stmt_.column.name, collation_);
    if (at < 0) return Raise(Msg::kAlterColumnMissing, {stmt_.column.name, table_.name});
    Column& column = table_.columns[at];
    if (add) {
      for (const Column& other : table_.columns) {
        if (other.rowguidcol) return Raise(Msg::kAddRowGuidColExists, {table_.name});
      }
      if (column.type.base != BaseType::kUniqueIdentifier)
        return Raise(Msg::kNotSupported, {"ROWGUIDCOL on a column that is not uniqueidentifier"});
      column.rowguidcol = true;
    } else {
      if (!column.rowguidcol) return Raise(Msg::kDropRowGuidColMissing, {table_.name});
      column.rowguidcol = false;
    }
    return std::nullopt;
  }

  Status Add() {
    const CreateTableStmt& added = stmt_.added;
    // A new column that allows no NULLs needs a default for the rows there
    // are (SQL Server asks it whatever the table holds).
    for (const ColumnDef& def : added.columns) {
      if (!def.type || def.identity || def.nullable.value_or(true)) continue;
      bool has_default = false;
      for (const ConstraintDef& constraint : added.constraints) {
        has_default = has_default || (constraint.kind == ConstraintKind::kDefault &&
                                      collation_.Equal(constraint.columns[0], def.name));
      }
      bool timestamp = EqualNoCase(def.type->name.name, "timestamp");
      if (!has_default && !timestamp) return Raise(Msg::kAddColumnNotNull, {def.name, table_.name});
    }
    Table extended;
    bool constraint_failed = false;
    if (Status s = ExtendTable(added, db_, ctx_, table_, extended, constraint_failed)) {
      if (!constraint_failed) return s;
      ReportFirst(std::move(*s), ctx_);
      return Raise(Msg::kCouldNotCreateConstraint);
    }
    // The new constraints are checked against the rows there are, unless
    // WITH NOCHECK says not to (they are then not trusted).
    const bool check_rows = stmt_.with_check.value_or(true);
    const size_t old_checks = table_.checks.size();
    const size_t old_keys = table_.foreign_keys.size();
    if (!check_rows) {
      for (size_t i = old_checks; i < extended.checks.size(); ++i)
        extended.checks[i].not_trusted = true;
      for (size_t i = old_keys; i < extended.foreign_keys.size(); ++i)
        extended.foreign_keys[i].not_trusted = true;
    }
    if (extended.columns.size() > table_.columns.size()) {
      if (Status s = FillNewColumns(extended)) return s;
    } else {
      extended.store_id = table_.store_id;
    }
    if (Status s = CheckNewKeys(extended)) {
      ReportFirst(std::move(*s), ctx_);
      return Raise(Msg::kCouldNotCreateConstraint);
    }
    if (check_rows) {
      Table scratch = extended;
      scratch.checks.erase(scratch.checks.begin(),
                           scratch.checks.begin() + static_cast<std::ptrdiff_t>(old_checks));
      scratch.foreign_keys.erase(
          scratch.foreign_keys.begin(),
          scratch.foreign_keys.begin() + static_cast<std::ptrdiff_t>(old_keys));
      if (Status s = CheckRows(scratch)) return s;
    }
    table_ = std::move(extended);
    return std::nullopt;
  }

  // The rows there are, with each new column's value: its default where it
  // allows no NULLs or WITH VALUES asks for it, identity and timestamp
  // values as inserting would make them, NULL otherwise.
  Status FillNewColumns(Table& extended) {
    const size_t first = table_.columns.size();
    std::vector<bool> defaulted(extended.columns.size(), false);
    for (const ConstraintDef& constraint : stmt_.added.constraints) {
      if (constraint.kind != ConstraintKind::kDefault) continue;
      int c = extended.FindColumn(constraint.columns[0], collation_);
      if (c >= static_cast<int>(first) && (constraint.with_values || !extended.columns[c].nullable))
        defaulted[c] = true;
    }
    int64_t identity = 0;
    bool identity_started = false;
    return CopyRows(table_, extended, ctx_, [&](const Row& in, Row& out) -> Status {
      out = in;
      out.resize(extended.columns.size());
      for (size_t c = first; c < extended.columns.size(); ++c) {
        Column& column = extended.columns[c];
        if (column.is_computed()) continue;
        if (column.identity) {
          identity = identity_started ? identity + column.identity_increment : column.identity_seed;
          identity_started = true;
          Value value;
          if (Status s = ConvertForStore(Scalar{DataType{BaseType::kBigInt}, identity}, column.type,
                                         true, value))
            return s;
          out[c] = std::move(value);
          extended.identity_current = identity;
          extended.identity_used = true;
        } else if (column.type.base == BaseType::kTimestamp) {
          out[c] = TimestampValue(++db_.dbts);
        } else if (defaulted[c]) {
          if (Status s = ColumnDefault(column, ctx_, out[c])) return s;
        }
      }
      return std::nullopt;
    });
  }

  // A new PRIMARY KEY or UNIQUE constraint over the rows there are.
  Status CheckNewKeys(const Table& extended) {
    for (size_t i = table_.indexes.size(); i < extended.indexes.size(); ++i) {
      const Index& index = extended.indexes[i];
      std::vector<int> positions;
      for (const std::string& name : index.columns)
        positions.push_back(extended.FindColumn(name, collation_));
      std::optional<Row> duplicate;
      if (Status s = ctx_.StoreOf(extended).FirstDuplicate(extended, positions, duplicate))
        return s;
      if (duplicate) {
        Scalar first{extended.columns[positions[0]].type, (*duplicate)[0]};
        return Raise(Msg::kDuplicateKeyOnCreateIndex,
                     {std::to_string(index.index_id), ScalarText(first)});
      }
    }
    return std::nullopt;
  }

  // `scratch`'s CHECK constraints and foreign keys against every row.
  Status CheckRows(Table& scratch) {
    if (scratch.checks.empty() && scratch.foreign_keys.empty()) return std::nullopt;
    ConstraintChecker checker(scratch, db_, ctx_, "ALTER TABLE");
    if (Status s = checker.Prepare()) return s;
    std::vector<Row> rows;
    if (Status s = ctx_.StoreOf(scratch).Scan(scratch, [&rows](RowId, Row& row) -> Status {
          rows.push_back(row);
          return std::nullopt;
        }))
      return s;
    for (const Row& row : rows) {
      if (Status s = checker.CheckRow(row)) return s;
    }
    return std::nullopt;
  }

  Status Drop() {
    Table dropped = table_;
    std::vector<int> forgotten;
    std::vector<size_t> kept;  // the old positions of the columns that stay
    for (size_t c = 0; c < table_.columns.size(); ++c) kept.push_back(c);
    bool columns_dropped = false;
    for (const AlterTableStmt::DropItem& item : stmt_.drops) {
      if (item.column) {
        if (Status s = DropColumn(dropped, item.name, kept)) return s;
        columns_dropped = true;
      } else if (Status s = DropConstraint(dropped, item.name, forgotten)) {
        ReportFirst(std::move(*s), ctx_);
        return Raise(Msg::kCouldNotDropConstraint);
      }
    }
    if (columns_dropped) {
      if (Status s = CopyRows(table_, dropped, ctx_, [&kept](const Row& in, Row& out) -> Status {
            out.clear();
            for (size_t c : kept) out.push_back(in[c]);
            return std::nullopt;
          }))
        return s;
    }
    for (int id : forgotten) db_.ForgetObject(id);
    // A dropped column's extended properties go with it.
    for (const AlterTableStmt::DropItem& item : stmt_.drops) {
      if (!item.column) continue;
      std::erase_if(db_.extended_properties, [&](const ExtendedProperty& property) {
        return property.major_id == table_.id && property.minor_type == "COLUMN" &&
               collation_.Equal(property.minor_name, item.name);
      });
    }
    table_ = std::move(dropped);
    return std::nullopt;
  }

  Status DropColumn(Table& table, const std::string& name, std::vector<size_t>& kept) {
    int at = table.FindColumn(name, collation_);
    if (at < 0) return Raise(Msg::kDropColumnMissing, {name, table.name});
    const std::string column = table.columns[at].name;
    if (Replicated(db_, table_, collation_))
      return Raise(Msg::kAlterColumnBecause, {column, "REPLICATED"});
    ColumnChange change;
    change.drop = true;
    std::vector<Dependent> dependents = DependentsOf(table, column, change, db_, collation_);
    if (table.fulltext) {
      for (const FullTextColumn& text_column : table.fulltext->columns) {
        if (collation_.Equal(text_column.name, column))
          return Raise(Msg::kNotSupported, {"Dropping a column of a full-text index"});
      }
    }
    if (!dependents.empty())
      return RefuseForDependents(dependents, "ALTER TABLE DROP COLUMN", column, ctx_);
    size_t data_columns = 0;
    for (const Column& other : table.columns) data_columns += other.is_computed() ? 0 : 1;
    if (!table.columns[at].is_computed() && data_columns == 1)
      return Raise(Msg::kDropOnlyColumn, {column, table.name});
    table.columns.erase(table.columns.begin() + at);
    kept.erase(kept.begin() + at);
    return std::nullopt;
  }

  Status DropConstraint(Table& table, const std::string& name, std::vector<int>& forgotten) {
    for (size_t i = 0; i < table.indexes.size(); ++i) {
      const Index& index = table.indexes[i];
      if (index.kind == IndexKind::kIndex || !collation_.Equal(index.name, name)) continue;
      for (const auto& other : db_.tables) {
        for (const ForeignKey& fk : other->foreign_keys) {
          if (!collation_.Equal(fk.ref_table, table.name) ||
              !collation_.Equal(fk.ref_owner, table.owner))
            continue;
          // A key a foreign key refers to stays while the foreign key does.
          bool same = fk.ref_columns.size() == index.columns.size();
          for (const std::string& column : fk.ref_columns)
            same = same && ListNames(index.columns, column, collation_);
          if (same) return Raise(Msg::kConstraintReferenced, {index.name, other->name, fk.name});
        }
      }
      if (table.fulltext && collation_.Equal(table.fulltext->key_index, index.name))
        return Raise(Msg::kNotSupported, {"Dropping the key index of a full-text index"});
      forgotten.push_back(index.constraint_id);
      table.indexes.erase(table.indexes.begin() + static_cast<std::ptrdiff_t>(i));
      return std::nullopt;
    }
    for (size_t i = 0; i < table.checks.size(); ++i) {
      if (!collation_.Equal(table.checks[i].name, name)) continue;
      forgotten.push_back(table.checks[i].id);
      table.checks.erase(table.checks.begin() + static_cast<std::ptrdiff_t>(i));
      return std::nullopt;
    }
    for (size_t i = 0; i < table.foreign_keys.size(); ++i) {
      if (!collation_.Equal(table.foreign_keys[i].name, name)) continue;
      forgotten.push_back(table.foreign_keys[i].id);
      table.foreign_keys.erase(table.foreign_keys.begin() + static_cast<std::ptrdiff_t>(i));
      return std::nullopt;
    }
    for (Column& column : table.columns) {
      if (column.default_name.empty() || !collation_.Equal(column.default_name, name)) continue;
      forgotten.push_back(column.default_id);
      column.default_name.clear();
      column.default_text.clear();
      column.default_id = 0;
      return std::nullopt;
    }
    return Raise(Msg::kNotAConstraint, {name});
  }

  Status ToggleConstraints(bool enable) {
    Table changed = table_;
    std::vector<CheckConstraint*> checks;
    std::vector<ForeignKey*> keys;
    if (stmt_.all) {
      for (CheckConstraint& check : changed.checks) checks.push_back(&check);
      for (ForeignKey& fk : changed.foreign_keys) keys.push_back(&fk);
    } else {
      for (const std::string& name : stmt_.names) {
        auto check = std::find_if(changed.checks.begin(), changed.checks.end(),
                                  [&](const auto& c) { return collation_.Equal(c.name, name); });
        auto fk = std::find_if(changed.foreign_keys.begin(), changed.foreign_keys.end(),
                               [&](const auto& f) { return collation_.Equal(f.name, name); });
        if (check != changed.checks.end()) {
          checks.push_back(&*check);
        } else if (fk != changed.foreign_keys.end()) {
          keys.push_back(&*fk);
        } else {
          ReportFirst(Raise(Msg::kConstraintMissing, {name}), ctx_);
          return Raise(Msg::kCouldNotToggleConstraint);
        }
      }
    }
    // WITH CHECK CHECK CONSTRAINT checks the rows there are again, which
    // makes the constraints trusted.
    const bool recheck = enable && stmt_.with_check.value_or(false);
    for (CheckConstraint* check : checks) {
      if (!enable) check->not_trusted = true;
      check->disabled = !enable;
      if (recheck) check->not_trusted = false;
    }
    for (ForeignKey* fk : keys) {
      if (!enable) fk->not_trusted = true;
      fk->disabled = !enable;
      if (recheck) fk->not_trusted = false;
    }
    if (recheck) {
      Table scratch = changed;
      scratch.checks.clear();
      scratch.foreign_keys.clear();
      for (CheckConstraint* check : checks) scratch.checks.push_back(*check);
      for (ForeignKey* fk : keys) scratch.foreign_keys.push_back(*fk);
      if (Status s = CheckRows(scratch)) return s;
    }
    table_ = std::move(changed);
    return std::nullopt;
  }

  Status ToggleTriggers(bool enable) {
    std::vector<Trigger*> chosen;
    if (stmt_.all) {
      for (Trigger& trigger : table_.triggers) chosen.push_back(&trigger);
    } else {
      for (const std::string& name : stmt_.names) {
        auto trigger = std::find_if(table_.triggers.begin(), table_.triggers.end(),
                                    [&](const auto& t) { return collation_.Equal(t.name, name); });
        if (trigger == table_.triggers.end())
          return Raise(Msg::kTriggerNotOnTable, {name, table_.name});
        chosen.push_back(&*trigger);
      }
    }
    for (Trigger* trigger : chosen) trigger->disabled = !enable;
    return std::nullopt;
  }

  const AlterTableStmt& stmt_;
  Database& db_;
  Table& table_;
  ExecContext& ctx_;
  const Collation& collation_;
};

}  // namespace

Status ExecuteAlterTable(const AlterTableStmt& stmt, ExecContext& ctx) {
  const ObjectName target = ResolveTempName(stmt.table, ctx);
  Database* db = DatabaseOf(target, ctx);
  std::optional<ObjectRef> object;
  if (db) object = db->FindObject(target.owner, target.name, ctx.collation());
  if (!object || object->kind != ObjectKind::kTable) {
    Database* named = db ? db : ctx.CurrentDatabase();
    return Raise(Msg::kAlterTableMissing, {stmt.table.name, named ? named->name : target.database});
  }
  // The statement locked its own database's definitions; tempdb's are
  // another's.
  if (db != ctx.CurrentDatabase()) {
    if (Status s = LockCatalogForChanging(*db, ctx)) return s;
  }
  if (Status s = TableAlter(stmt, *db, *object->table, ctx).Run()) return s;
  ctx.MarkChanged();
  ctx.outcome.row_counts.push_back(-1);
  return std::nullopt;
}

}  // namespace server
