// Limits that keep any text a client sends from taking the server down:
// nesting of every recursive construct, and the shape of results.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "server/engine.h"
#include "tests/server/server_test_util.h"

namespace server::testing {
namespace {

constexpr char kNestedTooDeeply[] =
    "Msg 191, Level 15, State 1, Line 1\nSome part of your SQL statement is nested too deeply. "
    "Rewrite the query or break it up into smaller queries.";

std::string Repeat(std::string_view piece, size_t times) {
  std::string text;
  text.reserve(piece.size() * times);
  for (size_t i = 0; i < times; ++i) text += piece;
  return text;
}

// `open` and `close` wrapped `levels` times round `center`.
std::string Nest(std::string_view open, std::string_view center, std::string_view close,
                 size_t levels) {
  return Repeat(open, levels) + std::string(center) + Repeat(close, levels);
}

TEST(ServerLimits, EveryNestingConstructFailsWith191NotACrash) {
  constexpr size_t kLevels = 100000;
  std::vector<std::string> batches;
  struct Construct {
    const char* open;
    const char* center;
    const char* close;
  };
  for (const Construct& c : {
           Construct{"f(", "1", ")"},
           Construct{"ABS(", "1", ")"},
           Construct{"CAST(", "1", " AS INT)"},
           Construct{"CONVERT(INT, ", "1", ")"},
           Construct{"COALESCE(", "1", ", 2)"},
           Construct{"NULLIF(", "1", ", 2)"},
           Construct{"ISNULL(", "1", ", 2)"},
           Construct{"(", "1", ")"},
           Construct{"- ", "1", ""},  // "--" would start a comment
           Construct{"(SELECT ", "1", ")"},
           Construct{"", "1", " + 1"},
       }) {
    batches.push_back("SELECT " + Nest(c.open, c.center, c.close, kLevels));
  }
  // Every place an expression may stand, and conditions through NOT.
  std::string calls = Nest("ABS(", "1", ")", kLevels);
  for (const auto& [before, after] : {
           std::pair{"SELECT 1 WHERE 1 = ", ""},
           std::pair{"PRINT ", ""},
           std::pair{"INSERT INTO t VALUES (", ")"},
           std::pair{"CREATE TABLE t (a INT DEFAULT ", ")"},
           std::pair{"CREATE TABLE t (a INT CHECK (a = ", "))"},
       }) {
    batches.push_back(before + calls + after);
  }
  batches.push_back("SELECT 1 WHERE " + Nest("NOT ", "1 = 1", "", kLevels));
  batches.push_back("SELECT 1 WHERE " + Nest("(", "1 = 1", ")", kLevels));
  batches.push_back(Nest("IF 1 = 1 ", "PRINT 1", "", kLevels));
  // Megabytes of it.
  batches.push_back("SELECT " + Nest("(", "1", ")", 2000000));
  batches.push_back("SELECT " + Nest("ABS(", "1", ")", 500000));

  Engine engine(ServerOptions{});
  Client client(engine);
  for (const std::string& batch : batches) {
    SCOPED_TRACE(batch.substr(0, 48));
    EXPECT_EQ(Describe(client.Run(batch).error), kNestedTooDeeply);
  }
  // What stays within the limits still runs.
  EXPECT_EQ(ResultText(client.Query("SELECT " + Nest("ABS(", "-1", ")", 60) + " AS a")), "a\n1");
}

TEST(ServerLimits, DeepProcedureBodiesAreRefusedAtCreate) {
  Engine engine(ServerOptions{});
  Client client(engine);
  // The body is parsed as the procedure is created, so a depth the parser
  // does not take is refused then, wherever it shows.
  EXPECT_EQ(
      Describe(client.Run("CREATE PROCEDURE deep_calls AS SELECT " + Nest("ABS(", "1", ")", 25000))
                   .error),
      kNestedTooDeeply);
  EXPECT_EQ(Describe(client
                         .Run("CREATE PROCEDURE deep_nots AS SELECT 1 AS one WHERE " +
                              Nest("NOT ", "1 = 1", "", 25000))
                         .error),
            kNestedTooDeeply);
  EXPECT_EQ(Describe(client.Run("EXEC deep_nots").error),
            "Msg 2812, Level 16, State 1, Line 1\nCould not find stored procedure 'deep_nots'.");
  EXPECT_EQ(ResultText(client.Query("SELECT 1 AS alive")), "alive\n1");
}

TEST(ServerLimits, ResultsKeepToWhatTheProtocolCarries) {
  Engine engine(ServerOptions{});
  Client client(engine);
  std::string items = "SELECT 1";
  for (int i = 1; i < 4096; ++i) items += ",1";
  EXPECT_EQ(client.Run(items).results.at(0).columns.size(), 4096u);
  EXPECT_EQ(Describe(client.Run(items + ",1").error),
            "Msg 1056, Level 15, State 1, Line 1\nThe number of elements in the select list "
            "exceeds the maximum allowed number of 4096 elements.");

  // Constants too long for varchar, nvarchar and varbinary are text, ntext
  // and image; at the limit they keep their own type.
  struct Constant {
    std::string text;
    const char* type;
  };
  const Constant kConstants[] = {
      {"'" + std::string(8000, 'a') + "'", "varchar(8000)"},
      {"'" + std::string(8001, 'a') + "'", "text"},
      {"N'" + std::string(4000, 'a') + "'", "nvarchar(4000)"},
      {"N'" + std::string(4001, 'a') + "'", "ntext"},
      {"0x" + std::string(16000, 'A'), "varbinary(8000)"},
      {"0x" + std::string(16002, 'A'), "image"},
  };
  for (const Constant& c : kConstants) {
    SCOPED_TRACE(c.type);
    BatchOutcome outcome = client.Run("SELECT " + c.text + " AS v");
    ASSERT_EQ(Describe(outcome.error), "ok");
    EXPECT_EQ(outcome.results.at(0).types.at(0), c.type);
  }
  EXPECT_EQ(Describe(client.Run("SELECT 1 AS '" + std::string(129, 'x') + "'").error),
            "Msg 103, Level 15, State 1, Line 1\nThe identifier that starts with '" +
                std::string(128, 'x') + "' is too long. Maximum length is 128.");
}

}  // namespace
}  // namespace server::testing
