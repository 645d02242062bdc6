// The listener over real sockets: a hand-built client logs in, runs batches
// and reads rows, messages and errors the way a driver would.

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "server/tds/prelogin.h"
#include "server/tds/rpc.h"
#include "server/tds/sql_batch.h"
#include "tests/server/tds_test_client.h"

namespace server::tds::testing {
namespace {

using TdsListener = ListenerFixture;

// A login refused with exactly this one message, after which the server
// closes the connection.
void ExpectRefusedLogin(TestClient& client, const std::vector<Token>& reply, int number,
                        int severity, const std::string& text) {
  EXPECT_FALSE(LoggedIn(reply));
  std::vector<ServerMessage> errors = Only<ServerMessage>(reply);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].number, number);
  EXPECT_EQ(errors[0].severity, severity);
  EXPECT_EQ(errors[0].text, text);
  EXPECT_TRUE(client.WaitForClose());
}

TEST_F(TdsListener, LoginReplyAcknowledgesTds71InMaster) {
  TestClient client(port_);
  std::vector<Token> reply = client.Login("secret");
  std::vector<LoginAck> acks = Only<LoginAck>(reply);
  ASSERT_EQ(acks.size(), 1u);
  EXPECT_EQ(acks[0], (LoginAck{1, 0x71000001, "Microsoft SQL Server", 8, 0, 2039}));
  std::vector<EnvChange> changes = Only<EnvChange>(reply);
  ASSERT_EQ(changes.size(), 4u);
  EXPECT_EQ(changes[0], (EnvChange{kEnvDatabase, "master", "master", {}}));
  EXPECT_EQ(changes[1].new_bytes, std::vector<uint8_t>(kCollationCaseInsensitive.begin(),
                                                       kCollationCaseInsensitive.end()));
  EXPECT_EQ(changes[2], (EnvChange{kEnvLanguage, "us_english", "", {}}));
  EXPECT_EQ(changes[3], (EnvChange{kEnvPacketSize, "4096", "4096", {}}));
  std::vector<ServerMessage> infos = Only<ServerMessage>(reply);
  ASSERT_EQ(infos.size(), 2u);
  EXPECT_EQ(infos[0].number, 5701);
  EXPECT_EQ(infos[0].text, "Changed database context to 'master'.");
  EXPECT_FALSE(infos[0].error);
  EXPECT_EQ(infos[1].number, 5703);
  EXPECT_EQ(infos[1].text, "Changed language setting to us_english.");
  EXPECT_EQ(std::get<Done>(reply.back()), Done{});
}

TEST_F(TdsListener, RunsQueriesAndReportsErrors) {
  TestClient client(port_);
  ASSERT_TRUE(LoggedIn(client.Login("secret")));
  std::vector<Token> rows = client.Batch("SELECT name FROM sysdatabases ORDER BY name");
  ASSERT_FALSE(rows.empty());
  std::vector<ColMetadata> metadata = Only<ColMetadata>(rows);
  ASSERT_EQ(metadata.size(), 1u);
  EXPECT_EQ(metadata[0].columns.at(0).name, "name");
  EXPECT_EQ(metadata[0].columns.at(0).type, kNVarChar);
  EXPECT_EQ(RowsText(rows), "master\nmodel\nmsdb\ntempdb\n");
  EXPECT_EQ(std::get<Done>(rows.back()), (Done{kTokenDone, kDoneCount, 0xC1, 4}));

  std::vector<Token> failed = client.Batch("SELECT name FROM nosuchtable");
  std::vector<ServerMessage> errors = Only<ServerMessage>(failed);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_TRUE(errors[0].error);
  EXPECT_EQ(errors[0].number, 208);
  EXPECT_EQ(errors[0].severity, 16);
  EXPECT_EQ(errors[0].text, "Invalid object name 'nosuchtable'.");
  EXPECT_EQ(errors[0].server, "TAVORA");
  EXPECT_EQ(std::get<Done>(failed.back()).status & kDoneError, kDoneError);

  // The session goes on after an error.
  EXPECT_EQ(RowsText(client.Batch("SELECT 1 + 1")), "2\n");
}

TEST_F(TdsListener, WrongPasswordGetsLoginFailedAndTheConnectionCloses) {
  TestClient client(port_);
  std::vector<Token> reply = client.Login("wrong");
  EXPECT_EQ(std::get<Done>(reply.back()).status, kDoneError);
  ExpectRefusedLogin(client, reply, 18456, 14, "Login failed for user 'sa'.");
}

TEST_F(TdsListener, UseChangesDatabaseWithEnvChangeAndMessage) {
  TestClient client(port_);
  ASSERT_TRUE(LoggedIn(client.Login("secret")));
  std::vector<Token> reply = client.Batch("USE model");
  EXPECT_EQ(Only<EnvChange>(reply),
            (std::vector<EnvChange>{{kEnvDatabase, "model", "master", {}}}));
  std::vector<ServerMessage> infos = Only<ServerMessage>(reply);
  ASSERT_EQ(infos.size(), 1u);
  EXPECT_EQ(infos[0].text, "Changed database context to 'model'.");
  EXPECT_EQ(RowsText(client.Batch("SELECT DB_NAME()")), "model\n");
  EXPECT_TRUE(Only<EnvChange>(client.Batch("SELECT 1")).empty()) << "no change, no ENVCHANGE";
}

TEST_F(TdsListener, LoginStartsInTheRequestedDatabaseOrFails) {
  TestClient in_model(port_);
  std::vector<Token> reply = in_model.Login("secret", "model");
  ASSERT_TRUE(LoggedIn(reply));
  EXPECT_EQ(Only<EnvChange>(reply).front().new_value, "model");

  // The name is a name even when it tries to end its quotes.
  for (const std::string name : {"nosuchdb", "master]; CREATE DATABASE x; --"}) {
    SCOPED_TRACE(name);
    TestClient missing(port_);
    ExpectRefusedLogin(missing, missing.Login("secret", name), 4060, 11,
                       "Cannot open database requested in login '" + name + "'. Login fails.");
  }
  EXPECT_EQ(Direct("SELECT name FROM sysdatabases WHERE name = 'x'"), "");
}

TEST_F(TdsListener, IntegratedSecurityIsRefusedOverTheNetwork) {
  TestClient client(port_);
  Login7 login = SaLogin("");
  login.option_flags2 |= kIntegratedSecurity;
  ExpectRefusedLogin(client, client.Login(login), 18452, 14,
                     "Login failed for user '(null)'. Reason: Not associated with a trusted "
                     "SQL Server connection.");
}

// What a client says of itself at login is what HOST_NAME, APP_NAME, sp_who
// and sysprocesses show, and sysprocesses names whose lock holds a batch up.
TEST_F(TdsListener, SessionsShowTheClientsNamesAndWhoBlocksThem) {
  TestClient holder(port_);
  TestClient waiter(port_);
  TestClient watcher(port_);
  Login7 login = SaLogin("secret");
  login.host_name = "WORKSTATION7";
  login.app_name = "Query Tool";
  ASSERT_TRUE(LoggedIn(holder.Login(login)));
  ASSERT_TRUE(LoggedIn(waiter.Login("secret")));
  ASSERT_TRUE(LoggedIn(watcher.Login("secret")));
  EXPECT_EQ(RowsText(holder.Batch("SELECT HOST_NAME(), APP_NAME()")), "WORKSTATION7|Query Tool\n");
  std::string holder_spid = RowsText(holder.Batch("SELECT @@SPID"));
  std::string waiter_spid = RowsText(waiter.Batch("SELECT @@SPID"));
  holder_spid.pop_back();
  waiter_spid.pop_back();
  // sp_who's row of a session: its hostname and blk, blanks trimmed.
  auto who = [&](const std::string& spid) {
    for (const Row& row : Only<Row>(watcher.Batch("EXEC sp_who"))) {
      if (row.values.size() != 8 || std::get<int64_t>(row.values[0]) != std::stoi(spid)) continue;
      std::string host = std::get<std::string>(row.values[4]);
      std::string blk = std::get<std::string>(row.values[5]);
      host.erase(host.find_last_not_of(' ') + 1);
      blk.erase(blk.find_last_not_of(' ') + 1);
      return host + "|" + blk;
    }
    return std::string("no row");
  };
  EXPECT_EQ(who(holder_spid), "WORKSTATION7|0");

  holder.Batch("CREATE TABLE held (a INT)");
  holder.Batch("BEGIN TRAN INSERT INTO held VALUES (1)");
  ASSERT_TRUE(waiter.Send(PacketType::kSqlBatch, EncodeSqlBatch("SELECT a FROM held", false)));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const std::string query =
      "SELECT spid, blocked, open_tran, RTRIM(hostname), RTRIM(program_name), "
      "RTRIM(net_library) FROM master..sysprocesses WHERE spid IN (" +
      holder_spid + ", " + waiter_spid + ") ORDER BY spid";
  EXPECT_EQ(RowsText(watcher.Batch(query)), holder_spid + "|0|1|WORKSTATION7|Query Tool|TCP/IP\n" +
                                                waiter_spid + "|" + holder_spid +
                                                "|0|testhost|tds_test|TCP/IP\n");
  EXPECT_EQ(who(waiter_spid), "testhost|" + holder_spid);

  holder.Batch("COMMIT");
  std::optional<Message> read = waiter.Receive();
  ASSERT_TRUE(read);
  EXPECT_EQ(RowsText(DecodeTokens(read->payload, Layout::kTds71)), "1\n");
  EXPECT_EQ(RowsText(watcher.Batch(query)), holder_spid + "|0|0|WORKSTATION7|Query Tool|TCP/IP\n" +
                                                waiter_spid + "|0|0|testhost|tds_test|TCP/IP\n");
  EXPECT_EQ(who(waiter_spid), "testhost|0");
}

TEST_F(TdsListener, TheServerAnswersToTheNameAndPortItWasReachedBy) {
  // Drivers strip the port from "host,port" before LOGIN7, or overwrite the
  // comma with a NUL; replication statements name the server with its port.
  std::string port = std::to_string(port_);
  const std::string sent_names[] = {"127.0.0.1", std::string("127.0.0.1") + '\0' + port,
                                    "127.0.0.1," + port};
  for (const std::string& sent : sent_names) {
    SCOPED_TRACE(sent.size());
    TestClient client(port_);
    Login7 login = SaLogin("secret");
    login.server_name = sent;
    ASSERT_TRUE(LoggedIn(client.Login(login)));
    std::vector<Token> added =
        client.Batch("EXEC sp_adddistributor @distributor = N'127.0.0.1," + port + "'");
    EXPECT_TRUE(Only<ServerMessage>(added).empty() || !Only<ServerMessage>(added).front().error);
    EXPECT_EQ(Direct("EXEC sp_dropdistributor"), "");
  }
}

TEST_F(TdsListener, OneBatchMayHoldSeveralStatements) {
  TestClient client(port_);
  ASSERT_TRUE(LoggedIn(client.Login("secret")));
  std::vector<Token> reply = client.Batch(
      "CREATE DATABASE tds_multi\r\nSELECT 1\r\nSELECT name FROM sysdatabases WHERE name = 'none'");
  EXPECT_EQ(RowsText(reply), "1\n");
  std::vector<Done> dones = Only<Done>(reply);
  ASSERT_EQ(dones.size(), 3u);
  EXPECT_EQ(dones[0].status, kDoneMore);
  EXPECT_EQ(dones[1].status, kDoneMore | kDoneCount);
  // No rows is still a count: clients print "(0 rows affected)" from it.
  EXPECT_EQ(dones[2], (Done{kTokenDone, kDoneCount, 0xC1, 0}));
  EXPECT_EQ(Direct("SELECT name FROM sysdatabases WHERE name = 'tds_multi'"), "tds_multi\n");
}

TEST_F(TdsListener, AttentionIsAcknowledgedDuringOrAfterABatch) {
  TestClient client(port_);
  ASSERT_TRUE(LoggedIn(client.Login("secret")));
  // After the batch's reply: the acknowledgement alone.
  client.Batch("SELECT 1");
  ASSERT_TRUE(client.Send(PacketType::kAttention, {}));
  std::optional<Message> ack = client.Receive();
  ASSERT_TRUE(ack);
  EXPECT_EQ(DecodeTokens(ack->payload, Layout::kTds71),
            (std::vector<Token>{Done{kTokenDone, kDoneAttention, 0, 0}}));

  // Sent right behind a batch: the client reads until the acknowledgement,
  // which comes within two replies whichever the server saw first.
  ASSERT_TRUE(client.Send(PacketType::kSqlBatch, EncodeSqlBatch("SELECT 2", false)));
  ASSERT_TRUE(client.Send(PacketType::kAttention, {}));
  bool acknowledged = false;
  for (int i = 0; i < 2 && !acknowledged; ++i) {
    std::optional<Message> reply = client.Receive();
    ASSERT_TRUE(reply);
    for (const Done& done : Only<Done>(DecodeTokens(reply->payload, Layout::kTds71))) {
      acknowledged = acknowledged || (done.status & kDoneAttention) != 0;
    }
  }
  EXPECT_TRUE(acknowledged);
  EXPECT_EQ(RowsText(client.Batch("SELECT 3")), "3\n");
}

TEST_F(TdsListener, ServesSeveralClientsAtOnce) {
  TestClient first(port_);
  TestClient second(port_);
  ASSERT_TRUE(LoggedIn(first.Login("secret")));
  ASSERT_TRUE(LoggedIn(second.Login("secret", "model")));
  EXPECT_EQ(RowsText(first.Batch("SELECT DB_NAME()")), "master\n");
  EXPECT_EQ(RowsText(second.Batch("SELECT DB_NAME()")), "model\n");
  EXPECT_EQ(listener_->open_connections(), 2);
}

TEST_F(TdsListener, AnOpenTransactionMakesOtherClientsWait) {
  TestClient holder(port_);
  TestClient waiter(port_);
  ASSERT_TRUE(LoggedIn(holder.Login("secret")));
  ASSERT_TRUE(LoggedIn(waiter.Login("secret")));
  holder.Batch("CREATE TABLE waited (a INT)");
  holder.Batch("BEGIN TRAN INSERT INTO waited VALUES (1)");
  // Setting up a session needs no table, so it goes on meanwhile.
  EXPECT_EQ(RowsText(waiter.Batch("SET LOCK_TIMEOUT 100 SELECT @@LOCK_TIMEOUT")), "100\n");
  std::vector<ServerMessage> errors = Only<ServerMessage>(waiter.Batch("SELECT a FROM waited"));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].number, 1222);

  // A cancel ends the wait without running the batch.
  ASSERT_TRUE(waiter.Batch("SET LOCK_TIMEOUT -1").size() > 0);
  ASSERT_TRUE(waiter.Send(PacketType::kSqlBatch, EncodeSqlBatch("DELETE FROM waited", false)));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_TRUE(waiter.Send(PacketType::kAttention, {}));
  std::optional<Message> ack = waiter.Receive();
  ASSERT_TRUE(ack);
  EXPECT_EQ(DecodeTokens(ack->payload, Layout::kTds71),
            (std::vector<Token>{Done{kTokenDone, kDoneAttention, 0, 0}}));

  // Without a timeout the batch runs as soon as the transaction ends, and
  // sees what it committed.
  ASSERT_TRUE(
      waiter.Send(PacketType::kSqlBatch, EncodeSqlBatch("SELECT COUNT(*) FROM waited", false)));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  holder.Batch("INSERT INTO waited VALUES (2) COMMIT");
  std::optional<Message> counted = waiter.Receive();
  ASSERT_TRUE(counted);
  EXPECT_EQ(RowsText(DecodeTokens(counted->payload, Layout::kTds71)), "2\n");

  // A client that leaves with a transaction open frees the others.
  {
    TestClient leaver(port_);
    ASSERT_TRUE(LoggedIn(leaver.Login("secret")));
    leaver.Batch("BEGIN TRAN DELETE FROM waited");
  }
  EXPECT_EQ(RowsText(waiter.Batch("SELECT COUNT(*) FROM waited")), "2\n");

  // So does one that leaves while it waits, with locks of its own.
  holder.Batch("CREATE TABLE other (n INT) BEGIN TRAN INSERT INTO waited VALUES (3)");
  {
    TestClient leaver(port_);
    ASSERT_TRUE(LoggedIn(leaver.Login("secret")));
    leaver.Batch("BEGIN TRAN SELECT n FROM other WITH (HOLDLOCK)");
    ASSERT_TRUE(leaver.Send(PacketType::kSqlBatch, EncodeSqlBatch("SELECT a FROM waited", false)));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(Only<ServerMessage>(holder.Batch("INSERT INTO other VALUES (1) COMMIT")).empty());
}

// Two clients that each hold a table the other's next statement needs: the
// one that would wait in a circle gets 1205 and loses its transaction, and
// the other goes on. DEADLOCK_PRIORITY LOW picks the victim instead.
TEST_F(TdsListener, ADeadlockEndsOneTransactionAndTheOtherGoesOn) {
  TestClient setup(port_);
  ASSERT_TRUE(LoggedIn(setup.Login("secret")));
  setup.Batch(
      "CREATE TABLE d1 (n INT) CREATE TABLE d2 (n INT) INSERT INTO d1 VALUES (1) "
      "INSERT INTO d2 VALUES (1)");
  for (bool first_is_low : {false, true}) {
    SCOPED_TRACE(first_is_low ? "the first is LOW" : "both NORMAL");
    TestClient first(port_);
    TestClient second(port_);
    ASSERT_TRUE(LoggedIn(first.Login("secret")));
    ASSERT_TRUE(LoggedIn(second.Login("secret")));
    if (first_is_low) first.Batch("SET DEADLOCK_PRIORITY LOW");
    first.Batch("BEGIN TRAN SELECT n FROM d1 WITH (HOLDLOCK)");
    second.Batch("BEGIN TRAN SELECT n FROM d2 WITH (HOLDLOCK)");
    // The first changes d2, which the second holds: it waits.
    ASSERT_TRUE(first.Send(PacketType::kSqlBatch,
                           EncodeSqlBatch("UPDATE d2 SET n = 2 SELECT @@TRANCOUNT", false)));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    // The second changes d1, which the first holds: a circle.
    ASSERT_TRUE(second.Send(PacketType::kSqlBatch,
                            EncodeSqlBatch("UPDATE d1 SET n = 2 SELECT @@TRANCOUNT", false)));
    std::optional<Message> first_reply = first.Receive();
    std::optional<Message> second_reply = second.Receive();
    ASSERT_TRUE(first_reply && second_reply);
    std::vector<Token> victim =
        DecodeTokens((first_is_low ? first_reply : second_reply)->payload, Layout::kTds71);
    std::vector<Token> survivor =
        DecodeTokens((first_is_low ? second_reply : first_reply)->payload, Layout::kTds71);
    std::vector<ServerMessage> errors = Only<ServerMessage>(victim);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].number, 1205);
    EXPECT_EQ(errors[0].severity, 13);
    EXPECT_NE(errors[0].text.find("was deadlocked on lock resources with another process and "
                                  "has been chosen as the deadlock victim"),
              std::string::npos);
    // The victim's batch ended there, its transaction rolled back.
    EXPECT_EQ(RowsText(victim), "");
    EXPECT_TRUE(Only<ServerMessage>(survivor).empty());
    EXPECT_EQ(RowsText(survivor), "1\n");
    TestClient& survivor_client = first_is_low ? second : first;
    TestClient& victim_client = first_is_low ? first : second;
    EXPECT_EQ(RowsText(victim_client.Batch("SELECT @@TRANCOUNT")), "0\n");
    survivor_client.Batch("COMMIT");
    EXPECT_EQ(RowsText(setup.Batch("SELECT n FROM d1 SELECT n FROM d2")),
              first_is_low ? "2\n1\n" : "1\n2\n");
    setup.Batch("UPDATE d1 SET n = 1 UPDATE d2 SET n = 1");
  }
}

// A batch that loops for ever lets the others run, and stops on a cancel.
TEST_F(TdsListener, AnEndlessLoopLetsOthersRunAndStopsOnACancel) {
  TestClient looper(port_);
  TestClient other(port_);
  ASSERT_TRUE(LoggedIn(looper.Login("secret")));
  ASSERT_TRUE(LoggedIn(other.Login("secret")));
  ASSERT_TRUE(
      looper.Send(PacketType::kSqlBatch,
                  EncodeSqlBatch("DECLARE @i INT SET @i = 0 WHILE 1 = 1 SET @i = @i + 1", false)));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(RowsText(other.Batch("SELECT 7")), "7\n");
  ASSERT_TRUE(looper.Send(PacketType::kAttention, {}));
  std::optional<Message> ack = looper.Receive();
  ASSERT_TRUE(ack);
  EXPECT_EQ(DecodeTokens(ack->payload, Layout::kTds71),
            (std::vector<Token>{Done{kTokenDone, kDoneAttention, 0, 0}}));
  EXPECT_EQ(RowsText(looper.Batch("SELECT 8")), "8\n");
}

TEST_F(TdsListener, BigRepliesSpanSeveralPackets) {
  TestClient client(port_);
  ASSERT_TRUE(LoggedIn(client.Login("secret")));
  std::string long_text(3000, 'x');
  std::string sql = "USE tempdb\r\nCREATE TABLE big (t varchar(3000))";
  for (int i = 0; i < 4; ++i) sql += "\r\nINSERT INTO big VALUES ('" + long_text + "')";
  std::vector<Token> created = client.Batch(sql);
  ASSERT_TRUE(Only<ServerMessage>(created).size() == 1u) << "only the USE message";
  std::vector<Token> reply = client.Batch("SELECT t FROM big");
  std::vector<Row> rows = Only<Row>(reply);
  ASSERT_EQ(rows.size(), 4u);
  for (const Row& row : rows) EXPECT_EQ(row.values, std::vector<Value>{long_text});
}

std::vector<Token> Call(TestClient& client, const RpcRequest& call) {
  if (!client.Send(PacketType::kRpc, EncodeRpc(call, false))) return {};
  std::optional<Message> reply = client.Receive();
  return reply ? DecodeTokens(reply->payload, Layout::kTds71) : std::vector<Token>{};
}

RpcParameter Param(const char* sql_type, Value value, uint8_t status = 0) {
  return RpcParameter{"", status, ColumnFor("", sql_type, kCollationCaseInsensitive), value};
}

TEST_F(TdsListener, PreparedStatementsRunThroughProcedureCalls) {
  TestClient client(port_);
  ASSERT_TRUE(LoggedIn(client.Login("secret")));
  RpcRequest prepexec{
      kSpPrepExec,
      "",
      0,
      {Param("int", {}, kParamOutput), Param("ntext", {}),
       Param("ntext", std::string("SELECT name FROM sysdatabases WHERE dbid = 3"))}};
  std::vector<Token> reply = Call(client, prepexec);
  EXPECT_EQ(RowsText(reply), "model\n");
  std::vector<ReturnValue> outputs = Only<ReturnValue>(reply);
  ASSERT_EQ(outputs.size(), 1u);
  Value handle = outputs[0].value;
  ASSERT_TRUE(std::holds_alternative<int64_t>(handle));

  EXPECT_EQ(RowsText(Call(client, RpcRequest{kSpExecute, "", 0, {Param("int", handle)}})),
            "model\n");
  EXPECT_TRUE(
      Only<ServerMessage>(Call(client, RpcRequest{kSpUnprepare, "", 0, {Param("int", handle)}}))
          .empty());
  std::vector<Token> gone = Call(client, RpcRequest{kSpExecute, "", 0, {Param("int", handle)}});
  ASSERT_EQ(Only<ServerMessage>(gone).size(), 1u) << "an unprepared handle";

  RpcRequest direct{kSpExecuteSql, "", 0, {Param("nvarchar(100)", std::string("SELECT 5"))}};
  EXPECT_EQ(RowsText(Call(client, direct)), "5\n");
}

TEST_F(TdsListener, UnsupportedCallsGetAClearErrorAndTheSessionGoesOn) {
  TestClient client(port_);
  ASSERT_TRUE(LoggedIn(client.Login("secret")));
  std::vector<ServerMessage> errors = Only<ServerMessage>(Call(client, RpcRequest{99, "", 0, {}}));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].number, 50000);
  // Bytes that are no procedure call at all.
  ASSERT_TRUE(client.Send(PacketType::kRpc, std::vector<uint8_t>{0xFF, 0xFF, 10}));
  std::optional<Message> reply = client.Receive();
  ASSERT_TRUE(reply);
  EXPECT_EQ(Only<ServerMessage>(DecodeTokens(reply->payload, Layout::kTds71)).size(), 1u);
  // Batch text that is not UTF-16 is refused, not guessed at.
  ASSERT_TRUE(client.Send(PacketType::kSqlBatch, std::vector<uint8_t>{'S', 0, 0x00, 0xD8}));
  reply = client.Receive();
  ASSERT_TRUE(reply);
  std::vector<ServerMessage> refused =
      Only<ServerMessage>(DecodeTokens(reply->payload, Layout::kTds71));
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_EQ(refused[0].text,
            "This batch (text is not UTF-16: an unpaired surrogate at unit 1) is not supported by "
            "this server.");
  // A transaction manager request (TM_BEGIN_XACT after its ALL_HEADERS, as
  // a 7.2 client sends it): transactions here are T-SQL's only.
  std::vector<uint8_t> begin = EncodeSqlBatch("", true);
  begin.insert(begin.end(), {0x05, 0x00, 0x00, 0x00});
  ASSERT_TRUE(client.Send(PacketType::kTransactionManager, begin));
  reply = client.Receive();
  ASSERT_TRUE(reply);
  refused = Only<ServerMessage>(DecodeTokens(reply->payload, Layout::kTds71));
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_EQ(refused[0].text, "A transaction manager request is not supported by this server.");
  EXPECT_EQ(RowsText(client.Batch("SELECT 4")), "4\n");
}

TEST_F(TdsListener, ProcedureNamesAreNamesNotStatements) {
  ASSERT_EQ(Direct("CREATE TABLE victim (a int)"), "");
  ASSERT_EQ(Direct("CREATE PROCEDURE [p q] AS SELECT 1"), "");
  ASSERT_EQ(Direct("CREATE PROCEDURE p AS SELECT 2"), "");
  TestClient client(port_);
  ASSERT_TRUE(LoggedIn(client.Login("secret")));
  struct Case {
    std::string name;
    std::string outcome;  // the rows, or the error's number and text
  };
  const Case cases[] = {
      {"p", "2\n"},
      {"dbo.p", "2\n"},
      {"master.dbo.[p]", "2\n"},
      {"master..\"p\"", "2\n"},
      {"[p q]", "1\n"},
      {"p DROP TABLE victim", "2812 Could not find stored procedure 'p DROP TABLE victim'."},
      {"p;DROP TABLE victim", "2812 Could not find stored procedure 'p;DROP TABLE victim'."},
      {"[p]]; DROP TABLE victim; --]",
       "2812 Could not find stored procedure 'p]; DROP TABLE victim; --'."},
      {"[p", "2812 Could not find stored procedure '[p'."},
      {"a.b.c.p", "2812 Could not find stored procedure 'a.b.c.p'."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Token> reply = Call(client, RpcRequest{0, c.name, 0, {}});
    std::string outcome = RowsText(reply);
    for (const ServerMessage& m : Only<ServerMessage>(reply)) {
      outcome += std::to_string(m.number) + " " + m.text;
    }
    EXPECT_EQ(outcome, c.outcome);
    EXPECT_EQ(std::get<Done>(reply.back()).token, kTokenDoneProc);
  }
  EXPECT_EQ(Direct("SELECT COUNT(*) FROM victim"), "0\n") << "the table survives";
}

TEST_F(TdsListener, ClientsThatDoNotLogInInTimeAreClosed) {
  StopAll();
  options_.login_timeout = 1;
  Start(std::string(DataFolder::kMemory));
  TestClient silent(port_);
  TestClient half(port_);
  std::vector<uint8_t> prelogin =
      Packetize(PacketType::kPreLogin, std::vector<uint8_t>(20), 0, 4096);
  half.SendRaw(std::span<const uint8_t>(prelogin).first(10));
  auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(silent.WaitForClose());
  EXPECT_TRUE(half.WaitForClose());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  // A client that logs in in time stays as long as it likes.
  TestClient client(port_);
  ASSERT_TRUE(LoggedIn(client.Login("secret")));
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // past the login timeout
  EXPECT_EQ(RowsText(client.Batch("SELECT 1")), "1\n");
}

TEST_F(TdsListener, StartTwiceBadAddressAndStopTwice) {
  EXPECT_THROW(listener_->Start(), std::runtime_error);
  ListenerOptions options;
  options.address = "not an address";
  Listener bad(*folder_, options);
  EXPECT_THROW(bad.Start(), std::runtime_error);
  options.address = "127.0.0.1";
  options.port = port_;
  Listener taken(*folder_, options);
  EXPECT_THROW(taken.Start(), std::runtime_error);
  listener_->Stop();
  EXPECT_EQ(listener_->port(), 0);
  listener_->Stop();
}

TEST_F(TdsListener, StopClosesConnectedClients) {
  TestClient client(port_);
  ASSERT_TRUE(LoggedIn(client.Login("secret")));
  listener_->Stop();
  EXPECT_TRUE(client.WaitForClose());
}

}  // namespace
}  // namespace server::tds::testing
