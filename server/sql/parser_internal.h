#ifndef TAVORA_SERVER_SQL_PARSER_INTERNAL_H_
#define TAVORA_SERVER_SQL_PARSER_INTERNAL_H_

#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/sql/ast.h"
#include "server/sql/tokenizer.h"
#include "server/types/collation.h"

namespace server {

// Limits that keep recursion far from the stack's end: how deep an
// expression tree may grow (subqueries included), and how many operands
// (parentheses, calls, CAST, CONVERT, subqueries), NOTs and signs may nest
// while it is read. Beyond them the statement fails with 191, before any
// deeper tree exists, so nothing that walks or frees a tree can recurse
// further than kMaxExpressionDepth.
inline constexpr int kMaxExpressionDepth = 128;
inline constexpr int kMaxParserNesting = 64;
// SQL Server's limit on the expressions of one select list (1056).
inline constexpr size_t kMaxSelectItems = 4096;
// SQL Server 2000's limit on CASE expressions inside one another (125).
inline constexpr int kMaxCaseNesting = 10;

// The token tests below are asked of nearly every token, each with a
// constant the comparison folds into a byte or two once inlined; the
// compiler would otherwise keep some of them as calls.
#if defined(__GNUC__)
#define TAVORA_PARSER_INLINE [[gnu::always_inline]] inline
#else
#define TAVORA_PARSER_INLINE inline
#endif

// A recursive-descent parser over one batch's tokens. Each Parse* member
// returns false after recording the first error; callers stop at once and
// pass false on. The statement kinds live in their own files (parse_*.cc).
class Parser {
 public:
  // `quoted_identifier`: whether "text" is an identifier (SET
  // QUOTED_IDENTIFIER ON) or a string, until a SET in the batch changes it.
  Parser(std::string_view text, const std::vector<Token>& tokens, bool quoted_identifier = true)
      : text_(text), tokens_(&tokens), quoted_identifier_(quoted_identifier) {}

  // Whole batch; `first_statement_rule` applies SQL Server's rule that
  // module definitions begin a batch.
  bool ParseStatements(Batch& batch, bool first_statement_rule);
  bool ParseStandaloneExpression(ExprPtr& out);

  const std::optional<SqlError>& error() const { return error_; }
  const std::optional<bool>& quoted_identifier_set() const { return quoted_identifier_set_; }
  // SET QUOTED_IDENTIFIER takes effect as it is parsed: the rest of the
  // batch is read again when it changes how "text" reads.
  bool SetQuotedIdentifier(bool on);
  // An expression's text as kept to be read again later: its "strings"
  // written as 'strings' while QUOTED_IDENTIFIER is off.
  std::string StoredText(std::string_view text) const;

  // --- Cursor ---------------------------------------------------------------
  TAVORA_PARSER_INLINE const Token& Peek(size_t ahead = 0) const {
    size_t i = pos_ + ahead;
    return i < tokens_->size() ? (*tokens_)[i] : tokens_->back();
  }
  const Token& Next() {
    const Token& t = Peek();
    if (pos_ + 1 < tokens_->size()) ++pos_;
    return t;
  }
  size_t Position() const { return pos_; }
  void Rewind(size_t pos) { pos_ = pos; }
  bool AtEnd() const { return Peek().kind == TokenKind::kEnd; }
  const Token& Previous() const { return (*tokens_)[pos_ == 0 ? 0 : pos_ - 1]; }

  // A plain word equal to `keyword` (ASCII case-insensitive). These and
  // the operator tests are inline: the parser asks them of nearly every
  // token, mostly with a constant that lets the comparison fold.
  TAVORA_PARSER_INLINE bool IsWord(const Token& t, std::string_view keyword) const {
    return t.kind == TokenKind::kIdentifier && EqualNoCase(t.raw, keyword);
  }
  TAVORA_PARSER_INLINE bool PeekWord(std::string_view keyword, size_t ahead = 0) const {
    return IsWord(Peek(ahead), keyword);
  }
  bool AcceptWord(std::string_view keyword) {
    if (!PeekWord(keyword)) return false;
    Next();
    return true;
  }
  bool ExpectWord(std::string_view keyword);
  TAVORA_PARSER_INLINE bool PeekOp(std::string_view op, size_t ahead = 0) const {
    const Token& t = Peek(ahead);
    // Operators are one or two bytes: the first settles most tests.
    return t.kind == TokenKind::kOperator && t.raw.size() == op.size() && t.raw[0] == op[0] &&
           t.raw == op;
  }
  bool AcceptOp(std::string_view op) {
    if (!PeekOp(op)) return false;
    Next();
    return true;
  }
  bool ExpectOp(std::string_view op);

  // A name: a plain word that is not reserved, or a quoted identifier.
  bool IsName(const Token& t) const;
  bool ParseName(std::string& out);
  bool ParseFilegroup(std::string& out);
  // [server.][database.][owner.]name; empty middle parts allowed ("db..t").
  bool ParseObjectName(ObjectName& out);
  // (a, b, c) of names.
  bool ParseNameList(std::vector<std::string>& out);
  bool ParseInteger(int64_t& out);
  bool ParseDeclaredType(DeclaredType& out);

  // The batch text between two token positions (inclusive of both tokens).
  std::string_view TextBetween(size_t first_token, size_t last_token) const;
  std::string_view TextFrom(size_t first_token) const;

  // --- Errors ---------------------------------------------------------------
  // Records a syntax error near `at` (156 for a reserved keyword, else 170);
  // at the end of the batch the last token is named. Always returns false.
  bool Fail(const Token& at);
  bool Fail() { return Fail(Peek()); }
  bool FailWith(SqlError error);
  bool NotSupported(const std::string& what, const Token& at);

  // --- Statements (parse_*.cc) -----------------------------------------------
  bool ParseStatement(Statement& out, bool first_in_batch, bool first_statement_rule);
  bool ParseUse(Statement& out);
  bool ParseCreate(Statement& out, bool first_in_batch, bool first_statement_rule);
  // CREATE or ALTER of a view, procedure, function or trigger (and CREATE
  // DEFAULT / RULE): `found` says whether one was there to parse.
  bool ParseModuleStatement(Statement& out, bool first_in_batch, bool first_statement_rule,
                            bool& found);
  bool ParseAlter(Statement& out, bool first_in_batch, bool first_statement_rule);
  bool ParseAlterTable(Statement& out);
  bool ParseDrop(Statement& out);
  bool ParseCreateDatabase(Statement& out);
  bool ParseCreateTable(Statement& out);
  // The parenthesised columns and constraints of a table, or of a table
  // variable (`variable`), which takes no constraint names and no foreign
  // keys.
  bool ParseTableDefinition(CreateTableStmt& table, bool variable);
  bool ParseColumnDef(CreateTableStmt& table, bool variable);
  bool ParseConstraint(CreateTableStmt& table, const std::string& column, int line, bool variable);
  // A table's name where a table variable may stand too.
  bool ParseTableName(ObjectName& out);
  bool ParseCreateIndex(Statement& out);
  // A SELECT with its UNIONs and ORDER BY; INTO only with `into_allowed`,
  // for a SELECT statement's own.
  bool ParseSelect(SelectStmt& out, bool into_allowed = false);
  bool ParseInsertBulk(InsertStmt& insert, Statement& out);
  // One SELECT ... FROM ... WHERE ... GROUP BY ... HAVING.
  bool ParseQuerySpecification(SelectStmt& out);
  // FROM's items, separated by commas.
  bool ParseFromList(std::vector<FromItem>& out);
  // A FROM item and the joins that follow it.
  bool ParseFromItem(FromItem& out);
  // A table or view, a derived table, or a parenthesised join.
  bool ParseTableSource(FromItem& out);
  bool ContinueJoin(FromItem& out);
  bool PeekJoin();
  // `( hint [, hint] ... )` after a table name: the hints, in capitals.
  bool ParseTableHints(std::vector<std::string>& hints);
  // Whether a parenthesised list of table hints comes next.
  bool StartsTableHints() const;
  // AS 'name': a column alias written as a string.
  bool ParseStringAlias(std::string& out);
  bool ParseInsert(Statement& out);
  bool ParseUpdate(Statement& out);
  bool ParseDelete(Statement& out);
  bool ParseExec(Statement& out, bool implicit);
  bool ParseExecArg(ExecArg& out);
  bool ParseGrant(Statement& out);
  bool ParseSet(Statement& out);
  bool ParsePrint(Statement& out);
  bool ParseDbcc(Statement& out);
  bool ParseUpdateStatistics(Statement& out);
  bool ParseIf(Statement& out, bool first_statement_rule);
  // Control of flow (parse_control.cc).
  bool ParseDeclare(Statement& out);
  bool ParseSetVariable(Statement& out);
  bool ParseBlock(Statement& out, bool first_statement_rule);
  bool ParseWhile(Statement& out, bool first_statement_rule);
  // BREAK, CONTINUE, RETURN [value] and GOTO label.
  bool ParseJump(Statement& out);
  bool ParseWaitfor(Statement& out);
  bool ParseRaiserror(Statement& out);
  // Cursors (parse_cursor.cc): DECLARE name ... CURSOR, OPEN, CLOSE,
  // DEALLOCATE, FETCH, and CURRENT OF cursor after WHERE.
  bool ParseDeclareCursor(Statement& out);
  // What follows CURSOR: options, FOR and the query, FOR UPDATE or READ
  // ONLY. `sql92`: options came before CURSOR and none may follow;
  // `scoped`: LOCAL and GLOBAL may be given (not for a cursor variable).
  bool ParseCursorDefinition(DeclareCursorStmt& cursor, bool sql92, bool scoped);
  bool ParseCursorRef(CursorRef& out);
  bool ParseCursorAction(Statement& out);
  bool ParseFetch(Statement& out);
  bool ParseCurrentOf(std::optional<CursorRef>& out);
  // BEGIN TRAN, COMMIT, ROLLBACK, SAVE TRAN.
  bool ParseTransaction(Statement& out);
  // A name or @variable after TRAN; a written name longer than
  // kMaxTransactionName is 103.
  bool ParseTransactionName(TransactionStmt& out, bool required);
  bool ParseModule(Statement& out, ModuleKind kind, size_t create_pos);
  bool ParseParameters(CreateModuleStmt& module, bool parenthesised);
  bool ParseFunctionHead(CreateModuleStmt& module);
  bool ParseTriggerHead(CreateModuleStmt& module);
  bool CollectBodySelects(CreateModuleStmt& module, size_t body_pos);

  // --- Expressions (parse_expression.cc) -------------------------------------
  // Any expression, condition or value (inside parentheses, and stored
  // expressions).
  bool ParseExpr(ExprPtr& out);
  // SELECT ... inside parentheses the caller reads: out.subquery.
  bool ParseSubquery(Expr& out);
  // A value: no comparison, AND, OR or NOT at the top (select items,
  // VALUES, SET, arguments).
  bool ParseScalar(ExprPtr& out);
  // A search condition (WHERE, CHECK, a rule).
  bool ParseCondition(ExprPtr& out);
  bool ParseOr(ExprPtr& out);
  bool ParseAnd(ExprPtr& out);
  bool ParseNot(ExprPtr& out);
  bool ParsePredicate(ExprPtr& out);
  bool ParseAdditive(ExprPtr& out);
  bool ParseMultiplicative(ExprPtr& out);
  bool ParseUnary(ExprPtr& out);
  // An operand, under one level of nesting; ParseOperand reads it.
  bool ParsePrimary(ExprPtr& out);
  bool ParseOperand(ExprPtr& out);
  bool ParseLiteral(ExprPtr& out);
  bool ParseFunctionCall(ExprPtr& out, const std::string& name, size_t start);
  // CASE ... END, simple or searched, at most kMaxCaseNesting deep (125).
  bool ParseCase(ExprPtr& out, size_t start);
  // Enters one level of nesting (an operand, NOT or sign); false with
  // 191 recorded when too deep. Leave() undoes a successful Enter().
  bool Enter();
  void Leave() { --nesting_; }

  // Sets text, line and depth of a finished expression from its token
  // span; fails with 191 when the expression nests too deeply to evaluate.
  bool Finish(Expr& expr, size_t first_token);

 private:
  std::string_view text_;
  // The batch's tokens; after a SET QUOTED_IDENTIFIER that changes how the
  // rest reads, a copy whose rest is read anew (earlier ones stay alive, so
  // tokens already handed out stay valid).
  const std::vector<Token>* tokens_;
  std::deque<std::vector<Token>> reread_;
  bool quoted_identifier_ = true;
  std::optional<bool> quoted_identifier_set_;  // by the batch's last SET QUOTED_IDENTIFIER
  size_t pos_ = 0;
  int nesting_ = 0;       // operands, NOTs and signs being parsed, one inside the other
  int case_nesting_ = 0;  // CASE expressions being parsed, one inside the other
  // Where the next query specification stands: only a statement's first
  // may have INTO, and a UNION's later ones get their own error.
  bool into_allowed_ = false;
  bool union_part_ = false;
  // ALTER TABLE ADD: a table constraint may be DEFAULT value FOR column.
  bool table_defaults_ = false;
  std::optional<SqlError> error_;
};

// An expression node of `kind` on `line`.
ExprPtr MakeExpr(ExprKind kind, int line);

// The checks SQL Server makes on a batch, or a procedure body, before it
// runs: labels (132, 133), variable declarations (134), BREAK and CONTINUE
// outside WHILE (135, 136) and RETURN with a value outside a procedure
// (178).
Status CheckFlow(const Batch& batch, bool procedure);

// What SQL Server refuses in a scalar function's body (443, 444) and its
// last statement, which must be RETURN (455).
Status CheckFunctionBody(const Batch& body);
// What an inline table function's query may not call.
Status CheckFunctionQuery(const SelectStmt& select);

}  // namespace server

#endif  // TAVORA_SERVER_SQL_PARSER_INTERNAL_H_
