// systypes, and the type facts syscolumns, INFORMATION_SCHEMA and the
// metadata functions share: one place says what SQL Server 2000 reports for
// each type.

#include "server/exec/system_tables.h"
#include "server/types/collation.h"

namespace server {

namespace {

using namespace sys_type;

constexpr SystemColumn kSysTypes[] = {
    {"name", kSysname},       {"xtype", kTinyInt},        {"status", kTinyInt},
    {"xusertype", kSmallInt}, {"length", kSmallInt},      {"xprec", kTinyInt},
    {"xscale", kTinyInt},     {"tdefault", kInt},         {"domain", kInt},
    {"uid", kSmallInt},       {"reserved", kSmallInt},    {"collationid", kInt},
    {"usertype", kSmallInt},  {"variable", kBit},         {"allownulls", kBit},
    {"type", kTinyInt},       {"printfmt", VarChar(255)}, {"prec", kSmallInt},
    {"scale", kTinyInt},      {"collation", kSysname},
};

// What SQL Server 2000's systypes holds for a system type, and the older
// TDS codes syscolumns.type shows for NOT NULL and nullable columns (older
// clients saw nullable char and binary as their varying kinds).
struct TypeFacts {
  BaseType base;
  int xprec;
  int xscale;
  int usertype;
  bool variable;
  int legacy;
  int legacy_nullable;
};
constexpr TypeFacts kTypeFacts[] = {
    {BaseType::kBigInt, 19, 0, 0, false, 127, 38},
    {BaseType::kBinary, 0, 0, 3, false, 45, 37},
    {BaseType::kBit, 1, 0, 16, false, 50, 50},
    {BaseType::kChar, 0, 0, 1, false, 47, 39},
    {BaseType::kDateTime, 23, 3, 12, false, 61, 111},
    {BaseType::kDecimal, 38, 38, 24, false, 55, 106},
    {BaseType::kFloat, 53, 0, 8, false, 62, 109},
    {BaseType::kImage, 0, 0, 20, false, 34, 34},
    {BaseType::kInt, 10, 0, 7, false, 56, 38},
    {BaseType::kMoney, 19, 4, 11, false, 60, 110},
    {BaseType::kNChar, 0, 0, 0, false, 47, 39},
    {BaseType::kNText, 0, 0, 0, false, 35, 35},
    {BaseType::kNumeric, 38, 38, 10, false, 63, 108},
    {BaseType::kNVarChar, 0, 0, 0, true, 39, 39},
    {BaseType::kReal, 24, 0, 23, false, 59, 109},
    {BaseType::kSmallDateTime, 16, 0, 22, false, 58, 111},
    {BaseType::kSmallInt, 5, 0, 6, false, 52, 38},
    {BaseType::kSmallMoney, 10, 4, 21, false, 122, 110},
    {BaseType::kSqlVariant, 0, 0, 0, false, 39, 39},
    {BaseType::kText, 0, 0, 19, false, 35, 35},
    {BaseType::kTimestamp, 0, 0, 80, false, 45, 37},
    {BaseType::kTinyInt, 3, 0, 5, false, 48, 38},
    {BaseType::kUniqueIdentifier, 0, 0, 0, false, 37, 37},
    {BaseType::kVarBinary, 0, 0, 4, true, 37, 37},
    {BaseType::kVarChar, 0, 0, 2, true, 39, 39},
};

const TypeFacts& FactsOf(BaseType base) { return kTypeFacts[static_cast<size_t>(base)]; }

constexpr bool FactsFollowEnum() {
  for (size_t i = 0; i < std::size(kTypeFacts); ++i) {
    if (static_cast<size_t>(kTypeFacts[i].base) != i) return false;
  }
  return std::size(kTypeFacts) == static_cast<size_t>(BaseType::kVarChar) + 1;
}
static_assert(FactsFollowEnum(), "kTypeFacts must list every BaseType once, in enum order");

// sysname: nvarchar(128) NOT NULL, the one built-in user type.
constexpr int kSysnameUserType = 256;

// A systypes row; `length` in bytes, as systypes holds it.
Row TypeRow(const std::string& name, BaseType base, int xusertype, int length, int xprec,
            int xscale, int tdefault, int domain, int uid, int usertype, bool allownulls,
            const std::string& collation) {
  const TypeFacts& facts = FactsOf(base);
  DataType type{base, 0, 0, 0};
  bool character = IsCharacterLike(type);
  bool sized = Info(base).sized;
  // prec is the length in characters for character types, in bytes for
  // binary ones; scale is NULL where a type has none.
  int64_t prec = sized ? (Info(base).unicode ? length / 2 : length) : xprec;
  if (base == BaseType::kTimestamp || base == BaseType::kUniqueIdentifier) prec = length;
  Value scale = Family(type) == TypeFamily::kExact || Family(type) == TypeFamily::kMoney ||
                        Family(type) == TypeFamily::kInteger || base == BaseType::kDateTime ||
                        base == BaseType::kSmallDateTime
                    ? Value(int64_t{xscale})
                    : Value();
  Value collation_value = character ? Value(collation) : Value();
  Value collation_id = character ? Value(int64_t{872468488}) : Value();
  if (character && EqualNoCase(collation, "SQL_Latin1_General_CP1_CS_AS"))
    collation_id = int64_t{855691272};
  return {name,
          SysInt(Info(base).xtype),
          SysInt(0),
          SysInt(xusertype),
          SysInt(length),
          SysInt(xprec),
          SysInt(xscale),
          SysInt(tdefault),
          SysInt(domain),
          SysInt(uid),
          SysInt(0),
          collation_id,
          SysInt(usertype),
          SysInt(facts.variable || xusertype == kSysnameUserType ? 1 : 0),
          SysInt(allownulls ? 1 : 0),
          SysInt(LegacyTypeCode(base, false)),
          Value(),
          prec,
          scale,
          collation_value};
}

int BoundId(Database& db, const std::string& name, bool rule) {
  for (const Bindable& bindable : db.bindables) {
    if (bindable.is_rule == rule && EqualNoCase(bindable.name, name)) return bindable.id;
  }
  return 0;
}

Status SysTypesRows(SystemScope& scope, std::vector<Row>& rows) {
  Database& db = scope.db;
  struct Named {
    std::string name;
    Row row;
  };
  std::vector<Named> all;
  for (const TypeFacts& facts : kTypeFacts) {
    const TypeInfo& info = Info(facts.base);
    // Sized types are described at their largest; the others at their size.
    int length = info.sized ? MaxLength(facts.base) * (info.unicode ? 2 : 1)
                            : StorageLength(DefaultType(facts.base));
    if (Family(DefaultType(facts.base)) == TypeFamily::kExact) length = 17;
    bool allownulls = facts.base != BaseType::kTimestamp;
    int xusertype = facts.base == BaseType::kTimestamp ? 80 : info.xtype;
    all.push_back(
        {info.name, TypeRow(info.name, facts.base, xusertype, length, facts.xprec, facts.xscale, 0,
                            0, 4, facts.usertype, allownulls, db.collation)});
  }
  all.push_back({"sysname", TypeRow("sysname", BaseType::kNVarChar, kSysnameUserType, 256, 0, 0, 0,
                                    0, 4, 18, false, db.collation)});
  for (const UserType& type : db.types) {
    all.push_back({type.name,
                   TypeRow(type.name, type.base.base, type.usertype, StorageLength(type.base),
                           TypePrecision(type.base), type.base.scale,
                           BoundId(db, type.default_name, false), BoundId(db, type.rule_name, true),
                           SysUserId(db, type.owner), type.usertype, type.nullable, db.collation)});
  }
  // systypes is clustered on name.
  std::stable_sort(all.begin(), all.end(), [](const Named& a, const Named& b) {
    return LowerText(a.name) < LowerText(b.name);
  });
  for (Named& named : all) rows.push_back(std::move(named.row));
  return std::nullopt;
}

void AddTableColumns(const Table& table, Database& db, std::vector<ColumnFacts>& out) {
  for (size_t i = 0; i < table.columns.size(); ++i) {
    const Column& column = table.columns[i];
    ColumnFacts facts;
    facts.name = column.name;
    facts.colid = static_cast<int>(i + 1);
    facts.type = column.type;
    facts.type_name = column.user_type.empty() ? Info(column.type.base).name : column.user_type;
    if (const UserType* type = db.FindType(column.user_type, Collation(false)))
      facts.type_name = type->name;
    facts.xusertype = UserTypeId(db, column.type, column.user_type);
    facts.nullable = column.nullable;
    facts.identity = column.identity;
    facts.computed = column.is_computed();
    facts.rowguidcol = column.rowguidcol;
    if (IsCharacterLike(column.type)) facts.collation = column.collation;
    facts.default_id = column.default_id;
    if (column.default_id != 0) facts.default_text = "(" + column.default_text + ")";
    for (const Bindable& bindable : db.bindables) {
      if (!bindable.is_rule && column.default_id == 0 &&
          EqualNoCase(bindable.name, column.bound_default)) {
        facts.default_id = bindable.id;
        facts.default_text = bindable.text;
      }
      if (bindable.is_rule && EqualNoCase(bindable.name, column.bound_rule))
        facts.rule_id = bindable.id;
    }
    out.push_back(std::move(facts));
  }
}

}  // namespace

std::span<const SystemTableDef> TypeSystemTables() {
  static constexpr SystemTableDef kTables[] = {{"systypes", kSysTypes, SysTypesRows}};
  return kTables;
}

int TypePrecision(const DataType& type) {
  if (Family(type) == TypeFamily::kExact) return type.precision;
  return FactsOf(type.base).xprec;
}

int TypeScale(const DataType& type) {
  if (Family(type) == TypeFamily::kExact) return type.scale;
  return FactsOf(type.base).xscale;
}

int LegacyTypeCode(BaseType base, bool nullable) {
  const TypeFacts& facts = FactsOf(base);
  return nullable ? facts.legacy_nullable : facts.legacy;
}

int LegacyUserType(BaseType base) { return FactsOf(base).usertype; }

int UserTypeId(Database& db, const DataType& type, const std::string& user_type) {
  if (!user_type.empty()) {
    if (EqualNoCase(user_type, "sysname")) return kSysnameUserType;
    if (const UserType* found = db.FindType(user_type, Collation(false))) return found->usertype;
  }
  return type.base == BaseType::kTimestamp ? 80 : Info(type.base).xtype;
}

std::vector<ColumnFacts> ObjectColumns(const ObjectRef& object, SystemScope& scope) {
  std::vector<ColumnFacts> out;
  Database& db = scope.db;
  if (object.kind == ObjectKind::kTable && object.table) {
    AddTableColumns(*object.table, db, out);
  } else if (object.kind == ObjectKind::kView && object.module) {
    // A view's columns are what its query gives; one that no longer runs
    // (a table it reads was dropped) shows none, as a catalog reader
    // should not fail on it.
    Relation view;
    ExecContext& ctx = scope.ctx;
    if (OpenView(*object.module, db, ctx, view)) return out;
    for (size_t i = 0; i < view.schema.names.size(); ++i) {
      ColumnFacts facts;
      facts.name = view.schema.names[i];
      facts.colid = static_cast<int>(i + 1);
      facts.type = view.schema.types[i];
      facts.type_name = Info(facts.type.base).name;
      facts.xusertype = UserTypeId(db, facts.type, "");
      if (IsCharacterLike(facts.type)) facts.collation = db.collation;
      out.push_back(std::move(facts));
    }
  } else if ((object.kind == ObjectKind::kProcedure || object.kind == ObjectKind::kFunction) &&
             object.module) {
    const auto& parameters = object.module->parameters;
    for (size_t i = 0; i < parameters.size(); ++i) {
      ColumnFacts facts;
      facts.name = parameters[i].name;
      facts.colid = static_cast<int>(i + 1);
      facts.type = parameters[i].type;
      facts.type_name = Info(facts.type.base).name;
      facts.xusertype = UserTypeId(db, facts.type, "");
      facts.output = parameters[i].output;
      if (IsCharacterLike(facts.type)) facts.collation = db.collation;
      out.push_back(std::move(facts));
    }
  }
  return out;
}

}  // namespace server
