// GRANT object permissions, whole-object or on columns, to public or to a
// database user.

#include <algorithm>

#include "server/exec/executor.h"
#include "server/exec/relation.h"

namespace server {

namespace {

// The privileges an object of this kind can carry.
std::vector<std::string> Applicable(const ObjectRef& object) {
  switch (object.kind) {
    case ObjectKind::kTable:
    case ObjectKind::kView:
    case ObjectKind::kSystemTable:
      return {"SELECT", "INSERT", "UPDATE", "DELETE", "REFERENCES"};
    case ObjectKind::kProcedure:
      return {"EXECUTE"};
    case ObjectKind::kFunction:
      return object.module && object.module->type == ModuleType::kScalarFunction
                 ? std::vector<std::string>{"EXECUTE", "REFERENCES"}
                 : std::vector<std::string>{"SELECT", "INSERT", "UPDATE", "DELETE", "REFERENCES"};
    default:
      return {};
  }
}

}  // namespace

Status ExecuteGrant(const GrantStmt& stmt, ExecContext& ctx) {
  const Collation& collation = ctx.collation();
  Database* db = DatabaseOf(stmt.object, ctx);
  std::optional<ObjectRef> object;
  if (db) object = db->FindObject(stmt.object.owner, stmt.object.name, collation);
  if (!object) return Raise(Msg::kInvalidObjectName, {stmt.object.Text()});

  std::vector<std::string> applicable = Applicable(*object);
  std::vector<std::string> privileges;
  for (const std::string& privilege : stmt.privileges) {
    if (privilege == "ALL") {
      privileges.insert(privileges.end(), applicable.begin(), applicable.end());
      continue;
    }
    bool ok = false;
    for (const std::string& allowed : applicable) ok = ok || allowed == privilege;
    bool column_ok = privilege == "SELECT" || privilege == "UPDATE" || privilege == "REFERENCES";
    if (!ok || (!stmt.columns.empty() && !column_ok))
      return Raise(Msg::kPrivilegeNotCompatible, {privilege});
    privileges.push_back(privilege);
  }
  if (privileges.empty()) return Raise(Msg::kPrivilegeNotCompatible, {"ALL"});

  std::vector<std::string> columns;
  if (!stmt.columns.empty()) {
    Relation relation;
    TableRef ref{stmt.object, "", {}};
    if (Status s = OpenRelation(ref, ctx, relation)) return s;
    for (const std::string& column : stmt.columns) {
      bool found = false;
      for (const std::string& name : relation.schema.names) {
        if (collation.Equal(name, column)) {
          columns.push_back(name);
          found = true;
          break;
        }
      }
      if (!found) return Raise(Msg::kInvalidColumnName, {column});
    }
  }
  for (const std::string& grantee : stmt.grantees) {
    if (grantee != "public" && !db->HasUser(grantee, collation))
      return Raise(Msg::kNoSuchUser, {grantee});
  }
  // One permission per object, grantee and privilege, as sysprotects keeps
  // one row: a grant on more columns adds them to it; a grant on the whole
  // object takes the column grants' place.
  for (const std::string& grantee : stmt.grantees) {
    for (const std::string& privilege : privileges) {
      auto same = [&](const Permission& p) {
        return p.object_id == object->id && collation.Equal(p.privilege, privilege) &&
               collation.Equal(p.grantee, grantee);
      };
      auto held = std::find_if(db->permissions.begin(), db->permissions.end(), same);
      if (held == db->permissions.end()) {
        db->permissions.push_back({object->id, privilege, columns, grantee});
      } else if (columns.empty() || held->columns.empty()) {
        held->columns.clear();
      } else {
        for (const std::string& column : columns) {
          bool listed = false;
          for (const std::string& old : held->columns)
            listed = listed || collation.Equal(old, column);
          if (!listed) held->columns.push_back(column);
        }
      }
    }
  }
  ctx.MarkChanged();
  ctx.outcome.row_counts.push_back(-1);
  return std::nullopt;
}

}  // namespace server
