// The system tables a person or a dataset can query: sysdatabases and
// sysdevices (master); sysobjects, syscolumns, syscomments, sysproperties
// and sysfulltextcatalogs (every database). Each is built from the catalog
// when read; columns are a useful subset of SQL Server 2000's.

#include "server/exec/relation.h"
#include "server/types/collation.h"

namespace server {

namespace {

struct SystemColumn {
  const char* name;
  DataType type;
};

DataType Name() { return DataType{BaseType::kNVarChar, 128, 0, 0}; }
DataType Of(BaseType base) { return DefaultType(base); }

void SetColumns(Relation& out, const char* table, std::initializer_list<SystemColumn> columns) {
  out.schema = RowSchema{};
  out.schema.table_name = table;
  for (const SystemColumn& column : columns) {
    out.schema.names.push_back(column.name);
    out.schema.types.push_back(column.type);
  }
  out.owned.clear();
  out.rows = &out.owned;
}

void SysDatabases(ExecContext& ctx, Relation& out) {
  SetColumns(out, "sysdatabases",
             {{"name", Name()},
              {"dbid", Of(BaseType::kSmallInt)},
              {"sid", DataType{BaseType::kVarBinary, 85, 0, 0}},
              {"mode", Of(BaseType::kSmallInt)},
              {"status", Of(BaseType::kInt)},
              {"status2", Of(BaseType::kInt)},
              {"category", Of(BaseType::kInt)},
              {"cmptlevel", Of(BaseType::kTinyInt)},
              {"filename", DataType{BaseType::kNVarChar, 260, 0, 0}},
              {"version", Of(BaseType::kSmallInt)}});
  for (const auto& db : ctx.server.databases) {
    // category bits: 1 published, 4 merge published, 16 distribution.
    int64_t category =
        (db->publish ? 1 : 0) | (db->merge_publish ? 4 : 0) | (db->distribution ? 16 : 0);
    int64_t status = db->system ? 8 : 16;
    out.owned.push_back({db->name, int64_t{db->dbid}, std::vector<uint8_t>{0x01}, int64_t{0},
                         status, int64_t{1090519040}, category, int64_t{80}, db->data_file,
                         int64_t{539}});
  }
}

void SysDevices(ExecContext& ctx, Relation& out) {
  SetColumns(out, "sysdevices",
             {{"name", Name()},
              {"status", Of(BaseType::kSmallInt)},
              {"cntrltype", Of(BaseType::kSmallInt)},
              {"size", Of(BaseType::kInt)},
              {"phyname", DataType{BaseType::kNVarChar, 260, 0, 0}}});
  std::string folder = ctx.server.DataFolder();
  std::string prefix = folder.empty() ? std::string() : folder + "\\";
  struct Device {
    const char* name;
    const char* file;
    int64_t size;
  };
  static constexpr Device kDevices[] = {
      {"master", nullptr, 1920},       {"mastlog", "mastlog.ldf", 128},
      {"modeldev", "model.mdf", 96},   {"modellog", "modellog.ldf", 64},
      {"tempdev", "tempdb.mdf", 1024}, {"templog", "templog.ldf", 64}};
  for (const Device& device : kDevices) {
    std::string phyname = device.file ? prefix + device.file : ctx.server.options.master_phyname;
    out.owned.push_back(
        {std::string(device.name), int64_t{2}, int64_t{0}, device.size, std::move(phyname)});
  }
}

// sysobjects.type: as xtype, except that PRIMARY KEY and UNIQUE are "K".
std::string TypeOf(const ObjectRef& ref) {
  return ref.xtype == "PK" || ref.xtype == "UQ" ? "K" : ref.xtype;
}

void SysObjects(Database& db, Relation& out) {
  SetColumns(out, "sysobjects",
             {{"name", Name()},
              {"id", Of(BaseType::kInt)},
              {"xtype", DataType{BaseType::kChar, 2, 0, 0}},
              {"uid", Of(BaseType::kSmallInt)},
              {"parent_obj", Of(BaseType::kInt)},
              {"type", DataType{BaseType::kChar, 2, 0, 0}},
              {"ftcatid", Of(BaseType::kSmallInt)},
              {"replinfo", Of(BaseType::kInt)}});
  for (const ObjectRef& ref : db.AllObjects()) {
    int64_t ftcatid = 0;
    int64_t replinfo = 0;
    if (ref.kind == ObjectKind::kTable && ref.table) {
      if (ref.table->fulltext) {
        for (const FullTextCatalog& catalog : db.fulltext_catalogs) {
          if (catalog.name == ref.table->fulltext->catalog) ftcatid = catalog.id;
        }
      }
      for (const Publication& publication : db.publications) {
        for (const Article& article : publication.articles) {
          if (article.source_object == ref.name) replinfo = 1;
        }
      }
    }
    std::string xtype = ref.xtype;
    if (xtype.size() < 2) xtype += ' ';
    std::string type = TypeOf(ref);
    if (type.size() < 2) type += ' ';
    int64_t uid = ref.owner == "dbo" ? 1 : 2;
    out.owned.push_back(
        {ref.name, int64_t{ref.id}, xtype, uid, int64_t{ref.parent_id}, type, ftcatid, replinfo});
  }
}

void SysColumns(Database& db, Relation& out) {
  SetColumns(out, "syscolumns",
             {{"name", Name()},
              {"id", Of(BaseType::kInt)},
              {"xtype", Of(BaseType::kTinyInt)},
              {"xusertype", Of(BaseType::kSmallInt)},
              {"length", Of(BaseType::kSmallInt)},
              {"xprec", Of(BaseType::kTinyInt)},
              {"xscale", Of(BaseType::kTinyInt)},
              {"colid", Of(BaseType::kSmallInt)},
              {"colorder", Of(BaseType::kSmallInt)},
              {"cdefault", Of(BaseType::kInt)},
              {"status", Of(BaseType::kTinyInt)},
              {"iscomputed", Of(BaseType::kInt)},
              {"isnullable", Of(BaseType::kInt)},
              {"collation", Name()},
              {"prec", Of(BaseType::kSmallInt)},
              {"scale", Of(BaseType::kInt)}});
  for (const auto& table : db.tables) {
    for (size_t i = 0; i < table->columns.size(); ++i) {
      const Column& column = table->columns[i];
      const TypeInfo& info = Info(column.type.base);
      int64_t usertype = info.xtype;
      if (!column.user_type.empty()) {
        for (const UserType& type : db.types) {
          if (type.name == column.user_type) usertype = type.usertype;
        }
      }
      DataType shown = column.type.base == BaseType::kTimestamp
                           ? DataType{BaseType::kBinary, 8, 0, 0}
                           : column.type;
      int64_t xprec = Family(column.type) == TypeFamily::kExact ? column.type.precision
                      : Info(column.type.base).sized || IsCharacterLike(column.type)
                          ? 0
                          : DefaultType(column.type.base).precision;
      int64_t prec = IsCharacterLike(column.type) || Family(column.type) == TypeFamily::kBinary
                         ? column.type.length
                         : xprec;
      Value collation = IsCharacterLike(column.type) ? Value(column.collation) : Value();
      // status bits: 8 allows nulls, 128 identity.
      int64_t status = (column.nullable ? 8 : 0) | (column.identity ? 128 : 0);
      int64_t colid = static_cast<int64_t>(i + 1);
      out.owned.push_back({column.name, int64_t{table->id}, int64_t{info.xtype}, usertype,
                           int64_t{StorageLength(shown)}, xprec, int64_t{column.type.scale}, colid,
                           colid, int64_t{column.default_id}, status,
                           int64_t{column.is_computed() ? 1 : 0}, int64_t{column.nullable ? 1 : 0},
                           collation, prec, int64_t{column.type.scale}});
    }
  }
}

// The text of every object that has one, in 4000-character pieces.
void SysComments(Database& db, Relation& out) {
  SetColumns(out, "syscomments",
             {{"id", Of(BaseType::kInt)},
              {"number", Of(BaseType::kSmallInt)},
              {"colid", Of(BaseType::kSmallInt)},
              {"encrypted", Of(BaseType::kBit)},
              {"text", DataType{BaseType::kNVarChar, 4000, 0, 0}}});
  auto add = [&out](int id, const std::string& text, bool encrypted) {
    int64_t colid = 1;
    for (size_t at = 0; at == 0 || at < text.size(); at += 4000, ++colid) {
      out.owned.push_back(
          {int64_t{id}, int64_t{0}, colid, int64_t{encrypted ? 1 : 0}, text.substr(at, 4000)});
      if (text.size() <= 4000) break;
    }
  };
  for (const ObjectRef& ref : db.AllObjects()) {
    switch (ref.kind) {
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
}

// Extended properties: type 3 for an object's own, 4 for a column's, 5 for
// another part of an object (index, constraint, trigger, parameter), 1 for
// a user's, 0 for the database's.
void SysProperties(Database& db, Relation& out) {
  SetColumns(out, "sysproperties",
             {{"id", Of(BaseType::kInt)},
              {"smallid", Of(BaseType::kSmallInt)},
              {"type", Of(BaseType::kTinyInt)},
              {"name", Name()},
              {"value", Of(BaseType::kSqlVariant)}});
  for (const ExtendedProperty& property : db.extended_properties) {
    int64_t smallid = 0;
    int64_t type = property.major_id == 0 ? (property.user.empty() ? 0 : 1) : 3;
    if (property.minor_type == "COLUMN") {
      type = 4;
      for (const auto& table : db.tables) {
        if (table->id != property.major_id) continue;
        for (size_t i = 0; i < table->columns.size(); ++i) {
          if (table->columns[i].name == property.minor_name) smallid = static_cast<int64_t>(i + 1);
        }
      }
    } else if (!property.minor_type.empty()) {
      type = 5;
    }
    out.owned.push_back({int64_t{property.major_id}, smallid, type, property.name, property.value});
  }
}

void SysFullTextCatalogs(Database& db, Relation& out) {
  SetColumns(out, "sysfulltextcatalogs",
             {{"ftcatid", Of(BaseType::kSmallInt)},
              {"name", Name()},
              {"status", Of(BaseType::kSmallInt)},
              {"path", DataType{BaseType::kNVarChar, 260, 0, 0}}});
  for (const FullTextCatalog& catalog : db.fulltext_catalogs) {
    Value path = catalog.path.empty() ? Value() : Value(catalog.path);
    out.owned.push_back({int64_t{catalog.id}, catalog.name, int64_t{0}, path});
  }
}

}  // namespace

bool OpenSystemTable(std::string_view name, Database& db, ExecContext& ctx, Relation& out) {
  const Collation& collation = ctx.collation();
  if (collation.Equal(name, "sysdatabases")) {
    SysDatabases(ctx, out);
  } else if (collation.Equal(name, "sysdevices")) {
    SysDevices(ctx, out);
  } else if (collation.Equal(name, "sysobjects")) {
    SysObjects(db, out);
  } else if (collation.Equal(name, "syscolumns")) {
    SysColumns(db, out);
  } else if (collation.Equal(name, "syscomments")) {
    SysComments(db, out);
  } else if (collation.Equal(name, "sysproperties")) {
    SysProperties(db, out);
  } else if (collation.Equal(name, "sysfulltextcatalogs")) {
    SysFullTextCatalogs(db, out);
  } else {
    return false;
  }
  return true;
}

}  // namespace server
