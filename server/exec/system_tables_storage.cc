// The system tables of a database's files and dependencies: sysfiles,
// sysfilegroups, sysdepends.

#include "server/exec/system_tables.h"

namespace server {

namespace {

using namespace sys_type;

constexpr SystemColumn kSysFiles[] = {
    {"fileid", kSmallInt}, {"groupid", kSmallInt}, {"size", kInt},
    {"maxsize", kInt},     {"growth", kInt},       {"status", kInt},
    {"perf", kInt},        {"name", NChar(128)},   {"filename", NChar(260)},
};

constexpr SystemColumn kSysFileGroups[] = {
    {"groupid", kSmallInt},
    {"allocpolicy", kSmallInt},
    {"status", kInt},
    {"groupname", kSysname},
};

constexpr SystemColumn kSysDepends[] = {
    {"id", kInt},          {"depid", kInt},       {"number", kSmallInt},  {"depnumber", kSmallInt},
    {"status", kSmallInt}, {"deptype", kTinyInt}, {"depdbid", kSmallInt}, {"depsiteid", kSmallInt},
    {"selall", kBit},      {"resultobj", kBit},   {"readobj", kBit},
};

// The logical name SQL Server gives a file: the database's name, with
// "_Data" or "_Log".
Status SysFilesRows(SystemScope& scope, std::vector<Row>& rows) {
  Database& db = scope.db;
  // status: 2 a disk file, 0x100000 growth in percent, 0x40 a log file.
  rows.push_back({SysInt(1), SysInt(1), SysInt(96), SysInt(-1), SysInt(10), SysInt(0x100002),
                  SysInt(0), SysPadded(LogicalFileName(db, 1), 128), SysPadded(db.data_file, 260)});
  rows.push_back({SysInt(2), SysInt(0), SysInt(63), SysInt(-1), SysInt(10), SysInt(0x100042),
                  SysInt(0), SysPadded(LogicalFileName(db, 2), 128), SysPadded(db.log_file, 260)});
  return std::nullopt;
}

// Every database has its PRIMARY filegroup alone: the server creates no other.
Status SysFileGroupsRows(SystemScope&, std::vector<Row>& rows) {
  rows.push_back({SysInt(1), SysInt(0), SysInt(16), std::string("PRIMARY")});
  return std::nullopt;
}

// The server records what a schema-bound module references, and nothing
// of other modules: their bodies are resolved only when they run, so they
// have no rows here.
Status SysDependsRows(SystemScope& scope, std::vector<Row>& rows) {
  for (const Module& module : scope.db.modules) {
    for (int depid : module.bound_ids) {
      rows.push_back({SysInt(module.id), SysInt(depid), SysInt(1), SysInt(0), SysInt(1), SysInt(1),
                      SysInt(0), SysInt(0), SysInt(0), SysInt(0), SysInt(1)});
    }
  }
  return std::nullopt;
}

constexpr SystemTableDef kStorageTables[] = {
    {"sysfiles", kSysFiles, SysFilesRows},
    {"sysfilegroups", kSysFileGroups, SysFileGroupsRows},
    {"sysdepends", kSysDepends, SysDependsRows},
};

}  // namespace

std::span<const SystemTableDef> StorageSystemTables() { return kStorageTables; }

}  // namespace server
