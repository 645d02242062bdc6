// DECLARE ... CURSOR, OPEN, FETCH, CLOSE and DEALLOCATE.

#include <algorithm>

#include "server/exec/cursors.h"
#include "server/exec/eval.h"
#include "server/exec/executor.h"
#include "server/exec/relation.h"
#include "server/exec/temp_tables.h"
#include "server/sql/parser.h"

namespace server {

namespace {

// The primary key of the one table a cursor reads, added to its select
// list, so that WHERE CURRENT OF can find a row again. Nothing when the
// cursor cannot be updated through.
void ChooseKey(const SelectStmt& select, Cursor& cursor, ExecContext& ctx) {
  cursor.key_columns.clear();
  cursor.key_types.clear();
  if (cursor.DeclaredReadOnly() || !cursor.definition.keyable || select.from.size() != 1 ||
      select.from[0].is_join() || select.from[0].derived) {
    return;
  }
  const ObjectName name = ResolveTempName(select.from[0].table.name, ctx);
  Database* db = DatabaseOf(name, ctx);
  if (!db) return;
  std::optional<ObjectRef> object = db->FindObject(name.owner, name.name, ctx.collation());
  if (!object || object->kind != ObjectKind::kTable) return;
  const Table& table = *object->table;
  const Index* key = table.PrimaryKey();
  if (!key) return;
  std::vector<std::string> columns;
  std::vector<DataType> types;
  for (const std::string& column : key->columns) {
    int c = table.FindColumn(column, ctx.collation());
    if (c < 0) return;
    columns.push_back(table.columns[c].name);
    types.push_back(table.columns[c].type);
  }
  cursor.key_columns = std::move(columns);
  cursor.key_types = std::move(types);
  cursor.key_database = db->name;
  cursor.key_table = table.name;
}

std::string BracketName(const std::string& name) {
  std::string quoted = "[";
  for (char c : name) quoted += c == ']' ? std::string("]]") : std::string(1, c);
  return quoted + "]";
}

Status OpenCursor(Cursor& cursor, ExecContext& ctx) {
  if (cursor.open) return Raise(Msg::kCursorAlreadyOpen);
  const DeclareCursorStmt& definition = cursor.definition;
  auto parsed = ParseBatch(definition.select_text, ctx.session.options.quoted_identifier);
  if (auto* error = std::get_if<SqlError>(&parsed)) return *error;
  const Batch& plain = std::get<Batch>(parsed);
  const auto* select = std::get_if<SelectStmt>(&plain.statements.at(0).node);
  if (!select) return Raise(Msg::kInternalError, {"a cursor's query is not a SELECT"});
  ChooseKey(*select, cursor, ctx);
  Batch keyed;
  if (!cursor.key_columns.empty()) {
    std::string text = definition.select_text.substr(0, definition.from_offset);
    for (const std::string& column : cursor.key_columns) text += ", " + BracketName(column);
    text += " " + definition.select_text.substr(definition.from_offset);
    auto reparsed = ParseBatch(text, ctx.session.options.quoted_identifier);
    if (auto* error = std::get_if<SqlError>(&reparsed)) return *error;
    keyed = std::move(std::get<Batch>(reparsed));
    select = &std::get<SelectStmt>(keyed.statements.at(0).node);
  }
  QueryResult result;
  if (Status s = RunSelect(*select, ctx, result)) return s;
  size_t width = result.schema.names.size() - cursor.key_columns.size();
  cursor.columns.assign(result.schema.names.begin(), result.schema.names.begin() + width);
  cursor.types.assign(result.schema.types.begin(), result.schema.types.begin() + width);
  cursor.keys.clear();
  for (Row& row : result.rows) {
    if (!cursor.key_columns.empty()) {
      cursor.keys.emplace_back(std::make_move_iterator(row.begin() + width),
                               std::make_move_iterator(row.end()));
    }
    row.resize(width);
  }
  cursor.rows = std::move(result.rows);
  cursor.deleted.assign(cursor.rows.size(), false);
  cursor.position = 0;
  cursor.open = true;
  ctx.session.last_opened = &cursor;
  return std::nullopt;
}

const char* FetchName(FetchKind kind) {
  switch (kind) {
    case FetchKind::kNext:
      return "next";
    case FetchKind::kPrior:
      return "prior";
    case FetchKind::kFirst:
      return "first";
    case FetchKind::kLast:
      return "last";
    case FetchKind::kAbsolute:
      return "absolute";
    case FetchKind::kRelative:
      return "relative";
  }
  return "";
}

Status FetchOffset(const FetchStmt& stmt, ExecContext& ctx, int64_t& out) {
  if (Status s = BindColumns(*stmt.offset, nullptr, ctx.collation())) return s;
  Scalar value;
  if (Status s = Evaluate(*stmt.offset, EvalScope{ctx}, value)) return s;
  // n is a constant or an int, smallint or tinyint variable.
  if (Family(value.type) != TypeFamily::kInteger || value.type.base == BaseType::kBigInt ||
      value.type.base == BaseType::kBit) {
    return Raise(Msg::kInvalidParameter, {"2", "fetch"});
  }
  out = value.is_null() ? 0 : std::get<int64_t>(value.value);
  return std::nullopt;
}

// Where a fetch of `kind` moves to from `position` over `count` rows,
// before the first row (0) or after the last (count + 1) when it leaves
// them.
int64_t Move(FetchKind kind, int64_t offset, int64_t position, int64_t count) {
  int64_t to = 0;
  switch (kind) {
    case FetchKind::kNext:
      to = position + 1;
      break;
    case FetchKind::kPrior:
      to = position - 1;
      break;
    case FetchKind::kFirst:
      to = 1;
      break;
    case FetchKind::kLast:
      to = count;
      break;
    case FetchKind::kAbsolute:
      to = offset >= 0 ? offset : count + 1 + offset;
      break;
    case FetchKind::kRelative:
      to = position + offset;
      break;
  }
  if (to < 1) return 0;
  return std::min(to, count + 1);
}

Scalar* FindVariableNamed(ExecContext& ctx, const std::string& name) {
  for (auto& [variable, value] : ctx.variables) {
    if (ctx.collation().Equal(variable, name)) return &value;
  }
  return nullptr;
}

// The row's values converted to the INTO variables' types, before any is set.
Status ConvertForInto(const FetchStmt& stmt, const Cursor& cursor, const Row& row, ExecContext& ctx,
                      std::vector<Value>& out) {
  for (size_t i = 0; i < stmt.into.size(); ++i) {
    Scalar* variable = FindVariableNamed(ctx, stmt.into[i]);
    if (!variable) return Raise(Msg::kMustDeclareVariable, {stmt.into[i]});
    Value converted;
    if (Status s = Convert(Scalar{cursor.types[i], row[i]}, variable->type, false, converted)) {
      if (s->number != MessageNumber(Msg::kImplicitConversion) &&
          s->number != MessageNumber(Msg::kOperandClash)) {
        return s;
      }
      return Raise(Msg::kCursorFetchConversion,
                   {Info(cursor.types[i].base).name, Info(variable->type.base).name});
    }
    out.push_back(std::move(converted));
  }
  return std::nullopt;
}

}  // namespace

Status ExecuteDeclareCursor(const DeclareCursorStmt& stmt, ExecContext& ctx) {
  int scope = stmt.scope == CursorScope::kLocal ? ctx.cursor_scope : 0;
  for (const auto& cursor : ctx.session.cursors) {
    if (cursor->scope == scope && ctx.collation().Equal(cursor->name, stmt.name))
      return Raise(Msg::kCursorExists, {stmt.name});
  }
  auto cursor = std::make_shared<Cursor>();
  cursor->name = stmt.name;
  cursor->scope = scope;
  cursor->definition = stmt;
  if (stmt.for_update && cursor->DeclaredReadOnly()) return Raise(Msg::kCursorForUpdateReadOnly);
  ctx.session.cursors.push_back(std::move(cursor));
  return std::nullopt;
}

Status ExecuteSetCursor(const SetCursorStmt& stmt, ExecContext& ctx) {
  Cursor* cursor = FindCursorVariable(stmt.variable, ctx);
  if (!cursor) return NoCursorVariable(stmt.variable, ctx);
  Cursor made;
  made.definition = stmt.definition;
  if (stmt.definition.for_update && made.DeclaredReadOnly())
    return Raise(Msg::kCursorForUpdateReadOnly);
  // The cursor it held before, having no other variable, goes.
  cursor->Close();
  cursor->definition = stmt.definition;
  cursor->allocated = true;
  return std::nullopt;
}

Status ExecuteCursor(const CursorStmt& stmt, ExecContext& ctx) {
  Cursor* cursor = nullptr;
  if (Status s = FindCursor(stmt.cursor, ctx, cursor)) return s;
  switch (stmt.action) {
    case CursorAction::kOpen:
      return OpenCursor(*cursor, ctx);
    case CursorAction::kClose:
      if (!cursor->open) return Raise(Msg::kCursorNotOpen);
      cursor->Close();
      return std::nullopt;
    case CursorAction::kDeallocate:
      // A cursor variable stays declared, holding no cursor.
      if (!cursor->variable.empty()) {
        cursor->Close();
        cursor->allocated = false;
        return std::nullopt;
      }
      std::erase_if(ctx.session.cursors, [cursor](const auto& c) { return c.get() == cursor; });
      return std::nullopt;
  }
  return std::nullopt;
}

Status ExecuteFetch(const FetchStmt& stmt, ExecContext& ctx) {
  Cursor* cursor = nullptr;
  if (Status s = FindCursor(stmt.cursor, ctx, cursor)) return s;
  if (!cursor->open) return Raise(Msg::kCursorNotOpen);
  if (stmt.kind == FetchKind::kAbsolute && cursor->Kind() == CursorKind::kDynamic)
    return Raise(Msg::kCursorFetchDynamic, {"Absolute"});
  if (stmt.kind != FetchKind::kNext && !cursor->Scrollable())
    return Raise(Msg::kCursorFetchForwardOnly, {"fetch", FetchName(stmt.kind)});
  if (!stmt.into.empty() && stmt.into.size() != cursor->columns.size())
    return Raise(Msg::kCursorFetchIntoCount);
  int64_t offset = 0;
  if (stmt.offset) {
    if (Status s = FetchOffset(stmt, ctx, offset)) return s;
  }
  const int64_t count = static_cast<int64_t>(cursor->rows.size());
  int64_t to = Move(stmt.kind, offset, cursor->position, count);
  // A dynamic cursor no longer has the rows it deleted: it goes on past
  // them. A keyset cursor still has their place, and reports them missing.
  bool dynamic = cursor->Dynamic();
  int64_t step =
      stmt.kind == FetchKind::kPrior || stmt.kind == FetchKind::kLast || (stmt.offset && offset < 0)
          ? -1
          : 1;
  while (dynamic && to >= 1 && to <= count && cursor->deleted[to - 1]) to += step;
  to = std::clamp<int64_t>(to, 0, count + 1);
  const bool on_row = to >= 1 && to <= count;
  const bool missing = on_row && cursor->deleted[to - 1];
  std::vector<Value> values;
  if (on_row && !missing && !stmt.into.empty()) {
    if (Status s = ConvertForInto(stmt, *cursor, cursor->rows[to - 1], ctx, values)) return s;
  }
  cursor->position = to;
  ctx.session.fetch_status = !on_row ? -1 : missing ? -2 : 0;
  const int64_t fetched = on_row && !missing ? 1 : 0;
  if (!stmt.into.empty()) {
    for (size_t i = 0; i < values.size(); ++i) {
      FindVariableNamed(ctx, stmt.into[i])->value = std::move(values[i]);
    }
    ctx.session.rowcount = fetched;
    ctx.outcome.row_counts.push_back(-1);
    return std::nullopt;
  }
  // Without INTO the row goes to the client, as a SELECT's would.
  ResultSet result;
  result.columns = cursor->columns;
  for (const DataType& type : cursor->types) result.types.push_back(TypeName(type));
  if (fetched) result.rows.push_back(cursor->rows[to - 1]);
  result.statement = ctx.outcome.row_counts.size();
  ctx.outcome.results.push_back(std::move(result));
  ctx.CountRows(fetched);
  return std::nullopt;
}

}  // namespace server
