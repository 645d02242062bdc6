#include "host/record_session.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <nlohmann/json.hpp>

#include "harness/error.h"
#include "tests/error_of.h"

namespace host {
namespace {

using harness::Variant;

using tavora::testing::ErrorOf;

class RecordSession : public ::testing::Test {
 protected:
  harness::ComPtr<harness::SqlSession> OpenSession() {
    auto session = MakeRecordSession(backend_);
    session->SetLoginTimeout(15);
    session->Open(u"DRIVER=SQL Server;SERVER=(local)");
    return session;
  }

  std::shared_ptr<RecordBackend> backend_ = std::make_shared<RecordBackend>();
};

TEST_F(RecordSession, RecordsEveryCallAsJsonLines) {
  auto session = OpenSession();
  EXPECT_EQ(session->Execute(0, u"USE db\r\nGO\r\nCREATE RULE r AS @v > 0"), u"");
  session->Query(u"SELECT 1");
  session->Close();
  EXPECT_EQ(backend_->transcript.ToJsonLines(),
            "{\"call\":\"SetLoginTimeout\",\"value\":15}\n"
            "{\"call\":\"Open\",\"text\":\"DRIVER=SQL Server;SERVER=(local)\"}\n"
            "{\"call\":\"Execute\",\"option\":0,\"text\":\"USE db\\r\\nGO\\r\\nCREATE RULE r AS @v "
            "> 0\"}\n"
            "{\"call\":\"Query\",\"text\":\"SELECT 1\"}\n"
            "{\"call\":\"Close\"}\n");
}

// Only the password is hidden, wherever and however it is written; an
// empty one stays as it was, so transcripts without one do not change.
TEST_F(RecordSession, RecordsOpenWithThePasswordMasked) {
  const struct {
    const char16_t* text;
    const char* recorded;
  } cases[] = {
      {u"UID=sa;PWD=;Trusted_Connection=No", "UID=sa;PWD=;Trusted_Connection=No"},
      {u"UID=sa;PWD={};X=1", "UID=sa;PWD={};X=1"},
      {u"UID=sa;pwd = s3 ;X=1", "UID=sa;pwd = ******** ;X=1"},
      {u"UID=sa;PWD={s3;}}x};X=1", "UID=sa;PWD=********;X=1"},
      {u"PWD=a;Password={b};PWD=c", "PWD=********;Password=********;PWD=********"},
      {u"UID=sa;PWD={s3;X=1", "UID=sa;********"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.recorded);
    backend_->transcript.Clear();
    MakeRecordSession(backend_)->Open(c.text);
    EXPECT_EQ(backend_->transcript.entries().at(0).at("text"), c.recorded);
  }
}

TEST_F(RecordSession, AnswersTheExistenceQueryWithTheConfiguredRows) {
  const std::u16string query = u"USE master\r\nSELECT Name FROM sysdatabases WHERE Name='tavora_X'";
  for (int rows : {1, 0, 2}) {
    SCOPED_TRACE(rows);
    backend_->database_rows = rows;
    auto result = OpenSession()->Query(query);
    ASSERT_EQ(result->RowCount(), rows);
    for (int row = 1; row <= rows; ++row) {
      EXPECT_EQ(result->Value(row, 1), Variant::String(u"tavora_X"));
    }
  }
}

TEST_F(RecordSession, AnswersTheDeviceQueryWithTheMasterFile) {
  backend_->master_phyname = u"D:\\Data\\master.mdf";
  auto result =
      OpenSession()->Query(u"USE master\r\nSELECT phyname FROM sysdevices WHERE name='master'");
  ASSERT_EQ(result->RowCount(), 1);
  EXPECT_EQ(result->Value(1, 1), Variant::String(u"D:\\Data\\master.mdf"));
  EXPECT_EQ(result->ColumnName(1), u"phyname");

  EXPECT_EQ(OpenSession()->Query(u"SELECT name FROM sysobjects")->RowCount(), 0);
}

TEST_F(RecordSession, FailsTheChosenOccurrenceAndStillRecordsIt) {
  backend_->failures.push_back(
      {"Execute", u"CREATE", 2, harness::Error(2714, u"There is already an object named 'x'.")});
  auto session = OpenSession();
  session->Execute(0, u"CREATE TABLE a (x int)");
  session->Execute(0, u"DROP TABLE a");
  auto error = ErrorOf([&] { session->Execute(0, u"CREATE TABLE b (x int)"); });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->number(), 2714);
  EXPECT_EQ(error->description(), u"There is already an object named 'x'.");
  // Only that occurrence fails.
  EXPECT_FALSE(ErrorOf([&] { session->Execute(0, u"CREATE TABLE c (x int)"); }));
  const auto& entries = backend_->transcript.entries();
  ASSERT_EQ(entries.size(), 6u);
  EXPECT_EQ(entries[4].at("text"), "CREATE TABLE b (x int)");
}

TEST_F(RecordSession, RefusesStatementsOutsideAnOpenConnection) {
  auto session = MakeRecordSession(backend_);
  for (const auto& call : std::initializer_list<std::function<void()>>{
           [&] { session->Execute(0, u"SELECT 1"); }, [&] { session->Query(u"SELECT 1"); },
           [&] { session->Close(); }}) {
    auto error = ErrorOf(call);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->number(), 3704);
    EXPECT_EQ(error->description(), u"Operation is not allowed when the object is closed.");
  }
  session->Open(u"x");
  EXPECT_EQ(ErrorOf([&] { session->Open(u"x"); })->number(), 3705);
  session->Close();
  EXPECT_EQ(ErrorOf([&] { session->Execute(0, u"SELECT 1"); })->number(), 3704);
  // Refused calls are recorded too.
  EXPECT_EQ(backend_->transcript.entries().size(), 7u);
}

TEST_F(RecordSession, RefusesATextThatCannotBeSplitNamingTheLine) {
  auto session = OpenSession();
  std::u16string text = u"SELECT 1\r\nSELECT 2";
  text += u'\0';
  auto error = ErrorOf([&] { session->Execute(0, text); });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->number(), harness::errors::kInvalidCall);
  EXPECT_EQ(error->description(),
            u"Invalid procedure call or argument: the batch text holds a NUL character on line 2");
}

}  // namespace
}  // namespace host
