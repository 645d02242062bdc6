// CREATE TABLE: columns (system and user types, computed, identity,
// ROWGUIDCOL, timestamp), and PRIMARY KEY, UNIQUE, CHECK, FOREIGN KEY and
// DEFAULT constraints, checked in full before the table is added.

#include <cstdio>

#include "server/exec/executor.h"
#include "server/exec/query.h"
#include "server/exec/relation.h"
#include "server/exec/table_variables.h"
#include "server/exec/temp_tables.h"
#include "server/exec/type_resolution.h"
#include "server/sql/expression_text.h"
#include "server/sql/parser.h"

namespace server {

namespace {

constexpr size_t kMaxColumns = 1024;

std::string Hex8(int id) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%08X", static_cast<unsigned>(id));
  return buffer;
}

// A constraint name the server makes up, in SQL Server 2000's shape
// ("PK__tblParent__0AD2A005", "DF__tblQueued__msrep__1A14E395").
std::string AutoName(const char* prefix, const std::string& table, const std::string& column,
                     int id) {
  if (column.empty()) return std::string(prefix) + "__" + table.substr(0, 16) + "__" + Hex8(id);
  return std::string(prefix) + "__" + table.substr(0, 9) + "__" + column.substr(0, 5) + "__" +
         Hex8(id);
}

void CollectColumnNames(const Expr& expr, std::vector<std::string>& names) {
  if (expr.kind == ExprKind::kColumn) names.push_back(expr.name);
  for (const auto& arg : expr.args) CollectColumnNames(*arg, names);
}

class TableBuilder {
 public:
  // `named` is the new table as NameNewTable named it; `variable_ids`, for
  // a table variable, hands out its object ids: it is no object of `db`,
  // which only lends it its user types and collation.
  TableBuilder(const CreateTableStmt& stmt, Database& db, ExecContext& ctx, Table named,
               int* variable_ids = nullptr)
      : stmt_(stmt),
        db_(db),
        ctx_(ctx),
        collation_(ctx.collation()),
        table_(std::move(named)),
        variable_ids_(variable_ids) {}

  // ALTER TABLE ADD: the statement's columns and constraints added to the
  // table given as `named` (a copy, so that a failure changes nothing).
  // A constraint's failure is reported, and `constraint_failed` set, for
  // the caller's 1750.
  Status Extend(Table& out, bool& constraint_failed) {
    extending_ = true;
    constraint_failed = false;
    for (const Column& column : table_.columns)
      explicit_null_.push_back(column.nullable ? std::optional<bool>(true) : std::nullopt);
    if (table_.columns.size() + stmt_.columns.size() > kMaxColumns) {
      return Raise(Msg::kTooManyColumns,
                   {stmt_.columns.back().name, table_.name, std::to_string(kMaxColumns)});
    }
    bool has_identity = false, has_rowguid = false;
    for (const Column& column : table_.columns) {
      has_identity = has_identity || column.identity;
      has_rowguid = has_rowguid || column.rowguidcol;
    }
    if (Status s = AddColumns(has_identity, has_rowguid)) return s;
    if (Status s = AddComputedColumns()) return s;
    for (const ConstraintDef& constraint : stmt_.constraints) {
      if (Status s = AddConstraint(constraint)) {
        constraint_failed = true;
        return s;
      }
    }
    out = std::move(table_);
    return std::nullopt;
  }

  Status Build(std::unique_ptr<Table>& out) {
    if (variable_ids_) {
      // Named as SQL Server names a table variable's table in its messages.
      table_.id = NewId();
      table_.name = "#" + Hex8(table_.id);
      table_.variable = stmt_.name.name;
    } else {
      table_.owner = stmt_.name.owner.empty() ? "dbo" : stmt_.name.owner;
      if (!db_.HasUser(table_.owner, collation_))
        return Raise(Msg::kOwnerNotFound, {stmt_.name.owner});
      if (Status s = ClaimName(table_.name)) return s;
      if (table_.id == 0) table_.id = NewId();
    }
    if (stmt_.columns.size() > kMaxColumns) {
      return Raise(Msg::kTooManyColumns,
                   {stmt_.columns[kMaxColumns].name, table_.name, std::to_string(kMaxColumns)});
    }
    if (Status s = AddColumns(false, false)) return s;
    if (Status s = AddComputedColumns()) return s;
    for (const ConstraintDef& constraint : stmt_.constraints) {
      if (Status s = AddConstraint(constraint)) return s;
    }
    out = std::make_unique<Table>(std::move(table_));
    return std::nullopt;
  }

 private:
  Status ClaimName(const std::string& name) {
    for (const std::string& claimed : claimed_) {
      if (collation_.Equal(claimed, name)) return Raise(Msg::kObjectExists, {name});
    }
    if (!variable_ids_ && db_.FindObject(table_.owner, name, collation_))
      return Raise(Msg::kObjectExists, {name});
    // The table's own constraints, when adding to it, are in the copy.
    if (extending_) {
      for (const Index& index : table_.indexes) {
        if (index.kind != IndexKind::kIndex && collation_.Equal(index.name, name))
          return Raise(Msg::kObjectExists, {name});
      }
    }
    claimed_.push_back(name);
    return std::nullopt;
  }

  Status AddColumns(bool has_identity, bool has_rowguid) {
    for (size_t i = 0; i < stmt_.columns.size(); ++i) {
      const ColumnDef& def = stmt_.columns[i];
      if (table_.FindColumn(def.name, collation_) >= 0)
        return Raise(Msg::kDuplicateColumn, {def.name, table_.name});
      Column column;
      column.name = def.name;
      explicit_null_.push_back(def.nullable);
      if (!def.type) {
        column.computed = StoredExpressionText(def.computed);
        table_.columns.push_back(std::move(column));
        continue;
      }
      ResolvedType resolved;
      TypeUse use;
      use.ordinal = static_cast<int>(i + 1);
      use.column = def.name;
      if (Status s = ResolveType(*def.type, &db_, collation_, use, resolved)) return s;
      column.type = resolved.type;
      column.user_type = resolved.user_type;
      // A column of a user type takes the default and rule bound to the type.
      if (const UserType* user_type =
              resolved.user_type.empty() ? nullptr : db_.FindType(resolved.user_type, collation_)) {
        column.bound_default = user_type->default_name;
        column.bound_rule = user_type->rule_name;
      }
      // Without NULL or NOT NULL: SET ANSI_NULL_DFLT_ON ON allows NULL;
      // otherwise the database's default, which is NOT NULL.
      column.nullable =
          def.nullable.value_or(resolved.nullable.value_or(ctx_.session.options.ansi_null_dflt_on));
      if (IsCharacterLike(column.type))
        column.collation = def.collation.empty() ? db_.collation : def.collation;
      if (column.type.base == BaseType::kTimestamp && table_.TimestampColumn() >= 0) {
        return Raise(Msg::kTwoTimestamps, {table_.name, def.name});
      }
      if (def.identity) {
        bool integral =
            Family(column.type) == TypeFamily::kInteger && column.type.base != BaseType::kBit;
        bool exact = Family(column.type) == TypeFamily::kExact && column.type.scale == 0;
        if ((!integral && !exact) || def.nullable.value_or(false))
          return Raise(Msg::kIdentityType, {def.name});
        if (has_identity) return Raise(Msg::kTwoIdentities, {table_.name});
        has_identity = true;
        column.identity = true;
        column.identity_seed = def.identity_seed;
        column.identity_increment = def.identity_increment == 0 ? 1 : def.identity_increment;
        column.nullable = false;
      }
      if (def.rowguidcol) {
        if (has_rowguid) return Raise(Msg::kTwoRowGuidCols);
        if (column.type.base != BaseType::kUniqueIdentifier) {
          return Raise(Msg::kNotSupported, {"ROWGUIDCOL on a column that is not uniqueidentifier"});
        }
        has_rowguid = true;
        column.rowguidcol = true;
      }
      table_.columns.push_back(std::move(column));
    }
    return std::nullopt;
  }

  // A computed column names only ordinary columns; its type is what its
  // expression gives.
  Status AddComputedColumns() {
    RowSchema schema = TableSchema(table_);
    Row nulls(table_.columns.size());
    for (Column& column : table_.columns) {
      if (!column.is_computed()) continue;
      auto parsed = ParseExpression(column.computed);
      if (auto* error = std::get_if<SqlError>(&parsed)) return *error;
      const Expr& expr = *std::get<ExprPtr>(parsed);
      if (HasSubquery(expr)) return Raise(Msg::kSubqueryNotAllowed);
      std::vector<std::string> names;
      CollectColumnNames(expr, names);
      for (const std::string& name : names) {
        int index = table_.FindColumn(name, collation_);
        if (index >= 0 && table_.columns[index].is_computed()) {
          return Raise(Msg::kComputedInComputed, {table_.columns[index].name, table_.name});
        }
      }
      if (Status s = BindColumns(expr, &schema, collation_)) return s;
      if (HasAggregate(expr))
        return Raise(Msg::kNotSupported, {"An aggregate in a computed column"});
      EvalScope scope{ctx_, &schema, &nulls, nullptr};
      Scalar typed;
      if (Status s = Evaluate(expr, scope, typed)) return s;
      column.type = typed.type;
      if (IsCharacterLike(column.type)) column.collation = db_.collation;
    }
    return std::nullopt;
  }

  Status KeyColumns(const ConstraintDef& def, std::vector<std::string>& out) {
    for (const std::string& name : def.columns) {
      int index = table_.FindColumn(name, collation_);
      if (index < 0) return Raise(Msg::kIndexColumnMissing, {name});
      const Column& column = table_.columns[index];
      TypeFamily family = Family(column.type);
      if (family == TypeFamily::kText || family == TypeFamily::kImage)
        return Raise(Msg::kIndexOnText, {column.name});
      for (const std::string& seen : out) {
        if (collation_.Equal(seen, column.name))
          return Raise(Msg::kIndexDuplicateColumn, {column.name});
      }
      out.push_back(column.name);
    }
    return std::nullopt;
  }

  Status AddKey(const ConstraintDef& def, int id, const std::string& name) {
    if (Status s = CheckFilegroup(def.filegroup)) return s;
    bool primary = def.kind == ConstraintKind::kPrimaryKey;
    if (primary && table_.PrimaryKey()) return Raise(Msg::kMultiplePrimaryKeys, {table_.name});
    Index index;
    index.kind = primary ? IndexKind::kPrimaryKey : IndexKind::kUnique;
    index.name = name;
    index.constraint_id = id;
    index.unique = true;
    index.fill_factor = def.fill_factor;
    if (Status s = KeyColumns(def, index.columns)) return s;
    if (primary) {
      for (const std::string& column_name : index.columns) {
        int i = table_.FindColumn(column_name, collation_);
        if (explicit_null_[i].value_or(false))
          return Raise(Msg::kPrimaryKeyNullable, {table_.name});
        table_.columns[i].nullable = false;
      }
    }
    bool clustered_exists = false;
    for (const Index& other : table_.indexes)
      clustered_exists = clustered_exists || other.clustered;
    if (def.clustered.value_or(false) && clustered_exists)
      return Raise(Msg::kTwoClusteredConstraints, {table_.name});
    // A primary key is clustered unless told otherwise or taken.
    index.clustered = def.clustered.value_or(primary && !clustered_exists);
    index.index_id = index.clustered ? 1 : table_.NextIndexId();
    table_.indexes.push_back(std::move(index));
    return std::nullopt;
  }

  Status AddCheck(const ConstraintDef& def, int id, const std::string& name) {
    auto parsed = ParseExpression(def.text);
    if (auto* error = std::get_if<SqlError>(&parsed)) return *error;
    const Expr& expr = *std::get<ExprPtr>(parsed);
    if (HasSubquery(expr)) return Raise(Msg::kSubqueryNotAllowed);
    RowSchema schema = TableSchema(table_);
    if (Status s = BindColumns(expr, &schema, collation_)) return s;
    if (def.column_level) {
      std::vector<std::string> names;
      CollectColumnNames(expr, names);
      for (const std::string& other : names) {
        if (!collation_.Equal(other, def.columns[0]))
          return Raise(Msg::kCheckOtherColumn, {def.columns[0], table_.name});
      }
    }
    CheckConstraint check;
    check.id = id;
    check.name = name;
    check.text = StoredExpressionText(def.text);
    check.column =
        def.column_level ? table_.columns[table_.FindColumn(def.columns[0], collation_)].name : "";
    check.not_for_replication = def.not_for_replication;
    table_.checks.push_back(std::move(check));
    return std::nullopt;
  }

  Status AddForeignKey(const ConstraintDef& def, int id, const std::string& name) {
    Database* ref_db = DatabaseOf(def.ref_table, ctx_);
    if (ref_db && ref_db != &db_) return Raise(Msg::kCrossDatabaseForeignKey, {name});
    const ObjectName& ref = def.ref_table;
    bool self = collation_.Equal(ref.name, table_.name) &&
                (ref.owner.empty() || collation_.Equal(ref.owner, table_.owner));
    Table* target = self ? &table_ : nullptr;
    if (!target && ref_db) {
      std::optional<ObjectRef> object = ref_db->FindObject(ref.owner, ref.name, collation_);
      if (object && object->kind != ObjectKind::kTable)
        return Raise(Msg::kForeignKeyNotUserTable, {name, ref.Text()});
      if (object) target = object->table;
    }
    if (!target) return Raise(Msg::kForeignKeyInvalidTable, {name, ref.Text()});
    ForeignKey fk;
    fk.id = id;
    fk.name = name;
    fk.column_level = def.column_level;
    fk.not_for_replication = def.not_for_replication;
    fk.ref_owner = target->owner;
    fk.ref_table = target->name;
    for (const std::string& column : def.columns) {
      int i = table_.FindColumn(column, collation_);
      if (i < 0) return Raise(Msg::kForeignKeyInvalidLocalColumn, {name, column, table_.name});
      fk.columns.push_back(table_.columns[i].name);
    }
    if (def.ref_columns.empty()) {
      const Index* key = target->PrimaryKey();
      if (!key) return Raise(Msg::kForeignKeyNoCandidateKey, {target->name, name});
      fk.ref_columns = key->columns;
    } else {
      for (const std::string& column : def.ref_columns) {
        int i = target->FindColumn(column, collation_);
        if (i < 0) return Raise(Msg::kForeignKeyInvalidColumn, {name, column, target->name});
        fk.ref_columns.push_back(target->columns[i].name);
      }
    }
    if (fk.columns.size() != fk.ref_columns.size())
      return Raise(Msg::kForeignKeyColumnCount, {table_.name});
    // The referenced columns must be exactly a primary key or unique key.
    bool candidate = false;
    for (const Index& index : target->indexes) {
      if (!index.unique || index.columns.size() != fk.ref_columns.size()) continue;
      bool all = true;
      for (const std::string& column : fk.ref_columns) {
        bool in = false;
        for (const std::string& key : index.columns) in = in || collation_.Equal(key, column);
        all = all && in;
      }
      candidate = candidate || all;
    }
    if (!candidate) return Raise(Msg::kForeignKeyNoCandidateKey, {target->name, name});
    for (size_t k = 0; k < fk.columns.size(); ++k) {
      const Column& local = table_.columns[table_.FindColumn(fk.columns[k], collation_)];
      const Column& remote = target->columns[target->FindColumn(fk.ref_columns[k], collation_)];
      if (!(local.type == remote.type)) {
        return Raise(Msg::kForeignKeyTypeMismatch,
                     {target->name, remote.name, table_.name, local.name, name});
      }
    }
    table_.foreign_keys.push_back(std::move(fk));
    return std::nullopt;
  }

  Status AddDefault(const ConstraintDef& def, int id, const std::string& name) {
    auto parsed = ParseExpression(def.text);
    if (auto* error = std::get_if<SqlError>(&parsed)) return *error;
    if (HasSubquery(*std::get<ExprPtr>(parsed))) return Raise(Msg::kSubqueryNotAllowed);
    if (Status s = BindColumns(*std::get<ExprPtr>(parsed), nullptr, collation_)) return s;
    int at = table_.FindColumn(def.columns[0], collation_);
    if (at < 0 || table_.columns[at].is_computed())
      return Raise(Msg::kDefaultColumnInvalid, {def.columns[0], table_.name});
    Column& column = table_.columns[at];
    if (column.type.base == BaseType::kTimestamp)
      return Raise(Msg::kDefaultOnTimestamp, {table_.name, column.name});
    if (column.identity) return Raise(Msg::kDefaultOnIdentity, {table_.name, column.name});
    if (extending_ && (!column.default_name.empty() || !column.bound_default.empty()))
      return Raise(Msg::kDefaultAlreadyBound);
    if (!column.default_name.empty()) return Raise(Msg::kSyntaxErrorKeyword, {"DEFAULT"});
    // A DEFAULT constraint takes the place of a default its type brought.
    column.bound_default.clear();
    column.default_name = name;
    column.default_id = id;
    column.default_text = StoredExpressionText(def.text);
    return std::nullopt;
  }

  int NewId() { return variable_ids_ ? (*variable_ids_)++ : db_.NewObjectId(); }

  Status AddConstraint(const ConstraintDef& def) {
    int id = NewId();
    static constexpr const char* kPrefixes[] = {"PK", "UQ", "CK", "FK", "DF"};
    const char* prefix = kPrefixes[static_cast<int>(def.kind)];
    bool by_column = def.kind == ConstraintKind::kCheck ||
                     def.kind == ConstraintKind::kForeignKey ||
                     def.kind == ConstraintKind::kDefault;
    std::string name = def.name.empty()
                           ? AutoName(prefix, table_.name,
                                      by_column && !def.columns.empty() ? def.columns[0] : "", id)
                           : def.name;
    if (Status s = ClaimName(name)) return s;
    switch (def.kind) {
      case ConstraintKind::kPrimaryKey:
      case ConstraintKind::kUnique:
        return AddKey(def, id, name);
      case ConstraintKind::kCheck:
        return AddCheck(def, id, name);
      case ConstraintKind::kForeignKey:
        return AddForeignKey(def, id, name);
      case ConstraintKind::kDefault:
        return AddDefault(def, id, name);
    }
    return std::nullopt;
  }

  const CreateTableStmt& stmt_;
  Database& db_;
  ExecContext& ctx_;
  const Collation& collation_;
  Table table_;
  std::vector<std::optional<bool>> explicit_null_;
  std::vector<std::string> claimed_;
  int* variable_ids_;
  bool extending_ = false;
};

}  // namespace

Status BuildTableVariable(const CreateTableStmt& stmt, Database& db, ExecContext& ctx, int& ids,
                          std::unique_ptr<Table>& out) {
  return TableBuilder(stmt, db, ctx, Table{}, &ids).Build(out);
}

Status ExtendTable(const CreateTableStmt& added, Database& db, ExecContext& ctx, const Table& from,
                   Table& out, bool& constraint_failed) {
  return TableBuilder(added, db, ctx, from).Extend(out, constraint_failed);
}

Status CheckFilegroup(const std::string& name) {
  // A database has one filegroup, PRIMARY, which is also its default.
  if (name.empty() || EqualNoCase(name, "PRIMARY") || EqualNoCase(name, "default"))
    return std::nullopt;
  return Raise(Msg::kInvalidFilegroup, {name});
}

Status ExecuteCreateTable(const CreateTableStmt& stmt, ExecContext& ctx) {
  if (Status s = CheckFilegroup(stmt.filegroup)) return s;
  if (Status s = CheckFilegroup(stmt.textimage_filegroup)) return s;
  Database* db = nullptr;
  Table named;
  if (Status s = NameNewTable(stmt.name, ctx, db, named)) return s;
  std::unique_ptr<Table> table;
  if (Status s = TableBuilder(stmt, *db, ctx, std::move(named)).Build(table)) return s;
  if (!stmt.textimage_filegroup.empty() &&
      std::none_of(table->columns.begin(), table->columns.end(),
                   [](const Column& column) { return IsLargeObject(column.type); }))
    return Raise(Msg::kTextImageWithoutLargeColumns);
  table->store_id = ctx.server.next_store_id++;
  db->tables.push_back(std::move(table));
  ctx.MarkChanged();
  ctx.outcome.row_counts.push_back(-1);
  return std::nullopt;
}

}  // namespace server
