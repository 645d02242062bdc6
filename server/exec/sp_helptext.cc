// sp_helptext, an object's text in lines; sp_depends, what modules are
// known to reference.

#include <algorithm>

#include "server/exec/help_procedures.h"
#include "server/types/collation.h"

namespace server {

namespace {

using namespace sys_type;

constexpr SystemColumn kHelpTextColumns[] = {{"Text", NVarChar(255)}};

constexpr SystemColumn kDependsOn[] = {{"name", NVarChar(257)},
                                       {"type", NVarChar(16)},
                                       {"updated", Char(7)},
                                       {"selected", Char(8)},
                                       {"column", kSysname}};
constexpr SystemColumn kDependedOnBy[] = {{"name", NVarChar(257)}, {"type", NVarChar(16)}};

constexpr size_t kHelpTextLine = 255;

// The text syscomments holds for an object; false when it has none (a
// table, a constraint that is an index).
bool ObjectText(const ObjectRef& ref, std::string& text, bool& encrypted) {
  encrypted = false;
  switch (ref.kind) {
    case ObjectKind::kView:
    case ObjectKind::kProcedure:
    case ObjectKind::kFunction:
      if (!ref.module) return false;
      text = ref.module->text;
      encrypted = ref.module->encrypted;
      return true;
    case ObjectKind::kDefault:
    case ObjectKind::kRule:
      if (!ref.bindable) return false;
      text = ref.bindable->text;
      return true;
    case ObjectKind::kTrigger:
      for (const Trigger& trigger : ref.table->triggers) {
        if (trigger.id != ref.id) continue;
        text = trigger.text;
        encrypted = trigger.encrypted;
        return true;
      }
      return false;
    case ObjectKind::kCheck:
      for (const CheckConstraint& check : ref.table->checks) {
        if (check.id != ref.id) continue;
        text = "(" + check.text + ")";
        return true;
      }
      return false;
    case ObjectKind::kDefaultConstraint:
      for (const Column& column : ref.table->columns) {
        if (column.default_id != ref.id) continue;
        text = "(" + column.default_text + ")";
        return true;
      }
      return false;
    default:
      return false;
  }
}

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The text's lines, each with its line end, cut into pieces of at most
// 255 characters (not bytes: the column is nvarchar).
std::vector<Row> TextLines(const std::string& text) {
  std::vector<Row> rows;
  std::string line;
  size_t characters = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (!IsContinuationByte(c)) {
      if (characters == kHelpTextLine) {
        rows.push_back({std::move(line)});
        line.clear();
        characters = 0;
      }
      ++characters;
    }
    line += c;
    if (c == '\n') {
      rows.push_back({std::move(line)});
      line.clear();
      characters = 0;
    }
  }
  if (!line.empty()) rows.push_back({std::move(line)});
  return rows;
}

// What the server records of a module's references (sysdepends): the
// objects a schema-bound module binds to. Other bodies are resolved only
// when they run, so nothing is known of them beforehand.
std::vector<const ObjectRef*> References(const ObjectRef& module,
                                         const std::vector<ObjectRef>& objects) {
  std::vector<const ObjectRef*> found;
  if (!module.module) return found;
  for (const ObjectRef& object : objects) {
    const std::vector<int>& bound = module.module->bound_ids;
    if (std::find(bound.begin(), bound.end(), object.id) != bound.end()) found.push_back(&object);
  }
  return found;
}

}  // namespace

Status SpHelpText(const ProcArgs& args, ExecContext& ctx) {
  Database* db = ctx.CurrentDatabase();
  const std::string given = args.Text("@objname");
  std::optional<ObjectRef> object = db ? FindHelpObject(*db, given, ctx) : std::nullopt;
  if (!object) return Raise(Msg::kObjectNotInDatabase, {given, db ? db->name : ""});
  std::string text;
  bool encrypted = false;
  if (!ObjectText(*object, text, encrypted)) return Raise(Msg::kNoTextForObject, {given});
  if (encrypted) {
    HelpInform(Raise(Msg::kCommentsEncrypted), ctx);
    return std::nullopt;
  }
  SendHelpRows(kHelpTextColumns, TextLines(text), ctx);
  return std::nullopt;
}

Status SpDepends(const ProcArgs& args, ExecContext& ctx) {
  Database* db = ctx.CurrentDatabase();
  const std::string given = args.Text("@objname");
  std::optional<ObjectRef> object = db ? FindHelpObject(*db, given, ctx) : std::nullopt;
  if (!object) return Raise(Msg::kObjectNotInDatabase, {given, db ? db->name : ""});
  const std::vector<ObjectRef> objects = db->AllObjects();
  std::vector<Row> uses;
  for (const ObjectRef* used : References(*object, objects)) {
    // A binding reads the whole object: no column is recorded.
    uses.push_back({used->owner + "." + used->name, std::string(HelpObjectType(used->xtype)),
                    SysPadded("no", 7), SysPadded("yes", 8), Value()});
  }
  std::vector<Row> users;
  for (const ObjectRef& other : objects) {
    for (const ObjectRef* used : References(other, objects)) {
      if (used->id != object->id) continue;
      users.push_back({other.owner + "." + other.name, std::string(HelpObjectType(other.xtype))});
      break;
    }
  }
  if (uses.empty() && users.empty()) {
    HelpInform(Raise(Msg::kNoDependencies), ctx);
    return std::nullopt;
  }
  if (!uses.empty()) {
    HelpInform(
        SqlError{0, 0, 1,
                 "In the current database, the specified object references the following:", 0},
        ctx);
    SendHelpRows(kDependsOn, std::move(uses), ctx);
  }
  if (!users.empty()) {
    HelpInform(
        SqlError{
            0, 0, 1,
            "In the current database, the specified object is referenced by the following:", 0},
        ctx);
    SendHelpRows(kDependedOnBy, std::move(users), ctx);
  }
  return std::nullopt;
}

}  // namespace server
