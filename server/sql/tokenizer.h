#ifndef TAVORA_SERVER_SQL_TOKENIZER_H_
#define TAVORA_SERVER_SQL_TOKENIZER_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "server/errors.h"

namespace server {

// The longest identifier, in bytes; longer ones are error 103.
inline constexpr size_t kMaxIdentifier = 128;

enum class TokenKind {
  kIdentifier,        // plain word (may be a keyword)
  kQuotedIdentifier,  // [bracketed], or "double-quoted" while QUOTED_IDENTIFIER is on
  kString,            // 'text'
  kNString,           // N'text'
  kInteger,           // 17
  kDecimal,           // 31.99
  kFloat,             // 1.5E3
  kMoney,             // $1000
  kBinary,            // 0x11
  kVariable,          // @name
  kSystemVariable,    // @@name
  kOperator,          // punctuation and operators, also any character nothing else takes
  kEnd,               // after the last token
};

struct Token {
  TokenKind kind = TokenKind::kEnd;
  std::string_view raw;  // as written in the batch
  std::string value;     // identifier or string contents with quotes removed and escapes undone
  int line = 1;          // line of the batch where the token starts, from 1
  size_t begin = 0;      // offsets of raw in the batch
  size_t end = 0;
};

// Splits a batch into tokens, skipping blanks and comments (-- and nested
// /* */). The last token is always kEnd. Fails with 105 (unclosed quote or
// bracket), 113 (unclosed comment) or 103 (identifier longer than 128).
// With `quoted_identifier` off (SET QUOTED_IDENTIFIER OFF), "text" is a
// string as 'text' is.
Status Tokenize(std::string_view batch, std::vector<Token>& tokens, bool quoted_identifier = true);

// Whether a plain word is one of SQL Server 2000's reserved keywords.
bool IsReservedKeyword(std::string_view word);

}  // namespace server

#endif  // TAVORA_SERVER_SQL_TOKENIZER_H_
