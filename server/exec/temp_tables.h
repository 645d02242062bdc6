#ifndef TAVORA_SERVER_EXEC_TEMP_TABLES_H_
#define TAVORA_SERVER_EXEC_TEMP_TABLES_H_

#include <string>
#include <string_view>

#include "server/exec/context.h"
#include "server/sql/ast.h"

namespace server {

// Temporary tables live in tempdb. A local one (#t) is seen by the session
// that created it alone, so two sessions may each have a #t; a global one
// (##t) by every session. Both end with the session that created them, and
// a local one created in a procedure (or trigger, or EXEC of a string)
// ends with it.

// Longest name a local temporary table may have: tempdb's name of it adds
// the padding and suffix below, up to the 128 characters of any name.
inline constexpr size_t kMaxLocalTempName = 116;

inline bool IsTempName(std::string_view name) { return !name.empty() && name[0] == '#'; }
inline bool IsGlobalTempName(std::string_view name) { return name.starts_with("##"); }

// The name a statement means: a temporary table's name, with or without
// tempdb written, points into tempdb, and a local one at the name tempdb
// gives the session's own (the innermost scope's, when a procedure made
// one of the same name). Other names come back unchanged. Errors should
// still show the name as written.
ObjectName ResolveTempName(const ObjectName& name, ExecContext& ctx);

// The database and name a new table `name` gets (CREATE TABLE, SELECT ...
// INTO): a temporary one goes to tempdb marked as the session's, a local
// one under its padded name with its id already given (193 when the name
// is too long, 2714 when the session has one of that name in this scope),
// and tempdb's catalog is locked for changing (another database written
// before the name is ignored, with warning 2701). A permanent one gets its
// database (2702 when there is none) and name only; its builder checks the
// rest.
Status NameNewTable(const ObjectName& name, ExecContext& ctx, Database*& db, Table& table);

// Drops the local temporary tables created in the scope that is ending
// (ctx.cursor_scope, below the batch).
Status DropScopeTempTables(ExecContext& ctx);

}  // namespace server

#endif  // TAVORA_SERVER_EXEC_TEMP_TABLES_H_
