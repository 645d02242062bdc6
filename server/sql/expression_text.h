#ifndef TAVORA_SERVER_SQL_EXPRESSION_TEXT_H_
#define TAVORA_SERVER_SQL_EXPRESSION_TEXT_H_

#include <string>
#include <string_view>
#include <vector>

namespace server {

// An expression of a DEFAULT, CHECK or computed column as SQL Server keeps
// it: not the text as written but the expression written out again, names
// in brackets, keywords and function names in lower case, one blank around
// each binary operator, and without the parentheses that enclosed all of it
// (the catalog shows it inside one pair: "([fldDummy] + [fldDummy])").
// A text that does not tokenize is returned as it is.
std::string StoredExpressionText(std::string_view expression);

// Text written under SET QUOTED_IDENTIFIER OFF, with each "string" written
// as 'string', so that it reads the same whatever the setting when it is
// read again. A text that does not tokenize is returned as it is.
std::string WithSingleQuotedStrings(std::string_view text);

// `expression` (as StoredExpressionText gives it) with every column name
// `same` says is the renamed column written as `to`: a constraint or a
// computed column follows its column's new name, as SQL Server binds them
// to the column, not to the name.
template <class Same>
std::string RenamedInExpression(std::string_view expression, std::string_view to, Same&& same);

// The names of `expression` that are not function names, each with the
// offsets of its token: the pieces a rename rewrites.
struct NameToken {
  std::string name;
  size_t begin = 0;
  size_t end = 0;
};
std::vector<NameToken> ExpressionNames(std::string_view expression);

template <class Same>
std::string RenamedInExpression(std::string_view expression, std::string_view to, Same&& same) {
  std::string out;
  size_t at = 0;
  std::string bracketed = "[";
  for (char c : to) bracketed += c == ']' ? std::string("]]") : std::string(1, c);
  bracketed += "]";
  for (const NameToken& token : ExpressionNames(expression)) {
    if (!same(token.name)) continue;
    out.append(expression.substr(at, token.begin - at));
    out += bracketed;
    at = token.end;
  }
  out.append(expression.substr(at));
  return StoredExpressionText(out);
}

}  // namespace server

#endif  // TAVORA_SERVER_SQL_EXPRESSION_TEXT_H_
