// The datasets' golden Create and Delete replayed on a fresh engine: what
// the server keeps of them, and how it answers to the names it is reached by.

#include <gtest/gtest.h>

#include "server/engine.h"
#include "tests/server/golden_replay.h"
#include "tests/server/server_test_util.h"

namespace server::testing {
namespace {

std::string Error(const Replay& replay) { return Describe(replay.error); }

TEST(ServerDatasetRun, StandardCreateBuildsEveryObject) {
  Engine engine(ServerOptions{});
  ASSERT_EQ(Error(ReplayCreate(engine, "Standard")), "ok");
  Client client(engine);
  EXPECT_EQ(ResultText(client.Query("USE tavora_StandardDataset\r\nSELECT name, xtype FROM "
                                    "sysobjects WHERE xtype <> 'S' ORDER BY name")),
            "name|xtype\n"
            "CK_ParentName|C \n"
            "defGeneric|D \n"
            "FK_Parent|F \n"
            "fnEncryptedScalar|FN\n"
            "fnScalar|FN\n"
            "fnSchemaBoundScalar|FN\n"
            "fnTableValued|TF\n"
            "IX_ParentName|UQ\n"
            "PK_ParentID|PK\n"
            "rulGeneric|R \n"
            "spGeneric|P \n"
            "tblChild|U \n"
            "tblGeneric|U \n"
            "tblParent|U \n"
            "trgNewChild|TR\n"
            "vwGeneric|V \n"
            "vwSchemaBound|V ");
  // Every column description and display control landed on its column.
  EXPECT_EQ(ResultText(client.Query("SELECT COUNT(*) FROM sysproperties WHERE type = 4")), "\n32");
  EXPECT_EQ(ResultText(
                client.Query("SELECT COUNT(*) FROM syscolumns WHERE id = OBJECT_ID('tblGeneric')")),
            "\n58");
}

TEST(ServerDatasetRun, GenericRowHoldsValuesConvertedToTheColumnTypes) {
  Engine engine(ServerOptions{});
  ASSERT_EQ(Error(ReplayCreate(engine, "Standard")), "ok");
  Client client(engine);
  client.Execute("USE tavora_StandardDataset");
  struct Expectation {
    const char* column;
    const char* value;
  };
  const Expectation kExpected[] = {
      {"fldDecimal", "32"},
      {"fldNumeric", "17"},
      {"fldComputed", "17"},
      {"fldBinary", "0x11"},
      {"fldVarbinary", "0x11"},
      {"fldImage", "0x633A5C782E6A7067"},  // the bytes of 'c:\x.jpg'
      {"fldMoney", "31.9900"},
      {"fldSmallMoney", "31.9900"},
      {"fldFloat", "31.99"},
      {"fldReal", "31.9899997711182"},
      {"fldDateTime", "2001-01-01 00:00:00.000"},
      {"fldSmallDateTime", "2001-01-01 00:00:00.000"},
      {"fldUniqueIdentifier", "11111111-1111-1111-1111-111111111111"},
      {"fldChar", "Alpha                           "},
      {"fldVarchar", "Alpha"},
      {"fldBit", "0"},
      {"fldTimestamp", "0x00000000000007D1"},
      {"fldSQLVariant", "Alpha"},
      {"fldUserDefined", "Alpha"},
  };
  for (const Expectation& e : kExpected) {
    SCOPED_TRACE(e.column);
    ResultSet result = client.Query(std::string("SELECT ") + e.column + " FROM tblGeneric");
    ASSERT_EQ(result.rows.size(), 1u);
    EXPECT_EQ(CellText(result.rows[0][0]), e.value);
  }
}

TEST(ServerDatasetRun, KeepsTheTextsTheModelRecords) {
  Engine engine(ServerOptions{});
  ASSERT_EQ(Error(ReplayCreate(engine, "Standard")), "ok");
  Client client(engine);
  client.Execute("USE tavora_StandardDataset");
  EXPECT_EQ(
      ResultText(client.Query("SELECT text FROM syscomments WHERE id = OBJECT_ID('trgNewChild')")),
      "text\nCREATE TRIGGER trgNewChild ON tblChild FOR INSERT AS EXEC master..xp_sendmail "
      "'SalesMgr','A new child record was entered.'");
  EXPECT_EQ(ResultText(
                client.Query("SELECT text FROM syscomments WHERE id = OBJECT_ID('CK_ParentName')")),
            "text\n([fldParentName] <> 'Tallock')");
  EXPECT_EQ(
      ResultText(client.Query("SELECT text FROM syscomments WHERE id = OBJECT_ID('defGeneric')")),
      "text\nCREATE DEFAULT defGeneric AS '800-555-1212'");
  // The view keeps its one statement: the batch ended at the GO line.
  EXPECT_EQ(
      ResultText(client.Query("SELECT text FROM syscomments WHERE id = OBJECT_ID('vwGeneric')")),
      "text\nCREATE VIEW vwGeneric AS SELECT * FROM tblGeneric");
}

TEST(ServerDatasetRun, QueuedPublicationsGetTheVersionColumnAndSyncTriggers) {
  struct Case {
    const char* test;
    const char* database;
    const char* table;
  };
  for (const Case& c :
       {Case{"Replication.Transactional", "tavora_TransPubDataset", "tblQueuedTransactional"},
        Case{"Replication.Snapshot", "tavora_ReplicationDataset", "tblQueuedSnapshot"}}) {
    SCOPED_TRACE(c.table);
    Engine engine(ServerOptions{});
    ASSERT_EQ(Error(ReplayCreate(engine, c.test)), "ok");
    Client client(engine);
    client.Execute(std::string("USE ") + c.database);
    std::string table = c.table;
    EXPECT_EQ(ResultText(client.Query(
                  "SELECT name, xtype, isnullable FROM syscolumns WHERE id = OBJECT_ID('" + table +
                  "') ORDER BY colid")),
              "name|xtype|isnullable\nfldRecordID|56|0\nmsrepl_tran_version|36|0");
    std::string expected = " create trigger [sp_MSsync_upd_trig_artView_2] on [dbo].[" + table +
                           "] for update as  \r\n"
                           " declare @rc int\r\n"
                           " select @rc = @@ROWCOUNT \r\n\r\n"
                           " if @rc = 0 return \r\n"
                           " if update (msrepl_tran_version) return \r\n"
                           " update [dbo].[" +
                           table + "] set msrepl_tran_version = newid() from [dbo].[" + table +
                           "], inserted  \r\n"
                           " \twhere \t [dbo].[" +
                           table + "].[fldRecordID] = inserted.[fldRecordID] ";
    ResultSet text = client.Query(
        "SELECT text FROM syscomments WHERE id = OBJECT_ID('sp_MSsync_upd_trig_artView_2')");
    ASSERT_EQ(text.rows.size(), 1u);
    EXPECT_EQ(CellText(text.rows[0][0]), expected);
    EXPECT_EQ(
        ResultText(client.Query("SELECT name FROM sysobjects WHERE xtype = 'TR' ORDER BY name")),
        "name\nsp_MSsync_upd_trig_artStoredProc_2\nsp_MSsync_upd_trig_artTable_2\nsp_MSsync_upd_"
        "trig_artView_2");
  }
}

TEST(ServerDatasetRun, ServerAnswersToTheNameItWasReachedBy) {
  Engine engine(ServerOptions{});
  Replay replay = ReplayCreate(engine, "Replication.Snapshot", "127.0.0.1,14330");
  EXPECT_EQ(Error(replay), "ok");
  ASSERT_GT(replay.executed.size(), 2u);
  EXPECT_NE(replay.executed[2].find("@distributor='127.0.0.1,14330'"), std::string::npos);
}

TEST(ServerDatasetRun, DistributorOfAnotherServerIsRefused) {
  Engine engine(ServerOptions{});
  Client client(engine, "TAVORA");
  EXPECT_EQ(
      Describe(client.Execute(
          "USE master\r\nexec sp_adddistributor  @distributor='ELSEWHERE', @password=P")),
      "Msg 14114, Level 16, State 1, Line 2\n'ELSEWHERE' is not configured as a Distributor.");
}

TEST(ServerDatasetRun, PublishedDatabaseCannotBeDroppedUntilPublishingIsOff) {
  Engine engine(ServerOptions{});
  ASSERT_EQ(Error(ReplayCreate(engine, "Replication.Snapshot")), "ok");
  Client client(engine);
  EXPECT_EQ(Describe(client.Execute("USE master\r\nDROP DATABASE tavora_ReplicationDataset")),
            "Msg 3724, Level 16, State 1, Line 2\nCannot drop the database "
            "'tavora_ReplicationDataset' because it is "
            "being used for replication.");
}

}  // namespace
}  // namespace server::testing
