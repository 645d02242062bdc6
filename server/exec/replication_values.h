#ifndef TAVORA_SERVER_EXEC_REPLICATION_VALUES_H_
#define TAVORA_SERVER_EXEC_REPLICATION_VALUES_H_

// What a publication or an article reports: its every property as the
// replication system tables and the help procedures show it, worked out
// from the options its add and change procedures were given and from the
// defaults SQL Server 2000 gives the rest. One reading serves the tables,
// sp_helppublication, sp_helparticle, sp_helpmergepublication and
// sp_helpmergearticle, so they cannot disagree.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "server/catalog/database.h"
#include "server/catalog/publication.h"

namespace server {

class Collation;

// A transactional or snapshot publication.
struct PublicationValues {
  Value description;
  int64_t repl_freq = 0;    // 0 continuous, 1 snapshot
  int64_t status = 0;       // 0 inactive, 1 active
  int64_t sync_method = 0;  // 0 native, 1 character, 3 concurrent, 4 concurrent_c
  bool independent_agent = false;
  bool immediate_sync = false;
  bool enabled_for_internet = false;
  bool allow_push = true;
  bool allow_pull = false;
  bool allow_anonymous = false;
  bool allow_sync_tran = false;
  bool autogen_sync_procs = false;
  int64_t retention = 336;
  bool allow_queued_tran = false;
  bool snapshot_in_defaultfolder = true;
  Value alt_snapshot_folder;
  Value pre_snapshot_script;
  Value post_snapshot_script;
  bool compress_snapshot = false;
  Value ftp_address;
  int64_t ftp_port = 21;
  Value ftp_subdirectory;
  Value ftp_login;
  bool allow_dts = false;
  bool allow_subscription_copy = false;
  bool centralized_conflicts = true;
  int64_t conflict_retention = 14;
  Value conflict_policy;  // 1 pub wins, 2 sub reinit, 3 sub wins; NULL unless queued
  Value queue_type;       // 1 msmq, 2 sql; NULL unless queued
  bool publish_to_active_directory = false;
};
PublicationValues ReadPublication(const Publication& publication);

// An article of a transactional or snapshot publication.
struct ArticleValues {
  int64_t type = 1;     // 1 log based, 8 procedure execution, 32/64/128 schema only
  int64_t status = 16;  // 8 column names in INSERTs, 16 parameterised commands
  Value description;
  Value ins_cmd;
  Value upd_cmd;
  Value del_cmd;
  Value creation_script;
  bool vertical_partition = false;
  int64_t pre_creation_cmd = 1;  // 0 none, 1 drop, 2 delete, 3 truncate
  Value filter_clause;
  std::vector<uint8_t> schema_option;  // eight bytes, high byte first
  Value dest_table;
  Value dest_owner;
  int object_id = 0;  // the source's id; 0 when it is gone
  bool fire_triggers_on_snapshot = false;
};
ArticleValues ReadArticle(Database& db, const Publication& publication, const Article& article,
                          const Collation& collation);

// A merge publication.
struct MergePublicationValues {
  Value description;
  int64_t status = 1;  // 0 inactive, 1 active
  int64_t retention = 14;
  int64_t sync_mode = 0;  // 0 native, 1 character
  bool allow_push = true;
  bool allow_pull = true;
  bool allow_anonymous = false;
  bool centralized_conflicts = true;
  bool snapshot_ready = false;
  bool enabled_for_internet = false;
  bool dynamic_filters = false;
  bool snapshot_in_defaultfolder = true;
  Value alt_snapshot_folder;
  Value pre_snapshot_script;
  Value post_snapshot_script;
  bool compress_snapshot = false;
  Value ftp_address;
  int64_t ftp_port = 21;
  Value ftp_subdirectory;
  Value ftp_login;
  int64_t conflict_retention = 14;
  bool keep_partition_changes = false;
  bool allow_subscription_copy = false;
  bool allow_synctoalternate = false;
  Value validate_subscriber_info;
  bool publish_to_active_directory = false;
  int64_t max_concurrent_merge = 0;
  int64_t max_concurrent_dynamic_snapshots = 0;
};
MergePublicationValues ReadMergePublication(const Publication& publication);

// An article of a merge publication.
struct MergeArticleValues {
  int64_t type = 10;  // 10 table, 32 procedure, 64 view, 128 function schema only
  int object_id = 0;
  Value description;
  int64_t pre_creation_cmd = 1;  // 0 none, 1 drop, 2 delete, 3 truncate
  int64_t column_tracking = 0;
  int64_t status = 0;  // 0 unsynced, 1 active
  Value creation_script;
  Value article_resolver;
  std::vector<uint8_t> schema_option;
  Value destination_object;
  Value destination_owner;
  Value subset_filterclause;
  Value resolver_info;
  bool vertical_partition = false;
  bool auto_identity_range = false;
  int64_t verify_resolver_signature = 1;
  bool allow_interactive_resolver = false;
  bool fast_multicol_updateproc = true;
  int64_t check_permissions = 0;
};
MergeArticleValues ReadMergeArticle(Database& db, const Article& article,
                                    const Collation& collation);

// A merge publication's and article's uniqueidentifier: the catalog keeps
// no GUIDs for them, so one is made from the ids, the same on every read.
std::string MergeGuid(int dbid, int pubid, int artid);

// The option `name` (with @) as its procedure was given it, or null.
const Value* FindSetting(const std::vector<Setting>& settings, std::string_view name);

// Sets the option `name`, replacing what was given before; a null value
// forgets it, so that the default applies again.
void StoreSetting(std::vector<Setting>& settings, std::string_view name, Value value);

}  // namespace server

#endif  // TAVORA_SERVER_EXEC_REPLICATION_VALUES_H_
