#include "server/exec/cursors.h"

#include <algorithm>

namespace server {

CursorKind Cursor::Kind() const {
  if (definition.kind != CursorKind::kDefault) return definition.kind;
  return definition.insensitive ? CursorKind::kStatic : CursorKind::kDefault;
}

bool Cursor::Dynamic() const {
  CursorKind kind = Kind();
  return kind == CursorKind::kDefault || kind == CursorKind::kDynamic ||
         kind == CursorKind::kFastForward;
}

bool Cursor::Scrollable() const {
  if (definition.scroll) return *definition.scroll;
  // STATIC, KEYSET and DYNAMIC scroll unless FORWARD_ONLY is written.
  return definition.kind == CursorKind::kStatic || definition.kind == CursorKind::kKeyset ||
         definition.kind == CursorKind::kDynamic;
}

bool Cursor::DeclaredReadOnly() const {
  return definition.concurrency == CursorConcurrency::kReadOnly ||
         definition.kind == CursorKind::kStatic || definition.kind == CursorKind::kFastForward ||
         definition.insensitive || definition.for_read_only;
}

LocalCursorScope::LocalCursorScope(ExecContext& ctx) : ctx_(ctx), saved_(ctx.cursor_scope) {
  ctx_.cursor_scope = ++ctx_.session.cursor_scopes;
}

LocalCursorScope::~LocalCursorScope() {
  std::erase_if(ctx_.session.cursors,
                [scope = ctx_.cursor_scope](const auto& cursor) { return cursor->scope == scope; });
  ctx_.cursor_scope = saved_;
}

namespace {

Cursor* FindInScope(const std::string& name, int scope, ExecContext& ctx) {
  for (const auto& cursor : ctx.session.cursors) {
    if (cursor->scope == scope && ctx.collation().Equal(cursor->name, name)) return cursor.get();
  }
  return nullptr;
}

}  // namespace

Cursor* FindCursorVariable(const std::string& name, ExecContext& ctx) {
  for (const auto& cursor : ctx.session.cursors) {
    if (cursor->scope == ctx.cursor_scope && !cursor->variable.empty() &&
        ctx.collation().Equal(cursor->variable, name)) {
      return cursor.get();
    }
  }
  return nullptr;
}

Status NoCursorVariable(const std::string& name, ExecContext& ctx) {
  for (const auto& [variable, value] : ctx.variables) {
    if (ctx.collation().Equal(variable, name)) return Raise(Msg::kNotCursorVariable, {name});
  }
  return Raise(Msg::kMustDeclareVariable, {name});
}

Status FindCursor(const CursorRef& ref, ExecContext& ctx, Cursor*& out) {
  if (ref.variable) {
    out = FindCursorVariable(ref.name, ctx);
    if (!out) return NoCursorVariable(ref.name, ctx);
    if (!out->allocated) return Raise(Msg::kCursorNotAllocated, {ref.name});
    return std::nullopt;
  }
  out = ref.global ? nullptr : FindInScope(ref.name, ctx.cursor_scope, ctx);
  if (!out) out = FindInScope(ref.name, 0, ctx);
  if (!out) return Raise(Msg::kCursorNotFound, {ref.name});
  return std::nullopt;
}

void Cursor::Close() {
  open = false;
  position = 0;
  rows.clear();
  keys.clear();
  deleted.clear();
}

void CloseAllCursors(Session& session) {
  for (const auto& cursor : session.cursors) cursor->Close();
}

int64_t CursorRows(const Session& session) {
  for (const auto& cursor : session.cursors) {
    if (cursor.get() != session.last_opened || !cursor->open) continue;
    return cursor->Dynamic() ? -1 : static_cast<int64_t>(cursor->rows.size());
  }
  return 0;
}

int CursorStatus(std::string_view kind, const std::string& name, ExecContext& ctx) {
  Cursor* cursor = nullptr;
  if (EqualNoCase(kind, "variable")) {
    cursor = FindCursorVariable(name, ctx);
    if (cursor && !cursor->allocated) return -2;
  } else {
    cursor = FindInScope(name, EqualNoCase(kind, "global") ? 0 : ctx.cursor_scope, ctx);
  }
  if (!cursor) return -3;
  if (!cursor->open) return -1;
  return cursor->Dynamic() || !cursor->rows.empty() ? 1 : 0;
}

namespace {

ExprPtr KeyTest(const std::string& column, const DataType& type, const Value& value) {
  auto test = std::make_unique<Expr>();
  test->kind = ExprKind::kCompare;
  test->name = "=";
  auto name = std::make_unique<Expr>();
  name->kind = ExprKind::kColumn;
  name->name = column;
  name->text = column;
  auto literal = std::make_unique<Expr>();
  literal->kind = ExprKind::kLiteral;
  literal->literal = Scalar{type, value};
  test->args.push_back(std::move(name));
  test->args.push_back(std::move(literal));
  test->depth = 2;
  return test;
}

}  // namespace

Status CurrentOfCondition(const CursorRef& ref, const std::string& db, const Table& table,
                          const std::vector<std::string>& assigned, ExecContext& ctx,
                          ExprPtr& out) {
  Cursor* cursor = nullptr;
  if (Status s = FindCursor(ref, ctx, cursor)) return s;
  if (!cursor->open) return Raise(Msg::kCursorNotOpen);
  const Collation& collation = ctx.collation();
  if (cursor->DeclaredReadOnly()) return Raise(Msg::kCursorReadOnly);
  // Rows are found again by their primary key; SQL Server would also use a
  // row's place in a heap, which this server does not keep.
  if (cursor->key_columns.empty()) {
    return Raise(Msg::kNotSupported,
                 {"WHERE CURRENT OF a cursor that does not read one table with a primary key"});
  }
  if (!collation.Equal(cursor->key_database, db) || !collation.Equal(cursor->key_table, table.name))
    return Raise(Msg::kCursorTableNotInCursor);
  if (!cursor->OnRow() || cursor->deleted[cursor->position - 1])
    return Raise(Msg::kCursorNoCurrentRow);
  const std::vector<std::string>& allowed = cursor->definition.update_columns;
  if (!allowed.empty()) {
    for (const std::string& column : assigned) {
      bool listed = std::any_of(allowed.begin(), allowed.end(), [&](const std::string& name) {
        return collation.Equal(name, column);
      });
      if (!listed) return Raise(Msg::kCursorColumnNotForUpdate);
    }
  }
  const Row& key = cursor->keys[cursor->position - 1];
  out.reset();
  for (size_t k = 0; k < cursor->key_columns.size(); ++k) {
    ExprPtr test = KeyTest(cursor->key_columns[k], cursor->key_types[k], key[k]);
    if (!out) {
      out = std::move(test);
      continue;
    }
    auto both = std::make_unique<Expr>();
    both->kind = ExprKind::kAnd;
    both->depth = std::max(out->depth, test->depth) + 1;
    both->args.push_back(std::move(out));
    both->args.push_back(std::move(test));
    out = std::move(both);
  }
  return std::nullopt;
}

void MarkCurrentRowDeleted(const CursorRef& ref, ExecContext& ctx) {
  Cursor* cursor = nullptr;
  if (!FindCursor(ref, ctx, cursor) && cursor->OnRow())
    cursor->deleted[cursor->position - 1] = true;
}

}  // namespace server
