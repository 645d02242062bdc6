// CREATE VIEW, PROCEDURE, FUNCTION, TRIGGER, DEFAULT and RULE. Views and
// schema-bound functions are checked against the objects they name now;
// procedure, function and trigger bodies are kept as text and resolved when
// they run.

#include "server/exec/executor.h"
#include "server/exec/query.h"
#include "server/exec/relation.h"
#include "server/exec/temp_tables.h"
#include "server/exec/type_resolution.h"

namespace server {

namespace {

Status ResolveParameters(const CreateModuleStmt& stmt, Database& db, ExecContext& ctx,
                         Module& module) {
  for (size_t i = 0; i < stmt.parameters.size(); ++i) {
    const ParameterDef& def = stmt.parameters[i];
    for (const ModuleParameter& seen : module.parameters) {
      if (ctx.collation().Equal(seen.name, def.name))
        return Raise(Msg::kParameterTwice, {def.name});
    }
    ResolvedType type;
    TypeUse use;
    use.ordinal = static_cast<int>(i + 1);
    use.column = def.name;
    if (Status s = ResolveType(def.type, &db, ctx.collation(), use, type)) return s;
    module.parameters.push_back(
        {def.name, type.type, def.has_default, def.default_text, def.output});
  }
  return std::nullopt;
}

void BaseTables(const FromItem& item, std::vector<const TableRef*>& out) {
  if (item.is_join()) {
    BaseTables(*item.left, out);
    BaseTables(*item.right, out);
  } else if (!item.derived) {
    out.push_back(&item.table);
  }
}

// A schema-bound SELECT: two-part names of tables or schema-bound views,
// no *, and every column it names present (the query's run checks that).
Status BindSchemaBound(const SelectStmt& select, const char* kind, const std::string& module_name,
                       ExecContext& ctx, Database& db, std::vector<int>& bound_ids) {
  for (const SelectItem& item : select.items) {
    if (item.star) return Raise(Msg::kSchemaBindSyntax, {"*"});
  }
  std::vector<const TableRef*> tables;
  for (const FromItem& item : select.from) BaseTables(item, tables);
  for (const TableRef* table : tables) {
    const ObjectName& name = table->name;
    if (name.parts != 2) return Raise(Msg::kSchemaBindName, {kind, module_name, name.Text()});
    std::optional<ObjectRef> object = db.FindObject(name.owner, name.name, ctx.collation());
    if (!object || (object->kind != ObjectKind::kTable && object->kind != ObjectKind::kView)) {
      return Raise(Msg::kInvalidObjectName, {name.Text()});
    }
    if (object->kind == ObjectKind::kView && !object->module->schema_bound) {
      return Raise(Msg::kSchemaBindNotBound, {kind, module_name, name.Text()});
    }
    bound_ids.push_back(object->id);
  }
  // The columns of every table, as the query sees them.
  RowSchema schema;
  for (const TableRef* table : tables) {
    Relation relation;
    if (Status s = OpenRelation(*table, ctx, relation)) return s;
    const std::string& exposed = table->ExposedName();
    for (size_t i = 0; i < relation.schema.names.size(); ++i) {
      schema.names.push_back(relation.schema.names[i]);
      schema.types.push_back(relation.schema.types[i]);
      schema.sources.push_back(exposed);
    }
  }
  if (tables.empty()) return std::nullopt;
  for (const SelectItem& item : select.items) {
    if (Status s = BindColumns(*item.expr, &schema, ctx.collation())) return s;
  }
  if (select.where) {
    if (Status s = BindColumns(*select.where, &schema, ctx.collation())) return s;
  }
  return std::nullopt;
}

Status CheckView(const CreateModuleStmt& stmt, Database& db, ExecContext& ctx, Module& module) {
  if (!stmt.select->order_by.empty() && !stmt.select->top) return Raise(Msg::kOrderByInSubquery);
  // A temporary table is its session's, which a view outlives.
  std::vector<const TableRef*> tables;
  for (const FromItem& item : stmt.select->from) BaseTables(item, tables);
  for (const TableRef* table : tables) {
    if (IsTempName(table->name.name)) return Raise(Msg::kViewOnTempTable);
  }
  if (stmt.schema_bound) {
    if (Status s = BindSchemaBound(*stmt.select, "view", module.name, ctx, db, module.bound_ids))
      return s;
  }
  // Running the query checks every name it uses and gives its columns.
  QueryResult result;
  if (ctx.depth >= kMaxNesting) return Raise(Msg::kNestingLimit, {std::to_string(kMaxNesting)});
  ++ctx.depth;
  Status run = RunSelect(*stmt.select, ctx, result);
  --ctx.depth;
  if (run) return run;
  std::vector<std::string> names = result.schema.names;
  if (!stmt.view_columns.empty()) {
    if (stmt.view_columns.size() < names.size()) return Raise(Msg::kViewMoreColumns, {module.name});
    if (stmt.view_columns.size() > names.size())
      return Raise(Msg::kViewFewerColumns, {module.name});
    names = stmt.view_columns;
  }
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i].empty()) return Raise(Msg::kViewColumnName, {std::to_string(i + 1)});
    for (size_t j = 0; j < i; ++j) {
      if (ctx.collation().Equal(names[i], names[j]))
        return Raise(Msg::kViewColumnTwice, {names[i], module.name});
    }
  }
  return std::nullopt;
}

// A trigger made, or with `existing`, redefined in place (its id, and with
// it its extended properties, stay).
Status DefineTrigger(const CreateModuleStmt& stmt, Database& db, ExecContext& ctx,
                     const std::string& owner, const ObjectRef* existing) {
  const ObjectName& on = stmt.trigger_table;
  Database* table_db = DatabaseOf(on, ctx);
  std::optional<ObjectRef> object;
  if (table_db == &db) object = db.FindObject(on.owner, on.name, ctx.collation());
  if (object && object->kind == ObjectKind::kView)
    return Raise(Msg::kNotSupported, {"Triggers on views"});
  if (!object || object->kind != ObjectKind::kTable)
    return Raise(Msg::kInvalidObjectName, {on.Text()});
  if (existing && existing->table != object->table)
    return Raise(Msg::kNotSupported, {"Moving a trigger to another table with ALTER TRIGGER"});
  Trigger trigger;
  trigger.id = existing ? existing->id : db.NewObjectId();
  trigger.name = existing ? existing->name : stmt.name.name;
  trigger.owner = owner;
  trigger.text = stmt.text;
  trigger.on_insert = stmt.on_insert;
  trigger.on_update = stmt.on_update;
  trigger.on_delete = stmt.on_delete;
  trigger.instead_of = stmt.instead_of;
  trigger.encrypted = stmt.encrypted;
  trigger.ansi_nulls = ctx.session.options.ansi_nulls;
  trigger.quoted_identifier = stmt.quoted_identifier;
  if (!existing) {
    object->table->triggers.push_back(std::move(trigger));
    return std::nullopt;
  }
  for (Trigger& old : object->table->triggers) {
    if (old.id != existing->id) continue;
    trigger.disabled = old.disabled;
    old = std::move(trigger);
  }
  return std::nullopt;
}

// What ALTER VIEW / PROCEDURE / FUNCTION / TRIGGER may redefine: an object
// of that name and kind; a function keeps its kind (scalar or table).
Status CheckAlterTarget(const CreateModuleStmt& stmt, const std::optional<ObjectRef>& object,
                        Database& db) {
  if (!object) return Raise(Msg::kInvalidObjectName, {stmt.name.Text()});
  ObjectKind wanted = stmt.kind == ModuleKind::kView        ? ObjectKind::kView
                      : stmt.kind == ModuleKind::kProcedure ? ObjectKind::kProcedure
                      : stmt.kind == ModuleKind::kFunction  ? ObjectKind::kFunction
                                                            : ObjectKind::kTrigger;
  if (object->kind != wanted) return Raise(Msg::kIncompatibleAlter, {object->name});
  if (wanted == ObjectKind::kFunction) {
    bool was_scalar = object->module->type == ModuleType::kScalarFunction;
    if (was_scalar != (stmt.function_kind == FunctionKind::kScalar))
      return Raise(Msg::kIncompatibleAlter, {object->name});
  }
  if (wanted == ObjectKind::kView || wanted == ObjectKind::kFunction) {
    for (const Module& module : db.modules) {
      for (int id : module.bound_ids) {
        if (id == object->id)
          return Raise(Msg::kReferencedBySchemaBound, {"ALTER", object->name, module.name});
      }
    }
  }
  return std::nullopt;
}

}  // namespace

Status ExecuteCreateModule(const CreateModuleStmt& stmt, ExecContext& ctx) {
  Database* db = ctx.CurrentDatabase();
  if (!db) return Raise(Msg::kDatabaseNotFoundOnUse, {ctx.session.database});
  const Collation& collation = ctx.collation();
  std::string owner = stmt.name.owner.empty() ? "dbo" : stmt.name.owner;
  if (!db->HasUser(owner, collation)) return Raise(Msg::kOwnerNotFound, {owner});
  std::optional<ObjectRef> existing = db->FindObject(owner, stmt.name.name, collation);
  if (stmt.alter) {
    if (Status s = CheckAlterTarget(stmt, existing, *db)) return s;
  } else if (existing) {
    return Raise(Msg::kObjectExists, {stmt.name.name});
  }

  if (stmt.kind == ModuleKind::kTrigger) {
    if (Status s = DefineTrigger(stmt, *db, ctx, owner, stmt.alter ? &*existing : nullptr))
      return s;
  } else if (stmt.kind == ModuleKind::kDefault || stmt.kind == ModuleKind::kRule) {
    // A default is a constant; a rule tests its one variable.
    if (HasSubquery(*stmt.expression)) return Raise(Msg::kSubqueryNotAllowed);
    if (Status s = BindColumns(*stmt.expression, nullptr, collation)) return s;
    Bindable bindable;
    bindable.id = db->NewObjectId();
    bindable.name = stmt.name.name;
    bindable.owner = owner;
    bindable.is_rule = stmt.kind == ModuleKind::kRule;
    bindable.text = stmt.text;
    bindable.expression = stmt.expression->text;
    db->bindables.push_back(std::move(bindable));
  } else {
    Module module;
    // An altered object keeps its name as the catalog has it.
    module.name = stmt.alter ? existing->name : stmt.name.name;
    module.owner = owner;
    module.text = stmt.text;
    module.body = stmt.body;
    module.encrypted = stmt.encrypted;
    module.schema_bound = stmt.schema_bound;
    module.ansi_nulls = ctx.session.options.ansi_nulls;
    module.quoted_identifier = stmt.quoted_identifier;
    if (Status s = ResolveParameters(stmt, *db, ctx, module)) return s;
    switch (stmt.kind) {
      case ModuleKind::kView:
        module.type = ModuleType::kView;
        if (Status s = CheckView(stmt, *db, ctx, module)) return s;
        break;
      case ModuleKind::kProcedure:
        module.type = ModuleType::kProcedure;
        break;
      default: {
        module.type = stmt.function_kind == FunctionKind::kScalar ? ModuleType::kScalarFunction
                      : stmt.function_kind == FunctionKind::kInlineTable
                          ? ModuleType::kInlineFunction
                          : ModuleType::kTableFunction;
        if (stmt.returns) {
          ResolvedType returns;
          TypeUse use;
          use.ordinal = static_cast<int>(stmt.parameters.size() + 1);
          if (Status s = ResolveType(*stmt.returns, db, collation, use, returns)) return s;
        }
        for (const auto& select : stmt.body_selects) {
          if (Status s =
                  BindSchemaBound(*select, "function", module.name, ctx, *db, module.bound_ids))
            return s;
        }
        break;
      }
    }
    if (stmt.alter) {
      // The object stays itself: its id, and so its permissions and
      // extended properties.
      module.id = existing->id;
      module.owner = existing->module->owner;
      *existing->module = std::move(module);
    } else {
      module.id = db->NewObjectId();
      db->modules.push_back(std::move(module));
    }
  }
  ctx.MarkChanged();
  ctx.outcome.row_counts.push_back(-1);
  return std::nullopt;
}

}  // namespace server
