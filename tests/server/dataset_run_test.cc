// The datasets' complete batches run in order on a fresh engine, and the
// server-side failure scenarios they must survive, each with SQL Server's
// error.

#include <gtest/gtest.h>

#include "server/engine.h"
#include "tests/server/dataset_batches.h"
#include "tests/server/server_test_util.h"

namespace server::testing {
namespace {

constexpr Replication kReplications[] = {Replication::kTransactional, Replication::kSnapshot,
                                         Replication::kMerge};

std::string Error(const RunResult& result) { return Describe(result.error); }

// Runs the standard builders except those named in `skip`, after creating
// the database; stops at the first failure.
RunResult CreateStandardWithout(Engine& engine, const std::vector<std::string>& skip) {
  Client client(engine);
  RunResult result;
  if ((result.error = client.Execute(StandardCreateDatabase()))) return result;
  for (const BuilderTexts& builder : StandardBuilders()) {
    if (std::find(skip.begin(), skip.end(), builder.builder) != skip.end()) continue;
    for (const std::string& text : builder.texts) {
      if ((result.error = client.Execute(text))) {
        result.failed_builder = builder.builder;
        return result;
      }
    }
  }
  return result;
}

TEST(ServerDatasetRun, StandardCreateBuildsEveryObject) {
  Engine engine(ServerOptions{});
  RunResult created = CreateStandard(engine);
  ASSERT_EQ(Error(created), "ok") << created.failed_builder;
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
  ASSERT_EQ(Error(CreateStandard(engine)), "ok");
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
  ASSERT_EQ(Error(CreateStandard(engine)), "ok");
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

TEST(ServerDatasetRun, StandardDeleteDropsOnceAndThenFindsNothing) {
  Engine engine(ServerOptions{});
  ASSERT_EQ(Error(CreateStandard(engine)), "ok");
  RunResult first = DeleteStandard(engine);
  EXPECT_EQ(Error(first), "ok");
  EXPECT_EQ(first.executed,
            std::vector<std::string>{"USE master\r\nDROP DATABASE tavora_StandardDataset"});
  RunResult second = DeleteStandard(engine);
  EXPECT_EQ(Error(second), "ok");
  EXPECT_TRUE(second.executed.empty());
}

TEST(ServerDatasetRun, CreateTwiceFailsAtCreateDatabase) {
  Engine engine(ServerOptions{});
  ASSERT_EQ(Error(CreateStandard(engine)), "ok");
  RunResult again = CreateStandard(engine);
  EXPECT_EQ(
      Error(again),
      "Msg 1801, Level 16, State 1, Line 2\nDatabase 'tavora_StandardDataset' already exists.");
  EXPECT_EQ(again.executed.size(), 1u);
}

TEST(ServerDatasetRun, CreateDeleteCreateWorksForEveryDataset) {
  Engine engine(ServerOptions{});
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    ASSERT_EQ(Error(CreateStandard(engine)), "ok");
    for (Replication kind : kReplications) ASSERT_EQ(Error(CreateReplication(engine, kind)), "ok");
    EXPECT_EQ(Error(DeleteStandard(engine)), "ok");
    for (Replication kind : kReplications) EXPECT_EQ(Error(DeleteReplication(engine, kind)), "ok");
  }
  Client client(engine);
  // Only the system databases and the distributor's database remain.
  EXPECT_EQ(ResultText(client.Query("SELECT name FROM sysdatabases ORDER BY dbid")),
            "name\nmaster\ntempdb\nmodel\nmsdb\ndistribution");
}

TEST(ServerDatasetRun, QueuedPublicationsGetTheVersionColumnAndSyncTriggers) {
  struct Case {
    Replication kind;
    const char* table;
  };
  for (const Case& c : {Case{Replication::kTransactional, "tblQueuedTransactional"},
                        Case{Replication::kSnapshot, "tblQueuedSnapshot"}}) {
    SCOPED_TRACE(c.table);
    Engine engine(ServerOptions{});
    ASSERT_EQ(Error(CreateReplication(engine, c.kind)), "ok");
    Client client(engine);
    client.Execute("USE " + ReplicationDatabase(c.kind));
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

TEST(ServerDatasetRun, ReplicationWithoutDistributorIgnoresTheFailedDrop) {
  Engine engine(ServerOptions{});
  Client client(engine);
  EXPECT_EQ(Describe(client.Execute("USE master\r\nexec sp_dropdistributor  @no_checks=1")),
            "Msg 21043, Level 16, State 1, Line 2\nThe Distributor is not installed.");
  EXPECT_EQ(Error(CreateReplication(engine, Replication::kTransactional)), "ok");
}

TEST(ServerDatasetRun, TwoReplicationDatasetsOneAfterTheOther) {
  Engine engine(ServerOptions{});
  ASSERT_EQ(Error(CreateReplication(engine, Replication::kTransactional)), "ok");
  // The second Create drops and rebuilds the distributor; the first
  // dataset's publications stay and its Delete still works.
  ASSERT_EQ(Error(CreateReplication(engine, Replication::kMerge)), "ok");
  EXPECT_EQ(Error(DeleteReplication(engine, Replication::kTransactional)), "ok");
  EXPECT_EQ(Error(DeleteReplication(engine, Replication::kMerge)), "ok");
}

TEST(ServerDatasetRun, ServerAnswersToTheNameItWasReachedBy) {
  Engine engine(ServerOptions{});
  EXPECT_EQ(Error(CreateReplication(engine, Replication::kSnapshot, "127.0.0.1,14330")), "ok");
}

TEST(ServerDatasetRun, DistributorOfAnotherServerIsRefused) {
  Engine engine(ServerOptions{});
  Client client(engine, "TAVORA");
  EXPECT_EQ(
      Describe(client.Execute(
          "USE master\r\nexec sp_adddistributor  @distributor='ELSEWHERE', @password=P")),
      "Msg 14114, Level 16, State 1, Line 2\n'ELSEWHERE' is not configured as a Distributor.");
}

TEST(ServerDatasetRun, DeleteAfterCreateWhoseFirstBuilderFailed) {
  Engine engine(ServerOptions{});
  {
    // The set-up ran; the first builder failed before any publication existed.
    Client client(engine);
    std::vector<std::string> setup =
        ReplicationSetup(Replication::kTransactional, "TAVORA",
                         "C:\\Program Files\\Microsoft SQL Server\\MSSQL\\Data");
    for (size_t i = 0; i < setup.size(); ++i) {
      if (i == 1) continue;
      ASSERT_EQ(Describe(client.Execute(setup[i])), "ok") << setup[i];
    }
  }
  {
    Client probe(engine);
    EXPECT_EQ(
        Describe(probe.Execute(ReplicationDrops(Replication::kTransactional)[0])),
        "Msg 20026, Level 16, State 1, Line 2\nThe publication 'pubTransactional' does not exist.");
  }
  EXPECT_EQ(Error(DeleteReplication(engine, Replication::kTransactional)), "ok");
  Client client(engine);
  EXPECT_EQ(ResultText(client.Query(ExistenceQuery("tavora_TransPubDataset"))), "name");
}

TEST(ServerDatasetRun, MergePublicationNeedsMergePublish) {
  Engine engine(ServerOptions{});
  Client client(engine);
  std::string folder = "C:\\Data";
  std::vector<std::string> setup = ReplicationSetup(Replication::kMerge, "TAVORA", folder);
  setup.back() =
      "USE master\r\nEXEC sp_replicationdboption  @dbname='tavora_MergePubDataset', "
      "@optname='publish', "
      "@value='true'";
  for (size_t i = 0; i < setup.size(); ++i) {
    if (i == 1) continue;
    ASSERT_EQ(Describe(client.Execute(setup[i])), "ok") << setup[i];
  }
  const std::vector<std::string> texts = ReplicationBuilders(Replication::kMerge)[0].texts;
  for (size_t i = 0; i < 4; ++i) ASSERT_EQ(Describe(client.Execute(texts[i])), "ok") << texts[i];
  EXPECT_EQ(Describe(client.Execute(texts[4])),
            "Msg 14013, Level 16, State 1, Line 2\nThis database is not enabled for publication.");
}

TEST(ServerDatasetRun, StandardFailureScenarios) {
  struct Scenario {
    const char* name;
    std::vector<std::string> skip;
    const char* builder;
    const char* error;
  };
  const Scenario kScenarios[] = {
      {"user type missing before the generic table",
       {"CreateGenericDatatype"},
       "CreateGenericTable",
       "Msg 2715, Level 16, State 1, Line 2\nColumn or parameter #56: Cannot find data type "
       "udtGeneric."},
      {"parent table missing before the child table",
       {"CreateParentTable"},
       "CreateChildTable",
       "Msg 1767, Level 16, State 1, Line 2\nForeign key 'FK_Parent' references invalid table "
       "'tblParent'."},
      {"tblGeneric missing before the views",
       {"CreateGenericDatatype", "CreateGenericTable"},
       "CreateGenericView",
       "Msg 208, Level 16, State 1, Line 1\nInvalid object name 'tblGeneric'."},
      {"full-text catalog missing before the parent table",
       {"CreateGenericFullTextCatalog"},
       "CreateParentTable",
       "Msg 15601, Level 16, State 1, Line 1\nFull-Text Search is not enabled for the current "
       "database. Use "
       "sp_fulltext_database to enable Full-Text Search."},
  };
  for (const Scenario& scenario : kScenarios) {
    SCOPED_TRACE(scenario.name);
    Engine engine(ServerOptions{});
    RunResult result = CreateStandardWithout(engine, scenario.skip);
    EXPECT_EQ(result.failed_builder, scenario.builder);
    EXPECT_EQ(Error(result), scenario.error);
  }
}

TEST(ServerDatasetRun, SchemaBoundObjectsNeedTheirTable) {
  Engine engine(ServerOptions{});
  ASSERT_EQ(Error(CreateStandardWithout(
                engine, {"CreateGenericDatatype", "CreateGenericTable", "CreateGenericView"})),
            "Msg 208, Level 16, State 1, Line 1\nInvalid object name 'dbo.tblGeneric'.");
  Client client(engine);
  client.Execute("USE tavora_StandardDataset");
  for (const BuilderTexts& builder : StandardBuilders()) {
    if (builder.builder != "CreateSchemaBoundScalarFunction") continue;
    EXPECT_EQ(Describe(client.Execute(builder.texts[0])),
              "Msg 208, Level 16, State 1, Line 1\nInvalid object name 'dbo.tblGeneric'.");
  }
}

TEST(ServerDatasetRun, CatalogMissingWhenTheParentRegistersForFullText) {
  Engine engine(ServerOptions{});
  Client client(engine);
  ASSERT_EQ(Describe(client.Execute(StandardCreateDatabase())), "ok");
  std::vector<BuilderTexts> builders = StandardBuilders();
  ASSERT_EQ(Describe(client.Execute(builders[0].texts[0])), "ok");  // enable, but no catalog
  const std::vector<std::string>& parent = builders[5].texts;
  for (size_t i = 0; i < 3; ++i) ASSERT_EQ(Describe(client.Execute(parent[i])), "ok");
  EXPECT_EQ(Describe(client.Execute(parent[3])),
            "Msg 7641, Level 16, State 1, Line 1\nFull-Text catalog 'Catalog1' does not exist.");
}

TEST(ServerDatasetRun, DefaultThatAlreadyExists) {
  Engine engine(ServerOptions{});
  Client client(engine);
  ASSERT_EQ(Describe(client.Execute(StandardCreateDatabase())), "ok");
  const std::string text = StandardBuilders()[1].texts[0];
  ASSERT_EQ(Describe(client.Execute(text)), "ok");
  EXPECT_EQ(Describe(client.Execute(text)),
            "Msg 2714, Level 16, State 1, Line 1\nThere is already an object named 'defGeneric' in "
            "the database.");
}

TEST(ServerDatasetRun, RowInsertOnASessionInAnotherDatabase) {
  Engine engine(ServerOptions{});
  Client client(engine);
  ASSERT_EQ(Describe(client.Execute(StandardCreateDatabase())), "ok");
  std::vector<BuilderTexts> builders = StandardBuilders();
  ASSERT_EQ(Describe(client.Execute(builders[3].texts[0])), "ok");
  ASSERT_EQ(Describe(client.Execute(builders[4].texts[0])), "ok");
  ASSERT_EQ(Describe(client.Execute("USE master")), "ok");
  EXPECT_EQ(Describe(client.Execute(builders[4].texts[1])),
            "Msg 208, Level 16, State 1, Line 1\nInvalid object name 'tblGeneric'.");
}

TEST(ServerDatasetRun, CaseSensitiveCollationStopsTheGenericTable) {
  ServerOptions options;
  options.case_sensitive = true;
  Engine engine(options);
  RunResult result = CreateStandard(engine);
  EXPECT_EQ(result.failed_builder, "CreateGenericTable");
  EXPECT_EQ(Error(result),
            "Msg 15135, Level 16, State 1, Line 2\nObject is invalid. Extended properties are not "
            "permitted on "
            "'dbo.tblGeneric.fldVarChar_ComboBox', or the object does not exist.");
}

TEST(ServerDatasetRun, FullTextNotInstalled) {
  ServerOptions options;
  options.full_text_installed = false;
  Engine engine(options);
  RunResult result = CreateStandard(engine);
  EXPECT_EQ(result.failed_builder, "CreateGenericFullTextCatalog");
  EXPECT_EQ(Error(result),
            "Msg 7609, Level 17, State 1, Line 1\nFull-Text Search is not installed, or a "
            "full-text component cannot "
            "be loaded.");
}

TEST(ServerDatasetRun, PublishedDatabaseCannotBeDroppedUntilPublishingIsOff) {
  Engine engine(ServerOptions{});
  ASSERT_EQ(Error(CreateReplication(engine, Replication::kSnapshot)), "ok");
  Client client(engine);
  EXPECT_EQ(Describe(client.Execute(DropDatabase("tavora_ReplicationDataset"))),
            "Msg 3724, Level 16, State 1, Line 2\nCannot drop the database "
            "'tavora_ReplicationDataset' because it is "
            "being used for replication.");
}

}  // namespace
}  // namespace server::testing
