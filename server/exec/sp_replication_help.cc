// The replication help procedures: sp_helppublication, sp_helparticle,
// sp_helpmergepublication and sp_helpmergearticle. Their result sets have
// SQL Server 2000's documented columns, names, types and order; the values
// come from the same reading of the catalog as the replication system
// tables (replication_values.h).

#include "server/exec/help_procedures.h"
#include "server/exec/like.h"
#include "server/exec/replication_values.h"
#include "server/types/collation.h"

namespace server {

namespace {

using namespace sys_type;

constexpr DataType kHelpGuidType{BaseType::kUniqueIdentifier, 16, 0, 0};
constexpr DataType kHelpNTextType{BaseType::kNText, 16, 0, 0};
constexpr DataType kHelpFloatType{BaseType::kFloat, 8, 53, 0};

constexpr SystemColumn kPublicationColumns[] = {
    {"pubid", kInt},
    {"name", kSysname},
    {"restricted", kInt},
    {"status", kTinyInt},
    // The documentation gives 'task' no type; an int, always 0, as nothing
    // schedules the old tasks.
    {"task", kInt},
    {"replication frequency", kTinyInt},
    {"synchronization method", kTinyInt},
    {"description", NVarChar(255)},
    {"immediate_sync", kBit},
    {"enabled_for_internet", kBit},
    {"allow_push", kBit},
    {"allow_pull", kBit},
    {"allow_anonymous", kBit},
    {"independent_agent", kBit},
    {"immediate_sync_ready", kBit},
    {"allow_sync_tran", kBit},
    {"autogen_sync_procs", kBit},
    {"snapshot_jobid", Binary(16)},
    {"retention", kInt},
    {"has subscription", kBit},
    {"allow_queued_tran", kBit},
    {"snapshot_in_defaultfolder", kBit},
    {"alt_snapshot_folder", NVarChar(255)},
    {"pre_snapshot_script", NVarChar(255)},
    {"post_snapshot_script", NVarChar(255)},
    {"compress_snapshot", kBit},
    {"ftp_address", kSysname},
    {"ftp_port", kInt},
    {"ftp_subdirectory", NVarChar(255)},
    {"ftp_login", kSysname},
    {"allow_dts", kBit},
    {"allow_subscription_copy", kBit},
    {"centralized_conflicts", kBit},
    {"conflict_retention", kInt},
    {"conflict_policy", kInt},
    {"queue_type", kInt},
    {"backward_comp_level", kInt},
    {"publish_to_AD", kBit},
};

constexpr SystemColumn kArticleColumns[] = {
    {"article id", kInt},
    {"article name", kSysname},
    {"base object", NVarChar(257)},
    {"synchronization object", NVarChar(257)},
    {"type", kSmallInt},
    {"status", kTinyInt},
    {"filter", NVarChar(257)},
    {"description", NVarChar(255)},
    {"insert_command", NVarChar(255)},
    {"update_command", NVarChar(255)},
    {"delete_command", NVarChar(255)},
    {"creation script path", NVarChar(255)},
    {"vertical partition", kBit},
    {"pre_creation_cmd", kTinyInt},
    {"filter_clause", kHelpNTextType},
    {"schema_option", Binary(8)},
    {"dest_table", kSysname},
    {"source_owner", kSysname},
    {"source_object", kSysname},
    {"sync_object_owner", kSysname},
    {"sync_object", kSysname},
    {"filter_owner", kSysname},
    {"filter_object", kSysname},
    {"auto_identity_range", kInt},
    {"publisher_identity_range", kInt},
    {"identity_range", kBigInt},
    {"threshold", kBigInt},
    {"fire_triggers_on_snapshot", kBit},
};

constexpr SystemColumn kMergePublicationColumns[] = {
    {"id", kInt},
    {"name", kSysname},
    {"description", NVarChar(255)},
    {"status", kTinyInt},
    {"retention", kInt},
    {"sync_mode", kTinyInt},
    {"allow_push", kInt},
    {"allow_pull", kInt},
    {"allow_anonymous", kInt},
    {"centralized_conflicts", kInt},
    {"priority", kHelpFloatType},
    {"snapshot_ready", kTinyInt},
    {"publication_type", kInt},
    {"pubid", kHelpGuidType},
    {"snapshot_jobid", Binary(16)},
    {"enabled_for_internet", kInt},
    {"dynamic_filter", kInt},
    {"has_subscription", kBit},
    {"snapshot_in_default_folder", kBit},
    {"alt_snapshot_folder", NVarChar(255)},
    {"pre_snapshot_script", NVarChar(255)},
    {"post_snapshot_script", NVarChar(255)},
    {"compress_snapshot", kBit},
    {"ftp_address", kSysname},
    {"ftp_port", kInt},
    {"ftp_subdirectory", NVarChar(255)},
    {"ftp_login", kSysname},
    {"conflict_retention", kInt},
    {"keep_before_values", kInt},
    {"allow_subscription_copy", kBit},
    {"allow_synctoalternate", kBit},
    {"validate_subscriber_info", NVarChar(500)},
    {"backward_comp_level", kInt},
    {"publish_to_activedirectory", kBit},
    {"max_concurrent_merge", kInt},
    {"max_concurrent_dynamic_snapshots", kInt},
};

constexpr SystemColumn kMergeArticleColumns[] = {
    {"id", kInt},
    {"name", kSysname},
    {"source_owner", kSysname},
    {"source_object", kSysname},
    {"sync_object_owner", kSysname},
    {"sync_object", kSysname},
    {"description", NVarChar(255)},
    {"status", kTinyInt},
    {"creation_script", NVarChar(255)},
    {"conflict_table", NVarChar(270)},
    {"article_resolver", NVarChar(255)},
    {"subset_filterclause", NVarChar(1000)},
    {"pre_creation_command", kTinyInt},
    {"schema_option", Binary(8)},
    {"type", kSmallInt},
    {"column_tracking", kInt},
    {"resolver_info", NVarChar(255)},
    {"vertical_partition", kBit},
    {"destination_owner", kSysname},
    {"identity_support", kInt},
    {"pub_identity_range", kBigInt},
    {"identity_range", kBigInt},
    {"threshold", kInt},
    {"verify_resolver_signature", kInt},
    {"destination_object", kSysname},
    {"allow_interactive_resolver", kInt},
    {"fast_multicol_updateproc", kInt},
    {"check_permissions", kInt},
};

Value HelpBit(bool flag) { return int64_t{flag ? 1 : 0}; }

bool HasWildcard(std::string_view pattern) {
  return pattern.find_first_of("%_[") != std::string_view::npos;
}

// The family's publications whose names match @publication (a LIKE
// pattern, % for all). A name without wildcards that matches none is an
// error, as is a database not enabled for the family's publishing.
Status MatchPublications(const ProcArgs& args, ExecContext& ctx, bool merge, Database*& db,
                         std::vector<Publication*>& found) {
  db = ctx.CurrentDatabase();
  if (!db) return Raise(Msg::kDatabaseNotFoundOnUse, {ctx.session.database});
  if (!(merge ? db->merge_publish : db->publish)) return Raise(Msg::kDatabaseNotPublished);
  std::string pattern = args.Given("@publication") ? args.Text("@publication") : "%";
  for (Publication& publication : db->publications) {
    if ((publication.kind == PublicationKind::kMerge) != merge) continue;
    if (LikeMatch(publication.name, pattern, ctx.collation())) found.push_back(&publication);
  }
  if (found.empty() && !HasWildcard(pattern)) return Raise(Msg::kPublicationMissing, {pattern});
  return std::nullopt;
}

std::string ArticlePattern(const ProcArgs& args) {
  return args.Given("@article") ? args.Text("@article") : "%";
}

// The articles of `publication` matching @article (% for all).
void MatchArticles(const ProcArgs& args, ExecContext& ctx, const Publication& publication,
                   std::vector<const Article*>& found) {
  std::string pattern = ArticlePattern(args);
  for (const Article& article : publication.articles) {
    if (LikeMatch(article.name, pattern, ctx.collation())) found.push_back(&article);
  }
}

std::string OwnerDotName(const Article& article) {
  return article.source_owner + "." + article.source_object;
}

}  // namespace

Status SpHelpPublication(const ProcArgs& args, ExecContext& ctx) {
  Database* db = nullptr;
  std::vector<Publication*> publications;
  if (Status s = MatchPublications(args, ctx, /*merge=*/false, db, publications)) return s;
  std::vector<Row> rows;
  for (const Publication* p : publications) {
    PublicationValues v = ReadPublication(*p);
    // No snapshot is ever made and nothing subscribes: no job, no ready
    // snapshot, no subscription.
    rows.push_back({SysInt(p->id),
                    p->name,
                    SysInt(0),
                    v.status,
                    SysInt(0),
                    v.repl_freq,
                    v.sync_method,
                    v.description,
                    HelpBit(v.immediate_sync),
                    HelpBit(v.enabled_for_internet),
                    HelpBit(v.allow_push),
                    HelpBit(v.allow_pull),
                    HelpBit(v.allow_anonymous),
                    HelpBit(v.independent_agent),
                    HelpBit(false),
                    HelpBit(v.allow_sync_tran),
                    HelpBit(v.autogen_sync_procs),
                    Value(),
                    v.retention,
                    HelpBit(false),
                    HelpBit(v.allow_queued_tran),
                    HelpBit(v.snapshot_in_defaultfolder),
                    v.alt_snapshot_folder,
                    v.pre_snapshot_script,
                    v.post_snapshot_script,
                    HelpBit(v.compress_snapshot),
                    v.ftp_address,
                    v.ftp_port,
                    v.ftp_subdirectory,
                    v.ftp_login,
                    HelpBit(v.allow_dts),
                    HelpBit(v.allow_subscription_copy),
                    HelpBit(v.centralized_conflicts),
                    v.conflict_retention,
                    v.conflict_policy,
                    v.queue_type,
                    SysInt(0),
                    HelpBit(v.publish_to_active_directory)});
  }
  SendHelpRows(kPublicationColumns, std::move(rows), ctx);
  return std::nullopt;
}

Status SpHelpArticle(const ProcArgs& args, ExecContext& ctx) {
  Database* db = ctx.CurrentDatabase();
  if (!db) return Raise(Msg::kDatabaseNotFoundOnUse, {ctx.session.database});
  if (!db->publish) return Raise(Msg::kDatabaseNotPublished);
  std::string name = args.Text("@publication");
  Publication* publication = db->FindPublication(name, ctx.collation());
  if (!publication || publication->kind == PublicationKind::kMerge)
    return Raise(Msg::kPublicationMissing, {name});
  std::vector<const Article*> articles;
  MatchArticles(args, ctx, *publication, articles);
  // A name without wildcards that names no article is an error.
  if (articles.empty() && !HasWildcard(ArticlePattern(args)))
    return Raise(Msg::kArticleMissing, {ArticlePattern(args)});
  bool with_filter = args.Int("@returnfilter") != 0;
  std::vector<Row> rows;
  for (const Article* a : articles) {
    ArticleValues v = ReadArticle(*db, *publication, *a, ctx.collation());
    // Without a filter procedure or view of its own, an article
    // synchronises from its source.
    rows.push_back({SysInt(a->id),
                    a->name,
                    OwnerDotName(*a),
                    OwnerDotName(*a),
                    v.type,
                    v.status,
                    Value(),
                    v.description,
                    v.ins_cmd,
                    v.upd_cmd,
                    v.del_cmd,
                    v.creation_script,
                    HelpBit(v.vertical_partition),
                    v.pre_creation_cmd,
                    with_filter ? v.filter_clause : Value(),
                    v.schema_option,
                    v.dest_table,
                    a->source_owner,
                    a->source_object,
                    a->source_owner,
                    a->source_object,
                    Value(),
                    Value(),
                    SysInt(0),
                    Value(),
                    Value(),
                    Value(),
                    HelpBit(v.fire_triggers_on_snapshot)});
  }
  SendHelpRows(kArticleColumns, std::move(rows), ctx);
  return std::nullopt;
}

Status SpHelpMergePublication(const ProcArgs& args, ExecContext& ctx) {
  Database* db = nullptr;
  std::vector<Publication*> publications;
  if (Status s = MatchPublications(args, ctx, /*merge=*/true, db, publications)) return s;
  std::vector<Row> rows;
  int64_t position = 0;
  for (const Publication* p : publications) {
    MergePublicationValues v = ReadMergePublication(*p);
    // id numbers the rows; the Publisher's own priority is the top one,
    // 100. No snapshot job and no subscription exist.
    rows.push_back({++position,
                    p->name,
                    v.description,
                    v.status,
                    v.retention,
                    v.sync_mode,
                    HelpBit(v.allow_push),
                    HelpBit(v.allow_pull),
                    HelpBit(v.allow_anonymous),
                    HelpBit(v.centralized_conflicts),
                    100.0,
                    HelpBit(v.snapshot_ready),
                    SysInt(0),
                    MergeGuid(db->dbid, p->id, 0),
                    Value(),
                    HelpBit(v.enabled_for_internet),
                    HelpBit(v.dynamic_filters),
                    HelpBit(false),
                    HelpBit(v.snapshot_in_defaultfolder),
                    v.alt_snapshot_folder,
                    v.pre_snapshot_script,
                    v.post_snapshot_script,
                    HelpBit(v.compress_snapshot),
                    v.ftp_address,
                    v.ftp_port,
                    v.ftp_subdirectory,
                    v.ftp_login,
                    v.conflict_retention,
                    HelpBit(v.keep_partition_changes),
                    HelpBit(v.allow_subscription_copy),
                    HelpBit(v.allow_synctoalternate),
                    v.validate_subscriber_info,
                    SysInt(0),
                    HelpBit(v.publish_to_active_directory),
                    v.max_concurrent_merge,
                    v.max_concurrent_dynamic_snapshots});
  }
  SendHelpRows(kMergePublicationColumns, std::move(rows), ctx);
  return std::nullopt;
}

Status SpHelpMergeArticle(const ProcArgs& args, ExecContext& ctx) {
  Database* db = nullptr;
  std::vector<Publication*> publications;
  if (Status s = MatchPublications(args, ctx, /*merge=*/true, db, publications)) return s;
  std::vector<std::pair<const Publication*, const Article*>> matched;
  for (const Publication* p : publications) {
    std::vector<const Article*> articles;
    MatchArticles(args, ctx, *p, articles);
    for (const Article* a : articles) matched.emplace_back(p, a);
  }
  if (matched.empty() && !HasWildcard(ArticlePattern(args)))
    return Raise(Msg::kArticleMissing, {ArticlePattern(args)});
  std::vector<Row> rows;
  for (const auto& [p, a] : matched) {
    MergeArticleValues v = ReadMergeArticle(*db, *a, ctx.collation());
    // The conflict table and the synchronising view come with the
    // snapshot, which is never made: NULL.
    rows.push_back({SysInt(a->id),
                    a->name,
                    a->source_owner,
                    a->source_object,
                    Value(),
                    Value(),
                    v.description,
                    v.status,
                    v.creation_script,
                    Value(),
                    v.article_resolver,
                    v.subset_filterclause,
                    v.pre_creation_cmd,
                    v.schema_option,
                    v.type,
                    v.column_tracking,
                    v.resolver_info,
                    HelpBit(v.vertical_partition),
                    v.destination_owner,
                    HelpBit(v.auto_identity_range),
                    Value(),
                    Value(),
                    Value(),
                    v.verify_resolver_signature,
                    v.destination_object,
                    HelpBit(v.allow_interactive_resolver),
                    HelpBit(v.fast_multicol_updateproc),
                    v.check_permissions});
  }
  SendHelpRows(kMergeArticleColumns, std::move(rows), ctx);
  return std::nullopt;
}

}  // namespace server
