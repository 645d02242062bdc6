#include "server/sql/tokenizer.h"

#include <algorithm>
#include <array>

#include "server/types/collation.h"

namespace server {

namespace {

// SQL Server 2000's reserved keywords, sorted for binary search ("_" sorts
// after the letters, as in ASCII).
constexpr std::array<std::string_view, 174> kReserved = {
    "ADD",
    "ALL",
    "ALTER",
    "AND",
    "ANY",
    "AS",
    "ASC",
    "AUTHORIZATION",
    "BACKUP",
    "BEGIN",
    "BETWEEN",
    "BREAK",
    "BROWSE",
    "BULK",
    "BY",
    "CASCADE",
    "CASE",
    "CHECK",
    "CHECKPOINT",
    "CLOSE",
    "CLUSTERED",
    "COALESCE",
    "COLLATE",
    "COLUMN",
    "COMMIT",
    "COMPUTE",
    "CONSTRAINT",
    "CONTAINS",
    "CONTAINSTABLE",
    "CONTINUE",
    "CONVERT",
    "CREATE",
    "CROSS",
    "CURRENT",
    "CURRENT_DATE",
    "CURRENT_TIME",
    "CURRENT_TIMESTAMP",
    "CURRENT_USER",
    "CURSOR",
    "DATABASE",
    "DBCC",
    "DEALLOCATE",
    "DECLARE",
    "DEFAULT",
    "DELETE",
    "DENY",
    "DESC",
    "DISK",
    "DISTINCT",
    "DISTRIBUTED",
    "DOUBLE",
    "DROP",
    "DUMMY",
    "DUMP",
    "ELSE",
    "END",
    "ERRLVL",
    "ESCAPE",
    "EXCEPT",
    "EXEC",
    "EXECUTE",
    "EXISTS",
    "EXIT",
    "FETCH",
    "FILE",
    "FILLFACTOR",
    "FOR",
    "FOREIGN",
    "FREETEXT",
    "FREETEXTTABLE",
    "FROM",
    "FULL",
    "FUNCTION",
    "GOTO",
    "GRANT",
    "GROUP",
    "HAVING",
    "HOLDLOCK",
    "IDENTITY",
    "IDENTITYCOL",
    "IDENTITY_INSERT",
    "IF",
    "IN",
    "INDEX",
    "INNER",
    "INSERT",
    "INTERSECT",
    "INTO",
    "IS",
    "JOIN",
    "KEY",
    "KILL",
    "LEFT",
    "LIKE",
    "LINENO",
    "LOAD",
    "NATIONAL",
    "NOCHECK",
    "NONCLUSTERED",
    "NOT",
    "NULL",
    "NULLIF",
    "OF",
    "OFF",
    "OFFSETS",
    "ON",
    "OPEN",
    "OPENDATASOURCE",
    "OPENQUERY",
    "OPENROWSET",
    "OPENXML",
    "OPTION",
    "OR",
    "ORDER",
    "OUTER",
    "OVER",
    "PERCENT",
    "PLAN",
    "PRECISION",
    "PRIMARY",
    "PRINT",
    "PROC",
    "PROCEDURE",
    "PUBLIC",
    "RAISERROR",
    "READ",
    "READTEXT",
    "RECONFIGURE",
    "REFERENCES",
    "REPLICATION",
    "RESTORE",
    "RESTRICT",
    "RETURN",
    "REVOKE",
    "RIGHT",
    "ROLLBACK",
    "ROWCOUNT",
    "ROWGUIDCOL",
    "RULE",
    "SAVE",
    "SCHEMA",
    "SELECT",
    "SESSION_USER",
    "SET",
    "SETUSER",
    "SHUTDOWN",
    "SOME",
    "STATISTICS",
    "SYSTEM_USER",
    "TABLE",
    "TEXTSIZE",
    "THEN",
    "TO",
    "TOP",
    "TRAN",
    "TRANSACTION",
    "TRIGGER",
    "TRUNCATE",
    "TSEQUAL",
    "UNION",
    "UNIQUE",
    "UPDATE",
    "UPDATETEXT",
    "USE",
    "USER",
    "VALUES",
    "VARYING",
    "VIEW",
    "WAITFOR",
    "WHEN",
    "WHERE",
    "WHILE",
    "WITH",
    "WRITETEXT",
};

bool IsHex(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || static_cast<unsigned char>(c) >= 0x80;
}
bool IsWordStart(char c) { return IsLetter(c) || c == '_' || c == '#'; }
bool IsWordPart(char c) {
  return IsLetter(c) || IsDigit(c) || c == '_' || c == '#' || c == '@' || c == '$';
}

class Scanner {
 public:
  Scanner(std::string_view text, std::vector<Token>& tokens) : text_(text), tokens_(tokens) {}

  Status Run() {
    while (true) {
      if (Status s = SkipSpaceAndComments()) return s;
      if (pos_ >= text_.size()) break;
      if (Status s = Next()) return s;
    }
    Token end;
    end.kind = TokenKind::kEnd;
    end.line = line_;
    end.begin = end.end = text_.size();
    tokens_.push_back(std::move(end));
    return std::nullopt;
  }

 private:
  char Peek(size_t ahead = 0) const {
    return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0';
  }

  void Advance() {
    if (text_[pos_] == '\n') ++line_;
    ++pos_;
  }

  Status SkipSpaceAndComments() {
    while (pos_ < text_.size()) {
      char c = text_[pos_];
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
        Advance();
      } else if (c == '-' && Peek(1) == '-') {
        while (pos_ < text_.size() && text_[pos_] != '\n') Advance();
      } else if (c == '/' && Peek(1) == '*') {
        // Block comments nest, as SQL Server reads them.
        int depth = 0;
        do {
          if (Peek() == '/' && Peek(1) == '*') {
            ++depth;
            Advance();
            Advance();
          } else if (Peek() == '*' && Peek(1) == '/') {
            --depth;
            Advance();
            Advance();
          } else if (pos_ < text_.size()) {
            Advance();
          } else {
            SqlError error = Raise(Msg::kMissingEndComment);
            error.line = line_;
            return error;
          }
        } while (depth > 0);
      } else {
        break;
      }
    }
    return std::nullopt;
  }

  void Emit(TokenKind kind, size_t begin, int line, std::string value) {
    Token token;
    token.kind = kind;
    token.raw = text_.substr(begin, pos_ - begin);
    token.value = std::move(value);
    token.line = line;
    token.begin = begin;
    token.end = pos_;
    tokens_.push_back(std::move(token));
  }

  Status TooLong(const std::string& name, int line) {
    SqlError error = Raise(Msg::kIdentifierTooLong,
                           {name.substr(0, kMaxIdentifier), std::to_string(kMaxIdentifier)});
    error.line = line;
    return error;
  }

  // Reads up to the closing delimiter; a doubled delimiter stands for itself.
  Status Quoted(char close, std::string& out, size_t content_begin, int line) {
    while (true) {
      if (pos_ >= text_.size()) {
        SqlError error = Raise(Msg::kUnclosedQuote, {text_.substr(content_begin)});
        error.line = line;
        return error;
      }
      char c = text_[pos_];
      Advance();
      if (c == close) {
        if (Peek() == close) {
          out += close;
          Advance();
          continue;
        }
        return std::nullopt;
      }
      out += c;
    }
  }

  Status Next() {
    size_t begin = pos_;
    int line = line_;
    char c = text_[pos_];
    if ((c == 'N' || c == 'n') && Peek(1) == '\'') {
      Advance();
      Advance();
      std::string value;
      if (Status s = Quoted('\'', value, pos_, line)) return s;
      Emit(TokenKind::kNString, begin, line, std::move(value));
      return std::nullopt;
    }
    if (c == '\'') {
      Advance();
      std::string value;
      if (Status s = Quoted('\'', value, pos_, line)) return s;
      Emit(TokenKind::kString, begin, line, std::move(value));
      return std::nullopt;
    }
    if (c == '[' || c == '"') {
      Advance();
      std::string value;
      if (Status s = Quoted(c == '[' ? ']' : '"', value, pos_, line)) return s;
      if (value.size() > kMaxIdentifier) return TooLong(value, line);
      Emit(TokenKind::kQuotedIdentifier, begin, line, std::move(value));
      return std::nullopt;
    }
    if (c == '@') {
      Advance();
      TokenKind kind = TokenKind::kVariable;
      if (Peek() == '@') {
        Advance();
        kind = TokenKind::kSystemVariable;
      }
      while (pos_ < text_.size() && IsWordPart(text_[pos_])) Advance();
      std::string value(text_.substr(begin, pos_ - begin));
      if (value.size() > kMaxIdentifier) return TooLong(value, line);
      Emit(kind, begin, line, std::move(value));
      return std::nullopt;
    }
    if (c == '0' && (Peek(1) == 'x' || Peek(1) == 'X')) {
      Advance();
      Advance();
      while (pos_ < text_.size() && IsHex(text_[pos_])) Advance();
      Emit(TokenKind::kBinary, begin, line, std::string(text_.substr(begin, pos_ - begin)));
      return std::nullopt;
    }
    if (IsDigit(c) || (c == '.' && IsDigit(Peek(1))) ||
        (c == '$' && (IsDigit(Peek(1)) || (Peek(1) == '.' && IsDigit(Peek(2)))))) {
      return Number(begin, line);
    }
    if (IsWordStart(c)) {
      while (pos_ < text_.size() && IsWordPart(text_[pos_])) Advance();
      std::string value(text_.substr(begin, pos_ - begin));
      if (value.size() > kMaxIdentifier) return TooLong(value, line);
      Emit(TokenKind::kIdentifier, begin, line, std::move(value));
      return std::nullopt;
    }
    static constexpr std::string_view kTwoCharOperators[] = {
        "<>", "!=", "<=", ">=", "!<", "!>", "::"};
    for (std::string_view op : kTwoCharOperators) {
      if (text_.substr(pos_, 2) == op) {
        Advance();
        Advance();
        Emit(TokenKind::kOperator, begin, line, std::string(op));
        return std::nullopt;
      }
    }
    // Any other single byte (or a whole UTF-8 sequence) is an operator token;
    // the parser reports it as a syntax error where it does not belong.
    Advance();
    while (pos_ < text_.size() && (static_cast<unsigned char>(text_[pos_]) & 0xC0) == 0x80)
      Advance();
    Emit(TokenKind::kOperator, begin, line, std::string(text_.substr(begin, pos_ - begin)));
    return std::nullopt;
  }

  Status Number(size_t begin, int line) {
    bool money = text_[pos_] == '$';
    if (money) Advance();
    bool point = false;
    while (pos_ < text_.size() && (IsDigit(text_[pos_]) || (text_[pos_] == '.' && !point))) {
      if (text_[pos_] == '.') point = true;
      Advance();
    }
    TokenKind kind =
        money ? TokenKind::kMoney : (point ? TokenKind::kDecimal : TokenKind::kInteger);
    if (!money && (Peek() == 'e' || Peek() == 'E')) {
      size_t ahead = 1;
      if (Peek(1) == '+' || Peek(1) == '-') ahead = 2;
      if (IsDigit(Peek(ahead))) {
        for (size_t i = 0; i < ahead; ++i) Advance();
        while (pos_ < text_.size() && IsDigit(text_[pos_])) Advance();
        kind = TokenKind::kFloat;
      }
    }
    Emit(kind, begin, line, std::string(text_.substr(begin, pos_ - begin)));
    return std::nullopt;
  }

  std::string_view text_;
  std::vector<Token>& tokens_;
  size_t pos_ = 0;
  int line_ = 1;
};

}  // namespace

Status Tokenize(std::string_view batch, std::vector<Token>& tokens) {
  tokens.clear();
  return Scanner(batch, tokens).Run();
}

bool IsReservedKeyword(std::string_view word) {
  if (word.size() > 20) return false;
  std::string upper = ToUpper(word);
  return std::binary_search(kReserved.begin(), kReserved.end(), std::string_view(upper));
}

}  // namespace server
