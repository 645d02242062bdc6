// sp_bindefault, sp_unbindefault, sp_bindrule and sp_unbindrule: a default
// or a rule made with CREATE DEFAULT / CREATE RULE attached to a column
// ('table.column') or to a user type, whose columns take it too unless
// @futureonly leaves them as they are. Columns made later with the type
// take what the type has (exec_create_table.cc).

#include "server/exec/help_procedures.h"
#include "server/types/collation.h"

namespace server {

namespace {

// What @objname names: a column of a table of the current database, or a
// user type.
struct BindTarget {
  Table* table = nullptr;
  Column* column = nullptr;
  UserType* type = nullptr;
};

Status FindBindTarget(Database& db, const std::string& text, ExecContext& ctx, BindTarget& out) {
  const Collation& collation = ctx.collation();
  ObjectName name = ParseObjectText(text);
  if (name.parts == 1) {
    out.type = db.FindType(name.name, collation);
    if (!out.type) return Raise(Msg::kBindTargetMissing, {text});
    return std::nullopt;
  }
  // [[database.]owner.]table.column
  if (name.parts > 4) return Raise(Msg::kBindTargetMissing, {text});
  if (name.parts == 4 && !collation.Equal(name.server, db.name))
    return Raise(Msg::kBindNotCurrentDatabase);
  std::string owner = name.parts >= 3 ? name.database : "";
  out.table = db.FindTable(owner, name.owner, collation);
  int at = out.table ? out.table->FindColumn(name.name, collation) : -1;
  if (at < 0) return Raise(Msg::kBindTargetMissing, {text});
  out.column = &out.table->columns[at];
  return std::nullopt;
}

// The default or rule of that name, or the error saying there is none.
Status LookUpBindable(Database& db, const std::string& name, bool rule, ExecContext& ctx,
                      Bindable*& out) {
  out = nullptr;
  ObjectName parsed = ParseObjectText(name);
  for (Bindable& bindable : db.bindables) {
    if (bindable.is_rule == rule && ctx.collation().Equal(bindable.name, parsed.name))
      out = &bindable;
  }
  if (out) return std::nullopt;
  if (rule) return Raise(Msg::kRuleMissing, {name});
  // A DEFAULT constraint is an object too, but not one to bind.
  std::optional<ObjectRef> object = db.FindObject(parsed.owner, parsed.name, ctx.collation());
  if (object && object->kind == ObjectKind::kDefaultConstraint)
    return Raise(Msg::kBindDefaultNotCreated, {name});
  return Raise(Msg::kDefaultMissing, {name});
}

bool FutureOnly(const ProcArgs& args) {
  return args.Given("@futureonly") && EqualNoCase(args.Text("@futureonly"), "futureonly");
}

// The columns of `type` that took its old binding (or had none) take the
// new one; with `to` empty they lose it.
void RebindTypeColumns(Database& db, const UserType& type, const std::string& old,
                       const std::string& to, bool rule, const Collation& collation) {
  for (const auto& table : db.tables) {
    for (Column& column : table->columns) {
      if (!collation.Equal(column.user_type, type.name)) continue;
      std::string& bound = rule ? column.bound_rule : column.bound_default;
      if (!bound.empty() && !collation.Equal(bound, old)) continue;
      // A column with a DEFAULT constraint keeps it.
      if (!rule && !column.default_name.empty()) continue;
      bound = to;
    }
  }
}

Status BindProcedure(const ProcArgs& args, ExecContext& ctx, bool rule) {
  Database* db = ctx.CurrentDatabase();
  if (!db) return Raise(Msg::kDatabaseNotFoundOnUse, {ctx.session.database});
  const Collation& collation = ctx.collation();
  Bindable* bindable = nullptr;
  if (Status s =
          LookUpBindable(*db, args.Text(rule ? "@rulename" : "@defname"), rule, ctx, bindable))
    return s;
  BindTarget target;
  if (Status s = FindBindTarget(*db, args.Text("@objname"), ctx, target)) return s;
  if (target.column) {
    Column& column = *target.column;
    if (rule) {
      if (column.is_computed() || IsLargeObject(column.type) ||
          column.type.base == BaseType::kTimestamp)
        return Raise(Msg::kBindRuleBadColumn);
      column.bound_rule = bindable->name;
      HelpInform(Raise(Msg::kRuleBoundToColumn), ctx);
    } else {
      if (column.is_computed() || column.type.base == BaseType::kTimestamp)
        return Raise(Msg::kBindDefaultBadColumn);
      if (column.identity) return Raise(Msg::kBindDefaultIdentity);
      if (!column.default_name.empty()) return Raise(Msg::kBindDefaultOverConstraint);
      column.bound_default = bindable->name;
      HelpInform(Raise(Msg::kDefaultBoundToColumn), ctx);
    }
  } else {
    std::string& bound = rule ? target.type->rule_name : target.type->default_name;
    std::string old = bound;
    bound = bindable->name;
    HelpInform(Raise(rule ? Msg::kRuleBoundToType : Msg::kDefaultBoundToType), ctx);
    if (!FutureOnly(args)) {
      RebindTypeColumns(*db, *target.type, old, bindable->name, rule, collation);
      HelpInform(Raise(rule ? Msg::kRuleBoundToTypeColumns : Msg::kDefaultBoundToTypeColumns), ctx);
    }
  }
  ctx.MarkChanged();
  return std::nullopt;
}

Status UnbindProcedure(const ProcArgs& args, ExecContext& ctx, bool rule) {
  Database* db = ctx.CurrentDatabase();
  if (!db) return Raise(Msg::kDatabaseNotFoundOnUse, {ctx.session.database});
  const std::string given = args.Text("@objname");
  BindTarget target;
  if (Status s = FindBindTarget(*db, given, ctx, target)) return s;
  if (target.column) {
    Column& column = *target.column;
    if (rule) {
      if (column.bound_rule.empty()) return Raise(Msg::kColumnHasNoRule, {given});
      column.bound_rule.clear();
      HelpInform(Raise(Msg::kRuleUnboundFromColumn), ctx);
    } else {
      if (!column.default_name.empty()) return Raise(Msg::kUnbindConstraint, {given});
      if (column.bound_default.empty()) return Raise(Msg::kColumnHasNoDefault, {given});
      column.bound_default.clear();
      HelpInform(Raise(Msg::kDefaultUnboundFromColumn), ctx);
    }
  } else {
    std::string& bound = rule ? target.type->rule_name : target.type->default_name;
    if (bound.empty()) return Raise(rule ? Msg::kTypeHasNoRule : Msg::kTypeHasNoDefault, {given});
    std::string old = bound;
    bound.clear();
    HelpInform(Raise(rule ? Msg::kRuleUnboundFromType : Msg::kDefaultUnboundFromType), ctx);
    if (!FutureOnly(args)) {
      RebindTypeColumns(*db, *target.type, old, "", rule, ctx.collation());
      HelpInform(
          Raise(rule ? Msg::kRuleUnboundFromTypeColumns : Msg::kDefaultUnboundFromTypeColumns),
          ctx);
    }
  }
  ctx.MarkChanged();
  return std::nullopt;
}

}  // namespace

Status SpBindDefault(const ProcArgs& args, ExecContext& ctx) {
  return BindProcedure(args, ctx, false);
}
Status SpBindRule(const ProcArgs& args, ExecContext& ctx) { return BindProcedure(args, ctx, true); }
Status SpUnbindDefault(const ProcArgs& args, ExecContext& ctx) {
  return UnbindProcedure(args, ctx, false);
}
Status SpUnbindRule(const ProcArgs& args, ExecContext& ctx) {
  return UnbindProcedure(args, ctx, true);
}

// Whether a default or rule is bound to anything, for DROP DEFAULT and DROP
// RULE: "column" or "user data type", as error 3716 names it, or null.
const char* BoundTo(const Database& db, const Bindable& bindable, const Collation& collation) {
  for (const auto& table : db.tables) {
    for (const Column& column : table->columns) {
      const std::string& bound = bindable.is_rule ? column.bound_rule : column.bound_default;
      if (collation.Equal(bound, bindable.name)) return "column";
    }
  }
  for (const UserType& type : db.types) {
    const std::string& bound = bindable.is_rule ? type.rule_name : type.default_name;
    if (collation.Equal(bound, bindable.name)) return "user data type";
  }
  return nullptr;
}

}  // namespace server
