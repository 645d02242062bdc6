#include "server/exec/help_procedures.h"

#include "server/types/collation.h"

namespace server {

namespace {

constexpr ParamType kHelpText = ParamType::kText;

}  // namespace

// SQL Server 2000's parameter lists of the family.
const std::vector<SystemProcedure>& HelpProcedures() {
  static const std::vector<SystemProcedure> kProcedures = {
      {"sp_help", {{"@objname", kHelpText, false, nullptr}}, SpHelp},
      {"sp_helpindex", {{"@objname", kHelpText, true, nullptr}}, SpHelpIndex},
      {"sp_helpconstraint",
       {{"@objname", kHelpText, true, nullptr}, {"@nomsg", kHelpText, false, nullptr}},
       SpHelpConstraint},
      {"sp_helptext", {{"@objname", kHelpText, true, nullptr}}, SpHelpText},
      {"sp_depends", {{"@objname", kHelpText, true, nullptr}}, SpDepends},
      {"sp_rename",
       {{"@objname", kHelpText, true, nullptr},
        {"@newname", kHelpText, true, nullptr},
        {"@objtype", kHelpText, false, nullptr}},
       SpRename},
      {"sp_helpdb", {{"@dbname", kHelpText, false, nullptr}}, SpHelpDb},
      {"sp_helpfile", {{"@filename", kHelpText, false, nullptr}}, SpHelpFile},
      {"sp_helpuser", {{"@name_in_db", kHelpText, false, nullptr}}, SpHelpUser},
      // Those that only read run beside other sessions' open transactions.
      {"sp_who", {{"@loginame", kHelpText, false, nullptr}}, SpWho, /*reads_only=*/true},
      {"sp_helptrigger",
       {{"@tabname", kHelpText, true, nullptr}, {"@triggertype", kHelpText, false, nullptr}},
       SpHelpTrigger,
       /*reads_only=*/true},
      {"sp_helpsort", {}, SpHelpSort, /*reads_only=*/true},
      {"sp_helprotect",
       {{"@name", kHelpText, false, nullptr},
        {"@username", kHelpText, false, nullptr},
        {"@grantor", kHelpText, false, nullptr},
        {"@permissionarea", kHelpText, false, nullptr}},
       SpHelpProtect,
       /*reads_only=*/true},
      {"sp_spaceused",
       {{"@objname", kHelpText, false, nullptr}, {"@updateusage", kHelpText, false, nullptr}},
       SpSpaceUsed,
       /*reads_only=*/true},
      {"sp_lock",
       {{"@spid1", ParamType::kInt, false, nullptr}, {"@spid2", ParamType::kInt, false, nullptr}},
       SpLock,
       /*reads_only=*/true},
  };
  return kProcedures;
}

void SendHelpRows(std::span<const SystemColumn> columns, std::vector<Row> rows, ExecContext& ctx) {
  ResultSet result;
  for (const SystemColumn& column : columns) {
    result.columns.push_back(column.name);
    result.types.push_back(TypeName(column.type));
  }
  // Under FMTONLY those that only read still describe their columns.
  if (!ctx.session.options.fmtonly) result.rows = std::move(rows);
  const auto count = static_cast<int64_t>(result.rows.size());
  result.statement = ctx.outcome.row_counts.size();
  ctx.outcome.results.push_back(std::move(result));
  ctx.CountRows(count);
}

void HelpInform(SqlError message, ExecContext& ctx) {
  message.line = ctx.statement_line;
  ctx.Inform(std::move(message));
}

std::optional<ObjectRef> FindHelpObject(Database& db, std::string_view text, ExecContext& ctx) {
  ObjectName name = ParseObjectText(text);
  if (name.parts > 3 || name.name.empty()) return std::nullopt;
  if (!name.database.empty() && !ctx.collation().Equal(name.database, db.name)) return std::nullopt;
  return db.FindObject(name.owner, name.name, ctx.collation());
}

const char* HelpObjectType(std::string_view xtype) {
  static constexpr std::pair<std::string_view, const char*> kTypes[] = {
      {"C", "check cns"},
      {"D", "default (maybe cns)"},
      {"F", "foreign key cns"},
      {"FN", "scalar function"},
      {"IF", "inlined function"},
      {"K", "primary key cns"},
      {"P", "stored procedure"},
      {"PK", "primary key cns"},
      {"R", "rule"},
      {"S", "system table"},
      {"TF", "table function"},
      {"TR", "trigger"},
      {"U", "user table"},
      {"UQ", "unique key cns"},
      {"V", "view"},
      {"X", "extended stored proc"},
  };
  for (const auto& [code, words] : kTypes) {
    if (code == xtype) return words;
  }
  return "";
}

}  // namespace server
