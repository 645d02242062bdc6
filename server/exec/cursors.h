#ifndef TAVORA_SERVER_EXEC_CURSORS_H_
#define TAVORA_SERVER_EXEC_CURSORS_H_

#include <memory>
#include <string>
#include <vector>

#include "server/exec/context.h"
#include "server/sql/ast.h"

namespace server {

// A declared cursor. OPEN runs its query and keeps every row it gives, so
// every kind of cursor reads the rows as they were at OPEN. What differs
// from SQL Server: a KEYSET or DYNAMIC cursor does not see rows changed or
// added after OPEN, whether by others or through itself (only the rows it
// deleted itself go missing), and no cursor is populated asynchronously.
// The query's variables are read at OPEN, in the scope that opens it. No
// locks are held between fetches, as READ COMMITTED would have it.
struct Cursor {
  std::string name;       // empty for a cursor variable's
  std::string variable;   // the cursor variable (with @) that holds it, if any
  bool allocated = true;  // false while its variable holds no cursor
  int scope = 0;          // 0 for a global cursor, else the local scope that declared it
  DeclareCursorStmt definition;
  bool open = false;
  std::vector<std::string> columns;
  std::vector<DataType> types;
  std::vector<Row> rows;
  // For a cursor that can be updated through: the table its rows come from
  // and each row's primary key, and which rows it has deleted.
  std::string key_database;
  std::string key_table;
  std::vector<std::string> key_columns;
  std::vector<DataType> key_types;
  std::vector<Row> keys;
  std::vector<bool> deleted;
  // 0 before the first row, rows.size() + 1 after the last, else on a row.
  int64_t position = 0;

  CursorKind Kind() const;
  // A dynamic cursor, which SQL Server's are unless declared otherwise: it
  // has no row count, and passes over rows that are gone.
  bool Dynamic() const;
  bool Scrollable() const;
  // READ_ONLY, STATIC, FAST_FORWARD, INSENSITIVE or FOR READ ONLY.
  bool DeclaredReadOnly() const;
  void Close();
  bool OnRow() const { return position >= 1 && position <= static_cast<int64_t>(rows.size()); }
};

// Local cursors live as long as the batch, procedure or trigger that
// declared them: RunStatements holds one of these while it runs a body.
class LocalCursorScope {
 public:
  explicit LocalCursorScope(ExecContext& ctx);
  ~LocalCursorScope();
  LocalCursorScope(const LocalCursorScope&) = delete;
  LocalCursorScope& operator=(const LocalCursorScope&) = delete;

 private:
  ExecContext& ctx_;
  int saved_;
};

// The cursor `ref` names: a local one of the running scope before a global
// one, unless it says GLOBAL (16916 when there is none); or the one a
// cursor variable holds (137 for no such variable, 16950 when it holds
// none).
Status FindCursor(const CursorRef& ref, ExecContext& ctx, Cursor*& out);
// The running scope's cursor variable `name`, allocated or not; null when
// none is declared.
Cursor* FindCursorVariable(const std::string& name, ExecContext& ctx);
// 16948 when `name` is a variable of another type, else 137.
Status NoCursorVariable(const std::string& name, ExecContext& ctx);

// Closes every open cursor of the session, as a COMMIT does under SET
// CURSOR_CLOSE_ON_COMMIT ON.
void CloseAllCursors(Session& session);

// @@CURSOR_ROWS: the rows of the cursor opened last, -1 for a dynamic one,
// 0 once it is closed.
int64_t CursorRows(const Session& session);

// CURSOR_STATUS(kind, name) for kind 'local', 'global' or 'variable': 1
// open with rows (or dynamic), 0 open without, -1 closed, -2 a variable
// holding no cursor, -3 no such cursor or variable.
int CursorStatus(std::string_view kind, const std::string& name, ExecContext& ctx);

// For UPDATE or DELETE ... WHERE CURRENT OF on `table` of `db`: the
// condition that finds the row the cursor is on, by its primary key.
// `assigned` are the columns an UPDATE sets (16932 when FOR UPDATE OF leaves
// one out). Read-only cursors are 16929, another table 16933, no current
// row 16930.
Status CurrentOfCondition(const CursorRef& ref, const std::string& db, const Table& table,
                          const std::vector<std::string>& assigned, ExecContext& ctx, ExprPtr& out);
// After DELETE ... WHERE CURRENT OF: the cursor's row is gone.
void MarkCurrentRowDeleted(const CursorRef& ref, ExecContext& ctx);

}  // namespace server

#endif  // TAVORA_SERVER_EXEC_CURSORS_H_
