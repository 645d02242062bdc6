// The replication change procedures: sp_changepublication,
// sp_changearticle, sp_changemergepublication and sp_changemergearticle.
// A change replaces the option the add procedure kept (or adds it), so the
// new value is what the system tables and help procedures read back. Called
// without @property, each lists the properties it changes.

#include "server/exec/help_procedures.h"
#include "server/exec/replication_values.h"
#include "server/types/collation.h"

namespace server {

namespace {

enum class ChangeKind { kFlag, kInt, kText, kWord };

// One property a change procedure takes: the name callers give, the add
// procedure's parameter that keeps its value, and what values it takes.
struct ChangeableProperty {
  std::string_view name;
  std::string_view setting;
  ChangeKind kind;
  std::vector<std::string_view> words;  // kWord's values, any case
};

using PropertyList = std::vector<ChangeableProperty>;

constexpr ChangeKind kAsFlag = ChangeKind::kFlag;
constexpr ChangeKind kAsInt = ChangeKind::kInt;
constexpr ChangeKind kAsText = ChangeKind::kText;
constexpr ChangeKind kAsWord = ChangeKind::kWord;

const std::vector<std::string_view> kPreCreationWords = {"none", "drop", "delete", "truncate"};

// sp_changepublication's properties, in the documentation's order. taskid
// stays out: it names a task of the old scheduler, which this server never had.
const PropertyList& PublicationProperties() {
  static const PropertyList kList = {
      {"sync_method",
       "@sync_method",
       kAsWord,
       {"native", "character", "bcp native", "bcp character", "concurrent", "concurrent_c"}},
      {"repl_freq", "@repl_freq", kAsWord, {"continuous", "snapshot"}},
      {"description", "@description", kAsText, {}},
      {"status", "@status", kAsWord, {"active", "inactive"}},
      {"independent_agent", "@independent_agent", kAsFlag, {}},
      {"immediate_sync", "@immediate_sync", kAsFlag, {}},
      {"enabled_for_internet", "@enabled_for_internet", kAsFlag, {}},
      {"allow_push", "@allow_push", kAsFlag, {}},
      {"allow_pull", "@allow_pull", kAsFlag, {}},
      {"allow_anonymous", "@allow_anonymous", kAsFlag, {}},
      {"retention", "@retention", kAsInt, {}},
      {"snapshot_in_defaultfolder", "@snapshot_in_defaultfolder", kAsFlag, {}},
      {"alt_snapshot_folder", "@alt_snapshot_folder", kAsText, {}},
      {"pre_snapshot_script", "@pre_snapshot_script", kAsText, {}},
      {"post_snapshot_script", "@post_snapshot_script", kAsText, {}},
      {"compress_snapshot", "@compress_snapshot", kAsFlag, {}},
      {"ftp_address", "@ftp_address", kAsText, {}},
      {"ftp_port", "@ftp_port", kAsInt, {}},
      {"ftp_subdirectory", "@ftp_subdirectory", kAsText, {}},
      {"ftp_login", "@ftp_login", kAsText, {}},
      {"ftp_password", "@ftp_password", kAsText, {}},
      {"allow_subscription_copy", "@allow_subscription_copy", kAsFlag, {}},
      {"centralized_conflicts", "@centralized_conflicts", kAsFlag, {}},
      {"conflict_retention", "@conflict_retention", kAsInt, {}},
      {"conflict_policy", "@conflict_policy", kAsWord, {"pub wins", "sub reinit", "sub wins"}},
      {"queue_type", "@queue_type", kAsWord, {"msmq", "sql"}},
      {"publish_to_active_directory", "@add_to_active_directory", kAsFlag, {}},
  };
  return kList;
}

// sp_changearticle's properties. dest_object names a schema-only
// article's object, kept where a table article keeps its table.
const PropertyList& ArticleProperties() {
  static const PropertyList kList = {
      {"description", "@description", kAsText, {}},
      {"sync_object", "", kAsText, {}},
      {"type", "", kAsText, {}},
      {"ins_cmd", "@ins_cmd", kAsText, {}},
      {"del_cmd", "@del_cmd", kAsText, {}},
      {"upd_cmd", "@upd_cmd", kAsText, {}},
      {"filter", "", kAsText, {}},
      {"dest_table", "@destination_table", kAsText, {}},
      {"dest_object", "@destination_table", kAsText, {}},
      {"creation_script", "@creation_script", kAsText, {}},
      {"pre_creation_cmd", "@pre_creation_cmd", kAsWord, kPreCreationWords},
      {"status",
       "@status",
       kAsWord,
       {"include column names", "no column names", "parameters", "string literals"}},
      {"schema_option", "@schema_option", kAsText, {}},
      {"destination_owner", "@destination_owner", kAsText, {}},
      {"filter_clause", "@filter_clause", kAsText, {}},
  };
  return kList;
}

const PropertyList& MergePublicationProperties() {
  static const PropertyList kList = {
      {"allow_anonymous", "@allow_anonymous", kAsFlag, {}},
      {"allow_pull", "@allow_pull", kAsFlag, {}},
      {"allow_push", "@allow_push", kAsFlag, {}},
      {"allow_subscription_copy", "@allow_subscription_copy", kAsFlag, {}},
      {"allow_synctoalternate", "@allow_synctoalternate", kAsFlag, {}},
      {"alt_snapshot_folder", "@alt_snapshot_folder", kAsText, {}},
      {"centralized_conflicts", "@centralized_conflicts", kAsFlag, {}},
      {"compress_snapshot", "@compress_snapshot", kAsFlag, {}},
      {"conflict_retention", "@conflict_retention", kAsInt, {}},
      {"description", "@description", kAsText, {}},
      {"dynamic_filters", "@dynamic_filters", kAsFlag, {}},
      {"enabled_for_internet", "@enabled_for_internet", kAsFlag, {}},
      {"ftp_address", "@ftp_address", kAsText, {}},
      {"ftp_login", "@ftp_login", kAsText, {}},
      {"ftp_password", "@ftp_password", kAsText, {}},
      {"ftp_port", "@ftp_port", kAsInt, {}},
      {"ftp_subdirectory", "@ftp_subdirectory", kAsText, {}},
      {"keep_partition_changes", "@keep_partition_changes", kAsFlag, {}},
      {"max_concurrent_dynamic_snapshots", "@max_concurrent_dynamic_snapshots", kAsInt, {}},
      {"max_concurrent_merge", "@max_concurrent_merge", kAsInt, {}},
      {"post_snapshot_script", "@post_snapshot_script", kAsText, {}},
      {"pre_snapshot_script", "@pre_snapshot_script", kAsText, {}},
      {"publish_to_active_directory", "@add_to_active_directory", kAsFlag, {}},
      {"retention", "@retention", kAsInt, {}},
      {"snapshot_in_defaultfolder", "@snapshot_in_defaultfolder", kAsFlag, {}},
      {"snapshot_ready", "@snapshot_ready", kAsFlag, {}},
      {"status", "@status", kAsWord, {"active", "inactive"}},
      {"sync_mode", "@sync_mode", kAsWord, {"native", "character", "bcp native", "bcp character"}},
      {"validate_subscriber_info", "@validate_subscriber_info", kAsText, {}},
  };
  return kList;
}

// sp_changemergearticle's properties; the first ones apply to every
// article, the rest (from column_tracking on) to table articles only.
const PropertyList& MergeArticleProperties() {
  static const PropertyList kList = {
      {"creation_script", "@creation_script", kAsText, {}},
      {"description", "@description", kAsText, {}},
      {"pre_creation_command", "@pre_creation_cmd", kAsWord, kPreCreationWords},
      {"schema_option", "@schema_option", kAsText, {}},
      {"status", "@status", kAsWord, {"active", "unsynced"}},
      {"column_tracking", "@column_tracking", kAsFlag, {}},
      {"article_resolver", "@article_resolver", kAsText, {}},
      {"resolver_info", "@resolver_info", kAsText, {}},
      {"subset_filterclause", "@subset_filterclause", kAsText, {}},
      {"allow_interactive_resolver", "@allow_interactive_resolver", kAsFlag, {}},
      {"verify_resolver_signature", "@verify_resolver_signature", kAsInt, {}},
      {"check_permissions", "@check_permissions", kAsInt, {}},
      {"fast_multicol_updateproc", "@fast_multicol_updateproc", kAsFlag, {}},
  };
  return kList;
}

constexpr std::string_view kFirstTableOnlyMergeProperty = "column_tracking";

constexpr SystemColumn kPropertyListColumns[] = {{"properties", sys_type::kSysname}};

// The answer to a call without @property: one row per property.
void SendPropertyList(const PropertyList& list, ExecContext& ctx) {
  std::vector<Row> rows;
  for (const ChangeableProperty& property : list) rows.push_back({std::string(property.name)});
  SendHelpRows(kPropertyListColumns, std::move(rows), ctx);
}

const ChangeableProperty* FindChangeable(const PropertyList& list, std::string_view name) {
  for (const ChangeableProperty& property : list) {
    if (EqualNoCase(property.name, name)) return &property;
  }
  return nullptr;
}

// @value as the property's kind takes it: 'true'/'false' as written in
// lower case, an integer as a number, a word as the list writes it, text as
// given. A NULL text forgets the value, so the default applies again.
Status PropertyValue(const ChangeableProperty& property, const ProcArgs& args, Value& out) {
  std::string text = args.Text("@value");
  bool given = args.Given("@value");
  switch (property.kind) {
    case ChangeKind::kFlag: {
      bool flag = false;
      if (!given || !ParseTrueFalse(text, flag))
        return Raise(Msg::kReplicationTrueFalse, {property.name});
      out = std::string(flag ? "true" : "false");
      return std::nullopt;
    }
    case ChangeKind::kInt: {
      if (!given) return Raise(Msg::kInvalidProcedureOption, {args.procedure()});
      Value number;
      if (Status s = Convert(StringScalar(text, true), DefaultType(BaseType::kInt), false, number))
        return s;
      out = std::move(number);
      return std::nullopt;
    }
    case ChangeKind::kText:
      out = given ? Value(text) : Value();
      return std::nullopt;
    case ChangeKind::kWord:
      for (std::string_view word : property.words) {
        if (given && EqualNoCase(word, text)) {
          out = std::string(word);
          return std::nullopt;
        }
      }
      if (property.words == kPreCreationWords) return Raise(Msg::kPreCreationCommand);
      return Raise(Msg::kInvalidProcedureOption, {args.procedure()});
  }
  return std::nullopt;
}

// Where a change procedure works: the current database, enabled for the
// family's publishing, and its publication named by @publication.
Status FindChangedPublication(const ProcArgs& args, ExecContext& ctx, bool merge, Database*& db,
                              Publication*& publication) {
  db = ctx.CurrentDatabase();
  if (!db) return Raise(Msg::kDatabaseNotFoundOnUse, {ctx.session.database});
  if (!(merge ? db->merge_publish : db->publish)) return Raise(Msg::kDatabaseNotPublished);
  std::string name = args.Text("@publication");
  publication = db->FindPublication(name, ctx.collation());
  if (!publication || (publication->kind == PublicationKind::kMerge) != merge)
    return Raise(Msg::kPublicationMissing, {name});
  return std::nullopt;
}

Status FindChangedArticle(const ProcArgs& args, Publication& publication, ExecContext& ctx,
                          Article*& article) {
  std::string name = args.Text("@article");
  for (Article& candidate : publication.articles) {
    if (ctx.collation().Equal(candidate.name, name)) {
      article = &candidate;
      return std::nullopt;
    }
  }
  return Raise(Msg::kArticleMissing, {name});
}

// schema_option's text: 0x and up to sixteen hexadecimal digits, the
// eight bytes' value.
bool ParseSchemaOption(const std::string& text, std::vector<uint8_t>& bytes) {
  if (text.size() < 3 || text.size() > 18 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X'))
    return false;
  uint64_t bits = 0;
  for (size_t i = 2; i < text.size(); ++i) {
    char c = text[i];
    int digit = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : -1;
    if (digit < 0) return false;
    bits = bits << 4 | static_cast<uint64_t>(digit);
  }
  bytes.assign(8, 0);
  for (int i = 7; i >= 0; --i, bits >>= 8) bytes[i] = static_cast<uint8_t>(bits & 0xFF);
  return true;
}

Status StoreSchemaOption(const ProcArgs& args, std::vector<Setting>& settings) {
  std::vector<uint8_t> bytes;
  if (!ParseSchemaOption(args.Text("@value"), bytes))
    return Raise(Msg::kInvalidProcedureOption, {args.procedure()});
  StoreSetting(settings, "@schema_option", std::move(bytes));
  return std::nullopt;
}

// There is no directory service here: neither publishing a publication to
// one nor taking it out can be done, so a change of either way is refused
// rather than reported as done.
Status RefuseActiveDirectory() {
  return Raise(Msg::kNotSupported, {"Publishing to or removing from Active Directory"});
}

// Virtual subscriptions, one per article, stand for the snapshot kept for
// later subscribers while immediate_sync is on; they count as subscriptions.
bool HasSubscriptions(const Publication& publication) {
  return !publication.articles.empty() && ReadPublication(publication).immediate_sync;
}

bool IsTableArticle(const Article& article) {
  std::string type = article.type;
  for (char& c : type) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return type.find("schema only") == std::string::npos && type.find("exec") == std::string::npos;
}

// A transactional publication needs every table it publishes to have a
// primary key.
Status CheckKeysForContinuous(Database& db, const Publication& publication, ExecContext& ctx) {
  for (const Article& article : publication.articles) {
    if (!IsTableArticle(article)) continue;
    Table* table = db.FindTable(article.source_owner, article.source_object, ctx.collation());
    if (table && !table->PrimaryKey())
      return Raise(Msg::kArticleNeedsPrimaryKey, {article.source_object});
  }
  return std::nullopt;
}

// What a change procedure changes: found by the start the four share.
struct ChangeTarget {
  Database* db = nullptr;
  Publication* publication = nullptr;
  Article* article = nullptr;  // for the article procedures
  const ChangeableProperty* property = nullptr;
  bool listed = false;  // no @property: the list of properties was sent
};

// The four procedures' common start: a database that publishes (merge or
// not); without @property, the list of what `list` changes; else the
// publication, the article when `of_article`, and the property (null when
// `list` has none of that name, which each caller refuses after its own
// narrowing).
Status BeginChange(const ProcArgs& args, ExecContext& ctx, bool merge, bool of_article,
                   const PropertyList& list, ChangeTarget& out) {
  out.db = ctx.CurrentDatabase();
  if (!out.db) return Raise(Msg::kDatabaseNotFoundOnUse, {ctx.session.database});
  if (!(merge ? out.db->merge_publish : out.db->publish)) {
    return Raise(Msg::kDatabaseNotPublished);
  }
  if (!args.Given("@property")) {
    SendPropertyList(list, ctx);
    out.listed = true;
    return std::nullopt;
  }
  if (Status s = FindChangedPublication(args, ctx, merge, out.db, out.publication)) return s;
  if (of_article) {
    if (Status s = FindChangedArticle(args, *out.publication, ctx, out.article)) return s;
  }
  out.property = FindChangeable(list, args.Text("@property"));
  return std::nullopt;
}

}  // namespace

Status SpChangePublication(const ProcArgs& args, ExecContext& ctx) {
  ChangeTarget target;
  if (Status s = BeginChange(args, ctx, /*merge=*/false, /*of_article=*/false,
                             PublicationProperties(), target)) {
    return s;
  }
  if (target.listed) return std::nullopt;
  Database* db = target.db;
  Publication* publication = target.publication;
  const ChangeableProperty* property = target.property;
  if (!property) return Raise(Msg::kReplicationPropertyUnknown, {args.Text("@property")});
  Value value;
  if (Status s = PropertyValue(*property, args, value)) return s;
  const std::string* word = std::get_if<std::string>(&value);
  bool snapshot = publication->kind == PublicationKind::kSnapshot;
  if (property->name == "repl_freq") {
    bool to_snapshot = *word == "snapshot";
    if (!to_snapshot && snapshot) {
      if (Status s = CheckKeysForContinuous(*db, *publication, ctx)) return s;
    }
    publication->kind = to_snapshot ? PublicationKind::kSnapshot : PublicationKind::kTransactional;
    ctx.MarkChanged();
    return std::nullopt;
  }
  if (property->name == "sync_method" && snapshot && word->starts_with("concurrent")) {
    // Concurrent snapshot processing needs the log, which a snapshot
    // publication does not read.
    return Raise(Msg::kInvalidProcedureOption, {args.procedure()});
  }
  if (property->name == "centralized_conflicts" && publication->allow_queued_tran &&
      *word == "false") {
    return Raise(Msg::kQueuedPropertyValue, {"@centralized_conflicts", "false"});
  }
  if (property->name == "publish_to_active_directory") return RefuseActiveDirectory();
  if ((property->name == "conflict_policy" || property->name == "queue_type") &&
      HasSubscriptions(*publication)) {
    return Raise(Msg::kQueueTypeSubscribed);
  }
  StoreSetting(publication->settings, property->setting, std::move(value));
  ctx.MarkChanged();
  return std::nullopt;
}

Status SpChangeArticle(const ProcArgs& args, ExecContext& ctx) {
  ChangeTarget target;
  if (Status s = BeginChange(args, ctx, /*merge=*/false, /*of_article=*/true, ArticleProperties(),
                             target)) {
    return s;
  }
  if (target.listed) return std::nullopt;
  Database* db = target.db;
  Publication* publication = target.publication;
  Article* article = target.article;
  const ChangeableProperty* property = target.property;
  const std::string name = args.Text("@property");
  if (!property) return Raise(Msg::kReplicationPropertyUnknown, {name});
  if (property->setting.empty()) {
    // Filter procedures, synchronisation views and other article types
    // would need objects this server does not make for articles.
    return Raise(Msg::kNotSupported, {"Changing the article property '" + name + "'"});
  }
  if (property->name.ends_with("_cmd") && property->name != "pre_creation_cmd") {
    if (publication->allow_queued_tran || ReadPublication(*publication).allow_dts)
      return Raise(Msg::kQueuedCommandsFixed);
  }
  if (property->name == "schema_option") {
    if (Status s = StoreSchemaOption(args, article->settings)) return s;
    ctx.MarkChanged();
    return std::nullopt;
  }
  Value value;
  if (Status s = PropertyValue(*property, args, value)) return s;
  if (property->name == "status") {
    // The words set or clear one bit each: 8 column names in INSERTs,
    // 16 parameterised commands.
    int64_t status = ReadArticle(*db, *publication, *article, ctx.collation()).status;
    const std::string& word = std::get<std::string>(value);
    if (word == "include column names") status |= 8;
    if (word == "no column names") status &= ~int64_t{8};
    if (word == "parameters") status |= 16;
    if (word == "string literals") status &= ~int64_t{16};
    value = status;
  }
  StoreSetting(article->settings, property->setting, std::move(value));
  ctx.MarkChanged();
  return std::nullopt;
}

Status SpChangeMergePublication(const ProcArgs& args, ExecContext& ctx) {
  ChangeTarget target;
  if (Status s = BeginChange(args, ctx, /*merge=*/true, /*of_article=*/false,
                             MergePublicationProperties(), target)) {
    return s;
  }
  if (target.listed) return std::nullopt;
  Publication* publication = target.publication;
  const ChangeableProperty* property = target.property;
  if (!property) return Raise(Msg::kReplicationPropertyUnknown, {args.Text("@property")});
  Value value;
  if (Status s = PropertyValue(*property, args, value)) return s;
  if (property->name == "publish_to_active_directory") return RefuseActiveDirectory();
  StoreSetting(publication->settings, property->setting, std::move(value));
  ctx.MarkChanged();
  return std::nullopt;
}

Status SpChangeMergeArticle(const ProcArgs& args, ExecContext& ctx) {
  const PropertyList& list = MergeArticleProperties();
  ChangeTarget target;
  if (Status s = BeginChange(args, ctx, /*merge=*/true, /*of_article=*/true, list, target)) {
    return s;
  }
  if (target.listed) return std::nullopt;
  Article* article = target.article;
  const ChangeableProperty* property = target.property;
  const std::string name = args.Text("@property");
  // A schema-only article has no rows, so none of the table properties.
  const ChangeableProperty* first_table_only = FindChangeable(list, kFirstTableOnlyMergeProperty);
  if (property && property >= first_table_only && !IsTableArticle(*article)) property = nullptr;
  if (!property) return Raise(Msg::kReplicationPropertyUnknown, {name});
  if (property->name == "schema_option") {
    if (Status s = StoreSchemaOption(args, article->settings)) return s;
    ctx.MarkChanged();
    return std::nullopt;
  }
  Value value;
  if (Status s = PropertyValue(*property, args, value)) return s;
  StoreSetting(article->settings, property->setting, std::move(value));
  ctx.MarkChanged();
  return std::nullopt;
}

}  // namespace server
