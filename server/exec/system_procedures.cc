#include "server/exec/system_procedures.h"

#include "server/exec/help_procedures.h"
#include "server/types/collation.h"

namespace server {

namespace {

constexpr ParamType T = ParamType::kText;
constexpr ParamType I = ParamType::kInt;
constexpr ParamType B = ParamType::kBit;
constexpr ParamType V = ParamType::kVariant;

// The level parameters the extended-property procedures share, after
// their own.
std::vector<ParamSpec> WithLevels(std::vector<ParamSpec> params) {
  static constexpr const char* kLevels[] = {"@level0type", "@level0name", "@level1type",
                                            "@level1name", "@level2type", "@level2name"};
  for (const char* level : kLevels) params.push_back({level, T, false, nullptr});
  return params;
}

// The system procedures this server runs, with SQL Server 2000's parameter
// lists (names, order, required or not, defaults of int and bit ones).
const std::vector<SystemProcedure>& Procedures() {
  static const std::vector<SystemProcedure> kProcedures = {
      {"sp_addtype",
       {{"@typename", T, true, nullptr},
        {"@phystype", T, true, nullptr},
        {"@nulltype", T, false, nullptr},
        {"@owner", T, false, nullptr}},
       SpAddType},
      {"sp_bindefault",
       {{"@defname", T, true, nullptr},
        {"@objname", T, true, nullptr},
        {"@futureonly", T, false, nullptr}},
       SpBindDefault},
      {"sp_unbindefault",
       {{"@objname", T, true, nullptr}, {"@futureonly", T, false, nullptr}},
       SpUnbindDefault},
      {"sp_bindrule",
       {{"@rulename", T, true, nullptr},
        {"@objname", T, true, nullptr},
        {"@futureonly", T, false, nullptr}},
       SpBindRule},
      {"sp_unbindrule",
       {{"@objname", T, true, nullptr}, {"@futureonly", T, false, nullptr}},
       SpUnbindRule},
      {"sp_fulltext_database", {{"@action", T, true, nullptr}}, SpFullTextDatabase},
      {"sp_fulltext_catalog",
       {{"@ftcat", T, true, nullptr}, {"@action", T, true, nullptr}, {"@path", T, false, nullptr}},
       SpFullTextCatalog},
      {"sp_fulltext_table",
       {{"@tabname", T, true, nullptr},
        {"@action", T, true, nullptr},
        {"@ftcat", T, false, nullptr},
        {"@keyname", T, false, nullptr}},
       SpFullTextTable},
      {"sp_fulltext_column",
       {{"@tabname", T, true, nullptr},
        {"@colname", T, true, nullptr},
        {"@action", T, true, nullptr},
        {"@language", I, false, nullptr}},
       SpFullTextColumn},
      {"sp_help_fulltext_tables",
       {{"@fulltext_catalog_name", T, false, nullptr}, {"@table_name", T, false, nullptr}},
       SpHelpFullTextTables,
       true},
      {"sp_help_fulltext_columns",
       {{"@table_name", T, false, nullptr}, {"@column_name", T, false, nullptr}},
       SpHelpFullTextColumns,
       true},
      {"sp_addextendedproperty",
       WithLevels({{"@name", T, true, nullptr}, {"@value", V, false, nullptr}}),
       SpAddExtendedProperty},
      {"sp_updateextendedproperty",
       WithLevels({{"@name", T, true, nullptr}, {"@value", V, false, nullptr}}),
       SpUpdateExtendedProperty},
      {"sp_dropextendedproperty", WithLevels({{"@name", T, true, nullptr}}),
       SpDropExtendedProperty},
      {"sp_dropdistributor",
       {{"@no_checks", B, false, "0"}, {"@ignore_distributor", B, false, "0"}},
       SpDropDistributor},
      {"sp_adddistributor",
       {{"@distributor", T, true, nullptr},
        {"@heartbeat_interval", I, false, "10"},
        {"@password", T, false, nullptr},
        {"@from_scripting", B, false, "0"}},
       SpAddDistributor},
      {"sp_adddistributiondb",
       {{"@database", T, true, nullptr},
        {"@data_folder", T, false, nullptr},
        {"@data_file", T, false, nullptr},
        {"@data_file_size", I, false, nullptr},
        {"@log_folder", T, false, nullptr},
        {"@log_file", T, false, nullptr},
        {"@log_file_size", I, false, nullptr},
        {"@min_distretention", I, false, "0"},
        {"@max_distretention", I, false, "72"},
        {"@history_retention", I, false, "48"},
        {"@security_mode", I, false, "1"},
        {"@login", T, false, nullptr},
        {"@password", T, false, nullptr},
        {"@createmode", I, false, "1"},
        {"@from_scripting", B, false, "0"}},
       SpAddDistributionDb},
      {"sp_adddistpublisher",
       {{"@publisher", T, true, nullptr},
        {"@distribution_db", T, true, nullptr},
        {"@security_mode", I, false, "1"},
        {"@login", T, false, nullptr},
        {"@password", T, false, nullptr},
        {"@working_directory", T, false, nullptr},
        {"@trusted", T, false, nullptr},
        {"@encrypted_password", B, false, "0"},
        {"@thirdparty_flag", B, false, "0"}},
       SpAddDistPublisher},
      {"sp_replicationdboption",
       {{"@dbname", T, true, nullptr},
        {"@optname", T, true, nullptr},
        {"@value", T, true, nullptr},
        {"@ignore_distributor", B, false, "0"},
        {"@from_scripting", B, false, "0"}},
       SpReplicationDbOption},
      {"sp_addpublication",
       {{"@publication", T, true, nullptr},
        {"@taskid", I, false, nullptr},
        {"@restricted", T, false, nullptr},
        {"@sync_method", T, false, nullptr},
        {"@repl_freq", T, false, nullptr},
        {"@description", T, false, nullptr},
        {"@status", T, false, nullptr},
        {"@independent_agent", T, false, nullptr},
        {"@immediate_sync", T, false, nullptr},
        {"@enabled_for_internet", T, false, nullptr},
        {"@allow_push", T, false, nullptr},
        {"@allow_pull", T, false, nullptr},
        {"@allow_anonymous", T, false, nullptr},
        {"@allow_sync_tran", T, false, nullptr},
        {"@autogen_sync_procs", T, false, nullptr},
        {"@retention", I, false, "336"},
        {"@allow_queued_tran", T, false, nullptr},
        {"@snapshot_in_defaultfolder", T, false, nullptr},
        {"@alt_snapshot_folder", T, false, nullptr},
        {"@pre_snapshot_script", T, false, nullptr},
        {"@post_snapshot_script", T, false, nullptr},
        {"@compress_snapshot", T, false, nullptr},
        {"@ftp_address", T, false, nullptr},
        {"@ftp_port", I, false, "21"},
        {"@ftp_subdirectory", T, false, nullptr},
        {"@ftp_login", T, false, nullptr},
        {"@ftp_password", T, false, nullptr},
        {"@allow_dts", T, false, nullptr},
        {"@allow_subscription_copy", T, false, nullptr},
        {"@conflict_policy", T, false, nullptr},
        {"@centralized_conflicts", T, false, nullptr},
        {"@conflict_retention", I, false, "14"},
        {"@queue_type", T, false, nullptr},
        {"@add_to_active_directory", T, false, nullptr},
        {"@logreader_job_name", T, false, nullptr},
        {"@qreader_job_name", T, false, nullptr}},
       SpAddPublication},
      {"sp_addarticle",
       {{"@publication", T, true, nullptr},
        {"@article", T, true, nullptr},
        {"@source_table", T, false, nullptr},
        {"@destination_table", T, false, nullptr},
        {"@vertical_partition", T, false, nullptr},
        {"@type", T, false, nullptr},
        {"@filter", T, false, nullptr},
        {"@sync_object", T, false, nullptr},
        {"@ins_cmd", T, false, nullptr},
        {"@del_cmd", T, false, nullptr},
        {"@upd_cmd", T, false, nullptr},
        {"@creation_script", T, false, nullptr},
        {"@description", T, false, nullptr},
        {"@pre_creation_cmd", T, false, nullptr},
        {"@filter_clause", T, false, nullptr},
        {"@schema_option", V, false, nullptr},
        {"@destination_owner", T, false, nullptr},
        {"@status", I, false, nullptr},
        {"@source_owner", T, false, nullptr},
        {"@sync_object_owner", T, false, nullptr},
        {"@filter_owner", T, false, nullptr},
        {"@source_object", T, false, nullptr},
        {"@artid", I, false, nullptr},
        {"@auto_identity_range", T, false, nullptr},
        {"@pub_identity_range", I, false, nullptr},
        {"@identity_range", I, false, nullptr},
        {"@threshold", I, false, nullptr},
        {"@force_invalidate_snapshot", B, false, "0"}},
       SpAddArticle},
      {"sp_droppublication",
       {{"@publication", T, true, nullptr}, {"@ignore_distributor", B, false, "0"}},
       SpDropPublication},
      {"sp_addmergepublication",
       {{"@publication", T, true, nullptr},
        {"@description", T, false, nullptr},
        {"@retention", I, false, "14"},
        {"@sync_mode", T, false, nullptr},
        {"@allow_push", T, false, nullptr},
        {"@allow_pull", T, false, nullptr},
        {"@allow_anonymous", T, false, nullptr},
        {"@enabled_for_internet", T, false, nullptr},
        {"@centralized_conflicts", T, false, nullptr},
        {"@dynamic_filters", T, false, nullptr},
        {"@snapshot_in_defaultfolder", T, false, nullptr},
        {"@alt_snapshot_folder", T, false, nullptr},
        {"@pre_snapshot_script", T, false, nullptr},
        {"@post_snapshot_script", T, false, nullptr},
        {"@compress_snapshot", T, false, nullptr},
        {"@ftp_address", T, false, nullptr},
        {"@ftp_port", I, false, "21"},
        {"@ftp_subdirectory", T, false, nullptr},
        {"@ftp_login", T, false, nullptr},
        {"@ftp_password", T, false, nullptr},
        {"@conflict_retention", I, false, "14"},
        {"@keep_partition_changes", T, false, nullptr},
        {"@allow_subscription_copy", T, false, nullptr},
        {"@allow_synctoalternate", T, false, nullptr},
        {"@validate_subscriber_info", T, false, nullptr},
        {"@add_to_active_directory", T, false, nullptr},
        {"@max_concurrent_merge", I, false, "0"},
        {"@max_concurrent_dynamic_snapshots", I, false, "0"}},
       SpAddMergePublication},
      {"sp_addmergearticle",
       {{"@publication", T, true, nullptr},
        {"@article", T, true, nullptr},
        {"@source_object", T, true, nullptr},
        {"@type", T, false, nullptr},
        {"@description", T, false, nullptr},
        {"@column_tracking", T, false, nullptr},
        {"@status", T, false, nullptr},
        {"@pre_creation_cmd", T, false, nullptr},
        {"@creation_script", T, false, nullptr},
        {"@schema_option", V, false, nullptr},
        {"@subset_filterclause", T, false, nullptr},
        {"@article_resolver", T, false, nullptr},
        {"@resolver_info", T, false, nullptr},
        {"@source_owner", T, false, nullptr},
        {"@destination_owner", T, false, nullptr},
        {"@vertical_partition", T, false, nullptr},
        {"@auto_identity_range", T, false, nullptr},
        {"@pub_identity_range", I, false, nullptr},
        {"@identity_range", I, false, nullptr},
        {"@threshold", I, false, nullptr},
        {"@verify_resolver_signature", I, false, "1"},
        {"@destination_object", T, false, nullptr},
        {"@allow_interactive_resolver", T, false, nullptr},
        {"@fast_multicol_updateproc", T, false, nullptr},
        {"@check_permissions", I, false, "0"},
        {"@force_invalidate_snapshot", B, false, "0"}},
       SpAddMergeArticle},
      {"sp_dropmergepublication",
       {{"@publication", T, true, nullptr},
        {"@ignore_distributor", B, false, "0"},
        {"@reserved", B, false, "0"}},
       SpDropMergePublication},
      {"sp_helppublication",
       {{"@publication", T, false, nullptr},
        {"@found", I, false, nullptr},
        {"@publisher", T, false, nullptr}},
       SpHelpPublication,
       /*reads_only=*/true},
      {"sp_helparticle",
       {{"@publication", T, true, nullptr},
        {"@article", T, false, nullptr},
        {"@returnfilter", B, false, "1"},
        {"@publisher", T, false, nullptr}},
       SpHelpArticle,
       /*reads_only=*/true},
      {"sp_helpmergepublication",
       {{"@publication", T, false, nullptr},
        {"@found", I, false, nullptr},
        {"@publication_id", V, false, nullptr},
        {"@reserved", T, false, nullptr}},
       SpHelpMergePublication,
       /*reads_only=*/true},
      {"sp_helpmergearticle",
       {{"@publication", T, false, nullptr}, {"@article", T, false, nullptr}},
       SpHelpMergeArticle,
       /*reads_only=*/true},
      {"sp_changepublication",
       {{"@publication", T, false, nullptr},
        {"@property", T, false, nullptr},
        {"@value", T, false, nullptr},
        {"@force_invalidate_snapshot", B, false, "0"},
        {"@force_reinit_subscription", B, false, "0"}},
       SpChangePublication},
      {"sp_changearticle",
       {{"@publication", T, false, nullptr},
        {"@article", T, false, nullptr},
        {"@property", T, false, nullptr},
        {"@value", T, false, nullptr},
        {"@force_invalidate_snapshot", B, false, "0"},
        {"@force_reinit_subscription", B, false, "0"}},
       SpChangeArticle},
      {"sp_changemergepublication",
       {{"@publication", T, true, nullptr},
        {"@property", T, false, nullptr},
        {"@value", T, false, nullptr},
        {"@force_invalidate_snapshot", B, false, "0"},
        {"@force_reinit_subscription", B, false, "0"}},
       SpChangeMergePublication},
      {"sp_changemergearticle",
       {{"@publication", T, true, nullptr},
        {"@article", T, true, nullptr},
        {"@property", T, false, nullptr},
        {"@value", T, false, nullptr},
        {"@force_invalidate_snapshot", B, false, "0"},
        {"@force_reinit_subscription", B, false, "0"}},
       SpChangeMergeArticle},
  };
  return kProcedures;
}

}  // namespace

const SystemProcedure* FindSystemProcedure(std::string_view name) {
  // Each family of procedures keeps its own list.
  static const std::vector<const std::vector<SystemProcedure>*> kFamilies = {
      &Procedures(),
      &OdbcCatalogProcedures(),
      &HelpProcedures(),
  };
  for (const auto* family : kFamilies) {
    for (const SystemProcedure& procedure : *family) {
      if (EqualNoCase(procedure.name, name)) return &procedure;
    }
  }
  return nullptr;
}

ObjectName ParseObjectText(std::string_view text) {
  std::vector<std::string> parts{""};
  char close = 0;  // the quote that ends the part being read, if any
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (close != 0 && c == close && i + 1 < text.size() && text[i + 1] == close) {
      // A doubled closing quote is one character of the name: "]]" or "\"\"".
      parts.back() += c;
      ++i;
    } else if (close != 0 && c == close) {
      close = 0;
    } else if (close != 0) {
      parts.back() += c;
    } else if (c == '[') {
      close = ']';
    } else if (c == '"') {
      close = '"';
    } else if (c == '.') {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  ObjectName name;
  name.parts = static_cast<int>(parts.size());
  name.name = parts.back();
  if (parts.size() >= 2) name.owner = parts[parts.size() - 2];
  if (parts.size() >= 3) name.database = parts[parts.size() - 3];
  if (parts.size() >= 4) name.server = parts[parts.size() - 4];
  return name;
}

bool ParseTrueFalse(const std::string& text, bool& value) {
  if (EqualNoCase(text, "true")) {
    value = true;
    return true;
  }
  if (EqualNoCase(text, "false")) {
    value = false;
    return true;
  }
  return false;
}

std::string_view ProcArgs::procedure() const { return procedure_.name; }

int ProcArgs::Index(std::string_view name) const {
  // Handlers name parameters as they are declared: an exact match first,
  // then any case.
  for (size_t i = 0; i < procedure_.params.size(); ++i) {
    if (procedure_.params[i].name == name) return static_cast<int>(i);
  }
  for (size_t i = 0; i < procedure_.params.size(); ++i) {
    if (EqualNoCase(procedure_.params[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

bool ProcArgs::Given(std::string_view name) const {
  int i = Index(name);
  return i >= 0 && values_[i] && !values_[i]->is_null();
}

std::string ProcArgs::Text(std::string_view name) const {
  const Scalar* value = Get(name);
  if (!value || value->is_null()) return "";
  if (const auto* text = std::get_if<std::string>(&value->value)) return *text;
  return ScalarText(*value);
}

int64_t ProcArgs::Int(std::string_view name) const {
  const Scalar* value = Get(name);
  if (value && !value->is_null()) {
    if (const auto* i = std::get_if<int64_t>(&value->value)) return *i;
  }
  int i = Index(name);
  const char* fallback = i >= 0 ? procedure_.params[i].fallback : nullptr;
  return fallback ? std::stoll(fallback) : 0;
}

const Scalar* ProcArgs::Get(std::string_view name) const {
  int i = Index(name);
  return i >= 0 && values_[i] ? &*values_[i] : nullptr;
}

std::vector<Setting> ProcArgs::Settings() const {
  std::vector<Setting> settings;
  for (size_t i = 0; i < procedure_.params.size(); ++i) {
    if (values_[i] && !values_[i]->is_null())
      settings.push_back({std::string(procedure_.params[i].name), values_[i]->value});
  }
  return settings;
}

}  // namespace server
