// sp_statistics and sp_special_columns: a table's indexes, and the columns
// that identify its rows or change with every update.

#include <algorithm>
#include <cstring>

#include "server/exec/odbc_catalog.h"
#include "server/types/collation.h"

namespace server::odbc {

namespace {

using namespace sys_type;

constexpr SystemColumn kStatisticsColumns[] = {
    {"TABLE_QUALIFIER", kSysname},
    {"TABLE_OWNER", kSysname},
    {"TABLE_NAME", kSysname},
    {"NON_UNIQUE", kSmallInt},
    {"INDEX_QUALIFIER", kSysname},
    {"INDEX_NAME", kSysname},
    {"TYPE", kSmallInt},
    {"SEQ_IN_INDEX", kSmallInt},
    {"COLUMN_NAME", kSysname},
    {"COLLATION", Char(1)},
    {"CARDINALITY", kInt},
    {"PAGES", kInt},
    {"FILTER_CONDITION", VarChar(128)},
};

constexpr SystemColumn kSpecialColumns[] = {
    {"SCOPE", kSmallInt},    {"COLUMN_NAME", kSysname},    {"DATA_TYPE", kSmallInt},
    {"TYPE_NAME", kSysname}, {"PRECISION", kInt},          {"LENGTH", kInt},
    {"SCALE", kSmallInt},    {"PSEUDO_COLUMN", kSmallInt},
};

// ODBC's SQL_TABLE_STAT, SQL_INDEX_CLUSTERED and SQL_INDEX_OTHER.
constexpr int64_t kTableStat = 0;
constexpr int64_t kClustered = 1;
constexpr int64_t kOtherIndex = 3;
// SQL_SCOPE_CURROW and SQL_PC_NOT_PSEUDO.
constexpr int64_t kScopeCurrentRow = 0;
constexpr int64_t kNotPseudo = 1;

// A one-letter option argument, upper-cased; `fallback` when absent; 15251
// when it is none of `allowed`.
Status Letter(const ProcArgs& args, std::string_view param, char fallback, const char* allowed,
              const char* described, char& out) {
  out = fallback;
  if (!args.Given(param)) return std::nullopt;
  std::string text = ToUpper(args.Text(param));
  if (text.size() != 1 || !std::strchr(allowed, text[0]))
    return Raise(Msg::kInvalidProcedureArgument, {param.substr(1), described});
  out = text[0];
  return std::nullopt;
}

bool IsUnique(const Index& index) { return index.unique || index.kind != IndexKind::kIndex; }

}  // namespace

Status SpStatistics(const ProcArgs& args, ExecContext& ctx) {
  Database* db = nullptr;
  if (Status s = CatalogDatabase(args, "@table_qualifier", ctx, db)) return s;
  char unique_only = 'N';
  char accuracy = 'Q';
  if (Status s = Letter(args, "@is_unique", 'N', "YN", "'Y' or 'N'", unique_only)) return s;
  if (Status s = Letter(args, "@accuracy", 'Q', "QE", "'Q' or 'E'", accuracy)) return s;
  const Collation& collation = ctx.collation();
  std::vector<ObjectRef> objects = db->AllObjects();
  const ObjectRef* object = FindNamedTable(objects, args, collation, false);
  std::vector<Row> rows;
  if (object) {
    const Table& table = *object->table;
    // Counted exactly either way: the store knows its row count.
    int64_t count = 0;
    if (Status s = ctx.store.Count(table, count)) return s;
    // The store keeps no pages of its own: PAGES is 0, as sysindexes shows.
    rows.push_back({db->name, object->owner, object->name, Value(), Value(), Value(), kTableStat,
                    Value(), Value(), Value(), count, int64_t{0}, Value()});
    NamePattern index_name(args, "@index_name");
    std::vector<Row> index_rows;
    for (const Index& index : table.indexes) {
      if (unique_only == 'Y' && !IsUnique(index)) continue;
      if (!index_name.Matches(index.name, collation)) continue;
      for (size_t i = 0; i < index.columns.size(); ++i) {
        int at = table.FindColumn(index.columns[i], collation);
        index_rows.push_back(
            {db->name, object->owner, object->name, int64_t{IsUnique(index) ? 0 : 1}, object->name,
             index.name, index.clustered ? kClustered : kOtherIndex, int64_t(i + 1),
             table.columns[at].name, std::string("A"), count, int64_t{0}, Value()});
      }
    }
    // By NON_UNIQUE, TYPE, INDEX_NAME and SEQ_IN_INDEX.
    std::stable_sort(index_rows.begin(), index_rows.end(), [&](const Row& a, const Row& b) {
      for (int i : {3, 6}) {
        if (std::get<int64_t>(a[i]) != std::get<int64_t>(b[i]))
          return std::get<int64_t>(a[i]) < std::get<int64_t>(b[i]);
      }
      int c = collation.Compare(std::get<std::string>(a[5]), std::get<std::string>(b[5]));
      if (c != 0) return c < 0;
      return std::get<int64_t>(a[7]) < std::get<int64_t>(b[7]);
    });
    for (Row& row : index_rows) rows.push_back(std::move(row));
  }
  SendResult(kStatisticsColumns, std::move(rows), ctx);
  return std::nullopt;
}

Status SpSpecialColumns(const ProcArgs& args, ExecContext& ctx) {
  Database* db = nullptr;
  if (Status s = CatalogDatabase(args, "@table_qualifier", ctx, db)) return s;
  char col_type = 'R';
  char scope = 'T';
  char nullable = 'U';
  if (Status s = Letter(args, "@col_type", 'R', "RV", "'R' or 'V'", col_type)) return s;
  if (Status s = Letter(args, "@scope", 'T', "CT", "'C' or 'T'", scope)) return s;
  if (Status s = Letter(args, "@nullable", 'U', "UO", "'U' or 'O'", nullable)) return s;
  const bool odbc3 = args.Int("@ODBCVer") >= 3;
  const Collation& collation = ctx.collation();
  std::vector<ObjectRef> objects = db->AllObjects();
  const ObjectRef* object = FindNamedTable(objects, args, collation, true);
  std::vector<Row> rows;
  if (object) {
    SystemScope system{*db, ctx};
    std::vector<ColumnFacts> columns = ObjectColumns(*object, system);
    auto add = [&](const ColumnFacts& column, Value row_scope) {
      OdbcColumnType type = DescribeColumn(column, odbc3);
      rows.push_back({std::move(row_scope), column.name, type.data_type, type.type_name,
                      type.precision, type.length, type.scale, kNotPseudo});
    };
    if (col_type == 'V') {
      // Columns the server changes on every update: timestamp.
      for (const ColumnFacts& column : columns) {
        if (column.type.base == BaseType::kTimestamp) add(column, Value());
      }
    } else if (object->table) {
      // The unique index SQL Server would pick: the lowest index id (the
      // clustered one first), without nullable columns when asked.
      const Table& table = *object->table;
      const Index* best = nullptr;
      auto indid = [](const Index& index) { return index.clustered ? 1 : index.index_id; };
      for (const Index& index : table.indexes) {
        if (!IsUnique(index)) continue;
        bool has_nullable = false;
        for (const std::string& name : index.columns)
          has_nullable = has_nullable || table.columns[table.FindColumn(name, collation)].nullable;
        if (nullable == 'O' && has_nullable) continue;
        if (!best || indid(index) < indid(*best)) best = &index;
      }
      if (best) {
        for (const std::string& name : best->columns)
          add(columns[table.FindColumn(name, collation)], kScopeCurrentRow);
      }
    }
  }
  SendResult(kSpecialColumns, std::move(rows), ctx);
  return std::nullopt;
}

}  // namespace server::odbc
