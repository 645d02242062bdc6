// Procedure calls with typed parameters over the listener: values in every
// wire type a client may send, OUTPUT parameters and return status in the
// reply, prepared statements, and the errors of a call that does not fit.

#include <gtest/gtest.h>

#include "server/tds/rpc.h"
#include "tests/server/tds_test_client.h"

namespace server::tds::testing {
namespace {

using TdsProcedureCall = ListenerFixture;

std::vector<Token> Rpc(TestClient& client, const RpcRequest& call) {
  if (!client.Send(PacketType::kRpc, EncodeRpc(call, false))) return {};
  std::optional<Message> reply = client.Receive();
  return reply ? DecodeTokens(reply->payload, Layout::kTds71) : std::vector<Token>{};
}

RpcParameter Arg(const std::string& sql_type, Value value, const std::string& name = "",
                 uint8_t status = 0) {
  return RpcParameter{name, status, ColumnFor("", sql_type, kCollationCaseInsensitive), value};
}

// A parameter in one of the wire forms this server never sends itself.
RpcParameter WireArg(uint8_t type, uint32_t length, Value value) {
  Column column;
  column.type = type;
  column.max_length = length;
  return RpcParameter{"", 0, column, value};
}

RpcParameter NText(const std::string& text) { return Arg("ntext", text); }

// The errors of a reply as "number text", one per line.
std::string ErrorLines(const std::vector<Token>& reply) {
  std::string text;
  for (const ServerMessage& m : Only<ServerMessage>(reply)) {
    text += std::to_string(m.number) + " " + m.text + "\n";
  }
  return text;
}

TEST_F(TdsProcedureCall, ValuesOfEveryWireTypeReachTheStatementTyped) {
  TestClient client(port_);
  ASSERT_TRUE(LoggedIn(client.Login("secret")));
  using Bytes = std::vector<uint8_t>;
  struct Case {
    std::string declared;  // the statement's parameter
    RpcParameter value;
    Value expected;  // what SELECT @p sends back
  };
  const Case cases[] = {
      {"tinyint", Arg("tinyint", int64_t{255}), int64_t{255}},
      {"smallint", Arg("smallint", int64_t{-32768}), int64_t{-32768}},
      {"int", Arg("int", int64_t{-2147483647}), int64_t{-2147483647}},
      {"bigint", Arg("bigint", int64_t{9000000000000000000}), int64_t{9000000000000000000}},
      {"int", Arg("int", {}), {}},
      {"bit", Arg("bit", int64_t{1}), int64_t{1}},
      {"float", Arg("float", 0.1), 0.1},
      {"real", Arg("real", 1.5), 1.5},
      {"money", Arg("money", std::string("-922337203685477.5808")),
       std::string("-922337203685477.5808")},
      {"smallmoney", Arg("smallmoney", std::string("12.3400")), std::string("12.3400")},
      {"decimal(20,4)", Arg("decimal(20,4)", std::string("-1234567890123456.7890")),
       std::string("-1234567890123456.7890")},
      {"numeric(5,2)", Arg("numeric(5,2)", {}), {}},
      {"datetime", Arg("datetime", std::string("2005-05-03 23:18:38.997")),
       std::string("2005-05-03 23:18:38.997")},
      {"smalldatetime", Arg("smalldatetime", std::string("2001-01-02 03:04:00.000")),
       std::string("2001-01-02 03:04:00.000")},
      {"char(3)", Arg("char(3)", std::string("ab")), std::string("ab ")},
      {"varchar(10)", Arg("varchar(10)", std::string("caf\xC3\xA9")), std::string("caf\xC3\xA9")},
      {"nchar(2)", Arg("nchar(2)", std::string("\xCE\xA9")), std::string("\xCE\xA9 ")},
      {"nvarchar(10)", Arg("nvarchar(10)", std::string("\xE2\x82\xAC 5")),
       std::string("\xE2\x82\xAC 5")},
      {"nvarchar(10)", Arg("nvarchar(10)", {}), {}},
      {"binary(3)", Arg("binary(3)", Bytes{1, 2}), Bytes{1, 2, 0}},
      {"varbinary(10)", Arg("varbinary(10)", Bytes{0, 255}), Bytes{0, 255}},
      {"text", Arg("text", std::string("long text")), std::string("long text")},
      {"ntext", Arg("ntext", std::string("\xCE\xA9 long")), std::string("\xCE\xA9 long")},
      {"image", Arg("image", Bytes{9, 8, 7}), Bytes{9, 8, 7}},
      {"image", Arg("image", {}), {}},
      {"uniqueidentifier",
       Arg("uniqueidentifier", std::string("6F9619FF-8B86-D011-B42D-00C04FC964FF")),
       std::string("6F9619FF-8B86-D011-B42D-00C04FC964FF")},
      // The fixed-length and older forms.
      {"tinyint", WireArg(kInt1, 1, int64_t{7}), int64_t{7}},
      {"smallint", WireArg(kInt2, 2, int64_t{-2}), int64_t{-2}},
      {"int", WireArg(kInt4, 4, int64_t{42}), int64_t{42}},
      {"bigint", WireArg(kInt8, 8, int64_t{-5}), int64_t{-5}},
      {"bit", WireArg(kBit, 1, int64_t{1}), int64_t{1}},
      {"real", WireArg(kFloat4, 4, 2.5), 2.5},
      {"float", WireArg(kFloat8, 8, -0.25), -0.25},
      {"money", WireArg(kMoney, 8, std::string("5.0001")), std::string("5.0001")},
      {"smallmoney", WireArg(kMoney4, 4, std::string("-5.5000")), std::string("-5.5000")},
      {"datetime", WireArg(kDateTime, 8, std::string("1900-01-01 00:00:01.000")),
       std::string("1900-01-01 00:00:01.000")},
      {"smalldatetime", WireArg(kDateTime4, 4, std::string("1900-01-02 00:01:00.000")),
       std::string("1900-01-02 00:01:00.000")},
      {"varchar(10)", WireArg(kVarChar, 10, std::string("old")), std::string("old")},
      {"char(4)", WireArg(kChar, 4, std::string("ab")), std::string("ab  ")},
      {"varbinary(4)", WireArg(kVarBinary, 4, Bytes{3}), Bytes{3}},
      {"binary(2)", WireArg(kBinary, 2, Bytes{4, 5}), Bytes{4, 5}},
      // Converted to the declared type as SQL Server converts implicitly.
      {"int", Arg("nvarchar(5)", std::string("12")), int64_t{12}},
      {"decimal(5,1)", Arg("int", int64_t{3}), std::string("3.0")},
      {"varchar(5)", Arg("int", int64_t{-9}), std::string("-9")},
      {"datetime", Arg("varchar(20)", std::string("20010203")),
       std::string("2001-02-03 00:00:00.000")},
  };
  for (const Case& c : cases) {
    RpcParameter p = c.value;
    SCOPED_TRACE(c.declared + " from type " + std::to_string(p.type.type));
    p.name = "@p";
    std::vector<Token> reply =
        Rpc(client,
            RpcRequest{kSpExecuteSql, "", 0, {NText("SELECT @p"), NText("@p " + c.declared), p}});
    ASSERT_EQ(ErrorLines(reply), "");
    std::vector<Row> rows = Only<Row>(reply);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].values, std::vector<Value>{c.expected});
  }
}

TEST_F(TdsProcedureCall, ProcedureReplyEndsWithStatusThenOutputValues) {
  ASSERT_EQ(Direct("CREATE PROCEDURE q @a int, @b varchar(20) OUTPUT, @c int = 5 OUTPUT AS "
                   "SET NOCOUNT ON SELECT @a + @c SET @b = 'x' + @b SET @c = @c * 2 RETURN 7"),
            "");
  TestClient client(port_);
  ASSERT_TRUE(LoggedIn(client.Login("secret")));
  // By position, the last one by name and left to its default.
  std::vector<Token> reply = Rpc(
      client,
      RpcRequest{0,
                 "dbo.q",
                 0,
                 {Arg("int", int64_t{1}), Arg("nvarchar(4)", std::string("yz"), "@b", kParamOutput),
                  Arg("int", {}, "@c", kParamOutput | 0x02)}});
  ASSERT_EQ(ErrorLines(reply), "");
  ASSERT_EQ(reply.size(), 6u);
  EXPECT_TRUE(std::holds_alternative<ColMetadata>(reply[0]));
  EXPECT_EQ(RowsText(reply), "6\n");
  EXPECT_EQ(std::get<Done>(reply[2]).token, kTokenDoneInProc);
  EXPECT_EQ(std::get<ReturnStatus>(reply[3]).value, 7);
  // A defaulted parameter has no argument to hand its value back to.
  const ReturnValue& b = std::get<ReturnValue>(reply[4]);
  EXPECT_EQ(b.ordinal, 1);
  EXPECT_EQ(b.name, "@b");
  EXPECT_EQ(b.value, Value(std::string("xyz")));
  EXPECT_EQ(b.type.type, kBigVarChar) << "typed as the procedure declares it";
  Done done = std::get<Done>(reply[5]);
  EXPECT_EQ(done.token, kTokenDoneProc);
  EXPECT_EQ(done.status, kDoneFinal);

  // sp_executesql: values by name, in another order, and an OUTPUT one.
  reply = Rpc(client, RpcRequest{kSpExecuteSql,
                                 "",
                                 0,
                                 {NText("SET @out = @in * 3"), NText("@in int, @out bigint OUTPUT"),
                                  Arg("bigint", {}, "@out", kParamOutput),
                                  Arg("smallint", int64_t{5}, "@in")}});
  ASSERT_EQ(ErrorLines(reply), "");
  EXPECT_EQ(Only<ReturnStatus>(reply).at(0).value, 0);
  std::vector<ReturnValue> outputs = Only<ReturnValue>(reply);
  ASSERT_EQ(outputs.size(), 1u);
  EXPECT_EQ(outputs[0].ordinal, 2);
  EXPECT_EQ(outputs[0].value, Value(int64_t{15}));
}

TEST_F(TdsProcedureCall, PreparedStatementsKeepTheirParameterDeclaration) {
  ASSERT_EQ(Direct("CREATE TABLE t (id int, name varchar(10))"), "");
  TestClient client(port_);
  ASSERT_TRUE(LoggedIn(client.Login("secret")));
  std::vector<Token> reply =
      Rpc(client,
          RpcRequest{kSpPrepare,
                     "",
                     0,
                     {Arg("int", {}, "@handle", kParamOutput), NText("@id int, @name varchar(10)"),
                      NText("INSERT INTO t VALUES (@id, @name)"), Arg("int", int64_t{1})}});
  ASSERT_EQ(ErrorLines(reply), "");
  std::vector<ReturnValue> handle = Only<ReturnValue>(reply);
  ASSERT_EQ(handle.size(), 1u);
  for (int64_t id : {1, 2}) {
    reply = Rpc(client, RpcRequest{kSpExecute,
                                   "",
                                   0,
                                   {Arg("int", handle[0].value), Arg("int", id),
                                    Arg("nvarchar(3)", std::string("n") + std::to_string(id))}});
    EXPECT_EQ(ErrorLines(reply), "");
  }
  // By name as some clients call it, a value the declaration lacks.
  reply =
      Rpc(client,
          RpcRequest{0, "SP_EXECUTE", 0, {Arg("int", handle[0].value), Arg("int", int64_t{3})}});
  EXPECT_EQ(ErrorLines(reply),
            "8178 Prepared statement '(@id int, @name varchar(10))INSERT INTO t VALUES (@id, "
            "@name)' expects parameter @name, which was not supplied.\n");
  EXPECT_EQ(Direct("SELECT id, name FROM t ORDER BY id"), "1|n1\n2|n2\n");
}

// sp_prepare compiles: a query's columns come back before it runs (drivers
// describe a prepared statement from them), and a statement that does not
// compile gets its error and no handle. Nothing runs.
TEST_F(TdsProcedureCall, PrepareDescribesTheStatement) {
  ASSERT_EQ(Direct("CREATE TABLE t (id int, name varchar(10))"), "");
  TestClient client(port_);
  ASSERT_TRUE(LoggedIn(client.Login("secret")));
  auto prepare = [&](const std::string& statement) {
    return Rpc(client, RpcRequest{kSpPrepare,
                                  "",
                                  0,
                                  {Arg("int", {}, "@handle", kParamOutput), NText("@id int"),
                                   NText(statement), Arg("int", int64_t{1})}});
  };
  std::vector<Token> reply = prepare("SELECT name, id + @id AS next FROM t WHERE id = @id");
  ASSERT_EQ(ErrorLines(reply), "");
  std::vector<ColMetadata> shape = Only<ColMetadata>(reply);
  ASSERT_EQ(shape.size(), 1u);
  ASSERT_EQ(shape[0].columns.size(), 2u);
  EXPECT_EQ(shape[0].columns[0].name, "name");
  EXPECT_EQ(shape[0].columns[1].name, "next");
  EXPECT_EQ(RowsText(reply), "");
  EXPECT_EQ(Only<ReturnValue>(reply).size(), 1u) << "the handle";

  reply = prepare("INSERT INTO t VALUES (@id, 'x')");
  EXPECT_EQ(ErrorLines(reply), "");
  EXPECT_TRUE(Only<ColMetadata>(reply).empty());
  EXPECT_EQ(Direct("SELECT COUNT(*) FROM t"), "0\n") << "prepared, not run";

  reply = prepare("SELECT * FROM nowhere WHERE id = @id");
  EXPECT_EQ(ErrorLines(reply), "208 Invalid object name 'nowhere'.\n");
  EXPECT_TRUE(Only<ReturnValue>(reply).empty());
  // The session's own FMTONLY setting is left as it was.
  EXPECT_EQ(RowsText(Rpc(client, RpcRequest{kSpExecuteSql, "", 0, {NText("SELECT 7")}})), "7\n");
}

TEST_F(TdsProcedureCall, CallsThatDoNotFitGetSqlServersErrors) {
  ASSERT_EQ(Direct("CREATE PROCEDURE p @a int, @b int = 2 AS SELECT @a + @b"), "");
  TestClient client(port_);
  ASSERT_TRUE(LoggedIn(client.Login("secret")));
  struct Case {
    const char* what;
    RpcRequest call;
    std::string errors;
  };
  const Case cases[] = {
      {"missing",
       {0, "p", 0, {}},
       "201 Procedure 'p' expects parameter '@a', which was not supplied.\n"},
      {"too many",
       {0, "p", 0, {Arg("int", int64_t{1}), Arg("int", int64_t{1}), Arg("int", int64_t{1})}},
       "8144 Procedure or function p has too many arguments specified.\n"},
      {"not a parameter",
       {0, "p", 0, {Arg("int", int64_t{1}, "@z")}},
       "8145 @z is not a parameter for procedure p.\n"},
      {"does not convert",
       {0, "p", 0, {Arg("varchar(5)", std::string("x"))}},
       "8114 Error converting data type varchar to int.\n"},
      {"never converts",
       {0, "p", 0, {Arg("datetime", std::string("2001-01-01 00:00:00.000"))}},
       "8114 Error converting data type datetime to int.\n"},
      {"statement not unicode",
       {kSpExecuteSql, "", 0, {Arg("varchar(8)", std::string("SELECT 1"))}},
       "214 Procedure expects parameter '@statement' of type 'ntext/nchar/nvarchar'.\n"},
      {"undeclared variable",
       {kSpExecuteSql, "", 0, {NText("SELECT @x"), NText("@y int"), Arg("int", int64_t{1})}},
       "137 Must declare the variable '@x'.\n"},
      {"unknown handle",
       {kSpExecute, "", 0, {Arg("int", int64_t{99})}},
       "8179 Could not find prepared statement with handle 99.\n"},
      {"unknown procedure",
       {0, "nothing", 0, {Arg("int", int64_t{1})}},
       "2812 Could not find stored procedure 'nothing'.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<Token> reply = Rpc(client, c.call);
    EXPECT_EQ(ErrorLines(reply), c.errors);
    EXPECT_EQ(std::get<Done>(reply.back()).token, kTokenDoneProc);
  }
  EXPECT_EQ(RowsText(Rpc(client, RpcRequest{0, "p", 0, {Arg("int", int64_t{1})}})), "3\n");
}

// Several calls in one message run in turn, the third despite the second's
// error; each but the last ends in DONEPROC with MORE.
TEST_F(TdsProcedureCall, SeveralCallsInOneMessageRunInTurn) {
  ASSERT_EQ(Direct("CREATE TABLE t (id int)"), "");
  TestClient client(port_);
  ASSERT_TRUE(LoggedIn(client.Login("secret")));
  std::vector<uint8_t> message;
  const RpcRequest calls[] = {
      {kSpExecuteSql,
       "",
       0,
       {NText("INSERT INTO t VALUES (@v)"), NText("@v int"), Arg("int", int64_t{1})}},
      {0, "nothing", 0, {}},
      {kSpExecuteSql,
       "",
       0,
       {NText("INSERT INTO t VALUES (@v) SELECT COUNT(*) FROM t"), NText("@v int"),
        Arg("int", int64_t{2})}},
  };
  for (const RpcRequest& call : calls) {
    if (!message.empty()) message.push_back(0x80);
    std::vector<uint8_t> bytes = EncodeRpc(call, false);
    message.insert(message.end(), bytes.begin(), bytes.end());
  }
  ASSERT_TRUE(client.Send(PacketType::kRpc, message));
  std::optional<Message> reply = client.Receive();
  ASSERT_TRUE(reply);
  std::vector<Token> tokens = DecodeTokens(reply->payload, Layout::kTds71);
  EXPECT_EQ(ErrorLines(tokens), "2812 Could not find stored procedure 'nothing'.\n");
  EXPECT_EQ(RowsText(tokens), "2\n");
  std::vector<uint16_t> ends;
  for (const Token& token : tokens) {
    const Done* done = std::get_if<Done>(&token);
    if (done && done->token == kTokenDoneProc) ends.push_back(done->status);
  }
  EXPECT_EQ(ends, (std::vector<uint16_t>{kDoneMore, kDoneError | kDoneMore, kDoneFinal}));
  EXPECT_EQ(Direct("SELECT id FROM t ORDER BY id"), "1\n2\n");
}

}  // namespace
}  // namespace server::tds::testing
