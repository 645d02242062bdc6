// The system tables of indexes and constraints: sysindexes, sysindexkeys,
// sysforeignkeys, sysreferences, sysconstraints.

#include "server/exec/system_tables.h"
#include "server/store/store.h"

namespace server {

namespace {

using namespace sys_type;

constexpr SystemColumn kSysIndexes[] = {
    {"id", kInt},
    {"status", kInt},
    {"first", Binary(6)},
    {"indid", kSmallInt},
    {"root", Binary(6)},
    {"minlen", kSmallInt},
    {"keycnt", kSmallInt},
    {"groupid", kSmallInt},
    {"dpages", kInt},
    {"reserved", kInt},
    {"used", kInt},
    {"rowcnt", kBigInt},
    {"rowmodctr", kInt},
    {"reserved3", kTinyInt},
    {"reserved4", kTinyInt},
    {"xmaxlen", kSmallInt},
    {"maxirow", kSmallInt},
    {"OrigFillFactor", kTinyInt},
    {"StatVersion", kTinyInt},
    {"reserved2", kInt},
    {"FirstIAM", Binary(6)},
    {"impid", kSmallInt},
    {"lockflags", kSmallInt},
    {"pgmodctr", kInt},
    {"keys", VarBinary(1088)},
    {"name", kSysname},
    {"statblob", kImage},
    {"maxlen", kInt},
    {"rows", kInt},
};

constexpr SystemColumn kSysIndexKeys[] = {
    {"id", kInt},
    {"indid", kSmallInt},
    {"colid", kSmallInt},
    {"keyno", kSmallInt},
};

constexpr SystemColumn kSysForeignKeys[] = {
    {"constid", kInt},   {"fkeyid", kInt},    {"rkeyid", kInt},
    {"fkey", kSmallInt}, {"rkey", kSmallInt}, {"keyno", kSmallInt},
};

// sysreferences' fixed columns; fkey1..fkey16 and rkey1..rkey16 follow.
constexpr SystemColumn kSysReferences[] = {
    {"constid", kInt},          {"fkeyid", kInt},        {"rkeyid", kInt},
    {"rkeyindid", kSmallInt},   {"keycnt", kSmallInt},   {"forkeys", VarBinary(32)},
    {"refkeys", VarBinary(32)}, {"fkeydbid", kSmallInt}, {"rkeydbid", kSmallInt},
    {"fkey1", kSmallInt},       {"fkey2", kSmallInt},    {"fkey3", kSmallInt},
    {"fkey4", kSmallInt},       {"fkey5", kSmallInt},    {"fkey6", kSmallInt},
    {"fkey7", kSmallInt},       {"fkey8", kSmallInt},    {"fkey9", kSmallInt},
    {"fkey10", kSmallInt},      {"fkey11", kSmallInt},   {"fkey12", kSmallInt},
    {"fkey13", kSmallInt},      {"fkey14", kSmallInt},   {"fkey15", kSmallInt},
    {"fkey16", kSmallInt},      {"rkey1", kSmallInt},    {"rkey2", kSmallInt},
    {"rkey3", kSmallInt},       {"rkey4", kSmallInt},    {"rkey5", kSmallInt},
    {"rkey6", kSmallInt},       {"rkey7", kSmallInt},    {"rkey8", kSmallInt},
    {"rkey9", kSmallInt},       {"rkey10", kSmallInt},   {"rkey11", kSmallInt},
    {"rkey12", kSmallInt},      {"rkey13", kSmallInt},   {"rkey14", kSmallInt},
    {"rkey15", kSmallInt},      {"rkey16", kSmallInt},
};

constexpr SystemColumn kSysConstraints[] = {
    {"constid", kInt}, {"id", kInt},      {"colid", kSmallInt}, {"spare1", kTinyInt},
    {"status", kInt},  {"actions", kInt}, {"error", kInt},
};

constexpr int kMaxReferenceKeys = 16;

std::vector<uint8_t> NoPage() { return std::vector<uint8_t>(6, 0); }

int ColumnId(const Table& table, const std::string& name) {
  return table.FindColumn(name, Collation(false)) + 1;
}

Table* FindReferenced(Database& db, const ForeignKey& fk) {
  return db.FindTable(fk.ref_owner, fk.ref_table, Collation(false));
}

// The index whose key the foreign key references: the primary key or a
// unique constraint or index on exactly those columns.
const Index* ReferencedIndex(const Table& table, const ForeignKey& fk) {
  for (const Index& index : table.indexes) {
    if (!index.unique || index.columns.size() != fk.ref_columns.size()) continue;
    bool same = true;
    for (size_t i = 0; i < index.columns.size(); ++i) {
      same = same && EqualNoCase(index.columns[i], fk.ref_columns[i]);
    }
    if (same) return &index;
  }
  return nullptr;
}

// status bits: 1 ignore duplicate keys, 2 unique, 16 clustered, 2048 the
// index of a PRIMARY KEY, 4096 of a UNIQUE constraint.
int64_t IndexStatus(const Index& index) {
  return (index.ignore_dup_key ? 1 : 0) | (index.unique ? 2 : 0) | (index.clustered ? 16 : 0) |
         (index.kind == IndexKind::kPrimaryKey ? 2048 : 0) |
         (index.kind == IndexKind::kUnique ? 4096 : 0);
}

Row IndexRow(int table_id, int64_t status, int indid, int64_t keycnt, int fill_factor,
             const std::string& name, int64_t rows, bool data_level) {
  return {SysInt(table_id), status,    NoPage(),  SysInt(indid), NoPage(),  SysInt(0),
          keycnt,           SysInt(1), SysInt(0), SysInt(0),     SysInt(0), data_level ? rows : 0,
          SysInt(0),        SysInt(0), SysInt(0), SysInt(0),     SysInt(0), SysInt(fill_factor),
          SysInt(0),        SysInt(0), NoPage(),  SysInt(0),     SysInt(0), SysInt(0),
          Value(),          name,      Value(),   SysInt(8000),  rows};
}

// One row for the table's data (indid 0, or its clustered index), one per
// other index, and indid 255 when it has text, ntext or image columns,
// named as SQL Server names it: "t" and the table's name.
Status SysIndexesRows(SystemScope& scope, std::vector<Row>& rows) {
  for (const auto& table : scope.db.tables) {
    int64_t count = 0;
    if (Status s = scope.ctx.store.Count(*table, count)) return s;
    bool clustered = false;
    for (const Index& index : table->indexes) clustered = clustered || index.clustered;
    if (!clustered) rows.push_back(IndexRow(table->id, 0, 0, 0, 0, table->name, count, true));
    for (const Index& index : table->indexes) {
      int indid = index.clustered ? 1 : index.index_id;
      rows.push_back(IndexRow(table->id, IndexStatus(index), indid,
                              static_cast<int64_t>(index.columns.size()), index.fill_factor,
                              index.name, count, indid <= 1));
    }
    bool large = false;
    for (const Column& column : table->columns) large = large || IsLargeObject(column.type);
    if (large) rows.push_back(IndexRow(table->id, 0, 255, 0, 0, "t" + table->name, 0, false));
  }
  return std::nullopt;
}

Status SysIndexKeysRows(SystemScope& scope, std::vector<Row>& rows) {
  for (const auto& table : scope.db.tables) {
    for (const Index& index : table->indexes) {
      int indid = index.clustered ? 1 : index.index_id;
      for (size_t i = 0; i < index.columns.size(); ++i) {
        rows.push_back({SysInt(table->id), SysInt(indid),
                        SysInt(ColumnId(*table, index.columns[i])), SysInt(i + 1)});
      }
    }
  }
  return std::nullopt;
}

Status SysForeignKeysRows(SystemScope& scope, std::vector<Row>& rows) {
  for (const auto& table : scope.db.tables) {
    for (const ForeignKey& fk : table->foreign_keys) {
      const Table* referenced = FindReferenced(scope.db, fk);
      for (size_t i = 0; i < fk.columns.size(); ++i) {
        int rkey =
            referenced && i < fk.ref_columns.size() ? ColumnId(*referenced, fk.ref_columns[i]) : 0;
        rows.push_back({SysInt(fk.id), SysInt(table->id), SysInt(referenced ? referenced->id : 0),
                        SysInt(ColumnId(*table, fk.columns[i])), SysInt(rkey), SysInt(i + 1)});
      }
    }
  }
  return std::nullopt;
}

Status SysReferencesRows(SystemScope& scope, std::vector<Row>& rows) {
  for (const auto& table : scope.db.tables) {
    for (const ForeignKey& fk : table->foreign_keys) {
      const Table* referenced = FindReferenced(scope.db, fk);
      const Index* index = referenced ? ReferencedIndex(*referenced, fk) : nullptr;
      int rkeyindid = index ? (index->clustered ? 1 : index->index_id) : 0;
      // forkeys and refkeys: the column ids, two bytes each, low byte first.
      std::vector<uint8_t> forkeys, refkeys;
      Row fkey(kMaxReferenceKeys, SysInt(0)), rkey(kMaxReferenceKeys, SysInt(0));
      for (size_t i = 0; i < fk.columns.size() && i < kMaxReferenceKeys; ++i) {
        int f = ColumnId(*table, fk.columns[i]);
        int r =
            referenced && i < fk.ref_columns.size() ? ColumnId(*referenced, fk.ref_columns[i]) : 0;
        forkeys.insert(forkeys.end(),
                       {static_cast<uint8_t>(f & 0xff), static_cast<uint8_t>(f >> 8)});
        refkeys.insert(refkeys.end(),
                       {static_cast<uint8_t>(r & 0xff), static_cast<uint8_t>(r >> 8)});
        fkey[i] = SysInt(f);
        rkey[i] = SysInt(r);
      }
      Row row{
          SysInt(fk.id),      SysInt(table->id),         SysInt(referenced ? referenced->id : 0),
          SysInt(rkeyindid),  SysInt(fk.columns.size()), std::move(forkeys),
          std::move(refkeys), SysInt(scope.db.dbid),     SysInt(scope.db.dbid)};
      row.insert(row.end(), fkey.begin(), fkey.end());
      row.insert(row.end(), rkey.begin(), rkey.end());
      rows.push_back(std::move(row));
    }
  }
  return std::nullopt;
}

// status: the kind in the low bits (1 PRIMARY KEY, 2 UNIQUE, 3 FOREIGN KEY,
// 4 CHECK, 5 DEFAULT), 16 a column constraint, 32 a table constraint.
Status SysConstraintsRows(SystemScope& scope, std::vector<Row>& rows) {
  auto add = [&rows](int constid, int table_id, int colid, int kind) {
    int64_t status = kind | (colid != 0 ? 16 : 32);
    rows.push_back({SysInt(constid), SysInt(table_id), SysInt(colid), SysInt(0), status,
                    SysInt(kind == 3 ? 4096 : 0), SysInt(0)});
  };
  for (const ObjectRef& ref : scope.db.AllObjects()) {
    if (!ref.table) continue;
    const Table& table = *ref.table;
    switch (ref.kind) {
      case ObjectKind::kPrimaryKey:
      case ObjectKind::kUnique:
        add(ref.id, table.id, 0, ref.kind == ObjectKind::kPrimaryKey ? 1 : 2);
        break;
      case ObjectKind::kForeignKey:
        for (const ForeignKey& fk : table.foreign_keys) {
          if (fk.id != ref.id) continue;
          add(ref.id, table.id,
              fk.column_level && fk.columns.size() == 1 ? ColumnId(table, fk.columns[0]) : 0, 3);
        }
        break;
      case ObjectKind::kCheck:
        for (const CheckConstraint& check : table.checks) {
          if (check.id == ref.id)
            add(ref.id, table.id, check.column.empty() ? 0 : ColumnId(table, check.column), 4);
        }
        break;
      case ObjectKind::kDefaultConstraint:
        for (size_t i = 0; i < table.columns.size(); ++i) {
          if (table.columns[i].default_id == ref.id)
            add(ref.id, table.id, static_cast<int>(i + 1), 5);
        }
        break;
      default:
        break;
    }
  }
  return std::nullopt;
}

constexpr SystemTableDef kKeyTables[] = {
    {"sysindexes", kSysIndexes, SysIndexesRows},
    {"sysindexkeys", kSysIndexKeys, SysIndexKeysRows},
    {"sysforeignkeys", kSysForeignKeys, SysForeignKeysRows},
    {"sysreferences", kSysReferences, SysReferencesRows},
    {"sysconstraints", kSysConstraints, SysConstraintsRows},
};

}  // namespace

std::span<const SystemTableDef> KeySystemTables() { return kKeyTables; }

}  // namespace server
