// sp_helpdb, sp_helpfile, sp_helpuser and sp_who: the server's databases,
// a database's files and users, and the sessions connected.

#include <cstdio>

#include "server/exec/help_procedures.h"
#include "server/exec/transaction_control.h"
#include "server/types/collation.h"

namespace server {

namespace {

using namespace sys_type;

constexpr SystemColumn kHelpDbColumns[] = {{"name", kSysname},
                                           {"db_size", NVarChar(13)},
                                           {"owner", kSysname},
                                           {"dbid", kSmallInt},
                                           {"created", NVarChar(11)},
                                           {"status", NVarChar(600)},
                                           {"compatibility_level", kTinyInt}};

constexpr SystemColumn kHelpDbFiles[] = {{"name", NChar(128)},     {"fileid", kSmallInt},
                                         {"filename", NChar(260)}, {"filegroup", NVarChar(128)},
                                         {"size", NVarChar(18)},   {"maxsize", NVarChar(18)},
                                         {"growth", NVarChar(18)}, {"usage", VarChar(9)}};

constexpr SystemColumn kHelpFileColumns[] = {{"name", NChar(128)},     {"fileid", kSmallInt},
                                             {"filename", NChar(260)}, {"filegroup", NVarChar(128)},
                                             {"size", NVarChar(18)},   {"maxsize", NVarChar(18)},
                                             {"growth", NVarChar(18)}, {"usage", VarChar(9)}};

constexpr SystemColumn kHelpUserColumns[] = {{"UserName", kSysname},  {"GroupName", kSysname},
                                             {"LoginName", kSysname}, {"DefDBName", kSysname},
                                             {"UserID", kSmallInt},   {"SID", VarBinary(85)}};

constexpr SystemColumn kWhoColumns[] = {
    {"spid", kSmallInt},      {"ecid", kSmallInt}, {"status", NChar(30)}, {"loginame", NChar(128)},
    {"hostname", NChar(128)}, {"blk", Char(5)},    {"dbname", kSysname},  {"cmd", NChar(16)}};

// Every database has the files sysfiles shows: 768 KB of data and 504 KB of
// log (96 and 63 pages of 8 KB), growing by 10 percent without limit.
struct HelpFile {
  int fileid;
  const char* filegroup;
  const char* size;
  const char* usage;
};
constexpr HelpFile kHelpFiles[] = {{1, "PRIMARY", "768 KB", "data only"},
                                   {2, nullptr, "504 KB", "log only"}};
constexpr double kHelpDbMegabytes = (768.0 + 504.0) / 1024.0;

std::string DbSize() {
  char text[32];
  std::snprintf(text, sizeof text, "%13.2f MB", kHelpDbMegabytes);
  std::string size = text;
  return size.substr(size.size() - 13);
}

Row DatabaseRow(const Database& db, const Collation& collation) {
  std::string status = "Status=ONLINE, Updateability=READ_WRITE, UserAccess=MULTI_USER, ";
  status += db.system ? "Recovery=SIMPLE" : "Recovery=FULL";
  status += ", Version=539, Collation=" + db.collation +
            ", SQLSortOrder=" + (collation.case_sensitive() ? "51" : "52") +
            ", IsAutoCreateStatistics, IsAutoUpdateStatistics";
  return {db.name, DbSize(),  std::string("sa"), SysInt(db.dbid), std::string("Aug  6 2000"),
          status,  SysInt(80)};
}

std::vector<Row> FileRows(const Database& db) {
  std::vector<Row> rows;
  for (const HelpFile& file : kHelpFiles) {
    const std::string& physical = file.fileid == 1 ? db.data_file : db.log_file;
    rows.push_back({SysPadded(LogicalFileName(db, file.fileid), 128), SysInt(file.fileid),
                    SysPadded(physical, 260), file.filegroup ? Value(file.filegroup) : Value(),
                    std::string(file.size), std::string("Unlimited"), std::string("10%"),
                    std::string(file.usage)});
  }
  return rows;
}

}  // namespace

Status SpHelpDb(const ProcArgs& args, ExecContext& ctx) {
  const Collation& collation = ctx.collation();
  if (args.Given("@dbname")) {
    const std::string name = args.Text("@dbname");
    Database* db = ctx.server.FindDatabase(name);
    if (!db) return Raise(Msg::kDatabaseMissingForProcedure, {name});
    SendHelpRows(kHelpDbColumns, {DatabaseRow(*db, collation)}, ctx);
    SendHelpRows(kHelpDbFiles, FileRows(*db), ctx);
    return std::nullopt;
  }
  std::vector<const Database*> databases;
  for (const auto& db : ctx.server.databases) databases.push_back(db.get());
  std::stable_sort(databases.begin(), databases.end(), [&](const Database* a, const Database* b) {
    return collation.Compare(a->name, b->name) < 0;
  });
  std::vector<Row> rows;
  for (const Database* db : databases) rows.push_back(DatabaseRow(*db, collation));
  SendHelpRows(kHelpDbColumns, std::move(rows), ctx);
  return std::nullopt;
}

Status SpHelpFile(const ProcArgs& args, ExecContext& ctx) {
  Database* db = ctx.CurrentDatabase();
  if (!db) return Raise(Msg::kInternalError, {"no current database"});
  std::vector<Row> rows = FileRows(*db);
  if (args.Given("@filename")) {
    // A name that is none of the database's files gives no rows.
    const std::string name = args.Text("@filename");
    std::erase_if(rows, [&](const Row& row) {
      std::string file = std::get<std::string>(row[0]);
      file.erase(file.find_last_not_of(' ') + 1);
      return !ctx.collation().Equal(file, name);
    });
  }
  SendHelpRows(kHelpFileColumns, std::move(rows), ctx);
  return std::nullopt;
}

Status SpHelpUser(const ProcArgs& args, ExecContext& ctx) {
  Database* db = ctx.CurrentDatabase();
  if (!db) return Raise(Msg::kInternalError, {"no current database"});
  const std::string wanted = args.Text("@name_in_db");
  std::vector<Row> rows;
  for (const std::string& user : db->users) {
    if (!wanted.empty() && !ctx.collation().Equal(user, wanted)) continue;
    const int uid = SysUserId(*db, user);
    const bool dbo = uid == 1;
    const bool guest = uid == 2;
    // dbo is the sa login's; guest has no login; other users are their
    // logins' namesakes.
    Value login = guest ? Value() : Value(dbo ? std::string("sa") : user);
    Value sid = dbo     ? Value(std::vector<uint8_t>{0x01})
                : guest ? Value(std::vector<uint8_t>{0x00})
                        : Value(std::vector<uint8_t>{});
    rows.push_back({user, std::string(dbo ? "db_owner" : "public"), login,
                    guest ? Value() : Value(std::string("master")), SysInt(uid), sid});
  }
  if (!wanted.empty() && rows.empty()) return Raise(Msg::kNotAUser, {wanted});
  SendHelpRows(kHelpUserColumns, std::move(rows), ctx);
  return std::nullopt;
}

Status SpWho(const ProcArgs& args, ExecContext& ctx) {
  const std::string wanted = args.Text("@loginame");
  const bool active = EqualNoCase(wanted, "active");
  std::vector<Row> rows;
  for (const auto& session : ctx.sessions) {
    if (!session) continue;
    const bool self = session.get() == &ctx.session;
    if (!wanted.empty() && !active && !EqualNoCase(session->login, wanted) &&
        wanted != std::to_string(session->id))
      continue;
    // "active" leaves out sessions waiting for their next command.
    if (active && !self) continue;
    rows.push_back({SysInt(session->id), SysInt(0), SysPadded(self ? "runnable" : "sleeping", 30),
                    SysPadded(session->login, 128), SysPadded(session->host_name, 128),
                    SysPadded(std::to_string(ctx.transactions.BlockedBy(session->id)), 5),
                    session->database, SysPadded(self ? "SELECT" : "AWAITING COMMAND", 16)});
  }
  SendHelpRows(kWhoColumns, std::move(rows), ctx);
  return std::nullopt;
}

}  // namespace server
