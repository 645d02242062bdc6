#include "host/embedded_session.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "harness/error.h"
#include "harness/utf.h"
#include "host/connection_string.h"
#include "tests/error_of.h"
#include "tests/scratch_folder.h"

namespace host {
namespace {

constexpr char16_t kTrusted[] =
    u"DRIVER=SQL Server;SERVER=(local);UID=;PWD=;Trusted_Connection=Yes";

using tavora::testing::RaisedError;

TEST(ConnectionStringTest, ReadsAttributesAsDriverManagersDo) {
  ConnectionString parsed = ConnectionString::Parse(
      u" driver = SQL Server ;SERVER={a;b}}c};uid=;PWD={ p w };Trusted_Connection=No;uid=x;");
  EXPECT_EQ(parsed.Get(u"DRIVER"), u"SQL Server");
  EXPECT_EQ(parsed.Get(u"server"), u"a;b}c");
  EXPECT_EQ(parsed.Get(u"UID"), u"");  // the first of a repeated key holds
  EXPECT_EQ(parsed.Get(u"pwd"), u" p w ");
  EXPECT_EQ(parsed.Get(u"Trusted_Connection"), u"No");
  EXPECT_FALSE(parsed.Get(u"DATABASE"));
}

TEST(ConnectionStringTest, RefusesWhatItCannotRead) {
  for (const char16_t* text : {u"DRIVER=SQL Server;SERVER", u"=x", u"PWD={abc", u"PWD={a}b"}) {
    SCOPED_TRACE(harness::ToUtf8(text));
    harness::Error error = RaisedError([&] { ConnectionString::Parse(text); });
    EXPECT_EQ(error.number(), harness::errors::kInvalidCall);
    EXPECT_EQ(harness::ToUtf8(error.description()).rfind("Invalid connection string: ", 0), 0u);
  }
}

class EmbeddedSessionTest : public ::testing::Test {
 protected:
  harness::ComPtr<harness::SqlSession> Connect(const std::u16string& text = kTrusted) {
    auto session = MakeEmbeddedSession(server_);
    session->SetLoginTimeout(15);
    session->Open(text);
    return session;
  }

  std::shared_ptr<server::DataFolder> server_ = OpenEmbeddedServer(":memory:");
};

TEST_F(EmbeddedSessionTest, LogsInAsTheConnectionStringSays) {
  EXPECT_EQ(RaisedError([&] {
              Connect(u"DRIVER=Other;SERVER=(local);Trusted_Connection=Yes");
            }).description(),
            u"Data source name not found and no default driver specified");
  harness::Error wrong = RaisedError([&] { Connect(u"DRIVER={SQL Server};UID=sa;PWD=x"); });
  EXPECT_EQ(wrong.number(), 18456);
  EXPECT_EQ(wrong.description(), u"Login failed for user 'sa'.");
  // sa has an empty password by default; any name reaches the server.
  auto session = Connect(u"DRIVER={SQL Server};SERVER=elsewhere,1433;UID=sa;PWD=");
  EXPECT_EQ(session->Query(u"SELECT name FROM sysdatabases WHERE name = 'master'")->RowCount(), 1);
}

TEST_F(EmbeddedSessionTest, RefusesCallsInTheWrongState) {
  auto session = MakeEmbeddedSession(server_);
  EXPECT_EQ(RaisedError([&] { session->Execute(0, u"SELECT 1"); }).number(), 3704);
  EXPECT_EQ(RaisedError([&] { session->Close(); }).number(), 3704);
  session->Open(kTrusted);
  EXPECT_EQ(RaisedError([&] { session->Open(kTrusted); }).number(), 3705);
  EXPECT_EQ(RaisedError([&] { session->SetLoginTimeout(5); }).number(), 3705);
  session->Close();
  EXPECT_EQ(RaisedError([&] { session->Query(u"SELECT 1"); }).number(), 3704);
}

TEST_F(EmbeddedSessionTest, ExecuteRunsBatchesInOrderAndStopsAtTheFirstError) {
  auto session = Connect();
  harness::Error error = RaisedError([&] {
    session->Execute(0,
                     u"CREATE DATABASE d1\r\nGO\r\nUSE d1\r\nCREATE TABLE t (a int)\r\ngo\r\n"
                     u"INSERT INTO t VALUES ('x')\r\nGO\r\nCREATE TABLE later (a int)");
  });
  EXPECT_EQ(error.number(), 245);
  // The batches before the failing one ran and USE held across them; the
  // one after did not run.
  EXPECT_EQ(session->Query(u"SELECT name FROM sysobjects WHERE name = 't'")->RowCount(), 1);
  EXPECT_EQ(session->Query(u"SELECT name FROM sysobjects WHERE name = 'later'")->RowCount(), 0);
}

TEST_F(EmbeddedSessionTest, QueryHandsOverCellsAsThePlatformTypesThem) {
  auto session = Connect();
  session->Execute(0,
                   u"CREATE DATABASE d1\r\nGO\r\nUSE d1\r\n"
                   u"CREATE TABLE t (i int, s smallint, b bit, v varchar(5) NULL, m money)\r\n"
                   u"INSERT INTO t VALUES (-7, 3, 1, NULL, 2.5)");
  auto rows = session->Query(u"SELECT * FROM t");
  ASSERT_EQ(rows->RowCount(), 1);
  ASSERT_EQ(rows->ColumnCount(), 5);
  EXPECT_EQ(rows->ColumnName(4), u"v");
  EXPECT_EQ(rows->Value(1, 1), harness::Variant::Long(-7));
  EXPECT_EQ(rows->Value(1, 2), harness::Variant::Integer(3));
  EXPECT_EQ(rows->Value(1, 3), harness::Variant::Boolean(true));
  EXPECT_TRUE(rows->Value(1, 4).is_null());
  EXPECT_EQ(rows->Value(1, 5), harness::Variant::String(u"2.5000"));
  // A statement without rows gives an empty result, not a failure.
  EXPECT_EQ(session->Query(u"USE master")->ColumnCount(), 0);
}

TEST_F(EmbeddedSessionTest, AReleasedSessionHoldsNoDatabaseInUse) {
  {
    auto session = Connect();
    session->Execute(0, u"CREATE DATABASE d1\r\nGO\r\nUSE d1");
  }  // released without Close, as a failed dataset operation leaves it
  auto other = Connect();
  other->Execute(0, u"DROP DATABASE d1");
  EXPECT_EQ(other->Query(u"SELECT name FROM sysdatabases WHERE name = 'd1'")->RowCount(), 0);
}

TEST(EmbeddedServerTest, KeepsItsStateInTheDataFolder) {
  const std::string folder = tavora::testing::ScratchFolder("embedded-server").string();
  {
    auto session = MakeEmbeddedSession(OpenEmbeddedServer(folder));
    session->Open(kTrusted);
    session->Execute(0, u"CREATE DATABASE kept");
    // The folder is held while the server is open.
    harness::Error locked = RaisedError([&] { OpenEmbeddedServer(folder); });
    EXPECT_EQ(locked.number(), 75);
  }
  auto session = MakeEmbeddedSession(OpenEmbeddedServer(folder));
  session->Open(kTrusted);
  EXPECT_EQ(session->Query(u"SELECT name FROM sysdatabases WHERE name = 'kept'")->RowCount(), 1);
}

}  // namespace
}  // namespace host
