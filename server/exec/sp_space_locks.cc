// sp_spaceused and sp_lock: how much a database or table holds, and which
// locks the sessions hold and wait for.

#include <algorithm>
#include <cstdio>

#include "server/exec/help_procedures.h"
#include "server/exec/transaction_control.h"
#include "server/types/collation.h"

namespace server {

namespace {

using namespace sys_type;

constexpr SystemColumn kSpaceDatabaseColumns[] = {{"database_name", kSysname},
                                                  {"database_size", VarChar(18)},
                                                  {"unallocated space", VarChar(18)}};

constexpr SystemColumn kSpaceUsageColumns[] = {{"reserved", VarChar(18)},
                                               {"data", VarChar(18)},
                                               {"index_size", VarChar(18)},
                                               {"unused", VarChar(18)}};

constexpr SystemColumn kSpaceTableColumns[] = {
    {"name", kSysname},    {"rows", Char(11)},          {"reserved", VarChar(18)},
    {"data", VarChar(18)}, {"index_size", VarChar(18)}, {"unused", VarChar(18)}};

constexpr SystemColumn kLockColumns[] = {
    {"spid", kSmallInt}, {"dbid", kSmallInt},     {"ObjId", kInt},       {"IndId", kSmallInt},
    {"Type", NChar(4)},  {"Resource", NChar(16)}, {"Mode", NVarChar(8)}, {"Status", NVarChar(5)}};

// Pages of 8 KB in each database's files, as sp_helpdb and sysfiles give
// them: 96 of data and 63 of log.
constexpr int kDataPages = 96;
constexpr int kLogPages = 63;

// "1.24 MB" and "0 KB", as SQL Server's procedure writes sizes with STR.
std::string Megabytes(double pages) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f MB", pages * 8192 / 1048576);
  return text;
}

std::string Kilobytes(int64_t pages) { return std::to_string(pages * 8) + " KB"; }

// The server keeps rows, not pages: a table's data and indexes take none,
// as sysindexes' page counts say, so every size below is 0 KB.
constexpr int64_t kTablePages = 0;

Row SizesOf(std::string name, int64_t rows) {
  std::string count = std::to_string(rows);
  count.resize(std::max<size_t>(count.size(), 11), ' ');  // CONVERT(char(11), rows)
  return {std::move(name),        count,
          Kilobytes(kTablePages), Kilobytes(kTablePages),
          Kilobytes(kTablePages), Kilobytes(kTablePages)};
}

}  // namespace

Status SpSpaceUsed(const ProcArgs& args, ExecContext& ctx) {
  Database* db = ctx.CurrentDatabase();
  if (!db) return Raise(Msg::kInternalError, {"no current database"});
  const std::string update = args.Text("@updateusage");
  // Usage is always current here, so asking for it to be brought up to date
  // changes nothing.
  if (!update.empty() && !EqualNoCase(update, "true") && !EqualNoCase(update, "false"))
    return Raise(Msg::kUpdateUsageOption, {update});
  if (!args.Given("@objname")) {
    // No table takes a page, so the data file is all unallocated.
    SendHelpRows(kSpaceDatabaseColumns,
                 {{db->name, Megabytes(kDataPages + kLogPages), Megabytes(kDataPages)}}, ctx);
    SendHelpRows(kSpaceUsageColumns,
                 {{Kilobytes(kTablePages), Kilobytes(kTablePages), Kilobytes(kTablePages),
                   Kilobytes(kTablePages)}},
                 ctx);
    return std::nullopt;
  }
  const std::string given = args.Text("@objname");
  std::optional<ObjectRef> object = FindHelpObject(*db, given, ctx);
  if (!object) return Raise(Msg::kObjectNotInDatabase, {given, db->name});
  if (object->kind == ObjectKind::kView) return Raise(Msg::kNoSpaceForView);
  int64_t rows = 0;
  if (object->kind == ObjectKind::kSystemTable) {
    const SystemTableDef* def = FindSystemTable(object->name, false, ctx.collation());
    Relation table;
    if (!def) return Raise(Msg::kNoSpaceForModule);
    if (Status s = BuildSystemTable(*def, *db, ctx, table)) return s;
    rows = static_cast<int64_t>(table.rows->size());
  } else if (object->kind == ObjectKind::kTable && object->table) {
    if (Status s = ctx.store.Count(*object->table, rows)) return s;
  } else {
    return Raise(Msg::kNoSpaceForModule);
  }
  SendHelpRows(kSpaceTableColumns, {SizesOf(object->name, rows)}, ctx);
  return std::nullopt;
}

Status SpLock(const ProcArgs& args, ExecContext& ctx) {
  const bool some = args.Given("@spid1") || args.Given("@spid2");
  const int64_t first = args.Int("@spid1");
  const int64_t second = args.Int("@spid2");
  auto wanted = [&](int session) { return !some || session == first || session == second; };
  // Every session holds a shared lock on the database it uses, which is what
  // keeps that database from being dropped under it.
  std::vector<Row> rows;
  std::vector<LockTable::Listed> locks = ctx.transactions.ListLocks();
  for (const auto& session : ctx.sessions) {
    if (!session || !wanted(session->id)) continue;
    const Database* db = ctx.server.FindDatabase(session->database);
    rows.push_back({SysInt(session->id), SysInt(db ? db->dbid : 0), SysInt(0), SysInt(0),
                    SysPadded("DB", 4), SysPadded("", 16), std::string("S"), std::string("GRANT")});
    for (const LockTable::Listed& lock : locks) {
      if (lock.session != session->id) continue;
      // Only an object's lock has a place in sp_lock's terms: the store's
      // writer and a catalog are this server's own.
      int dbid = 0, id = 0;
      if (std::sscanf(lock.resource.c_str(), "object %d.%d", &dbid, &id) != 2) continue;
      const char* mode = lock.mode == LockMode::kShared   ? "S"
                         : lock.mode == LockMode::kUpdate ? "U"
                                                          : "X";
      rows.push_back({SysInt(session->id), SysInt(dbid), SysInt(id), SysInt(0), SysPadded("TAB", 4),
                      SysPadded("", 16), std::string(mode),
                      std::string(lock.waiting ? "WAIT" : "GRANT")});
    }
  }
  SendHelpRows(kLockColumns, std::move(rows), ctx);
  return std::nullopt;
}

}  // namespace server
