#ifndef TAVORA_SERVER_EXEC_TABLE_VARIABLES_H_
#define TAVORA_SERVER_EXEC_TABLE_VARIABLES_H_

#include <functional>
#include <memory>
#include <string>
#include <unordered_set>

#include "server/exec/relation.h"

namespace server {

// Table variables keep their rows in a store of the batch's own, an SQLite
// database in memory beside the session's store, rather than in the
// session's store (tempdb's place): SQL Server keeps table variables out of
// transactions, so a ROLLBACK must leave their rows alone, while a failing
// statement must still take its own rows back. A store of their own gives
// both, and with it the seeks, key counts and constraint checks that tables
// have, without a second way of holding rows.
class VariableStore {
 public:
  static std::variant<std::shared_ptr<VariableStore>, SqlError> Open(const Collation& collation);
  Store& store() { return *store_; }
  // A new table's store id, and the object ids its constraints take.
  int64_t NewStoreId();
  int& object_ids() { return object_ids_; }
  // Drops a table variable's rows when it goes out of scope.
  void Drop(int64_t store_id);

 private:
  explicit VariableStore(std::unique_ptr<Store> store) : store_(std::move(store)) {}
  std::unique_ptr<Store> store_;
  int64_t next_store_id_ = 1;
  // Made-up object ids, shown in the names of their constraints.
  int object_ids_ = 0x0A0B0C0D;
  std::unordered_set<int64_t> live_;
};

// DECLARE @t TABLE (...): the definition, as a table no database holds.
struct TableVariable {
  std::unique_ptr<Table> table;
  std::shared_ptr<VariableStore> store;
  TableVariable() = default;
  TableVariable(const TableVariable&) = delete;
  TableVariable& operator=(const TableVariable&) = delete;
  ~TableVariable();
};

// Declares table variable `stmt.name.name` in the running scope. Declared
// again (in a loop), it keeps its rows.
Status DeclareTableVariable(const CreateTableStmt& stmt, ExecContext& ctx);

// The table variable `name` (with @) of the running scope; 137 when there
// is none.
Status FindTableVariable(const std::string& name, ExecContext& ctx, Table*& out);

// Builds a table variable's table (exec_create_table.cc), its object ids
// counted by `ids`.
Status BuildTableVariable(const CreateTableStmt& stmt, Database& db, ExecContext& ctx, int& ids,
                          std::unique_ptr<Table>& out);

// Runs `body` in a savepoint of the table variables' store, when there is
// one: a statement that fails leaves their rows as they were.
Status WithVariableSavepoint(ExecContext& ctx, const std::function<Status()>& body);

// Gives the running scope table variables and a SCOPE_IDENTITY of its own
// while it lives, handing back the caller's when it ends (procedures,
// triggers, EXEC).
class TableVariableScope {
 public:
  explicit TableVariableScope(ExecContext& ctx);
  ~TableVariableScope();
  TableVariableScope(const TableVariableScope&) = delete;
  TableVariableScope& operator=(const TableVariableScope&) = delete;

 private:
  ExecContext& ctx_;
  std::map<std::string, std::shared_ptr<TableVariable>> saved_;
  std::optional<int64_t> saved_identity_;
};

}  // namespace server

#endif  // TAVORA_SERVER_EXEC_TABLE_VARIABLES_H_
