// The INFORMATION_SCHEMA views, built from the catalog as the system tables
// are (rather than as SQL over them): the same facts, one code path, and no
// query to run for each read. Columns follow SQL Server 2000's views; the
// length columns are int (text's 2147483647 does not fit a smallint).

#include <algorithm>

#include "server/exec/system_tables.h"
#include "server/exec/type_resolution.h"
#include "server/sql/parser.h"
#include "server/types/collation.h"

namespace server {

namespace {

using namespace sys_type;

constexpr DataType kName = NVarChar(128);

constexpr SystemColumn kSchemata[] = {
    {"CATALOG_NAME", kName},
    {"SCHEMA_NAME", kName},
    {"SCHEMA_OWNER", kName},
    {"DEFAULT_CHARACTER_SET_CATALOG", VarChar(6)},
    {"DEFAULT_CHARACTER_SET_SCHEMA", VarChar(3)},
    {"DEFAULT_CHARACTER_SET_NAME", kName},
};

constexpr SystemColumn kTables[] = {
    {"TABLE_CATALOG", kName},
    {"TABLE_SCHEMA", kName},
    {"TABLE_NAME", kName},
    {"TABLE_TYPE", VarChar(10)},
};

// COLUMNS and ROUTINE_COLUMNS.
constexpr SystemColumn kColumns[] = {
    {"TABLE_CATALOG", kName},
    {"TABLE_SCHEMA", kName},
    {"TABLE_NAME", kName},
    {"COLUMN_NAME", kName},
    {"ORDINAL_POSITION", kSmallInt},
    {"COLUMN_DEFAULT", NVarChar(4000)},
    {"IS_NULLABLE", VarChar(3)},
    {"DATA_TYPE", kName},
    {"CHARACTER_MAXIMUM_LENGTH", kInt},
    {"CHARACTER_OCTET_LENGTH", kInt},
    {"NUMERIC_PRECISION", kTinyInt},
    {"NUMERIC_PRECISION_RADIX", kSmallInt},
    {"NUMERIC_SCALE", kInt},
    {"DATETIME_PRECISION", kSmallInt},
    {"CHARACTER_SET_CATALOG", VarChar(6)},
    {"CHARACTER_SET_SCHEMA", VarChar(3)},
    {"CHARACTER_SET_NAME", kName},
    {"COLLATION_CATALOG", VarChar(6)},
    {"COLLATION_SCHEMA", VarChar(3)},
    {"COLLATION_NAME", kName},
    {"DOMAIN_CATALOG", kName},
    {"DOMAIN_SCHEMA", kName},
    {"DOMAIN_NAME", kName},
};

constexpr SystemColumn kViews[] = {
    {"TABLE_CATALOG", kName},     {"TABLE_SCHEMA", kName},
    {"TABLE_NAME", kName},        {"VIEW_DEFINITION", NVarChar(4000)},
    {"CHECK_OPTION", VarChar(7)}, {"IS_UPDATABLE", VarChar(2)},
};

constexpr SystemColumn kViewTableUsage[] = {
    {"VIEW_CATALOG", kName},  {"VIEW_SCHEMA", kName},  {"VIEW_NAME", kName},
    {"TABLE_CATALOG", kName}, {"TABLE_SCHEMA", kName}, {"TABLE_NAME", kName},
};

constexpr SystemColumn kViewColumnUsage[] = {
    {"VIEW_CATALOG", kName},  {"VIEW_SCHEMA", kName},  {"VIEW_NAME", kName},
    {"TABLE_CATALOG", kName}, {"TABLE_SCHEMA", kName}, {"TABLE_NAME", kName},
    {"COLUMN_NAME", kName},
};

constexpr SystemColumn kTableConstraints[] = {
    {"CONSTRAINT_CATALOG", kName},
    {"CONSTRAINT_SCHEMA", kName},
    {"CONSTRAINT_NAME", kName},
    {"TABLE_CATALOG", kName},
    {"TABLE_SCHEMA", kName},
    {"TABLE_NAME", kName},
    {"CONSTRAINT_TYPE", VarChar(11)},
    {"IS_DEFERRABLE", VarChar(2)},
    {"INITIALLY_DEFERRED", VarChar(2)},
};

constexpr SystemColumn kKeyColumnUsage[] = {
    {"CONSTRAINT_CATALOG", kName}, {"CONSTRAINT_SCHEMA", kName}, {"CONSTRAINT_NAME", kName},
    {"TABLE_CATALOG", kName},      {"TABLE_SCHEMA", kName},      {"TABLE_NAME", kName},
    {"COLUMN_NAME", kName},        {"ORDINAL_POSITION", kInt},
};

constexpr SystemColumn kReferentialConstraints[] = {
    {"CONSTRAINT_CATALOG", kName},       {"CONSTRAINT_SCHEMA", kName},
    {"CONSTRAINT_NAME", kName},          {"UNIQUE_CONSTRAINT_CATALOG", kName},
    {"UNIQUE_CONSTRAINT_SCHEMA", kName}, {"UNIQUE_CONSTRAINT_NAME", kName},
    {"MATCH_OPTION", VarChar(7)},        {"UPDATE_RULE", VarChar(9)},
    {"DELETE_RULE", VarChar(9)},
};

constexpr SystemColumn kCheckConstraints[] = {
    {"CONSTRAINT_CATALOG", kName},
    {"CONSTRAINT_SCHEMA", kName},
    {"CONSTRAINT_NAME", kName},
    {"CHECK_CLAUSE", NVarChar(4000)},
};

constexpr SystemColumn kConstraintTableUsage[] = {
    {"TABLE_CATALOG", kName},      {"TABLE_SCHEMA", kName},      {"TABLE_NAME", kName},
    {"CONSTRAINT_CATALOG", kName}, {"CONSTRAINT_SCHEMA", kName}, {"CONSTRAINT_NAME", kName},
};

constexpr SystemColumn kConstraintColumnUsage[] = {
    {"TABLE_CATALOG", kName},   {"TABLE_SCHEMA", kName},       {"TABLE_NAME", kName},
    {"COLUMN_NAME", kName},     {"CONSTRAINT_CATALOG", kName}, {"CONSTRAINT_SCHEMA", kName},
    {"CONSTRAINT_NAME", kName},
};

constexpr SystemColumn kColumnDomainUsage[] = {
    {"DOMAIN_CATALOG", kName}, {"DOMAIN_SCHEMA", kName}, {"DOMAIN_NAME", kName},
    {"TABLE_CATALOG", kName},  {"TABLE_SCHEMA", kName},  {"TABLE_NAME", kName},
    {"COLUMN_NAME", kName},
};

constexpr SystemColumn kDomains[] = {
    {"DOMAIN_CATALOG", kName},
    {"DOMAIN_SCHEMA", kName},
    {"DOMAIN_NAME", kName},
    {"DATA_TYPE", kName},
    {"CHARACTER_MAXIMUM_LENGTH", kInt},
    {"CHARACTER_OCTET_LENGTH", kInt},
    {"COLLATION_CATALOG", VarChar(6)},
    {"COLLATION_SCHEMA", VarChar(3)},
    {"COLLATION_NAME", kName},
    {"CHARACTER_SET_CATALOG", VarChar(6)},
    {"CHARACTER_SET_SCHEMA", VarChar(3)},
    {"CHARACTER_SET_NAME", kName},
    {"NUMERIC_PRECISION", kTinyInt},
    {"NUMERIC_PRECISION_RADIX", kSmallInt},
    {"NUMERIC_SCALE", kInt},
    {"DATETIME_PRECISION", kSmallInt},
    {"DOMAIN_DEFAULT", NVarChar(4000)},
};

constexpr SystemColumn kDomainConstraints[] = {
    {"CONSTRAINT_CATALOG", kName}, {"CONSTRAINT_SCHEMA", kName},       {"CONSTRAINT_NAME", kName},
    {"DOMAIN_CATALOG", kName},     {"DOMAIN_SCHEMA", kName},           {"DOMAIN_NAME", kName},
    {"IS_DEFERRABLE", VarChar(2)}, {"INITIALLY_DEFERRED", VarChar(2)},
};

constexpr SystemColumn kRoutines[] = {
    {"SPECIFIC_CATALOG", kName},
    {"SPECIFIC_SCHEMA", kName},
    {"SPECIFIC_NAME", kName},
    {"ROUTINE_CATALOG", kName},
    {"ROUTINE_SCHEMA", kName},
    {"ROUTINE_NAME", kName},
    {"ROUTINE_TYPE", NVarChar(20)},
    {"MODULE_CATALOG", kName},
    {"MODULE_SCHEMA", kName},
    {"MODULE_NAME", kName},
    {"UDT_CATALOG", kName},
    {"UDT_SCHEMA", kName},
    {"UDT_NAME", kName},
    {"DATA_TYPE", kName},
    {"CHARACTER_MAXIMUM_LENGTH", kInt},
    {"CHARACTER_OCTET_LENGTH", kInt},
    {"COLLATION_CATALOG", VarChar(6)},
    {"COLLATION_SCHEMA", VarChar(3)},
    {"COLLATION_NAME", kName},
    {"CHARACTER_SET_CATALOG", VarChar(6)},
    {"CHARACTER_SET_SCHEMA", VarChar(3)},
    {"CHARACTER_SET_NAME", kName},
    {"NUMERIC_PRECISION", kTinyInt},
    {"NUMERIC_PRECISION_RADIX", kSmallInt},
    {"NUMERIC_SCALE", kInt},
    {"DATETIME_PRECISION", kSmallInt},
    {"INTERVAL_TYPE", NVarChar(30)},
    {"INTERVAL_PRECISION", kSmallInt},
    {"TYPE_UDT_CATALOG", kName},
    {"TYPE_UDT_SCHEMA", kName},
    {"TYPE_UDT_NAME", kName},
    {"SCOPE_CATALOG", kName},
    {"SCOPE_SCHEMA", kName},
    {"SCOPE_NAME", kName},
    {"MAXIMUM_CARDINALITY", kBigInt},
    {"DTD_IDENTIFIER", kName},
    {"ROUTINE_BODY", NVarChar(30)},
    {"ROUTINE_DEFINITION", NVarChar(4000)},
    {"EXTERNAL_NAME", kName},
    {"EXTERNAL_LANGUAGE", NVarChar(30)},
    {"PARAMETER_STYLE", NVarChar(30)},
    {"IS_DETERMINISTIC", NVarChar(10)},
    {"SQL_DATA_ACCESS", NVarChar(30)},
    {"IS_NULL_CALL", NVarChar(10)},
    {"SQL_PATH", kName},
    {"SCHEMA_LEVEL_ROUTINE", NVarChar(10)},
    {"MAX_DYNAMIC_RESULT_SETS", kSmallInt},
    {"IS_USER_DEFINED_CAST", NVarChar(10)},
    {"IS_IMPLICITLY_INVOCABLE", NVarChar(10)},
    {"CREATED", kDateTime},
    {"LAST_ALTERED", kDateTime},
};

constexpr SystemColumn kParameters[] = {
    {"SPECIFIC_CATALOG", kName},
    {"SPECIFIC_SCHEMA", kName},
    {"SPECIFIC_NAME", kName},
    {"ORDINAL_POSITION", kSmallInt},
    {"PARAMETER_MODE", NVarChar(10)},
    {"IS_RESULT", NVarChar(10)},
    {"AS_LOCATOR", NVarChar(10)},
    {"PARAMETER_NAME", kName},
    {"DATA_TYPE", kName},
    {"CHARACTER_MAXIMUM_LENGTH", kInt},
    {"CHARACTER_OCTET_LENGTH", kInt},
    {"COLLATION_CATALOG", VarChar(6)},
    {"COLLATION_SCHEMA", VarChar(3)},
    {"COLLATION_NAME", kName},
    {"CHARACTER_SET_CATALOG", VarChar(6)},
    {"CHARACTER_SET_SCHEMA", VarChar(3)},
    {"CHARACTER_SET_NAME", kName},
    {"NUMERIC_PRECISION", kTinyInt},
    {"NUMERIC_PRECISION_RADIX", kSmallInt},
    {"NUMERIC_SCALE", kInt},
    {"DATETIME_PRECISION", kSmallInt},
    {"INTERVAL_TYPE", NVarChar(30)},
    {"INTERVAL_PRECISION", kSmallInt},
    {"USER_DEFINED_TYPE_CATALOG", kName},
    {"USER_DEFINED_TYPE_SCHEMA", kName},
    {"USER_DEFINED_TYPE_NAME", kName},
    {"SCOPE_CATALOG", kName},
    {"SCOPE_SCHEMA", kName},
    {"SCOPE_NAME", kName},
};

constexpr SystemColumn kTablePrivileges[] = {
    {"GRANTOR", kName},           {"GRANTEE", kName},    {"TABLE_CATALOG", kName},
    {"TABLE_SCHEMA", kName},      {"TABLE_NAME", kName}, {"PRIVILEGE_TYPE", VarChar(10)},
    {"IS_GRANTABLE", VarChar(3)},
};

constexpr SystemColumn kColumnPrivileges[] = {
    {"GRANTOR", kName},
    {"GRANTEE", kName},
    {"TABLE_CATALOG", kName},
    {"TABLE_SCHEMA", kName},
    {"TABLE_NAME", kName},
    {"COLUMN_NAME", kName},
    {"PRIVILEGE_TYPE", VarChar(10)},
    {"IS_GRANTABLE", VarChar(3)},
};

// The columns that describe a value's type: in COLUMNS' order, or with the
// collation before the numbers as DOMAINS, ROUTINES and PARAMETERS have them.
enum class FactOrder { kColumns, kCollationFirst };

void AppendTypeFacts(const DataType& type, const std::string& collation, Row& row,
                     FactOrder order = FactOrder::kColumns) {
  TypeFamily family = Family(type);
  const TypeInfo& info = Info(type.base);
  Value max_length, octets;
  if (info.sized) {
    max_length = int64_t{type.length};
    octets = int64_t{info.unicode ? 2 * type.length : type.length};
  } else if (type.base == BaseType::kNText) {
    max_length = int64_t{1073741823};
    octets = int64_t{2147483646};
  } else if (family == TypeFamily::kText || family == TypeFamily::kImage) {
    max_length = int64_t{2147483647};
    octets = int64_t{2147483647};
  }
  bool numeric = family == TypeFamily::kInteger || family == TypeFamily::kExact ||
                 family == TypeFamily::kMoney || family == TypeFamily::kApprox;
  Value precision = numeric ? Value(int64_t{TypePrecision(type)}) : Value();
  Value radix = numeric ? Value(int64_t{family == TypeFamily::kApprox ? 2 : 10}) : Value();
  Value scale =
      numeric && family != TypeFamily::kApprox ? Value(int64_t{TypeScale(type)}) : Value();
  Value datetime = family == TypeFamily::kDateTime
                       ? Value(int64_t{type.base == BaseType::kDateTime ? 3 : 0})
                       : Value();
  bool character = IsCharacterLike(type);
  Value charset_catalog = character ? Value(std::string("master")) : Value();
  Value charset_schema = character ? Value(std::string("dbo")) : Value();
  Value charset = character ? Value(std::string(info.unicode ? "UNICODE" : "iso_1")) : Value();
  Value collation_name = character ? SysTextOrNull(collation) : Value();
  if (order == FactOrder::kColumns) {
    row.insert(row.end(), {max_length, octets, precision, radix, scale, datetime, charset_catalog,
                           charset_schema, charset, Value(), Value(), collation_name});
  } else {
    row.insert(row.end(), {max_length, octets, Value(), Value(), collation_name, charset_catalog,
                           charset_schema, charset, precision, radix, scale, datetime});
  }
}

std::vector<ObjectRef> ObjectsOf(Database& db, std::initializer_list<ObjectKind> kinds) {
  std::vector<ObjectRef> out;
  for (const ObjectRef& ref : db.AllObjects()) {
    if (std::find(kinds.begin(), kinds.end(), ref.kind) != kinds.end()) out.push_back(ref);
  }
  std::stable_sort(out.begin(), out.end(), [](const ObjectRef& a, const ObjectRef& b) {
    return LowerText(a.name) < LowerText(b.name);
  });
  return out;
}

Status SchemataRows(SystemScope& scope, std::vector<Row>& rows) {
  for (const auto& db : scope.ctx.server.databases) {
    rows.push_back(
        {db->name, std::string("dbo"), std::string("dbo"), Value(), Value(), std::string("iso_1")});
  }
  return std::nullopt;
}

Status TablesRows(SystemScope& scope, std::vector<Row>& rows) {
  Database& db = scope.db;
  // User tables and views only (sysobjects' 'U' and 'V'): the system tables
  // are not part of the schema a client reflects.
  for (const ObjectRef& ref : ObjectsOf(db, {ObjectKind::kTable, ObjectKind::kView})) {
    rows.push_back({db.name, ref.owner, ref.name,
                    std::string(ref.kind == ObjectKind::kView ? "VIEW" : "BASE TABLE")});
  }
  return std::nullopt;
}

Status ColumnsRows(SystemScope& scope, std::vector<Row>& rows) {
  Database& db = scope.db;
  for (const ObjectRef& ref : ObjectsOf(db, {ObjectKind::kTable, ObjectKind::kView})) {
    for (const ColumnFacts& column : ObjectColumns(ref, scope)) {
      bool domain = column.xusertype > 256;
      Row row{db.name,
              ref.owner,
              ref.name,
              column.name,
              SysInt(column.colid),
              SysTextOrNull(column.default_text),
              std::string(column.nullable ? "YES" : "NO"),
              std::string(Info(column.type.base).name)};
      AppendTypeFacts(column.type, column.collation, row);
      row.insert(row.end(),
                 {domain ? Value(db.name) : Value(), domain ? Value(std::string("dbo")) : Value(),
                  domain ? Value(column.type_name) : Value()});
      rows.push_back(std::move(row));
    }
  }
  return std::nullopt;
}

// The CREATE statement a module was made with, parsed; null when it does
// not parse (it always should).
std::shared_ptr<Batch> ParseModule(const Module& module) {
  auto parsed = ParseBatch(module.text, module.quoted_identifier);
  if (auto* batch = std::get_if<Batch>(&parsed)) return std::make_shared<Batch>(std::move(*batch));
  return nullptr;
}

const CreateModuleStmt* CreateOf(const Batch* batch) {
  if (!batch || batch->statements.empty()) return nullptr;
  return std::get_if<CreateModuleStmt>(&batch->statements[0].node);
}

void CollectTables(const FromItem& item, std::vector<ObjectName>& out);

void CollectTables(const SelectStmt& select, std::vector<ObjectName>& out) {
  for (const FromItem& item : select.from) CollectTables(item, out);
  for (const UnionPart& part : select.unions) {
    if (part.query) CollectTables(*part.query, out);
  }
}

void CollectTables(const FromItem& item, std::vector<ObjectName>& out) {
  if (item.is_join()) {
    CollectTables(*item.left, out);
    CollectTables(*item.right, out);
  } else if (item.derived) {
    CollectTables(*item.derived, out);
  } else if (!item.function && !item.table.name.variable) {
    out.push_back(item.table.name);
  }
}

// The tables and views a view's FROM clauses name, each once.
std::vector<ObjectRef> ViewTables(const Module& view, Database& db, const Collation& collation) {
  std::vector<ObjectRef> out;
  std::shared_ptr<Batch> batch = ParseModule(view);
  const CreateModuleStmt* create = CreateOf(batch.get());
  if (!create || !create->select) return out;
  std::vector<ObjectName> names;
  CollectTables(*create->select, names);
  for (const ObjectName& name : names) {
    if (!name.database.empty() && !collation.Equal(name.database, db.name)) continue;
    std::optional<ObjectRef> found = db.FindObject(name.owner, name.name, collation);
    if (!found || (found->kind != ObjectKind::kTable && found->kind != ObjectKind::kView)) continue;
    bool seen =
        std::any_of(out.begin(), out.end(), [&](const ObjectRef& r) { return r.id == found->id; });
    if (!seen) out.push_back(*found);
  }
  return out;
}

// Whether `word` appears in `text` as a whole word (a name the text uses).
bool UsesWord(const std::string& text, const std::string& word) {
  std::string lower_text = LowerText(text);
  std::string lower_word = LowerText(word);
  auto is_name_char = [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '@' || c == '#' ||
           (c & 0x80);
  };
  for (size_t at = lower_text.find(lower_word); at != std::string::npos;
       at = lower_text.find(lower_word, at + 1)) {
    bool before = at == 0 || !is_name_char(lower_text[at - 1]);
    size_t end = at + lower_word.size();
    bool after = end >= lower_text.size() || !is_name_char(lower_text[end]);
    if (before && after) return true;
  }
  return false;
}

Status ViewsRows(SystemScope& scope, std::vector<Row>& rows) {
  Database& db = scope.db;
  for (const ObjectRef& ref : ObjectsOf(db, {ObjectKind::kView})) {
    const Module& view = *ref.module;
    // An encrypted view's text is not shown.
    Value definition = view.encrypted ? Value() : Value(view.text.substr(0, 4000));
    bool check_option = UsesWord(view.text, "CHECK") && UsesWord(view.text, "OPTION");
    rows.push_back({db.name, ref.owner, ref.name, definition,
                    std::string(check_option ? "CASCADE" : "NONE"), std::string("NO")});
  }
  return std::nullopt;
}

Status ViewTableUsageRows(SystemScope& scope, std::vector<Row>& rows) {
  Database& db = scope.db;
  for (const ObjectRef& ref : ObjectsOf(db, {ObjectKind::kView})) {
    for (const ObjectRef& table : ViewTables(*ref.module, db, scope.ctx.collation())) {
      rows.push_back({db.name, ref.owner, ref.name, db.name, table.owner, table.name});
    }
  }
  return std::nullopt;
}

// The columns of the tables a view reads that its text names.
Status ViewColumnUsageRows(SystemScope& scope, std::vector<Row>& rows) {
  Database& db = scope.db;
  for (const ObjectRef& ref : ObjectsOf(db, {ObjectKind::kView})) {
    const Module& view = *ref.module;
    for (const ObjectRef& table : ViewTables(view, db, scope.ctx.collation())) {
      bool star = view.text.find('*') != std::string::npos;
      for (const ColumnFacts& column : ObjectColumns(table, scope)) {
        if (!star && !UsesWord(view.text, column.name)) continue;
        rows.push_back(
            {db.name, ref.owner, ref.name, db.name, table.owner, table.name, column.name});
      }
    }
  }
  return std::nullopt;
}

const char* ConstraintType(ObjectKind kind) {
  switch (kind) {
    case ObjectKind::kPrimaryKey:
      return "PRIMARY KEY";
    case ObjectKind::kUnique:
      return "UNIQUE";
    case ObjectKind::kForeignKey:
      return "FOREIGN KEY";
    case ObjectKind::kCheck:
      return "CHECK";
    default:
      return nullptr;
  }
}

std::vector<ObjectRef> Constraints(Database& db) {
  return ObjectsOf(db, {ObjectKind::kPrimaryKey, ObjectKind::kUnique, ObjectKind::kForeignKey,
                        ObjectKind::kCheck});
}

// The columns a constraint covers, in key order.
std::vector<std::string> ConstraintColumns(const ObjectRef& ref) {
  const Table& table = *ref.table;
  for (const Index& index : table.indexes) {
    if (index.kind != IndexKind::kIndex && index.constraint_id == ref.id) return index.columns;
  }
  for (const ForeignKey& fk : table.foreign_keys) {
    if (fk.id == ref.id) return fk.columns;
  }
  for (const CheckConstraint& check : table.checks) {
    if (check.id != ref.id) continue;
    if (!check.column.empty()) return {check.column};
    std::vector<std::string> used;
    for (const Column& column : table.columns) {
      if (UsesWord(check.text, column.name)) used.push_back(column.name);
    }
    return used;
  }
  return {};
}

Status TableConstraintsRows(SystemScope& scope, std::vector<Row>& rows) {
  Database& db = scope.db;
  for (const ObjectRef& ref : Constraints(db)) {
    rows.push_back({db.name, ref.owner, ref.name, db.name, ref.table->owner, ref.table->name,
                    std::string(ConstraintType(ref.kind)), std::string("NO"), std::string("NO")});
  }
  return std::nullopt;
}

Status KeyColumnUsageRows(SystemScope& scope, std::vector<Row>& rows) {
  Database& db = scope.db;
  for (const ObjectRef& ref : Constraints(db)) {
    if (ref.kind == ObjectKind::kCheck) continue;
    std::vector<std::string> columns = ConstraintColumns(ref);
    for (size_t i = 0; i < columns.size(); ++i) {
      rows.push_back({db.name, ref.owner, ref.name, db.name, ref.table->owner, ref.table->name,
                      columns[i], SysInt(i + 1)});
    }
  }
  return std::nullopt;
}

// The server's foreign keys take no cascading actions.
Status ReferentialConstraintsRows(SystemScope& scope, std::vector<Row>& rows) {
  Database& db = scope.db;
  const Collation& collation = scope.ctx.collation();
  for (const ObjectRef& ref : ObjectsOf(db, {ObjectKind::kForeignKey})) {
    Value unique_name, unique_owner;
    for (const ForeignKey& fk : ref.table->foreign_keys) {
      if (fk.id != ref.id) continue;
      Table* referenced = db.FindTable(fk.ref_owner, fk.ref_table, collation);
      if (!referenced) continue;
      for (const Index& index : referenced->indexes) {
        if (index.kind == IndexKind::kIndex || index.columns.size() != fk.ref_columns.size())
          continue;
        bool same = true;
        for (size_t i = 0; i < index.columns.size(); ++i)
          same = same && collation.Equal(index.columns[i], fk.ref_columns[i]);
        if (same) {
          unique_name = index.name;
          unique_owner = referenced->owner;
        }
      }
    }
    rows.push_back({db.name, ref.owner, ref.name, db.name, unique_owner, unique_name,
                    std::string("SIMPLE"), std::string("NO ACTION"), std::string("NO ACTION")});
  }
  return std::nullopt;
}

Status CheckConstraintsRows(SystemScope& scope, std::vector<Row>& rows) {
  Database& db = scope.db;
  for (const ObjectRef& ref : ObjectsOf(db, {ObjectKind::kCheck})) {
    for (const CheckConstraint& check : ref.table->checks) {
      if (check.id == ref.id)
        rows.push_back({db.name, ref.owner, ref.name, "(" + check.text + ")"});
    }
  }
  return std::nullopt;
}

Status ConstraintTableUsageRows(SystemScope& scope, std::vector<Row>& rows) {
  Database& db = scope.db;
  for (const ObjectRef& ref : Constraints(db)) {
    rows.push_back({db.name, ref.table->owner, ref.table->name, db.name, ref.owner, ref.name});
  }
  return std::nullopt;
}

Status ConstraintColumnUsageRows(SystemScope& scope, std::vector<Row>& rows) {
  Database& db = scope.db;
  for (const ObjectRef& ref : Constraints(db)) {
    for (const std::string& column : ConstraintColumns(ref)) {
      rows.push_back(
          {db.name, ref.table->owner, ref.table->name, column, db.name, ref.owner, ref.name});
    }
  }
  return std::nullopt;
}

Status ColumnDomainUsageRows(SystemScope& scope, std::vector<Row>& rows) {
  Database& db = scope.db;
  for (const ObjectRef& ref : ObjectsOf(db, {ObjectKind::kTable})) {
    for (const ColumnFacts& column : ObjectColumns(ref, scope)) {
      if (column.xusertype <= 256) continue;
      rows.push_back({db.name, std::string("dbo"), column.type_name, db.name, ref.owner, ref.name,
                      column.name});
    }
  }
  return std::nullopt;
}

const Bindable* FindBindable(Database& db, const std::string& name, bool rule) {
  for (const Bindable& bindable : db.bindables) {
    if (bindable.is_rule == rule && EqualNoCase(bindable.name, name)) return &bindable;
  }
  return nullptr;
}

Status DomainsRows(SystemScope& scope, std::vector<Row>& rows) {
  Database& db = scope.db;
  for (const UserType& type : db.types) {
    Row row{db.name, type.owner, type.name, std::string(Info(type.base.base).name)};
    AppendTypeFacts(type.base, db.collation, row, FactOrder::kCollationFirst);
    const Bindable* def = FindBindable(db, type.default_name, false);
    row.push_back(def ? Value(def->text) : Value());
    rows.push_back(std::move(row));
  }
  return std::nullopt;
}

Status DomainConstraintsRows(SystemScope& scope, std::vector<Row>& rows) {
  Database& db = scope.db;
  for (const UserType& type : db.types) {
    const Bindable* rule = FindBindable(db, type.rule_name, true);
    if (!rule) continue;
    rows.push_back({db.name, rule->owner, rule->name, db.name, type.owner, type.name,
                    std::string("NO"), std::string("NO")});
  }
  return std::nullopt;
}

Status RoutinesRows(SystemScope& scope, std::vector<Row>& rows) {
  Database& db = scope.db;
  for (const ObjectRef& ref : ObjectsOf(db, {ObjectKind::kProcedure, ObjectKind::kFunction})) {
    const Module& module = *ref.module;
    bool procedure = module.type == ModuleType::kProcedure;
    std::optional<DataType> returns = module.type == ModuleType::kScalarFunction
                                          ? FunctionReturnType(module, db, scope.ctx)
                                          : std::nullopt;
    Value data_type = procedure ? Value()
                      : returns ? Value(std::string(Info(returns->base).name))
                                : Value(std::string("TABLE"));
    Row row{db.name,
            ref.owner,
            ref.name,
            db.name,
            ref.owner,
            ref.name,
            std::string(procedure ? "PROCEDURE" : "FUNCTION"),
            Value(),
            Value(),
            Value(),
            Value(),
            Value(),
            Value(),
            data_type};
    if (returns) {
      AppendTypeFacts(*returns, IsCharacterLike(*returns) ? db.collation : "", row,
                      FactOrder::kCollationFirst);
    } else {
      row.insert(row.end(), 12, Value());
    }
    Value definition = module.encrypted ? Value() : Value(module.text.substr(0, 4000));
    row.insert(row.end(), {Value(),
                           Value(),
                           Value(),
                           Value(),
                           Value(),
                           Value(),
                           Value(),
                           Value(),
                           Value(),
                           Value(),
                           std::string("SQL"),
                           definition,
                           Value(),
                           Value(),
                           std::string("SQL"),
                           std::string(module.schema_bound ? "YES" : "NO"),
                           std::string("MODIFIES"),
                           std::string("NO"),
                           Value(),
                           std::string("YES"),
                           SysInt(procedure ? -1 : 0),
                           std::string("NO"),
                           std::string("NO"),
                           std::string("2000-08-06 01:29:12.250"),
                           std::string("2000-08-06 01:29:12.250")});
    rows.push_back(std::move(row));
  }
  return std::nullopt;
}

Status ParametersRows(SystemScope& scope, std::vector<Row>& rows) {
  Database& db = scope.db;
  for (const ObjectRef& ref : ObjectsOf(db, {ObjectKind::kProcedure, ObjectKind::kFunction})) {
    for (const ColumnFacts& parameter : ObjectColumns(ref, scope)) {
      Row row{db.name,
              ref.owner,
              ref.name,
              SysInt(parameter.colid),
              std::string(parameter.output ? "INOUT" : "IN"),
              std::string("NO"),
              std::string("NO"),
              parameter.name,
              std::string(Info(parameter.type.base).name)};
      AppendTypeFacts(parameter.type, parameter.collation, row, FactOrder::kCollationFirst);
      row.insert(row.end(), 8, Value());
      rows.push_back(std::move(row));
    }
  }
  return std::nullopt;
}

// The columns a multi-statement table-valued function returns, as its
// RETURNS clause declares them. An inline function's columns come from
// its query, which runs only with arguments: it has no rows here.
Status RoutineColumnsRows(SystemScope& scope, std::vector<Row>& rows) {
  Database& db = scope.db;
  for (const ObjectRef& ref : ObjectsOf(db, {ObjectKind::kFunction})) {
    if (ref.module->type != ModuleType::kTableFunction) continue;
    std::shared_ptr<Batch> batch = ParseModule(*ref.module);
    const CreateModuleStmt* create = CreateOf(batch.get());
    if (!create || !create->returns_table) continue;
    int position = 0;
    for (const ColumnDef& column : create->returns_table->columns) {
      ++position;
      if (!column.type) continue;
      ResolvedType resolved;
      if (ResolveType(*column.type, &db, scope.ctx.collation(), TypeUse{}, resolved)) continue;
      bool nullable = column.nullable.value_or(resolved.nullable.value_or(true));
      Row row{db.name,
              ref.owner,
              ref.name,
              column.name,
              SysInt(position),
              Value(),
              std::string(nullable ? "YES" : "NO"),
              std::string(Info(resolved.type.base).name)};
      std::string collation = column.collation.empty() ? db.collation : column.collation;
      AppendTypeFacts(resolved.type, IsCharacterLike(resolved.type) ? collation : "", row);
      row.insert(row.end(), 3, Value());
      rows.push_back(std::move(row));
    }
  }
  return std::nullopt;
}

std::string GranteeName(const std::string& grantee) {
  return EqualNoCase(grantee, "public") ? std::string("public") : grantee;
}

Status TablePrivilegesRows(SystemScope& scope, std::vector<Row>& rows) {
  Database& db = scope.db;
  for (const Permission& permission : db.permissions) {
    if (!permission.columns.empty()) continue;
    std::optional<ObjectRef> object = db.FindObjectById(permission.object_id);
    if (!object || (object->kind != ObjectKind::kTable && object->kind != ObjectKind::kView))
      continue;
    rows.push_back({std::string("dbo"), GranteeName(permission.grantee), db.name, object->owner,
                    object->name, permission.privilege, std::string("NO")});
  }
  return std::nullopt;
}

// Column grants, and the grants on a whole table that reach each column.
Status ColumnPrivilegesRows(SystemScope& scope, std::vector<Row>& rows) {
  Database& db = scope.db;
  for (const Permission& permission : db.permissions) {
    std::optional<ObjectRef> object = db.FindObjectById(permission.object_id);
    if (!object || (object->kind != ObjectKind::kTable && object->kind != ObjectKind::kView))
      continue;
    bool per_column = EqualNoCase(permission.privilege, "SELECT") ||
                      EqualNoCase(permission.privilege, "UPDATE") ||
                      EqualNoCase(permission.privilege, "REFERENCES") ||
                      EqualNoCase(permission.privilege, "INSERT");
    if (!per_column) continue;
    std::vector<std::string> columns = permission.columns;
    if (columns.empty()) {
      for (const ColumnFacts& column : ObjectColumns(*object, scope))
        columns.push_back(column.name);
    }
    for (const std::string& column : columns) {
      rows.push_back({std::string("dbo"), GranteeName(permission.grantee), db.name, object->owner,
                      object->name, column, permission.privilege, std::string("NO")});
    }
  }
  return std::nullopt;
}

constexpr SystemTableDef kViewsDefs[] = {
    {"SCHEMATA", kSchemata, SchemataRows},
    {"TABLES", kTables, TablesRows},
    {"COLUMNS", kColumns, ColumnsRows},
    {"VIEWS", kViews, ViewsRows},
    {"VIEW_TABLE_USAGE", kViewTableUsage, ViewTableUsageRows},
    {"VIEW_COLUMN_USAGE", kViewColumnUsage, ViewColumnUsageRows},
    {"TABLE_CONSTRAINTS", kTableConstraints, TableConstraintsRows},
    {"KEY_COLUMN_USAGE", kKeyColumnUsage, KeyColumnUsageRows},
    {"REFERENTIAL_CONSTRAINTS", kReferentialConstraints, ReferentialConstraintsRows},
    {"CHECK_CONSTRAINTS", kCheckConstraints, CheckConstraintsRows},
    {"CONSTRAINT_TABLE_USAGE", kConstraintTableUsage, ConstraintTableUsageRows},
    {"CONSTRAINT_COLUMN_USAGE", kConstraintColumnUsage, ConstraintColumnUsageRows},
    {"COLUMN_DOMAIN_USAGE", kColumnDomainUsage, ColumnDomainUsageRows},
    {"DOMAINS", kDomains, DomainsRows},
    {"DOMAIN_CONSTRAINTS", kDomainConstraints, DomainConstraintsRows},
    {"ROUTINES", kRoutines, RoutinesRows},
    {"PARAMETERS", kParameters, ParametersRows},
    {"ROUTINE_COLUMNS", kColumns, RoutineColumnsRows},
    {"TABLE_PRIVILEGES", kTablePrivileges, TablePrivilegesRows},
    {"COLUMN_PRIVILEGES", kColumnPrivileges, ColumnPrivilegesRows},
};

}  // namespace

std::optional<DataType> FunctionReturnType(const Module& module, Database& db, ExecContext& ctx) {
  std::shared_ptr<Batch> batch = ParseModule(module);
  const CreateModuleStmt* create = CreateOf(batch.get());
  if (!create || !create->returns) return std::nullopt;
  ResolvedType resolved;
  if (ResolveType(*create->returns, &db, ctx.collation(), TypeUse{}, resolved)) return std::nullopt;
  return resolved.type;
}

std::span<const SystemTableDef> InformationSchemaViews() { return kViewsDefs; }

}  // namespace server
