// sp_addextendedproperty, sp_updateextendedproperty and
// sp_dropextendedproperty on a user, an object, or a column, index,
// constraint, trigger or parameter of one.

#include "server/exec/relation.h"
#include "server/exec/system_procedures.h"
#include "server/types/collation.h"

namespace server {

namespace {

constexpr size_t kMaxValueBytes = 7500;

struct Target {
  std::string user;
  int major_id = 0;
  std::string minor_type;
  std::string minor_name;
  std::string text;  // the dotted name the messages quote
};

struct ObjectLevel {
  const char* type;
  ObjectKind kind;
};
constexpr ObjectLevel kObjectLevels[] = {
    {"table", ObjectKind::kTable},         {"view", ObjectKind::kView},
    {"procedure", ObjectKind::kProcedure}, {"function", ObjectKind::kFunction},
    {"default", ObjectKind::kDefault},     {"rule", ObjectKind::kRule},
};

// Finds the part of a table or view that level 2 names; its name as stored.
Status FindMinor(const ObjectRef& object, const std::string& type, const std::string& name,
                 ExecContext& ctx, std::string& found) {
  const Collation& collation = ctx.collation();
  auto take = [&](const std::string& candidate) {
    if (found.empty() && collation.Equal(candidate, name)) found = candidate;
  };
  if (EqualNoCase(type, "column")) {
    if (object.kind == ObjectKind::kTable) {
      for (const Column& column : object.table->columns) take(column.name);
    } else if (object.kind == ObjectKind::kView) {
      Relation relation;
      ObjectName view;
      view.parts = 2;
      view.owner = object.owner;
      view.name = object.name;
      if (OpenRelation(TableRef{view, "", {}}, ctx, relation)) return std::nullopt;
      for (const std::string& column : relation.schema.names) take(column);
    }
  } else if (object.kind == ObjectKind::kTable && EqualNoCase(type, "index")) {
    for (const Index& index : object.table->indexes) take(index.name);
  } else if (object.kind == ObjectKind::kTable && EqualNoCase(type, "trigger")) {
    for (const Trigger& trigger : object.table->triggers) take(trigger.name);
  } else if (object.kind == ObjectKind::kTable && EqualNoCase(type, "constraint")) {
    for (const Index& index : object.table->indexes) {
      if (index.kind != IndexKind::kIndex) take(index.name);
    }
    for (const CheckConstraint& check : object.table->checks) take(check.name);
    for (const ForeignKey& fk : object.table->foreign_keys) take(fk.name);
    for (const Column& column : object.table->columns) take(column.default_name);
  } else if (object.module && EqualNoCase(type, "parameter")) {
    for (const ModuleParameter& parameter : object.module->parameters) take(parameter.name);
  }
  return std::nullopt;
}

Status ResolveTarget(const ProcArgs& args, Database& db, ExecContext& ctx, Target& out) {
  const char* types[] = {"@level0type", "@level1type", "@level2type"};
  const char* names[] = {"@level0name", "@level1name", "@level2name"};
  int levels = 0;
  for (int i = 0; i < 3; ++i) {
    if (args.Given(names[i])) {
      if (!out.text.empty()) out.text += ".";
      out.text += args.Text(names[i]);
    }
  }
  SqlError invalid = Raise(Msg::kExtendedPropertyObject, {out.text});
  for (int i = 0; i < 3; ++i) {
    bool type = args.Given(types[i]), name = args.Given(names[i]);
    if (type != name || (type && levels != i)) return invalid;
    if (type) ++levels;
  }
  if (levels == 0) return std::nullopt;  // a property of the database itself
  const Collation& collation = ctx.collation();
  out.user = args.Text("@level0name");
  if (!EqualNoCase(args.Text("@level0type"), "user") || !db.HasUser(out.user, collation))
    return invalid;
  if (levels == 1) return std::nullopt;
  std::string type1 = args.Text("@level1type");
  std::optional<ObjectRef> object = db.FindObject(out.user, args.Text("@level1name"), collation);
  bool kind_matches = false;
  for (const ObjectLevel& level : kObjectLevels) {
    kind_matches =
        kind_matches || (object && EqualNoCase(type1, level.type) && object->kind == level.kind);
  }
  if (!kind_matches) return invalid;
  out.major_id = object->id;
  if (levels == 2) return std::nullopt;
  std::string found;
  if (Status s = FindMinor(*object, args.Text("@level2type"), args.Text("@level2name"), ctx, found))
    return s;
  if (found.empty()) return invalid;
  out.minor_type = ToUpper(args.Text("@level2type"));
  out.minor_name = found;
  return std::nullopt;
}

ExtendedProperty* FindProperty(Database& db, const Target& target, const std::string& name,
                               const Collation& collation) {
  for (ExtendedProperty& property : db.extended_properties) {
    if (property.major_id == target.major_id && collation.Equal(property.user, target.user) &&
        property.minor_type == target.minor_type &&
        collation.Equal(property.minor_name, target.minor_name) &&
        collation.Equal(property.name, name)) {
      return &property;
    }
  }
  return nullptr;
}

Status ValueOf(const ProcArgs& args, Value& out) {
  const Scalar* value = args.Get("@value");
  out = value ? value->value : Value{};
  if (const auto* text = std::get_if<std::string>(&out); text && text->size() > kMaxValueBytes) {
    return Raise(Msg::kExtendedPropertyTooLarge);
  }
  if (const auto* bytes = std::get_if<std::vector<uint8_t>>(&out);
      bytes && bytes->size() > kMaxValueBytes) {
    return Raise(Msg::kExtendedPropertyTooLarge);
  }
  return std::nullopt;
}

Status Prepare(const ProcArgs& args, ExecContext& ctx, Database*& db, Target& target) {
  db = ctx.CurrentDatabase();
  if (!db) return Raise(Msg::kDatabaseNotFoundOnUse, {ctx.session.database});
  return ResolveTarget(args, *db, ctx, target);
}

}  // namespace

Status SpAddExtendedProperty(const ProcArgs& args, ExecContext& ctx) {
  Database* db = nullptr;
  Target target;
  if (Status s = Prepare(args, ctx, db, target)) return s;
  std::string name = args.Text("@name");
  if (FindProperty(*db, target, name, ctx.collation())) {
    return Raise(Msg::kExtendedPropertyExists, {name, target.text});
  }
  Value value;
  if (Status s = ValueOf(args, value)) return s;
  db->extended_properties.push_back(
      {target.user, target.major_id, target.minor_type, target.minor_name, name, std::move(value)});
  ctx.MarkChanged();
  return std::nullopt;
}

Status SpUpdateExtendedProperty(const ProcArgs& args, ExecContext& ctx) {
  Database* db = nullptr;
  Target target;
  if (Status s = Prepare(args, ctx, db, target)) return s;
  std::string name = args.Text("@name");
  ExtendedProperty* property = FindProperty(*db, target, name, ctx.collation());
  if (!property) return Raise(Msg::kExtendedPropertyMissing, {name, target.text});
  Value value;
  if (Status s = ValueOf(args, value)) return s;
  property->value = std::move(value);
  ctx.MarkChanged();
  return std::nullopt;
}

Status SpDropExtendedProperty(const ProcArgs& args, ExecContext& ctx) {
  Database* db = nullptr;
  Target target;
  if (Status s = Prepare(args, ctx, db, target)) return s;
  std::string name = args.Text("@name");
  ExtendedProperty* property = FindProperty(*db, target, name, ctx.collation());
  if (!property) return Raise(Msg::kExtendedPropertyMissing, {name, target.text});
  std::erase_if(db->extended_properties,
                [property](const ExtendedProperty& p) { return &p == property; });
  ctx.MarkChanged();
  return std::nullopt;
}

}  // namespace server
