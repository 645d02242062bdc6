// The server's own table-valued functions, read as FROM ::fn_name(args):
// fn_listextendedproperty and fn_helpcollations.

#include "server/exec/functions.h"
#include "server/exec/locking.h"
#include "server/exec/system_tables.h"
#include "server/exec/table_functions.h"
#include "server/types/collation.h"

namespace server {

namespace {

using namespace sys_type;

constexpr SystemColumn kExtendedPropertyColumns[] = {
    {"objtype", kSysname},
    {"objname", kSysname},
    {"name", kSysname},
    {"value", kSqlVariant},
};

constexpr SystemColumn kCollationColumns[] = {
    {"name", kSysname},
    {"description", NVarChar(1000)},
};

// The object kinds level 1 names.
bool KindMatches(const std::string& type, ObjectKind kind) {
  struct Level {
    const char* type;
    ObjectKind kind;
  };
  static constexpr Level kLevels[] = {
      {"TABLE", ObjectKind::kTable},         {"VIEW", ObjectKind::kView},
      {"PROCEDURE", ObjectKind::kProcedure}, {"FUNCTION", ObjectKind::kFunction},
      {"DEFAULT", ObjectKind::kDefault},     {"RULE", ObjectKind::kRule},
  };
  for (const Level& level : kLevels) {
    if (EqualNoCase(type, level.type) && kind == level.kind) return true;
  }
  return false;
}

// An argument as text; nullopt for NULL (the level is not given, or every
// name of it is wanted).
using Level = std::optional<std::string>;

Status LevelArgument(const Scalar& arg, int position, Level& out) {
  out.reset();
  if (arg.is_null()) return std::nullopt;
  std::string text;
  if (Status s = TextArgument(arg, position, "fn_listextendedproperty", text)) return s;
  out = std::move(text);
  return std::nullopt;
}

bool NameMatches(const Level& wanted, const std::string& name, const Collation& collation) {
  return !wanted || collation.Equal(*wanted, name);
}

// The properties at the deepest level the arguments give: the database's
// (no level 0 type), a user's (no level 1 type), an object's (no level 2
// type), or those of a part of an object. A NULL name lists every one.
Status ListExtendedProperties(const std::vector<Scalar>& args, Database& db, ExecContext& ctx,
                              std::vector<Row>& rows) {
  Level property, type0, name0, type1, name1, type2, name2;
  Level* levels[] = {&property, &type0, &name0, &type1, &name1, &type2, &name2};
  for (size_t i = 0; i < args.size(); ++i) {
    if (Status s = LevelArgument(args[i], static_cast<int>(i + 1), *levels[i])) return s;
  }
  const Collation& collation = ctx.collation();
  for (const ExtendedProperty& p : db.extended_properties) {
    if (!NameMatches(property, p.name, collation)) continue;
    Value objtype, objname;
    if (!type0) {
      if (p.major_id != 0 || !p.user.empty()) continue;
    } else if (!type1) {
      if (p.major_id != 0 || p.user.empty() || !EqualNoCase(*type0, "USER") ||
          !NameMatches(name0, p.user, collation))
        continue;
      objtype = std::string("USER");
      objname = p.user;
    } else {
      if (p.major_id == 0 || !EqualNoCase(*type0, "USER")) continue;
      std::optional<ObjectRef> object = db.FindObjectById(p.major_id);
      if (!object || !KindMatches(*type1, object->kind) ||
          !NameMatches(name0, object->owner, collation) ||
          !NameMatches(name1, object->name, collation))
        continue;
      if (!type2) {
        if (!p.minor_type.empty()) continue;
        objtype = ToUpper(*type1);
        objname = object->name;
      } else {
        // A part of an object is listed only for a named object.
        if (!name1 || !EqualNoCase(p.minor_type, *type2) ||
            !NameMatches(name2, p.minor_name, collation))
          continue;
        objtype = ToUpper(*type2);
        objname = p.minor_name;
      }
    }
    rows.push_back({objtype, objname, p.name, p.value});
  }
  return std::nullopt;
}

void HelpCollations(std::vector<Row>& rows) {
  for (const ServerCollation& collation : ServerCollations())
    rows.push_back({std::string(collation.name), std::string(collation.description)});
}

void SetSchema(std::span<const SystemColumn> columns, const char* name, Relation& out) {
  out.schema = RowSchema{};
  out.schema.table_name = name;
  for (const SystemColumn& column : columns) {
    out.schema.names.push_back(column.name);
    out.schema.types.push_back(column.type);
  }
  out.owned.clear();
  out.rows = &out.owned;
}

}  // namespace

std::span<const ServerCollation> ServerCollations() {
  static constexpr ServerCollation kCollations[] = {
      {"SQL_Latin1_General_CP1_CI_AS",
       "Latin1-General, case-insensitive, accent-sensitive, kanatype-insensitive, "
       "width-insensitive for Unicode Data, SQL Server Sort Order 52 on Code Page 1252 for "
       "non-Unicode Data"},
      {"SQL_Latin1_General_CP1_CS_AS",
       "Latin1-General, case-sensitive, accent-sensitive, kanatype-insensitive, "
       "width-insensitive for Unicode Data, SQL Server Sort Order 51 on Code Page 1252 for "
       "non-Unicode Data"},
  };
  return kCollations;
}

Status OpenSystemTableFunction(const FromItem& item, ExecContext& ctx, Relation& out) {
  const std::string& name = item.table.name.name;
  std::string shown = "::" + name;
  auto arguments = [&](size_t count, std::vector<Scalar>& values) -> Status {
    if (item.function_args.size() != count) {
      SqlError error = Raise(Msg::kFunctionArgumentCount, {name, std::to_string(count)});
      error.line = item.line;
      return error;
    }
    for (const ExprPtr& arg : item.function_args) {
      if (Status s = BindColumns(*arg, nullptr, ctx.collation())) return s;
      Scalar value;
      if (Status s = Evaluate(*arg, EvalScope{ctx}, value)) return s;
      values.push_back(std::move(value));
    }
    return std::nullopt;
  };
  std::vector<Scalar> values;
  if (EqualNoCase(name, "fn_listextendedproperty")) {
    if (Status s = arguments(7, values)) return s;
    Database* db = ctx.CurrentDatabase();
    if (!db) return ErrorAt(Msg::kInvalidObjectName, {shown}, item.line);
    if (Status s = LockCatalogForReading(*db, ctx)) return s;
    SetSchema(kExtendedPropertyColumns, "fn_listextendedproperty", out);
    if (Status s = ListExtendedProperties(values, *db, ctx, out.owned)) return s;
  } else if (EqualNoCase(name, "fn_helpcollations")) {
    if (Status s = arguments(0, values)) return s;
    SetSchema(kCollationColumns, "fn_helpcollations", out);
    HelpCollations(out.owned);
  } else {
    return ErrorAt(Msg::kInvalidObjectName, {shown}, item.line);
  }
  out.schema.alias = item.table.alias;
  return std::nullopt;
}

}  // namespace server
