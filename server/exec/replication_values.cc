#include "server/exec/replication_values.h"

#include <cstdio>

#include "server/exec/system_procedures.h"
#include "server/types/collation.h"

namespace server {

namespace {

Value SettingValue(const std::vector<Setting>& settings, std::string_view name) {
  const Value* value = FindSetting(settings, name);
  return value ? *value : Value();
}

// A 'true'/'false' option as a flag, or `fallback` when not given.
bool SettingFlag(const std::vector<Setting>& settings, std::string_view name, bool fallback) {
  const Value* value = FindSetting(settings, name);
  const auto* text = value ? std::get_if<std::string>(value) : nullptr;
  bool flag = fallback;
  if (text) ParseTrueFalse(*text, flag);
  return flag;
}

int64_t SettingInt(const std::vector<Setting>& settings, std::string_view name, int64_t fallback) {
  const Value* value = FindSetting(settings, name);
  const auto* number = value ? std::get_if<int64_t>(value) : nullptr;
  return number ? *number : fallback;
}

struct WordCode {
  const char* word;
  int64_t code;
};

// A word option as its code; `fallback` when absent or unknown.
int64_t SettingCode(const std::vector<Setting>& settings, std::string_view name,
                    std::initializer_list<WordCode> words, int64_t fallback) {
  const Value* value = FindSetting(settings, name);
  const auto* text = value ? std::get_if<std::string>(value) : nullptr;
  if (!text) return fallback;
  for (const WordCode& word : words) {
    if (EqualNoCase(*text, word.word)) return word.code;
  }
  return fallback;
}

constexpr std::initializer_list<WordCode> kPreCreation = {
    {"none", 0}, {"drop", 1}, {"delete", 2}, {"truncate", 3}};

std::vector<uint8_t> OptionBytes(uint64_t bits) {
  std::vector<uint8_t> bytes(8);
  for (int i = 7; i >= 0; --i, bits >>= 8) bytes[i] = static_cast<uint8_t>(bits & 0xFF);
  return bytes;
}

// @schema_option as binary(8): a binary value is padded on the right, as
// converting to binary(8) pads; a number keeps its low bytes.
std::vector<uint8_t> SchemaOption(const std::vector<Setting>& settings, uint64_t fallback) {
  const Value* value = FindSetting(settings, "@schema_option");
  if (const auto* bytes = value ? std::get_if<std::vector<uint8_t>>(value) : nullptr) {
    std::vector<uint8_t> option(*bytes);
    option.resize(8, 0);
    return option;
  }
  if (const auto* number = value ? std::get_if<int64_t>(value) : nullptr)
    return OptionBytes(static_cast<uint64_t>(*number));
  return OptionBytes(fallback);
}

int SourceId(Database& db, const Article& article, const Collation& collation) {
  std::optional<ObjectRef> object =
      db.FindObject(article.source_owner, article.source_object, collation);
  return object ? object->id : 0;
}

bool TypeHas(const Article& article, std::string_view word) {
  std::string type = article.type;
  for (char& c : type) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return type.find(word) != std::string::npos;
}

// SQL Server's article type codes: a schema-only article by what it
// creates, a procedure's execution, else a log-based table article.
int64_t ArticleTypeCode(const Article& article, int64_t table_code) {
  if (TypeHas(article, "schema only")) {
    if (TypeHas(article, "proc")) return 32;
    if (TypeHas(article, "func")) return 128;
    return 64;
  }
  if (TypeHas(article, "serializable proc exec")) return 24;
  if (TypeHas(article, "proc exec")) return 8;
  return table_code;
}

}  // namespace

const Value* FindSetting(const std::vector<Setting>& settings, std::string_view name) {
  for (const Setting& setting : settings) {
    if (EqualNoCase(setting.name, name)) return &setting.value;
  }
  return nullptr;
}

void StoreSetting(std::vector<Setting>& settings, std::string_view name, Value value) {
  std::erase_if(settings, [&](const Setting& s) { return EqualNoCase(s.name, name); });
  if (!std::holds_alternative<std::monostate>(value))
    settings.push_back({std::string(name), std::move(value)});
}

// Where and how the snapshot goes, the same for every kind of publication.
template <class Values>
void ReadSnapshotDelivery(const std::vector<Setting>& s, Values& v) {
  v.snapshot_in_defaultfolder = SettingFlag(s, "@snapshot_in_defaultfolder", true);
  v.alt_snapshot_folder = SettingValue(s, "@alt_snapshot_folder");
  v.pre_snapshot_script = SettingValue(s, "@pre_snapshot_script");
  v.post_snapshot_script = SettingValue(s, "@post_snapshot_script");
  v.compress_snapshot = SettingFlag(s, "@compress_snapshot", false);
  v.ftp_address = SettingValue(s, "@ftp_address");
  v.ftp_port = SettingInt(s, "@ftp_port", 21);
  v.ftp_subdirectory = SettingValue(s, "@ftp_subdirectory");
  const Value* login = FindSetting(s, "@ftp_login");
  v.ftp_login = login ? *login : Value(std::string("anonymous"));
}

PublicationValues ReadPublication(const Publication& p) {
  const auto& s = p.settings;
  PublicationValues v;
  bool snapshot = p.kind == PublicationKind::kSnapshot;
  bool queued = p.allow_queued_tran;
  v.description = SettingValue(s, "@description");
  v.repl_freq = snapshot ? 1 : 0;
  v.status = SettingCode(s, "@status", {{"inactive", 0}, {"active", 1}}, 0);
  v.sync_method = SettingCode(s, "@sync_method",
                              {{"native", 0},
                               {"character", 1},
                               {"bcp native", 0},
                               {"bcp character", 1},
                               {"concurrent", 3},
                               {"concurrent_c", 4}},
                              0);
  // Queued updating needs a Distribution Agent of the publication's own.
  v.independent_agent = SettingFlag(s, "@independent_agent", queued);
  v.immediate_sync = SettingFlag(s, "@immediate_sync", false);
  v.enabled_for_internet = SettingFlag(s, "@enabled_for_internet", false);
  v.allow_push = SettingFlag(s, "@allow_push", true);
  v.allow_pull = SettingFlag(s, "@allow_pull", false);
  v.allow_anonymous = SettingFlag(s, "@allow_anonymous", false);
  v.allow_sync_tran = SettingFlag(s, "@allow_sync_tran", false);
  // The procedures that apply subscribers' changes are made at the
  // Publisher whenever subscribers may update.
  v.autogen_sync_procs = SettingFlag(s, "@autogen_sync_procs", v.allow_sync_tran || queued);
  v.retention = SettingInt(s, "@retention", 336);
  v.allow_queued_tran = queued;
  ReadSnapshotDelivery(s, v);
  v.allow_dts = SettingFlag(s, "@allow_dts", false);
  v.allow_subscription_copy = SettingFlag(s, "@allow_subscription_copy", false);
  v.centralized_conflicts = SettingFlag(s, "@centralized_conflicts", true);
  v.conflict_retention = SettingInt(s, "@conflict_retention", 14);
  if (queued) {
    // The Publisher wins a transactional publication's conflicts, the
    // Subscriber a snapshot publication's; the queue is SQL Server's own.
    v.conflict_policy =
        SettingCode(s, "@conflict_policy", {{"pub wins", 1}, {"sub reinit", 2}, {"sub wins", 3}},
                    snapshot ? 3 : 1);
    v.queue_type = SettingCode(s, "@queue_type", {{"msmq", 1}, {"sql", 2}}, 2);
  }
  v.publish_to_active_directory = SettingFlag(s, "@add_to_active_directory", false);
  return v;
}

ArticleValues ReadArticle(Database& db, const Publication& p, const Article& a,
                          const Collation& collation) {
  const auto& s = a.settings;
  ArticleValues v;
  v.type = ArticleTypeCode(a, 1);
  v.status = SettingInt(s, "@status", 16);
  v.description = SettingValue(s, "@description");
  if (v.type == 1) {
    // A table's changes reach subscribers through the procedures named
    // after it; a snapshot publication sends plain statements, except the
    // inserts queued updating needs. Queued updating deletes and updates
    // through XCALL, which passes the old values along. (Where SQL Server
    // 2000's default is not shown by a dataset, its documentation is
    // followed: MCALL for updates.)
    bool snapshot = p.kind == PublicationKind::kSnapshot;
    bool queued = p.allow_queued_tran;
    std::string table = a.source_object;
    Value ins = snapshot && !queued ? Value(std::string("SQL")) : Value("CALL sp_MSins_" + table);
    Value del = snapshot ? Value(std::string("SQL"))
                         : Value((queued ? "XCALL sp_MSdel_" : "CALL sp_MSdel_") + table);
    Value upd = snapshot ? Value(std::string("SQL"))
                         : Value((queued ? "XCALL sp_MSupd_" : "MCALL sp_MSupd_") + table);
    const Value* given = FindSetting(s, "@ins_cmd");
    v.ins_cmd = given ? *given : ins;
    given = FindSetting(s, "@del_cmd");
    v.del_cmd = given ? *given : del;
    given = FindSetting(s, "@upd_cmd");
    v.upd_cmd = given ? *given : upd;
  }
  v.creation_script = SettingValue(s, "@creation_script");
  v.vertical_partition = SettingFlag(s, "@vertical_partition", false);
  v.pre_creation_cmd = SettingCode(s, "@pre_creation_cmd", kPreCreation, 1);
  v.filter_clause = SettingValue(s, "@filter_clause");
  // A table article creates the table with its indexes and converts user
  // types; a transactional one adds its keys and the custom procedures.
  // Other articles create their object only.
  uint64_t schema = v.type != 1 ? 0x01 : p.kind == PublicationKind::kSnapshot ? 0x71 : 0xF3;
  v.schema_option = SchemaOption(s, schema);
  const Value* dest = FindSetting(s, "@destination_table");
  v.dest_table = dest ? *dest : Value(a.source_object);
  v.dest_owner = SettingValue(s, "@destination_owner");
  v.object_id = SourceId(db, a, collation);
  v.fire_triggers_on_snapshot = SettingFlag(s, "@fire_triggers_on_snapshot", false);
  return v;
}

MergePublicationValues ReadMergePublication(const Publication& p) {
  const auto& s = p.settings;
  MergePublicationValues v;
  v.description = SettingValue(s, "@description");
  v.status = SettingCode(s, "@status", {{"inactive", 0}, {"active", 1}}, 1);
  v.retention = SettingInt(s, "@retention", 14);
  v.sync_mode =
      SettingCode(s, "@sync_mode",
                  {{"native", 0}, {"character", 1}, {"bcp native", 0}, {"bcp character", 1}}, 0);
  v.allow_push = SettingFlag(s, "@allow_push", true);
  v.allow_pull = SettingFlag(s, "@allow_pull", true);
  v.allow_anonymous = SettingFlag(s, "@allow_anonymous", false);
  v.centralized_conflicts = SettingFlag(s, "@centralized_conflicts", true);
  v.snapshot_ready = SettingFlag(s, "@snapshot_ready", false);
  v.enabled_for_internet = SettingFlag(s, "@enabled_for_internet", false);
  v.dynamic_filters = SettingFlag(s, "@dynamic_filters", false);
  ReadSnapshotDelivery(s, v);
  v.conflict_retention = SettingInt(s, "@conflict_retention", 14);
  v.keep_partition_changes = SettingFlag(s, "@keep_partition_changes", false);
  v.allow_subscription_copy = SettingFlag(s, "@allow_subscription_copy", false);
  v.allow_synctoalternate = SettingFlag(s, "@allow_synctoalternate", false);
  v.validate_subscriber_info = SettingValue(s, "@validate_subscriber_info");
  v.publish_to_active_directory = SettingFlag(s, "@add_to_active_directory", false);
  v.max_concurrent_merge = SettingInt(s, "@max_concurrent_merge", 0);
  v.max_concurrent_dynamic_snapshots = SettingInt(s, "@max_concurrent_dynamic_snapshots", 0);
  return v;
}

MergeArticleValues ReadMergeArticle(Database& db, const Article& a, const Collation& collation) {
  const auto& s = a.settings;
  MergeArticleValues v;
  v.type = ArticleTypeCode(a, 10);
  v.object_id = SourceId(db, a, collation);
  v.description = SettingValue(s, "@description");
  v.pre_creation_cmd = SettingCode(s, "@pre_creation_cmd", kPreCreation, 1);
  v.column_tracking = SettingFlag(s, "@column_tracking", false) ? 1 : 0;
  v.status = SettingCode(s, "@status", {{"unsynced", 0}, {"active", 1}}, 0);
  v.creation_script = SettingValue(s, "@creation_script");
  v.article_resolver = SettingValue(s, "@article_resolver");
  // A table is created with its indexes, keys and base types; a schema-only
  // article creates its object.
  v.schema_option = SchemaOption(s, v.type == 10 ? 0xF1 : 0x01);
  const Value* destination = FindSetting(s, "@destination_object");
  v.destination_object = destination ? *destination : Value(a.source_object);
  v.destination_owner = SettingValue(s, "@destination_owner");
  v.subset_filterclause = SettingValue(s, "@subset_filterclause");
  v.resolver_info = SettingValue(s, "@resolver_info");
  v.vertical_partition = SettingFlag(s, "@vertical_partition", false);
  v.auto_identity_range = SettingFlag(s, "@auto_identity_range", false);
  v.verify_resolver_signature = SettingInt(s, "@verify_resolver_signature", 1);
  v.allow_interactive_resolver = SettingFlag(s, "@allow_interactive_resolver", false);
  v.fast_multicol_updateproc = SettingFlag(s, "@fast_multicol_updateproc", true);
  v.check_permissions = SettingInt(s, "@check_permissions", 0);
  return v;
}

std::string MergeGuid(int dbid, int pubid, int artid) {
  char text[37];
  std::snprintf(text, sizeof text, "%08X-0000-0000-0000-%04X%08X", pubid, dbid & 0xFFFF, artid);
  return text;
}

}  // namespace server
