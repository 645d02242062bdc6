// sp_helptrigger, sp_helpsort and sp_helprotect: what database tools ask
// of a table's triggers, the server's sort order and the permissions kept.

#include <algorithm>
#include <cctype>

#include "server/exec/help_procedures.h"
#include "server/exec/table_functions.h"
#include "server/types/collation.h"

namespace server {

namespace {

using namespace sys_type;

constexpr SystemColumn kHelpTriggerColumns[] = {
    {"trigger_name", kSysname}, {"trigger_owner", kSysname}, {"isupdate", kInt},
    {"isdelete", kInt},         {"isinsert", kInt},          {"isafter", kInt},
    {"isinsteadof", kInt}};

constexpr SystemColumn kHelpSortColumns[] = {{"Server default collation", NVarChar(1000)}};

// The widths of ProtectType and Action are unsure.
constexpr SystemColumn kHelpProtectColumns[] = {{"Owner", kSysname},       {"Object", kSysname},
                                                {"Grantee", kSysname},     {"Grantor", kSysname},
                                                {"ProtectType", Char(10)}, {"Action", VarChar(20)},
                                                {"Column", kSysname}};

// A privilege as sp_helprotect's Action spells it.
std::string ActionWord(const std::string& privilege) {
  std::string word;
  for (char c : privilege) word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (!word.empty()) word[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(word[0])));
  return word;
}

// Whether a privilege is one that columns can carry.
bool ColumnPrivilege(const std::string& privilege) {
  return EqualNoCase(privilege, "SELECT") || EqualNoCase(privilege, "UPDATE") ||
         EqualNoCase(privilege, "REFERENCES");
}

}  // namespace

Status SpHelpTrigger(const ProcArgs& args, ExecContext& ctx) {
  Database* db = ctx.CurrentDatabase();
  const std::string given = args.Text("@tabname");
  std::optional<ObjectRef> object = db ? FindHelpObject(*db, given, ctx) : std::nullopt;
  if (!object) return Raise(Msg::kObjectNotInDatabase, {given, db ? db->name : ""});
  // Views take no triggers here, so a view has none to list.
  if (object->kind != ObjectKind::kTable && object->kind != ObjectKind::kView &&
      object->kind != ObjectKind::kSystemTable)
    return Raise(Msg::kNotATable, {given});
  std::string type = args.Text("@triggertype");
  type.erase(0, type.find_first_not_of(' '));
  type.erase(type.find_last_not_of(' ') + 1);
  const bool any = type.empty();
  if (!any && !EqualNoCase(type, "INSERT") && !EqualNoCase(type, "UPDATE") &&
      !EqualNoCase(type, "DELETE"))
    return Raise(Msg::kInvalidProcedureOption, {"sp_helptrigger"});
  std::vector<Row> rows;
  static const std::vector<Trigger> kNone;
  const std::vector<Trigger>& triggers =
      object->kind == ObjectKind::kTable && object->table ? object->table->triggers : kNone;
  // In the order they were created, as their ids run (unsure whether SQL
  // Server sorts them by name instead).
  for (const Trigger& trigger : triggers) {
    const bool wanted = any || (trigger.on_insert && EqualNoCase(type, "INSERT")) ||
                        (trigger.on_update && EqualNoCase(type, "UPDATE")) ||
                        (trigger.on_delete && EqualNoCase(type, "DELETE"));
    if (!wanted) continue;
    rows.push_back({trigger.name, object->owner, SysInt(trigger.on_update),
                    SysInt(trigger.on_delete), SysInt(trigger.on_insert),
                    SysInt(!trigger.instead_of), SysInt(trigger.instead_of)});
  }
  SendHelpRows(kHelpTriggerColumns, std::move(rows), ctx);
  return std::nullopt;
}

Status SpHelpSort(const ProcArgs&, ExecContext& ctx) {
  const std::string_view name = ctx.server.options.case_sensitive ? "SQL_Latin1_General_CP1_CS_AS"
                                                                  : "SQL_Latin1_General_CP1_CI_AS";
  std::vector<Row> rows;
  for (const ServerCollation& collation : ServerCollations()) {
    if (collation.name == name) rows.push_back({std::string(collation.description)});
  }
  SendHelpRows(kHelpSortColumns, std::move(rows), ctx);
  return std::nullopt;
}

// Only object permissions are kept (GRANT on objects; DENY and statement
// permissions are refused), so every row is a grant by dbo, and asking for
// statement permissions alone finds nothing.
Status SpHelpProtect(const ProcArgs& args, ExecContext& ctx) {
  Database* db = ctx.CurrentDatabase();
  if (!db) return Raise(Msg::kInternalError, {"no current database"});
  const Collation& collation = ctx.collation();
  std::string area = args.Given("@permissionarea") ? args.Text("@permissionarea") : "o s";
  bool objects = false;
  for (char c : area) {
    if (c == 'o' || c == 'O') {
      objects = true;
    } else if (c != 's' && c != 'S' && c != ' ') {
      return Raise(Msg::kInvalidProcedureOption, {"sp_helprotect"});
    }
  }
  std::optional<ObjectRef> object;
  if (args.Given("@name")) {
    const std::string name = args.Text("@name");
    object = FindHelpObject(*db, name, ctx);
    if (!object) return Raise(Msg::kObjectNotInDatabase, {name, db->name});
  }
  const std::string username = args.Text("@username");
  if (!username.empty() && !EqualNoCase(username, "public") &&
      std::none_of(db->users.begin(), db->users.end(),
                   [&](const std::string& user) { return collation.Equal(user, username); }))
    return Raise(Msg::kNotAUser, {username});
  const std::string grantor = args.Text("@grantor");
  if (!grantor.empty() &&
      std::none_of(db->users.begin(), db->users.end(),
                   [&](const std::string& user) { return collation.Equal(user, grantor); }))
    return Raise(Msg::kNotAUser, {grantor});
  std::vector<Row> rows;
  for (const Permission& permission : db->permissions) {
    if (!objects) break;
    if (object && permission.object_id != object->id) continue;
    if (!username.empty() && !collation.Equal(permission.grantee, username)) continue;
    if (!grantor.empty() && !collation.Equal("dbo", grantor)) continue;
    std::optional<ObjectRef> on = db->FindObjectById(permission.object_id);
    if (!on) continue;
    auto add = [&](std::string column) {
      rows.push_back({on->owner, on->name, permission.grantee, std::string("dbo"),
                      SysPadded("Grant", 10), ActionWord(permission.privilege), std::move(column)});
    };
    if (!ColumnPrivilege(permission.privilege)) {
      add(".");
    } else if (permission.columns.empty()) {
      // A grant on the whole object covers columns added later too.
      add("(All+New)");
    } else {
      for (const std::string& column : permission.columns) add(column);
    }
  }
  if (rows.empty()) return Raise(Msg::kNoMatchingRows);
  std::stable_sort(rows.begin(), rows.end(), [&](const Row& a, const Row& b) {
    for (size_t i = 0; i < a.size(); ++i) {
      int c = collation.Compare(std::get<std::string>(a[i]), std::get<std::string>(b[i]));
      if (c != 0) return c < 0;
    }
    return false;
  });
  SendHelpRows(kHelpProtectColumns, std::move(rows), ctx);
  return std::nullopt;
}

}  // namespace server
