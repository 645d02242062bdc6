// The odbc back end through the real driver manager and TDS driver against
// our own listener.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "harness/error.h"
#include "harness/utf.h"
#include "host/odbc_session.h"
#include "tests/e2e/listener_fixture.h"
#include "tests/error_of.h"

namespace host {
namespace {

using harness::Variant;

using tavora::testing::ErrorOf;

bool Contains(const std::u16string& text, const std::u16string& part) {
  return text.find(part) != std::u16string::npos;
}

class OdbcSessionE2e : public tavora::testing::ListenerTest {
 protected:
  harness::ComPtr<harness::SqlSession> OpenSession() {
    auto session = MakeOdbcSession();
    session->SetLoginTimeout(15);
    session->Open(ConnectionString());
    return session;
  }

  // A database "e2e" with a table of the kinds a result converts to.
  harness::ComPtr<harness::SqlSession> OpenWithTable() {
    auto session = OpenSession();
    session->Execute(0, u"USE master\r\nCREATE DATABASE e2e");
    session->Execute(0,
                     u"USE e2e\r\nGO\r\n"
                     u"CREATE TABLE t (i int NULL, s smallint NULL, b bit NULL, "
                     u"v varchar(8000) NULL)");
    return session;
  }

  // Waits up to five seconds for the listener to have `count` clients.
  bool WaitForConnections(int count) {
    for (int i = 0; i < 500; ++i) {
      if (listener_->open_connections() == count) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
};

TEST_F(OdbcSessionE2e, UseInTheFirstBatchHoldsForTheLaterOnes) {
  auto session = OpenWithTable();
  const std::u16string messages =
      session->Execute(0,
                       u"USE e2e\r\nGO\r\nINSERT INTO t (i) VALUES (1)\r\n  go  \r\n\r\nGO\r\n"
                       u"INSERT INTO t (i) VALUES (2)");
  // The server's own word that USE switched the database comes back as text.
  EXPECT_TRUE(Contains(messages, u"Changed database context to 'e2e'."))
      << harness::ToUtf8(messages);
  auto rows = session->Query(u"USE e2e\r\nSELECT i FROM t ORDER BY i");
  ASSERT_EQ(rows->RowCount(), 2);
  EXPECT_EQ(rows->Value(1, 1), Variant::Long(1));
  EXPECT_EQ(rows->Value(2, 1), Variant::Long(2));
  session->Close();
}

TEST_F(OdbcSessionE2e, QueryConvertsColumnsToTheContractsKinds) {
  auto session = OpenWithTable();
  const std::u16string long_text(5000, u'x');  // longer than one read of the driver
  session->Execute(0,
                   u"USE e2e\r\nINSERT INTO t VALUES (-7, 300, 1, 'tavora')\r\n"
                   u"INSERT INTO t VALUES (NULL, NULL, NULL, NULL)\r\n"
                   u"INSERT INTO t VALUES (8, -2, 0, '" +
                       long_text + u"')");
  auto rows = session->Query(u"USE e2e\r\nSELECT i, s, b, v FROM t");
  ASSERT_EQ(rows->RowCount(), 3);
  ASSERT_EQ(rows->ColumnCount(), 4);
  EXPECT_EQ(rows->ColumnName(1), u"i");
  EXPECT_EQ(rows->ColumnName(4), u"v");
  struct Row {
    Variant i, s, b, v;
  };
  const Row expected[] = {
      {Variant::Long(-7), Variant::Integer(300), Variant::Boolean(true),
       Variant::String(u"tavora")},
      {Variant::Null(), Variant::Null(), Variant::Null(), Variant::Null()},
      {Variant::Long(8), Variant::Integer(-2), Variant::Boolean(false), Variant::String(long_text)},
  };
  for (int r = 1; r <= 3; ++r) {
    SCOPED_TRACE(r);
    const Row& row = expected[r - 1];
    EXPECT_EQ(rows->Value(r, 1), row.i);
    EXPECT_EQ(rows->Value(r, 2), row.s);
    EXPECT_EQ(rows->Value(r, 3), row.b);
    EXPECT_EQ(rows->Value(r, 4), row.v);
  }
}

TEST_F(OdbcSessionE2e, ExistenceQueryOfTheDatasetsFindsExactlyOneRow) {
  auto session = OpenWithTable();
  auto rows = session->Query(u"USE master\r\nSELECT Name FROM sysdatabases WHERE Name='e2e'");
  ASSERT_EQ(rows->RowCount(), 1);
  EXPECT_EQ(rows->Value(1, 1), Variant::String(u"e2e"));
  EXPECT_EQ(
      session->Query(u"USE master\r\nSELECT Name FROM sysdatabases WHERE Name='none'")->RowCount(),
      0);
}

TEST_F(OdbcSessionE2e, FirstErrorFailsTheCallAndLaterBatchesDoNotRun) {
  auto session = OpenWithTable();
  auto error = ErrorOf([&] {
    session->Execute(0,
                     u"USE e2e\r\nGO\r\nINSERT INTO t (i) VALUES (1)\r\nGO\r\n"
                     u"SELECT * FROM no_such_table\r\nGO\r\nINSERT INTO t (i) VALUES (2)");
  });
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->number(), 208);
  EXPECT_TRUE(Contains(error->description(), u"Invalid object name 'no_such_table'."))
      << harness::ToUtf8(error->description());
  // The connection is still usable, and only the batch before the error ran.
  auto rows = session->Query(u"USE e2e\r\nSELECT i FROM t");
  ASSERT_EQ(rows->RowCount(), 1);
  EXPECT_EQ(rows->Value(1, 1), Variant::Long(1));

  // The same for Query, and for a statement after a failing one in the same
  // batch.
  error = ErrorOf([&] { session->Query(u"USE e2e\r\nSELECT * FROM no_such_table"); });
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->number(), 208);
  EXPECT_EQ(session->Query(u"USE e2e\r\nSELECT i FROM t")->RowCount(), 1);
}

TEST_F(OdbcSessionE2e, WrongPasswordFailsOpenWithTheLoginFailure) {
  // With a protocol newer than 7.1 the driver misreads a failed login's error
  // and can hang here instead.
  auto session = MakeOdbcSession();
  session->SetLoginTimeout(15);
  auto error = ErrorOf([&] { session->Open(ConnectionString(u"wrong")); });
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->number(), 18456);
  EXPECT_TRUE(Contains(error->description(), u"Login failed for user 'sa'."))
      << harness::ToUtf8(error->description());
  EXPECT_EQ(ErrorOf([&] { session->Execute(0, u"SELECT 1"); })->number(), 3704);
}

TEST_F(OdbcSessionE2e, OpenTwiceIsRefusedAndCloseOrReleaseDisconnects) {
  auto session = OpenSession();
  ASSERT_TRUE(WaitForConnections(1));
  EXPECT_EQ(ErrorOf([&] { session->Open(ConnectionString()); })->number(), 3705);
  EXPECT_EQ(ErrorOf([&] { session->SetLoginTimeout(5); })->number(), 3705);
  session->Close();
  EXPECT_TRUE(WaitForConnections(0));

  // A session may be opened again after Close.
  session->Open(ConnectionString());
  ASSERT_TRUE(WaitForConnections(1));
  // Released while open, as the datasets do after a failure.
  session.reset();
  EXPECT_TRUE(WaitForConnections(0));
}

}  // namespace
}  // namespace host
