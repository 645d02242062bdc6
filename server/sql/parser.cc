#include "server/sql/parser.h"

#include "server/sql/expression_text.h"
#include "server/sql/parser_internal.h"
#include "server/types/collation.h"

namespace server {

std::string ObjectName::Text() const {
  std::string text;
  if (parts >= 4) text += server + ".";
  if (parts >= 3) text += database + ".";
  if (parts >= 2) text += owner + ".";
  return text + name;
}

ExprPtr MakeExpr(ExprKind kind, int line) {
  auto expr = std::make_unique<Expr>();
  expr->kind = kind;
  expr->line = line;
  return expr;
}

bool Parser::ExpectWord(std::string_view keyword) { return AcceptWord(keyword) || Fail(); }

bool Parser::ExpectOp(std::string_view op) { return AcceptOp(op) || Fail(); }

bool Parser::IsName(const Token& t) const {
  return t.kind == TokenKind::kQuotedIdentifier ||
         (t.kind == TokenKind::kIdentifier && !IsReservedKeyword(t.raw));
}

bool Parser::ParseName(std::string& out) {
  if (!IsName(Peek())) return Fail();
  out = Next().value;
  return true;
}

bool Parser::ParseObjectName(ObjectName& out) {
  // At most four parts; read into place, since every statement names one.
  std::string parts[4];
  size_t count = 0;
  // "..name" (as ODBC drivers call procedures): leading dots leave the
  // database and owner out.
  while (PeekOp(".") && count < 2) {
    Next();
    ++count;
  }
  if (!IsName(Peek())) return Fail();
  parts[count++] = Next().value;
  while (PeekOp(".") && count < 4) {
    Next();
    // "db..name": a dot straight after a dot leaves the owner out.
    while (PeekOp(".") && count < 3) {
      Next();
      ++count;
    }
    if (!IsName(Peek())) return Fail();
    parts[count++] = Next().value;
  }
  if (PeekOp(".")) return Fail();
  out = ObjectName{};
  out.parts = static_cast<int>(count);
  out.name = std::move(parts[count - 1]);
  if (count >= 2) out.owner = std::move(parts[count - 2]);
  if (count >= 3) out.database = std::move(parts[count - 3]);
  if (count >= 4) out.server = std::move(parts[0]);
  return true;
}

bool Parser::ParseNameList(std::vector<std::string>& out) {
  if (!ExpectOp("(")) return false;
  do {
    std::string name;
    if (!ParseName(name)) return false;
    out.push_back(std::move(name));
  } while (AcceptOp(","));
  return ExpectOp(")");
}

bool Parser::ParseInteger(int64_t& out) {
  bool negative = AcceptOp("-");
  const Token& t = Peek();
  if (t.kind != TokenKind::kInteger || t.raw.size() > 18) return Fail();
  out = std::stoll(std::string(t.raw));
  if (negative) out = -out;
  Next();
  return true;
}

bool Parser::ParseDeclaredType(DeclaredType& out) {
  out.line = Peek().line;
  if (!ParseObjectName(out.name)) return false;
  if (out.name.parts > 2) return Fail(Previous());
  if (AcceptOp("(")) {
    do {
      int64_t value = 0;
      if (!ParseInteger(value)) return false;
      if (value < 0 || value > 1000000) return Fail(Previous());
      out.args.push_back(static_cast<int>(value));
    } while (out.args.size() < 2 && AcceptOp(","));
    if (!ExpectOp(")")) return false;
  }
  return true;
}

std::string_view Parser::TextBetween(size_t first_token, size_t last_token) const {
  size_t begin = (*tokens_)[first_token].begin;
  size_t end = (*tokens_)[last_token].end;
  return end > begin ? text_.substr(begin, end - begin) : std::string_view();
}

std::string_view Parser::TextFrom(size_t first_token) const {
  return text_.substr((*tokens_)[first_token].begin);
}

bool Parser::Fail(const Token& at) {
  if (error_) return false;
  const Token* near = &at;
  if (at.kind == TokenKind::kEnd && pos_ > 0) {
    // At the end SQL Server names the last thing it read.
    near = &(*tokens_)[tokens_->size() >= 2 ? tokens_->size() - 2 : 0];
  }
  SqlError error;
  if (near->kind == TokenKind::kIdentifier && IsReservedKeyword(near->raw)) {
    error = Raise(Msg::kSyntaxErrorKeyword, {near->raw});
  } else {
    error = Raise(Msg::kSyntaxError, {std::to_string(near->line), near->value});
  }
  error.line = near->line;
  error_ = std::move(error);
  return false;
}

bool Parser::FailWith(SqlError error) {
  if (!error_) error_ = std::move(error);
  return false;
}

bool Parser::NotSupported(const std::string& what, const Token& at) {
  SqlError error = Raise(Msg::kNotSupported, {what});
  error.line = at.line;
  return FailWith(std::move(error));
}

bool Parser::ParseStatements(Batch& batch, bool first_statement_rule) {
  while (!AtEnd()) {
    if (AcceptOp(";")) continue;
    Statement statement;
    statement.line = Peek().line;
    if (!ParseStatement(statement, batch.statements.empty(), first_statement_rule)) return false;
    batch.statements.push_back(std::move(statement));
  }
  return true;
}

bool Parser::ParseStandaloneExpression(ExprPtr& out) {
  if (!ParseExpr(out)) return false;
  return AtEnd() || Fail();
}

bool Parser::ParseStatement(Statement& out, bool first_in_batch, bool first_statement_rule) {
  const Token& t = Peek();
  if (PeekWord("USE")) return ParseUse(out);
  if (PeekWord("CREATE")) return ParseCreate(out, first_in_batch, first_statement_rule);
  if (PeekWord("DROP")) return ParseDrop(out);
  if (PeekWord("ALTER")) return ParseAlter(out, first_in_batch, first_statement_rule);
  if (PeekWord("SELECT")) {
    SelectStmt select;
    if (!ParseSelect(select, /*into_allowed=*/true)) return false;
    out.node = std::move(select);
    return true;
  }
  if (PeekWord("INSERT")) return ParseInsert(out);
  if (PeekWord("UPDATE") && PeekWord("STATISTICS", 1)) return ParseUpdateStatistics(out);
  if (PeekWord("UPDATE")) return ParseUpdate(out);
  if (PeekWord("DBCC") && PeekWord("USEROPTIONS", 1)) return ParseDbcc(out);
  if (PeekWord("DELETE")) return ParseDelete(out);
  if (PeekWord("EXEC") || PeekWord("EXECUTE")) return ParseExec(out, false);
  if (PeekWord("GRANT")) return ParseGrant(out);
  if (PeekWord("SET")) return ParseSet(out);
  if (PeekWord("PRINT")) return ParsePrint(out);
  if (PeekWord("IF")) return ParseIf(out, first_statement_rule);
  if (PeekWord("WHILE")) return ParseWhile(out, first_statement_rule);
  if (PeekWord("DECLARE")) return ParseDeclare(out);
  if (PeekWord("BREAK") || PeekWord("CONTINUE") || PeekWord("RETURN") || PeekWord("GOTO"))
    return ParseJump(out);
  if (PeekWord("WAITFOR")) return ParseWaitfor(out);
  if (PeekWord("RAISERROR")) return ParseRaiserror(out);
  if (PeekWord("OPEN") || PeekWord("CLOSE") || PeekWord("DEALLOCATE"))
    return ParseCursorAction(out);
  if (PeekWord("FETCH")) return ParseFetch(out);
  if (PeekWord("COMMIT") || PeekWord("ROLLBACK") || PeekWord("SAVE")) return ParseTransaction(out);
  // BEGIN TRAN starts a transaction; BEGIN alone opens a block, refused below.
  if (PeekWord("BEGIN") && (PeekWord("TRAN", 1) || PeekWord("TRANSACTION", 1)))
    return ParseTransaction(out);
  if (PeekWord("BEGIN") && PeekWord("DISTRIBUTED", 1))
    return NotSupported("BEGIN DISTRIBUTED TRANSACTION", t);
  if (PeekWord("BEGIN")) return ParseBlock(out, first_statement_rule);
  // label:
  if (IsName(t) && PeekOp(":", 1)) {
    JumpStmt label{JumpKind::kLabel, nullptr, Next().value};
    Next();
    out.node = std::move(label);
    return true;
  }
  // A batch may start with a bare procedure name: SQL Server runs it.
  if (first_in_batch && IsName(t)) return ParseExec(out, true);
  static constexpr std::string_view kUnsupported[] = {
      "TRUNCATE",   "DENY",       "REVOKE",   "BACKUP",      "RESTORE",  "DBCC",
      "KILL",       "CHECKPOINT", "SHUTDOWN", "RECONFIGURE", "READTEXT", "WRITETEXT",
      "UPDATETEXT", "BULK",       "SETUSER",  "LOAD",        "DUMP"};
  for (std::string_view word : kUnsupported) {
    if (PeekWord(word)) return NotSupported("The " + ToUpper(word) + " statement", t);
  }
  return Fail(t);
}

namespace {

// The tokens of a parse in progress, in a vector taken from a few kept per
// thread and given back afterwards: a batch's tokens take kilobytes, and
// allocating them afresh for every batch was a large share of parsing.
// Parses may nest (a stored expression read while running), so each takes
// a vector of its own.
class TokenSpace {
 public:
  TokenSpace() {
    std::vector<std::vector<Token>>& kept = Kept();
    if (!kept.empty()) {
      tokens_ = std::move(kept.back());
      kept.pop_back();
    }
  }
  ~TokenSpace() {
    tokens_.clear();
    // A vector grown for an unusually large batch is not kept.
    if (tokens_.capacity() <= kLargestKept && Kept().size() < kMostKept)
      Kept().push_back(std::move(tokens_));
  }
  TokenSpace(const TokenSpace&) = delete;
  TokenSpace& operator=(const TokenSpace&) = delete;

  std::vector<Token>& tokens() { return tokens_; }

 private:
  static constexpr size_t kLargestKept = 32768;
  static constexpr size_t kMostKept = 4;

  static std::vector<std::vector<Token>>& Kept() {
    thread_local std::vector<std::vector<Token>> kept;
    return kept;
  }

  std::vector<Token> tokens_;
};

}  // namespace

namespace {

std::variant<Batch, SqlError> ParseStatementList(std::string_view text, bool quoted_identifier,
                                                 bool procedure) {
  TokenSpace space;
  std::vector<Token>& tokens = space.tokens();
  if (Status s = Tokenize(text, tokens, quoted_identifier)) return *s;
  Parser parser(text, tokens, quoted_identifier);
  Batch batch;
  if (!parser.ParseStatements(batch, !procedure)) return *parser.error();
  if (Status s = CheckFlow(batch, procedure)) return *s;
  batch.quoted_identifier = parser.quoted_identifier_set();
  return batch;
}

}  // namespace

std::variant<Batch, SqlError> ParseBatch(std::string_view text, bool quoted_identifier) {
  return ParseStatementList(text, quoted_identifier, /*procedure=*/false);
}

std::variant<Batch, SqlError> ParseBody(std::string_view text, bool quoted_identifier) {
  return ParseStatementList(text, quoted_identifier, /*procedure=*/true);
}

std::string Parser::StoredText(std::string_view text) const {
  return quoted_identifier_ ? std::string(text) : WithSingleQuotedStrings(text);
}

bool Parser::SetQuotedIdentifier(bool on) {
  quoted_identifier_set_ = on;
  if (on == quoted_identifier_) return true;
  quoted_identifier_ = on;
  // Read again from the end of the SET statement; the tokens before it stay.
  const Token& last = Previous();
  const size_t offset = last.end;
  std::vector<Token> rest;
  if (Status s = Tokenize(text_.substr(offset), rest, on)) {
    s->line += last.line - 1;
    error_ = std::move(*s);
    return false;
  }
  std::vector<Token>& tokens = reread_.emplace_back(tokens_->begin(), tokens_->begin() + pos_);
  for (Token& token : rest) {
    token.begin += offset;
    token.end += offset;
    token.line += last.line - 1;
    tokens.push_back(std::move(token));
  }
  tokens_ = &tokens;
  return true;
}

std::variant<std::vector<ParameterDef>, SqlError> ParseParameterList(std::string_view text) {
  std::vector<Token> tokens;
  if (Status s = Tokenize(text, tokens)) return *s;
  Parser parser(text, tokens);
  CreateModuleStmt module;
  if (!parser.ParseParameters(module, false) || (!parser.AtEnd() && !parser.Fail()))
    return *parser.error();
  return std::move(module.parameters);
}

std::variant<DeclaredType, SqlError> ParseTypeText(std::string_view text) {
  TokenSpace space;
  std::vector<Token>& tokens = space.tokens();
  if (Status s = Tokenize(text, tokens)) return *s;
  Parser parser(text, tokens);
  DeclaredType declared;
  if (!parser.ParseDeclaredType(declared) || (!parser.AtEnd() && !parser.Fail()))
    return *parser.error();
  return declared;
}

std::variant<ExprPtr, SqlError> ParseExpression(std::string_view text) {
  TokenSpace space;
  std::vector<Token>& tokens = space.tokens();
  if (Status s = Tokenize(text, tokens)) return *s;
  Parser parser(text, tokens);
  ExprPtr expr;
  if (!parser.ParseStandaloneExpression(expr)) return *parser.error();
  return expr;
}

}  // namespace server
