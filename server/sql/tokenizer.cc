#include "server/sql/tokenizer.h"

#include <algorithm>
#include <array>
#include <cstdint>

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

// What a byte may be, looked up once per byte rather than tested one
// range at a time: the scanner reads every byte of every batch.
enum CharClass : uint8_t {
  kWordStart = 1,  // letters (and any byte of a UTF-8 sequence), _ and #
  kWordPart = 2,   // what may follow in a word: also digits, @ and $
  kDigit = 4,
  kHex = 8,
  kBlank = 16,
};

constexpr std::array<uint8_t, 256> MakeCharClasses() {
  std::array<uint8_t, 256> classes{};
  for (int c = 0; c < 256; ++c) {
    bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c >= 0x80;
    bool digit = c >= '0' && c <= '9';
    uint8_t bits = 0;
    if (letter || c == '_' || c == '#') bits |= kWordStart | kWordPart;
    if (digit || c == '@' || c == '$') bits |= kWordPart;
    if (digit) bits |= kDigit | kHex;
    if ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')) bits |= kHex;
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') bits |= kBlank;
    classes[static_cast<size_t>(c)] = bits;
  }
  return classes;
}

constexpr std::array<uint8_t, 256> kCharClasses = MakeCharClasses();

bool Is(char c, CharClass what) {
  return (kCharClasses[static_cast<unsigned char>(c)] & what) != 0;
}

class Scanner {
 public:
  Scanner(std::string_view text, std::vector<Token>& tokens, bool quoted_identifier)
      : text_(text), tokens_(tokens), quoted_identifier_(quoted_identifier) {}

  Status Run() {
    // Most batches hold a token for every few bytes; reserving spares the
    // vector from moving its tokens as it grows.
    tokens_.reserve(text_.size() / 6 + 16);
    while (true) {
      if (Status s = SkipSpaceAndComments()) return s;
      if (pos_ >= text_.size()) break;
      if (Status s = Next()) return s;
    }
    Token& end = tokens_.emplace_back();
    end.kind = TokenKind::kEnd;
    end.line = line_;
    end.begin = end.end = text_.size();
    return std::nullopt;
  }

 private:
  char Peek(size_t ahead = 0) const {
    return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0';
  }

  // Moves past `count` bytes, counting the lines they end.
  void Advance(size_t count = 1) {
    for (size_t end = pos_ + count; pos_ < end; ++pos_) {
      if (text_[pos_] == '\n') ++line_;
    }
  }

  // Moves past bytes of `what`, which holds no line end.
  void Skip(CharClass what) {
    while (pos_ < text_.size() && Is(text_[pos_], what)) ++pos_;
  }

  Status SkipSpaceAndComments() {
    while (pos_ < text_.size()) {
      char c = text_[pos_];
      if (Is(c, kBlank)) {
        if (c == '\n') ++line_;
        ++pos_;
      } else if (c == '-' && Peek(1) == '-') {
        size_t newline = text_.find('\n', pos_);
        pos_ = newline == std::string_view::npos ? text_.size() : newline;
      } else if (c == '/' && Peek(1) == '*') {
        // Block comments nest, as SQL Server reads them.
        int depth = 0;
        do {
          if (Peek() == '/' && Peek(1) == '*') {
            ++depth;
            pos_ += 2;
          } else if (Peek() == '*' && Peek(1) == '/') {
            --depth;
            pos_ += 2;
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

  // The token from `begin` to the current position; its value is what
  // `value` gives, the text as written unless set otherwise.
  Token& Emit(TokenKind kind, size_t begin, int line) {
    Token& token = tokens_.emplace_back();
    token.kind = kind;
    token.raw = text_.substr(begin, pos_ - begin);
    token.line = line;
    token.begin = begin;
    token.end = pos_;
    return token;
  }
  void EmitAsWritten(TokenKind kind, size_t begin, int line) {
    Token& token = Emit(kind, begin, line);
    token.value.assign(token.raw);
  }

  Status TooLong(std::string_view name, int line) {
    SqlError error = Raise(Msg::kIdentifierTooLong,
                           {name.substr(0, kMaxIdentifier), std::to_string(kMaxIdentifier)});
    error.line = line;
    return error;
  }

  // Reads up to the closing delimiter; a doubled delimiter stands for itself.
  Status Quoted(char close, std::string& out, size_t content_begin, int line) {
    while (true) {
      size_t found = text_.find(close, pos_);
      if (found == std::string_view::npos) {
        SqlError error = Raise(Msg::kUnclosedQuote, {text_.substr(content_begin)});
        error.line = line;
        return error;
      }
      out.append(text_.substr(pos_, found - pos_));
      Advance(found + 1 - pos_);
      if (Peek() != close) return std::nullopt;
      out += close;
      ++pos_;
    }
  }

  Status Next() {
    size_t begin = pos_;
    int line = line_;
    char c = text_[pos_];
    if ((c == 'N' || c == 'n') && Peek(1) == '\'') {
      pos_ += 2;
      std::string value;
      if (Status s = Quoted('\'', value, pos_, line)) return s;
      Emit(TokenKind::kNString, begin, line).value = std::move(value);
      return std::nullopt;
    }
    if (c == '\'') {
      ++pos_;
      std::string value;
      if (Status s = Quoted('\'', value, pos_, line)) return s;
      Emit(TokenKind::kString, begin, line).value = std::move(value);
      return std::nullopt;
    }
    if (c == '"' && !quoted_identifier_) {
      ++pos_;
      std::string value;
      if (Status s = Quoted('"', value, pos_, line)) return s;
      Emit(TokenKind::kString, begin, line).value = std::move(value);
      return std::nullopt;
    }
    if (c == '[' || c == '"') {
      ++pos_;
      std::string value;
      if (Status s = Quoted(c == '[' ? ']' : '"', value, pos_, line)) return s;
      if (value.size() > kMaxIdentifier) return TooLong(value, line);
      Emit(TokenKind::kQuotedIdentifier, begin, line).value = std::move(value);
      return std::nullopt;
    }
    if (c == '@') {
      ++pos_;
      TokenKind kind = TokenKind::kVariable;
      if (Peek() == '@') {
        ++pos_;
        kind = TokenKind::kSystemVariable;
      }
      Skip(kWordPart);
      if (pos_ - begin > kMaxIdentifier) return TooLong(text_.substr(begin, pos_ - begin), line);
      EmitAsWritten(kind, begin, line);
      return std::nullopt;
    }
    if (c == '0' && (Peek(1) == 'x' || Peek(1) == 'X')) {
      pos_ += 2;
      Skip(kHex);
      EmitAsWritten(TokenKind::kBinary, begin, line);
      return std::nullopt;
    }
    if (Is(c, kDigit) || (c == '.' && IsDigit(Peek(1))) ||
        (c == '$' && (IsDigit(Peek(1)) || (Peek(1) == '.' && IsDigit(Peek(2)))))) {
      return Number(begin, line);
    }
    if (Is(c, kWordStart)) {
      Skip(kWordPart);
      if (pos_ - begin > kMaxIdentifier) return TooLong(text_.substr(begin, pos_ - begin), line);
      EmitAsWritten(TokenKind::kIdentifier, begin, line);
      return std::nullopt;
    }
    // <> != <= >= !< !> :: and the old outer joins *= =*
    char second = Peek(1);
    bool two = (c == '<' && (second == '>' || second == '=')) || (c == '*' && second == '=') ||
               (c == '=' && second == '*') ||
               (c == '!' && (second == '=' || second == '<' || second == '>')) ||
               (c == '>' && second == '=') || (c == ':' && second == ':');
    if (two) {
      pos_ += 2;
      EmitAsWritten(TokenKind::kOperator, begin, line);
      return std::nullopt;
    }
    // Any other single byte (or a whole UTF-8 sequence) is an operator token;
    // the parser reports it as a syntax error where it does not belong.
    Advance();
    while (pos_ < text_.size() && (static_cast<unsigned char>(text_[pos_]) & 0xC0) == 0x80) ++pos_;
    EmitAsWritten(TokenKind::kOperator, begin, line);
    return std::nullopt;
  }

  Status Number(size_t begin, int line) {
    bool money = text_[pos_] == '$';
    if (money) ++pos_;
    bool point = false;
    while (pos_ < text_.size() && (Is(text_[pos_], kDigit) || (text_[pos_] == '.' && !point))) {
      if (text_[pos_] == '.') point = true;
      ++pos_;
    }
    TokenKind kind =
        money ? TokenKind::kMoney : (point ? TokenKind::kDecimal : TokenKind::kInteger);
    if (!money && (Peek() == 'e' || Peek() == 'E')) {
      size_t ahead = 1;
      if (Peek(1) == '+' || Peek(1) == '-') ahead = 2;
      if (IsDigit(Peek(ahead))) {
        pos_ += ahead;
        Skip(kDigit);
        kind = TokenKind::kFloat;
      }
    }
    EmitAsWritten(kind, begin, line);
    return std::nullopt;
  }

  std::string_view text_;
  std::vector<Token>& tokens_;
  bool quoted_identifier_;  // else "text" is a string, as 'text' is
  size_t pos_ = 0;
  int line_ = 1;
};

}  // namespace

Status Tokenize(std::string_view batch, std::vector<Token>& tokens, bool quoted_identifier) {
  tokens.clear();
  return Scanner(batch, tokens, quoted_identifier).Run();
}

bool IsReservedKeyword(std::string_view word) {
  // The parser asks this of most words it reads: no allocation.
  char upper[20];
  if (word.size() > sizeof upper) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    char c = word[i];
    upper[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  return std::binary_search(kReserved.begin(), kReserved.end(),
                            std::string_view(upper, word.size()));
}

}  // namespace server
