// USE, CREATE (dispatch), DROP, CREATE/DROP DATABASE, GRANT, SET, PRINT and IF.

#include "server/sql/parser_internal.h"
#include "server/types/collation.h"

namespace server {

bool Parser::ParseUse(Statement& out) {
  Next();
  UseStmt use;
  if (!ParseName(use.database)) return false;
  out.node = std::move(use);
  return true;
}

namespace {

struct ModuleWord {
  std::string_view word;
  ModuleKind kind;
  const char* statement;  // the words error 111 names, after CREATE or ALTER
};

constexpr ModuleWord kModuleWords[] = {
    {"VIEW", ModuleKind::kView, "VIEW"},
    {"PROCEDURE", ModuleKind::kProcedure, "PROCEDURE"},
    {"PROC", ModuleKind::kProcedure, "PROCEDURE"},
    {"FUNCTION", ModuleKind::kFunction, "FUNCTION"},
    {"TRIGGER", ModuleKind::kTrigger, "TRIGGER"},
    {"DEFAULT", ModuleKind::kDefault, "DEFAULT"},
    {"RULE", ModuleKind::kRule, "RULE"},
};

}  // namespace

bool Parser::ParseModuleStatement(Statement& out, bool first_in_batch, bool first_statement_rule,
                                  bool& found) {
  const Token& start = Peek();
  size_t start_pos = Position();
  const bool alter = IsWord(start, "ALTER");
  found = false;
  for (const ModuleWord& module : kModuleWords) {
    if (!PeekWord(module.word, 1)) continue;
    // Defaults and rules are dropped and made again, never altered.
    if (alter && (module.kind == ModuleKind::kDefault || module.kind == ModuleKind::kRule)) break;
    found = true;
    if (first_statement_rule && !first_in_batch) {
      std::string words = std::string(alter ? "ALTER " : "CREATE ") + module.statement;
      SqlError error = Raise(Msg::kMustBeFirstInBatch, {words});
      error.line = start.line;
      return FailWith(std::move(error));
    }
    Next();
    Next();
    if (!ParseModule(out, module.kind, start_pos)) return false;
    if (alter) {
      // The text kept is the definition as CREATE would have made it: a
      // script read back begins with CREATE whichever statement wrote it.
      auto& module_stmt = std::get<CreateModuleStmt>(out.node);
      module_stmt.alter = true;
      module_stmt.text = "CREATE" + module_stmt.text.substr(start.end - start.begin);
    }
    return true;
  }
  return false;
}

bool Parser::ParseCreate(Statement& out, bool first_in_batch, bool first_statement_rule) {
  const Token& create = Peek();
  bool module = false;
  if (ParseModuleStatement(out, first_in_batch, first_statement_rule, module) || module)
    return module && !error_;
  Next();
  if (PeekWord("DATABASE")) return ParseCreateDatabase(out);
  if (PeekWord("TABLE")) return ParseCreateTable(out);
  if (PeekWord("UNIQUE") || PeekWord("CLUSTERED") || PeekWord("NONCLUSTERED") ||
      PeekWord("INDEX")) {
    return ParseCreateIndex(out);
  }
  if (PeekWord("SCHEMA") || PeekWord("STATISTICS")) {
    return NotSupported("CREATE " + ToUpper(Peek().raw), create);
  }
  return Fail();
}

bool Parser::ParseAlter(Statement& out, bool first_in_batch, bool first_statement_rule) {
  const Token& alter = Peek();
  bool module = false;
  if (ParseModuleStatement(out, first_in_batch, first_statement_rule, module) || module)
    return module && !error_;
  if (PeekWord("TABLE", 1)) {
    Next();
    return ParseAlterTable(out);
  }
  const Token& what = Peek(1);
  if (what.kind == TokenKind::kIdentifier) return NotSupported("ALTER " + ToUpper(what.raw), alter);
  Next();
  return Fail();
}

bool Parser::ParseCreateDatabase(Statement& out) {
  Next();
  CreateDatabaseStmt create;
  if (!ParseName(create.name)) return false;
  if (PeekWord("ON") || PeekWord("LOG") || PeekWord("FOR")) {
    return NotSupported("CREATE DATABASE with file options", Peek());
  }
  if (AcceptWord("COLLATE") && !ParseName(create.collation)) return false;
  out.node = std::move(create);
  return true;
}

bool Parser::ParseDrop(Statement& out) {
  Next();
  if (AcceptWord("DATABASE")) {
    DropDatabaseStmt drop;
    do {
      std::string name;
      if (!ParseName(name)) return false;
      drop.names.push_back(std::move(name));
    } while (AcceptOp(","));
    out.node = std::move(drop);
    return true;
  }
  static constexpr std::pair<std::string_view, DropKind> kKinds[] = {
      {"TABLE", DropKind::kTable},         {"VIEW", DropKind::kView},
      {"PROCEDURE", DropKind::kProcedure}, {"PROC", DropKind::kProcedure},
      {"FUNCTION", DropKind::kFunction},   {"TRIGGER", DropKind::kTrigger},
      {"DEFAULT", DropKind::kDefault},     {"RULE", DropKind::kRule},
      {"INDEX", DropKind::kIndex},
  };
  for (const auto& [word, kind] : kKinds) {
    if (!AcceptWord(word)) continue;
    DropObjectStmt drop;
    drop.kind = kind;
    do {
      ObjectName name;
      if (!ParseObjectName(name)) return false;
      // DROP INDEX names table.index.
      if (kind == DropKind::kIndex && name.parts < 2) return Fail(Previous());
      drop.names.push_back(std::move(name));
    } while (AcceptOp(","));
    out.node = std::move(drop);
    return true;
  }
  if (PeekWord("STATISTICS") || PeekWord("SCHEMA"))
    return NotSupported("DROP " + ToUpper(Peek().raw), Peek());
  return Fail();
}

bool Parser::ParseGrant(Statement& out) {
  const Token& grant_token = Next();
  GrantStmt grant;
  static constexpr std::string_view kPrivileges[] = {"SELECT",     "INSERT",  "UPDATE", "DELETE",
                                                     "REFERENCES", "EXECUTE", "EXEC"};
  if (AcceptWord("ALL")) {
    AcceptWord("PRIVILEGES");
    grant.privileges.push_back("ALL");
  } else {
    do {
      bool found = false;
      for (std::string_view privilege : kPrivileges) {
        if (AcceptWord(privilege)) {
          grant.privileges.push_back(privilege == "EXEC" ? "EXECUTE" : std::string(privilege));
          found = true;
          break;
        }
      }
      if (!found) {
        // GRANT CREATE TABLE TO ... and the like grant statement permissions.
        if (PeekWord("CREATE") || PeekWord("BACKUP"))
          return NotSupported("Granting statement permissions", grant_token);
        return Fail();
      }
    } while (AcceptOp(","));
  }
  if (PeekOp("(") && !ParseNameList(grant.columns)) return false;
  if (!ExpectWord("ON") || !ParseObjectName(grant.object)) return false;
  if (PeekOp("(")) {
    if (!grant.columns.empty()) return Fail();
    if (!ParseNameList(grant.columns)) return false;
  }
  if (!ExpectWord("TO")) return false;
  do {
    if (AcceptWord("PUBLIC")) {
      grant.grantees.push_back("public");
    } else {
      std::string grantee;
      if (!ParseName(grantee)) return false;
      grant.grantees.push_back(std::move(grantee));
    }
  } while (AcceptOp(","));
  if (PeekWord("WITH") || PeekWord("AS"))
    return NotSupported("GRANT ... " + ToUpper(Peek().raw), Peek());
  out.node = std::move(grant);
  return true;
}

namespace {

// The ON/OFF options and the values this server takes: both when it
// honours the option, one when that value is what it always does. Anything
// else is refused rather than accepted and ignored.
struct OnOffOption {
  std::string_view name;
  bool on;
  bool off;
};

constexpr OnOffOption kOnOffOptions[] = {
    {"NOCOUNT", true, true},
    {"NOEXEC", true, true},
    {"PARSEONLY", true, true},
    {"FMTONLY", true, true},
    {"ANSI_NULL_DFLT_ON", true, true},
    {"ANSI_NULL_DFLT_OFF", true, true},
    {"ARITHABORT", true, true},
    {"XACT_ABORT", true, true},
    {"IMPLICIT_TRANSACTIONS", true, true},
    {"CURSOR_CLOSE_ON_COMMIT", true, true},
    {"QUOTED_IDENTIFIER", true, true},
    {"ANSI_NULLS", true, true},
    {"ANSI_PADDING", true, false},
    {"ANSI_WARNINGS", true, true},
    {"CONCAT_NULL_YIELDS_NULL", true, true},
    {"ARITHIGNORE", false, true},
    {"NUMERIC_ROUNDABORT", false, true},
    {"REMOTE_PROC_TRANSACTIONS", false, true},
};

constexpr std::string_view kIsolationLevels[] = {"READ UNCOMMITTED", "READ COMMITTED",
                                                 "REPEATABLE READ", "SERIALIZABLE"};
constexpr std::string_view kDeadlockPriorities[] = {"LOW", "NORMAL"};

}  // namespace

bool Parser::ParseSet(Statement& out) {
  const Token& set_token = Next();
  SetStmt set;
  if (Peek().kind == TokenKind::kVariable) return ParseSetVariable(out);
  auto refuse = [&] { return NotSupported("SET " + set.option + " " + set.value, set_token); };
  for (const OnOffOption& option : kOnOffOptions) {
    if (!AcceptWord(option.name)) continue;
    set.option = std::string(option.name);
    if (AcceptWord("ON")) {
      set.value = "ON";
    } else if (AcceptWord("OFF")) {
      set.value = "OFF";
    } else {
      return Fail();
    }
    if (!(set.value == "ON" ? option.on : option.off)) return refuse();
    if (set.option == "QUOTED_IDENTIFIER" && !SetQuotedIdentifier(set.value == "ON")) return false;
    out.node = std::move(set);
    return true;
  }
  if (AcceptWord("TEXTSIZE") || AcceptWord("LOCK_TIMEOUT") || AcceptWord("ROWCOUNT")) {
    set.option = ToUpper(Previous().raw);
    int64_t value = 0;
    if (!ParseInteger(value)) return false;
    set.value = std::to_string(value);
    int64_t lowest = set.option == "LOCK_TIMEOUT" ? -1 : 0;
    if (value < lowest || value > 2147483647) return refuse();
    out.node = std::move(set);
    return true;
  }
  if (AcceptWord("DATEFORMAT") || AcceptWord("LANGUAGE") || AcceptWord("DATEFIRST")) {
    set.option = ToUpper(Previous().raw);
    const Token& value = Next();
    if (value.kind != TokenKind::kIdentifier && value.kind != TokenKind::kQuotedIdentifier &&
        value.kind != TokenKind::kInteger && value.kind != TokenKind::kString) {
      return Fail(value);
    }
    set.value = value.value;
    bool fixed = (set.option == "DATEFORMAT" && EqualNoCase(set.value, "mdy")) ||
                 (set.option == "LANGUAGE" && EqualNoCase(set.value, "us_english")) ||
                 (set.option == "DATEFIRST" && set.value == "7");
    if (!fixed) return refuse();
    out.node = std::move(set);
    return true;
  }
  if (PeekWord("TRANSACTION") && PeekWord("ISOLATION", 1) && PeekWord("LEVEL", 2)) {
    Next();
    Next();
    Next();
    set.option = "TRANSACTION ISOLATION LEVEL";
    if (Peek().kind != TokenKind::kIdentifier) return Fail();
    set.value = ToUpper(Next().raw);
    if (set.value == "READ" || set.value == "REPEATABLE") {
      if (Peek().kind != TokenKind::kIdentifier) return Fail();
      set.value += " " + ToUpper(Next().raw);
    }
    for (std::string_view level : kIsolationLevels) {
      if (set.value == level) {
        out.node = std::move(set);
        return true;
      }
    }
    return refuse();
  }
  if (AcceptWord("DEADLOCK_PRIORITY")) {
    set.option = "DEADLOCK_PRIORITY";
    if (Peek().kind != TokenKind::kIdentifier) return Fail();
    set.value = ToUpper(Next().raw);
    for (std::string_view priority : kDeadlockPriorities) {
      if (set.value == priority) {
        out.node = std::move(set);
        return true;
      }
    }
    return refuse();
  }
  if (Peek().kind == TokenKind::kIdentifier || Peek().kind == TokenKind::kQuotedIdentifier)
    return NotSupported("SET " + ToUpper(Peek().raw), set_token);
  return Fail();
}

bool Parser::ParsePrint(Statement& out) {
  Next();
  PrintStmt print;
  if (!ParseScalar(print.expr)) return false;
  out.node = std::move(print);
  return true;
}

bool Parser::ParseDbcc(Statement& out) {
  Next();
  DbccStmt dbcc;
  dbcc.command = ToUpper(Next().value);
  if (AcceptWord("WITH")) {
    // USEROPTIONS answers with a table either way.
    do {
      if (AcceptWord("NO_INFOMSGS")) {
        dbcc.no_infomsgs = true;
      } else if (!AcceptWord("TABLERESULTS")) {
        return Fail();
      }
    } while (AcceptOp(","));
  }
  out.node = std::move(dbcc);
  return true;
}

bool Parser::ParseUpdateStatistics(Statement& out) {
  Next();
  Next();
  UpdateStatisticsStmt update;
  if (!ParseObjectName(update.table)) return false;
  std::string index;
  if (AcceptOp("(")) {
    do {
      if (!ParseName(index)) return false;
    } while (AcceptOp(","));
    if (!ExpectOp(")")) return false;
  } else if (IsName(Peek()) && !PeekWord("WITH") && !IsReservedKeyword(Peek().raw)) {
    if (!ParseName(index)) return false;
  }
  if (AcceptWord("WITH")) {
    // The options are read so that the statement is whole; none is kept.
    do {
      if (AcceptWord("SAMPLE")) {
        int64_t size = 0;
        if (!ParseInteger(size)) return false;
        if (!AcceptWord("PERCENT") && !ExpectWord("ROWS")) return false;
      } else if (!AcceptWord("FULLSCAN") && !AcceptWord("RESAMPLE") && !AcceptWord("NORECOMPUTE") &&
                 !AcceptWord("ALL") && !AcceptWord("COLUMNS") && !AcceptWord("INDEX")) {
        return Fail();
      }
    } while (AcceptOp(","));
  }
  out.node = std::move(update);
  return true;
}

bool Parser::ParseIf(Statement& out, bool first_statement_rule) {
  Next();
  // An IF inside an IF nests like an operand, under the same depth guard.
  if (!Enter()) return false;
  IfStmt branch;
  auto parse_branch = [&](std::unique_ptr<Statement>& statement) {
    statement = std::make_unique<Statement>();
    statement->line = Peek().line;
    return ParseStatement(*statement, false, first_statement_rule);
  };
  bool parsed = ParseCondition(branch.condition) && parse_branch(branch.then_branch) &&
                (!AcceptWord("ELSE") || parse_branch(branch.else_branch));
  Leave();
  if (!parsed) return false;
  out.node = std::move(branch);
  return true;
}

}  // namespace server
