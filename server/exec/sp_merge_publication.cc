// Merge publications: sp_addmergepublication, sp_addmergearticle and
// sp_dropmergepublication. Each article publishes its own source object.

#include "server/exec/replication.h"
#include "server/exec/system_procedures.h"
#include "server/types/collation.h"

namespace server {

namespace {

struct MergeArticleType {
  const char* type;
  ObjectKind source;
};

constexpr MergeArticleType kMergeTypes[] = {
    {"table", ObjectKind::kTable},
    {"view schema only", ObjectKind::kView},
    {"indexed view schema only", ObjectKind::kView},
    {"proc schema only", ObjectKind::kProcedure},
    {"func schema only", ObjectKind::kFunction},
};

}  // namespace

Status SpAddMergePublication(const ProcArgs& args, ExecContext& ctx) {
  Database* db = ctx.CurrentDatabase();
  if (!db) return Raise(Msg::kDatabaseNotFoundOnUse, {ctx.session.database});
  std::string name = args.Text("@publication");
  if (!db->merge_publish) return Raise(Msg::kDatabaseNotPublished);
  if (Publication* existing = db->FindPublication(name, ctx.collation())) {
    if (existing->kind != PublicationKind::kMerge) return Raise(Msg::kPublicationNameUsed, {name});
    return Raise(Msg::kPublicationExists, {name});
  }
  if (!PublisherReady(ctx)) return Raise(Msg::kNoDistributorForPublication);
  Publication publication;
  int id = 1;
  for (const Publication& other : db->publications) id = other.id >= id ? other.id + 1 : id;
  publication.id = id;
  publication.name = name;
  publication.kind = PublicationKind::kMerge;
  publication.settings = args.Settings();
  db->publications.push_back(std::move(publication));
  ctx.MarkChanged();
  return std::nullopt;
}

Status SpAddMergeArticle(const ProcArgs& args, ExecContext& ctx) {
  Database* db = ctx.CurrentDatabase();
  if (!db) return Raise(Msg::kDatabaseNotFoundOnUse, {ctx.session.database});
  const Collation& collation = ctx.collation();
  std::string publication_name = args.Text("@publication");
  Publication* publication = db->FindPublication(publication_name, collation);
  if (!publication || publication->kind != PublicationKind::kMerge) {
    return Raise(Msg::kPublicationMissing, {publication_name});
  }
  std::string article_name = args.Text("@article");
  for (const Article& article : publication->articles) {
    if (collation.Equal(article.name, article_name))
      return Raise(Msg::kArticleExists, {article_name, publication->name});
  }
  std::string type = args.Given("@type") ? args.Text("@type") : "table";
  const MergeArticleType* known = nullptr;
  for (const MergeArticleType& candidate : kMergeTypes) {
    if (EqualNoCase(candidate.type, type)) known = &candidate;
  }
  if (!known) return Raise(Msg::kInvalidProcedureOption, {args.procedure()});
  std::string source = args.Text("@source_object");
  std::optional<ObjectRef> object = db->FindObject(args.Text("@source_owner"), source, collation);
  if (!object || object->kind != known->source)
    return Raise(Msg::kObjectNotInDatabase, {source, db->name});
  Article article;
  article.id = static_cast<int>(publication->articles.size()) + 1;
  article.name = article_name;
  article.source_owner = object->owner;
  article.source_object = object->name;
  article.type = known->type;
  article.settings = args.Settings();
  publication->articles.push_back(std::move(article));
  ctx.MarkChanged();
  return std::nullopt;
}

Status SpDropMergePublication(const ProcArgs& args, ExecContext& ctx) {
  Database* db = ctx.CurrentDatabase();
  if (!db) return Raise(Msg::kDatabaseNotFoundOnUse, {ctx.session.database});
  std::string name = args.Text("@publication");
  std::vector<std::string> dropped;
  for (const Publication& publication : db->publications) {
    bool named = EqualNoCase(name, "all") || ctx.collation().Equal(publication.name, name);
    if (named && publication.kind == PublicationKind::kMerge) dropped.push_back(publication.name);
  }
  if (dropped.empty() && !EqualNoCase(name, "all")) return Raise(Msg::kPublicationMissing, {name});
  for (const std::string& publication : dropped)
    RemovePublication(*db, publication, ctx.collation());
  if (!dropped.empty()) ctx.MarkChanged();
  return std::nullopt;
}

}  // namespace server
