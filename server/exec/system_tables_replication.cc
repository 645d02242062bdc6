// The replication system tables of a published database: syspublications,
// sysarticles, sysmergepublications and sysmergearticles, made from the
// publications and the options their procedures were given.

#include "server/exec/replication_values.h"
#include "server/exec/system_tables.h"
#include "server/types/collation.h"

namespace server {

namespace {

using namespace sys_type;

constexpr DataType kMergeGuidType{BaseType::kUniqueIdentifier, 16, 0, 0};

constexpr SystemColumn kSysPublications[] = {
    {"description", NVarChar(255)},
    {"name", kSysname},
    {"pubid", kInt},
    {"repl_freq", kTinyInt},
    {"status", kTinyInt},
    {"sync_method", kTinyInt},
    {"snapshot_jobid", Binary(16)},
    {"independent_agent", kBit},
    {"immediate_sync", kBit},
    {"enabled_for_internet", kBit},
    {"allow_push", kBit},
    {"allow_pull", kBit},
    {"allow_anonymous", kBit},
    {"immediate_sync_ready", kBit},
    {"allow_sync_tran", kBit},
    {"autogen_sync_procs", kBit},
    {"retention", kInt},
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
    {"ftp_password", NVarChar(524)},
    {"allow_dts", kBit},
    {"allow_subscription_copy", kBit},
    {"centralized_conflicts", kBit},
    {"conflict_retention", kInt},
    {"conflict_policy", kInt},
    {"queue_type", kInt},
    {"ad_guidname", kSysname},
    {"backward_comp_level", kInt},
};

constexpr SystemColumn kSysArticles[] = {
    {"artid", kInt},
    {"columns", VarBinary(32)},
    {"creation_script", NVarChar(255)},
    {"del_cmd", NVarChar(255)},
    {"description", NVarChar(255)},
    {"dest_table", kSysname},
    {"filter", kInt},
    {"filter_clause", {BaseType::kNText, 16, 0, 0}},
    {"ins_cmd", NVarChar(255)},
    {"name", kSysname},
    {"objid", kInt},
    {"pubid", kInt},
    {"pre_creation_cmd", kTinyInt},
    {"status", kTinyInt},
    {"sync_objid", kInt},
    {"type", kTinyInt},
    {"upd_cmd", NVarChar(255)},
    {"schema_option", Binary(8)},
    {"dest_owner", kSysname},
    {"ins_scripting_proc", kInt},
    {"del_scripting_proc", kInt},
    {"upd_scripting_proc", kInt},
    {"custom_script", NVarChar(2048)},
    {"fire_triggers_on_snapshot", kBit},
};

constexpr SystemColumn kSysMergePublications[] = {
    {"publisher", kSysname},
    {"publisher_db", kSysname},
    {"name", kSysname},
    {"description", NVarChar(255)},
    {"retention", kInt},
    {"publication_type", kTinyInt},
    {"pubid", kMergeGuidType},
    {"designmasterid", kMergeGuidType},
    {"parentid", kMergeGuidType},
    {"sync_mode", kTinyInt},
    {"allow_push", kInt},
    {"allow_pull", kInt},
    {"allow_anonymous", kInt},
    {"centralized_conflicts", kInt},
    {"status", kTinyInt},
    {"snapshot_ready", kTinyInt},
    {"enabled_for_internet", kBit},
    {"dynamic_filters", kBit},
    {"snapshot_in_defaultfolder", kBit},
    {"alt_snapshot_folder", NVarChar(255)},
    {"pre_snapshot_script", NVarChar(255)},
    {"post_snapshot_script", NVarChar(255)},
    {"compress_snapshot", kBit},
    {"ftp_address", kSysname},
    {"ftp_port", kInt},
    {"ftp_subdirectory", NVarChar(255)},
    {"ftp_login", kSysname},
    {"ftp_password", NVarChar(524)},
    {"conflict_retention", kInt},
    {"keep_before_values", kInt},
    {"allow_subscription_copy", kBit},
    {"allow_synctoalternate", kBit},
    {"validate_subscriber_info", NVarChar(500)},
    {"ad_guidname", kSysname},
    {"backward_comp_level", kInt},
    {"max_concurrent_merge", kInt},
    {"max_concurrent_dynamic_snapshots", kInt},
};

constexpr SystemColumn kSysMergeArticles[] = {
    {"name", kSysname},
    {"type", kTinyInt},
    {"objid", kInt},
    {"sync_objid", kInt},
    {"view_type", kTinyInt},
    {"artid", kMergeGuidType},
    {"description", NVarChar(255)},
    {"pre_creation_command", kTinyInt},
    {"pubid", kMergeGuidType},
    {"nickname", kInt},
    {"column_tracking", kInt},
    {"status", kTinyInt},
    {"conflict_table", kSysname},
    {"creation_script", NVarChar(255)},
    {"conflict_script", NVarChar(255)},
    {"article_resolver", NVarChar(255)},
    {"ins_conflict_proc", kSysname},
    {"insert_proc", kSysname},
    {"update_proc", kSysname},
    {"select_proc", kSysname},
    {"schema_option", Binary(8)},
    {"destination_object", kSysname},
    {"resolver_clsid", NVarChar(50)},
    {"subset_filterclause", NVarChar(1000)},
    {"missing_col_count", kInt},
    {"missing_cols", VarBinary(128)},
    {"columns", VarBinary(128)},
    {"resolver_info", NVarChar(255)},
    {"view_sel_proc", NVarChar(290)},
    {"gen_cur", kInt},
    {"vertical_partition", kInt},
    {"identity_support", kInt},
    {"before_image_objid", kInt},
    {"before_view_objid", kInt},
    {"verify_resolver_signature", kInt},
    {"allow_interactive_resolver", kBit},
    {"fast_multicol_updateproc", kBit},
    {"check_permissions", kInt},
};

Value BitOf(bool flag) { return int64_t{flag ? 1 : 0}; }

Value OptionValue(const std::vector<uint8_t>& bytes) { return bytes; }

Status SysPublicationsRows(SystemScope& scope, std::vector<Row>& rows) {
  for (const Publication& p : scope.db.publications) {
    if (p.kind == PublicationKind::kMerge) continue;
    PublicationValues v = ReadPublication(p);
    // The snapshot agent's job and the Active Directory entry are kept by
    // no catalog here: NULL, as before any snapshot.
    rows.push_back({v.description,
                    p.name,
                    SysInt(p.id),
                    v.repl_freq,
                    v.status,
                    v.sync_method,
                    Value(),
                    BitOf(v.independent_agent),
                    BitOf(v.immediate_sync),
                    BitOf(v.enabled_for_internet),
                    BitOf(v.allow_push),
                    BitOf(v.allow_pull),
                    BitOf(v.allow_anonymous),
                    SysInt(0),
                    BitOf(v.allow_sync_tran),
                    BitOf(v.autogen_sync_procs),
                    v.retention,
                    BitOf(v.allow_queued_tran),
                    BitOf(v.snapshot_in_defaultfolder),
                    v.alt_snapshot_folder,
                    v.pre_snapshot_script,
                    v.post_snapshot_script,
                    BitOf(v.compress_snapshot),
                    v.ftp_address,
                    v.ftp_port,
                    v.ftp_subdirectory,
                    v.ftp_login,
                    Value(),  // a password is never shown
                    BitOf(v.allow_dts),
                    BitOf(v.allow_subscription_copy),
                    BitOf(v.centralized_conflicts),
                    v.conflict_retention,
                    v.conflict_policy,
                    v.queue_type,
                    Value(),
                    SysInt(0)});
  }
  return std::nullopt;
}

Status SysArticlesRows(SystemScope& scope, std::vector<Row>& rows) {
  for (const Publication& p : scope.db.publications) {
    if (p.kind == PublicationKind::kMerge) continue;
    for (const Article& a : p.articles) {
      ArticleValues v = ReadArticle(scope.db, p, a, scope.ctx.collation());
      // The column map and the scripting procedures are not kept by the
      // catalog: NULL or 0. Without a filter the article synchronises from
      // its source itself.
      rows.push_back({SysInt(a.id),
                      Value(),
                      v.creation_script,
                      v.del_cmd,
                      v.description,
                      v.dest_table,
                      SysInt(0),
                      v.filter_clause,
                      v.ins_cmd,
                      a.name,
                      SysInt(v.object_id),
                      SysInt(p.id),
                      v.pre_creation_cmd,
                      v.status,
                      SysInt(v.object_id),
                      v.type,
                      v.upd_cmd,
                      OptionValue(v.schema_option),
                      v.dest_owner,
                      SysInt(0),
                      SysInt(0),
                      SysInt(0),
                      Value(),
                      BitOf(v.fire_triggers_on_snapshot)});
    }
  }
  return std::nullopt;
}

Status SysMergePublicationsRows(SystemScope& scope, std::vector<Row>& rows) {
  Database& db = scope.db;
  for (const Publication& p : db.publications) {
    if (p.kind != PublicationKind::kMerge) continue;
    MergePublicationValues v = ReadMergePublication(p);
    std::string guid = MergeGuid(db.dbid, p.id, 0);
    rows.push_back({scope.ctx.server.options.name,
                    db.name,
                    p.name,
                    v.description,
                    v.retention,
                    SysInt(0),
                    guid,
                    guid,
                    guid,
                    v.sync_mode,
                    BitOf(v.allow_push),
                    BitOf(v.allow_pull),
                    BitOf(v.allow_anonymous),
                    BitOf(v.centralized_conflicts),
                    v.status,
                    BitOf(v.snapshot_ready),
                    BitOf(v.enabled_for_internet),
                    BitOf(v.dynamic_filters),
                    BitOf(v.snapshot_in_defaultfolder),
                    v.alt_snapshot_folder,
                    v.pre_snapshot_script,
                    v.post_snapshot_script,
                    BitOf(v.compress_snapshot),
                    v.ftp_address,
                    v.ftp_port,
                    v.ftp_subdirectory,
                    v.ftp_login,
                    Value(),  // a password is never shown
                    v.conflict_retention,
                    BitOf(v.keep_partition_changes),
                    BitOf(v.allow_subscription_copy),
                    BitOf(v.allow_synctoalternate),
                    v.validate_subscriber_info,
                    Value(),
                    SysInt(0),
                    v.max_concurrent_merge,
                    v.max_concurrent_dynamic_snapshots});
  }
  return std::nullopt;
}

Status SysMergeArticlesRows(SystemScope& scope, std::vector<Row>& rows) {
  Database& db = scope.db;
  for (const Publication& p : db.publications) {
    if (p.kind != PublicationKind::kMerge) continue;
    for (const Article& a : p.articles) {
      MergeArticleValues v = ReadMergeArticle(db, a, scope.ctx.collation());
      // The generated procedures, conflict tables and column maps are made
      // by the snapshot, which this server never runs: NULL.
      rows.push_back({a.name,
                      v.type,
                      SysInt(v.object_id),
                      SysInt(v.object_id),
                      SysInt(0),
                      MergeGuid(db.dbid, p.id, a.id),
                      v.description,
                      v.pre_creation_cmd,
                      MergeGuid(db.dbid, p.id, 0),
                      SysInt(a.id),
                      v.column_tracking,
                      v.status,
                      Value(),
                      v.creation_script,
                      Value(),
                      v.article_resolver,
                      Value(),
                      Value(),
                      Value(),
                      Value(),
                      OptionValue(v.schema_option),
                      v.destination_object,
                      Value(),
                      v.subset_filterclause,
                      SysInt(0),
                      Value(),
                      Value(),
                      v.resolver_info,
                      Value(),
                      SysInt(0),
                      BitOf(v.vertical_partition),
                      BitOf(v.auto_identity_range),
                      SysInt(0),
                      SysInt(0),
                      v.verify_resolver_signature,
                      BitOf(v.allow_interactive_resolver),
                      BitOf(v.fast_multicol_updateproc),
                      v.check_permissions});
    }
  }
  return std::nullopt;
}

constexpr SystemTableDef kReplicationTables[] = {
    {"syspublications", kSysPublications, SysPublicationsRows},
    {"sysarticles", kSysArticles, SysArticlesRows},
    {"sysmergepublications", kSysMergePublications, SysMergePublicationsRows},
    {"sysmergearticles", kSysMergeArticles, SysMergeArticlesRows},
};

}  // namespace

std::span<const SystemTableDef> ReplicationSystemTables() { return kReplicationTables; }

}  // namespace server
