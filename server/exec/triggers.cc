// Triggers fire after (or instead of) INSERT, UPDATE and DELETE, once per
// statement, with the statement's rows as inserted and deleted.

#include "server/exec/triggers.h"

#include <utility>

#include "server/exec/executor.h"
#include "server/exec/relation.h"
#include "server/exec/table_variables.h"
#include "server/sql/parser.h"

namespace server {

namespace {

bool FiresOn(const Trigger& trigger, TriggerAction action) {
  // ALTER TABLE DISABLE TRIGGER keeps a trigger without firing it.
  if (trigger.disabled) return false;
  switch (action) {
    case TriggerAction::kInsert:
      return trigger.on_insert;
    case TriggerAction::kUpdate:
      return trigger.on_update;
    case TriggerAction::kDelete:
      return trigger.on_delete;
  }
  return false;
}

// The innermost trigger running, whether or not its body is the level
// running now (a procedure it calls still runs inside it).
bool IsRunning(const Trigger& trigger, const ExecContext& ctx) {
  return ctx.trigger && ctx.trigger->trigger_id == trigger.id;
}

Status MakePseudoTable(const Table& table, const char* name, const std::vector<Row>& rows,
                       ExecContext& ctx, PseudoTable& out) {
  out.schema = TableSchema(table);
  out.schema.table_name = name;
  out.rows = rows;
  for (const Column& column : table.columns) {
    if (!column.is_computed()) continue;
    for (Row& row : out.rows) {
      if (Status s = ComputeRow(table, out.schema, ctx, row)) return s;
    }
    break;
  }
  return std::nullopt;
}

Status MakeFrame(const Table& table, const TriggerEvent& event, ExecContext& ctx,
                 TriggerFrame& frame) {
  if (Status s = MakePseudoTable(table, "inserted", event.inserted, ctx, frame.inserted)) return s;
  if (Status s = MakePseudoTable(table, "deleted", event.deleted, ctx, frame.deleted)) return s;
  // An INSERT sets every column; a DELETE none.
  frame.updated = event.updated;
  frame.updated.resize(table.columns.size(), event.action == TriggerAction::kInsert);
  return std::nullopt;
}

// Runs one trigger's body. The trigger is a copy: the body may change the
// catalog (a ROLLBACK reloads it), so nothing of the table is kept.
Status RunTrigger(const Trigger& trigger, const std::string& database, TriggerFrame frame,
                  int64_t rows, ExecContext& ctx) {
  if (ctx.depth >= kMaxNesting) return Raise(Msg::kNestingLimit, {std::to_string(kMaxNesting)});
  auto parsed = ParseBatch(trigger.text, trigger.quoted_identifier);
  if (auto* error = std::get_if<SqlError>(&parsed)) return *error;
  const Batch& batch = std::get<Batch>(parsed);
  const auto* create =
      batch.statements.empty() ? nullptr : std::get_if<CreateModuleStmt>(&batch.statements[0].node);
  if (!create || !create->body_statements) return Raise(Msg::kInvalidObjectName, {trigger.name});

  frame.trigger_id = trigger.id;
  frame.depth = ctx.depth + 1;
  DatabaseSwitch in_database(ctx.session, database);
  TableVariableScope table_variables(ctx);
  std::map<std::string, Scalar> variables;
  std::swap(ctx.variables, variables);
  SessionOptions caller_options = ctx.session.options;
  ctx.session.options.ansi_nulls = trigger.ansi_nulls;  // as it was created
  std::optional<int64_t> caller_return = ctx.return_status;
  const TriggerFrame* caller_trigger = ctx.trigger;
  bool caller_implied = ctx.implied_transaction;
  // A trigger always runs inside a transaction: in autocommit mode the
  // statement's own, which @@TRANCOUNT shows as 1.
  TransactionState& transaction = ctx.session.transaction;
  bool implied = transaction.count == 0;
  if (implied) {
    transaction.count = 1;
    ctx.implied_transaction = true;
  }
  ctx.trigger = &frame;
  ctx.session.rowcount = rows;
  ++ctx.depth;
  const int caller_procid = std::exchange(ctx.procid, trigger.id);
  Status status = RunStatements(*create->body_statements, ctx);
  ctx.procid = caller_procid;
  --ctx.depth;
  bool ended = transaction.count == 0;
  if (implied && !ended) --transaction.count;
  ctx.implied_transaction = caller_implied;
  ctx.trigger = caller_trigger;
  ctx.return_status = caller_return;
  ctx.session.options = caller_options;
  std::swap(ctx.variables, variables);
  if (status) return status;
  if (ended) return Raise(Msg::kTriggerEndedTransaction);
  return std::nullopt;
}

Status RunTriggers(std::vector<Trigger> triggers, Database& db, const Table& table,
                   const TriggerEvent& event, ExecContext& ctx) {
  if (triggers.empty()) return std::nullopt;
  TriggerFrame frame;
  if (Status s = MakeFrame(table, event, ctx, frame)) return s;
  int64_t rows = static_cast<int64_t>(
      event.action == TriggerAction::kDelete ? event.deleted.size() : event.inserted.size());
  std::string database = db.name;
  for (const Trigger& trigger : triggers) {
    if (Status s = RunTrigger(trigger, database, frame, rows, ctx)) return s;
  }
  return std::nullopt;
}

}  // namespace

Status FireAfterTriggers(Database& db, const Table& table, const TriggerEvent& event,
                         ExecContext& ctx) {
  std::vector<Trigger> triggers;
  for (const Trigger& trigger : table.triggers) {
    if (!trigger.instead_of && FiresOn(trigger, event.action) && !IsRunning(trigger, ctx))
      triggers.push_back(trigger);
  }
  return RunTriggers(std::move(triggers), db, table, event, ctx);
}

bool HasInsteadOfTrigger(const Table& table, TriggerAction action, const ExecContext& ctx) {
  for (const Trigger& trigger : table.triggers) {
    if (trigger.instead_of && FiresOn(trigger, action)) return !IsRunning(trigger, ctx);
  }
  return false;
}

Status FireInsteadOfTrigger(Database& db, const Table& table, const TriggerEvent& event,
                            ExecContext& ctx) {
  std::vector<Trigger> triggers;
  for (const Trigger& trigger : table.triggers) {
    // One per action, as CREATE TRIGGER allows.
    if (trigger.instead_of && FiresOn(trigger, event.action)) {
      triggers.push_back(trigger);
      break;
    }
  }
  return RunTriggers(std::move(triggers), db, table, event, ctx);
}

const PseudoTable* FindPseudoTable(const ExecContext& ctx, std::string_view name) {
  const TriggerFrame* frame = ctx.trigger;
  if (!frame || frame->depth != ctx.depth) return nullptr;
  if (ctx.collation().Equal(name, "inserted")) return &frame->inserted;
  if (ctx.collation().Equal(name, "deleted")) return &frame->deleted;
  return nullptr;
}

}  // namespace server
