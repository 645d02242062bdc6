// The system tables of users and permissions: sysusers, sysprotects,
// syspermissions.

#include "server/exec/system_tables.h"

namespace server {

namespace {

using namespace sys_type;

constexpr SystemColumn kSysUsers[] = {
    {"uid", kSmallInt},        {"status", kSmallInt},      {"name", kSysname},
    {"sid", VarBinary(85)},    {"roles", VarBinary(2048)}, {"createdate", kDateTime},
    {"updatedate", kDateTime}, {"altuid", kSmallInt},      {"password", VarBinary(256)},
    {"gid", kSmallInt},        {"environ", VarChar(255)},  {"hasdbaccess", kInt},
    {"islogin", kInt},         {"isntname", kInt},         {"isntgroup", kInt},
    {"isntuser", kInt},        {"issqluser", kInt},        {"isaliased", kInt},
    {"issqlrole", kInt},       {"isapprole", kInt},
};

constexpr SystemColumn kSysProtects[] = {
    {"id", kInt},
    {"uid", kSmallInt},
    {"action", kTinyInt},
    {"protecttype", kTinyInt},
    {"columns", VarBinary(4000)},
    {"grantor", kSmallInt},
};

constexpr SystemColumn kSysPermissions[] = {
    {"id", kInt},
    {"grantee", kSmallInt},
    {"grantor", kSmallInt},
    {"actadd", kSmallInt},
    {"actmod", kSmallInt},
    {"seladd", VarBinary(4000)},
    {"selmod", VarBinary(4000)},
    {"updadd", VarBinary(4000)},
    {"updmod", VarBinary(4000)},
    {"refadd", VarBinary(4000)},
    {"refmod", VarBinary(4000)},
};

constexpr const char* kUserDate = "2000-08-06 01:29:12.250";

// The fixed database roles every database has, with their uids.
struct FixedRole {
  const char* name;
  int uid;
};
constexpr FixedRole kFixedRoles[] = {
    {"db_owner", 16384},      {"db_accessadmin", 16385},    {"db_securityadmin", 16386},
    {"db_ddladmin", 16387},   {"db_backupoperator", 16389}, {"db_datareader", 16390},
    {"db_datawriter", 16391}, {"db_denydatareader", 16392}, {"db_denydatawriter", 16393},
};

Row UserRow(int uid, const std::string& name, Value sid, bool access, bool login, bool role) {
  return {SysInt(uid),
          SysInt(role ? 0 : 2),
          name,
          std::move(sid),
          Value(),
          std::string(kUserDate),
          std::string(kUserDate),
          SysInt(0),
          Value(),
          SysInt(role ? uid : 0),
          Value(),
          SysInt(access ? 1 : 0),
          SysInt(login ? 1 : 0),
          SysInt(0),
          SysInt(0),
          SysInt(0),
          SysInt(role ? 0 : 1),
          SysInt(0),
          SysInt(role ? 1 : 0),
          SysInt(0)};
}

// public (the role every user is in), the users (dbo owns the database;
// guest has no access until granted it), the two schemas SQL Server keeps
// as users, and the fixed roles.
Status SysUsersRows(SystemScope& scope, std::vector<Row>& rows) {
  Database& db = scope.db;
  rows.push_back(UserRow(0, "public", Value(), false, false, true));
  for (size_t i = 0; i < db.users.size(); ++i) {
    const std::string& name = db.users[i];
    int uid = SysUserId(db, name);
    bool dbo = uid == 1;
    bool guest = uid == 2;
    Value sid = dbo     ? Value(std::vector<uint8_t>{0x01})
                : guest ? Value(std::vector<uint8_t>{0x00})
                        : Value(std::vector<uint8_t>{});
    rows.push_back(UserRow(uid, name, sid, !guest, !guest, false));
    if (guest) {
      rows.push_back(UserRow(3, "INFORMATION_SCHEMA", Value(), false, false, false));
      rows.push_back(UserRow(4, "system_function_schema", Value(), false, false, false));
    }
  }
  for (const FixedRole& role : kFixedRoles) {
    rows.push_back(UserRow(role.uid, role.name, Value(), false, false, true));
  }
  std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
    return std::get<int64_t>(a[0]) < std::get<int64_t>(b[0]);
  });
  return std::nullopt;
}

int GranteeId(const Database& db, const std::string& grantee) {
  return EqualNoCase(grantee, "public") ? 0 : SysUserId(db, grantee);
}

// sysprotects.action of a privilege.
int ActionOf(const std::string& privilege) {
  struct Action {
    const char* privilege;
    int action;
  };
  static constexpr Action kActions[] = {{"REFERENCES", 26}, {"SELECT", 193}, {"INSERT", 195},
                                        {"DELETE", 196},    {"UPDATE", 197}, {"EXECUTE", 224}};
  for (const Action& action : kActions) {
    if (EqualNoCase(privilege, action.privilege)) return action.action;
  }
  return 0;
}

// A column bitmap: bit n for column n, bit 0 for the whole object.
// A view's columns count as a table's do.
std::vector<uint8_t> ColumnBits(SystemScope& scope, const Permission& permission) {
  std::vector<uint8_t> bits(1, 0);
  if (permission.columns.empty()) {
    bits[0] = 1;
    return bits;
  }
  std::optional<ObjectRef> object = scope.db.FindObjectById(permission.object_id);
  if (!object) return bits;
  const std::vector<ColumnFacts> facts = ObjectColumns(*object, scope);
  for (const std::string& column : permission.columns) {
    int colid = 0;
    for (const ColumnFacts& fact : facts) {
      if (Collation(false).Equal(fact.name, column)) colid = fact.colid;
    }
    if (colid <= 0) continue;
    size_t byte = static_cast<size_t>(colid) / 8;
    if (bits.size() <= byte) bits.resize(byte + 1, 0);
    bits[byte] |= static_cast<uint8_t>(1 << (colid % 8));
  }
  return bits;
}

Status SysProtectsRows(SystemScope& scope, std::vector<Row>& rows) {
  for (const Permission& permission : scope.db.permissions) {
    // protecttype 205: GRANT.
    Value columns = Value(ColumnBits(scope, permission));
    rows.push_back({SysInt(permission.object_id), SysInt(GranteeId(scope.db, permission.grantee)),
                    SysInt(ActionOf(permission.privilege)), SysInt(205), columns, SysInt(1)});
  }
  return std::nullopt;
}

// One row per object and grantee; actadd has a bit per privilege granted
// on the whole object, and the column bitmaps those granted on columns.
Status SysPermissionsRows(SystemScope& scope, std::vector<Row>& rows) {
  struct Bit {
    const char* privilege;
    int bit;
  };
  static constexpr Bit kBits[] = {{"SELECT", 1}, {"UPDATE", 2},  {"REFERENCES", 4},
                                  {"INSERT", 8}, {"DELETE", 16}, {"EXECUTE", 32}};
  std::vector<std::pair<int, int>> keys;
  for (const Permission& permission : scope.db.permissions) {
    std::pair<int, int> key{permission.object_id, GranteeId(scope.db, permission.grantee)};
    if (std::find(keys.begin(), keys.end(), key) == keys.end()) keys.push_back(key);
  }
  for (const auto& [id, grantee] : keys) {
    int64_t actadd = 0;
    Value seladd, updadd, refadd;
    for (const Permission& permission : scope.db.permissions) {
      if (permission.object_id != id || GranteeId(scope.db, permission.grantee) != grantee)
        continue;
      if (permission.columns.empty()) {
        for (const Bit& bit : kBits) {
          if (EqualNoCase(permission.privilege, bit.privilege)) actadd |= bit.bit;
        }
        continue;
      }
      Value bits = Value(ColumnBits(scope, permission));
      if (EqualNoCase(permission.privilege, "SELECT")) seladd = bits;
      if (EqualNoCase(permission.privilege, "UPDATE")) updadd = bits;
      if (EqualNoCase(permission.privilege, "REFERENCES")) refadd = bits;
    }
    rows.push_back({SysInt(id), SysInt(grantee), SysInt(1), actadd, SysInt(0), seladd, Value(),
                    updadd, Value(), refadd, Value()});
  }
  return std::nullopt;
}

constexpr SystemTableDef kSecurityTables[] = {
    {"sysusers", kSysUsers, SysUsersRows},
    {"sysprotects", kSysProtects, SysProtectsRows},
    {"syspermissions", kSysPermissions, SysPermissionsRows},
};

}  // namespace

std::span<const SystemTableDef> SecuritySystemTables() { return kSecurityTables; }

}  // namespace server
