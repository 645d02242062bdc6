// master's system tables: sysdatabases, sysdevices, syslogins, sysservers,
// sysconfigures, syslanguages, syscharsets, sysprocesses. They describe the server, so a
// query finds them from any database, as SQL Server finds them there.

#include <algorithm>

#include "server/exec/system_tables.h"
#include "server/exec/transaction_control.h"
#include "server/types/datetime.h"

namespace server {

namespace {

using namespace sys_type;

constexpr const char* kServerDate = "2000-08-06 01:29:12.250";

constexpr SystemColumn kSysDatabases[] = {
    {"name", kSysname},
    {"dbid", kSmallInt},
    {"sid", VarBinary(85)},
    {"mode", kSmallInt},
    {"status", kInt},
    {"status2", kInt},
    {"crdate", kDateTime},
    {"reserved", kDateTime},
    {"category", kInt},
    {"cmptlevel", kTinyInt},
    {"filename", NVarChar(260)},
    {"version", kSmallInt},
};

constexpr SystemColumn kSysProcesses[] = {
    {"spid", kSmallInt},          {"kpid", kSmallInt},
    {"blocked", kSmallInt},       {"waittype", Binary(2)},
    {"waittime", kInt},           {"lastwaittype", NChar(32)},
    {"waitresource", NChar(256)}, {"dbid", kSmallInt},
    {"uid", kSmallInt},           {"cpu", kInt},
    {"physical_io", kBigInt},     {"memusage", kInt},
    {"login_time", kDateTime},    {"last_batch", kDateTime},
    {"ecid", kSmallInt},          {"open_tran", kSmallInt},
    {"status", NChar(30)},        {"sid", Binary(86)},
    {"hostname", NChar(128)},     {"program_name", NChar(128)},
    {"hostprocess", NChar(8)},    {"cmd", NChar(16)},
    {"nt_domain", NChar(128)},    {"nt_username", NChar(128)},
    {"net_address", NChar(12)},   {"net_library", NChar(12)},
    {"loginame", NChar(128)},     {"context_info", Binary(128)},
    {"sql_handle", Binary(20)},   {"stmt_start", kInt},
    {"stmt_end", kInt},
};

constexpr SystemColumn kSysDevices[] = {
    {"low", kInt},         {"high", kInt},
    {"status", kSmallInt}, {"cntrltype", kSmallInt},
    {"name", kSysname},    {"phyname", NVarChar(260)},
    {"size", kInt},
};

constexpr SystemColumn kSysLogins[] = {
    {"sid", VarBinary(85)},    {"status", kSmallInt},  {"createdate", kDateTime},
    {"updatedate", kDateTime}, {"accdate", kDateTime}, {"totcpu", kInt},
    {"totio", kInt},           {"spacelimit", kInt},   {"timelimit", kInt},
    {"resultlimit", kInt},     {"name", kSysname},     {"dbname", kSysname},
    {"password", kSysname},    {"language", kSysname}, {"denylogin", kInt},
    {"hasaccess", kInt},       {"isntname", kInt},     {"isntgroup", kInt},
    {"isntuser", kInt},        {"sysadmin", kInt},     {"securityadmin", kInt},
    {"serveradmin", kInt},     {"setupadmin", kInt},   {"processadmin", kInt},
    {"diskadmin", kInt},       {"dbcreator", kInt},    {"bulkadmin", kInt},
    {"loginname", kSysname},
};

constexpr SystemColumn kSysServers[] = {
    {"srvid", kSmallInt},
    {"srvstatus", kSmallInt},
    {"srvname", kSysname},
    {"srvproduct", kSysname},
    {"providername", NVarChar(128)},
    {"datasource", NVarChar(4000)},
    {"location", NVarChar(4000)},
    {"providerstring", NVarChar(4000)},
    {"schemadate", kDateTime},
    {"topologyx", kInt},
    {"topologyy", kInt},
    {"catalog", kSysname},
    {"srvcollation", kSysname},
    {"connecttimeout", kInt},
    {"querytimeout", kInt},
    {"srvnetname", Char(30)},
    {"isremote", kBit},
    {"rpc", kBit},
    {"pub", kBit},
    {"sub", kBit},
    {"dist", kBit},
    {"dpub", kBit},
    {"rpcout", kBit},
    {"dataaccess", kBit},
    {"collationcompatible", kBit},
    {"system", kBit},
    {"useremotecollation", kBit},
    {"lazyschemavalidation", kBit},
    {"collation", kSysname},
};

constexpr SystemColumn kSysConfigures[] = {
    {"value", kInt},
    {"config", kSmallInt},
    {"comment", NVarChar(255)},
    {"status", kSmallInt},
};

constexpr SystemColumn kSysLanguages[] = {
    {"langid", kSmallInt},     {"dateformat", NChar(3)},
    {"datefirst", kTinyInt},   {"upgrade", kInt},
    {"name", kSysname},        {"alias", kSysname},
    {"months", NVarChar(372)}, {"shortmonths", NVarChar(132)},
    {"days", NVarChar(217)},   {"lcid", kInt},
    {"msglangid", kSmallInt},
};

constexpr SystemColumn kSysCharsets[] = {
    {"type", kSmallInt},
    {"id", kTinyInt},
    {"csid", kTinyInt},
    {"status", kSmallInt},
    {"name", kSysname},
    {"description", NVarChar(255)},
    {"binarydefinition", VarBinary(6000)},
    {"definition", kImage},
};

Status SysDatabasesRows(SystemScope& scope, std::vector<Row>& rows) {
  for (const auto& db : scope.ctx.server.databases) {
    // category bits: 1 published, 4 merge published, 16 distribution.
    int64_t category =
        (db->publish ? 1 : 0) | (db->merge_publish ? 4 : 0) | (db->distribution ? 16 : 0);
    // status: 8 trunc. log on chkpt (the system databases), 16 torn page
    // detection (every database made with the defaults).
    int64_t status = db->system ? 8 : 16;
    rows.push_back({db->name, SysInt(db->dbid), std::vector<uint8_t>{0x01}, SysInt(0), status,
                    SysInt(1090519040), std::string(kServerDate), std::string(kServerDate),
                    category, SysInt(80), db->data_file, SysInt(539)});
  }
  return std::nullopt;
}

Status SysDevicesRows(SystemScope& scope, std::vector<Row>& rows) {
  std::string folder = scope.ctx.server.DataFolder();
  std::string prefix = folder.empty() ? std::string() : folder + "\\";
  struct Device {
    const char* name;
    const char* file;
    int64_t size;
  };
  static constexpr Device kDevices[] = {
      {"master", nullptr, 1920},       {"mastlog", "mastlog.ldf", 128},
      {"modeldev", "model.mdf", 96},   {"modellog", "modellog.ldf", 64},
      {"tempdev", "tempdb.mdf", 1024}, {"templog", "templog.ldf", 64}};
  for (const Device& device : kDevices) {
    std::string phyname =
        device.file ? prefix + device.file : scope.ctx.server.options.master_phyname;
    // status 2: a disk device.
    rows.push_back({SysInt(0), SysInt(device.size - 1), SysInt(2), SysInt(0),
                    std::string(device.name), std::move(phyname), device.size});
  }
  return std::nullopt;
}

Status SysLoginsRows(SystemScope& scope, std::vector<Row>& rows) {
  for (const std::string& login : scope.ctx.server.logins) {
    bool windows = login.find('\\') != std::string::npos;
    std::vector<uint8_t> sid = LoginSid(login);
    // Every login here may do everything: the server has one security level.
    rows.push_back({std::move(sid),
                    SysInt(windows ? 9 : 8),
                    std::string(kServerDate),
                    std::string(kServerDate),
                    std::string(kServerDate),
                    SysInt(0),
                    SysInt(0),
                    SysInt(0),
                    SysInt(0),
                    SysInt(0),
                    login,
                    std::string("master"),
                    Value(),
                    std::string("us_english"),
                    SysInt(0),
                    SysInt(1),
                    SysInt(windows ? 1 : 0),
                    SysInt(windows ? 1 : 0),
                    SysInt(0),
                    SysInt(1),
                    SysInt(0),
                    SysInt(0),
                    SysInt(0),
                    SysInt(0),
                    SysInt(0),
                    SysInt(0),
                    SysInt(0),
                    login});
  }
  return std::nullopt;
}

// One row per session, as sp_who shows them. The server runs no background
// processes of its own, so there are no system spids; it counts no CPU, I/O
// or memory per session.
Status SysProcessesRows(SystemScope& scope, std::vector<Row>& rows) {
  ExecContext& ctx = scope.ctx;
  std::vector<const Session*> sessions;
  for (const auto& session : ctx.sessions) {
    if (session) sessions.push_back(session.get());
  }
  std::sort(sessions.begin(), sessions.end(),
            [](const Session* a, const Session* b) { return a->id < b->id; });
  auto padded = [](std::vector<uint8_t> bytes, size_t width) {
    bytes.resize(width, 0);
    return Value(std::move(bytes));
  };
  auto when = [](std::chrono::system_clock::time_point at) {
    return Value(FormatDateTime(DateTimeAt(at, false)));
  };
  for (const Session* session : sessions) {
    const bool self = session == &ctx.session;
    const Database* db = ctx.server.FindDatabase(session->database);
    const bool sa = EqualNoCase(session->login, "sa");
    const int uid = sa || !db ? 1 : SysUserId(*db, session->login);
    const std::vector<uint8_t> sid =
        sa ? std::vector<uint8_t>{0x01}
           : std::vector<uint8_t>(session->login.begin(), session->login.end());
    rows.push_back({SysInt(session->id),
                    SysInt(0),
                    SysInt(ctx.transactions.BlockedBy(session->id)),
                    padded({}, 2),
                    SysInt(0),
                    SysPadded("MISCELLANEOUS", 32),
                    SysPadded("", 256),
                    SysInt(db ? db->dbid : 1),
                    SysInt(uid),
                    SysInt(0),
                    SysInt(0),
                    SysInt(0),
                    when(session->login_time),
                    when(session->last_batch),
                    SysInt(0),
                    SysInt(session->transaction.count),
                    SysPadded(self ? "runnable" : "sleeping", 30),
                    padded(sid, 86),
                    SysPadded(session->host_name, 128),
                    SysPadded(session->program_name, 128),
                    SysPadded("", 8),
                    SysPadded(self ? "SELECT" : "AWAITING COMMAND", 16),
                    SysPadded("", 128),
                    SysPadded("", 128),
                    SysPadded("", 12),
                    SysPadded(session->net_library, 12),
                    SysPadded(session->login, 128),
                    padded({}, 128),
                    padded({}, 20),
                    SysInt(0),
                    SysInt(0)});
  }
  return std::nullopt;
}

// The local server (srvid 0), and the distributor when this server is one.
Status SysServersRows(SystemScope& scope, std::vector<Row>& rows) {
  const ServerState& server = scope.ctx.server;
  auto add = [&rows](int id, const std::string& name, bool dist) {
    rows.push_back({SysInt(id),
                    SysInt(1089),
                    name,
                    std::string("SQL Server"),
                    std::string("SQLOLEDB"),
                    name,
                    Value(),
                    Value(),
                    std::string(kServerDate),
                    SysInt(0),
                    SysInt(0),
                    Value(),
                    Value(),
                    SysInt(0),
                    SysInt(0),
                    SysPadded(name.substr(0, 30), 30),
                    SysInt(1),
                    SysInt(1),
                    SysInt(0),
                    SysInt(0),
                    SysInt(dist ? 1 : 0),
                    SysInt(0),
                    SysInt(1),
                    SysInt(0),
                    SysInt(0),
                    SysInt(0),
                    SysInt(1),
                    SysInt(0),
                    Value()});
  };
  add(0, server.options.name, server.distributor.has_value());
  if (server.distributor) add(1, "repl_distributor", true);
  return std::nullopt;
}

// The settings sp_configure shows, at the values a new server has.
Status SysConfiguresRows(SystemScope&, std::vector<Row>& rows) {
  struct Setting {
    int config;
    int value;
    const char* comment;
    int status;  // 1 dynamic, 2 advanced
  };
  static constexpr Setting kSettings[] = {
      {101, 0, "Maximum recovery interval in minutes", 3},
      {102, 0, "Allow updates to system tables", 1},
      {103, 0, "Number of user connections allowed", 2},
      {106, 0, "Number of locks for all users", 2},
      {107, 0, "Number of open database objects", 2},
      {109, 5, "Default fill factor percentage", 2},
      {115, 1, "Allow triggers to be invoked within triggers", 1},
      {117, 1, "Allow remote access", 0},
      {124, 0, "default language", 1},
      {1126, 1033, "default full-text language used by full-text search", 3},
      {1127, 2049, "two digit year cutoff", 3},
      {1505, 0, "Network packet size", 3},
      {1519, 20, "remote login timeout", 1},
      {1520, 600, "remote query timeout", 1},
      {1544, 2147483647, "Maximum size of server memory (MB)", 3},
  };
  for (const Setting& setting : kSettings) {
    rows.push_back({SysInt(setting.value), SysInt(setting.config), std::string(setting.comment),
                    SysInt(setting.status)});
  }
  return std::nullopt;
}

Status SysLanguagesRows(SystemScope&, std::vector<Row>& rows) {
  rows.push_back({SysInt(0), std::string("mdy"), SysInt(7), SysInt(0), std::string("us_english"),
                  std::string("English"),
                  std::string("January,February,March,April,May,June,July,August,September,October,"
                              "November,December"),
                  std::string("Jan,Feb,Mar,Apr,May,Jun,Jul,Aug,Sep,Oct,Nov,Dec"),
                  std::string("Monday,Tuesday,Wednesday,Thursday,Friday,Saturday,Sunday"),
                  SysInt(1033), SysInt(1033)});
  return std::nullopt;
}

// The character set (type 1001) and the sort orders (type 2001) of the
// server's two collations.
Status SysCharsetsRows(SystemScope&, std::vector<Row>& rows) {
  rows.push_back({SysInt(1001), SysInt(1), SysInt(0), SysInt(0), std::string("iso_1"),
                  std::string("ISO 8859-1 (Latin-1) - Western European 8-bit character set."),
                  Value(), Value()});
  rows.push_back({SysInt(2001), SysInt(51), SysInt(1), SysInt(0), std::string("bin_cp850"),
                  std::string("Case-sensitive dictionary sort order, for use with the "
                              "1252 Character Set."),
                  Value(), Value()});
  rows.push_back({SysInt(2001), SysInt(52), SysInt(1), SysInt(0), std::string("nocase_iso"),
                  std::string("Case-insensitive dictionary sort order, for use with several "
                              "Western-European languages."),
                  Value(), Value()});
  return std::nullopt;
}

constexpr SystemTableDef kMasterTables[] = {
    {"sysdatabases", kSysDatabases, SysDatabasesRows},
    {"sysdevices", kSysDevices, SysDevicesRows},
    {"syslogins", kSysLogins, SysLoginsRows},
    {"sysservers", kSysServers, SysServersRows},
    {"sysconfigures", kSysConfigures, SysConfiguresRows},
    {"syslanguages", kSysLanguages, SysLanguagesRows},
    {"syscharsets", kSysCharsets, SysCharsetsRows},
    {"sysprocesses", kSysProcesses, SysProcessesRows},
};

}  // namespace

std::span<const SystemTableDef> MasterSystemTables() { return kMasterTables; }

}  // namespace server
