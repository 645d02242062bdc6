// Publishing a database: sp_replicationdboption, and the transactional and
// snapshot publications with sp_addpublication, sp_addarticle and
// sp_droppublication.

#include <cstdio>

#include "server/exec/replication.h"
#include "server/exec/system_procedures.h"
#include "server/types/collation.h"

namespace server {

namespace {

constexpr char kVersionColumn[] = "msrepl_tran_version";

std::string NormalizeOption(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
    out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

int NextPublicationId(const Database& db) {
  int id = 1;
  for (const Publication& publication : db.publications)
    id = publication.id >= id ? publication.id + 1 : id;
  return id;
}

// What SQL Server adds to a table published with queued updating: the
// version column (uniqueidentifier, default newid()) and, per article, a
// sync trigger.
Status AddQueuedUpdating(Database& db, Table& table, const std::string& article, ExecContext& ctx) {
  const Collation& collation = ctx.collation();
  std::string trigger_name = SyncTriggerName(article);
  if (db.FindObject(table.owner, trigger_name, collation))
    return Raise(Msg::kObjectExists, {trigger_name});
  if (table.FindColumn(kVersionColumn, collation) < 0) {
    Column column;
    column.name = kVersionColumn;
    column.type = DefaultType(BaseType::kUniqueIdentifier);
    column.nullable = false;
    column.default_id = db.NewObjectId();
    char id[16];
    std::snprintf(id, sizeof id, "%08X", static_cast<unsigned>(column.default_id));
    column.default_name = "DF__" + table.name.substr(0, 9) + "__msrep__" + id;
    column.default_text = "newid()";
    for (Row& row : table.rows) row.push_back(ctx.server.NewGuid());
    table.columns.push_back(std::move(column));
  }
  Trigger trigger;
  trigger.id = db.NewObjectId();
  trigger.name = trigger_name;
  trigger.owner = table.owner;
  trigger.text = SyncTriggerText(article, table);
  trigger.on_update = true;
  table.triggers.push_back(std::move(trigger));
  return std::nullopt;
}

}  // namespace

Status SpReplicationDbOption(const ProcArgs& args, ExecContext& ctx) {
  std::string name = args.Text("@dbname");
  Database* db = ctx.server.FindDatabase(name);
  if (!db) return Raise(Msg::kDatabaseMissingForProcedure, {name});
  std::string option = NormalizeOption(args.Text("@optname"));
  bool value = false;
  SqlError invalid = Raise(Msg::kInvalidProcedureOption, {args.procedure()});
  if (!ParseTrueFalse(args.Text("@value"), value)) return invalid;
  bool publish = option == "publish";
  bool merge = option == "merge publish";
  if (option == "subscribed" || option == "sync with backup") {
    ctx.MarkChanged();
    return std::nullopt;
  }
  if (!publish && !merge) return invalid;
  if (value) {
    if (db->system || db->distribution) return invalid;
    if (args.Int("@ignore_distributor") == 0 && !PublisherReady(ctx))
      return Raise(Msg::kDistributorNotReady);
  } else {
    // Turning publishing off drops the publications of that kind.
    std::vector<std::string> dropped;
    for (const Publication& publication : db->publications) {
      if ((publication.kind == PublicationKind::kMerge) == merge)
        dropped.push_back(publication.name);
    }
    for (const std::string& publication : dropped)
      RemovePublication(*db, publication, ctx.collation());
  }
  (publish ? db->publish : db->merge_publish) = value;
  ctx.MarkChanged();
  return std::nullopt;
}

Status SpAddPublication(const ProcArgs& args, ExecContext& ctx) {
  Database* db = ctx.CurrentDatabase();
  if (!db) return Raise(Msg::kDatabaseNotFoundOnUse, {ctx.session.database});
  std::string name = args.Text("@publication");
  if (!db->publish) return Raise(Msg::kDatabaseNotPublished);
  if (Publication* existing = db->FindPublication(name, ctx.collation())) {
    if (existing->kind == PublicationKind::kMerge) return Raise(Msg::kPublicationNameUsed, {name});
    return Raise(Msg::kPublicationExists, {name});
  }
  if (!PublisherReady(ctx)) return Raise(Msg::kNoDistributorForPublication);
  SqlError invalid = Raise(Msg::kInvalidProcedureOption, {args.procedure()});
  Publication publication;
  publication.id = NextPublicationId(*db);
  publication.name = name;
  std::string frequency = args.Given("@repl_freq") ? args.Text("@repl_freq") : "continuous";
  if (EqualNoCase(frequency, "continuous")) {
    publication.kind = PublicationKind::kTransactional;
  } else if (EqualNoCase(frequency, "snapshot")) {
    publication.kind = PublicationKind::kSnapshot;
  } else {
    return invalid;
  }
  if (args.Given("@allow_queued_tran") &&
      !ParseTrueFalse(args.Text("@allow_queued_tran"), publication.allow_queued_tran)) {
    return invalid;
  }
  publication.settings = args.Settings();
  db->publications.push_back(std::move(publication));
  ctx.MarkChanged();
  return std::nullopt;
}

Status SpAddArticle(const ProcArgs& args, ExecContext& ctx) {
  Database* db = ctx.CurrentDatabase();
  if (!db) return Raise(Msg::kDatabaseNotFoundOnUse, {ctx.session.database});
  const Collation& collation = ctx.collation();
  std::string publication_name = args.Text("@publication");
  Publication* publication = db->FindPublication(publication_name, collation);
  if (!publication || publication->kind == PublicationKind::kMerge) {
    return Raise(Msg::kPublicationMissing, {publication_name});
  }
  std::string article_name = args.Text("@article");
  for (const Article& article : publication->articles) {
    if (collation.Equal(article.name, article_name))
      return Raise(Msg::kArticleExists, {article_name, publication->name});
  }
  std::string source =
      args.Given("@source_table") ? args.Text("@source_table") : args.Text("@source_object");
  if (source.empty()) return Raise(Msg::kInvalidProcedureOption, {args.procedure()});
  std::string type = args.Given("@type") ? args.Text("@type") : "logbased";
  std::string lowered = NormalizeOption(type);
  ObjectKind wanted = lowered.find("proc") != std::string::npos   ? ObjectKind::kProcedure
                      : lowered.find("func") != std::string::npos ? ObjectKind::kFunction
                      : lowered.find("view") != std::string::npos ? ObjectKind::kView
                                                                  : ObjectKind::kTable;
  std::string owner = args.Text("@source_owner");
  std::optional<ObjectRef> object = db->FindObject(owner, source, collation);
  if (!object || object->kind != wanted)
    return Raise(Msg::kObjectNotInDatabase, {source, db->name});
  bool table_article = wanted == ObjectKind::kTable;
  bool needs_key =
      publication->kind == PublicationKind::kTransactional || publication->allow_queued_tran;
  if (table_article && needs_key && !object->table->PrimaryKey())
    return Raise(Msg::kArticleNeedsPrimaryKey, {object->name});
  if (table_article && publication->allow_queued_tran) {
    if (Status s = AddQueuedUpdating(*db, *object->table, article_name, ctx)) return s;
  }
  Article article;
  article.id = static_cast<int>(publication->articles.size()) + 1;
  article.name = article_name;
  article.source_owner = object->owner;
  article.source_object = object->name;
  article.type = type;
  article.settings = args.Settings();
  publication->articles.push_back(std::move(article));
  ctx.MarkChanged();
  return std::nullopt;
}

Status SpDropPublication(const ProcArgs& args, ExecContext& ctx) {
  Database* db = ctx.CurrentDatabase();
  if (!db) return Raise(Msg::kDatabaseNotFoundOnUse, {ctx.session.database});
  std::string name = args.Text("@publication");
  std::vector<std::string> dropped;
  for (const Publication& publication : db->publications) {
    bool named = EqualNoCase(name, "all") || ctx.collation().Equal(publication.name, name);
    if (named && publication.kind != PublicationKind::kMerge) dropped.push_back(publication.name);
  }
  if (dropped.empty() && !EqualNoCase(name, "all")) return Raise(Msg::kPublicationMissing, {name});
  for (const std::string& publication : dropped)
    RemovePublication(*db, publication, ctx.collation());
  if (!dropped.empty()) ctx.MarkChanged();
  return std::nullopt;
}

}  // namespace server
