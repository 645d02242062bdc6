#ifndef TAVORA_SERVER_EXEC_EXECUTOR_H_
#define TAVORA_SERVER_EXEC_EXECUTOR_H_

#include <functional>

#include "server/exec/context.h"
#include "server/sql/ast.h"

namespace server {

// One function per statement kind, each in its own exec_*.cc. Each checks
// everything before it changes the catalog, so a failing statement leaves
// nothing half done; it returns the error to report, if any.

Status ExecuteUse(const UseStmt& stmt, ExecContext& ctx);
Status ExecuteCreateDatabase(const CreateDatabaseStmt& stmt, ExecContext& ctx);
Status ExecuteDropDatabase(const DropDatabaseStmt& stmt, ExecContext& ctx);
Status ExecuteCreateTable(const CreateTableStmt& stmt, ExecContext& ctx);
// Every table and index goes on the one filegroup a database has, PRIMARY
// (also named "default"); naming another is error 1921.
Status CheckFilegroup(const std::string& name);
Status ExecuteCreateIndex(const CreateIndexStmt& stmt, ExecContext& ctx);
Status ExecuteAlterTable(const AlterTableStmt& stmt, ExecContext& ctx);
Status ExecuteSelect(const SelectStmt& stmt, ExecContext& ctx);
Status ExecuteSelectInto(const SelectStmt& stmt, ExecContext& ctx);
Status ExecuteInsert(const InsertStmt& stmt, ExecContext& ctx);
Status ExecuteUpdate(const UpdateStmt& stmt, ExecContext& ctx);
Status ExecuteDelete(const DeleteStmt& stmt, ExecContext& ctx);
Status ExecuteExec(const ExecStmt& stmt, ExecContext& ctx);
Status ExecuteGrant(const GrantStmt& stmt, ExecContext& ctx);
Status ExecuteCreateModule(const CreateModuleStmt& stmt, ExecContext& ctx);
Status ExecuteDropObject(const DropObjectStmt& stmt, ExecContext& ctx);
Status ExecuteSet(const SetStmt& stmt, ExecContext& ctx);
Status ExecutePrint(const PrintStmt& stmt, ExecContext& ctx);
Status ExecuteDbcc(const DbccStmt& stmt, ExecContext& ctx);
Status ExecuteUpdateStatistics(const UpdateStatisticsStmt& stmt, ExecContext& ctx);
Status ExecuteTransaction(const TransactionStmt& stmt, ExecContext& ctx);
Status ExecuteIf(const IfStmt& stmt, ExecContext& ctx);
Status ExecuteDeclare(const DeclareStmt& stmt, ExecContext& ctx);
Status ExecuteSetVariable(const SetVariableStmt& stmt, ExecContext& ctx);
Status ExecuteBlock(const BlockStmt& stmt, ExecContext& ctx);
Status ExecuteWhile(const WhileStmt& stmt, ExecContext& ctx);
Status ExecuteJump(const JumpStmt& stmt, ExecContext& ctx);
Status ExecuteWaitfor(const WaitforStmt& stmt, ExecContext& ctx);
Status ExecuteRaiserror(const RaiserrorStmt& stmt, ExecContext& ctx);
Status ExecuteDeclareCursor(const DeclareCursorStmt& stmt, ExecContext& ctx);
Status ExecuteSetCursor(const SetCursorStmt& stmt, ExecContext& ctx);
Status ExecuteCursor(const CursorStmt& stmt, ExecContext& ctx);
Status ExecuteFetch(const FetchStmt& stmt, ExecContext& ctx);

// Sets variable `name` (error 137 when it is not declared), converting
// `value` to its type.
Status AssignVariable(const std::string& name, const Scalar& value, ExecContext& ctx);

// Runs a procedure call whose arguments are typed values (Engine::Call).
Status RunCall(const ProcedureCall& call, ExecContext& ctx, CallResult& result);

// Stores the rows of a bulk load as the INSERT BULK `announced` says.
Status RunBulkLoad(const InsertStmt& announced, const BulkRows& rows, ExecContext& ctx);

// The names of the variables RunCall binds OUTPUT arguments to begin with
// this, which no T-SQL variable name can; an OUTPUT parameter hands such a
// variable its value with the parameter's own type, as the caller reports it.
inline constexpr char kCallVariablePrefix[] =
    "@\x01"
    "call";

// Runs one statement of any kind, unless NOEXEC or FMTONLY holds it back;
// an error without a line gets the statement's.
Status RunStatement(const Statement& statement, ExecContext& ctx);

// What a statement does to data, which decides the locks it starts with.
enum class Access {
  kRead,     // reads, or changes only the session's own state
  kRows,     // changes rows of the table it names (which it then locks)
  kCatalog,  // changes object definitions of the current database
};

// Runs `body`, a statement with `access`. One that changes something first
// becomes the store's writer, and runs inside a savepoint of the store:
// when it fails, nothing it stored remains.
Status RunAtomically(ExecContext& ctx, Access access, const std::function<Status()>& body);

// Runs a batch's (or a procedure body's) statements in order, leaving out
// those parsed under SET PARSEONLY ON, until an error that ends the batch
// (returned), a RETURN, or the end. A statement's own error is recorded and
// the next one runs.
Status RunStatements(const Batch& batch, ExecContext& ctx);
// The same for the statements of a block or a loop's body; it stops where
// control leaves them (ctx.flow), after taking a GOTO to one of its labels.
Status RunStatementList(const std::vector<Statement>& statements, ExecContext& ctx,
                        const std::vector<bool>* skip = nullptr);
// One statement of such a list: its own error is recorded (and @@ERROR
// set); an error that ends the batch is returned.
Status RunListedStatement(const Statement& statement, ExecContext& ctx);

}  // namespace server

#endif  // TAVORA_SERVER_EXEC_EXECUTOR_H_
