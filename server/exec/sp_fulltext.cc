// sp_fulltext_database, sp_fulltext_catalog, sp_fulltext_table and
// sp_fulltext_column: full-text registration only; nothing is ever
// populated. Every one needs the full-text service (7609) and, except the
// first, a database enabled for full-text search (15601). The help
// procedures sp_help_fulltext_tables and sp_help_fulltext_columns show the
// registrations.

#include <algorithm>

#include "server/exec/help_procedures.h"
#include "server/exec/system_procedures.h"
#include "server/types/collation.h"

namespace server {

namespace {

Status Ready(ExecContext& ctx, bool need_enabled, Database*& db) {
  if (!ctx.server.options.full_text_installed) return Raise(Msg::kFullTextNotInstalled);
  db = ctx.CurrentDatabase();
  if (!db) return Raise(Msg::kDatabaseNotFoundOnUse, {ctx.session.database});
  if (need_enabled && !db->fulltext_enabled) return Raise(Msg::kFullTextNotEnabled);
  return std::nullopt;
}

// The user table named by @tabname (15009 when there is none).
Status FindTable(const ProcArgs& args, Database& db, ExecContext& ctx, Table*& table) {
  std::string text = args.Text("@tabname");
  ObjectName name = ParseObjectText(text);
  table = name.parts <= 2 ? db.FindTable(name.owner, name.name, ctx.collation()) : nullptr;
  if (!table) return Raise(Msg::kObjectNotInDatabase, {text, db.name});
  return std::nullopt;
}

bool IsAction(const ProcArgs& args, const char* action) {
  return EqualNoCase(args.Text("@action"), action);
}

}  // namespace

Status SpFullTextDatabase(const ProcArgs& args, ExecContext& ctx) {
  Database* db = nullptr;
  if (Status s = Ready(ctx, false, db)) return s;
  if (IsAction(args, "enable")) {
    db->fulltext_enabled = true;
  } else if (IsAction(args, "disable")) {
    db->fulltext_enabled = false;
  } else {
    return Raise(Msg::kInvalidProcedureOption, {args.procedure()});
  }
  ctx.MarkChanged();
  return std::nullopt;
}

Status SpFullTextCatalog(const ProcArgs& args, ExecContext& ctx) {
  Database* db = nullptr;
  if (Status s = Ready(ctx, true, db)) return s;
  std::string name = args.Text("@ftcat");
  FullTextCatalog* catalog = db->FindFullTextCatalog(name, ctx.collation());
  if (IsAction(args, "create")) {
    if (catalog) return Raise(Msg::kFullTextCatalogExists, {name});
    db->fulltext_catalogs.push_back({db->next_fulltext_catalog++, name, args.Text("@path")});
    ctx.MarkChanged();
    return std::nullopt;
  }
  bool known = IsAction(args, "drop") || IsAction(args, "start_incremental") ||
               IsAction(args, "start_full") || IsAction(args, "stop") || IsAction(args, "rebuild");
  if (!known) return Raise(Msg::kInvalidProcedureOption, {args.procedure()});
  if (!catalog) return Raise(Msg::kFullTextCatalogMissing, {name});
  if (IsAction(args, "drop")) {
    for (const auto& table : db->tables) {
      if (table->fulltext && ctx.collation().Equal(table->fulltext->catalog, catalog->name)) {
        return Raise(Msg::kFullTextCatalogInUse, {name});
      }
    }
    std::erase_if(db->fulltext_catalogs,
                  [catalog](const FullTextCatalog& c) { return &c == catalog; });
    ctx.MarkChanged();
  }
  // Population requests have nothing to populate here.
  return std::nullopt;
}

Status SpFullTextTable(const ProcArgs& args, ExecContext& ctx) {
  Database* db = nullptr;
  if (Status s = Ready(ctx, true, db)) return s;
  Table* table = nullptr;
  if (Status s = FindTable(args, *db, ctx, table)) return s;
  std::string tabname = args.Text("@tabname");
  if (IsAction(args, "create")) {
    if (table->fulltext) return Raise(Msg::kFullTextIndexExists, {tabname});
    if (!args.Given("@ftcat") || !args.Given("@keyname"))
      return Raise(Msg::kInvalidProcedureOption, {args.procedure()});
    FullTextCatalog* catalog = db->FindFullTextCatalog(args.Text("@ftcat"), ctx.collation());
    if (!catalog) return Raise(Msg::kFullTextCatalogMissing, {args.Text("@ftcat")});
    // The key index: unique, on one column that does not allow NULL.
    std::string keyname = args.Text("@keyname");
    Index* key = table->FindIndex(keyname, ctx.collation());
    bool valid = key && key->unique && key->columns.size() == 1;
    if (valid) {
      int column = table->FindColumn(key->columns[0], ctx.collation());
      valid = column >= 0 && !table->columns[column].nullable;
    }
    if (!valid) return Raise(Msg::kFullTextKeyIndex, {keyname});
    table->fulltext = FullTextIndex{catalog->name, key->name, {}, false};
    ctx.MarkChanged();
    return std::nullopt;
  }
  bool known =
      IsAction(args, "drop") || IsAction(args, "activate") || IsAction(args, "deactivate") ||
      IsAction(args, "start_change_tracking") || IsAction(args, "stop_change_tracking") ||
      IsAction(args, "start_background_updateindex") ||
      IsAction(args, "stop_background_updateindex") || IsAction(args, "update_index") ||
      IsAction(args, "start_full") || IsAction(args, "start_incremental") || IsAction(args, "stop");
  if (!known) return Raise(Msg::kInvalidProcedureOption, {args.procedure()});
  if (!table->fulltext) return Raise(Msg::kFullTextIndexMissing, {tabname});
  if (IsAction(args, "drop")) {
    table->fulltext.reset();
  } else if (IsAction(args, "activate")) {
    table->fulltext->active = true;
  } else if (IsAction(args, "deactivate")) {
    table->fulltext->active = false;
  } else {
    return std::nullopt;
  }
  ctx.MarkChanged();
  return std::nullopt;
}

Status SpFullTextColumn(const ProcArgs& args, ExecContext& ctx) {
  Database* db = nullptr;
  if (Status s = Ready(ctx, true, db)) return s;
  Table* table = nullptr;
  if (Status s = FindTable(args, *db, ctx, table)) return s;
  if (!IsAction(args, "add") && !IsAction(args, "drop"))
    return Raise(Msg::kInvalidProcedureOption, {args.procedure()});
  if (!table->fulltext) return Raise(Msg::kFullTextIndexMissing, {args.Text("@tabname")});
  std::string colname = args.Text("@colname");
  int index = table->FindColumn(colname, ctx.collation());
  if (index < 0) return Raise(Msg::kInvalidColumnName, {colname});
  const Column& column = table->columns[index];
  TypeFamily family = Family(column.type);
  bool searchable = family == TypeFamily::kCharacter || family == TypeFamily::kText ||
                    family == TypeFamily::kImage;
  if (!searchable) return Raise(Msg::kInvalidProcedureOption, {args.procedure()});
  std::vector<FullTextColumn>& columns = table->fulltext->columns;
  auto same = [&](const FullTextColumn& c) { return ctx.collation().Equal(c.name, column.name); };
  if (IsAction(args, "add")) {
    if (std::none_of(columns.begin(), columns.end(), same)) {
      columns.push_back(
          {column.name, args.Given("@language") ? static_cast<int>(args.Int("@language")) : 1033});
    }
  } else {
    std::erase_if(columns, same);
  }
  ctx.MarkChanged();
  return std::nullopt;
}

}  // namespace server

namespace server {

namespace {

using namespace sys_type;

constexpr SystemColumn kFullTextTableColumns[] = {{"TABLE_OWNER", kSysname},
                                                  {"TABLE_NAME", kSysname},
                                                  {"FULLTEXT_KEY_INDEX_NAME", kSysname},
                                                  {"FULLTEXT_KEY_COLID", kInt},
                                                  {"FULLTEXT_INDEX_ACTIVE", kInt},
                                                  {"FULLTEXT_CATALOG_NAME", kSysname}};

// FULLTEXT_LANGUAGE is documented as sysname; it holds the column's locale
// identifier ("1033"), the number sp_fulltext_column was given.
constexpr SystemColumn kFullTextColumnColumns[] = {
    {"TABLE_OWNER", kSysname},       {"TABLE_ID", kInt},
    {"TABLE_NAME", kSysname},        {"FULLTEXT_COLUMN_NAME", kSysname},
    {"FULLTEXT_COLID", kInt},        {"FULLTEXT_BLOBTP_COLNAME", kSysname},
    {"FULLTEXT_BLOBTP_COLID", kInt}, {"FULLTEXT_LANGUAGE", kSysname}};

// The tables of `db` the optional @table_name names (every registered one
// when it is not given); 15009 for a name that is no table.
Status RegisteredTables(const ProcArgs& args, Database& db, ExecContext& ctx,
                        std::vector<const Table*>& out) {
  if (args.Given("@table_name")) {
    Table* table = nullptr;
    std::string text = args.Text("@table_name");
    ObjectName name = ParseObjectText(text);
    table = name.parts <= 2 ? db.FindTable(name.owner, name.name, ctx.collation()) : nullptr;
    if (!table) return Raise(Msg::kObjectNotInDatabase, {text, db.name});
    if (table->fulltext) out.push_back(table);
    return std::nullopt;
  }
  for (const auto& table : db.tables) {
    if (table->fulltext) out.push_back(table.get());
  }
  return std::nullopt;
}

}  // namespace

Status SpHelpFullTextTables(const ProcArgs& args, ExecContext& ctx) {
  Database* db = nullptr;
  if (Status s = Ready(ctx, false, db)) return s;
  std::string catalog = args.Text("@fulltext_catalog_name");
  if (args.Given("@fulltext_catalog_name") && !db->FindFullTextCatalog(catalog, ctx.collation())) {
    return Raise(Msg::kFullTextCatalogMissing, {catalog});
  }
  std::vector<const Table*> tables;
  if (Status s = RegisteredTables(args, *db, ctx, tables)) return s;
  std::vector<Row> rows;
  for (const Table* table : tables) {
    const FullTextIndex& index = *table->fulltext;
    if (args.Given("@fulltext_catalog_name") && !ctx.collation().Equal(index.catalog, catalog)) {
      continue;
    }
    Value key_colid;
    for (const Index& candidate : table->indexes) {
      if (!ctx.collation().Equal(candidate.name, index.key_index) ||
          candidate.columns.size() != 1) {
        continue;
      }
      int column = table->FindColumn(candidate.columns[0], ctx.collation());
      if (column >= 0) key_colid = Value(int64_t{column + 1});
    }
    rows.push_back({table->owner, table->name, index.key_index, key_colid,
                    Value(int64_t{index.active ? 1 : 0}), index.catalog});
  }
  SendHelpRows(kFullTextTableColumns, std::move(rows), ctx);
  return std::nullopt;
}

Status SpHelpFullTextColumns(const ProcArgs& args, ExecContext& ctx) {
  Database* db = nullptr;
  if (Status s = Ready(ctx, false, db)) return s;
  std::vector<const Table*> tables;
  if (Status s = RegisteredTables(args, *db, ctx, tables)) return s;
  const std::string wanted = args.Text("@column_name");
  std::vector<Row> rows;
  for (const Table* table : tables) {
    for (const FullTextColumn& column : table->fulltext->columns) {
      if (args.Given("@column_name") && !ctx.collation().Equal(column.name, wanted)) continue;
      int colid = table->FindColumn(column.name, ctx.collation()) + 1;
      rows.push_back({table->owner, Value(int64_t{table->id}), table->name, column.name,
                      Value(int64_t{colid}), Value(), Value(), std::to_string(column.language)});
    }
  }
  SendHelpRows(kFullTextColumnColumns, std::move(rows), ctx);
  return std::nullopt;
}

}  // namespace server
