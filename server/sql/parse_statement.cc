// USE, CREATE (dispatch), DROP, CREATE/DROP DATABASE, GRANT, SET and PRINT.

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

bool Parser::ParseCreate(Statement& out, bool first_in_batch, bool first_statement_rule) {
  const Token& create = Peek();
  size_t create_pos = Position();
  Next();
  struct ModuleWord {
    std::string_view word;
    ModuleKind kind;
    const char* statement;  // the words error 111 names
  };
  static constexpr ModuleWord kModules[] = {
      {"VIEW", ModuleKind::kView, "CREATE VIEW"},
      {"PROCEDURE", ModuleKind::kProcedure, "CREATE PROCEDURE"},
      {"PROC", ModuleKind::kProcedure, "CREATE PROCEDURE"},
      {"FUNCTION", ModuleKind::kFunction, "CREATE FUNCTION"},
      {"TRIGGER", ModuleKind::kTrigger, "CREATE TRIGGER"},
      {"DEFAULT", ModuleKind::kDefault, "CREATE DEFAULT"},
      {"RULE", ModuleKind::kRule, "CREATE RULE"},
  };
  for (const ModuleWord& module : kModules) {
    if (!PeekWord(module.word)) continue;
    if (first_statement_rule && !first_in_batch) {
      SqlError error = Raise(Msg::kMustBeFirstInBatch, {module.statement});
      error.line = create.line;
      return FailWith(std::move(error));
    }
    Next();
    return ParseModule(out, module.kind, create_pos);
  }
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

bool Parser::ParseSet(Statement& out) {
  const Token& set_token = Next();
  SetStmt set;
  if (Peek().kind == TokenKind::kVariable) return NotSupported("Variables", Peek());
  // Session options a client sends at connect; the server accepts them and
  // keeps its fixed behaviour.
  static constexpr std::string_view kOnOff[] = {"NOCOUNT",
                                                "QUOTED_IDENTIFIER",
                                                "ANSI_NULLS",
                                                "ANSI_PADDING",
                                                "ANSI_WARNINGS",
                                                "ANSI_NULL_DFLT_ON",
                                                "ANSI_NULL_DFLT_OFF",
                                                "ANSI_DEFAULTS",
                                                "CONCAT_NULL_YIELDS_NULL",
                                                "ARITHABORT",
                                                "ARITHIGNORE",
                                                "IMPLICIT_TRANSACTIONS",
                                                "XACT_ABORT",
                                                "NUMERIC_ROUNDABORT",
                                                "CURSOR_CLOSE_ON_COMMIT",
                                                "FMTONLY",
                                                "NOEXEC",
                                                "PARSEONLY",
                                                "REMOTE_PROC_TRANSACTIONS"};
  for (std::string_view option : kOnOff) {
    if (!PeekWord(option)) continue;
    Next();
    set.option = std::string(option);
    if (AcceptWord("ON")) {
      set.value = "ON";
    } else if (AcceptWord("OFF")) {
      set.value = "OFF";
    } else {
      return Fail();
    }
    out.node = std::move(set);
    return true;
  }
  if (AcceptWord("TEXTSIZE") || AcceptWord("LOCK_TIMEOUT") || AcceptWord("ROWCOUNT")) {
    set.option = ToUpper(Previous().raw);
    int64_t value = 0;
    if (!ParseInteger(value)) return false;
    set.value = std::to_string(value);
    if (set.option == "ROWCOUNT" && value != 0) return NotSupported("SET ROWCOUNT", set_token);
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
    if (!fixed) return NotSupported("SET " + set.option + " " + set.value, set_token);
    out.node = std::move(set);
    return true;
  }
  if (IsName(Peek())) return NotSupported("SET " + ToUpper(Peek().raw), set_token);
  return Fail();
}

bool Parser::ParsePrint(Statement& out) {
  Next();
  PrintStmt print;
  if (!ParseScalar(print.expr)) return false;
  out.node = std::move(print);
  return true;
}

}  // namespace server
