#include "server/sql/expression_text.h"

#include <vector>

#include "server/sql/tokenizer.h"

namespace server {

namespace {

std::string LowerWord(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool IsPunct(const Token& token, std::string_view op) {
  return token.kind == TokenKind::kOperator && token.raw == op;
}

// Whether tokens [first, last) are one parenthesised whole: "(" ... ")".
bool Enclosed(const std::vector<Token>& tokens, size_t first, size_t last) {
  if (last - first < 2 || !IsPunct(tokens[first], "(") || !IsPunct(tokens[last - 1], ")"))
    return false;
  int depth = 0;
  for (size_t i = first; i < last; ++i) {
    if (IsPunct(tokens[i], "(")) ++depth;
    if (IsPunct(tokens[i], ")")) --depth;
    if (depth == 0 && i + 1 < last) return false;
  }
  return true;
}

std::string Bracketed(std::string_view name) {
  std::string out = "[";
  for (char c : name) out += c == ']' ? std::string("]]") : std::string(1, c);
  return out + "]";
}

// What the previous piece was, which decides the blank before the next.
enum class Piece { kStart, kOpen, kOperand, kOperator, kSign, kCall, kKeyword, kComma, kDot };

// Keywords that a parenthesis may follow without making them a call.
bool TakesList(std::string_view word) {
  static constexpr std::string_view kWords[] = {"in",   "exists", "and",  "or",    "not",
                                                "when", "then",   "else", "like",  "between",
                                                "is",   "case",   "end",  "escape"};
  for (std::string_view w : kWords) {
    if (LowerWord(word) == w) return true;
  }
  return false;
}

}  // namespace

std::string WithSingleQuotedStrings(std::string_view text) {
  std::vector<Token> tokens;
  if (Tokenize(text, tokens, /*quoted_identifier=*/false)) return std::string(text);
  std::string out;
  size_t copied = 0;
  for (const Token& token : tokens) {
    if (token.kind != TokenKind::kString || token.raw.empty() || token.raw[0] != '"') continue;
    out.append(text.substr(copied, token.begin - copied));
    out += '\'';
    for (char c : token.value) {
      if (c == '\'') out += '\'';
      out += c;
    }
    out += '\'';
    copied = token.end;
  }
  out.append(text.substr(copied));
  return out;
}

std::string StoredExpressionText(std::string_view expression) {
  std::vector<Token> tokens;
  if (Tokenize(expression, tokens)) return std::string(expression);
  size_t first = 0;
  size_t last = tokens.size() - 1;  // the kEnd token
  while (Enclosed(tokens, first, last)) {
    // A subquery keeps its own parentheses.
    const Token& inner = tokens[first + 1];
    if (inner.kind == TokenKind::kIdentifier && LowerWord(inner.value) == "select") break;
    ++first;
    --last;
  }
  std::string out;
  Piece previous = Piece::kStart;
  for (size_t i = first; i < last; ++i) {
    const Token& token = tokens[i];
    const bool before_paren = i + 1 < last && IsPunct(tokens[i + 1], "(");
    std::string piece;
    Piece current = Piece::kOperand;
    switch (token.kind) {
      case TokenKind::kIdentifier:
        if (before_paren && !TakesList(token.value)) {
          piece = LowerWord(token.raw);
          current = Piece::kCall;
        } else if (IsReservedKeyword(token.value)) {
          piece = LowerWord(token.raw);
          current = Piece::kKeyword;
        } else {
          piece = Bracketed(token.value);
        }
        break;
      case TokenKind::kQuotedIdentifier:
        piece = Bracketed(token.value);
        break;
      case TokenKind::kOperator:
        piece = std::string(token.raw);
        if (piece == "(") {
          current = Piece::kOpen;
        } else if (piece == ")") {
          current = Piece::kOperand;
        } else if (piece == ",") {
          current = Piece::kComma;
        } else if (piece == ".") {
          current = Piece::kDot;
        } else {
          current = previous == Piece::kOperand ? Piece::kOperator : Piece::kSign;
        }
        break;
      default:
        piece = std::string(token.raw);
        break;
    }
    bool blank = true;
    switch (previous) {
      case Piece::kStart:
      case Piece::kOpen:
      case Piece::kSign:
      case Piece::kCall:
      case Piece::kComma:
      case Piece::kDot:
        blank = false;
        break;
      default:
        break;
    }
    if (current == Piece::kComma || current == Piece::kDot || piece == ")") blank = false;
    if (blank) out += ' ';
    out += piece;
    previous = current;
  }
  return out;
}

std::vector<NameToken> ExpressionNames(std::string_view expression) {
  std::vector<NameToken> names;
  std::vector<Token> tokens;
  if (Tokenize(expression, tokens)) return names;
  for (size_t i = 0; i + 1 < tokens.size(); ++i) {
    const Token& token = tokens[i];
    const bool call = IsPunct(tokens[i + 1], "(");
    if (token.kind == TokenKind::kQuotedIdentifier ||
        (token.kind == TokenKind::kIdentifier && !call && !IsReservedKeyword(token.value))) {
      names.push_back({token.value, token.begin, token.end});
    }
  }
  return names;
}

}  // namespace server
