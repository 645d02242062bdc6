// The system tables of every database that describe its objects:
// sysobjects, syscolumns, syscomments, sysproperties, sysfulltextcatalogs;
// and the registry that finds a system table or INFORMATION_SCHEMA view by
// name. Columns are SQL Server 2000's documented ones, in its order.

#include "server/exec/system_tables.h"

#include "server/types/collation.h"

namespace server {

namespace {

using namespace sys_type;

constexpr SystemColumn kSysObjects[] = {
    {"name", kSysname},         {"id", kInt},
    {"xtype", Char(2)},         {"uid", kSmallInt},
    {"info", kSmallInt},        {"status", kInt},
    {"base_schema_ver", kInt},  {"replinfo", kInt},
    {"parent_obj", kInt},       {"crdate", kDateTime},
    {"ftcatid", kSmallInt},     {"schema_ver", kInt},
    {"stats_schema_ver", kInt}, {"type", Char(2)},
    {"userstat", kSmallInt},    {"sysstat", kSmallInt},
    {"indexdel", kSmallInt},    {"refdate", kDateTime},
    {"version", kInt},          {"deltrig", kInt},
    {"instrig", kInt},          {"updtrig", kInt},
    {"seltrig", kInt},          {"category", kInt},
    {"cache", kSmallInt},
};

constexpr SystemColumn kSysColumns[] = {
    {"name", kSysname},
    {"id", kInt},
    {"xtype", kTinyInt},
    {"typestat", kTinyInt},
    {"xusertype", kSmallInt},
    {"length", kSmallInt},
    {"xprec", kTinyInt},
    {"xscale", kTinyInt},
    {"colid", kSmallInt},
    {"xoffset", kSmallInt},
    {"bitpos", kTinyInt},
    {"reserved", kTinyInt},
    {"colstat", kSmallInt},
    {"cdefault", kInt},
    {"domain", kInt},
    {"number", kSmallInt},
    {"colorder", kSmallInt},
    {"autoval", VarBinary(255)},
    {"offset", kSmallInt},
    {"collationid", kInt},
    {"language", kInt},
    {"status", kTinyInt},
    {"type", kTinyInt},
    {"usertype", kSmallInt},
    {"printfmt", VarChar(255)},
    {"prec", kSmallInt},
    {"scale", kInt},
    {"iscomputed", kInt},
    {"isoutparam", kInt},
    {"isnullable", kInt},
    {"collation", kSysname},
    {"tdscollation", Binary(5)},
};

constexpr SystemColumn kSysComments[] = {
    {"id", kInt},
    {"number", kSmallInt},
    {"colid", kSmallInt},
    {"status", kSmallInt},
    {"ctext", VarBinary(8000)},
    {"texttype", kSmallInt},
    {"language", kSmallInt},
    {"encrypted", kBit},
    {"compressed", kBit},
    {"text", NVarChar(4000)},
};

constexpr SystemColumn kSysProperties[] = {
    {"id", kInt},       {"smallid", kSmallInt}, {"type", kTinyInt},
    {"name", kSysname}, {"value", kSqlVariant},
};

constexpr SystemColumn kSysFullTextCatalogs[] = {
    {"ftcatid", kSmallInt},
    {"name", kSysname},
    {"status", kSmallInt},
    {"path", NVarChar(260)},
};

// sysobjects.type: as xtype, except that PRIMARY KEY and UNIQUE are "K".
std::string ObjectType(const ObjectRef& ref) {
  return ref.xtype == "PK" || ref.xtype == "UQ" ? "K" : ref.xtype;
}

// sysobjects.sysstat's low bits, the object's kind as older servers kept it.
int64_t KindBits(ObjectKind kind) {
  switch (kind) {
    case ObjectKind::kSystemTable:
      return 1;
    case ObjectKind::kView:
      return 2;
    case ObjectKind::kTable:
      return 3;
    case ObjectKind::kProcedure:
      return 4;
    case ObjectKind::kDefault:
    case ObjectKind::kDefaultConstraint:
      return 6;
    case ObjectKind::kRule:
      return 7;
    case ObjectKind::kTrigger:
      return 8;
    default:
      return 0;
  }
}

int FirstTrigger(const Table& table, bool Trigger::*event) {
  for (const Trigger& trigger : table.triggers) {
    if (trigger.*event) return trigger.id;
  }
  return 0;
}

Status SysObjectsRows(SystemScope& scope, std::vector<Row>& rows) {
  Database& db = scope.db;
  for (const ObjectRef& ref : db.AllObjects()) {
    int64_t ftcatid = 0;
    int64_t replinfo = 0;
    int64_t info = 0;
    int64_t deltrig = 0, instrig = 0, updtrig = 0;
    bool table = ref.kind == ObjectKind::kTable && ref.table;
    if (table) {
      const Table& t = *ref.table;
      if (t.fulltext) {
        if (const FullTextCatalog* catalog =
                db.FindFullTextCatalog(t.fulltext->catalog, scope.ctx.collation()))
          ftcatid = catalog->id;
      }
      for (const Publication& publication : db.publications) {
        for (const Article& article : publication.articles) {
          if (article.source_object == ref.name) replinfo = 1;
        }
      }
      info = static_cast<int64_t>(t.columns.size());
      deltrig = FirstTrigger(t, &Trigger::on_delete);
      instrig = FirstTrigger(t, &Trigger::on_insert);
      updtrig = FirstTrigger(t, &Trigger::on_update);
    } else if (ref.kind == ObjectKind::kTrigger) {
      // A trigger's deltrig names its table.
      deltrig = ref.parent_id;
    }
    // status: 0x20000000 ANSI_NULLS and 0x40000000 QUOTED_IDENTIFIER were
    // on at creation; a module keeps its own.
    int64_t status = 0;
    if (ref.kind != ObjectKind::kSystemTable) {
      bool ansi_nulls = ref.module ? ref.module->ansi_nulls : true;
      bool quoted = ref.module ? ref.module->quoted_identifier : true;
      status = (ansi_nulls ? 0x20000000 : 0) | (quoted ? 0x40000000 : 0);
    }
    // category: 2 for what ships with the server; 1 a table with identity.
    int64_t category = ref.kind == ObjectKind::kSystemTable ? 2 : 0;
    if (table) {
      for (const Column& column : ref.table->columns) category |= column.identity ? 1 : 0;
    }
    rows.push_back({ref.name,
                    SysInt(ref.id),
                    SysPadded(ref.xtype, 2),
                    SysInt(SysUserId(db, ref.owner)),
                    info,
                    status,
                    SysInt(0),
                    replinfo,
                    SysInt(ref.parent_id),
                    std::string(kSysCreationDate),
                    ftcatid,
                    SysInt(0),
                    SysInt(0),
                    SysPadded(ObjectType(ref), 2),
                    SysInt(0),
                    KindBits(ref.kind),
                    SysInt(0),
                    std::string(kSysCreationDate),
                    SysInt(0),
                    deltrig,
                    instrig,
                    updtrig,
                    SysInt(0),
                    category,
                    SysInt(0)});
  }
  return std::nullopt;
}

// syscolumns.tdscollation and collationid of the collations the server has.
struct CollationCode {
  const char* name;
  uint8_t tds[5];
  int64_t id;
};
constexpr CollationCode kCollationCodes[] = {
    {"SQL_Latin1_General_CP1_CI_AS", {0x09, 0x04, 0xD0, 0x00, 0x34}, 872468488},
    {"SQL_Latin1_General_CP1_CS_AS", {0x09, 0x04, 0xC0, 0x00, 0x33}, 855691272},
};

const CollationCode* FindCollationCode(const std::string& name) {
  for (const CollationCode& code : kCollationCodes) {
    if (EqualNoCase(code.name, name)) return &code;
  }
  return nullptr;
}

Status SysColumnsRows(SystemScope& scope, std::vector<Row>& rows) {
  for (const ObjectRef& ref : scope.db.AllObjects()) {
    if (ref.kind != ObjectKind::kTable && ref.kind != ObjectKind::kView &&
        ref.kind != ObjectKind::kProcedure && ref.kind != ObjectKind::kFunction)
      continue;
    bool parameters = ref.kind == ObjectKind::kProcedure || ref.kind == ObjectKind::kFunction;
    for (const ColumnFacts& column : ObjectColumns(ref, scope)) {
      const DataType& type = column.type;
      const TypeInfo& info = Info(type.base);
      bool character = IsCharacterLike(type);
      DataType stored =
          type.base == BaseType::kTimestamp ? DataType{BaseType::kBinary, 8, 0, 0} : type;
      int64_t xprec = TypePrecision(type);
      int64_t prec = character || Family(type) == TypeFamily::kBinary ? type.length : xprec;
      const CollationCode* code = character ? FindCollationCode(column.collation) : nullptr;
      Value collation = character ? Value(column.collation) : Value();
      Value tds = code ? Value(std::vector<uint8_t>(code->tds, code->tds + 5)) : Value();
      Value collation_id = code ? Value(code->id) : character ? Value(int64_t{0}) : Value();
      // status bits: 8 allows nulls, 64 an OUTPUT parameter, 128 identity.
      int64_t status =
          (column.nullable ? 8 : 0) | (column.output ? 64 : 0) | (column.identity ? 128 : 0);
      int64_t legacy_usertype =
          column.xusertype > 256 ? column.xusertype : LegacyUserType(type.base);
      Value scale = Family(type) == TypeFamily::kExact || Family(type) == TypeFamily::kMoney ||
                            Family(type) == TypeFamily::kInteger ||
                            type.base == BaseType::kDateTime ||
                            type.base == BaseType::kSmallDateTime
                        ? Value(int64_t{type.scale})
                        : Value();
      rows.push_back({column.name,
                      SysInt(ref.id),
                      SysInt(info.xtype),
                      SysInt(0),
                      SysInt(column.xusertype),
                      SysInt(StorageLength(stored)),
                      xprec,
                      SysInt(TypeScale(type)),
                      SysInt(column.colid),
                      SysInt(0),
                      SysInt(0),
                      SysInt(0),
                      SysInt(column.identity ? 1 : 0),
                      SysInt(column.default_id),
                      SysInt(column.rule_id),
                      SysInt(parameters ? 1 : 0),
                      SysInt(parameters ? 0 : column.colid),
                      Value(),
                      SysInt(0),
                      collation_id,
                      SysInt(0),
                      status,
                      SysInt(LegacyTypeCode(type.base, column.nullable)),
                      legacy_usertype,
                      Value(),
                      prec,
                      scale,
                      SysInt(column.computed ? 1 : 0),
                      SysInt(column.output ? 1 : 0),
                      SysInt(column.nullable ? 1 : 0),
                      collation,
                      tds});
    }
  }
  return std::nullopt;
}

// The text of every object that has one, in 4000-character pieces. SQL
// Server keeps an encrypted module's text scrambled: a reader sees no
// source, only that it is encrypted (status 1, encrypted 1).
Status SysCommentsRows(SystemScope& scope, std::vector<Row>& rows) {
  // `number` tells a computed column's text (its colid) from its table's.
  auto add = [&rows](int id, const std::string& text, bool encrypted, int number = 0) {
    int64_t colid = 1;
    for (size_t at = 0;; at += 4000, ++colid) {
      std::string piece = encrypted ? std::string() : text.substr(at, 4000);
      std::vector<uint8_t> ctext(piece.begin(), piece.end());
      Value shown = encrypted ? Value() : Value(piece);
      rows.push_back({SysInt(id), SysInt(number), colid, SysInt(encrypted ? 1 : 0),
                      std::move(ctext), SysInt(0), SysInt(0), SysInt(encrypted ? 1 : 0), SysInt(0),
                      shown});
      if (encrypted || at + 4000 >= text.size()) break;
    }
  };
  for (const ObjectRef& ref : scope.db.AllObjects()) {
    switch (ref.kind) {
      case ObjectKind::kTable:
        for (size_t c = 0; c < ref.table->columns.size(); ++c) {
          const Column& column = ref.table->columns[c];
          if (column.is_computed()) {
            add(ref.id, "(" + column.computed + ")", false, static_cast<int>(c + 1));
          }
        }
        break;
      case ObjectKind::kView:
      case ObjectKind::kProcedure:
      case ObjectKind::kFunction:
        add(ref.id, ref.module->text, ref.module->encrypted);
        break;
      case ObjectKind::kDefault:
      case ObjectKind::kRule:
        add(ref.id, ref.bindable->text, false);
        break;
      case ObjectKind::kTrigger:
        for (const Trigger& trigger : ref.table->triggers) {
          if (trigger.id == ref.id) add(ref.id, trigger.text, trigger.encrypted);
        }
        break;
      case ObjectKind::kCheck:
        for (const CheckConstraint& check : ref.table->checks) {
          if (check.id == ref.id) add(ref.id, "(" + check.text + ")", false);
        }
        break;
      case ObjectKind::kDefaultConstraint:
        for (const Column& column : ref.table->columns) {
          if (column.default_id == ref.id) add(ref.id, "(" + column.default_text + ")", false);
        }
        break;
      default:
        break;
    }
  }
  return std::nullopt;
}

// Extended properties: type 3 for an object's own, 4 for a column's, 5 for
// another part of an object (index, constraint, trigger, parameter), 1 for
// a user's, 0 for the database's.
Status SysPropertiesRows(SystemScope& scope, std::vector<Row>& rows) {
  for (const ExtendedProperty& property : scope.db.extended_properties) {
    int64_t smallid = 0;
    int64_t type = property.major_id == 0 ? (property.user.empty() ? 0 : 1) : 3;
    if (EqualNoCase(property.minor_type, "COLUMN")) {
      type = 4;
      for (const auto& table : scope.db.tables) {
        if (table->id != property.major_id) continue;
        int at = table->FindColumn(property.minor_name, scope.ctx.collation());
        if (at >= 0) smallid = at + 1;
      }
    } else if (!property.minor_type.empty()) {
      type = 5;
    }
    rows.push_back({SysInt(property.major_id), smallid, type, property.name, property.value});
  }
  return std::nullopt;
}

Status SysFullTextCatalogsRows(SystemScope& scope, std::vector<Row>& rows) {
  for (const FullTextCatalog& catalog : scope.db.fulltext_catalogs) {
    rows.push_back({SysInt(catalog.id), catalog.name, SysInt(0), SysTextOrNull(catalog.path)});
  }
  return std::nullopt;
}

constexpr SystemTableDef kObjectTables[] = {
    {"sysobjects", kSysObjects, SysObjectsRows},
    {"syscolumns", kSysColumns, SysColumnsRows},
    {"syscomments", kSysComments, SysCommentsRows},
    {"sysproperties", kSysProperties, SysPropertiesRows},
    {"sysfulltextcatalogs", kSysFullTextCatalogs, SysFullTextCatalogsRows},
};

}  // namespace

std::span<const SystemTableDef> ObjectSystemTables() { return kObjectTables; }

Value SysTextOrNull(const std::string& text) { return text.empty() ? Value() : Value(text); }

std::vector<uint8_t> LoginSid(const std::string& login) {
  return EqualNoCase(login, "sa") ? std::vector<uint8_t>{0x01}
                                  : std::vector<uint8_t>(login.begin(), login.end());
}

std::string LogicalFileName(const Database& db, int64_t fileid) {
  return fileid == 1 ? db.name + "_Data" : fileid == 2 ? db.name + "_Log" : "";
}

std::string SysPadded(std::string text, size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

int SysUserId(const Database& db, std::string_view owner) {
  for (size_t i = 0; i < db.users.size(); ++i) {
    if (EqualNoCase(db.users[i], owner))
      return i < 2 ? static_cast<int>(i) + 1 : static_cast<int>(i) + 3;
  }
  if (EqualNoCase(owner, "INFORMATION_SCHEMA")) return 3;
  return 1;
}

const SystemTableDef* FindSystemTable(std::string_view name, bool information_schema,
                                      const Collation& collation) {
  if (information_schema) {
    for (const SystemTableDef& def : InformationSchemaViews()) {
      if (collation.Equal(name, def.name)) return &def;
    }
    return nullptr;
  }
  for (auto family :
       {ObjectSystemTables(), TypeSystemTables(), KeySystemTables(), SecuritySystemTables(),
        StorageSystemTables(), ReplicationSystemTables(), MasterSystemTables()}) {
    for (const SystemTableDef& def : family) {
      if (collation.Equal(name, def.name)) return &def;
    }
  }
  return nullptr;
}

Status BuildSystemTable(const SystemTableDef& def, Database& db, ExecContext& ctx, Relation& out) {
  out.schema = RowSchema{};
  out.schema.table_name = def.name;
  for (const SystemColumn& column : def.columns) {
    out.schema.names.push_back(column.name);
    out.schema.types.push_back(column.type);
  }
  out.owned.clear();
  out.rows = &out.owned;
  SystemScope scope{db, ctx};
  return def.rows(scope, out.owned);
}

}  // namespace server
