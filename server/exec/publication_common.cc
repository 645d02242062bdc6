#include "server/exec/publication_common.h"

#include "server/exec/replication.h"
#include "server/types/collation.h"

namespace server {

namespace {

bool OfFamily(const Publication& publication, bool merge) {
  return (publication.kind == PublicationKind::kMerge) == merge;
}

int NextPublicationId(const Database& db) {
  int id = 1;
  for (const Publication& publication : db.publications)
    id = publication.id >= id ? publication.id + 1 : id;
  return id;
}

}  // namespace

Status NewPublication(const ProcArgs& args, ExecContext& ctx, bool merge, Database*& db,
                      Publication& publication) {
  db = ctx.CurrentDatabase();
  if (!db) return Raise(Msg::kDatabaseNotFoundOnUse, {ctx.session.database});
  std::string name = args.Text("@publication");
  if (!(merge ? db->merge_publish : db->publish)) return Raise(Msg::kDatabaseNotPublished);
  if (Publication* existing = db->FindPublication(name, ctx.collation())) {
    if (!OfFamily(*existing, merge)) return Raise(Msg::kPublicationNameUsed, {name});
    return Raise(Msg::kPublicationExists, {name});
  }
  if (!PublisherReady(ctx)) return Raise(Msg::kNoDistributorForPublication);
  publication.id = NextPublicationId(*db);
  publication.name = name;
  publication.kind = merge ? PublicationKind::kMerge : PublicationKind::kTransactional;
  publication.settings = args.Settings();
  return std::nullopt;
}

Status FindArticleTarget(const ProcArgs& args, ExecContext& ctx, bool merge,
                         ArticleTarget& target) {
  target.db = ctx.CurrentDatabase();
  if (!target.db) return Raise(Msg::kDatabaseNotFoundOnUse, {ctx.session.database});
  const Collation& collation = ctx.collation();
  std::string publication_name = args.Text("@publication");
  target.publication = target.db->FindPublication(publication_name, collation);
  if (!target.publication || !OfFamily(*target.publication, merge)) {
    return Raise(Msg::kPublicationMissing, {publication_name});
  }
  target.name = args.Text("@article");
  for (const Article& article : target.publication->articles) {
    if (collation.Equal(article.name, target.name))
      return Raise(Msg::kArticleExists, {target.name, target.publication->name});
  }
  return std::nullopt;
}

void AddArticle(const ArticleTarget& target, const ObjectRef& object, std::string type,
                const ProcArgs& args, ExecContext& ctx) {
  Article article;
  article.id = static_cast<int>(target.publication->articles.size()) + 1;
  article.name = target.name;
  article.source_owner = object.owner;
  article.source_object = object.name;
  article.type = std::move(type);
  article.settings = args.Settings();
  target.publication->articles.push_back(std::move(article));
  ctx.MarkChanged();
}

Status DropPublications(const ProcArgs& args, ExecContext& ctx, bool merge) {
  Database* db = ctx.CurrentDatabase();
  if (!db) return Raise(Msg::kDatabaseNotFoundOnUse, {ctx.session.database});
  std::string name = args.Text("@publication");
  std::vector<std::string> dropped;
  for (const Publication& publication : db->publications) {
    bool named = EqualNoCase(name, "all") || ctx.collation().Equal(publication.name, name);
    if (named && OfFamily(publication, merge)) dropped.push_back(publication.name);
  }
  if (dropped.empty() && !EqualNoCase(name, "all")) return Raise(Msg::kPublicationMissing, {name});
  for (const std::string& publication : dropped)
    RemovePublication(*db, publication, ctx.collation());
  if (!dropped.empty()) ctx.MarkChanged();
  return std::nullopt;
}

}  // namespace server
