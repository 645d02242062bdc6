// Transactions as an ODBC application ends them, through the real driver
// manager and TDS driver against our own listener: with autocommit off the
// driver leaves a transaction open and ends it on SQLEndTran.

#include <sql.h>
#include <sqlext.h>

#include <string>

#include "harness/utf.h"
#include "tests/e2e/listener_fixture.h"

namespace {

// One connection of the ODBC API itself, with its own environment; what the
// driver said is kept for the test's messages.
class ApiConnection {
 public:
  explicit ApiConnection(const std::string& connection_string) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
    SQLSetConnectAttr(dbc_, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(15), 0);
    std::string text = connection_string;
    connected_ = Check(SQL_HANDLE_DBC, dbc_,
                       SQLDriverConnect(dbc_, nullptr, reinterpret_cast<SQLCHAR*>(text.data()),
                                        SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT));
  }
  ~ApiConnection() {
    if (connected_) SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }
  ApiConnection(const ApiConnection&) = delete;
  ApiConnection& operator=(const ApiConnection&) = delete;

  bool connected() const { return connected_; }
  const std::string& said() const { return said_; }

  bool SetAutocommit(bool on) {
    return Check(SQL_HANDLE_DBC, dbc_,
                 SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT,
                                   reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(
                                       on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF)),
                                   0));
  }

  bool EndTran(SQLSMALLINT completion) {
    return Check(SQL_HANDLE_DBC, dbc_, SQLEndTran(SQL_HANDLE_DBC, dbc_, completion));
  }

  // Runs `sql`; the first column of its rows joined by ",", or "error: ..."
  // with what the driver said.
  std::string Run(const std::string& sql) {
    SQLHSTMT stmt = SQL_NULL_HANDLE;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt);
    std::string text = sql;
    std::string rows;
    SQLRETURN rc = SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS);
    // No data: a statement that touched no rows, such as CREATE TABLE.
    bool ok = rc == SQL_NO_DATA || Check(SQL_HANDLE_STMT, stmt, rc);
    SQLSMALLINT columns = 0;
    if (ok && SQL_SUCCEEDED(SQLNumResultCols(stmt, &columns)) && columns > 0) {
      while (SQL_SUCCEEDED(SQLFetch(stmt))) {
        char value[64] = {};
        SQLLEN length = 0;
        SQLGetData(stmt, 1, SQL_C_CHAR, value, sizeof value, &length);
        rows += (rows.empty() ? "" : ",") + std::string(length == SQL_NULL_DATA ? "NULL" : value);
      }
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return ok ? rows : "error: " + said_;
  }

 private:
  bool Check(SQLSMALLINT type, SQLHANDLE handle, SQLRETURN rc) {
    if (SQL_SUCCEEDED(rc)) return true;
    said_.clear();
    SQLCHAR state[6] = {};
    SQLCHAR text[512] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    for (SQLSMALLINT i = 1;
         SQL_SUCCEEDED(SQLGetDiagRec(type, handle, i, state, &native, text, sizeof text, &length));
         ++i) {
      said_ +=
          std::string(reinterpret_cast<char*>(state)) + " " + reinterpret_cast<char*>(text) + "\n";
    }
    return false;
  }

  SQLHENV env_ = SQL_NULL_HANDLE;
  SQLHDBC dbc_ = SQL_NULL_HANDLE;
  bool connected_ = false;
  std::string said_;
};

class OdbcTransactionsE2e : public tavora::testing::ListenerTest {
 protected:
  std::string ConnectionText() const {
    return harness::ToUtf8(ConnectionString()) + ";TDS_Version=7.1";
  }
};

TEST_F(OdbcTransactionsE2e, EndTranRollsBackOrCommitsWhatAutocommitOffLeftOpen) {
  ApiConnection writer(ConnectionText());
  ASSERT_TRUE(writer.connected()) << writer.said();
  ASSERT_EQ(writer.Run("CREATE TABLE t (i int)"), "");
  ASSERT_TRUE(writer.SetAutocommit(false)) << writer.said();

  ASSERT_EQ(writer.Run("INSERT INTO t VALUES (1)"), "");
  ASSERT_TRUE(writer.EndTran(SQL_ROLLBACK)) << writer.said();
  EXPECT_EQ(writer.Run("SELECT COUNT(*) FROM t"), "0");

  ASSERT_EQ(writer.Run("INSERT INTO t VALUES (2)"), "");
  ASSERT_TRUE(writer.EndTran(SQL_COMMIT)) << writer.said();
  ApiConnection reader(ConnectionText());
  ASSERT_TRUE(reader.connected()) << reader.said();
  EXPECT_EQ(reader.Run("SELECT i FROM t"), "2");
  EXPECT_EQ(writer.Run("SELECT i FROM t"), "2");
  EXPECT_TRUE(writer.EndTran(SQL_COMMIT)) << writer.said();
}

}  // namespace
