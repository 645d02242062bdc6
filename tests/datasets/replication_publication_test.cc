#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "datasets/dataset_classes.h"
#include "host/harness_classes.h"
#include "host/model_json.h"
#include "host/record_session.h"
#include "tests/datasets/standard_builder_fixture.h"
#include "tests/scratch_folder.h"

namespace tavora::testing {
namespace {

using MakeDataset = harness::ComPtr<harness::IDataset> (*)();

// Builds a dataset against the record double and keeps its model as JSON.
Json ModelOf(MakeDataset make) {
  auto backend = std::make_shared<host::RecordBackend>();
  host::InstallHarnessClasses(host::Settings{}, host::RecordSessions(backend));
  const std::filesystem::path folder = ScratchFolder("replication_publication");
  auto dataset = make();
  dataset->Create(u"", host::MakeWorkspace(folder.string()).get(), nullptr);
  return host::ModelToJson(dataset->ObjectModel().get());
}

Json Collection(const Json& model, const std::string& name) {
  for (const Json& entry : model["projects"][0]["collections"]) {
    if (entry["name"] == name) return entry["objects"];
  }
  ADD_FAILURE() << "no collection " << name;
  return Json::array();
}

const char kCommandNote[] =
    "You cannot change 'ins_cmd','upd_cmd', or 'del_cmd' article properties because the "
    "publication allows DTS or queued updating option.";
const char kQueueNote[] =
    "If we attempt to modify, SQL Server reports 'Cannot change queue type while there are "
    "subscriptions to the publication.'";

struct PublicationCase {
  const char* publication;
  MakeDataset make;
  std::string type;
  std::string table;
  bool queued;
  int publication_type;
  std::optional<int> conflict_policy;
  std::string delete_command;
  std::string insert_command;
  bool include_dri;
  std::string view_article_type;
};

const PublicationCase kPublications[] = {
    {"pubTransactional", MakeTransPubDataset, "Transactional", "tblTransactional", false, 1,
     std::nullopt, "CALL sp_MSdel_tblTransactional", "CALL sp_MSins_tblTransactional", true,
     "Transactional/Transactional"},
    {"pubQueuedTransactional", MakeTransPubDataset, "QueuedTransactional", "tblQueuedTransactional",
     true, 1, 1, "XCALL sp_MSdel_tblQueuedTransactional", "CALL sp_MSins_tblQueuedTransactional",
     true, "Snapshot/Transactional"},
    {"pubSnapshot", MakeSnapPubDataset, "Snapshot", "tblSnapshot", false, 0, std::nullopt, "SQL",
     "SQL", false, "Snapshot/Transactional"},
    {"pubQueuedSnapshot", MakeSnapPubDataset, "QueuedSnapshot", "tblQueuedSnapshot", true, 0, 3,
     "SQL", "CALL sp_MSins_tblQueuedSnapshot", false, "Snapshot/Transactional"},
};

TEST(ReplicationPublicationTest, TwinsDifferOnlyWhereThePublicationKindSays) {
  for (const PublicationCase& row : kPublications) {
    SCOPED_TRACE(row.publication);
    const Json model = ModelOf(row.make);
    const Json publication = Find(Collection(model, "Publications"), row.publication);
    EXPECT_EQ(publication["class"], "MSSQL80.Publication");
    EXPECT_EQ(publication["type"], row.type);
    EXPECT_EQ(publication["properties"].size(), row.queued ? 31u : 27u);
    EXPECT_EQ(Property(publication, "PublicationType"),
              Record("PublicationType", Long(row.publication_type), false, nullptr));
    EXPECT_EQ(Property(publication, "AllowQueuedUpdating"),
              Record("AllowQueuedUpdating", Bool(row.queued), false, nullptr));
    EXPECT_EQ(Property(publication, "AutogenSyncProcs"),
              Record("AutogenSyncProcs", Bool(row.queued), false, nullptr));
    EXPECT_EQ(Property(publication, "IndependentAgent"),
              Record("IndependentAgent", Bool(row.queued), true, Bool(true)));
    if (row.conflict_policy) {
      EXPECT_EQ(Property(publication, "ConflictPolicy"),
                Record("ConflictPolicy", Long(*row.conflict_policy), true, nullptr, kQueueNote));
    }

    const Json articles = Children(publication, "Articles");
    const std::pair<std::string, std::string> own[] = {
        {"artTable", "Table Article"},
        {"artView", "View Article"},
        {"artStoredProc", "Stored Procedure Article"},
    };
    ASSERT_EQ(articles.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
      const Json& article = articles[i];
      const auto& [name, description] = own[i];
      SCOPED_TRACE(name);
      EXPECT_EQ(article["key"], name);
      EXPECT_EQ(article["type"], i == 0 ? "Snapshot/Transactional" : row.view_article_type);
      EXPECT_EQ(Property(article, "Name"), Record("Name", Str(name), false, nullptr));
      EXPECT_EQ(Property(article, "Description"),
                Record("Description", Str(""), true, Str(description)));
      if (row.queued) {
        EXPECT_EQ(Property(article, "DeleteCommand"),
                  Record("DeleteCommand", Str(row.delete_command), true, nullptr, kCommandNote));
        EXPECT_EQ(Property(article, "InsertCommand"),
                  Record("InsertCommand", Str(row.insert_command), true, nullptr, kCommandNote));
      } else {
        EXPECT_EQ(Property(article, "DeleteCommand"),
                  Record("DeleteCommand", Str(row.delete_command), true, Str("NONE")));
        EXPECT_EQ(Property(article, "InsertCommand"),
                  Record("InsertCommand", Str(row.insert_command), true, Str("NONE")));
      }
      EXPECT_EQ(Property(article, "IncludeDRI"),
                Record("IncludeDRI", Bool(row.include_dri), true, Bool(!row.include_dri)));
      // Every article publishes the table, whatever its name says.
      EXPECT_EQ(Property(article, "SourceObjectName"),
                Record("SourceObjectName", Str(row.table), false, nullptr));
      EXPECT_EQ(Property(article, "DestinationObjectName"),
                Record("DestinationObjectName", Str(row.table), true, Str(row.table + "2")));
      EXPECT_EQ(Property(article, "SourceColumns"),
                Record("SourceColumns",
                       Str(row.queued ? "fldRecordID, msrepl_tran_version" : "fldRecordID"), false,
                       nullptr));
    }

    const Json table = Find(Collection(model, "Tables"), "dbo." + row.table);
    std::vector<std::string> columns;
    for (const Json& column : Children(table, "Columns")) columns.push_back(column["key"]);
    EXPECT_EQ(columns, (row.queued ? std::vector<std::string>{"fldRecordID", "msrepl_tran_version"}
                                   : std::vector<std::string>{"fldRecordID"}));
    EXPECT_EQ(Children(table, "Triggers").size(), row.queued ? 3u : 0u);
  }
}

TEST(ReplicationPublicationTest, QueuedPublicationRowsComeInTheirOrder) {
  const std::vector<std::string> queued = {"Name",
                                           "Active",
                                           "AllowAnonymous",
                                           "AllowPull",
                                           "AllowPush",
                                           "AllowQueuedUpdating",
                                           "AllowSubscriptionCopy",
                                           "AllowSyncTran",
                                           "AllowTransformableSubscriptions",
                                           "AlternateSnapshotFolder",
                                           "AutogenSyncProcs",
                                           "CentralizedConflicts",
                                           "CompressSnapshot",
                                           "ConflictPolicy",
                                           "ConflictRetention",
                                           "Description",
                                           "EnabledForInternet",
                                           "FtpAddress",
                                           "FtpLogin",
                                           "FtpPort",
                                           "FtpSubdirectory",
                                           "ImmediateSync",
                                           "IndependentAgent",
                                           "PostSnapshotScript",
                                           "PreSnapshotScript",
                                           "PublicationType",
                                           "PublishToActiveDirectory",
                                           "QueueType",
                                           "Retention",
                                           "SnapshotFormat",
                                           "SnapshotInDefaultFolder"};
  std::vector<std::string> plain;
  for (const std::string& name : queued) {
    if (name != "CentralizedConflicts" && name != "ConflictPolicy" && name != "ConflictRetention" &&
        name != "QueueType") {
      plain.push_back(name);
    }
  }
  const Json publications = Collection(ModelOf(MakeTransPubDataset), "Publications");
  EXPECT_EQ(PropertyNames(Find(publications, "pubQueuedTransactional")), queued);
  EXPECT_EQ(PropertyNames(Find(publications, "pubTransactional")), plain);
  const Json queued_publication = Find(publications, "pubQueuedTransactional");
  EXPECT_EQ(Property(queued_publication, "CentralizedConflicts"),
            Record("CentralizedConflicts", Bool(true), true, nullptr,
                   "Queued snapshot publication property '@centralized_conflicts' cannot have "
                   "the value 'false'."));
  EXPECT_EQ(Property(queued_publication, "QueueType"),
            Record("QueueType", Long(2), true, nullptr, kQueueNote));
}

TEST(ReplicationPublicationTest, QueuedTablesCarryTheServersVersionColumnAndSyncTriggers) {
  const std::string artTable_on_transactional =
      " create trigger [sp_MSsync_upd_trig_artTable_2] on [dbo].[tblQueuedTransactional] for "
      "update as  \r\n"
      " declare @rc int\r\n"
      " select @rc = @@ROWCOUNT \r\n"
      "\r\n"
      " if @rc = 0 return \r\n"
      " if update (msrepl_tran_version) return \r\n"
      " update [dbo].[tblQueuedTransactional] set msrepl_tran_version = newid() from "
      "[dbo].[tblQueuedTransactional], inserted  \r\n"
      " \twhere \t [dbo].[tblQueuedTransactional].[fldRecordID] = inserted.[fldRecordID] ";
  const struct {
    MakeDataset make;
    std::string table;
  } cases[] = {{MakeTransPubDataset, "tblQueuedTransactional"},
               {MakeSnapPubDataset, "tblQueuedSnapshot"}};
  for (const auto& row : cases) {
    SCOPED_TRACE(row.table);
    const Json table = Find(Collection(ModelOf(row.make), "Tables"), "dbo." + row.table);
    EXPECT_EQ(Children(table, "Columns")[1],
              (Json{{"key", "msrepl_tran_version"},
                    {"class", "MSSQL80.Column"},
                    {"type", "uniqueidentifier"},
                    {"properties",
                     {Record("Name", Str("msrepl_tran_version"), true, nullptr),
                      Record("DataType", Str("uniqueidentifier"), false, nullptr),
                      Record("DefaultValue", Str("(newid())"), true, Str("")),
                      Record("IsRowGuid", Bool(false), true, Bool(true)),
                      Record("Formula", Str(""), true, nullptr),
                      Record("SupportsFullTextQueries", Bool(false), false, nullptr)}},
                    {"collections", Json::array()}}));
    const Json triggers = Children(table, "Triggers");
    ASSERT_EQ(triggers.size(), 3u);
    const std::string articles[] = {"artTable", "artView", "artStoredProc"};
    for (size_t i = 0; i < 3; ++i) {
      const std::string name = "sp_MSsync_upd_trig_" + articles[i] + "_2";
      // Only the trigger's own name and its table change between the texts.
      std::string text = artTable_on_transactional;
      text.replace(text.find("artTable"), 8, articles[i]);
      for (size_t at = text.find("tblQueuedTransactional"); at != std::string::npos;
           at = text.find("tblQueuedTransactional", at + row.table.size())) {
        text.replace(at, 22, row.table);
      }
      EXPECT_EQ(triggers[i]["key"], name);
      EXPECT_EQ(triggers[i]["class"], "MSSQL80.Trigger");
      EXPECT_EQ(triggers[i]["properties"], (Json{Record("Name", Str(name), true, nullptr),
                                                 Record("Owner", Str("dbo"), false, nullptr),
                                                 Record("Text", Str(text), true, nullptr)}));
    }
  }
}

TEST(ReplicationPublicationTest, MergePublicationAndArticlesPublishTheirOwnObjects) {
  const Json model = ModelOf(MakeMergePubDataset);
  const Json publication = Find(Collection(model, "Publications"), "pubMerge");
  EXPECT_EQ(publication["class"], "MSSQL80.MergePublication");
  EXPECT_EQ(publication["type"], "");
  const std::vector<std::string> names = PropertyNames(publication);
  ASSERT_EQ(names.size(), 29u);
  EXPECT_EQ(names[8], "CompressSnapshot");
  EXPECT_EQ(names[9], "CentralizedConflicts");
  EXPECT_EQ(Property(publication, "ValidateSubscriberInfo"),
            Record("ValidateSubscriberInfo", Str(""), true, Str(""), "suser_sname()"));
  EXPECT_EQ(Property(publication, "FtpPort"), Record("FtpPort", Long(21), true, Long(43)));

  const Json articles = Children(publication, "Articles");
  ASSERT_EQ(articles.size(), 3u);
  EXPECT_EQ(PropertyNames(articles[0])[1], "ColumnTracking");
  EXPECT_EQ(articles[1]["key"], "artView");
  EXPECT_EQ(articles[1]["type"], "Merge");
  EXPECT_EQ(articles[1]["properties"],
            (Json{Record("Name", Str("artView"), false, nullptr),
                  Record("CreationScriptPath", Str(""), true, Str("c:\\Script.dat")),
                  Record("Description", Str(""), true, Str("View Article")),
                  Record("PreCreationCommand", Long(1), true, Long(0)),
                  Record("SourceObjectName", Str("vwGeneric"), false, nullptr),
                  Record("SourceObjectOwner", Str("dbo"), false, nullptr)}));
  EXPECT_EQ(Property(articles[2], "SourceObjectName"),
            Record("SourceObjectName", Str("spGeneric"), false, nullptr));
  EXPECT_EQ(Property(articles[2], "Description"),
            Record("Description", Str(""), true, Str("Stored Proc Article")));

  const Json table = Find(Collection(model, "Tables"), "dbo.tblGeneric");
  EXPECT_EQ(Find(Children(table, "Indexes"), "PK_MergeID")["type"], "");
  EXPECT_EQ(Property(Find(Collection(model, "Views"), "dbo.vwGeneric"), "Text"),
            Record("Text", Str("CREATE VIEW vwGeneric AS SELECT * FROM tblGeneric\r\nGO"), true,
                   Str("CREATE VIEW vwGeneric2 AS SELECT * FROM tblGeneric2\r\nGO")));
  // The function Square exists on the server only; nothing in the model names it.
  EXPECT_EQ(model.dump().find("Square"), std::string::npos);
}

}  // namespace
}  // namespace tavora::testing
