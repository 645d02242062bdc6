// Publishing a database: sp_replicationdboption, and the transactional and
// snapshot publications with sp_addpublication, sp_addarticle and
// sp_droppublication.

#include <cstdio>

#include "server/exec/publication_common.h"
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
    table.columns.push_back(std::move(column));
    // Existing rows get a value each, as the column's default gives one.
    std::vector<std::pair<RowId, Row>> rows;
    if (Status s = ctx.store.Scan(table, [&rows](RowId id, Row& row) -> Status {
          rows.emplace_back(id, std::move(row));
          return std::nullopt;
        }))
      return s;
    for (auto& [id, row] : rows) {
      row.back() = ctx.server.NewGuid();
      if (Status s = ctx.store.Update(table, id, row)) return s;
    }
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
  Database* db = nullptr;
  Publication publication;
  if (Status s = NewPublication(args, ctx, /*merge=*/false, db, publication)) return s;
  SqlError invalid = Raise(Msg::kInvalidProcedureOption, {args.procedure()});
  std::string frequency = args.Given("@repl_freq") ? args.Text("@repl_freq") : "continuous";
  if (EqualNoCase(frequency, "snapshot")) {
    publication.kind = PublicationKind::kSnapshot;
  } else if (!EqualNoCase(frequency, "continuous")) {
    return invalid;
  }
  if (args.Given("@allow_queued_tran") &&
      !ParseTrueFalse(args.Text("@allow_queued_tran"), publication.allow_queued_tran)) {
    return invalid;
  }
  db->publications.push_back(std::move(publication));
  ctx.MarkChanged();
  return std::nullopt;
}

Status SpAddArticle(const ProcArgs& args, ExecContext& ctx) {
  ArticleTarget target;
  if (Status s = FindArticleTarget(args, ctx, /*merge=*/false, target)) return s;
  Database* db = target.db;
  const Publication* publication = target.publication;
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
  std::optional<ObjectRef> object = db->FindObject(owner, source, ctx.collation());
  if (!object || object->kind != wanted)
    return Raise(Msg::kObjectNotInDatabase, {source, db->name});
  bool table_article = wanted == ObjectKind::kTable;
  bool needs_key =
      publication->kind == PublicationKind::kTransactional || publication->allow_queued_tran;
  if (table_article && needs_key && !object->table->PrimaryKey())
    return Raise(Msg::kArticleNeedsPrimaryKey, {object->name});
  if (table_article && publication->allow_queued_tran) {
    if (Status s = AddQueuedUpdating(*db, *object->table, target.name, ctx)) return s;
  }
  AddArticle(target, *object, type, args, ctx);
  return std::nullopt;
}

Status SpDropPublication(const ProcArgs& args, ExecContext& ctx) {
  return DropPublications(args, ctx, /*merge=*/false);
}

}  // namespace server
