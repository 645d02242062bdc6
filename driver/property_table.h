#ifndef TAVORA_DRIVER_PROPERTY_TABLE_H_
#define TAVORA_DRIVER_PROPERTY_TABLE_H_

#include <cstdint>
#include <string_view>

namespace driver {

// The model's kind of a property's value.
enum class Kind { kString, kLong, kInteger, kBoolean };

// How a property is read. Query texts name the object through placeholders:
// {object} the object's [owner].[name] as a literal (for OBJECT_ID), {name}
// its name as a literal, {owner} its owner, {table} its parent's
// [owner].[name] (a table, or the publication of an article).
enum class ReadWay {
  kQuery,       // `source`'s first row: the column named `column`, else the first
  kList,        // `source`'s rows, first column, joined by ", "
  kModuleText,  // the object's text in syscomments; "(encrypted)" when hidden
  kViewScript,  // the view's text, "GO", and its column permissions as GRANTs
  kExtended,    // extended property `source`; `column` holds the tools' default
  kHelp,        // column `column` of the help procedure call `source`; NULL reads as ""
  kHelpBit,     // the bit `write_source` (hexadecimal) of that column: a Boolean
};

// How a property is written.
enum class WriteWay {
  kNone,               // the model never changes it
  kRename,             // sp_rename, object type `column` ("", COLUMN, INDEX, USERDATATYPE)
  kExtended,           // sp_updateextendedproperty, or sp_addextendedproperty the first time
  kModuleText,         // the new script with its CREATE made ALTER
  kRecreate,           // a default or rule: unbound, dropped, created, bound again
  kNullability,        // ALTER TABLE ALTER COLUMN ... NULL | NOT NULL
  kCollation,          // ALTER TABLE ALTER COLUMN ... COLLATE
  kColumnDefault,      // the column's DEFAULT constraint dropped and added
  kRowGuid,            // ALTER TABLE ALTER COLUMN ... ADD | DROP ROWGUIDCOL
  kFormula,            // the computed column dropped and added with the new formula
  kBinding,            // `source` (sp_bindefault or sp_bindrule) on a user type
  kConstraintCheck,    // ALTER TABLE CHECK | NOCHECK CONSTRAINT
  kConstraintRebuild,  // the check constraint dropped and added (text, NOT FOR REPLICATION)
  kChange,             // the class's change procedure, property `write_source`
  kChangeBit,          // the bit of a kHelpBit row set or cleared through kChange's procedure
};

struct PropertyWay {
  std::u16string_view classes;  // class names without "MSSQL80.", blank-separated
  std::u16string_view property;
  Kind kind;
  ReadWay read;
  std::u16string_view source;
  std::u16string_view column;
  WriteWay write;
  std::u16string_view write_source = {};
};

// The way of `property` for objects of `class_name` ("MSSQL80.Table"), or
// null when the driver has none. An article of a merge publication is of the
// class "MSSQL80.MergeArticle" here: its procedures are not the others'.
const PropertyWay* FindWay(std::u16string_view class_name, std::u16string_view property);

// The word a change procedure takes for a Long value of `property` (the
// synchronisation method, the pre-creation command, ...), or empty when the
// property takes the number itself.
std::u16string_view ValueWord(std::u16string_view property, int32_t value);
// The other way round; false when `word` is none of the property's words.
bool WordValue(std::u16string_view property, std::u16string_view word, int32_t& value);

}  // namespace driver

#endif  // TAVORA_DRIVER_PROPERTY_TABLE_H_
