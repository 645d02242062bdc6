#ifndef TAVORA_SERVER_EXEC_HELP_PROCEDURES_H_
#define TAVORA_SERVER_EXEC_HELP_PROCEDURES_H_

// The procedures people and database tools run to look at a database:
// sp_help and its family, sp_rename, sp_who. Each builds its result sets
// from the catalog in C++, with SQL Server 2000's column names, types and
// order, and sends the informational messages SQL Server sends.

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "server/exec/system_procedures.h"
#include "server/exec/system_tables.h"

namespace server {

// The family's procedures, for FindSystemProcedure.
const std::vector<SystemProcedure>& HelpProcedures();

// Sends one result set of `columns` (names and types) holding `rows`.
void SendHelpRows(std::span<const SystemColumn> columns, std::vector<Row> rows, ExecContext& ctx);

// Sends an informational message, placed at the statement that runs the
// procedure.
void HelpInform(SqlError message, ExecContext& ctx);

// The object named as text (owner optional) in the current database.
std::optional<ObjectRef> FindHelpObject(Database& db, std::string_view text, ExecContext& ctx);

// sysobjects.xtype's words, as sp_help shows an object's type.
const char* HelpObjectType(std::string_view xtype);

// The index and constraint pieces of sp_help, which sp_helpindex and
// sp_helpconstraint send on their own too. `messages` = false keeps the
// leading "Object Name" result of sp_helpconstraint back, as sp_help does.
void SendIndexRows(const Table& table, ExecContext& ctx);
void SendConstraintRows(const Table& table, Database& db, std::string_view given, bool object_row,
                        ExecContext& ctx);

Status SpHelp(const ProcArgs& args, ExecContext& ctx);
Status SpHelpIndex(const ProcArgs& args, ExecContext& ctx);
Status SpHelpConstraint(const ProcArgs& args, ExecContext& ctx);
Status SpHelpText(const ProcArgs& args, ExecContext& ctx);
Status SpDepends(const ProcArgs& args, ExecContext& ctx);
Status SpRename(const ProcArgs& args, ExecContext& ctx);
Status SpHelpDb(const ProcArgs& args, ExecContext& ctx);
Status SpHelpFile(const ProcArgs& args, ExecContext& ctx);
Status SpHelpUser(const ProcArgs& args, ExecContext& ctx);
Status SpWho(const ProcArgs& args, ExecContext& ctx);
Status SpHelpTrigger(const ProcArgs& args, ExecContext& ctx);
Status SpHelpSort(const ProcArgs& args, ExecContext& ctx);
Status SpHelpProtect(const ProcArgs& args, ExecContext& ctx);
Status SpSpaceUsed(const ProcArgs& args, ExecContext& ctx);
Status SpLock(const ProcArgs& args, ExecContext& ctx);

}  // namespace server

#endif  // TAVORA_SERVER_EXEC_HELP_PROCEDURES_H_
