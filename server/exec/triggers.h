#ifndef TAVORA_SERVER_EXEC_TRIGGERS_H_
#define TAVORA_SERVER_EXEC_TRIGGERS_H_

#include <string_view>
#include <vector>

#include "server/catalog/database.h"
#include "server/exec/eval.h"

namespace server {

enum class TriggerAction { kInsert, kUpdate, kDelete };

// inserted or deleted, as a running trigger reads it.
struct PseudoTable {
  RowSchema schema;
  std::vector<Row> rows;
};

// What one trigger runs with.
struct TriggerFrame {
  int trigger_id = 0;
  int depth = 0;  // the nesting its body runs at: only that level sees the frame
  PseudoTable inserted;
  PseudoTable deleted;
  std::vector<bool> updated;  // per column of the table, for UPDATE() and COLUMNS_UPDATED()
};

// What an INSERT, UPDATE or DELETE did (or, for an INSTEAD OF trigger,
// would do) to a table's rows.
struct TriggerEvent {
  TriggerAction action = TriggerAction::kInsert;
  std::vector<Row> inserted;  // stored rows, computed columns not filled in
  std::vector<Row> deleted;
  std::vector<bool> updated;  // per column; empty for every column
};

// Runs the table's AFTER triggers for the event, each once, in the order
// they were created, with @@ROWCOUNT at the event's count. A trigger does
// not fire itself directly (RECURSIVE_TRIGGERS is off). A trigger that ends
// the transaction ends the batch once it returns.
Status FireAfterTriggers(Database& db, const Table& table, const TriggerEvent& event,
                         ExecContext& ctx);

// Whether an INSTEAD OF trigger is to run in place of the statement: the
// table has one for `action` and it is not the trigger running now (whose
// own change to its table is made as written).
bool HasInsteadOfTrigger(const Table& table, TriggerAction action, const ExecContext& ctx);
// Runs that trigger with the rows the statement would have changed.
Status FireInsteadOfTrigger(Database& db, const Table& table, const TriggerEvent& event,
                            ExecContext& ctx);

// The running trigger's inserted or deleted table for a one-part `name`.
const PseudoTable* FindPseudoTable(const ExecContext& ctx, std::string_view name);

}  // namespace server

#endif  // TAVORA_SERVER_EXEC_TRIGGERS_H_
