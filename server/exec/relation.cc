#include "server/exec/relation.h"

#include <algorithm>

#include "server/exec/locking.h"
#include "server/exec/system_tables.h"
#include "server/exec/table_rows.h"
#include "server/exec/table_variables.h"
#include "server/exec/temp_tables.h"
#include "server/exec/triggers.h"
#include "server/sql/parser.h"

namespace server {

namespace {

bool ServerMatches(const std::string& name, const ExecContext& ctx) {
  return EqualNoCase(name, ctx.server.options.name) || EqualNoCase(name, ctx.session.server_name);
}

}  // namespace

Status OpenView(const Module& view, Database& db, ExecContext& ctx, Relation& out) {
  if (ctx.depth >= kMaxNesting) return Raise(Msg::kNestingLimit, {std::to_string(kMaxNesting)});
  auto parsed = ParseBody(view.text, view.quoted_identifier);
  if (auto* error = std::get_if<SqlError>(&parsed)) return *error;
  Batch& batch = std::get<Batch>(parsed);
  const CreateModuleStmt* create = batch.statements.size() == 1
                                       ? std::get_if<CreateModuleStmt>(&batch.statements[0].node)
                                       : nullptr;
  if (!create || !create->select) return Raise(Msg::kInvalidObjectName, {view.name});
  QueryResult result;
  {
    DatabaseSwitch in_view_database(ctx.session, db.name);
    // A view compares NULLs as ANSI_NULLS was when it was created.
    bool caller_ansi_nulls = ctx.session.options.ansi_nulls;
    ctx.session.options.ansi_nulls = view.ansi_nulls;
    ++ctx.depth;
    Status s = RunSelect(*create->select, ctx, result);
    --ctx.depth;
    ctx.session.options.ansi_nulls = caller_ansi_nulls;
    if (s) return s;
  }
  out.schema = std::move(result.schema);
  if (!create->view_columns.empty() && create->view_columns.size() == out.schema.names.size()) {
    out.schema.names = create->view_columns;
  }
  out.schema.table_name = view.name;
  out.owned = std::move(result.rows);
  out.rows = &out.owned;
  return std::nullopt;
}

namespace {

// The columns of `table` a read fills in: those `named` holds, or all
// when it is null, takes whole rows, or the table computes a column (which
// may use any other).
Store::ColumnMask WantedColumns(const Table& table, const TableRef& ref, const NamedColumns* named,
                                const Collation& collation, bool& computed) {
  computed = false;
  for (const Column& column : table.columns) computed = computed || column.is_computed();
  Store::ColumnMask wanted;
  if (named && !named->all && !computed) {
    for (const Column& column : table.columns)
      wanted.push_back(named->Names(ref.ExposedName(), column.name, collation));
  }
  return wanted;
}

// Stops a read whose sieve gave up; never reported.
SqlError GaveUp() { return SqlError{}; }

// A table's rows (those `where` could keep), computed columns filled in.
// `exposed` is the name the statement reads it by, for the seek.
Status ReadTable(const Table& table, const TableRef& ref, const std::string& exposed,
                 const Expr* where, ExecContext& ctx, Relation& out, KeyedRead* keyed = nullptr,
                 const NamedColumns* named = nullptr, RowSieve* sieve = nullptr) {
  out.schema = TableSchema(table);
  out.schema.alias = ref.alias;
  bool computed = false;
  Store::ColumnMask wanted = WantedColumns(table, ref, named, ctx.collation(), computed);
  // The columns as the query names them, for the sieve while it reads.
  RowSchema exposed_schema;
  if (sieve) {
    exposed_schema = out.schema;
    exposed_schema.sources.assign(exposed_schema.names.size(), ref.ExposedName());
    if (!sieve->Start(exposed_schema)) sieve = nullptr;
  }
  // What the first read fills in: with a sieve that looks at fewer columns
  // than the query reads, those only, the rows kept being read again whole.
  Store::ColumnMask reading = wanted;
  if (sieve && !computed) {
    Store::ColumnMask needs = sieve->Needs();
    auto count = [&](const Store::ColumnMask& mask) {
      return mask.empty() ? table.columns.size()
                          : static_cast<size_t>(std::count(mask.begin(), mask.end(), true));
    };
    if (!needs.empty() && count(needs) < count(wanted)) reading = std::move(needs);
  }
  bool gave_up = false;
  const Store::RowVisitor visit = [&](RowId id, Row& row) -> Status {
    if (computed) {
      if (Status s = ComputeRow(table, out.schema, ctx, row)) return s;
    }
    if (!sieve) {
      out.ids.push_back(id);
      out.owned.push_back(std::move(row));
      return std::nullopt;
    }
    if (sieve->Offer(id, row)) return std::nullopt;
    gave_up = true;
    return GaveUp();
  };
  auto read = [&]() -> Status {
    out.owned.clear();
    out.ids.clear();
    if (keyed) {
      if (Status s = ReadRowsByKeys(table, keyed->columns, keyed->keys, ctx, visit, keyed->used,
                                    reading)) {
        return s;
      }
      if (keyed->used) return std::nullopt;
    }
    return ReadTableRows(table, where, exposed, ctx, visit, reading);
  };
  Status status = read();
  if (gave_up) {
    sieve = nullptr;
    reading = wanted;
    status = read();
  }
  if (status) return status;
  if (sieve) sieve->Finish(out.ids, out.owned);
  if (reading != wanted) {
    out.owned.clear();
    if (Status s = ctx.StoreOf(table).Fetch(
            table, out.ids,
            [&](RowId, Row& row) -> Status {
              out.owned.push_back(std::move(row));
              return std::nullopt;
            },
            wanted)) {
      return s;
    }
  }
  out.table = &table;
  out.rows = &out.owned;
  return std::nullopt;
}

}  // namespace

SqlError ErrorAt(Msg msg, std::initializer_list<std::string_view> args, int line) {
  SqlError error = Raise(msg, args);
  error.line = line;
  return error;
}

Database* DatabaseOf(const ObjectName& name, ExecContext& ctx) {
  if (name.parts >= 4 && !ServerMatches(name.server, ctx)) return nullptr;
  if (!name.database.empty()) return ctx.server.FindDatabase(name.database);
  return ctx.CurrentDatabase();
}

RowSchema TableSchema(const Table& table) {
  RowSchema schema;
  schema.table_name = table.name;
  schema.names.reserve(table.columns.size());
  schema.types.reserve(table.columns.size());
  for (const Column& column : table.columns) {
    schema.names.push_back(column.name);
    schema.types.push_back(column.type);
  }
  return schema;
}

Status ComputeRow(const Table& table, const RowSchema& schema, ExecContext& ctx, Row& row) {
  for (size_t i = 0; i < table.columns.size() && i < row.size(); ++i) {
    const Column& column = table.columns[i];
    if (!column.is_computed()) continue;
    auto parsed = ParseExpression(column.computed);
    if (auto* error = std::get_if<SqlError>(&parsed)) return *error;
    const Expr& expr = *std::get<ExprPtr>(parsed);
    if (Status s = BindColumns(expr, &schema, ctx.collation())) return s;
    EvalScope scope{ctx, &schema, &row, nullptr};
    Scalar value;
    if (Status s = Evaluate(expr, scope, value)) return s;
    Value converted;
    if (Status s = Convert(value, column.type, true, converted)) return s;
    row[i] = std::move(converted);
  }
  return std::nullopt;
}

const Table* FindUserTable(const TableRef& ref, ExecContext& ctx) {
  const ObjectName name = ResolveTempName(ref.name, ctx);
  if (name.variable || (name.parts == 1 && FindPseudoTable(ctx, name.name))) return nullptr;
  Database* db = DatabaseOf(name, ctx);
  if (!db) return nullptr;
  std::optional<ObjectRef> object = db->FindObject(name.owner, name.name, ctx.collation());
  return object && object->kind == ObjectKind::kTable ? object->table : nullptr;
}

Status OpenRelation(const TableRef& ref, ExecContext& ctx, Relation& out, const Expr* where,
                    KeyedRead* keyed, const NamedColumns* named, RowSieve* sieve) {
  const ObjectName name = ResolveTempName(ref.name, ctx);
  int line = 0;
  if (name.variable) {
    // No other session sees it: nothing to lock.
    Table* table = nullptr;
    if (Status s = FindTableVariable(name.name, ctx, table)) return s;
    return ReadTable(*table, ref, ref.alias.empty() ? name.name : ref.alias, where, ctx, out,
                     nullptr, named, sieve);
  }
  // Inside a trigger, inserted and deleted come before any table.
  if (name.parts == 1) {
    if (const PseudoTable* pseudo = FindPseudoTable(ctx, name.name)) {
      out.schema = pseudo->schema;
      out.schema.alias = ref.alias;
      out.rows = &pseudo->rows;
      return std::nullopt;
    }
  }
  Database* db = DatabaseOf(name, ctx);
  if (!db) return ErrorAt(Msg::kInvalidObjectName, {ref.name.Text()}, line);
  if (Status s = LockCatalogForReading(*db, ctx)) return s;
  // System tables (owner dbo) and INFORMATION_SCHEMA's views are made from
  // the catalog when read.
  bool information_schema = EqualNoCase(name.owner, "INFORMATION_SCHEMA");
  if (name.owner.empty() || EqualNoCase(name.owner, "dbo") || information_schema) {
    if (const SystemTableDef* def =
            FindSystemTable(name.name, information_schema, ctx.collation())) {
      if (Status s = BuildSystemTable(*def, *db, ctx, out)) return s;
      out.schema.alias = ref.alias;
      return std::nullopt;
    }
  }
  std::optional<ObjectRef> object = db->FindObject(name.owner, name.name, ctx.collation());
  if (object && object->kind == ObjectKind::kTable) {
    const Table& table = *object->table;
    if (Status s = LockForReading(*db, table.id, ref.hints, ctx)) return s;
    return ReadTable(table, ref, ref.alias, where, ctx, out, keyed, named, sieve);
  }
  if (object && object->kind == ObjectKind::kView) {
    if (Status s = OpenView(*object->module, *db, ctx, out)) return s;
    out.schema.alias = ref.alias;
    return std::nullopt;
  }
  return ErrorAt(Msg::kInvalidObjectName, {ref.name.Text()}, line);
}

Status OpenTableSeeker(const TableRef& ref, const Table& table, ExecContext& ctx,
                       const NamedColumns* named, TableSeeker& out) {
  Database* db = DatabaseOf(ResolveTempName(ref.name, ctx), ctx);
  if (!db) return ErrorAt(Msg::kInvalidObjectName, {ref.name.Text()}, 0);
  if (Status s = LockCatalogForReading(*db, ctx)) return s;
  if (Status s = LockForReading(*db, table.id, ref.hints, ctx)) return s;
  out.table = &table;
  out.schema = TableSchema(table);
  out.schema.alias = ref.alias;
  out.wanted = WantedColumns(table, ref, named, ctx.collation(), out.computed);
  return std::nullopt;
}

Status SeekTable(const TableSeeker& seeker, const std::vector<int>& columns,
                 const std::vector<Value>& key, ExecContext& ctx, const Store::RowVisitor& visit) {
  const Table& table = *seeker.table;
  if (!seeker.computed) return ctx.StoreOf(table).Seek(table, columns, key, visit, seeker.wanted);
  return ctx.StoreOf(table).Seek(
      table, columns, key,
      [&](RowId id, Row& row) -> Status {
        if (Status s = ComputeRow(table, seeker.schema, ctx, row)) return s;
        return visit(id, row);
      },
      seeker.wanted);
}

}  // namespace server
