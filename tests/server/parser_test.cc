// The T-SQL front end: tokens, statement shapes, and what a person may type
// into `tavora sql`.

#include "server/sql/parser.h"

#include <gtest/gtest.h>

#include "server/sql/tokenizer.h"
#include "tests/server/server_test_util.h"

namespace server {
namespace {

using testing::Describe;

std::vector<Token> Tokens(std::string_view text) {
  std::vector<Token> tokens;
  Status error = Tokenize(text, tokens);
  EXPECT_FALSE(error) << Describe(error);
  return tokens;
}

Batch Parse(std::string_view text) {
  auto parsed = ParseBatch(text);
  if (auto* error = std::get_if<SqlError>(&parsed)) {
    ADD_FAILURE() << Describe(*error) << "\n" << text;
    return {};
  }
  return std::move(std::get<Batch>(parsed));
}

std::string ParseError(std::string_view text) {
  auto parsed = ParseBatch(text);
  if (auto* error = std::get_if<SqlError>(&parsed)) return Describe(*error);
  return "parsed";
}

TEST(ServerTokenizer, ReadsEveryKindOfToken) {
  std::vector<Token> tokens =
      Tokens("N'x' 'it''s' [a]]b] \"q\" 0x1F $12.5 1e3 31.99 17 @v @@SPID <> >= ;");
  struct Expected {
    TokenKind kind;
    const char* value;
  };
  const Expected kExpected[] = {
      {TokenKind::kNString, "x"},
      {TokenKind::kString, "it's"},
      {TokenKind::kQuotedIdentifier, "a]b"},
      {TokenKind::kQuotedIdentifier, "q"},
      {TokenKind::kBinary, "0x1F"},
      {TokenKind::kMoney, "$12.5"},
      {TokenKind::kFloat, "1e3"},
      {TokenKind::kDecimal, "31.99"},
      {TokenKind::kInteger, "17"},
      {TokenKind::kVariable, "@v"},
      {TokenKind::kSystemVariable, "@@SPID"},
      {TokenKind::kOperator, "<>"},
      {TokenKind::kOperator, ">="},
      {TokenKind::kOperator, ";"},
  };
  ASSERT_EQ(tokens.size(), std::size(kExpected) + 1);
  for (size_t i = 0; i < std::size(kExpected); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(tokens[i].kind, kExpected[i].kind);
    EXPECT_EQ(tokens[i].value, kExpected[i].value);
  }
  EXPECT_EQ(tokens.back().kind, TokenKind::kEnd);
}

TEST(ServerTokenizer, SkipsCommentsAndCountsLines) {
  std::vector<Token> tokens =
      Tokens("-- first\r\n/* a /* nested */ comment\r\n */ SELECT\r\n\r\nx");
  ASSERT_EQ(tokens.size(), 3u);
  EXPECT_EQ(tokens[0].raw, "SELECT");
  EXPECT_EQ(tokens[0].line, 3);
  EXPECT_EQ(tokens[1].raw, "x");
  EXPECT_EQ(tokens[1].line, 5);
}

// Other tokenizer errors are in scripts/errors_language.test.
TEST(ServerTokenizer, RefusesAnOverlongIdentifier) {
  const std::string long_name(129, 'a');
  std::vector<Token> tokens;
  EXPECT_EQ(Describe(Tokenize("SELECT " + long_name, tokens)),
            "Msg 103, Level 15, State 1, Line 1\nThe identifier that starts with '" +
                long_name.substr(0, 128) + "' is too long. Maximum length is 128.");
}

TEST(ServerParser, StatementsNeedNoSeparator) {
  Batch batch =
      Parse("USE db\r\nCREATE TABLE t (a INT)\r\nINSERT INTO t VALUES (1) SELECT a FROM t; EXEC p");
  ASSERT_EQ(batch.statements.size(), 5u);
  EXPECT_TRUE(std::holds_alternative<UseStmt>(batch.statements[0].node));
  EXPECT_TRUE(std::holds_alternative<CreateTableStmt>(batch.statements[1].node));
  EXPECT_TRUE(std::holds_alternative<InsertStmt>(batch.statements[2].node));
  EXPECT_TRUE(std::holds_alternative<SelectStmt>(batch.statements[3].node));
  EXPECT_TRUE(std::holds_alternative<ExecStmt>(batch.statements[4].node));
  EXPECT_EQ(batch.statements[2].line, 3);
}

TEST(ServerParser, ExecTakesPositionalNamedAndBareWordArguments) {
  Batch batch = Parse(
      "EXEC sp_addtype udtGeneric, 'VARCHAR(32)', 'NOT NULL'\r\n"
      "exec sp_adddistributor  @distributor='SRV', @password=P\r\n"
      "EXEC master..xp_cmd -1, DEFAULT, NULL, @out = @x OUTPUT");
  ASSERT_EQ(batch.statements.size(), 3u);
  const ExecStmt& addtype = std::get<ExecStmt>(batch.statements[0].node);
  EXPECT_EQ(addtype.procedure.name, "sp_addtype");
  ASSERT_EQ(addtype.args.size(), 3u);
  EXPECT_EQ(addtype.args[0].name, "");
  EXPECT_EQ(std::get<std::string>(addtype.args[0].value->literal.value), "udtGeneric");
  EXPECT_EQ(std::get<std::string>(addtype.args[2].value->literal.value), "NOT NULL");
  const ExecStmt& distributor = std::get<ExecStmt>(batch.statements[1].node);
  ASSERT_EQ(distributor.args.size(), 2u);
  EXPECT_EQ(distributor.args[1].name, "@password");
  EXPECT_EQ(std::get<std::string>(distributor.args[1].value->literal.value), "P");
  const ExecStmt& other = std::get<ExecStmt>(batch.statements[2].node);
  EXPECT_EQ(other.procedure.Text(), "master..xp_cmd");
  ASSERT_EQ(other.args.size(), 4u);
  EXPECT_EQ(other.args[0].value->kind, ExprKind::kNegate);
  EXPECT_TRUE(other.args[1].is_default);
  EXPECT_TRUE(other.args[2].value->literal.is_null());
  EXPECT_TRUE(other.args[3].output);
}

TEST(ServerParser, CreateTableKeepsEveryConstraint) {
  Batch batch = Parse(
      "CREATE TABLE tblParent (\r\n"
      "fldParentID INT CONSTRAINT PK_ParentID PRIMARY KEY NONCLUSTERED,\r\n"
      "fldParentName VARCHAR(32)\r\n"
      "  CONSTRAINT IX_ParentName UNIQUE NONCLUSTERED\r\n"
      "  CONSTRAINT CK_ParentName CHECK ([fldParentName] <> 'Tallock'),\r\n"
      "fldParentPhone VARCHAR(16),\r\n"
      "fldRef INT CONSTRAINT FK_x FOREIGN KEY REFERENCES other(id),\r\n"
      "fldComputed AS fldParentID * 2)");
  const CreateTableStmt& table = std::get<CreateTableStmt>(batch.statements[0].node);
  ASSERT_EQ(table.columns.size(), 5u);
  EXPECT_EQ(table.columns[1].type->args, std::vector<int>{32});
  EXPECT_EQ(table.columns[4].computed, "fldParentID * 2");
  ASSERT_EQ(table.constraints.size(), 4u);
  EXPECT_EQ(table.constraints[0].kind, ConstraintKind::kPrimaryKey);
  EXPECT_EQ(table.constraints[0].clustered, std::optional<bool>(false));
  EXPECT_EQ(table.constraints[1].name, "IX_ParentName");
  EXPECT_EQ(table.constraints[1].columns, std::vector<std::string>{"fldParentName"});
  EXPECT_EQ(table.constraints[2].text, "[fldParentName] <> 'Tallock'");
  EXPECT_EQ(table.constraints[3].kind, ConstraintKind::kForeignKey);
  EXPECT_EQ(table.constraints[3].ref_table.name, "other");
  EXPECT_EQ(table.constraints[3].ref_columns, std::vector<std::string>{"id"});
}

TEST(ServerParser, ModulesKeepTheirTextToTheEndOfTheBatch) {
  Batch batch = Parse("-- a leading comment\r\nCREATE PROCEDURE sp AS SELECT 1\r\nSELECT 2");
  const CreateModuleStmt& procedure = std::get<CreateModuleStmt>(batch.statements[0].node);
  EXPECT_EQ(procedure.text, "CREATE PROCEDURE sp AS SELECT 1\r\nSELECT 2");
  EXPECT_EQ(procedure.body, "SELECT 1\r\nSELECT 2");
  Batch function = Parse(
      "CREATE FUNCTION f(@x int)\r\nRETURNS int\r\nWITH SCHEMABINDING\r\nAS\r\nBEGIN\r\n"
      "  RETURN(SELECT MAX(a) FROM dbo.t)\r\nEND");
  const CreateModuleStmt& f = std::get<CreateModuleStmt>(function.statements[0].node);
  EXPECT_TRUE(f.schema_bound);
  ASSERT_EQ(f.parameters.size(), 1u);
  ASSERT_EQ(f.body_selects.size(), 1u);
  EXPECT_EQ(f.body_selects[0]->from[0].table.name.Text(), "dbo.t");
}

// A cursor keeps its query as text, on its own line of the batch, with the
// place where OPEN may add a row's key; FOR UPDATE ends the query and
// belongs to cursors alone, and a cursor may be named like a direction.
TEST(ServerParser, CursorKeepsItsQueryAndWhereAKeyCanGo) {
  Batch batch = Parse(
      "SELECT 1\r\nDECLARE c CURSOR FOR SELECT a, (b) FROM t ORDER BY a, b FOR UPDATE OF b\r\n"
      "DECLARE n CURSOR FOR SELECT 1 FOR READ ONLY FETCH next FETCH PRIOR FROM next");
  ASSERT_EQ(batch.statements.size(), 5u);
  const auto& c = std::get<DeclareCursorStmt>(batch.statements[1].node);
  EXPECT_EQ(c.select_text, "\nSELECT a, (b) FROM t ORDER BY a, b");
  ASSERT_NE(c.from_offset, std::string::npos);
  EXPECT_EQ(c.select_text.substr(c.from_offset), "FROM t ORDER BY a, b");
  EXPECT_TRUE(c.keyable);
  EXPECT_TRUE(c.for_update);
  EXPECT_EQ(c.update_columns, std::vector<std::string>{"b"});
  const auto& n = std::get<DeclareCursorStmt>(batch.statements[2].node);
  EXPECT_FALSE(n.keyable);
  EXPECT_TRUE(n.for_read_only);
  const auto& next = std::get<FetchStmt>(batch.statements[3].node);
  EXPECT_EQ(next.cursor.name, "next");
  EXPECT_EQ(next.kind, FetchKind::kNext);
  EXPECT_EQ(std::get<FetchStmt>(batch.statements[4].node).kind, FetchKind::kPrior);
  EXPECT_EQ(ParseError("SELECT a FROM t FOR UPDATE"),
            "Msg 156, Level 15, State 1, Line 1\nIncorrect syntax near the keyword 'FOR'.");
}

TEST(ServerParser, AcceptsWhatAPersonTypes) {
  for (const char* text : {
           "select name from sysdatabases",
           "SELECT * FROM master..sysdatabases WHERE name = 'master';",
           "SELECT TOP 5 name, id FROM sysobjects ORDER BY name DESC",
           "SELECT COUNT(*) AS n FROM [my table] t WHERE t.[the id] IN (1, 2, 3)",
           "SELECT name FROM syscolumns WHERE id = OBJECT_ID('tblGeneric') AND name LIKE 'fld%'",
           "sp_who",
           "EXEC sp_help 'x'",
           "SELECT CONVERT(varchar(10), GETDATE(), 120), CAST(1 AS bit), @@VERSION",
           "UPDATE t SET a = a + 1 WHERE b IS NULL",
           "DELETE t WHERE NOT a BETWEEN 1 AND 2",
           "DROP TABLE a, b",
           "DROP INDEX t.ix",
       }) {
    SCOPED_TRACE(text);
    EXPECT_EQ(ParseError(text), "parsed");
  }
}

}  // namespace
}  // namespace server
