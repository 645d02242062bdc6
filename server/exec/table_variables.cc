#include "server/exec/table_variables.h"

namespace server {

std::variant<std::shared_ptr<VariableStore>, SqlError> VariableStore::Open(
    const Collation& collation) {
  auto opened = Store::Open(std::string(Store::kMemory), collation);
  if (auto* message = std::get_if<std::string>(&opened))
    return Raise(Msg::kInternalError, {*message});
  std::unique_ptr<Store> store = std::move(std::get<std::unique_ptr<Store>>(opened));
  // One transaction for the batch, never committed: nothing here outlives
  // it, and statements take their savepoints inside it.
  if (Status s = store->Begin()) return *s;
  return std::shared_ptr<VariableStore>(new VariableStore(std::move(store)));
}

int64_t VariableStore::NewStoreId() {
  live_.insert(next_store_id_);
  return next_store_id_++;
}

void VariableStore::Drop(int64_t store_id) {
  live_.erase(store_id);
  // A failure only leaves rows no name reaches until the batch ends.
  (void)store_->SweepTables(live_);
}

TableVariable::~TableVariable() {
  if (store && table) store->Drop(table->store_id);
}

Store& ExecContext::StoreOf(const Table& table) {
  if (!table.variable.empty() && variable_store) return variable_store->store();
  return store;
}

Status DeclareTableVariable(const CreateTableStmt& stmt, ExecContext& ctx) {
  const std::string& name = stmt.name.name;
  for (const auto& [declared, variable] : ctx.table_variables) {
    if (ctx.collation().Equal(declared, name)) return std::nullopt;
  }
  if (!ctx.variable_store) {
    auto opened = VariableStore::Open(ctx.collation());
    if (auto* error = std::get_if<SqlError>(&opened)) return *error;
    ctx.variable_store = std::move(std::get<std::shared_ptr<VariableStore>>(opened));
  }
  Database* db = ctx.CurrentDatabase();
  if (!db) return Raise(Msg::kInvalidObjectName, {name});
  auto variable = std::make_shared<TableVariable>();
  if (Status s =
          BuildTableVariable(stmt, *db, ctx, ctx.variable_store->object_ids(), variable->table))
    return s;
  variable->table->store_id = ctx.variable_store->NewStoreId();
  variable->store = ctx.variable_store;
  ctx.table_variables[name] = std::move(variable);
  return std::nullopt;
}

Status FindTableVariable(const std::string& name, ExecContext& ctx, Table*& out) {
  for (const auto& [declared, variable] : ctx.table_variables) {
    if (!ctx.collation().Equal(declared, name)) continue;
    out = variable->table.get();
    return std::nullopt;
  }
  return Raise(Msg::kMustDeclareVariable, {name});
}

Status WithVariableSavepoint(ExecContext& ctx, const std::function<Status()>& body) {
  if (!ctx.variable_store) return body();
  // The store outlives the statement even if the statement's scope ends.
  std::shared_ptr<VariableStore> held = ctx.variable_store;
  constexpr std::string_view kSavepoint = "statement";
  if (Status s = held->store().Savepoint(kSavepoint)) return s;
  Status status = body();
  if (status) {
    held->store().RollbackTo(kSavepoint);
  } else {
    held->store().Release(kSavepoint);
  }
  return status;
}

TableVariableScope::TableVariableScope(ExecContext& ctx) : ctx_(ctx) {
  std::swap(ctx_.table_variables, saved_);
  std::swap(ctx_.scope_identity, saved_identity_);
}

TableVariableScope::~TableVariableScope() {
  std::swap(ctx_.table_variables, saved_);
  std::swap(ctx_.scope_identity, saved_identity_);
}

}  // namespace server
