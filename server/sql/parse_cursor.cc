// Cursors: DECLARE ... CURSOR in both its forms, OPEN, FETCH, CLOSE and
// DEALLOCATE, and the cursor named by WHERE CURRENT OF.

#include "server/sql/parser_internal.h"
#include "server/types/collation.h"

namespace server {

namespace {

// The options after CURSOR, each in its group: two of one group, or two
// that contradict each other, are error 1048.
enum class OptionGroup { kScope, kScroll, kKind, kConcurrency, kWarning };

struct CursorOption {
  std::string_view word;
  OptionGroup group;
};

constexpr CursorOption kCursorOptions[] = {
    {"LOCAL", OptionGroup::kScope},
    {"GLOBAL", OptionGroup::kScope},
    {"FORWARD_ONLY", OptionGroup::kScroll},
    {"SCROLL", OptionGroup::kScroll},
    {"STATIC", OptionGroup::kKind},
    {"KEYSET", OptionGroup::kKind},
    {"DYNAMIC", OptionGroup::kKind},
    {"FAST_FORWARD", OptionGroup::kKind},
    {"READ_ONLY", OptionGroup::kConcurrency},
    {"SCROLL_LOCKS", OptionGroup::kConcurrency},
    {"OPTIMISTIC", OptionGroup::kConcurrency},
    {"TYPE_WARNING", OptionGroup::kWarning},
};

// Pairs from different groups that cannot go together: a fast-forward
// cursor is forward-only and read-only, and a static one is read-only.
constexpr std::pair<std::string_view, std::string_view> kConflicts[] = {
    {"FAST_FORWARD", "SCROLL"},       {"FAST_FORWARD", "FORWARD_ONLY"},
    {"FAST_FORWARD", "SCROLL_LOCKS"}, {"FAST_FORWARD", "OPTIMISTIC"},
    {"STATIC", "SCROLL_LOCKS"},       {"STATIC", "OPTIMISTIC"},
};

bool IsOp(const Token& t, std::string_view op) {
  return t.kind == TokenKind::kOperator && t.raw == op;
}

void ApplyOption(std::string_view word, DeclareCursorStmt& cursor) {
  if (word == "LOCAL") cursor.scope = CursorScope::kLocal;
  if (word == "GLOBAL") cursor.scope = CursorScope::kGlobal;
  if (word == "FORWARD_ONLY") cursor.scroll = false;
  if (word == "SCROLL") cursor.scroll = true;
  if (word == "STATIC") cursor.kind = CursorKind::kStatic;
  if (word == "KEYSET") cursor.kind = CursorKind::kKeyset;
  if (word == "DYNAMIC") cursor.kind = CursorKind::kDynamic;
  if (word == "FAST_FORWARD") cursor.kind = CursorKind::kFastForward;
  if (word == "READ_ONLY") cursor.concurrency = CursorConcurrency::kReadOnly;
  if (word == "SCROLL_LOCKS") cursor.concurrency = CursorConcurrency::kScrollLocks;
  if (word == "OPTIMISTIC") cursor.concurrency = CursorConcurrency::kOptimistic;
  if (word == "TYPE_WARNING") cursor.type_warning = true;
}

}  // namespace

bool Parser::ParseDeclareCursor(Statement& out) {
  DeclareCursorStmt cursor;
  cursor.name = Next().value;
  // The SQL-92 form puts its words before CURSOR.
  bool sql92 = false;
  if (AcceptWord("INSENSITIVE")) cursor.insensitive = sql92 = true;
  if (AcceptWord("SCROLL")) {
    cursor.scroll = true;
    sql92 = true;
  }
  if (!ExpectWord("CURSOR")) return false;
  if (!ParseCursorDefinition(cursor, sql92, true)) return false;
  out.node = std::move(cursor);
  return true;
}

bool Parser::ParseCursorDefinition(DeclareCursorStmt& cursor, bool sql92, bool scoped) {
  auto conflict = [&](std::string_view first, std::string_view second, const Token& at) {
    SqlError error = Raise(Msg::kCursorOptionsConflict, {first, second});
    error.line = at.line;
    return FailWith(std::move(error));
  };
  std::vector<std::pair<std::string, OptionGroup>> written;
  while (!PeekWord("FOR")) {
    const CursorOption* option = nullptr;
    for (const CursorOption& candidate : kCursorOptions) {
      if (PeekWord(candidate.word)) option = &candidate;
    }
    if (!option || (!scoped && option->group == OptionGroup::kScope)) return Fail();
    const Token& at = Next();
    if (sql92) {
      SqlError error = Raise(Msg::kCursorSyntaxMixed);
      error.line = at.line;
      return FailWith(std::move(error));
    }
    std::string word(option->word);
    for (const auto& [earlier, group] : written) {
      if (group == option->group) return conflict(earlier, word, at);
      for (const auto& [a, b] : kConflicts) {
        if ((a == earlier && b == word) || (a == word && b == earlier))
          return conflict(earlier, word, at);
      }
    }
    written.emplace_back(word, option->group);
    ApplyOption(word, cursor);
  }
  Next();  // FOR
  if (!PeekWord("SELECT")) return Fail();
  size_t first = Position();
  SelectStmt select;
  if (!ParseSelect(select)) return false;
  size_t last = Position() - 1;
  const size_t base = (*tokens_)[first].begin;
  cursor.select_text.assign(static_cast<size_t>((*tokens_)[first].line - 1), '\n');
  const size_t lead = cursor.select_text.size();
  cursor.select_text += TextBetween(first, last);
  // The select list ends at the first FROM outside parentheses; the key of
  // a row can be added there when one table is read and rows are not
  // combined.
  int depth = 0;
  bool in_from = false;
  cursor.keyable = true;
  for (size_t i = first; i <= last; ++i) {
    const Token& t = (*tokens_)[i];
    // FROM (a derived table) reads no table of its own.
    if (in_from && depth == 0 && IsOp(t, "(") && IsWord((*tokens_)[i - 1], "FROM"))
      cursor.keyable = false;
    if (IsOp(t, "(")) ++depth;
    if (IsOp(t, ")")) --depth;
    if (depth > 0) continue;
    if (IsWord(t, "DISTINCT") || IsWord(t, "GROUP") || IsWord(t, "HAVING") || IsWord(t, "UNION")) {
      cursor.keyable = false;
    }
    if (!in_from && cursor.from_offset == std::string::npos && IsWord(t, "FROM")) {
      cursor.from_offset = lead + (t.begin - base);
      in_from = true;
      continue;
    }
    if (IsWord(t, "WHERE") || IsWord(t, "ORDER")) in_from = false;
    if (in_from && (IsOp(t, ",") || IsWord(t, "JOIN") || IsWord(t, "APPLY"))) {
      cursor.keyable = false;
    }
  }
  if (cursor.from_offset == std::string::npos) cursor.keyable = false;
  if (AcceptWord("FOR")) {
    if (AcceptWord("READ")) {
      if (!ExpectWord("ONLY")) return false;
      cursor.for_read_only = true;
    } else if (AcceptWord("UPDATE")) {
      cursor.for_update = true;
      if (AcceptWord("OF")) {
        do {
          std::string column;
          if (!ParseName(column)) return false;
          cursor.update_columns.push_back(std::move(column));
        } while (AcceptOp(","));
      }
    } else {
      return Fail();
    }
  }
  return true;
}

bool Parser::ParseCursorRef(CursorRef& out) {
  if (Peek().kind == TokenKind::kVariable) {
    out.variable = true;
    out.name = Next().value;
    return true;
  }
  // GLOBAL is the scope only when a name follows it.
  if (PeekWord("GLOBAL") && (IsName(Peek(1)) || Peek(1).kind == TokenKind::kQuotedIdentifier)) {
    Next();
    out.global = true;
  }
  return ParseName(out.name);
}

bool Parser::ParseCursorAction(Statement& out) {
  const Token& word = Next();
  CursorStmt statement;
  statement.action = IsWord(word, "OPEN")    ? CursorAction::kOpen
                     : IsWord(word, "CLOSE") ? CursorAction::kClose
                                             : CursorAction::kDeallocate;
  if (!ParseCursorRef(statement.cursor)) return false;
  out.node = std::move(statement);
  return true;
}

bool Parser::ParseFetch(Statement& out) {
  Next();
  FetchStmt fetch;
  static constexpr std::pair<std::string_view, FetchKind> kKinds[] = {
      {"NEXT", FetchKind::kNext},         {"PRIOR", FetchKind::kPrior},
      {"FIRST", FetchKind::kFirst},       {"LAST", FetchKind::kLast},
      {"ABSOLUTE", FetchKind::kAbsolute}, {"RELATIVE", FetchKind::kRelative},
  };
  for (const auto& [word, kind] : kKinds) {
    if (!PeekWord(word)) continue;
    bool moves = kind == FetchKind::kAbsolute || kind == FetchKind::kRelative;
    // FETCH next: a cursor named like a direction.
    if (!moves && !PeekWord("FROM", 1) && !IsName(Peek(1)) &&
        Peek(1).kind != TokenKind::kQuotedIdentifier && Peek(1).kind != TokenKind::kVariable) {
      break;
    }
    Next();
    fetch.kind = kind;
    if (moves) {
      // n is an integer constant, or a variable holding one.
      bool sign = PeekOp("-") || PeekOp("+");
      const Token& number = Peek(sign ? 1 : 0);
      bool constant = number.kind == TokenKind::kInteger;
      if (!constant && (sign || number.kind != TokenKind::kVariable)) return Fail(number);
      if (!ParseUnary(fetch.offset)) return false;
    }
    break;
  }
  AcceptWord("FROM");
  if (!ParseCursorRef(fetch.cursor)) return false;
  if (AcceptWord("INTO")) {
    do {
      if (Peek().kind != TokenKind::kVariable) return Fail();
      fetch.into.push_back(Next().value);
    } while (AcceptOp(","));
  }
  out.node = std::move(fetch);
  return true;
}

bool Parser::ParseCurrentOf(std::optional<CursorRef>& out) {
  Next();  // WHERE
  Next();  // CURRENT
  if (!ExpectWord("OF")) return false;
  CursorRef cursor;
  if (!ParseCursorRef(cursor)) return false;
  out = std::move(cursor);
  return true;
}

}  // namespace server
