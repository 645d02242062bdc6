#ifndef TAVORA_SERVER_SQL_PARSER_H_
#define TAVORA_SERVER_SQL_PARSER_H_

#include <string_view>
#include <variant>

#include "server/sql/ast.h"

namespace server {

// Parses one batch (no GO lines; the caller splits on them). Fails with the
// first syntax error (170, 156, 105, 113, 103, 1007), with 111 when CREATE
// VIEW, PROCEDURE, FUNCTION, TRIGGER, DEFAULT or RULE is not the first
// statement, or with 50000 for T-SQL this server does not run. An empty or
// comment-only batch has no statements.
// `quoted_identifier` is the session's SET QUOTED_IDENTIFIER as the batch
// begins; a SET in the batch changes how the rest of it reads, and the
// batch says what it was last set to.
std::variant<Batch, SqlError> ParseBatch(std::string_view text, bool quoted_identifier = true);

// Parses a stored expression (a CHECK condition, a computed column, a
// column default) on its own.
std::variant<ExprPtr, SqlError> ParseExpression(std::string_view text);

// Parses a type as sp_addtype takes it ("VARCHAR(32)").
std::variant<DeclaredType, SqlError> ParseTypeText(std::string_view text);

// Parses a stored query (a view's SELECT, or a procedure body made of
// statements) on its own, without the first-statement rule.
std::variant<Batch, SqlError> ParseBody(std::string_view text, bool quoted_identifier = true);

// A parameter list as sp_executesql takes it ("@a int, @b varchar(10)
// OUTPUT"); empty text is no parameters.
std::variant<std::vector<ParameterDef>, SqlError> ParseParameterList(std::string_view text);

}  // namespace server

#endif  // TAVORA_SERVER_SQL_PARSER_H_
