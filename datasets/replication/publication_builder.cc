#include "datasets/replication/publication_builder.h"

#include <vector>

#include "datasets/batch.h"
#include "datasets/model_rows.h"
#include "library/vxhandler.h"

namespace tavora::replication {

namespace {

// `text` with every name of the transactional builders ("Transactional",
// and "QueuedTransactional" as a whole) built from `stem` instead.
std::u16string Named(std::u16string_view text, std::u16string_view stem) {
  constexpr std::u16string_view kWord = u"Transactional";
  constexpr std::u16string_view kQueued = u"Queued";
  std::u16string named;
  size_t copied = 0;
  for (size_t at = text.find(kWord); at != std::u16string_view::npos;
       at = text.find(kWord, copied)) {
    size_t begin = at;
    if (at - copied >= kQueued.size() &&
        text.substr(at - kQueued.size(), kQueued.size()) == kQueued) {
      begin -= kQueued.size();
    }
    named += text.substr(copied, begin - copied);
    named += stem;
    copied = at + kWord.size();
  }
  named += text.substr(copied);
  return named;
}

// Every text below is written with the names of CreateTransactionalPublication
// (the queued-only ones with those of CreateQueuedTransactionalPublication);
// Named() puts the builder's own names in, so the twins share one set.

std::u16string TableStatement() {
  return JoinLines({
      u"CREATE TABLE tblTransactional (",
      u"fldRecordID INT CONSTRAINT PK_TransactionalID PRIMARY KEY NONCLUSTERED)",
  });
}

constexpr std::u16string_view kViewScript =
    u"CREATE VIEW vwTransactional AS SELECT * FROM tblTransactional\r\nGO";
constexpr std::u16string_view kNewViewScript =
    u"CREATE VIEW vwTransactional2 AS SELECT * FROM tblTransactional2\r\nGO";
constexpr std::u16string_view kProcedureScript =
    u"CREATE PROCEDURE spTransactional AS SELECT * FROM tblTransactional "
    u"WHERE tblTransactional.fldRecordID<>3";
constexpr std::u16string_view kNewProcedureScript =
    u"CREATE PROCEDURE spTransactional2 AS SELECT * FROM tblTransactional2 "
    u"WHERE tblTransactional2.fldRecordID2<>3";

// Which publication of a plain/queued pair carries a record.
enum class Twin { kBoth, kPlain, kQueued };

struct TwinRow {
  Twin twin;
  PropertyRow row;
};

constexpr PropertyRow kTableRows[] = {
    Mod(u"Name", S(u"tblTransactional"), S(u"tblTransactional2")),
    Fixed(u"Owner", S(u"dbo")),
    Fixed(u"FullTextCatalog", S(u"")),
};

// The version column that queued updating adds to the published table.
constexpr PropertyRow kVersionColumnRows[] = {
    Mod(u"Name", S(u"msrepl_tran_version"), kNull),
    Fixed(u"DataType", S(u"uniqueidentifier")),
    Mod(u"DefaultValue", S(u"(newid())"), S(u"")),
    Mod(u"IsRowGuid", B(false), B(true)),
    Mod(u"Formula", S(u""), kNull),
    Fixed(u"SupportsFullTextQueries", B(false)),
};

constexpr PropertyRow kPrimaryKeyRows[] = {
    Mod(u"Name", S(u"PK_TransactionalID"), S(u"PK_TransactionalID2")),
    Fixed(u"Clustered", B(false)),
    Fixed(u"Columns", S(u"fldRecordID")),
    Fixed(u"FillFactor", L(0)),
    Fixed(u"IndexType", L(3)),
};

constexpr PropertyRow kViewRows[] = {
    Mod(u"Name", S(u"vwTransactional"), S(u"vwTransactional2")),
    Mod(u"Text", S(kViewScript), S(kNewViewScript)),
    Fixed(u"Owner", S(u"dbo")),
};

constexpr PropertyRow kProcedureRows[] = {
    Mod(u"Name", S(u"spTransactional"), S(u"spTransactional2")),
    Mod(u"Text", S(kProcedureScript), S(kNewProcedureScript)),
    Fixed(u"Owner", S(u"dbo")),
};

constexpr std::u16string_view kQueueTypeNote =
    u"If we attempt to modify, SQL Server reports 'Cannot change queue type while there are "
    u"subscriptions to the publication.'";

// 27 records for a plain publication, 31 for a queued one.
constexpr TwinRow kPublicationRows[] = {
    {Twin::kBoth, Fixed(u"Name", S(u"pubTransactional"))},
    {Twin::kBoth, Mod(u"Active", B(false), B(true))},
    {Twin::kBoth, Mod(u"AllowAnonymous", B(false), B(true))},
    {Twin::kBoth, Mod(u"AllowPull", B(false), B(true))},
    {Twin::kBoth, Mod(u"AllowPush", B(true), B(true))},
    {Twin::kPlain, Fixed(u"AllowQueuedUpdating", B(false))},
    {Twin::kQueued, Fixed(u"AllowQueuedUpdating", B(true))},
    {Twin::kBoth, Mod(u"AllowSubscriptionCopy", B(false), B(true))},
    {Twin::kBoth, Fixed(u"AllowSyncTran", B(false))},
    {Twin::kBoth, Fixed(u"AllowTransformableSubscriptions", B(false))},
    {Twin::kBoth, Mod(u"AlternateSnapshotFolder", S(u""), S(u"c:\\junk"))},
    {Twin::kPlain, Fixed(u"AutogenSyncProcs", B(false))},
    {Twin::kQueued, Fixed(u"AutogenSyncProcs", B(true))},
    {Twin::kQueued, Mod(u"CentralizedConflicts", B(true), kNull,
                        u"Queued snapshot publication property '@centralized_conflicts' "
                        u"cannot have the value 'false'.")},
    {Twin::kBoth, Mod(u"CompressSnapshot", B(false), B(true))},
    {Twin::kQueued, Mod(u"ConflictPolicy", L(1), kNull, kQueueTypeNote)},
    {Twin::kQueued, Mod(u"ConflictRetention", L(14), L(7))},
    {Twin::kBoth, Mod(u"Description", S(u""), S(u"Publication One"))},
    {Twin::kBoth, Mod(u"EnabledForInternet", B(false), B(true))},
    {Twin::kBoth, Mod(u"FtpAddress", S(u""), S(kFtpHost))},
    {Twin::kBoth, Mod(u"FtpLogin", S(u"anonymous"), S(u"tallock"))},
    {Twin::kBoth, Mod(u"FtpPort", L(21), L(13))},
    {Twin::kBoth, Mod(u"FtpSubdirectory", S(u""), S(u"Received"))},
    {Twin::kBoth, Mod(u"ImmediateSync", B(false), B(true))},
    {Twin::kPlain, Mod(u"IndependentAgent", B(false), B(true))},
    {Twin::kQueued, Mod(u"IndependentAgent", B(true), B(true))},
    {Twin::kBoth, Mod(u"PostSnapshotScript", S(u""), S(u"c:\\PostSnapshot.scr"))},
    {Twin::kBoth, Mod(u"PreSnapshotScript", S(u""), S(u"c:\\PreSnapshotScript.scr"))},
    {Twin::kBoth, Fixed(u"PublicationType", L(1))},
    {Twin::kBoth, Mod(u"PublishToActiveDirectory", B(true), kNull, kActiveDirectoryNote)},
    {Twin::kQueued, Mod(u"QueueType", L(2), kNull, kQueueTypeNote)},
    {Twin::kBoth, Mod(u"Retention", L(336), L(144))},
    {Twin::kBoth, Mod(u"SnapshotFormat", L(0), L(0),
                      u"We can't use character format without getting errors from SQL Server.")},
    {Twin::kBoth, Mod(u"SnapshotInDefaultFolder", B(true), B(false))},
};

constexpr std::u16string_view kQueuedCommandNote =
    u"You cannot change 'ins_cmd','upd_cmd', or 'del_cmd' article properties because the "
    u"publication allows DTS or queued updating option.";

// Rows of "artTable"; the other articles differ only in Name and the new
// Description (kArticles).
constexpr TwinRow kArticleRows[] = {
    {Twin::kBoth, Fixed(u"Name", S(u"artTable"))},
    {Twin::kBoth, Mod(u"ConvertUDTs", B(true), B(false))},
    {Twin::kBoth, Mod(u"CopyClusteredIndexes", B(true), B(false))},
    {Twin::kBoth, Mod(u"CopyNonclusteredIndexes", B(true), B(false))},
    {Twin::kBoth, Mod(u"CreationScriptPath", S(u""), S(u"c:\\Script.dat"))},
    {Twin::kPlain, Mod(u"DeleteCommand", S(u"CALL sp_MSdel_tblTransactional"), S(u"NONE"))},
    {Twin::kQueued,
     Mod(u"DeleteCommand", S(u"XCALL sp_MSdel_tblQueuedTransactional"), kNull, kQueuedCommandNote)},
    {Twin::kBoth, Mod(u"Description", S(u""), S(u"Table Article"))},
    {Twin::kBoth, Mod(u"DestinationObjectName", S(u"tblTransactional"), S(u"tblTransactional2"))},
    {Twin::kBoth, Mod(u"DestinationObjectOwner", S(u"tkb"), S(u"dbo"))},
    {Twin::kBoth, Mod(u"FilterClause", S(u""), S(u"fldRecordID2<>3"))},
    {Twin::kBoth, Mod(u"IncludeDRI", B(true), B(false))},
    {Twin::kPlain, Mod(u"InsertCommand", S(u"CALL sp_MSins_tblTransactional"), S(u"NONE"))},
    {Twin::kQueued,
     Mod(u"InsertCommand", S(u"CALL sp_MSins_tblQueuedTransactional"), kNull, kQueuedCommandNote)},
    {Twin::kBoth, Mod(u"PreCreationCommand", L(1), L(0))},
    {Twin::kPlain, Fixed(u"SourceColumns", S(u"fldRecordID"))},
    {Twin::kQueued, Fixed(u"SourceColumns", S(u"fldRecordID, msrepl_tran_version"))},
    {Twin::kBoth, Fixed(u"SourceObjectName", S(u"tblTransactional"))},
    {Twin::kBoth, Fixed(u"SourceObjectOwner", S(u"dbo"))},
    {Twin::kBoth, Mod(u"UpdateCommand", S(u""), kNull)},
    {Twin::kBoth, Fixed(u"UseColumnNames", B(false))},
};

// All three articles publish the builder's table; the view and procedure
// articles are names only.
struct Article {
  std::u16string_view name;
  std::u16string_view new_description;
  bool is_table_article;
};

constexpr Article kArticles[] = {
    {u"artTable", u"Table Article", true},
    {u"artView", u"View Article", false},
    {u"artStoredProc", u"Stored Procedure Article", false},
};

constexpr std::u16string_view kTableArticleType = u"Snapshot/Transactional";

std::vector<PropertyRow> RowsFor(std::span<const TwinRow> table, bool queued) {
  std::vector<PropertyRow> rows;
  for (const TwinRow& row : table) {
    if (row.twin == Twin::kBoth || (row.twin == Twin::kQueued) == queued) rows.push_back(row.row);
  }
  return rows;
}

harness::Variant NamedValue(const Value& value, std::u16string_view stem) {
  if (value.kind != harness::Variant::Kind::kString) return value.ToVariant();
  return harness::Variant::String(Named(value.text, stem));
}

void AddNamedProperties(harness::ModelObject& object, std::span<const PropertyRow> rows,
                        std::u16string_view stem) {
  for (const PropertyRow& row : rows) {
    object.AddProperty(std::u16string(row.name), NamedValue(row.original, stem), row.modifiable,
                       NamedValue(row.new_value, stem), std::u16string(row.note));
  }
}

// The server adds one sync trigger per article of a queued publication; its
// text is the server's own, blanks, CR LF and tabs included.
std::u16string SyncTriggerName(std::u16string_view article) {
  return u"sp_MSsync_upd_trig_" + std::u16string(article) + u"_2";
}

std::u16string SyncTriggerText(std::u16string_view article, std::u16string_view table) {
  const std::u16string target = u"[dbo].[" + std::u16string(table) + u"]";
  return JoinLines({
      u" create trigger [" + SyncTriggerName(article) + u"] on " + target + u" for update as  ",
      u" declare @rc int",
      u" select @rc = @@ROWCOUNT ",
      u"",
      u" if @rc = 0 return ",
      u" if update (msrepl_tran_version) return ",
      u" update " + target + u" set msrepl_tran_version = newid() from " + target + u", inserted  ",
      u" \twhere \t " + target + u".[fldRecordID] = inserted.[fldRecordID] ",
  });
}

void RecordSyncTriggers(harness::ModelObject& table, std::u16string_view stem) {
  const std::u16string table_name = Named(u"tblTransactional", stem);
  auto triggers = table.Collection(u"Triggers");
  for (const Article& article : kArticles) {
    const std::u16string name = SyncTriggerName(article.name);
    const std::u16string text = SyncTriggerText(article.name, table_name);
    const PropertyRow rows[] = {
        Mod(u"Name", S(name), kNull),
        Fixed(u"Owner", S(u"dbo")),
        Mod(u"Text", S(text), kNull),
    };
    AddProperties(*AddObject(*triggers, name, u"MSSQL80.Trigger", u""), rows);
  }
}

void RecordTable(harness::ModelProject& project, const PublicationProfile& profile) {
  auto table = AddObject(*ProjectCollection(project, u"Tables"),
                         Named(u"dbo.tblTransactional", profile.stem), u"MSSQL80.Table", u"");
  AddNamedProperties(*table, kTableRows, profile.stem);
  auto columns = table->Collection(u"Columns");
  AddProperties(*AddObject(*columns, u"fldRecordID", u"MSSQL80.Column", u"int"),
                kRecordIdColumnRows);
  if (profile.queued) {
    AddProperties(
        *AddObject(*columns, u"msrepl_tran_version", u"MSSQL80.Column", u"uniqueidentifier"),
        kVersionColumnRows);
  }
  AddNamedProperties(
      *AddObject(*table->Collection(u"Indexes"), Named(u"PK_TransactionalID", profile.stem),
                 u"MSSQL80.Index", u"PrimaryKeyConstraint"),
      kPrimaryKeyRows, profile.stem);
  if (profile.queued) RecordSyncTriggers(*table, profile.stem);
}

void RecordView(harness::ModelProject& project, std::u16string_view stem) {
  AddNamedProperties(*AddObject(*ProjectCollection(project, u"Views"),
                                Named(u"dbo.vwTransactional", stem), u"MSSQL80.View", u""),
                     kViewRows, stem);
}

void RecordProcedure(harness::ModelProject& project, std::u16string_view stem) {
  AddNamedProperties(
      *AddObject(*ProjectCollection(project, u"StoredProcedures"),
                 Named(u"dbo.spTransactional", stem), u"MSSQL80.StoredProcedure", u""),
      kProcedureRows, stem);
}

// Records the publication and returns its "Articles", which is fetched right
// after the Add, before any property.
harness::ComPtr<harness::ModelCollection> RecordPublication(harness::ModelProject& project,
                                                            const PublicationProfile& profile) {
  auto publication = AddObject(*ProjectCollection(project, u"Publications"),
                               Named(u"pubTransactional", profile.stem), u"MSSQL80.Publication",
                               profile.publication_type);
  auto articles = publication->Collection(u"Articles");
  std::vector<PropertyRow> rows = RowsFor(kPublicationRows, profile.queued);
  ApplyDifferences(rows, profile.publication_differences);
  AddNamedProperties(*publication, rows, profile.stem);
  return articles;
}

void RecordArticle(harness::ModelCollection& articles, const PublicationProfile& profile,
                   const Article& article) {
  auto object = AddObject(articles, article.name, u"MSSQL80.Article",
                          article.is_table_article ? kTableArticleType : profile.view_article_type);
  std::vector<PropertyRow> rows = RowsFor(kArticleRows, profile.queued);
  ApplyDifferences(rows, profile.article_differences);
  const Difference own[] = {
      {u"Name", S(article.name)},
      {u"Description", std::nullopt, S(article.new_description)},
  };
  ApplyDifferences(rows, own);
  AddNamedProperties(*object, rows, profile.stem);
}

std::u16string PublicationStatement(const PublicationProfile& profile) {
  std::u16string statement = u"EXEC sp_addpublication  @publication='pubTransactional'";
  statement += u", @repl_freq='" + std::u16string(profile.repl_freq) + u"'";
  if (profile.queued) statement += u", @allow_queued_tran='true'";
  return Named(statement, profile.stem);
}

std::u16string ArticleStatement(const PublicationProfile& profile, const Article& article) {
  return Named(u"EXEC sp_addarticle  @publication='pubTransactional', @article='" +
                   std::u16string(article.name) +
                   u"', @source_table='tblTransactional', @destination_owner='tkb'",
               profile.stem);
}

}  // namespace

void BuildPublication(const PublicationProfile& profile, harness::ModelProject& project,
                      harness::SqlSession& session, const std::u16string& database) {
  Trap(profile.module, profile.procedure, [&] {
    Execute(session, PlainBatch(database, Named(TableStatement(), profile.stem)));
    RecordTable(project, profile);
    Execute(session, StandardBatch(database, Named(kViewScript, profile.stem)));
    RecordView(project, profile.stem);
    Execute(session, StandardBatch(database, Named(kProcedureScript, profile.stem)));
    RecordProcedure(project, profile.stem);
    Execute(session, PlainBatch(database, PublicationStatement(profile)));
    auto articles = RecordPublication(project, profile);
    for (const Article& article : kArticles) {
      Execute(session, PlainBatch(database, ArticleStatement(profile, article)));
      RecordArticle(*articles, profile, article);
    }
  });
}

}  // namespace tavora::replication
