// The replication system tables of a published database: syspublications,
// sysarticles, sysmergepublications and sysmergearticles, made from the
// publications and the options their procedures were given.

#include <cstdio>

#include "server/exec/system_procedures.h"
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

// An option as its procedure was given it; null when it was not.
const Value* FindSetting(const std::vector<Setting>& settings, std::string_view name) {
  for (const Setting& setting : settings) {
    if (EqualNoCase(setting.name, name)) return &setting.value;
  }
  return nullptr;
}

Value SettingText(const std::vector<Setting>& settings, std::string_view name) {
  const Value* value = FindSetting(settings, name);
  return value ? *value : Value();
}

// A 'true'/'false' option as a bit, or the procedure's default.
int64_t SettingFlag(const std::vector<Setting>& settings, std::string_view name, bool fallback) {
  const Value* value = FindSetting(settings, name);
  const auto* text = value ? std::get_if<std::string>(value) : nullptr;
  bool flag = fallback;
  if (text) ParseTrueFalse(*text, flag);
  return flag ? 1 : 0;
}

int64_t SettingInt(const std::vector<Setting>& settings, std::string_view name, int64_t fallback) {
  const Value* value = FindSetting(settings, name);
  const auto* number = value ? std::get_if<int64_t>(value) : nullptr;
  return number ? *number : fallback;
}

// A word option as its code, from `words` in code order; `fallback` when
// absent or unknown.
int64_t SettingCode(const std::vector<Setting>& settings, std::string_view name,
                    std::initializer_list<const char*> words, int64_t fallback) {
  const Value* value = FindSetting(settings, name);
  const auto* text = value ? std::get_if<std::string>(value) : nullptr;
  if (!text) return fallback;
  int64_t code = 0;
  for (const char* word : words) {
    if (EqualNoCase(*text, word)) return code;
    ++code;
  }
  return fallback;
}

int ObjectIdOf(Database& db, const Article& article, const Collation& collation) {
  std::optional<ObjectRef> object =
      db.FindObject(article.source_owner, article.source_object, collation);
  return object ? object->id : 0;
}

// A merge publication's and article's uniqueidentifier: the catalog keeps
// no GUIDs for them, so one is made from the ids, the same on every read.
std::string MergeGuid(int dbid, int pubid, int artid) {
  char text[37];
  std::snprintf(text, sizeof text, "%08X-0000-0000-0000-%04X%08X", pubid, dbid & 0xFFFF, artid);
  return text;
}

Status SysPublicationsRows(SystemScope& scope, std::vector<Row>& rows) {
  for (const Publication& p : scope.db.publications) {
    if (p.kind == PublicationKind::kMerge) continue;
    const auto& s = p.settings;
    // The snapshot agent's job, the conflict policy and queue type are
    // kept by no catalog here: NULL, as before any subscription.
    rows.push_back(
        {SettingText(s, "@description"),
         p.name,
         SysInt(p.id),
         p.kind == PublicationKind::kSnapshot ? int64_t{1} : int64_t{0},
         SettingCode(s, "@status", {"inactive", "active"}, 0),
         SettingCode(s, "@sync_method",
                     {"native", "character", "bcp native", "concurrent", "concurrent_c"}, 0),
         Value(),
         SettingFlag(s, "@independent_agent", false),
         SettingFlag(s, "@immediate_sync", false),
         SettingFlag(s, "@enabled_for_internet", false),
         SettingFlag(s, "@allow_push", true),
         SettingFlag(s, "@allow_pull", false),
         SettingFlag(s, "@allow_anonymous", false),
         SysInt(0),
         SettingFlag(s, "@allow_sync_tran", false),
         SettingFlag(s, "@autogen_sync_procs", false),
         SettingInt(s, "@retention", 336),
         SysInt(p.allow_queued_tran ? 1 : 0),
         SettingFlag(s, "@snapshot_in_defaultfolder", true),
         SettingText(s, "@alt_snapshot_folder"),
         SettingText(s, "@pre_snapshot_script"),
         SettingText(s, "@post_snapshot_script"),
         SettingFlag(s, "@compress_snapshot", false),
         SettingText(s, "@ftp_address"),
         SettingInt(s, "@ftp_port", 21),
         SettingText(s, "@ftp_subdirectory"),
         SettingText(s, "@ftp_login"),
         Value(),  // a password is never shown
         SettingFlag(s, "@allow_dts", false),
         SettingFlag(s, "@allow_subscription_copy", false),
         SettingFlag(s, "@centralized_conflicts", true),
         SettingInt(s, "@conflict_retention", 14),
         Value(),
         Value(),
         Value(),
         SysInt(0)});
  }
  return std::nullopt;
}

Status SysArticlesRows(SystemScope& scope, std::vector<Row>& rows) {
  for (const Publication& p : scope.db.publications) {
    if (p.kind == PublicationKind::kMerge) continue;
    for (const Article& a : p.articles) {
      const auto& s = a.settings;
      // type: 1 a log-based table article, 8 a procedure's execution, 32
      // a schema-only article (SQL Server's codes).
      int64_t type = a.type.find("schema only") != std::string::npos ? 32
                     : a.type.find("exec") != std::string::npos      ? 8
                                                                     : 1;
      Value dest = SettingText(s, "@destination_table");
      if (std::holds_alternative<std::monostate>(dest)) dest = a.source_object;
      // The column map, the scripting procedures and the sync object are
      // not kept by the catalog: 0 or NULL.
      rows.push_back(
          {SysInt(a.id),
           Value(),
           SettingText(s, "@creation_script"),
           SettingText(s, "@del_cmd"),
           SettingText(s, "@description"),
           dest,
           SysInt(0),
           SettingText(s, "@filter_clause"),
           SettingText(s, "@ins_cmd"),
           a.name,
           SysInt(ObjectIdOf(scope.db, a, scope.ctx.collation())),
           SysInt(p.id),
           SettingCode(s, "@pre_creation_cmd", {"none", "drop", "delete", "truncate"}, 1),
           SettingInt(s, "@status", 1),
           SysInt(0),
           type,
           SettingText(s, "@upd_cmd"),
           Value(),
           SettingText(s, "@destination_owner"),
           SysInt(0),
           SysInt(0),
           SysInt(0),
           Value(),
           SysInt(0)});
    }
  }
  return std::nullopt;
}

Status SysMergePublicationsRows(SystemScope& scope, std::vector<Row>& rows) {
  Database& db = scope.db;
  for (const Publication& p : db.publications) {
    if (p.kind != PublicationKind::kMerge) continue;
    const auto& s = p.settings;
    std::string guid = MergeGuid(db.dbid, p.id, 0);
    rows.push_back({scope.ctx.server.options.name,
                    db.name,
                    p.name,
                    SettingText(s, "@description"),
                    SettingInt(s, "@retention", 14),
                    SysInt(0),
                    guid,
                    guid,
                    guid,
                    SettingCode(s, "@sync_mode", {"native", "character"}, 0),
                    SettingFlag(s, "@allow_push", true),
                    SettingFlag(s, "@allow_pull", false),
                    SettingFlag(s, "@allow_anonymous", false),
                    SettingFlag(s, "@centralized_conflicts", true),
                    SysInt(0),
                    SysInt(0),
                    SettingFlag(s, "@enabled_for_internet", false),
                    SettingFlag(s, "@dynamic_filters", false),
                    SettingFlag(s, "@snapshot_in_defaultfolder", true),
                    SettingText(s, "@alt_snapshot_folder"),
                    SettingText(s, "@pre_snapshot_script"),
                    SettingText(s, "@post_snapshot_script"),
                    SettingFlag(s, "@compress_snapshot", false),
                    SettingText(s, "@ftp_address"),
                    SettingInt(s, "@ftp_port", 21),
                    SettingText(s, "@ftp_subdirectory"),
                    SettingText(s, "@ftp_login"),
                    Value(),  // a password is never shown
                    SettingInt(s, "@conflict_retention", 14),
                    SettingFlag(s, "@keep_partition_changes", false),
                    SettingFlag(s, "@allow_subscription_copy", false),
                    SettingFlag(s, "@allow_synctoalternate", false),
                    SettingText(s, "@validate_subscriber_info"),
                    Value(),
                    SysInt(0),
                    SettingInt(s, "@max_concurrent_merge", 0),
                    SettingInt(s, "@max_concurrent_dynamic_snapshots", 0)});
  }
  return std::nullopt;
}

Status SysMergeArticlesRows(SystemScope& scope, std::vector<Row>& rows) {
  Database& db = scope.db;
  for (const Publication& p : db.publications) {
    if (p.kind != PublicationKind::kMerge) continue;
    for (const Article& a : p.articles) {
      const auto& s = a.settings;
      int objid = ObjectIdOf(db, a, scope.ctx.collation());
      // type: 10 a table, 32 a procedure's, view's or function's schema.
      int64_t type = a.type.find("schema only") != std::string::npos ? 32 : 10;
      Value destination = SettingText(s, "@destination_object");
      if (std::holds_alternative<std::monostate>(destination)) destination = a.source_object;
      // The generated procedures, conflict tables and column maps are made
      // by the snapshot, which this server never runs: NULL.
      rows.push_back(
          {a.name,
           type,
           SysInt(objid),
           SysInt(objid),
           SysInt(0),
           MergeGuid(db.dbid, p.id, a.id),
           SettingText(s, "@description"),
           SettingCode(s, "@pre_creation_cmd", {"none", "drop", "delete", "truncate"}, 1),
           MergeGuid(db.dbid, p.id, 0),
           SysInt(a.id),
           SettingCode(s, "@column_tracking", {"false", "true"}, 0),
           SettingCode(s, "@status", {"unsynced", "active"}, 0),
           Value(),
           SettingText(s, "@creation_script"),
           Value(),
           SettingText(s, "@article_resolver"),
           Value(),
           Value(),
           Value(),
           Value(),
           Value(),
           destination,
           Value(),
           SettingText(s, "@subset_filterclause"),
           SysInt(0),
           Value(),
           Value(),
           SettingText(s, "@resolver_info"),
           Value(),
           SysInt(0),
           SettingFlag(s, "@vertical_partition", false),
           SettingFlag(s, "@auto_identity_range", false),
           SysInt(0),
           SysInt(0),
           SettingInt(s, "@verify_resolver_signature", 1),
           SettingFlag(s, "@allow_interactive_resolver", false),
           SettingFlag(s, "@fast_multicol_updateproc", true),
           SettingInt(s, "@check_permissions", 0)});
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
