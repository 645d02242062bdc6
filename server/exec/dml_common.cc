#include "server/exec/dml_common.h"

#include "server/exec/eval.h"
#include "server/exec/locking.h"
#include "server/exec/relation.h"
#include "server/exec/table_variables.h"
#include "server/exec/temp_tables.h"
#include "server/sql/parser.h"

namespace server {

Status ResolveTargetTable(const ObjectName& name, ExecContext& ctx, Database*& db, Table*& table) {
  if (name.variable) {
    // Its constraints' messages place it in tempdb, as SQL Server's do.
    db = ctx.server.FindDatabase("tempdb");
    if (!db) return Raise(Msg::kInvalidObjectName, {"tempdb"});
    return FindTableVariable(name.name, ctx, table);
  }
  const ObjectName target = ResolveTempName(name, ctx);
  db = DatabaseOf(target, ctx);
  std::optional<ObjectRef> object;
  if (db) {
    if (Status s = LockCatalogForReading(*db, ctx)) return s;
    object = db->FindObject(target.owner, target.name, ctx.collation());
  }
  if (object && object->kind == ObjectKind::kSystemTable) return Raise(Msg::kSystemCatalogUpdate);
  if (object && object->kind == ObjectKind::kView)
    return Raise(Msg::kNotSupported, {"Changing rows through a view"});
  if (!object || object->kind != ObjectKind::kTable)
    return Raise(Msg::kInvalidObjectName, {name.Text()});
  table = object->table;
  return LockForChanging(*db, table->id, ctx);
}

std::string QualifiedName(const Database& db, const Table& table) {
  if (!table.variable.empty()) return table.variable;
  return db.name + "." + table.owner + "." + table.name;
}

Value TimestampValue(int64_t dbts) {
  std::vector<uint8_t> bytes(8);
  uint64_t v = static_cast<uint64_t>(dbts);
  for (int i = 7; i >= 0; --i, v >>= 8) bytes[i] = static_cast<uint8_t>(v & 0xff);
  return bytes;
}

Status ColumnDefault(const Column& column, ExecContext& ctx, Value& out) {
  out = std::monostate{};
  std::string text = column.default_text;
  if (text.empty() && !column.bound_default.empty()) {
    // A default sp_bindefault bound, found in the database the statement
    // runs in, which is where it was bound.
    if (const Database* db = ctx.CurrentDatabase()) {
      for (const Bindable& bindable : db->bindables) {
        if (!bindable.is_rule && ctx.collation().Equal(bindable.name, column.bound_default))
          text = bindable.expression;
      }
    }
  }
  if (text.empty()) return std::nullopt;
  auto parsed = ParseExpression(text);
  if (auto* error = std::get_if<SqlError>(&parsed)) return *error;
  const Expr& expr = *std::get<ExprPtr>(parsed);
  if (Status s = BindColumns(expr, nullptr, ctx.collation())) return s;
  EvalScope scope{ctx};
  Scalar value;
  if (Status s = Evaluate(expr, scope, value)) return s;
  return Convert(value, column.type, false, out);
}

}  // namespace server
