// Bulk load over the listener: INSERT BULK, then the rows in a bulk load
// message, stored with the server's checks as the announcement asks.

#include <gtest/gtest.h>

#include "server/tds/bulk_load.h"
#include "tests/server/tds_test_client.h"

namespace server::tds::testing {
namespace {

using TdsBulkLoad = ListenerFixture;

std::vector<Token> Load(TestClient& client, const BulkLoadMessage& message) {
  if (!client.Send(PacketType::kBulkLoad, EncodeBulkLoad(message))) return {};
  std::optional<Message> reply = client.Receive();
  return reply ? DecodeTokens(reply->payload, Layout::kTds71) : std::vector<Token>{};
}

std::string Errors(const std::vector<Token>& reply) {
  std::string text;
  for (const ServerMessage& m : Only<ServerMessage>(reply)) {
    text += std::to_string(m.number) + " " + m.text + "\n";
  }
  return text;
}

BulkLoadMessage Rows(std::vector<std::vector<Value>> rows) {
  const Collation collation = kCollationCaseInsensitive;
  return {{ColumnFor("name", "varchar(10)", collation), ColumnFor("qty", "int", collation),
           ColumnFor("note", "text", collation)},
          std::move(rows)};
}

TEST_F(TdsBulkLoad, RowsGoInWithTheChecksTheAnnouncementAsksFor) {
  ASSERT_EQ(Direct("CREATE TABLE t (id INT IDENTITY(10, 5), name VARCHAR(10) NOT NULL, "
                   "qty INT NULL DEFAULT 7 CHECK (qty > 0), note TEXT NULL)"),
            "");
  TestClient client(port_);
  ASSERT_TRUE(LoggedIn(client.Login("secret")));
  // By default: no CHECK, NULL takes the default, identity is the server's.
  EXPECT_EQ(Errors(client.Batch("INSERT BULK t (name varchar(10) COLLATE "
                                "SQL_Latin1_General_CP1_CI_AS, qty int, note text)")),
            "");
  std::vector<Token> reply =
      Load(client, Rows({{std::string("a"), int64_t{-1}, std::string("long")},
                         {std::string("b"), Value{}, Value{}}}));
  EXPECT_EQ(Errors(reply), "");
  std::vector<Done> done = Only<Done>(reply);
  ASSERT_FALSE(done.empty());
  EXPECT_EQ(done.back().row_count, 2u);
  EXPECT_EQ(Direct("SELECT id, name, qty, note FROM t ORDER BY id"), "10|a|-1|long\n15|b|7|\n");

  // Asked for: CHECK holds, NULL stays NULL; a failing row undoes the load.
  client.Batch(
      "INSERT BULK t (name varchar(10), qty int, note text) "
      "WITH (CHECK_CONSTRAINTS, KEEP_NULLS)");
  reply =
      Load(client,
           Rows({{std::string("c"), Value{}, Value{}}, {std::string("d"), int64_t{0}, Value{}}}));
  EXPECT_NE(Errors(reply).find("547 "), std::string::npos) << Errors(reply);
  client.Batch("INSERT BULK t (name varchar(10), qty int, note text) WITH (KEEP_NULLS)");
  EXPECT_EQ(Errors(Load(client, Rows({{std::string("c"), Value{}, Value{}}}))), "");
  EXPECT_EQ(Direct("SELECT name FROM t WHERE qty IS NULL ORDER BY id"), "c\n");

  // NOT NULL is always checked.
  client.Batch("INSERT BULK t (name varchar(10), qty int, note text)");
  EXPECT_NE(Errors(Load(client, Rows({{Value{}, int64_t{1}, Value{}}}))).find("515 "),
            std::string::npos);
}

TEST_F(TdsBulkLoad, RowsWithoutAnnouncementOrReadableFormAreRefused) {
  ASSERT_EQ(Direct("CREATE TABLE t (name VARCHAR(10), qty INT, note TEXT)"), "");
  TestClient client(port_);
  ASSERT_TRUE(LoggedIn(client.Login("secret")));
  const std::string refused = "50000 The bulk load failed: ";
  EXPECT_EQ(Errors(Load(client, Rows({{std::string("a"), int64_t{1}, Value{}}}))),
            refused + "no INSERT BULK came just before the rows.\n");
  // Any other batch in between forgets the announcement.
  client.Batch("INSERT BULK t (name varchar(10), qty int, note text)");
  client.Batch("SELECT 1");
  EXPECT_EQ(Errors(Load(client, Rows({{std::string("a"), int64_t{1}, Value{}}}))),
            refused + "no INSERT BULK came just before the rows.\n");
  // Columns that do not match the announcement, and a stream cut short.
  client.Batch("INSERT BULK t (name varchar(10), qty int)");
  EXPECT_EQ(Errors(Load(client, Rows({{std::string("a"), int64_t{1}, Value{}}}))),
            refused + "the rows have 3 columns where INSERT BULK named 2.\n");
  client.Batch("INSERT BULK t (name varchar(10), qty int, note text)");
  std::vector<uint8_t> cut = EncodeBulkLoad(Rows({{std::string("a"), int64_t{1}, Value{}}}));
  cut.resize(cut.size() - 12);
  ASSERT_TRUE(client.Send(PacketType::kBulkLoad, cut));
  std::optional<Message> reply = client.Receive();
  ASSERT_TRUE(reply);
  EXPECT_NE(Errors(DecodeTokens(reply->payload, Layout::kTds71)).find(refused + "the rows sent"),
            std::string::npos);
  // The session goes on, and nothing was stored.
  EXPECT_EQ(Direct("SELECT COUNT(*) FROM t"), "0\n");
  EXPECT_EQ(Errors(client.Batch("INSERT BULK t (name varchar(10), nothing int)")),
            "207 Invalid column name 'nothing'.\n");
  EXPECT_EQ(Errors(client.Batch("INSERT BULK missing (a int)")),
            "208 Invalid object name 'missing'.\n");
}

}  // namespace
}  // namespace server::tds::testing
