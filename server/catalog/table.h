#ifndef TAVORA_SERVER_CATALOG_TABLE_H_
#define TAVORA_SERVER_CATALOG_TABLE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/engine.h"
#include "server/types/collation.h"
#include "server/types/data_type.h"

namespace server {

struct Column {
  std::string name;
  DataType type;
  std::string user_type;  // the user type it was declared with; "" for a system type
  bool nullable = true;
  bool identity = false;
  int64_t identity_seed = 1;
  int64_t identity_increment = 1;
  bool rowguidcol = false;
  std::string computed;   // a computed column's expression as written; "" otherwise
  std::string collation;  // character and text columns
  // The column's DEFAULT constraint, if any.
  std::string default_name;
  int default_id = 0;
  std::string default_text;  // the expression as written
  // The default and the rule sp_bindefault and sp_bindrule bound to it.
  std::string bound_default;
  std::string bound_rule;
  bool is_computed() const { return !computed.empty(); }
};

enum class IndexKind { kIndex, kPrimaryKey, kUnique };

// An index, or the index behind a PRIMARY KEY or UNIQUE constraint (whose
// name and object id are the constraint's).
struct Index {
  int index_id = 0;
  std::string name;
  IndexKind kind = IndexKind::kIndex;
  int constraint_id = 0;
  std::vector<std::string> columns;
  bool unique = false;
  bool clustered = false;
  int fill_factor = 0;
  bool ignore_dup_key = false;
};

struct CheckConstraint {
  int id = 0;
  std::string name;
  std::string text;    // the condition as written, without its parentheses
  std::string column;  // a column constraint's column; "" for a table constraint
  bool not_for_replication = false;
  bool disabled = false;     // NOCHECK CONSTRAINT: not checked until CHECK CONSTRAINT
  bool not_trusted = false;  // added WITH NOCHECK, or checked again only by name
};

struct ForeignKey {
  int id = 0;
  std::string name;
  std::vector<std::string> columns;
  std::string ref_owner;
  std::string ref_table;
  std::vector<std::string> ref_columns;
  bool column_level = false;
  bool not_for_replication = false;
  bool disabled = false;  // as CheckConstraint's
  bool not_trusted = false;
};

struct Trigger {
  int id = 0;
  std::string name;
  std::string owner = "dbo";
  std::string text;  // the CREATE TRIGGER statement, as syscomments holds it
  bool on_insert = false;
  bool on_update = false;
  bool on_delete = false;
  bool instead_of = false;
  bool encrypted = false;
  bool ansi_nulls = true;         // SET ANSI_NULLS when it was created, under which it runs
  bool quoted_identifier = true;  // SET QUOTED_IDENTIFIER then: its text is read so
  bool disabled = false;          // ALTER TABLE DISABLE TRIGGER: it does not fire
};

struct FullTextColumn {
  std::string name;
  int language = 1033;
};

// A table's registration for full-text search.
struct FullTextIndex {
  std::string catalog;
  std::string key_index;
  std::vector<FullTextColumn> columns;
  bool active = false;
};

using Row = std::vector<Value>;

// A table's definition. Its rows live in the store, under `store_id`,
// which no other table of the server ever has.
struct Table {
  int id = 0;
  int64_t store_id = 0;
  std::string name;
  std::string owner = "dbo";
  std::vector<Column> columns;
  std::vector<Index> indexes;
  std::vector<CheckConstraint> checks;
  std::vector<ForeignKey> foreign_keys;
  std::vector<Trigger> triggers;
  std::optional<FullTextIndex> fulltext;
  int64_t identity_current = 0;  // last identity value handed out
  bool identity_used = false;    // whether identity_current is set
  // A table variable's name, with @: no database holds such a table, and
  // its rows are in the batch's own store (server/exec/table_variables.h).
  std::string variable;
  // A temporary table (in tempdb): the session that created it, which a
  // local one (#t) is visible to alone and which both kinds end with; 0 for
  // a permanent table. A local one's `name` is the padded form sysobjects
  // shows, `temp_name` the name as written, and `temp_scope` the procedure
  // call it ends with (0: the session's batches).
  int temp_session = 0;
  std::string temp_name;
  int temp_scope = 0;

  // Position of the named column, or -1.
  int FindColumn(std::string_view name, const Collation& collation) const;
  Index* FindIndex(std::string_view name, const Collation& collation);
  const Index* PrimaryKey() const;
  // Position of the timestamp column, or -1.
  int TimestampColumn() const;
  int NextIndexId() const;
};

}  // namespace server

#endif  // TAVORA_SERVER_CATALOG_TABLE_H_
