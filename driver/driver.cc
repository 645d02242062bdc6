#include "driver/driver.h"

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "base/batch_splitter.h"
#include "driver/property_table.h"
#include "driver/sql_text.h"
#include "harness/error.h"

namespace driver {

// The level types of an object's extended properties. Named outside the
// file's anonymous namespace, since the driver's work captures it.
struct Levels {
  std::u16string level1_type;
  std::u16string level1_name;
  std::u16string level2_type;
  std::u16string level2_name;
  std::u16string owner;
};

namespace {

using harness::Variant;

constexpr std::u16string_view kClassPrefix = u"MSSQL80.";

std::u16string_view ShortClass(std::u16string_view class_name) {
  if (class_name.starts_with(kClassPrefix)) class_name.remove_prefix(kClassPrefix.size());
  return class_name;
}

bool IsClass(const ObjectRef& object, std::u16string_view short_name) {
  return ShortClass(object.class_name) == short_name;
}

[[noreturn]] void Refuse(std::u16string text) {
  throw harness::Error(kDriverRefusal, std::move(text), u"driver");
}

std::u16string Describe(const ObjectRef& object) {
  std::u16string text = std::u16string(ShortClass(object.class_name)) + u" '";
  if (!object.owner.empty()) text += object.owner + u".";
  text += object.name + u"'";
  if (!object.parent_name.empty()) {
    text += u" of '";
    if (!object.parent_owner.empty()) text += object.parent_owner + u".";
    text += object.parent_name + u"'";
  }
  return text;
}

bool ParseInteger(std::u16string_view text, int64_t& out) {
  std::string ascii;
  for (char16_t c : text) {
    if (c > 0x7f) return false;
    ascii += static_cast<char>(c);
  }
  while (!ascii.empty() && ascii.back() == ' ') ascii.pop_back();
  if (ascii.empty()) return false;
  char* end = nullptr;
  long long value = std::strtoll(ascii.c_str(), &end, 10);
  if (*end != '\0') return false;
  out = value;
  return true;
}

// A value as the server sent it, as the model's kind. Null stays Null, so
// that a missing value is reported as what it is.
Variant AsKind(const Variant& value, Kind kind) {
  using K = Variant::Kind;
  if (value.is_null()) return value;
  int64_t number = 0;
  bool numeric = true;
  switch (value.kind()) {
    case K::kLong:
      number = value.AsLong();
      break;
    case K::kInteger:
      number = value.AsInteger();
      break;
    case K::kBoolean:
      number = value.AsBoolean() ? 1 : 0;
      break;
    case K::kString:
      numeric = ParseInteger(value.AsString(), number);
      break;
    case K::kNull:
      break;
  }
  switch (kind) {
    case Kind::kString:
      return value.kind() == K::kString ? value : Variant::String(value.ToText());
    case Kind::kLong:
      if (numeric && number >= INT32_MIN && number <= INT32_MAX) {
        return Variant::Long(static_cast<int32_t>(number));
      }
      break;
    case Kind::kInteger:
      if (numeric && number >= INT16_MIN && number <= INT16_MAX) {
        return Variant::Integer(static_cast<int16_t>(number));
      }
      break;
    case Kind::kBoolean:
      if (numeric) return Variant::Boolean(number != 0);
      if (value.kind() == K::kString) {
        if (value.AsString() == u"True") return Variant::Boolean(true);
        if (value.AsString() == u"False") return Variant::Boolean(false);
      }
      break;
  }
  Refuse(u"The server answered '" + value.ToText() + u"', which is not a value of the kind " +
         (kind == Kind::kLong      ? u"Long"
          : kind == Kind::kInteger ? u"Integer"
                                   : u"Boolean") +
         u".");
}

// The tools' default of a display property, held as text in the table.
Variant Fallback(const PropertyWay& way) {
  return AsKind(Variant::String(std::u16string(way.column)), way.kind);
}

// Letters, digits and _ @ # $, not starting with a digit or $: a name that a
// script may write without brackets.
bool IsRegularName(std::u16string_view name) {
  if (name.empty()) return false;
  for (size_t i = 0; i < name.size(); ++i) {
    char16_t c = name[i];
    bool letter =
        (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || c == u'_' || c == u'@' || c == u'#';
    bool later = (c >= u'0' && c <= u'9') || c == u'$';
    if (!letter && !(i > 0 && later)) return false;
  }
  return true;
}

std::u16string ScriptName(std::u16string_view name) {
  return IsRegularName(name) ? std::u16string(name) : Bracket(name);
}

// Bytes of a binary value as the session hands it over: hexadecimal digits,
// with or without a leading 0x.
std::vector<uint8_t> HexBytes(std::u16string_view text) {
  if (text.starts_with(u"0x") || text.starts_with(u"0X")) text.remove_prefix(2);
  auto digit = [](char16_t c) -> int {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
  };
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < text.size(); i += 2) {
    int high = digit(text[i]);
    int low = digit(text[i + 1]);
    if (high < 0 || low < 0) break;
    bytes.push_back(static_cast<uint8_t>(high * 16 + low));
  }
  return bytes;
}

Levels LevelsOf(const ObjectRef& object) {
  if (IsClass(object, u"Column")) {
    return {u"table", object.parent_name, u"column", object.name, object.parent_owner};
  }
  if (IsClass(object, u"View")) return {u"view", object.name, {}, {}, object.owner};
  if (IsClass(object, u"StoredProcedure")) {
    return {u"procedure", object.name, {}, {}, object.owner};
  }
  return {u"table", object.name, {}, {}, object.owner};
}

std::u16string OrNull(const std::u16string& text) { return text.empty() ? u"NULL" : Literal(text); }

// The seven arguments after the property name and value that address an
// object's extended property.
std::u16string LevelArguments(const Levels& levels) {
  return u"N'user', " + Literal(levels.owner) + u", " + Literal(levels.level1_type) + u", " +
         Literal(levels.level1_name) + u", " + OrNull(levels.level2_type) + u", " +
         OrNull(levels.level2_name);
}

}  // namespace

// The driver's work, over the session it was given.
class Access {
 public:
  Access(Driver& driver, const ObjectRef& object) : driver_(driver), object_(object) {}

  harness::ComPtr<harness::ResultSet> Query(const std::u16string& text) {
    return driver_.session_.Query(text);
  }
  void Execute(const std::u16string& text) { driver_.session_.Execute(0, text); }

  // `text` with the object's placeholders filled in.
  std::u16string Fill(std::u16string_view text) {
    const std::u16string object = Literal(Qualified(object_.owner, object_.name));
    const std::u16string name = Literal(object_.name);
    const std::u16string owner = Literal(object_.owner);
    const std::u16string table = Literal(Qualified(object_.parent_owner, object_.parent_name));
    const std::u16string parent = Literal(object_.parent_name);
    return driver::Fill(text, [&](std::u16string_view key) -> const std::u16string* {
      if (key == u"object") return &object;
      if (key == u"name") return &name;
      if (key == u"owner") return &owner;
      if (key == u"table") return &table;
      if (key == u"parent") return &parent;
      return nullptr;
    });
  }

  [[noreturn]] void NotFound() { Refuse(u"The driver found no " + Describe(object_) + u"."); }

  // The first row's cell of `way`'s column (the first column when it names
  // none), as the server sent it.
  Variant QueryCell(const PropertyWay& way) {
    auto rows = Query(Fill(way.source));
    if (rows->RowCount() < 1) NotFound();
    int32_t column = 1;
    if (!way.column.empty()) {
      column = 0;
      for (int32_t c = 1; c <= rows->ColumnCount(); ++c) {
        if (rows->ColumnName(c) == way.column) column = c;
      }
      if (column == 0) {
        Refuse(u"The server's answer has no column " + std::u16string(way.column) + u".");
      }
    }
    return rows->Value(1, column);
  }

  Variant ReadQuery(const PropertyWay& way) { return AsKind(QueryCell(way), way.kind); }

  // The help procedures show an unset text as NULL, the tools as nothing.
  Variant ReadHelp(const PropertyWay& way) {
    Variant value = QueryCell(way);
    if (value.is_null() && way.kind == Kind::kString) return Variant::String(u"");
    return AsKind(value, way.kind);
  }

  // A bit mask as the session hands it over: a number, or a binary value,
  // which sessions give as text in hexadecimal (with 0x, or without over
  // ODBC).
  static uint64_t Bits(const Variant& value) {
    if (value.kind() == Variant::Kind::kString) {
      uint64_t bits = 0;
      for (uint8_t byte : HexBytes(value.AsString())) bits = (bits << 8) | byte;
      return bits;
    }
    if (value.is_null()) return 0;
    return static_cast<uint64_t>(AsKind(value, Kind::kLong).AsLong());
  }

  static uint64_t Mask(const PropertyWay& way) {
    uint64_t mask = 0;
    for (uint8_t byte : HexBytes(way.write_source)) mask = (mask << 8) | byte;
    return mask;
  }

  Variant ReadHelpBit(const PropertyWay& way) {
    return Variant::Boolean((Bits(QueryCell(way)) & Mask(way)) != 0);
  }

  Variant ReadList(const PropertyWay& way) {
    auto rows = Query(Fill(way.source));
    if (rows->RowCount() < 1) NotFound();
    std::u16string joined;
    for (int32_t r = 1; r <= rows->RowCount(); ++r) {
      Variant value = rows->Value(r, 1);
      if (r > 1) joined += u", ";
      if (!value.is_null()) joined += value.ToText();
    }
    return Variant::String(std::move(joined));
  }

  bool Encrypted() {
    auto rows = Query(Fill(u"SELECT OBJECTPROPERTY(OBJECT_ID({object}), 'IsEncrypted')"));
    return rows->RowCount() > 0 && AsKind(rows->Value(1, 1), Kind::kLong) == Variant::Long(1);
  }

  // The object's text as syscomments holds it, in its pieces' order; the
  // tools show "(encrypted)" for a text they may not read.
  std::u16string ModuleText() {
    auto exists = Query(Fill(u"SELECT OBJECT_ID({object})"));
    if (exists->RowCount() < 1 || exists->Value(1, 1).is_null()) NotFound();
    if (Encrypted()) return u"(encrypted)";
    auto rows =
        Query(Fill(u"SELECT text FROM syscomments WHERE id = OBJECT_ID({object}) ORDER BY colid"));
    std::u16string text;
    for (int32_t r = 1; r <= rows->RowCount(); ++r) {
      Variant piece = rows->Value(r, 1);
      if (!piece.is_null()) text += piece.ToText();
    }
    return text;
  }

  // A view's script: its text, then each grant on some of its columns
  // (grants on the whole view are the view's permissions, not its script).
  std::u16string ViewScript() {
    std::u16string script = ModuleText() + u"\r\nGO";
    auto columns = Query(
        Fill(u"SELECT colid, name FROM syscolumns WHERE id = OBJECT_ID({object}) ORDER BY colid"));
    auto grants =
        Query(Fill(u"SELECT action, USER_NAME(uid), columns FROM sysprotects "
                   u"WHERE id = OBJECT_ID({object}) AND protecttype IN (204, 205)"));
    for (int32_t g = 1; g <= grants->RowCount(); ++g) {
      Variant bitmap = grants->Value(g, 3);
      if (bitmap.is_null()) continue;
      std::vector<uint8_t> bits = HexBytes(bitmap.ToText());
      if (bits.empty() || (bits[0] & 1) != 0) continue;
      std::u16string names;
      for (int32_t c = 1; c <= columns->RowCount(); ++c) {
        int64_t colid = AsKind(columns->Value(c, 1), Kind::kLong).AsLong();
        size_t byte = static_cast<size_t>(colid / 8);
        if (byte >= bits.size() || (bits[byte] & (1 << (colid % 8))) == 0) continue;
        if (!names.empty()) names += u", ";
        names += ScriptName(columns->Value(c, 2).ToText());
      }
      if (names.empty()) continue;
      script += u"\r\n\r\nGRANT " + ActionName(AsKind(grants->Value(g, 1), Kind::kLong).AsLong()) +
                u" ON " + ScriptName(object_.owner) + u"." + ScriptName(object_.name) + u" (" +
                names + u") TO " + ScriptName(grants->Value(g, 2).ToText()) + u"\r\nGO";
    }
    return script;
  }

  static std::u16string ActionName(int32_t action) {
    switch (action) {
      case 26:
        return u"REFERENCES";
      case 193:
        return u"SELECT";
      case 195:
        return u"INSERT";
      case 196:
        return u"DELETE";
      case 197:
        return u"UPDATE";
      default:
        return u"EXECUTE";
    }
  }

  Variant ReadExtended(const PropertyWay& way) {
    const Levels levels = LevelsOf(object_);
    auto rows = Query(u"SELECT value FROM ::fn_listextendedproperty(" + Literal(way.source) +
                      u", " + LevelArguments(levels) + u")");
    if (rows->RowCount() < 1) return Fallback(way);
    return AsKind(rows->Value(1, 1), way.kind);
  }

  Variant Read(const PropertyWay& way) {
    switch (way.read) {
      case ReadWay::kQuery:
        return ReadQuery(way);
      case ReadWay::kList:
        return ReadList(way);
      case ReadWay::kModuleText:
        return Variant::String(ModuleText());
      case ReadWay::kViewScript:
        return Variant::String(ViewScript());
      case ReadWay::kExtended:
        return ReadExtended(way);
      case ReadWay::kHelp:
        return ReadHelp(way);
      case ReadWay::kHelpBit:
        return ReadHelpBit(way);
    }
    return Variant::Null();
  }

  // Writes -----------------------------------------------------------------

  // Runs `steps` as one transaction: a change that fails halfway leaves
  // nothing changed.
  void Atomically(const std::function<void()>& steps) {
    Execute(u"BEGIN TRANSACTION");
    try {
      steps();
      Execute(u"COMMIT TRANSACTION");
    } catch (...) {
      try {
        Execute(u"IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION");
      } catch (...) {
        // The server's error is the one to report, not the rollback's.
      }
      throw;
    }
  }

  static const std::u16string& Text(const Variant& value, std::u16string_view property) {
    if (value.kind() != Variant::Kind::kString) {
      Refuse(u"The new value of " + std::u16string(property) + u" must be a String.");
    }
    return value.AsString();
  }

  static bool Flag(const Variant& value, std::u16string_view property) {
    if (value.kind() != Variant::Kind::kBoolean) {
      Refuse(u"The new value of " + std::u16string(property) + u" must be a Boolean.");
    }
    return value.AsBoolean();
  }

  std::u16string TableName() { return Qualified(object_.parent_owner, object_.parent_name); }

  // Renaming a column that a computed column uses would leave the computed
  // column's formula naming a column that no longer exists, and changing it
  // is refused by the server anyway: the driver does neither.
  void RefuseWhenComputedColumnUses() {
    auto rows = Query(
        u"SELECT COUNT(*) FROM syscolumns c JOIN syscomments m ON m.id = c.id AND m.number = "
        u"c.colid WHERE c.id = OBJECT_ID(" +
        Literal(TableName()) + u") AND c.iscomputed = 1 AND CHARINDEX(" +
        Literal(Bracket(object_.name)) + u", m.text) > 0");
    if (rows->RowCount() > 0 && AsKind(rows->Value(1, 1), Kind::kLong) != Variant::Long(0)) {
      Refuse(u"Can't change this property because the column is referenced by a computed column.");
    }
  }

  void Rename(const PropertyWay& way, const Variant& value) {
    const std::u16string& new_name = Text(value, u"Name");
    std::u16string old_name;
    if (way.write_source == u"COLUMN" || way.write_source == u"INDEX") {
      if (way.write_source == u"COLUMN") RefuseWhenComputedColumnUses();
      old_name = TableName() + u"." + Bracket(object_.name);
    } else if (way.write_source == u"USERDATATYPE") {
      old_name = object_.name;
    } else {
      old_name = Qualified(object_.owner, object_.name);
    }
    std::u16string statement = u"EXEC sp_rename " + Literal(old_name) + u", " + Literal(new_name);
    if (!way.write_source.empty()) statement += u", " + Literal(way.write_source);
    try {
      Execute(statement);
      return;
    } catch (const harness::Error& error) {
      if (error.number() != kEnforcedDependencies) throw;
    }
    // SQL Server will not rename what a schema-bound view or function holds
    // in place, and has no statement that renames both: the binding of those
    // objects is removed first (their own text, less WITH SCHEMABINDING),
    // then the rename is made, together.
    const std::u16string bound_on =
        way.write_source == u"COLUMN" ? TableName() : Qualified(object_.owner, object_.name);
    Atomically([&] {
      UnbindDependents(bound_on);
      Execute(statement);
    });
  }

  static constexpr int32_t kEnforcedDependencies = 15336;

  void UnbindDependents(const std::u16string& object) {
    auto rows = Query(
        u"SELECT DISTINCT USER_NAME(o.uid), o.name FROM sysdepends d JOIN sysobjects o "
        u"ON o.id = d.id WHERE d.depid = OBJECT_ID(" +
        Literal(object) + u") AND OBJECTPROPERTY(d.id, 'IsSchemaBound') = 1");
    for (int32_t r = 1; r <= rows->RowCount(); ++r) {
      ObjectRef bound;
      bound.owner = rows->Value(r, 1).ToText();
      bound.name = rows->Value(r, 2).ToText();
      Access other(driver_, bound);
      std::u16string text = other.ModuleText();
      if (other.Encrypted()) {
        Refuse(u"Can't remove the schema binding of encrypted '" + bound.name + u"'.");
      }
      if (!RemoveSchemaBinding(text) || !MakeAlter(text)) {
        Refuse(u"Can't remove the schema binding of '" + bound.name + u"' from its text.");
      }
      Execute(text);
    }
  }

  // Drops "WITH SCHEMABINDING" (any case and spacing, and the blanks before
  // it) from a module's text.
  static bool RemoveSchemaBinding(std::u16string& text) {
    auto upper = [](char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; };
    auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
    for (size_t at = 0; at + 4 <= text.size(); ++at) {
      if (upper(text[at]) != u'W' || upper(text[at + 1]) != u'I' || upper(text[at + 2]) != u'T' ||
          upper(text[at + 3]) != u'H')
        continue;
      size_t word = at + 4;
      while (word < text.size() && blank(text[word])) ++word;
      constexpr std::u16string_view kWord = u"SCHEMABINDING";
      if (word == at + 4 || text.size() - word < kWord.size()) continue;
      bool same = true;
      for (size_t i = 0; i < kWord.size(); ++i) same = same && upper(text[word + i]) == kWord[i];
      if (!same) continue;
      // With the blanks before it, so that no double blank is left.
      size_t from = at;
      while (from > 0 && blank(text[from - 1])) --from;
      text.erase(from, word + kWord.size() - from);
      return true;
    }
    return false;
  }

  // The text's first word CREATE made ALTER.
  static bool MakeAlter(std::u16string& text) {
    size_t start = text.find_first_not_of(u" \t\r\n");
    if (start == std::u16string::npos || text.size() - start < 6 ||
        !EqualsNoCase(std::u16string_view(text).substr(start, 6), u"CREATE"))
      return false;
    text.replace(start, 6, u"ALTER");
    return true;
  }

  // Procedure arguments cannot be expressions, so the value, cast to keep
  // its kind, goes through a variable.
  static std::u16string ValueVariable(const Variant& value) {
    return u"DECLARE @value sql_variant\r\nSET @value = " + ValueLiteral(value) + u"\r\n";
  }

  void WriteExtended(const PropertyWay& way, const Variant& value) {
    const std::u16string arguments = LevelArguments(LevelsOf(object_));
    const std::u16string name = Literal(way.source);
    Execute(ValueVariable(value) + u"IF EXISTS (SELECT * FROM ::fn_listextendedproperty(" + name +
            u", " + arguments + u"))\r\n  EXEC sp_updateextendedproperty " + name + u", @value, " +
            arguments + u"\r\nELSE\r\n  EXEC sp_addextendedproperty " + name + u", @value, " +
            arguments);
  }

  // The new script, its first batch made an ALTER of the object.
  void WriteModuleText(const Variant& value) {
    const std::u16string& script = Text(value, u"Text");
    if (Encrypted()) {
      std::u16string word = IsClass(object_, u"StoredProcedure") ? u"procedure"
                            : IsClass(object_, u"View")          ? u"view"
                            : IsClass(object_, u"Trigger")       ? u"trigger"
                                                                 : u"function";
      Refuse(u"Can't modify encrypted " + word + u".");
    }
    std::vector<std::u16string> batches = base::SplitBatches(script);
    if (batches.empty()) Refuse(u"The new text is empty.");
    if (!MakeAlter(batches.front())) Refuse(u"The new text does not begin with CREATE.");
    for (const std::u16string& batch : batches) Execute(batch);
  }

  static bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
      char16_t x = a[i] >= u'a' && a[i] <= u'z' ? a[i] - 32 : a[i];
      char16_t y = b[i] >= u'a' && b[i] <= u'z' ? b[i] - 32 : b[i];
      if (x != y) return false;
    }
    return true;
  }

  // A default or a rule has no ALTER: it is unbound from every column and
  // type that uses it, dropped, created from the new script and bound again.
  void Recreate(const Variant& value) {
    const std::u16string& script = Text(value, u"Text");
    const bool is_default = IsClass(object_, u"Default");
    const std::u16string link = is_default ? u"cdefault" : u"domain";
    const std::u16string type_link = is_default ? u"tdefault" : u"domain";
    const std::u16string object = Literal(Qualified(object_.owner, object_.name));
    std::vector<std::u16string> users;
    auto columns = Query(
        u"SELECT USER_NAME(o.uid) + '.' + o.name + '.' + c.name FROM syscolumns c "
        u"JOIN sysobjects o ON o.id = c.id WHERE c." +
        link + u" = OBJECT_ID(" + object + u")");
    for (int32_t r = 1; r <= columns->RowCount(); ++r)
      users.push_back(columns->Value(r, 1).ToText());
    auto types =
        Query(u"SELECT name FROM systypes WHERE " + type_link + u" = OBJECT_ID(" + object + u")");
    for (int32_t r = 1; r <= types->RowCount(); ++r) users.push_back(types->Value(r, 1).ToText());
    const std::u16string unbind = is_default ? u"sp_unbindefault" : u"sp_unbindrule";
    const std::u16string bind = is_default ? u"sp_bindefault" : u"sp_bindrule";
    Atomically([&] {
      for (const std::u16string& user : users) Execute(u"EXEC " + unbind + u" " + Literal(user));
      Execute((is_default ? u"DROP DEFAULT " : u"DROP RULE ") +
              Qualified(object_.owner, object_.name));
      Execute(script);
      for (const std::u16string& user : users) {
        Execute(u"EXEC " + bind + u" " + object + u", " + Literal(user));
      }
    });
  }

  // The column's type as ALTER COLUMN needs it, with its collation when it
  // has one: left out, the column would take the database's.
  struct ColumnShape {
    std::u16string type;
    std::u16string collation;
    bool nullable = true;
  };

  ColumnShape Shape() {
    auto rows = Query(
        u"SELECT t.name, c.xtype, c.length, c.xprec, c.xscale, c.collation, c.isnullable, "
        u"CASE WHEN t.xusertype > 256 THEN 1 ELSE 0 END FROM syscolumns c JOIN systypes t "
        u"ON t.xusertype = c.xusertype WHERE c.id = OBJECT_ID(" +
        Literal(TableName()) + u") AND c.name = " + Literal(object_.name));
    if (rows->RowCount() < 1) NotFound();
    ColumnShape shape;
    std::u16string type = rows->Value(1, 1).ToText();
    const int32_t xtype = AsKind(rows->Value(1, 2), Kind::kLong).AsLong();
    const int32_t length = AsKind(rows->Value(1, 3), Kind::kLong).AsLong();
    const bool user_type = AsKind(rows->Value(1, 8), Kind::kBoolean).AsBoolean();
    auto digits = [](int64_t n) {
      std::string ascii = std::to_string(n);
      return std::u16string(ascii.begin(), ascii.end());
    };
    shape.type = Bracket(type);
    if (!user_type) {
      switch (xtype) {
        case 167:  // varchar
        case 175:  // char
        case 165:  // varbinary
        case 173:  // binary
          shape.type += u"(" + digits(length) + u")";
          break;
        case 231:  // nvarchar
        case 239:  // nchar
          shape.type += u"(" + digits(length / 2) + u")";
          break;
        case 106:  // decimal
        case 108:  // numeric
          shape.type += u"(" + digits(AsKind(rows->Value(1, 4), Kind::kLong).AsLong()) + u", " +
                        digits(AsKind(rows->Value(1, 5), Kind::kLong).AsLong()) + u")";
          break;
        default:
          break;
      }
    }
    Variant collation = rows->Value(1, 6);
    if (!collation.is_null()) shape.collation = collation.ToText();
    shape.nullable = AsKind(rows->Value(1, 7), Kind::kBoolean).AsBoolean();
    return shape;
  }

  void AlterColumn(const ColumnShape& shape) {
    std::u16string statement = u"ALTER TABLE " + TableName() + u" ALTER COLUMN " +
                               Bracket(object_.name) + u" " + shape.type;
    if (!shape.collation.empty()) statement += u" COLLATE " + shape.collation;
    statement += shape.nullable ? u" NULL" : u" NOT NULL";
    Execute(statement);
  }

  void WriteNullability(const Variant& value) {
    RefuseWhenComputedColumnUses();
    ColumnShape shape = Shape();
    shape.nullable = Flag(value, u"AllowNulls");
    AlterColumn(shape);
  }

  void WriteCollation(const Variant& value) {
    ColumnShape shape = Shape();
    shape.collation = Text(value, u"Collation");
    AlterColumn(shape);
  }

  // The column's DEFAULT constraint is dropped (or its bound default
  // unbound) and, unless the new value is empty, one with the new
  // expression added under the name the tools give it.
  void WriteColumnDefault(const Variant& value) {
    const std::u16string& expression = Text(value, u"DefaultValue");
    auto rows = Query(
        u"SELECT OBJECT_NAME(cdefault), OBJECTPROPERTY(cdefault, 'IsDefaultCnst') FROM syscolumns "
        u"WHERE id = OBJECT_ID(" +
        Literal(TableName()) + u") AND name = " + Literal(object_.name));
    if (rows->RowCount() < 1) NotFound();
    Variant current = rows->Value(1, 1);
    const bool constraint = AsKind(rows->Value(1, 2), Kind::kBoolean) == Variant::Boolean(true);
    Atomically([&] {
      if (!current.is_null() && constraint) {
        Execute(u"ALTER TABLE " + TableName() + u" DROP CONSTRAINT " + Bracket(current.ToText()));
      } else if (!current.is_null()) {
        Execute(u"EXEC sp_unbindefault " + Literal(TableName() + u"." + Bracket(object_.name)));
      }
      if (expression.empty()) return;
      Execute(u"ALTER TABLE " + TableName() + u" ADD CONSTRAINT " +
              Bracket(u"DF_" + object_.parent_name + u"_" + object_.name) + u" DEFAULT " +
              expression + u" FOR " + Bracket(object_.name));
    });
  }

  void WriteRowGuid(const Variant& value) {
    Execute(u"ALTER TABLE " + TableName() + u" ALTER COLUMN " + Bracket(object_.name) +
            (Flag(value, u"IsRowGuid") ? u" ADD ROWGUIDCOL" : u" DROP ROWGUIDCOL"));
  }

  // SQL Server 2000 cannot change a computed column's formula: the column is
  // dropped and added again, and its extended properties, which the drop
  // takes with it, are put back.
  void WriteFormula(const Variant& value) {
    const std::u16string& formula = Text(value, u"Formula");
    const Levels levels = LevelsOf(object_);
    auto properties = Query(u"SELECT name, value FROM ::fn_listextendedproperty(NULL, " +
                            LevelArguments(levels) + u")");
    std::vector<std::pair<std::u16string, Variant>> kept;
    for (int32_t r = 1; r <= properties->RowCount(); ++r) {
      kept.emplace_back(properties->Value(r, 1).ToText(), properties->Value(r, 2));
    }
    Atomically([&] {
      Execute(u"ALTER TABLE " + TableName() + u" DROP COLUMN " + Bracket(object_.name));
      if (!formula.empty()) {
        Execute(u"ALTER TABLE " + TableName() + u" ADD " + Bracket(object_.name) + u" AS " +
                formula);
      }
      for (const auto& [name, property] : kept) {
        Execute(ValueVariable(property) + u"EXEC sp_addextendedproperty " + Literal(name) +
                u", @value, " + LevelArguments(levels));
      }
    });
  }

  void WriteBinding(const PropertyWay& way, const Variant& value) {
    const std::u16string& bound = Text(value, way.property);
    const std::u16string procedure(way.write_source);
    if (bound.empty()) {
      Execute(
          u"EXEC " +
          std::u16string(procedure == u"sp_bindefault" ? u"sp_unbindefault" : u"sp_unbindrule") +
          u" " + Literal(object_.name));
      return;
    }
    Execute(u"EXEC " + procedure + u" " + Literal(bound) + u", " + Literal(object_.name));
  }

  void WriteConstraintCheck(const Variant& value) {
    Execute(u"ALTER TABLE " + TableName() +
            (Flag(value, u"EnableForInsert") ? u" CHECK CONSTRAINT " : u" NOCHECK CONSTRAINT ") +
            Bracket(object_.name));
  }

  // A check's text and NOT FOR REPLICATION are fixed at its creation: it is
  // dropped and added again with the new one, disabled again if it was.
  void RebuildCheck(std::u16string_view property, const Variant& value) {
    if (!IsClass(object_, u"Check")) Refuse(u"Only check constraints can be rebuilt.");
    std::u16string text = ModuleText();
    auto flags =
        Query(Fill(u"SELECT OBJECTPROPERTY(OBJECT_ID({object}), 'CnstIsNotRepl'), "
                   u"OBJECTPROPERTY(OBJECT_ID({object}), 'CnstIsDisabled')"));
    bool not_for_replication = AsKind(flags->Value(1, 1), Kind::kBoolean).AsBoolean();
    const bool disabled = AsKind(flags->Value(1, 2), Kind::kBoolean).AsBoolean();
    if (property == u"Text") {
      text = Text(value, property);
    } else {
      not_for_replication = !Flag(value, property);
    }
    Atomically([&] {
      Execute(u"ALTER TABLE " + TableName() + u" DROP CONSTRAINT " + Bracket(object_.name));
      Execute(u"ALTER TABLE " + TableName() + (disabled ? u" WITH NOCHECK" : u"") +
              u" ADD CONSTRAINT " + Bracket(object_.name) + u" CHECK " +
              (not_for_replication ? u"NOT FOR REPLICATION " : u"") + text);
      if (disabled) {
        Execute(u"ALTER TABLE " + TableName() + u" NOCHECK CONSTRAINT " + Bracket(object_.name));
      }
    });
  }

  // The change procedure of the object's class with the arguments that
  // name the object, ready for @property and @value.
  std::u16string ChangeCall() {
    const std::u16string_view short_class = ShortClass(object_.class_name);
    if (short_class == u"Publication") {
      return u"EXEC sp_changepublication @publication = " + Literal(object_.name);
    }
    if (short_class == u"MergePublication") {
      return u"EXEC sp_changemergepublication @publication = " + Literal(object_.name);
    }
    const bool merge = ShortClass(object_.parent_class) == u"MergePublication";
    return std::u16string(merge ? u"EXEC sp_changemergearticle" : u"EXEC sp_changearticle") +
           u" @publication = " + Literal(object_.parent_name) + u", @article = " +
           Literal(object_.name);
  }

  // A value as the change procedures take it: 'true' or 'false', a word
  // for numbered settings that have one, else digits or the text.
  static std::u16string ChangeValue(std::u16string_view property, const Variant& value) {
    switch (value.kind()) {
      case Variant::Kind::kBoolean: {
        std::u16string_view word = ValueWord(property, value.AsBoolean() ? 1 : 0);
        if (!word.empty()) return Literal(word);
        return value.AsBoolean() ? u"N'true'" : u"N'false'";
      }
      case Variant::Kind::kLong: {
        std::u16string_view word = ValueWord(property, value.AsLong());
        return word.empty() ? Literal(value.ToText()) : Literal(word);
      }
      case Variant::Kind::kNull:
        return u"NULL";
      default:
        return Literal(value.ToText());
    }
  }

  void WriteChange(const PropertyWay& way, const Variant& value) {
    Execute(ChangeCall() + u", @property = " + Literal(way.write_source) + u", @value = " +
            ChangeValue(way.property, value));
  }

  // One bit of the schema option: the whole option is written back with the
  // bit set or cleared.
  void WriteChangeBit(const PropertyWay& way, const Variant& value) {
    uint64_t bits = Bits(QueryCell(way));
    if (Flag(value, way.property)) {
      bits |= Mask(way);
    } else {
      bits &= ~Mask(way);
    }
    char text[24];
    std::snprintf(text, sizeof text, "0x%016llX", static_cast<unsigned long long>(bits));
    Execute(ChangeCall() + u", @property = " + Literal(way.column) + u", @value = " +
            Literal(std::u16string(text, text + std::char_traits<char>::length(text))));
  }

  void Write(const PropertyWay& way, const Variant& value) {
    switch (way.write) {
      case WriteWay::kNone:
        Refuse(u"The driver does not change " + std::u16string(way.property) + u" of " +
               Describe(object_) + u".");
      case WriteWay::kRename:
        return Rename(way, value);
      case WriteWay::kExtended:
        return WriteExtended(way, value);
      case WriteWay::kModuleText:
        return WriteModuleText(value);
      case WriteWay::kRecreate:
        return Recreate(value);
      case WriteWay::kNullability:
        return WriteNullability(value);
      case WriteWay::kCollation:
        return WriteCollation(value);
      case WriteWay::kColumnDefault:
        return WriteColumnDefault(value);
      case WriteWay::kRowGuid:
        return WriteRowGuid(value);
      case WriteWay::kFormula:
        return WriteFormula(value);
      case WriteWay::kBinding:
        return WriteBinding(way, value);
      case WriteWay::kConstraintCheck:
        return WriteConstraintCheck(value);
      case WriteWay::kConstraintRebuild:
        return RebuildCheck(way.property, value);
      case WriteWay::kChange:
        return WriteChange(way, value);
      case WriteWay::kChangeBit:
        return WriteChangeBit(way, value);
    }
  }

 private:
  Driver& driver_;
  const ObjectRef& object_;
};

ObjectRef MakeRef(std::u16string_view class_name, std::u16string_view type_name,
                  std::u16string_view key, const ObjectRef* parent) {
  ObjectRef ref;
  ref.class_name = class_name;
  ref.type_name = type_name;
  if (parent != nullptr) {
    ref.parent_owner = parent->owner;
    ref.parent_name = parent->name;
    ref.parent_class = parent->class_name;
  }
  const std::u16string_view short_name = ShortClass(class_name);
  const bool keyed_by_owner = short_name == u"Table" || short_name == u"View" ||
                              short_name == u"StoredProcedure" || short_name == u"Function" ||
                              short_name == u"Default" || short_name == u"Rule" ||
                              short_name == u"Datatype";
  size_t dot = key.find(u'.');
  if (keyed_by_owner && dot != std::u16string_view::npos) {
    ref.owner = key.substr(0, dot);
    ref.name = key.substr(dot + 1);
  } else {
    ref.name = key;
    // Triggers and constraints are objects of their table's owner.
    if (short_name == u"Trigger" || short_name == u"Check" || short_name == u"Relationship") {
      ref.owner = ref.parent_owner;
    }
  }
  return ref;
}

namespace {

// An article of a merge publication has procedures of its own.
const PropertyWay* WayOf(const ObjectRef& object, std::u16string_view property) {
  if (ShortClass(object.class_name) == u"Article" &&
      ShortClass(object.parent_class) == u"MergePublication") {
    return FindWay(u"MSSQL80.MergeArticle", property);
  }
  return FindWay(object.class_name, property);
}

}  // namespace

Driver::Driver(harness::SqlSession& session, const std::u16string& database) : session_(session) {
  session_.Execute(0, u"USE " + Bracket(database));
}

Variant Driver::Read(const ObjectRef& object, std::u16string_view property) {
  const PropertyWay* way = WayOf(object, property);
  if (way == nullptr) {
    Refuse(u"The driver has no way to read " + std::u16string(property) + u" of " +
           Describe(object) + u".");
  }
  return Access(*this, object).Read(*way);
}

void Driver::Write(const ObjectRef& object, std::u16string_view property, const Variant& value) {
  const PropertyWay* way = WayOf(object, property);
  if (way == nullptr) {
    Refuse(u"The driver has no way to write " + std::u16string(property) + u" of " +
           Describe(object) + u".");
  }
  Access(*this, object).Write(*way, value);
}

}  // namespace driver
