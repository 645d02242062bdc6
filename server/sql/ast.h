#ifndef TAVORA_SERVER_SQL_AST_H_
#define TAVORA_SERVER_SQL_AST_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "server/types/scalar.h"

namespace server {

// A possibly qualified name: [server.][database.][owner.]name. Omitted parts
// are empty ("master..sysdatabases" has an empty owner).
struct ObjectName {
  std::string server;
  std::string database;
  std::string owner;
  std::string name;
  int parts = 1;          // how many parts were written
  bool variable = false;  // a table variable: `name` is @name

  // The name as written, without brackets ("dbo.tblGeneric", "master..x").
  std::string Text() const;
};

// ---------------------------------------------------------------------------
// Expressions.

enum class ExprKind {
  kLiteral,   // literal; DATEADD's datepart word keeps the word in `name` too
  kColumn,    // [qualifier.]name
  kVariable,  // @name or @@name
  kNegate,    // -args[0], also ~ and + (op)
  kBinary,    // args[0] op args[1]: + - * / % & | ^
  kCompare,   // args[0] op args[1]: = <> != < > <= >= !< !>
  kAnd,
  kOr,
  kNot,
  kIsNull,    // args[0] IS [NOT] NULL
  kLike,      // args[0] [NOT] LIKE args[1]
  kIn,        // args[0] [NOT] IN (args[1..])
  kBetween,   // args[0] [NOT] BETWEEN args[1] AND args[2]
  kFunction,  // name(args), also COUNT(*) with star
  kCast,      // CAST(args[0] AS cast_type) or CONVERT(cast_type, args[0][, args[1]])
  kCase,      // CASE [args[0]] WHEN w THEN t ... [ELSE args.back()] END
  kDefault,   // the DEFAULT keyword in a VALUES list
  kSubquery,  // (SELECT ...): a scalar subquery
  kExists,    // EXISTS (subquery)
  // args[0] op ANY / SOME / ALL (subquery); IN (subquery) is = ANY and NOT
  // IN its negation (`negated`).
  kQuantified,
  kCollate,  // args[0] COLLATE name: character data compared under that collation
};

struct SelectStmt;

struct Expr {
  ExprKind kind = ExprKind::kLiteral;
  int line = 1;
  Scalar literal;
  std::string name;         // column, variable or function name; operator text
  std::string qualifier;    // table or alias before a column name
  bool negated = false;     // NOT LIKE, NOT IN, IS NOT NULL, NOT BETWEEN
  bool star = false;        // COUNT(*)
  bool case_input = false;  // simple CASE: args[0] is compared with each WHEN value
  bool case_else = false;   // CASE with ELSE: args.back() is its result
  bool distinct = false;    // COUNT(DISTINCT x) and the other aggregates
  bool all = false;         // kQuantified: ALL rather than ANY / SOME
  std::string cast_type_name;
  std::vector<int> cast_type_args;
  std::vector<std::unique_ptr<Expr>> args;
  std::shared_ptr<SelectStmt> subquery;
  std::string text;               // source text of the whole expression
  mutable int column_index = -1;  // set when bound to a row source
  mutable int outer_level = 0;    // bound to the row of an enclosing query, this many levels out
  int depth = 1;                  // levels of the expression tree below and including this node
};
using ExprPtr = std::unique_ptr<Expr>;

// Whether an expression is a search condition (comparison, AND, OR, NOT,
// IS NULL, LIKE, IN, BETWEEN) rather than a value.
bool IsPredicate(const Expr& expr);

// ---------------------------------------------------------------------------
// Statements.

struct UseStmt {
  std::string database;
};

struct CreateDatabaseStmt {
  std::string name;
  std::string collation;
};

struct DropDatabaseStmt {
  std::vector<std::string> names;
};

struct DeclaredType {
  ObjectName name;        // a system type, or a user type possibly with owner
  std::vector<int> args;  // (length) or (precision, scale)
  int line = 1;
};

enum class ConstraintKind { kPrimaryKey, kUnique, kCheck, kForeignKey, kDefault };

struct ConstraintDef {
  ConstraintKind kind = ConstraintKind::kCheck;
  std::string name;                  // empty when the server names it
  std::optional<bool> clustered;     // CLUSTERED / NONCLUSTERED when given
  std::vector<std::string> columns;  // key columns; for a column constraint its column
  ObjectName ref_table;              // FOREIGN KEY ... REFERENCES
  std::vector<std::string> ref_columns;
  std::string text;  // CHECK condition or DEFAULT expression as written
  bool column_level = false;
  bool not_for_replication = false;
  bool with_values = false;  // DEFAULT ... WITH VALUES (ALTER TABLE ADD)
  int fill_factor = 0;
  std::string filegroup;  // ON filegroup of a key's index; empty when not given
  int line = 1;
};

struct ColumnDef {
  std::string name;
  std::optional<DeclaredType> type;  // absent for a computed column
  std::string computed;              // "AS expression" text
  std::optional<bool> nullable;      // NULL / NOT NULL when given
  bool identity = false;
  int64_t identity_seed = 1;
  int64_t identity_increment = 1;
  bool rowguidcol = false;
  std::string collation;
  int line = 1;
};

struct CreateTableStmt {
  ObjectName name;
  std::vector<ColumnDef> columns;
  std::vector<ConstraintDef> constraints;  // column and table constraints, in order
  std::string filegroup;                   // ON filegroup; empty when not given
  std::string textimage_filegroup;         // TEXTIMAGE_ON filegroup
};

struct CreateIndexStmt {
  bool unique = false;
  bool clustered = false;
  std::string name;
  ObjectName table;
  std::vector<std::string> columns;
  int fill_factor = 0;
  bool ignore_dup_key = false;
  bool drop_existing = false;  // WITH DROP_EXISTING: rebuilds the index of that name
  std::string filegroup;       // ON filegroup; empty when not given
};

// ALTER TABLE: one action on one table.
enum class AlterTableAction {
  kAlterColumn,     // ALTER COLUMN name type [COLLATE c] [NULL | NOT NULL]
  kAddRowGuidCol,   // ALTER COLUMN name ADD ROWGUIDCOL
  kDropRowGuidCol,  // ALTER COLUMN name DROP ROWGUIDCOL
  kAdd,             // ADD column definitions and table constraints
  kDrop,            // DROP [CONSTRAINT] name | COLUMN name, ...
  kCheckConstraints,
  kNocheckConstraints,
  kEnableTriggers,
  kDisableTriggers,
};

struct AlterTableStmt {
  ObjectName table;
  AlterTableAction action = AlterTableAction::kAlterColumn;
  ColumnDef column;       // ALTER COLUMN: the name and the new definition
  CreateTableStmt added;  // ADD: what is added, in order
  // WITH CHECK / WITH NOCHECK before ADD or before {CHECK | NOCHECK}
  // CONSTRAINT, when written.
  std::optional<bool> with_check;
  struct DropItem {
    bool column = false;  // COLUMN name; otherwise [CONSTRAINT] name
    std::string name;
  };
  std::vector<DropItem> drops;
  std::vector<std::string> names;  // constraints or triggers; empty with ALL
  bool all = false;
};

struct SelectItem {
  std::string variable;  // SELECT @v = expr: the variable it sets, with @
  ExprPtr expr;          // absent for *
  bool star = false;
  std::string star_qualifier;  // t.*
  std::string alias;
};

struct TableRef {
  ObjectName name;  // a table, view, table variable or table-valued function
  std::string alias;
  std::vector<std::string> hints;  // WITH (NOLOCK, ...), in capitals

  // The name the query knows the table by: its alias, or its own name.
  const std::string& ExposedName() const { return alias.empty() ? name.name : alias; }
};

enum class JoinKind { kInner, kLeft, kRight, kFull, kCross };

// A join hint: LOOP seeks the right side's index for each row of the left
// one; HASH reads both sides and matches them by hashing; MERGE sorts both
// by the join's keys and walks them together. REMOTE joins at the right
// side's site, which for this server's tables is here. A hint no plan can
// follow is refused (8622).
enum class JoinHint { kNone, kLoop, kHash, kMerge, kRemote };

// One item of a FROM clause: a table or view, a derived table, or a join
// of two items.
struct FromItem {
  TableRef table;                       // a table or view; its alias names a derived table too
  std::shared_ptr<SelectStmt> derived;  // (SELECT ...) AS alias
  std::unique_ptr<FromItem> left;       // a join: left JOIN right ON condition
  std::unique_ptr<FromItem> right;
  JoinKind join = JoinKind::kInner;
  JoinHint hint = JoinHint::kNone;
  ExprPtr on;  // absent for CROSS JOIN
  int line = 1;
  // owner.f(args): a table-valued function, `table.name` naming it.
  bool function = false;
  bool system_function = false;  // ::fn_name(args)
  std::vector<ExprPtr> function_args;

  bool is_join() const { return left != nullptr; }
};

struct OrderItem {
  ExprPtr expr;
  bool descending = false;
};

enum class GroupingKind { kPlain, kRollup, kCube };

// UNION [ALL] and the query it adds.
struct UnionPart {
  bool all = false;
  std::shared_ptr<SelectStmt> query;
};

struct SelectStmt {
  bool distinct = false;
  std::optional<int64_t> top;
  bool top_percent = false;
  bool with_ties = false;
  std::vector<SelectItem> items;
  std::vector<FromItem> from;  // the comma-separated items; empty without FROM
  ExprPtr where;
  std::vector<ExprPtr> group_by;
  bool group_all = false;  // GROUP BY ALL
  GroupingKind grouping = GroupingKind::kPlain;
  ExprPtr having;
  std::vector<UnionPart> unions;    // each further query of a UNION
  std::vector<OrderItem> order_by;  // of the whole UNION when there is one
  std::optional<ObjectName> into;   // SELECT ... INTO new_table
  int line = 1;
};

struct ExecStmt;

// INSERT BULK table (column type, ...) [WITH (option, ...)]: what the rows
// of the client's next bulk load message are, and how they go in. By
// default CHECK and FOREIGN KEY constraints are not checked, triggers do
// not fire, a NULL takes the column's default and identity values are the
// server's.
struct InsertBulk {
  struct BulkColumn {
    std::string name;
    DeclaredType type;
  };
  std::vector<BulkColumn> columns;
  bool check_constraints = false;
  bool fire_triggers = false;
  bool keep_nulls = false;
  bool keep_identity = false;
};

struct InsertStmt {
  ObjectName table;
  std::shared_ptr<InsertBulk> bulk;  // INSERT BULK
  bool has_column_list = false;
  std::vector<std::string> columns;
  bool default_values = false;
  std::vector<ExprPtr> values;
  std::unique_ptr<SelectStmt> select;  // INSERT ... SELECT
  std::shared_ptr<ExecStmt> exec;      // INSERT ... EXEC: its result sets
};

// A cursor as OPEN, FETCH, CLOSE, DEALLOCATE and WHERE CURRENT OF name it:
// a local one before a global one of the same name, unless GLOBAL is written.
struct CursorRef {
  std::string name;  // with @ for a cursor variable
  bool global = false;
  bool variable = false;
};

struct UpdateStmt {
  ObjectName table;
  std::vector<std::pair<std::string, ExprPtr>> assignments;
  std::vector<FromItem> from;  // UPDATE ... FROM: the rows the values come from
  ExprPtr where;
  std::optional<CursorRef> current_of;  // WHERE CURRENT OF cursor
};

struct DeleteStmt {
  ObjectName table;
  std::vector<FromItem> from;  // DELETE t FROM ...: the rows that choose t's
  ExprPtr where;
  std::optional<CursorRef> current_of;
};

// One argument of EXEC: [@name =] value. A bare word is a character string.
struct ExecArg {
  std::string name;  // "@name", empty when positional
  ExprPtr value;     // a constant expression; absent for DEFAULT
  bool is_default = false;
  bool output = false;
  int line = 1;
};

struct ExecStmt {
  ExprPtr text;                 // EXEC (string): the string; no procedure then
  std::string return_variable;  // EXEC @status = ...: the variable, with @
  ObjectName procedure;
  std::vector<ExecArg> args;
};

struct GrantStmt {
  std::vector<std::string> privileges;  // upper case: SELECT, INSERT, ..., ALL
  ObjectName object;
  std::vector<std::string> columns;
  std::vector<std::string> grantees;
};

enum class ModuleKind { kView, kProcedure, kFunction, kTrigger, kDefault, kRule };

enum class FunctionKind { kScalar, kInlineTable, kTable };

struct ParameterDef {
  std::string name;  // with @
  DeclaredType type;
  bool has_default = false;
  std::string default_text;
  bool output = false;
};

struct Batch;

// CREATE VIEW / PROCEDURE / FUNCTION / TRIGGER / DEFAULT / RULE: the objects
// that must begin a batch and whose text the server keeps.
struct CreateModuleStmt {
  ModuleKind kind = ModuleKind::kView;
  ObjectName name;
  // From CREATE to the end of the batch. An ALTER keeps its text with the
  // ALTER keyword replaced by CREATE, which is what syscomments shows.
  std::string text;
  bool alter = false;  // ALTER VIEW / PROCEDURE / FUNCTION / TRIGGER
  bool encrypted = false;
  bool schema_bound = false;
  bool quoted_identifier = true;  // how its text read: SET QUOTED_IDENTIFIER as it was parsed
  std::vector<ParameterDef> parameters;
  FunctionKind function_kind = FunctionKind::kScalar;
  std::optional<DeclaredType> returns;  // scalar function
  // RETURNS @name TABLE (...): the table variable a multi-statement
  // function fills, and its definition.
  std::string returns_variable;
  std::shared_ptr<const CreateTableStmt> returns_table;
  std::vector<std::string> view_columns;  // CREATE VIEW v (a, b)
  std::unique_ptr<SelectStmt> select;     // a view's query; an inline function's RETURN
  // SELECTs found in a function body, for schema binding.
  std::vector<std::shared_ptr<SelectStmt>> body_selects;
  ObjectName trigger_table;
  bool instead_of = false;
  bool on_insert = false, on_update = false, on_delete = false;
  ExprPtr expression;  // a default's value or a rule's condition
  std::string body;    // text after AS (procedures and triggers)
  // The body's statements: procedures, triggers, scalar and
  // multi-statement table functions.
  std::shared_ptr<const Batch> body_statements;
};

enum class DropKind { kTable, kView, kProcedure, kFunction, kTrigger, kDefault, kRule, kIndex };

struct DropObjectStmt {
  DropKind kind = DropKind::kTable;
  std::vector<ObjectName> names;  // for indexes: table.index, as name.owner/name
};

struct SetStmt {
  std::string option;  // upper case
  std::string value;   // ON, OFF or the value as written
};

struct PrintStmt {
  ExprPtr expr;
};

enum class TransactionAction { kBegin, kCommit, kRollback, kSave };

// Transaction and savepoint names are at most this many characters.
inline constexpr size_t kMaxTransactionName = 32;

// BEGIN TRAN, COMMIT, ROLLBACK and SAVE TRAN, each with its optional name:
// a name as written, or a variable whose value is the name.
struct TransactionStmt {
  TransactionAction action = TransactionAction::kBegin;
  std::string name;  // empty when none
  ExprPtr variable;  // @name instead of a name
};

struct Statement;

// IF condition statement [ELSE statement].
struct IfStmt {
  ExprPtr condition;
  std::unique_ptr<Statement> then_branch;
  std::unique_ptr<Statement> else_branch;  // absent without ELSE
};

struct Statement;

// DECLARE @a type [, @b type] ...
struct DeclareStmt {
  struct Variable {
    std::string name;  // with @
    DeclaredType type;
    bool cursor = false;  // DECLARE @c CURSOR: no type
    // DECLARE @t TABLE (...): a table variable's definition; no type.
    std::shared_ptr<const CreateTableStmt> table;
  };
  std::vector<Variable> variables;
};

// SET @v = expr
struct SetVariableStmt {
  std::string name;
  ExprPtr value;
};

// BEGIN ... END
struct BlockStmt {
  std::vector<Statement> statements;
};

struct WhileStmt {
  ExprPtr condition;
  std::unique_ptr<Statement> body;
};

// BREAK, CONTINUE, RETURN [value], GOTO label and `label:`.
enum class JumpKind { kBreak, kContinue, kReturn, kGoto, kLabel };
struct JumpStmt {
  JumpKind kind = JumpKind::kBreak;
  ExprPtr value;      // RETURN's
  std::string label;  // GOTO's and a label's
};

// WAITFOR DELAY 'hh:mm[:ss[.mmm]]'
struct WaitforStmt {
  ExprPtr delay;
};

// RAISERROR (message, severity, state [, argument] ...) [WITH option, ...]
struct RaiserrorStmt {
  std::vector<ExprPtr> args;
  bool log = false;
  bool nowait = false;
  bool seterror = false;
};

enum class CursorScope { kDefault, kLocal, kGlobal };
enum class CursorKind { kDefault, kStatic, kKeyset, kDynamic, kFastForward };
enum class CursorConcurrency { kDefault, kReadOnly, kScrollLocks, kOptimistic };

// DECLARE name CURSOR [options] FOR select [FOR READ ONLY | FOR UPDATE [OF
// columns]], or the SQL-92 DECLARE name [INSENSITIVE] [SCROLL] CURSOR FOR.
// The query is kept as text: a global cursor outlives the batch that
// declared it, and OPEN runs the query afresh each time.
struct DeclareCursorStmt {
  std::string name;
  CursorScope scope = CursorScope::kDefault;
  std::optional<bool> scroll;  // SCROLL (true) or FORWARD_ONLY (false) when written
  CursorKind kind = CursorKind::kDefault;
  bool insensitive = false;  // SQL-92 INSENSITIVE
  CursorConcurrency concurrency = CursorConcurrency::kDefault;
  bool type_warning = false;
  bool for_read_only = false;
  bool for_update = false;
  std::vector<std::string> update_columns;  // FOR UPDATE OF
  // The SELECT as written, after as many newlines as put it on its line of
  // the batch, so that errors found when it runs name the batch's lines.
  std::string select_text;
  // Where the select list ends (the offset of FROM in select_text), and
  // whether a row's key can be added there: one table, no DISTINCT, GROUP
  // BY, HAVING or UNION. Without it the cursor cannot be updated through.
  size_t from_offset = std::string::npos;
  bool keyable = false;
};

// SET @c = CURSOR [options] FOR select ...: a cursor known only through
// the variable (its definition's name is empty).
struct SetCursorStmt {
  std::string variable;
  DeclareCursorStmt definition;
};

enum class CursorAction { kOpen, kClose, kDeallocate };

struct CursorStmt {
  CursorAction action = CursorAction::kOpen;
  CursorRef cursor;
};

enum class FetchKind { kNext, kPrior, kFirst, kLast, kAbsolute, kRelative };

// FETCH [kind [FROM]] cursor [INTO @a, ...]
struct FetchStmt {
  FetchKind kind = FetchKind::kNext;
  ExprPtr offset;  // ABSOLUTE's and RELATIVE's n
  CursorRef cursor;
  std::vector<std::string> into;  // variables, with @
};

// DBCC USEROPTIONS, the one DBCC command the server runs.
struct DbccStmt {
  std::string command;       // upper case
  bool no_infomsgs = false;  // WITH NO_INFOMSGS
};

// UPDATE STATISTICS table [index | (index, ...)] [WITH ...]: the server keeps
// no statistics, so the table is checked and the statement refused.
struct UpdateStatisticsStmt {
  ObjectName table;
};

using StatementNode =
    std::variant<UseStmt, CreateDatabaseStmt, DropDatabaseStmt, CreateTableStmt, CreateIndexStmt,
                 AlterTableStmt, SelectStmt, InsertStmt, UpdateStmt, DeleteStmt, ExecStmt,
                 GrantStmt, CreateModuleStmt, DropObjectStmt, SetStmt, PrintStmt, TransactionStmt,
                 IfStmt, DeclareStmt, SetVariableStmt, BlockStmt, WhileStmt, JumpStmt, WaitforStmt,
                 RaiserrorStmt, DeclareCursorStmt, SetCursorStmt, CursorStmt, FetchStmt, DbccStmt,
                 UpdateStatisticsStmt>;

struct Statement {
  int line = 1;
  StatementNode node;
};

struct Batch {
  std::vector<Statement> statements;
  // What the batch's last SET QUOTED_IDENTIFIER set, which holds from the
  // moment it is parsed, whether or not it runs.
  std::optional<bool> quoted_identifier;
};

}  // namespace server

#endif  // TAVORA_SERVER_SQL_AST_H_
