// Merge publications: sp_addmergepublication, sp_addmergearticle and
// sp_dropmergepublication. Each article publishes its own source object.

#include "server/exec/publication_common.h"
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
  Database* db = nullptr;
  Publication publication;
  if (Status s = NewPublication(args, ctx, /*merge=*/true, db, publication)) return s;
  db->publications.push_back(std::move(publication));
  ctx.MarkChanged();
  return std::nullopt;
}

Status SpAddMergeArticle(const ProcArgs& args, ExecContext& ctx) {
  ArticleTarget target;
  if (Status s = FindArticleTarget(args, ctx, /*merge=*/true, target)) return s;
  std::string type = args.Given("@type") ? args.Text("@type") : "table";
  const MergeArticleType* known = nullptr;
  for (const MergeArticleType& candidate : kMergeTypes) {
    if (EqualNoCase(candidate.type, type)) known = &candidate;
  }
  if (!known) return Raise(Msg::kInvalidProcedureOption, {args.procedure()});
  std::string source = args.Text("@source_object");
  std::optional<ObjectRef> object =
      target.db->FindObject(args.Text("@source_owner"), source, ctx.collation());
  if (!object || object->kind != known->source)
    return Raise(Msg::kObjectNotInDatabase, {source, target.db->name});
  AddArticle(target, *object, known->type, args, ctx);
  return std::nullopt;
}

Status SpDropMergePublication(const ProcArgs& args, ExecContext& ctx) {
  return DropPublications(args, ctx, /*merge=*/true);
}

}  // namespace server
