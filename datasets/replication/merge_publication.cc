#include <vector>

#include "datasets/batch.h"
#include "datasets/model_rows.h"
#include "datasets/replication/builders.h"
#include "datasets/replication/replication_rows.h"
#include "library/vxhandler.h"

namespace tavora::replication {

namespace {

constexpr std::u16string_view kMergeViewScript =
    u"CREATE VIEW vwGeneric AS SELECT * FROM tblGeneric\r\nGO";
constexpr std::u16string_view kMergeNewViewScript =
    u"CREATE VIEW vwGeneric2 AS SELECT * FROM tblGeneric2\r\nGO";
constexpr std::u16string_view kMergeProcedureScript =
    u"CREATE PROCEDURE spGeneric AS SELECT * FROM tblGeneric WHERE tblGeneric.fldRecordID<>3";
constexpr std::u16string_view kMergeNewProcedureScript =
    u"CREATE PROCEDURE spGeneric2 AS SELECT * FROM tblGeneric2 "
    u"WHERE tblGeneric2.fldRecordID2<>3";

constexpr PropertyRow kMergeTableRows[] = {
    Mod(u"Name", S(u"tblGeneric"), S(u"tblGeneric2")),
    Fixed(u"Owner", S(u"dbo")),
    Fixed(u"FullTextCatalog", S(u"")),
};

constexpr PropertyRow kMergePrimaryKeyRows[] = {
    Mod(u"Name", S(u"PK_MergeID"), S(u"PK_MergeID2")),
    Fixed(u"Clustered", B(false)),
    Fixed(u"Columns", S(u"fldRecordID")),
    Fixed(u"FillFactor", L(0)),
    Fixed(u"IndexType", L(3)),
};

constexpr PropertyRow kMergeViewRows[] = {
    Mod(u"Name", S(u"vwGeneric"), S(u"vwGeneric2")),
    Mod(u"Text", S(kMergeViewScript), S(kMergeNewViewScript)),
    Fixed(u"Owner", S(u"dbo")),
};

constexpr PropertyRow kMergeProcedureRows[] = {
    Mod(u"Name", S(u"spGeneric"), S(u"spGeneric2")),
    Mod(u"Text", S(kMergeProcedureScript), S(kMergeNewProcedureScript)),
    Fixed(u"Owner", S(u"dbo")),
};

// The record order is part of the model: CentralizedConflicts follows
// CompressSnapshot, out of the alphabetical order of the rest.
constexpr PropertyRow kMergePublicationRows[] = {
    Fixed(u"Name", S(u"pubMerge")),
    Mod(u"Active", B(true), B(false)),
    Mod(u"AllowAnonymous", B(false), B(true)),
    Mod(u"AllowPull", B(true), B(false)),
    Mod(u"AllowPush", B(true), B(false)),
    Mod(u"AllowSubscriptionCopy", B(false), B(true)),
    Mod(u"AllowSyncToAlternate", B(false), B(true)),
    Mod(u"AlternateSnapshotFolder", S(u""), S(u"c:\\junk")),
    Mod(u"CompressSnapshot", B(false), B(true)),
    Mod(u"CentralizedConflicts", B(true), B(false)),
    Mod(u"ConflictRetention", L(14), L(7)),
    Mod(u"Description", S(u""), S(u"Merge Publication")),
    Mod(u"DynamicFilters", B(false), B(true)),
    Mod(u"EnabledForInternet", B(false), B(true)),
    Mod(u"FtpAddress", S(u""), S(kFtpHost)),
    Mod(u"FtpLogin", S(u"anonymous"), S(u"tallock")),
    Mod(u"FtpPort", L(21), L(43)),
    Mod(u"FtpSubdirectory", S(u""), S(u"Received")),
    Mod(u"MaxConcurrentDynamicSnapshots", L(0), L(2)),
    Mod(u"MaxConcurrentMerge", L(0), L(2)),
    Mod(u"PostSnapshotScript", S(u""), S(u"c:\\PostSnapshot.scr")),
    Mod(u"PreSnapshotScript", S(u""), S(u"c:\\PreSnapshot.scr")),
    Fixed(u"PublicationType", L(2)),
    Mod(u"PublishToActiveDirectory", B(true), kNull, kActiveDirectoryNote),
    Mod(u"Retention", L(14), L(120)),
    Mod(u"SnapshotFormat", L(0), L(1)),
    Mod(u"SnapshotInDefaultFolder", B(true), B(false)),
    Mod(u"SnapshotReady", B(false), B(true)),
    // The new value stays ""; the function name belongs in the note.
    Mod(u"ValidateSubscriberInfo", S(u""), S(u""), u"suser_sname()"),
};

// Rows of "artTable"; kMergeArticles gives what the other articles change.
constexpr PropertyRow kMergeArticleRows[] = {
    Fixed(u"Name", S(u"artTable")),
    Mod(u"ColumnTracking", B(false), B(true)),
    Mod(u"CreationScriptPath", S(u""), S(u"c:\\Script.dat")),
    Mod(u"Description", S(u""), S(u"Table Article")),
    Mod(u"PreCreationCommand", L(1), L(0)),
    Fixed(u"SourceObjectName", S(u"tblGeneric")),
    Fixed(u"SourceObjectOwner", S(u"dbo")),
};

// Unlike the transactional articles, each merge article publishes its own
// source object; only the table's tracks columns.
struct MergeArticle {
  std::u16string_view name;
  std::u16string_view source_object;
  std::u16string_view type;
  std::u16string_view new_description;
  bool column_tracking;
};

constexpr MergeArticle kMergeArticles[] = {
    {u"artTable", u"tblGeneric", u"table", u"Table Article", true},
    {u"artView", u"vwGeneric", u"view schema only", u"View Article", false},
    {u"artStoredProc", u"spGeneric", u"proc schema only", u"Stored Proc Article", false},
};

std::u16string ArticleStatement(const MergeArticle& article) {
  return u"EXEC sp_addmergearticle  @publication='pubMerge', @article='" +
         std::u16string(article.name) + u"', @source_object='" +
         std::u16string(article.source_object) + u"', @type='" + std::u16string(article.type) +
         u"'";
}

void RecordTable(harness::ModelProject& project) {
  auto table =
      AddObject(*ProjectCollection(project, u"Tables"), u"dbo.tblGeneric", u"MSSQL80.Table", u"");
  AddProperties(*table, kMergeTableRows);
  AddProperties(
      *AddObject(*table->Collection(u"Columns"), u"fldRecordID", u"MSSQL80.Column", u"int"),
      kRecordIdColumnRows);
  // The merge key has no index type name, where the transactional keys have one.
  AddProperties(*AddObject(*table->Collection(u"Indexes"), u"PK_MergeID", u"MSSQL80.Index", u""),
                kMergePrimaryKeyRows);
}

void RecordArticle(harness::ModelCollection& articles, const MergeArticle& article) {
  std::vector<PropertyRow> rows;
  for (const PropertyRow& row : kMergeArticleRows) {
    if (row.name == u"ColumnTracking" && !article.column_tracking) continue;
    rows.push_back(row);
  }
  const Difference own[] = {
      {u"Name", S(article.name)},
      {u"Description", std::nullopt, S(article.new_description)},
      {u"SourceObjectName", S(article.source_object)},
  };
  ApplyDifferences(rows, own);
  AddProperties(*AddObject(articles, article.name, u"MSSQL80.Article", u"Merge"), rows);
}

}  // namespace

void CreateMergePublication(harness::ModelProject& project, harness::SqlSession& session,
                            const std::u16string& database) {
  Trap(kMergePubModule, u"CreateMergePublication", [&] {
    Execute(session, PlainBatch(database, JoinLines({
                                              u"CREATE TABLE tblGeneric (",
                                              u"fldRecordID INT CONSTRAINT PK_MergeID "
                                              u"PRIMARY KEY NONCLUSTERED)",
                                          })));
    RecordTable(project);
    Execute(session, StandardBatch(database, kMergeViewScript));
    AddProperties(
        *AddObject(*ProjectCollection(project, u"Views"), u"dbo.vwGeneric", u"MSSQL80.View", u""),
        kMergeViewRows);
    Execute(session, StandardBatch(database, kMergeProcedureScript));
    AddProperties(*AddObject(*ProjectCollection(project, u"StoredProcedures"), u"dbo.spGeneric",
                             u"MSSQL80.StoredProcedure", u""),
                  kMergeProcedureRows);
    // The function is there for the driver to meet; the model has no place for it.
    Execute(session, StandardBatch(database, JoinLines({
                                                 u"CREATE FUNCTION Square(@x int)",
                                                 u"RETURNS int",
                                                 u"AS",
                                                 u"BEGIN",
                                                 u"  RETURN(@x*@x)",
                                                 u"END",
                                             })));
    Execute(session, PlainBatch(database, u"EXEC sp_addmergepublication  @publication='pubMerge'"));
    for (const MergeArticle& article : kMergeArticles) {
      Execute(session, PlainBatch(database, ArticleStatement(article)));
    }
    // Recorded only now, so a publication the server refused part-way (or
    // any of its articles) leaves no trace in the model.
    auto publication = AddObject(*ProjectCollection(project, u"Publications"), u"pubMerge",
                                 u"MSSQL80.MergePublication", u"");
    AddProperties(*publication, kMergePublicationRows);
    auto articles = publication->Collection(u"Articles");
    for (const MergeArticle& article : kMergeArticles) RecordArticle(*articles, article);
  });
}

}  // namespace tavora::replication
