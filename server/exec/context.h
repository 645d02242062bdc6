#ifndef TAVORA_SERVER_EXEC_CONTEXT_H_
#define TAVORA_SERVER_EXEC_CONTEXT_H_

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "server/catalog/server_state.h"
#include "server/engine.h"
#include "server/errors.h"
#include "server/exec/transaction_control.h"
#include "server/store/store.h"
#include "server/types/scalar.h"

namespace server {

struct QueryResult;
struct SelectStmt;
struct TriggerFrame;   // server/exec/triggers.h
struct TableVariable;  // server/exec/table_variables.h
class VariableStore;

// SQL Server's limit on nested procedure, view and function calls.
inline constexpr int kMaxNesting = 32;

// Where control goes after a statement: on to the next, or out of the
// enclosing loop, block, procedure or batch (to a label, for GOTO).
enum class Flow { kNext, kBreak, kContinue, kReturn, kGoto };

// What one statement runs with: the server, the session it runs on (and
// the other sessions, which hold databases in use), and the outcome being
// built for the batch.
struct ExecContext {
  ServerState& server;
  Store& store;  // every user table's rows
  // Begins, ends and undoes the store's side of the session's transaction.
  TransactionControl& transactions;
  Session& session;
  const std::vector<std::unique_ptr<Session>>& sessions;
  BatchOutcome& outcome;
  int depth = 0;   // nesting of procedure bodies and views
  int procid = 0;  // @@PROCID: the procedure, trigger or function whose body runs
  // Variables of the batch, or parameters and variables of the procedure
  // being run, by name with @.
  std::map<std::string, Scalar> variables{};
  Flow flow = Flow::kNext;
  std::string jump_label{};                // GOTO's
  std::optional<int64_t> return_status{};  // RETURN's, for the procedure's caller
  // The last identity value inserted in this batch, procedure or trigger
  // (SCOPE_IDENTITY); @@IDENTITY is the session's, whatever the scope.
  std::optional<int64_t> scope_identity{};
  int64_t rounds = 0;      // loop rounds and jumps so far
  int statement_line = 1;  // line of the statement being run
  // Results of the running statement's uncorrelated subqueries: each runs
  // once per statement, not once per row.
  std::map<const SelectStmt*, std::shared_ptr<const QueryResult>> subquery_results{};
  // Whether the running statement has warned that an aggregate skipped a
  // NULL (once per statement, under ANSI_WARNINGS).
  bool warned_null_eliminated = false;
  // The trigger being run: its inserted and deleted tables, which a
  // one-part name finds first. Null outside triggers and in what they EXEC.
  const TriggerFrame* trigger = nullptr;
  // Whether @@TRANCOUNT's 1 is only the statement's own transaction, which
  // a trigger sees open in autocommit mode; its ROLLBACK undoes the
  // statement, not what the batch did before.
  bool implied_transaction = false;
  // Store transactions ended so far, by COMMIT or ROLLBACK: a statement
  // under which one ended has no savepoint of its own left.
  int64_t transactions_ended = 0;
  // Where a scalar function's RETURN puts its value, while one runs.
  std::optional<Scalar>* function_result = nullptr;
  int cursor_scope = 0;  // the local cursors' scope of the running body
  // Whether an INSERT ... EXEC is taking the result sets of what runs.
  bool in_insert_exec = false;
  // Table variables of the batch or body being run, by name with @; like
  // `variables`, each procedure, function and EXEC string has its own.
  std::map<std::string, std::shared_ptr<TableVariable>> table_variables{};
  // Where table variables keep their rows, opened with the first one.
  std::shared_ptr<VariableStore> variable_store{};

  // The store that holds `table`'s rows: the session's, or for a table
  // variable the batch's own.
  Store& StoreOf(const Table& table);

  const Collation& collation() const { return server.collation; }
  // The session's current database; null only if it vanished, which the
  // server prevents while a session uses it.
  Database* CurrentDatabase() const { return server.FindDatabase(session.database); }
  // The catalog changed: it is written when the batch commits. Rows need
  // no mark: the store's commit takes them, and a statement that moves a
  // counter the catalog keeps (identity, timestamp) marks the catalog.
  void MarkChanged() { outcome.changed = true; }
  // Ends a statement that returned or changed `rows` rows: @@ROWCOUNT, and
  // the count the client is told unless SET NOCOUNT ON keeps it back.
  void CountRows(int64_t rows) {
    session.rowcount = rows;
    outcome.row_counts.push_back(session.options.nocount ? -1 : rows);
  }
  // The most rows SET ROWCOUNT lets a statement return or change.
  size_t RowLimit() const {
    int64_t limit = session.options.rowcount;
    return limit > 0 ? static_cast<size_t>(limit) : SIZE_MAX;
  }
  void Inform(SqlError message) { outcome.messages.push_back(std::move(message)); }
};

// Runs with the session's current database switched to `database`, as a
// view or procedure runs in the database that holds it; the session's own
// database comes back when the switch ends.
class DatabaseSwitch {
 public:
  DatabaseSwitch(Session& session, std::string database)
      : session_(session), saved_(session.database) {
    session_.database = std::move(database);
  }
  ~DatabaseSwitch() { session_.database = saved_; }
  DatabaseSwitch(const DatabaseSwitch&) = delete;
  DatabaseSwitch& operator=(const DatabaseSwitch&) = delete;

 private:
  Session& session_;
  std::string saved_;
};

}  // namespace server

#endif  // TAVORA_SERVER_EXEC_CONTEXT_H_
