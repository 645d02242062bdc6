// SELECT ... INTO: a new table shaped like the query's result, holding its
// rows.

#include <algorithm>

#include "server/exec/executor.h"
#include "server/exec/locking.h"
#include "server/exec/relation.h"
#include "server/exec/temp_tables.h"

namespace server {

namespace {

constexpr size_t kMaxIntoColumns = 1024;

// A user table the query reads, by the name it is exposed under, and
// whether an outer join may NULL-extend its rows.
struct IntoSource {
  std::string exposed;
  const Table* table = nullptr;
  bool extended = false;
};

void CollectIntoSources(const FromItem& item, bool extended, ExecContext& ctx,
                        std::vector<IntoSource>& out) {
  if (item.is_join()) {
    bool left = extended || item.join == JoinKind::kRight || item.join == JoinKind::kFull;
    bool right = extended || item.join == JoinKind::kLeft || item.join == JoinKind::kFull;
    CollectIntoSources(*item.left, left, ctx, out);
    CollectIntoSources(*item.right, right, ctx, out);
    return;
  }
  if (item.derived) return;
  const ObjectName name = ResolveTempName(item.table.name, ctx);
  Database* db = DatabaseOf(name, ctx);
  std::optional<ObjectRef> object;
  if (db) object = db->FindObject(name.owner, name.name, ctx.collation());
  if (!object || object->kind != ObjectKind::kTable) return;
  out.push_back({item.table.ExposedName(), object->table, extended});
}

bool IsNonNullConstant(const Expr& expr) {
  return expr.kind == ExprKind::kLiteral && !expr.literal.is_null();
}

// What the new table's columns take from the query beyond its names and
// types: the source column of each result column that is a plain column of
// a table read (null otherwise), and which cannot be NULL. Kept simple: a
// plain column keeps its nullability unless an outer join may NULL-extend
// it, a constant other than NULL and ISNULL(x, such a constant) are NOT
// NULL, anything else (a view's columns included) is nullable.
struct IntoOrigins {
  std::vector<const Column*> columns;
  std::vector<bool> not_null;
};

IntoOrigins FindIntoOrigins(const SelectStmt& select, size_t width, ExecContext& ctx) {
  IntoOrigins origins;
  // A UNION's columns come from several queries: all are expressions.
  if (!select.unions.empty()) {
    origins.columns.assign(width, nullptr);
    origins.not_null.assign(width, false);
    return origins;
  }
  std::vector<IntoSource> sources;
  for (const FromItem& item : select.from) CollectIntoSources(item, false, ctx, sources);
  const bool one_table =
      select.from.size() == 1 && !select.from[0].is_join() && sources.size() == 1;
  for (const SelectItem& item : select.items) {
    if (item.star) {
      if (!one_table) break;
      for (const Column& column : sources[0].table->columns) {
        origins.columns.push_back(&column);
        origins.not_null.push_back(!column.nullable);
      }
      continue;
    }
    const Expr& expr = *item.expr;
    const Column* column = nullptr;
    bool extended = false;
    if (expr.kind == ExprKind::kColumn) {
      int found = 0;
      for (const IntoSource& source : sources) {
        if (!expr.qualifier.empty() && !ctx.collation().Equal(expr.qualifier, source.exposed))
          continue;
        int i = source.table->FindColumn(expr.name, ctx.collation());
        if (i < 0) continue;
        ++found;
        column = &source.table->columns[i];
        extended = source.extended;
      }
      if (found != 1) column = nullptr;
    }
    bool not_null = column ? !column->nullable && !extended : IsNonNullConstant(expr);
    if (expr.kind == ExprKind::kFunction && EqualNoCase(expr.name, "ISNULL") &&
        expr.args.size() == 2 && IsNonNullConstant(*expr.args[1])) {
      not_null = true;
    }
    origins.columns.push_back(column);
    origins.not_null.push_back(not_null);
  }
  // A star over anything but one table: no origins at all.
  if (origins.columns.size() != width) {
    origins.columns.assign(width, nullptr);
    origins.not_null.assign(width, false);
  }
  return origins;
}

// The IDENTITY property passes to the new column under SQL Server's rules:
// not through a join, GROUP BY, an aggregate or a UNION, and not when the
// column is listed more than once (an expression of it is no column).
bool KeepsIdentity(const SelectStmt& select, const IntoOrigins& origins, size_t i) {
  if (!select.group_by.empty() || !select.unions.empty()) return false;
  if (select.from.size() != 1 || select.from[0].is_join()) return false;
  for (const SelectItem& item : select.items) {
    if (item.expr && HasAggregate(*item.expr)) return false;
  }
  return std::count(origins.columns.begin(), origins.columns.end(), origins.columns[i]) == 1;
}

Status AddIntoColumns(const SelectStmt& select, const QueryResult& result,
                      const std::string& written, const Database& db, ExecContext& ctx,
                      Table& table) {
  const RowSchema& schema = result.schema;
  const size_t width = schema.names.size();
  if (width > kMaxIntoColumns) {
    return Raise(Msg::kTooManyColumns,
                 {schema.names[kMaxIntoColumns], written, std::to_string(kMaxIntoColumns)});
  }
  IntoOrigins origins = FindIntoOrigins(select, width, ctx);
  for (size_t i = 0; i < width; ++i) {
    const std::string& name = schema.names[i];
    if (name.empty()) return Raise(Msg::kDerivedColumnName, {std::to_string(i + 1), written});
    if (table.FindColumn(name, ctx.collation()) >= 0)
      return Raise(Msg::kDuplicateColumn, {name, written});
    Column column;
    column.name = name;
    column.type = schema.types[i];
    column.nullable = !origins.not_null[i];
    if (const Column* origin = origins.columns[i]) {
      column.collation = origin->collation;
      if (origin->identity && KeepsIdentity(select, origins, i)) {
        column.identity = true;
        column.identity_seed = origin->identity_seed;
        column.identity_increment = origin->identity_increment;
      }
    }
    if (IsCharacterLike(column.type) && column.collation.empty()) column.collation = db.collation;
    table.columns.push_back(std::move(column));
  }
  return std::nullopt;
}

}  // namespace

Status ExecuteSelectInto(const SelectStmt& stmt, ExecContext& ctx) {
  const ObjectName& into = *stmt.into;
  // FMTONLY describes results; SELECT INTO has none, and makes nothing.
  if (ctx.session.options.fmtonly) return std::nullopt;
  for (const SelectItem& item : stmt.items) {
    if (!item.variable.empty()) return Raise(Msg::kAssignmentWithRetrieval);
  }
  Database* db = nullptr;
  Table named;
  if (Status s = NameNewTable(into, ctx, db, named)) return s;
  auto table = std::make_unique<Table>(std::move(named));
  table->owner = into.owner.empty() ? "dbo" : into.owner;
  if (!db->HasUser(table->owner, ctx.collation())) return Raise(Msg::kOwnerNotFound, {into.owner});
  if (table->temp_name.empty() && db->FindObject(table->owner, table->name, ctx.collation()))
    return Raise(Msg::kObjectExists, {into.name});
  QueryResult result;
  if (Status s = RunSelect(stmt, ctx, result)) return s;
  if (Status s = AddIntoColumns(stmt, result, into.name, *db, ctx, *table)) return s;
  if (table->id == 0) table->id = db->NewObjectId();
  table->store_id = ctx.server.next_store_id++;
  if (result.rows.size() > ctx.RowLimit()) result.rows.resize(ctx.RowLimit());
  for (const Row& row : result.rows) {
    if (Status s = ctx.store.Insert(*table, row)) return s;
  }
  // The copied identity values leave the counter at the last of them.
  for (size_t c = 0; c < table->columns.size(); ++c) {
    const Column& column = table->columns[c];
    if (!column.identity) continue;
    for (const Row& row : result.rows) {
      const int64_t* value = std::get_if<int64_t>(&row[c]);
      if (!value) continue;
      bool further = column.identity_increment > 0 ? *value > table->identity_current
                                                   : *value < table->identity_current;
      if (!table->identity_used || further) table->identity_current = *value;
      table->identity_used = true;
    }
  }
  db->tables.push_back(std::move(table));
  ctx.MarkChanged();
  ctx.CountRows(static_cast<int64_t>(result.rows.size()));
  return std::nullopt;
}

}  // namespace server
