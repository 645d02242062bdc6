// The metadata functions: what the catalog says of objects, columns,
// indexes, types, users and databases, read through the same facts the
// system tables show (server/exec/system_tables.h).

#include <algorithm>

#include "server/exec/functions.h"
#include "server/exec/system_procedures.h"
#include "server/exec/system_tables.h"
#include "server/exec/temp_tables.h"
#include "server/types/collation.h"

namespace server {

namespace {

using Args = FunctionArgs;

Scalar MetaInt(std::optional<int64_t> value) {
  Scalar out{DefaultType(BaseType::kInt), std::monostate{}};
  if (value) out.value = *value;
  return out;
}

Scalar MetaName(std::optional<std::string> value, int length = 128) {
  Scalar out{DataType{BaseType::kNVarChar, length, 0, 0}, std::monostate{}};
  if (value) out.value = std::move(*value);
  return out;
}

Status MetaText(const Scalar& arg, int position, const char* function, std::string& out) {
  return TextArgument(arg, position, function, out);
}

// The object `id` names in the current database.
std::optional<ObjectRef> MetaObject(const Scalar& id, const EvalScope& scope, const char* function,
                                    Status& status) {
  int64_t value = 0;
  status = IntegerArgument(id, 1, function, value);
  Database* db = scope.exec.CurrentDatabase();
  if (status || !db) return std::nullopt;
  return db->FindObjectById(static_cast<int>(value));
}

bool Is(const std::string& a, const char* b) { return EqualNoCase(a, b); }

const Trigger* FindTrigger(const ObjectRef& ref) {
  if (ref.kind != ObjectKind::kTrigger || !ref.table) return nullptr;
  for (const Trigger& trigger : ref.table->triggers) {
    if (trigger.id == ref.id) return &trigger;
  }
  return nullptr;
}

// A table's own properties (TableHas...), NULL for any other object.
std::optional<int64_t> TableProperty(const Table& table, Database& db, const std::string& p) {
  auto any_column = [&](auto test) {
    return int64_t{std::any_of(table.columns.begin(), table.columns.end(), test) ? 1 : 0};
  };
  auto any_index = [&](auto test) {
    return int64_t{std::any_of(table.indexes.begin(), table.indexes.end(), test) ? 1 : 0};
  };
  auto first_trigger = [&](bool Trigger::*event) {
    for (const Trigger& trigger : table.triggers) {
      if (trigger.*event) return int64_t{trigger.id};
    }
    return int64_t{0};
  };
  if (Is(p, "TableHasIdentity")) return any_column([](const Column& c) { return c.identity; });
  if (Is(p, "TableHasRowGuidCol")) return any_column([](const Column& c) { return c.rowguidcol; });
  if (Is(p, "TableHasTimestamp"))
    return any_column([](const Column& c) { return c.type.base == BaseType::kTimestamp; });
  if (Is(p, "TableHasTextImage"))
    return any_column([](const Column& c) { return IsLargeObject(c.type); });
  if (Is(p, "TableHasDefaultCnst"))
    return any_column([](const Column& c) { return c.default_id != 0; });
  if (Is(p, "TableHasPrimaryKey"))
    return any_index([](const Index& i) { return i.kind == IndexKind::kPrimaryKey; });
  if (Is(p, "TableHasUniqueCnst"))
    return any_index([](const Index& i) { return i.kind == IndexKind::kUnique; });
  if (Is(p, "TableHasClustIndex")) return any_index([](const Index& i) { return i.clustered; });
  if (Is(p, "TableHasNonclustIndex")) return any_index([](const Index& i) { return !i.clustered; });
  if (Is(p, "TableHasIndex") || Is(p, "IsIndexed"))
    return any_index([](const Index&) { return true; });
  if (Is(p, "TableHasCheckCnst")) return int64_t{table.checks.empty() ? 0 : 1};
  if (Is(p, "TableHasForeignKey")) return int64_t{table.foreign_keys.empty() ? 0 : 1};
  if (Is(p, "TableHasForeignRef")) {
    for (const auto& other : db.tables) {
      for (const ForeignKey& fk : other->foreign_keys) {
        if (EqualNoCase(fk.ref_table, table.name) && EqualNoCase(fk.ref_owner, table.owner))
          return 1;
      }
    }
    return 0;
  }
  if (Is(p, "TableHasInsertTrigger")) return int64_t{first_trigger(&Trigger::on_insert) ? 1 : 0};
  if (Is(p, "TableHasUpdateTrigger")) return int64_t{first_trigger(&Trigger::on_update) ? 1 : 0};
  if (Is(p, "TableHasDeleteTrigger")) return int64_t{first_trigger(&Trigger::on_delete) ? 1 : 0};
  if (Is(p, "TableInsertTrigger")) return first_trigger(&Trigger::on_insert);
  if (Is(p, "TableUpdateTrigger")) return first_trigger(&Trigger::on_update);
  if (Is(p, "TableDeleteTrigger")) return first_trigger(&Trigger::on_delete);
  if (Is(p, "TableFulltextCatalogId")) {
    if (!table.fulltext) return 0;
    for (const FullTextCatalog& catalog : db.fulltext_catalogs) {
      if (EqualNoCase(catalog.name, table.fulltext->catalog)) return int64_t{catalog.id};
    }
    return 0;
  }
  if (Is(p, "TableHasActiveFulltextIndex"))
    return int64_t{table.fulltext && table.fulltext->active ? 1 : 0};
  if (Is(p, "TableFulltextKeyColumn")) {
    if (!table.fulltext) return 0;
    for (const Index& index : table.indexes) {
      if (EqualNoCase(index.name, table.fulltext->key_index) && index.columns.size() == 1)
        return int64_t{table.FindColumn(index.columns[0], Collation(false)) + 1};
    }
    return 0;
  }
  if (Is(p, "TableIsFake")) return 0;
  if (Is(p, "IsIndexable")) return 1;
  return std::nullopt;
}

// A constraint's properties (CnstIs...), NULL for other objects.
std::optional<int64_t> ConstraintProperty(const ObjectRef& ref, const std::string& p) {
  bool key = ref.kind == ObjectKind::kPrimaryKey || ref.kind == ObjectKind::kUnique;
  bool constraint = key || ref.kind == ObjectKind::kCheck || ref.kind == ObjectKind::kForeignKey ||
                    ref.kind == ObjectKind::kDefaultConstraint;
  if (!constraint || !ref.table) return std::nullopt;
  const Index* index = nullptr;
  for (const Index& i : ref.table->indexes) {
    if (key && i.constraint_id == ref.id) index = &i;
  }
  bool not_for_replication = false;
  bool column = false;
  bool disabled = false;
  bool not_trusted = false;
  for (const CheckConstraint& check : ref.table->checks) {
    if (check.id == ref.id) {
      not_for_replication = check.not_for_replication;
      column = !check.column.empty();
      disabled = check.disabled;
      not_trusted = check.not_trusted;
    }
  }
  for (const ForeignKey& fk : ref.table->foreign_keys) {
    if (fk.id == ref.id) {
      not_for_replication = fk.not_for_replication;
      column = fk.column_level;
      disabled = fk.disabled;
      not_trusted = fk.not_trusted;
    }
  }
  if (ref.kind == ObjectKind::kDefaultConstraint) column = true;
  // ALTER TABLE NOCHECK CONSTRAINT disables CHECK and FOREIGN KEY
  // constraints; one added WITH NOCHECK, or disabled once, is not trusted.
  if (Is(p, "CnstIsDisabled")) return int64_t{disabled ? 1 : 0};
  if (Is(p, "CnstIsNotTrusted")) return int64_t{not_trusted ? 1 : 0};
  if (Is(p, "CnstIsNotRepl")) return int64_t{not_for_replication ? 1 : 0};
  if (Is(p, "CnstIsColumn")) return int64_t{column ? 1 : 0};
  if (Is(p, "CnstIsClustKey")) return int64_t{index && index->clustered ? 1 : 0};
  if (Is(p, "CnstIsNonclustKey")) return int64_t{index && !index->clustered ? 1 : 0};
  if (Is(p, "CnstIsDeleteCascade") || Is(p, "CnstIsUpdateCascade")) return 0;
  return std::nullopt;
}

std::optional<int64_t> ObjectPropertyValue(const ObjectRef& ref, Database& db,
                                           const std::string& p) {
  ObjectKind kind = ref.kind;
  auto flag = [](bool b) { return std::optional<int64_t>(b ? 1 : 0); };
  const Module* module = ref.module;
  const Trigger* trigger = FindTrigger(ref);
  if (Is(p, "IsTable")) return flag(kind == ObjectKind::kTable || kind == ObjectKind::kSystemTable);
  if (Is(p, "IsUserTable")) return flag(kind == ObjectKind::kTable);
  if (Is(p, "IsSystemTable")) return flag(kind == ObjectKind::kSystemTable);
  if (Is(p, "IsView")) return flag(kind == ObjectKind::kView);
  if (Is(p, "IsProcedure")) return flag(kind == ObjectKind::kProcedure);
  if (Is(p, "IsTrigger")) return flag(kind == ObjectKind::kTrigger);
  if (Is(p, "IsDefault")) return flag(kind == ObjectKind::kDefault);
  if (Is(p, "IsRule")) return flag(kind == ObjectKind::kRule);
  if (Is(p, "IsPrimaryKey")) return flag(kind == ObjectKind::kPrimaryKey);
  if (Is(p, "IsUniqueCnst")) return flag(kind == ObjectKind::kUnique);
  if (Is(p, "IsForeignKey")) return flag(kind == ObjectKind::kForeignKey);
  if (Is(p, "IsCheckCnst")) return flag(kind == ObjectKind::kCheck);
  if (Is(p, "IsDefaultCnst")) return flag(kind == ObjectKind::kDefaultConstraint);
  if (Is(p, "IsConstraint"))
    return flag(kind == ObjectKind::kPrimaryKey || kind == ObjectKind::kUnique ||
                kind == ObjectKind::kForeignKey || kind == ObjectKind::kCheck ||
                kind == ObjectKind::kDefaultConstraint);
  if (Is(p, "IsScalarFunction")) return flag(module && module->type == ModuleType::kScalarFunction);
  if (Is(p, "IsInlineFunction")) return flag(module && module->type == ModuleType::kInlineFunction);
  if (Is(p, "IsTableFunction")) return flag(module && module->type == ModuleType::kTableFunction);
  if (Is(p, "IsMSShipped")) return flag(kind == ObjectKind::kSystemTable);
  if (Is(p, "OwnerId")) return int64_t{SysUserId(db, ref.owner)};
  if (Is(p, "IsEncrypted"))
    return flag((module && module->encrypted) || (trigger && trigger->encrypted));
  if (Is(p, "IsSchemaBound")) return flag(module && module->schema_bound);
  // What the object was created under: tables always with QUOTED_IDENTIFIER
  // on; a module keeps its ANSI_NULLS and QUOTED_IDENTIFIER.
  bool executable = module || trigger;
  const bool quoted = module ? module->quoted_identifier : !trigger || trigger->quoted_identifier;
  if (Is(p, "ExecIsAnsiNullsOn"))
    return executable ? flag(module ? module->ansi_nulls : true) : std::nullopt;
  if (Is(p, "ExecIsQuotedIdentOn")) return executable ? flag(quoted) : std::nullopt;
  if (Is(p, "IsAnsiNullsOn"))
    return kind == ObjectKind::kTable || executable ? flag(module ? module->ansi_nulls : true)
                                                    : std::nullopt;
  if (Is(p, "IsQuotedIdentOn"))
    return kind == ObjectKind::kTable || executable ? flag(quoted) : std::nullopt;
  if (trigger) {
    if (Is(p, "ExecIsTriggerDisabled")) return flag(trigger->disabled);
    if (Is(p, "ExecIsInsertTrigger")) return flag(trigger->on_insert);
    if (Is(p, "ExecIsUpdateTrigger")) return flag(trigger->on_update);
    if (Is(p, "ExecIsDeleteTrigger")) return flag(trigger->on_delete);
    if (Is(p, "ExecIsAfterTrigger")) return flag(!trigger->instead_of);
    if (Is(p, "ExecIsInsteadOfTrigger")) return flag(trigger->instead_of);
    if (Is(p, "ExecIsFirstInsertTrigger") || Is(p, "ExecIsLastInsertTrigger") ||
        Is(p, "ExecIsFirstUpdateTrigger") || Is(p, "ExecIsLastUpdateTrigger") ||
        Is(p, "ExecIsFirstDeleteTrigger") || Is(p, "ExecIsLastDeleteTrigger"))
      return 0;
  }
  if (kind == ObjectKind::kProcedure && Is(p, "ExecIsStartup")) return 0;
  if (kind == ObjectKind::kProcedure && Is(p, "IsReplProc")) return 0;
  if (kind == ObjectKind::kTable && ref.table) {
    if (std::optional<int64_t> value = TableProperty(*ref.table, db, p)) return value;
  }
  if (std::optional<int64_t> value = ConstraintProperty(ref, p)) return value;
  return std::nullopt;
}

Status ObjectProperty(const Args& args, const EvalScope& scope, Scalar& out) {
  out = MetaInt(std::nullopt);
  if (AnyNull(args)) return std::nullopt;
  std::string property;
  if (Status s = MetaText(args[1], 2, "objectproperty", property)) return s;
  Status status;
  std::optional<ObjectRef> ref = MetaObject(args[0], scope, "objectproperty", status);
  if (status || !ref) return status;
  out = MetaInt(ObjectPropertyValue(*ref, *scope.exec.CurrentDatabase(), property));
  return std::nullopt;
}

Status MetaObjectName(const Args& args, const EvalScope& scope, Scalar& out) {
  out = MetaName(std::nullopt);
  if (args[0].is_null()) return std::nullopt;
  Status status;
  std::optional<ObjectRef> ref = MetaObject(args[0], scope, "object_name", status);
  if (status || !ref) return status;
  // A local temporary table shows the name it was created with.
  if (ref->table && !ref->table->temp_name.empty()) ref->name = ref->table->temp_name;
  out = MetaName(ref->name);
  return std::nullopt;
}

// The column `name` (or parameter) of object `id`, with its facts.
std::optional<ColumnFacts> MetaColumn(Database& db, const ObjectRef& ref, const std::string& name,
                                      const EvalScope& scope) {
  SystemScope system{db, scope.exec};
  for (ColumnFacts& column : ObjectColumns(ref, system)) {
    if (scope.exec.collation().Equal(column.name, name)) return std::move(column);
  }
  return std::nullopt;
}

// Precision as COLUMNPROPERTY and TYPEPROPERTY give it: characters for
// character types, bytes for binary ones, digits for numbers.
int64_t PrecisionOf(const DataType& type) {
  TypeFamily family = Family(type);
  if (type.base == BaseType::kNText) return 1073741823;
  if (family == TypeFamily::kText || family == TypeFamily::kImage) return 2147483647;
  if (Info(type.base).sized) return type.length;
  if (family == TypeFamily::kDateTime) return type.base == BaseType::kDateTime ? 23 : 16;
  if (type.base == BaseType::kUniqueIdentifier || type.base == BaseType::kTimestamp)
    return StorageLength(type);
  return TypePrecision(type);
}

std::optional<int64_t> ScaleOf(const DataType& type) {
  TypeFamily family = Family(type);
  if (family == TypeFamily::kInteger || family == TypeFamily::kExact ||
      family == TypeFamily::kMoney || family == TypeFamily::kDateTime)
    return TypeScale(type);
  return std::nullopt;
}

Status ColumnProperty(const Args& args, const EvalScope& scope, Scalar& out) {
  out = MetaInt(std::nullopt);
  if (AnyNull(args)) return std::nullopt;
  std::string column_name, property;
  if (Status s = MetaText(args[1], 2, "columnproperty", column_name)) return s;
  if (Status s = MetaText(args[2], 3, "columnproperty", property)) return s;
  Status status;
  std::optional<ObjectRef> ref = MetaObject(args[0], scope, "columnproperty", status);
  if (status || !ref) return status;
  std::optional<ColumnFacts> column =
      MetaColumn(*scope.exec.CurrentDatabase(), *ref, column_name, scope);
  if (!column) return std::nullopt;
  const std::string& p = property;
  std::optional<int64_t> value;
  bool fulltext = false;
  if (ref->table && ref->table->fulltext) {
    for (const FullTextColumn& ft : ref->table->fulltext->columns)
      fulltext = fulltext || EqualNoCase(ft.name, column->name);
  }
  if (Is(p, "AllowsNull")) value = column->nullable ? 1 : 0;
  if (Is(p, "IsIdentity")) value = column->identity ? 1 : 0;
  if (Is(p, "IsComputed")) value = column->computed ? 1 : 0;
  if (Is(p, "IsRowGuidCol")) value = column->rowguidcol ? 1 : 0;
  if (Is(p, "IsFulltextIndexed")) value = fulltext ? 1 : 0;
  if (Is(p, "IsOutParam")) value = column->output ? 1 : 0;
  if (Is(p, "IsIdNotForRepl")) value = 0;
  if (Is(p, "IsCursorType")) value = 0;
  if (Is(p, "UsesAnsiTrim")) value = 1;
  if (Is(p, "Precision")) value = PrecisionOf(column->type);
  if (Is(p, "Scale")) value = ScaleOf(column->type);
  if (Is(p, "IsDeterministic") || Is(p, "IsPrecise")) {
    // Known only for computed columns; the server has no nondeterministic
    // or imprecise functions in them to tell apart, so it answers for the type.
    if (column->computed)
      value = Is(p, "IsPrecise") ? (Family(column->type) == TypeFamily::kApprox ? 0 : 1) : 1;
  }
  out = MetaInt(value);
  return std::nullopt;
}

const Index* FindIndexById(const Table& table, int64_t indid) {
  for (const Index& index : table.indexes) {
    if ((index.clustered ? 1 : index.index_id) == indid) return &index;
  }
  return nullptr;
}

Status IndexProperty(const Args& args, const EvalScope& scope, Scalar& out) {
  out = MetaInt(std::nullopt);
  if (AnyNull(args)) return std::nullopt;
  std::string index_name, property;
  if (Status s = MetaText(args[1], 2, "indexproperty", index_name)) return s;
  if (Status s = MetaText(args[2], 3, "indexproperty", property)) return s;
  Status status;
  std::optional<ObjectRef> ref = MetaObject(args[0], scope, "indexproperty", status);
  if (status || !ref || ref->kind != ObjectKind::kTable) return status;
  const Index* index = ref->table->FindIndex(index_name, scope.exec.collation());
  if (!index) return std::nullopt;
  const std::string& p = property;
  std::optional<int64_t> value;
  if (Is(p, "IndexID")) value = index->clustered ? 1 : index->index_id;
  if (Is(p, "IndexDepth")) value = 1;
  if (Is(p, "IndexFillFactor")) value = index->fill_factor;
  if (Is(p, "IsClustered")) value = index->clustered ? 1 : 0;
  if (Is(p, "IsUnique")) value = index->unique ? 1 : 0;
  if (Is(p, "IsFulltextKey"))
    value =
        ref->table->fulltext && EqualNoCase(ref->table->fulltext->key_index, index->name) ? 1 : 0;
  if (Is(p, "IsAutoStatistics") || Is(p, "IsStatistics") || Is(p, "IsHypothetical") ||
      Is(p, "IsPadIndex") || Is(p, "IsPageLockDisallowed") || Is(p, "IsRowLockDisallowed"))
    value = 0;
  out = MetaInt(value);
  return std::nullopt;
}

Status TypeProperty(const Args& args, const EvalScope& scope, Scalar& out) {
  out = MetaInt(std::nullopt);
  if (AnyNull(args)) return std::nullopt;
  std::string name, property;
  if (Status s = MetaText(args[0], 1, "typeproperty", name)) return s;
  if (Status s = MetaText(args[1], 2, "typeproperty", property)) return s;
  DataType type;
  bool nullable = true;
  int64_t owner = 4;  // system types belong to system_function_schema
  Database* db = scope.exec.CurrentDatabase();
  if (std::optional<BaseType> base = FindBaseType(name)) {
    type = DefaultType(*base);
    if (Info(*base).sized) type.length = MaxLength(*base);
    if (Family(type) == TypeFamily::kExact) type = DataType{*base, 0, 38, 38};
    nullable = *base != BaseType::kTimestamp;
  } else if (EqualNoCase(name, "sysname")) {
    type = DataType{BaseType::kNVarChar, 128, 0, 0};
    nullable = false;
  } else if (UserType* user = db ? db->FindType(name, scope.exec.collation()) : nullptr) {
    type = user->base;
    nullable = user->nullable;
    owner = SysUserId(*db, user->owner);
  } else {
    return std::nullopt;
  }
  const std::string& p = property;
  std::optional<int64_t> value;
  if (Is(p, "Precision")) value = PrecisionOf(type);
  if (Is(p, "Scale")) value = ScaleOf(type);
  if (Is(p, "AllowsNull")) value = nullable ? 1 : 0;
  if (Is(p, "UsesAnsiTrim")) value = 1;
  if (Is(p, "OwnerId")) value = owner;
  out = MetaInt(value);
  return std::nullopt;
}

Status ColName(const Args& args, const EvalScope& scope, Scalar& out) {
  out = MetaName(std::nullopt);
  if (AnyNull(args)) return std::nullopt;
  int64_t colid = 0;
  if (Status s = IntegerArgument(args[1], 2, "col_name", colid)) return s;
  Status status;
  std::optional<ObjectRef> ref = MetaObject(args[0], scope, "col_name", status);
  if (status || !ref) return status;
  SystemScope system{*scope.exec.CurrentDatabase(), scope.exec};
  for (const ColumnFacts& column : ObjectColumns(*ref, system)) {
    if (column.colid == colid && ref->kind != ObjectKind::kProcedure) out = MetaName(column.name);
  }
  return std::nullopt;
}

// The object a name given as text finds ("db.owner.name", "owner.name",
// "name", parts in brackets or quotes, "tempdb..#t"), and its database.
std::optional<ObjectRef> ObjectByName(const std::string& text, const EvalScope& scope,
                                      Database** found_in = nullptr) {
  ObjectName name = ParseObjectText(text);
  if (name.parts > 3 || name.name.empty()) return std::nullopt;
  name = ResolveTempName(name, scope.exec);
  Database* db = !name.database.empty() ? scope.exec.server.FindDatabase(name.database)
                                        : scope.exec.CurrentDatabase();
  if (!db) return std::nullopt;
  if (found_in) *found_in = db;
  return db->FindObject(name.owner, name.name, scope.exec.collation());
}

Status MetaObjectId(const Args& args, const EvalScope& scope, Scalar& out) {
  out = MetaInt(std::nullopt);
  if (args[0].is_null()) return std::nullopt;
  std::string text;
  if (Status s = MetaText(args[0], 1, "object_id", text)) return s;
  if (std::optional<ObjectRef> ref = ObjectByName(text, scope)) out = MetaInt(ref->id);
  return std::nullopt;
}

Status ColLength(const Args& args, const EvalScope& scope, Scalar& out) {
  out = MetaInt(std::nullopt);
  if (AnyNull(args)) return std::nullopt;
  std::string table, column_name;
  if (Status s = MetaText(args[0], 1, "col_length", table)) return s;
  if (Status s = MetaText(args[1], 2, "col_length", column_name)) return s;
  Database* db = nullptr;
  std::optional<ObjectRef> ref = ObjectByName(table, scope, &db);
  if (!ref) return std::nullopt;
  std::optional<ColumnFacts> column = MetaColumn(*db, *ref, column_name, scope);
  if (column) out = MetaInt(StorageLength(column->type));
  return std::nullopt;
}

Status IndexCol(const Args& args, const EvalScope& scope, Scalar& out) {
  out = MetaName(std::nullopt);
  if (AnyNull(args)) return std::nullopt;
  std::string table;
  int64_t indid = 0, keyid = 0;
  if (Status s = MetaText(args[0], 1, "index_col", table)) return s;
  if (Status s = IntegerArgument(args[1], 2, "index_col", indid)) return s;
  if (Status s = IntegerArgument(args[2], 3, "index_col", keyid)) return s;
  std::optional<ObjectRef> ref = ObjectByName(table, scope);
  if (!ref || ref->kind != ObjectKind::kTable) return std::nullopt;
  const Index* index = FindIndexById(*ref->table, indid);
  if (index && keyid >= 1 && keyid <= static_cast<int64_t>(index->columns.size()))
    out = MetaName(index->columns[keyid - 1]);
  return std::nullopt;
}

// USER_NAME(): the current user, dbo for every login here; USER_NAME(uid)
// the user of that id in the current database.
Status MetaUserName(const Args& args, const EvalScope& scope, Scalar& out) {
  out = MetaName(std::string("dbo"));
  if (args.empty()) return std::nullopt;
  out = MetaName(std::nullopt);
  if (args[0].is_null()) return std::nullopt;
  int64_t uid = 0;
  if (Status s = IntegerArgument(args[0], 1, "user_name", uid)) return s;
  Database* db = scope.exec.CurrentDatabase();
  if (!db) return std::nullopt;
  if (uid == 0) out = MetaName(std::string("public"));
  if (uid == 3) out = MetaName(std::string("INFORMATION_SCHEMA"));
  if (uid == 4) out = MetaName(std::string("system_function_schema"));
  for (const std::string& user : db->users) {
    if (SysUserId(*db, user) == uid) out = MetaName(user);
  }
  return std::nullopt;
}

Status MetaUserId(const Args& args, const EvalScope& scope, Scalar& out) {
  out = Scalar{DefaultType(BaseType::kSmallInt), int64_t{1}};
  if (args.empty()) return std::nullopt;
  out.value = std::monostate{};
  if (args[0].is_null()) return std::nullopt;
  std::string name;
  if (Status s = MetaText(args[0], 1, "user_id", name)) return s;
  Database* db = scope.exec.CurrentDatabase();
  if (!db) return std::nullopt;
  if (EqualNoCase(name, "public")) out.value = int64_t{0};
  if (EqualNoCase(name, "INFORMATION_SCHEMA")) out.value = int64_t{3};
  if (db->HasUser(name, scope.exec.collation())) out.value = int64_t{SysUserId(*db, name)};
  return std::nullopt;
}

// DATABASEPROPERTYEX's answers for a database: every database here is
// online, read-write, open to all users, full recovery, never auto-closed
// or auto-shrunk, with statistics made and updated automatically.
std::optional<Scalar> DatabasePropertyEx(const Database& db, const std::string& p) {
  auto text = [](const char* v) {
    return Scalar{DataType{BaseType::kNVarChar, 128, 0, 0}, std::string(v)};
  };
  auto number = [](int64_t v) { return Scalar{DefaultType(BaseType::kInt), v}; };
  if (Is(p, "Collation")) return Scalar{DataType{BaseType::kNVarChar, 128, 0, 0}, db.collation};
  if (Is(p, "Status")) return text("ONLINE");
  if (Is(p, "Updateability")) return text("READ_WRITE");
  if (Is(p, "UserAccess")) return text("MULTI_USER");
  if (Is(p, "Recovery")) return text(db.system && db.name != "msdb" ? "SIMPLE" : "FULL");
  if (Is(p, "Version")) return number(539);
  if (Is(p, "SQLSortOrder"))
    return number(EqualNoCase(db.collation, "SQL_Latin1_General_CP1_CS_AS") ? 51 : 52);
  if (Is(p, "LCID")) return number(1033);
  if (Is(p, "ComparisonStyle"))
    return number(EqualNoCase(db.collation, "SQL_Latin1_General_CP1_CS_AS") ? 196608 : 196609);
  if (Is(p, "IsAutoCreateStatistics") || Is(p, "IsAutoUpdateStatistics") ||
      Is(p, "IsTornPageDetectionEnabled"))
    return number(1);
  if (Is(p, "IsFulltextEnabled")) return number(db.fulltext_enabled ? 1 : 0);
  if (Is(p, "IsPublished")) return number(db.publish ? 1 : 0);
  if (Is(p, "IsMergePublished")) return number(db.merge_publish ? 1 : 0);
  if (Is(p, "IsSubscribed")) return number(0);
  if (Is(p, "IsAutoClose") || Is(p, "IsAutoShrink") || Is(p, "IsAnsiNullDefault") ||
      Is(p, "IsAnsiNullsEnabled") || Is(p, "IsAnsiPaddingEnabled") ||
      Is(p, "IsAnsiWarningsEnabled") || Is(p, "IsArithmeticAbortEnabled") ||
      Is(p, "IsCloseCursorsOnCommitEnabled") || Is(p, "IsInStandBy") ||
      Is(p, "IsLocalCursorsDefault") || Is(p, "IsNullConcat") ||
      Is(p, "IsNumericRoundAbortEnabled") || Is(p, "IsQuotedIdentifiersEnabled") ||
      Is(p, "IsRecursiveTriggersEnabled"))
    return number(0);
  return std::nullopt;
}

Status DatabasePropertyExFn(const Args& args, const EvalScope& scope, Scalar& out) {
  out = Scalar{DefaultType(BaseType::kSqlVariant), std::monostate{}};
  if (AnyNull(args)) return std::nullopt;
  std::string name, property;
  if (Status s = MetaText(args[0], 1, "databasepropertyex", name)) return s;
  if (Status s = MetaText(args[1], 2, "databasepropertyex", property)) return s;
  Database* db = scope.exec.server.FindDatabase(name);
  if (!db) return std::nullopt;
  if (std::optional<Scalar> value = DatabasePropertyEx(*db, property)) {
    // sql_variant keeps its base type's value.
    out = *value;
    out.type = value->type;
  }
  return std::nullopt;
}

// The older DATABASEPROPERTY: 1/0 for the Is... options, the version.
Status DatabaseProperty(const Args& args, const EvalScope& scope, Scalar& out) {
  out = MetaInt(std::nullopt);
  if (AnyNull(args)) return std::nullopt;
  std::string name, property;
  if (Status s = MetaText(args[0], 1, "databaseproperty", name)) return s;
  if (Status s = MetaText(args[1], 2, "databaseproperty", property)) return s;
  Database* db = scope.exec.server.FindDatabase(name);
  if (!db) return std::nullopt;
  const std::string& p = property;
  if (Is(p, "IsTruncLog")) {
    out = MetaInt(db->system && db->name != "msdb" ? 1 : 0);
  } else if (Is(p, "IsOffline") || Is(p, "IsReadOnly") || Is(p, "IsSingleUser") ||
             Is(p, "IsDboOnly") || Is(p, "IsShutDown") || Is(p, "IsSuspect") ||
             Is(p, "IsEmergencyMode") || Is(p, "IsInLoad") || Is(p, "IsInRecovery") ||
             Is(p, "IsNotRecovered") || Is(p, "IsDetached") || Is(p, "IsBulkCopy") ||
             Is(p, "IsSelectIntoBulkCopy")) {
    out = MetaInt(0);
  } else if (Is(p, "Version")) {
    out = MetaInt(539);
  } else if (std::optional<Scalar> value = DatabasePropertyEx(*db, property);
             value && Family(value->type) == TypeFamily::kInteger) {
    out = MetaInt(std::get<int64_t>(value->value));
  }
  return std::nullopt;
}

// The server's full-text catalogs are never populated: no items, idle.
Status FullTextCatalogProperty(const Args& args, const EvalScope& scope, Scalar& out) {
  out = MetaInt(std::nullopt);
  if (AnyNull(args)) return std::nullopt;
  std::string name, property;
  if (Status s = MetaText(args[0], 1, "fulltextcatalogproperty", name)) return s;
  if (Status s = MetaText(args[1], 2, "fulltextcatalogproperty", property)) return s;
  Database* db = scope.exec.CurrentDatabase();
  if (!db || !db->FindFullTextCatalog(name, scope.exec.collation())) return std::nullopt;
  const std::string& p = property;
  if (Is(p, "PopulateStatus") || Is(p, "ItemCount") || Is(p, "IndexSize") ||
      Is(p, "UniqueKeyCount") || Is(p, "LogSize") || Is(p, "PopulateCompletionAge"))
    out = MetaInt(0);
  return std::nullopt;
}

Status FullTextServiceProperty(const Args& args, const EvalScope& scope, Scalar& out) {
  out = MetaInt(std::nullopt);
  if (AnyNull(args)) return std::nullopt;
  std::string property;
  if (Status s = MetaText(args[0], 1, "fulltextserviceproperty", property)) return s;
  const std::string& p = property;
  if (Is(p, "IsFulltextInstalled"))
    out = MetaInt(scope.exec.server.options.full_text_installed ? 1 : 0);
  if (Is(p, "ResourceUsage")) out = MetaInt(3);
  if (Is(p, "ConnectTimeout")) out = MetaInt(20);
  return std::nullopt;
}

// FILE_NAME, FILE_ID, FILEGROUP_NAME and FILEGROUP_ID: the current
// database's files and its one filegroup, PRIMARY, as sysfiles and
// sysfilegroups show them; NULL for any other.
Status FileName(const Args& args, const EvalScope& scope, Scalar& out) {
  out = MetaName(std::nullopt);
  int64_t id = 0;
  Database* db = scope.exec.CurrentDatabase();
  if (args[0].is_null() || !db) return std::nullopt;
  if (Status s = IntegerArgument(args[0], 1, "file_name", id)) return s;
  if (std::string name = LogicalFileName(*db, id); !name.empty()) out.value = name;
  return std::nullopt;
}

Status FileId(const Args& args, const EvalScope& scope, Scalar& out) {
  out = Scalar{DefaultType(BaseType::kSmallInt), std::monostate{}};
  std::string name;
  Database* db = scope.exec.CurrentDatabase();
  if (args[0].is_null() || !db) return std::nullopt;
  if (Status s = MetaText(args[0], 1, "file_id", name)) return s;
  for (int64_t id : {1, 2}) {
    if (scope.exec.collation().Equal(name, LogicalFileName(*db, id))) out.value = id;
  }
  return std::nullopt;
}

Status FilegroupName(const Args& args, const EvalScope&, Scalar& out) {
  out = MetaName(std::nullopt);
  int64_t id = 0;
  if (args[0].is_null()) return std::nullopt;
  if (Status s = IntegerArgument(args[0], 1, "filegroup_name", id)) return s;
  if (id == 1) out.value = std::string("PRIMARY");
  return std::nullopt;
}

Status FilegroupId(const Args& args, const EvalScope&, Scalar& out) {
  out = Scalar{DefaultType(BaseType::kSmallInt), std::monostate{}};
  std::string name;
  if (args[0].is_null()) return std::nullopt;
  if (Status s = MetaText(args[0], 1, "filegroup_id", name)) return s;
  if (EqualNoCase(name, "PRIMARY")) out.value = int64_t{1};
  return std::nullopt;
}

// HAS_DBACCESS, IS_MEMBER and IS_SRVROLEMEMBER answer as the catalog does:
// every login may do everything (syslogins makes each a sysadmin and
// nothing else), and in a database it is dbo, of the db_owner role.
Status HasDbAccess(const Args& args, const EvalScope& scope, Scalar& out) {
  out = MetaInt(std::nullopt);
  std::string name;
  if (args[0].is_null()) return std::nullopt;
  if (Status s = MetaText(args[0], 1, "has_dbaccess", name)) return s;
  if (scope.exec.server.FindDatabase(name)) out.value = int64_t{1};
  return std::nullopt;
}

constexpr std::string_view kDatabaseRoles[] = {
    "db_accessadmin", "db_backupoperator", "db_datareader",     "db_datawriter",
    "db_ddladmin",    "db_denydatareader", "db_denydatawriter", "db_securityadmin"};

Status IsMember(const Args& args, const EvalScope&, Scalar& out) {
  out = MetaInt(std::nullopt);
  std::string role;
  if (args[0].is_null()) return std::nullopt;
  if (Status s = MetaText(args[0], 1, "is_member", role)) return s;
  if (EqualNoCase(role, "public") || EqualNoCase(role, "db_owner")) out.value = int64_t{1};
  for (std::string_view other : kDatabaseRoles) {
    if (EqualNoCase(role, other)) out.value = int64_t{0};
  }
  return std::nullopt;
}

constexpr std::string_view kServerRoles[] = {"sysadmin",   "securityadmin", "serveradmin",
                                             "setupadmin", "processadmin",  "diskadmin",
                                             "dbcreator",  "bulkadmin"};

Status IsSrvRoleMember(const Args& args, const EvalScope& scope, Scalar& out) {
  out = MetaInt(std::nullopt);
  std::string role, login = scope.exec.session.login;
  if (AnyNull(args)) return std::nullopt;
  if (Status s = MetaText(args[0], 1, "is_srvrolemember", role)) return s;
  if (args.size() > 1) {
    if (Status s = MetaText(args[1], 2, "is_srvrolemember", login)) return s;
    const auto& logins = scope.exec.server.logins;
    if (std::none_of(logins.begin(), logins.end(),
                     [&](const std::string& known) { return EqualNoCase(known, login); }))
      return std::nullopt;
  }
  for (std::string_view known : kServerRoles) {
    if (EqualNoCase(role, known)) out.value = int64_t{known == "sysadmin" ? 1 : 0};
  }
  return std::nullopt;
}

// The login's security id as syslogins gives it: 0x01 for sa, the name's
// bytes for the others; NULL for a name that is no login.
Status SuserSid(const Args& args, const EvalScope& scope, Scalar& out) {
  out = Scalar{DataType{BaseType::kVarBinary, 85, 0, 0}, std::monostate{}};
  if (args.empty()) {
    // The session's own login, trusted ones too, which syslogins leaves out.
    out.value = LoginSid(scope.exec.session.login);
    return std::nullopt;
  }
  std::string login;
  if (args[0].is_null()) return std::nullopt;
  if (Status s = MetaText(args[0], 1, "suser_sid", login)) return s;
  for (const std::string& known : scope.exec.server.logins) {
    if (EqualNoCase(known, login)) out.value = LoginSid(known);
  }
  return std::nullopt;
}

// clang-format off
constexpr FunctionRow kMetadataFunctions[] = {
    {"OBJECT_ID", 1, 1, MetaObjectId},
    {"OBJECT_NAME", 1, 1, MetaObjectName},
    {"OBJECTPROPERTY", 2, 2, ObjectProperty},
    {"COLUMNPROPERTY", 3, 3, ColumnProperty},
    {"INDEXPROPERTY", 3, 3, IndexProperty},
    {"TYPEPROPERTY", 2, 2, TypeProperty},
    {"COL_NAME", 2, 2, ColName},
    {"COL_LENGTH", 2, 2, ColLength},
    {"INDEX_COL", 3, 3, IndexCol},
    {"USER_NAME", 0, 1, MetaUserName},
    {"USER_ID", 0, 1, MetaUserId},
    {"DATABASEPROPERTYEX", 2, 2, DatabasePropertyExFn},
    {"DATABASEPROPERTY", 2, 2, DatabaseProperty},
    {"FULLTEXTCATALOGPROPERTY", 2, 2, FullTextCatalogProperty},
    {"FULLTEXTSERVICEPROPERTY", 1, 1, FullTextServiceProperty},
    {"FILE_NAME", 1, 1, FileName},
    {"FILE_ID", 1, 1, FileId},
    {"FILEGROUP_NAME", 1, 1, FilegroupName},
    {"FILEGROUP_ID", 1, 1, FilegroupId},
    {"HAS_DBACCESS", 1, 1, HasDbAccess},
    {"IS_MEMBER", 1, 1, IsMember},
    {"IS_SRVROLEMEMBER", 1, 2, IsSrvRoleMember},
    {"SUSER_SID", 0, 1, SuserSid},
};
// clang-format on

}  // namespace

std::span<const FunctionRow> MetadataFunctions() { return kMetadataFunctions; }

}  // namespace server
