// The rows UPDATE and DELETE change: chosen by WHERE over the table alone,
// or over the FROM clause's join, in which the changed table's row is the
// one of the same name (or is joined to it, as a cross join, when no item
// has its name).

#include <unordered_map>

#include "server/exec/dml_common.h"
#include "server/exec/query.h"

namespace server {

namespace {

// The exposed name of a plain table item, or the alias of any item.
const FromItem* FindExposed(const std::vector<FromItem>& from, const std::string& name,
                            const Collation& collation) {
  for (const FromItem& top : from) {
    std::vector<const FromItem*> stack{&top};
    while (!stack.empty()) {
      const FromItem* item = stack.back();
      stack.pop_back();
      if (item->is_join()) {
        stack.push_back(item->left.get());
        stack.push_back(item->right.get());
        continue;
      }
      const std::string& exposed = item->table.ExposedName();
      if (collation.Equal(exposed, name)) return item;
    }
  }
  return nullptr;
}

}  // namespace

ObjectName TargetName(const ObjectName& name, const std::vector<FromItem>& from,
                      const Collation& collation) {
  if (name.parts != 1) return name;
  const FromItem* item = FindExposed(from, name.name, collation);
  if (!item || item->derived || item->table.alias.empty()) return name;
  return item->table.name;
}

Status SelectTargetRows(const Table& table, const ObjectName& name,
                        const std::vector<FromItem>& from, const Expr* where,
                        const std::vector<const Expr*>& exprs, ExecContext& ctx, TargetRows& out) {
  const Collation& collation = ctx.collation();
  if (from.empty()) {
    out.schema = TableSchema(table);
    for (const Expr* expr : exprs) {
      if (Status s = BindColumns(*expr, &out.schema, collation)) return s;
    }
    if (where) {
      if (Status s = BindColumns(*where, &out.schema, collation)) return s;
      if (HasAggregate(*where)) return Raise(Msg::kAggregateInWhere);
    }
    std::vector<StoredRow> candidates;
    if (Status s = ReadTableRows(table, where, "", ctx, candidates)) return s;
    out.seen.reserve(candidates.size());
    for (StoredRow& candidate : candidates) {
      if (out.rows.size() >= ctx.RowLimit()) break;
      Row current = candidate.row;
      if (Status s = ComputeRow(table, out.schema, ctx, current)) return s;
      bool match = true;
      if (where) {
        EvalScope scope{ctx, &out.schema, &current, nullptr};
        if (Status s = Test(*where, scope, match)) return s;
      }
      if (!match) continue;
      out.seen.push_back(std::move(current));
      out.rows.push_back({std::move(candidate), nullptr});
    }
    for (size_t i = 0; i < out.rows.size(); ++i) out.rows[i].seen = &out.seen[i];
    return std::nullopt;
  }
  // With FROM: the join, the changed table among its items.
  std::vector<const FromItem*> items;
  FromItem self;  // the changed table, when FROM does not name it
  FromTarget target{&table, name.name};
  if (!FindExposed(from, name.name, collation)) {
    self.table.name = name;
    items.push_back(&self);
  }
  for (const FromItem& item : from) items.push_back(&item);
  Relation joined;
  if (Status s = OpenFrom(items, where, false, ctx, nullptr, joined, &target)) return s;
  int id_column = -1;
  for (size_t i = 0; i < joined.schema.names.size(); ++i) {
    if (joined.schema.names[i] == kRowIdColumn) id_column = static_cast<int>(i);
  }
  if (id_column < 0) return Raise(Msg::kInvalidObjectName, {name.Text()});
  for (const Expr* expr : exprs) {
    if (Status s = BindColumns(*expr, &joined.schema, collation)) return s;
  }
  if (where) {
    if (Status s = BindColumns(*where, &joined.schema, collation)) return s;
    if (HasAggregate(*where)) return Raise(Msg::kAggregateInWhere);
  }
  // Each of the table's rows changes once, as the first joined row it is
  // in says.
  std::unordered_map<RowId, size_t> first;
  for (const Row& row : *joined.rows) {
    bool match = true;
    if (where) {
      EvalScope scope{ctx, &joined.schema, &row, nullptr};
      if (Status s = Test(*where, scope, match)) return s;
    }
    if (!match) continue;
    RowId id = std::get<int64_t>(row[id_column]);
    if (first.count(id)) continue;
    first.emplace(id, out.seen.size());
    out.seen.push_back(row);
  }
  out.schema = std::move(joined.schema);
  std::vector<StoredRow> stored;
  if (Status s = ReadTableRows(table, nullptr, "", ctx, stored)) return s;
  for (StoredRow& row : stored) {
    if (out.rows.size() >= ctx.RowLimit()) break;
    auto it = first.find(row.id);
    if (it == first.end()) continue;
    out.rows.push_back({std::move(row), &out.seen[it->second]});
  }
  return std::nullopt;
}

}  // namespace server
