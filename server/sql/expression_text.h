#ifndef TAVORA_SERVER_SQL_EXPRESSION_TEXT_H_
#define TAVORA_SERVER_SQL_EXPRESSION_TEXT_H_

#include <string>
#include <string_view>

namespace server {

// An expression of a DEFAULT, CHECK or computed column as SQL Server keeps
// it: not the text as written but the expression written out again, names
// in brackets, keywords and function names in lower case, one blank around
// each binary operator, and without the parentheses that enclosed all of it
// (the catalog shows it inside one pair: "([fldDummy] + [fldDummy])").
// A text that does not tokenize is returned as it is.
std::string StoredExpressionText(std::string_view expression);

}  // namespace server

#endif  // TAVORA_SERVER_SQL_EXPRESSION_TEXT_H_
