#include "driver/property_table.h"

#include <span>

namespace driver {

namespace {

constexpr Kind S = Kind::kString;
constexpr Kind L = Kind::kLong;
constexpr Kind I = Kind::kInteger;
constexpr Kind B = Kind::kBoolean;

// The display properties that the tools keep as extended properties named
// "MS_" + the property, with the value they show while none is stored.
// Tables, views and procedures carry the first eight; columns the rest.
constexpr PropertyWay kDisplay[] = {
    {u"Table View StoredProcedure", u"DefaultView", L, ReadWay::kExtended, u"MS_DefaultView", u"2",
     WriteWay::kExtended},
    {u"Table View StoredProcedure", u"Filter", S, ReadWay::kExtended, u"MS_Filter", u"",
     WriteWay::kExtended},
    {u"Table View StoredProcedure", u"LinkChildFields", S, ReadWay::kExtended,
     u"MS_LinkChildFields", u"", WriteWay::kExtended},
    {u"Table View StoredProcedure", u"LinkMasterFields", S, ReadWay::kExtended,
     u"MS_LinkMasterFields", u"", WriteWay::kExtended},
    {u"Table View StoredProcedure", u"OrderBy", S, ReadWay::kExtended, u"MS_OrderBy", u"",
     WriteWay::kExtended},
    {u"Table View StoredProcedure", u"SubdatasheetExpanded", B, ReadWay::kExtended,
     u"MS_SubdatasheetExpanded", u"0", WriteWay::kExtended},
    {u"Table View StoredProcedure", u"SubdatasheetHeight", L, ReadWay::kExtended,
     u"MS_SubdatasheetHeight", u"0", WriteWay::kExtended},
    {u"Table View StoredProcedure", u"SubdatasheetName", S, ReadWay::kExtended,
     u"MS_SubdatasheetName", u"", WriteWay::kExtended},

    {u"Column", u"Caption", S, ReadWay::kExtended, u"MS_Caption", u"", WriteWay::kExtended},
    {u"Column", u"Description", S, ReadWay::kExtended, u"MS_Description", u"", WriteWay::kExtended},
    // 109 is a text box.
    {u"Column", u"DisplayControl", L, ReadWay::kExtended, u"MS_DisplayControl", u"109",
     WriteWay::kExtended},
    // 255 is "automatic".
    {u"Column", u"DecimalPlaces", I, ReadWay::kExtended, u"MS_DecimalPlaces", u"255",
     WriteWay::kExtended},
    {u"Column", u"Furigana", S, ReadWay::kExtended, u"MS_Furigana", u"", WriteWay::kExtended},
    {u"Column", u"Hyperlink", B, ReadWay::kExtended, u"MS_Hyperlink", u"0", WriteWay::kExtended},
    {u"Column", u"IMEMode", L, ReadWay::kExtended, u"MS_IMEMode", u"0", WriteWay::kExtended},
    {u"Column", u"IMESentenceMode", L, ReadWay::kExtended, u"MS_IMESentenceMode", u"3",
     WriteWay::kExtended},
    {u"Column", u"InputMask", S, ReadWay::kExtended, u"MS_InputMask", u"", WriteWay::kExtended},
    {u"Column", u"PostalAddress", S, ReadWay::kExtended, u"MS_PostalAddress", u"",
     WriteWay::kExtended},
    {u"Column", u"RowSourceType", S, ReadWay::kExtended, u"MS_RowSourceType",
     u"Tables/Views/Functions", WriteWay::kExtended},
    {u"Column", u"RowSource", S, ReadWay::kExtended, u"MS_RowSource", u"", WriteWay::kExtended},
    {u"Column", u"BoundColumn", I, ReadWay::kExtended, u"MS_BoundColumn", u"1",
     WriteWay::kExtended},
    {u"Column", u"ColumnCount", I, ReadWay::kExtended, u"MS_ColumnCount", u"1",
     WriteWay::kExtended},
    {u"Column", u"ColumnHeads", B, ReadWay::kExtended, u"MS_ColumnHeads", u"0",
     WriteWay::kExtended},
    {u"Column", u"ColumnWidths", S, ReadWay::kExtended, u"MS_ColumnWidths", u"",
     WriteWay::kExtended},
    {u"Column", u"ListRows", I, ReadWay::kExtended, u"MS_ListRows", u"8", WriteWay::kExtended},
    {u"Column", u"ListWidth", L, ReadWay::kExtended, u"MS_ListWidth", u"0", WriteWay::kExtended},
    {u"Column", u"LimitToList", B, ReadWay::kExtended, u"MS_LimitToList", u"0",
     WriteWay::kExtended},
};

// Objects of sysobjects, found by [owner].[name].
constexpr PropertyWay kObjects[] = {
    {u"Table View StoredProcedure Function Default Rule Trigger Check Relationship", u"Name", S,
     ReadWay::kQuery, u"SELECT name FROM sysobjects WHERE id = OBJECT_ID({object})", u"",
     WriteWay::kRename, u""},
    {u"Table View StoredProcedure Function Default Rule Trigger", u"Owner", S, ReadWay::kQuery,
     u"SELECT USER_NAME(uid) FROM sysobjects WHERE id = OBJECT_ID({object})", u"", WriteWay::kNone},
    {u"StoredProcedure Function Trigger", u"Text", S, ReadWay::kModuleText, u"", u"",
     WriteWay::kModuleText},
    {u"View", u"Text", S, ReadWay::kViewScript, u"", u"", WriteWay::kModuleText},
    {u"Default Rule", u"Text", S, ReadWay::kModuleText, u"", u"", WriteWay::kRecreate},

    {u"Table", u"FullTextCatalog", S, ReadWay::kQuery,
     u"SELECT ISNULL((SELECT name FROM sysfulltextcatalogs WHERE ftcatid = "
     u"OBJECTPROPERTY(OBJECT_ID({object}), 'TableFulltextCatalogId')), '')",
     u"", WriteWay::kNone},
    // Registered for full-text indexing, whether or not the index is active.
    {u"Table", u"FullTextIndexingEnabled", B, ReadWay::kQuery,
     u"SELECT SIGN(OBJECTPROPERTY(OBJECT_ID({object}), 'TableFulltextCatalogId'))", u"",
     WriteWay::kNone},
    {u"Table", u"FullTextUniqueKeyColumn", S, ReadWay::kQuery,
     u"SELECT ISNULL(COL_NAME(OBJECT_ID({object}), "
     u"OBJECTPROPERTY(OBJECT_ID({object}), 'TableFulltextKeyColumn')), '')",
     u"", WriteWay::kNone},
    {u"Table", u"FullTextUniqueKeyIndex", S, ReadWay::kQuery,
     u"EXEC sp_help_fulltext_tables NULL, {object}", u"FULLTEXT_KEY_INDEX_NAME", WriteWay::kNone},

    {u"Check Relationship", u"EnableForInsert", B, ReadWay::kQuery,
     u"SELECT 1 - OBJECTPROPERTY(OBJECT_ID({object}), 'CnstIsDisabled')", u"",
     WriteWay::kConstraintCheck},
    {u"Check Relationship", u"EnableForReplication", B, ReadWay::kQuery,
     u"SELECT 1 - OBJECTPROPERTY(OBJECT_ID({object}), 'CnstIsNotRepl')", u"",
     WriteWay::kConstraintRebuild},
    {u"Check", u"Text", S, ReadWay::kModuleText, u"", u"", WriteWay::kConstraintRebuild},
    {u"Relationship", u"KeyColumns", S, ReadWay::kList,
     u"SELECT COL_NAME(fkeyid, fkey) FROM sysforeignkeys WHERE constid = OBJECT_ID({object}) "
     u"ORDER BY keyno",
     u"", WriteWay::kNone},
    {u"Relationship", u"ReferencedTable", S, ReadWay::kQuery,
     u"SELECT TOP 1 OBJECT_NAME(rkeyid) FROM sysforeignkeys WHERE constid = OBJECT_ID({object})",
     u"", WriteWay::kNone},
    {u"Relationship", u"ReferencedColumns", S, ReadWay::kList,
     u"SELECT COL_NAME(rkeyid, rkey) FROM sysforeignkeys WHERE constid = OBJECT_ID({object}) "
     u"ORDER BY keyno",
     u"", WriteWay::kNone},
};

// Columns, found by name in their table.
constexpr PropertyWay kColumns[] = {
    {u"Column", u"Name", S, ReadWay::kQuery,
     u"SELECT name FROM syscolumns WHERE id = OBJECT_ID({table}) AND name = {name}", u"",
     WriteWay::kRename, u"COLUMN"},
    {u"Column", u"AllowNulls", B, ReadWay::kQuery,
     u"SELECT COLUMNPROPERTY(OBJECT_ID({table}), {name}, 'AllowsNull')", u"",
     WriteWay::kNullability},
    {u"Column", u"Collation", S, ReadWay::kQuery,
     u"SELECT ISNULL(collation, '') FROM syscolumns WHERE id = OBJECT_ID({table}) AND name = "
     u"{name}",
     u"", WriteWay::kCollation},
    {u"Column", u"DataType", S, ReadWay::kQuery,
     u"SELECT t.name FROM syscolumns c JOIN systypes t ON t.xusertype = c.xusertype "
     u"WHERE c.id = OBJECT_ID({table}) AND c.name = {name}",
     u"", WriteWay::kNone},
    // The text of the column's DEFAULT constraint, "(1)" and the like.
    {u"Column", u"DefaultValue", S, ReadWay::kQuery,
     u"SELECT ISNULL((SELECT m.text FROM syscomments m WHERE m.id = c.cdefault AND m.colid = 1), "
     u"'') FROM syscolumns c WHERE c.id = OBJECT_ID({table}) AND c.name = {name}",
     u"", WriteWay::kColumnDefault},
    // A computed column's text lives in syscomments under the column's number.
    {u"Column", u"Formula", S, ReadWay::kQuery,
     u"SELECT CASE WHEN c.iscomputed = 1 THEN ISNULL((SELECT m.text FROM syscomments m "
     u"WHERE m.id = c.id AND m.number = c.colid AND m.colid = 1), '') ELSE '' END "
     u"FROM syscolumns c WHERE c.id = OBJECT_ID({table}) AND c.name = {name}",
     u"", WriteWay::kFormula},
    {u"Column", u"SupportsFullTextQueries", B, ReadWay::kQuery,
     u"SELECT COLUMNPROPERTY(OBJECT_ID({table}), {name}, 'IsFulltextIndexed')", u"",
     WriteWay::kNone},
    {u"Column", u"FullTextLanguage", L, ReadWay::kQuery,
     u"EXEC sp_help_fulltext_columns {table}, {name}", u"FULLTEXT_LANGUAGE", WriteWay::kNone},
    {u"Column", u"Identity", B, ReadWay::kQuery,
     u"SELECT COLUMNPROPERTY(OBJECT_ID({table}), {name}, 'IsIdentity')", u"", WriteWay::kNone},
    {u"Column", u"NumericPrecision", L, ReadWay::kQuery,
     u"SELECT COLUMNPROPERTY(OBJECT_ID({table}), {name}, 'Precision')", u"", WriteWay::kNone},
    {u"Column", u"NumericScale", L, ReadWay::kQuery,
     u"SELECT COLUMNPROPERTY(OBJECT_ID({table}), {name}, 'Scale')", u"", WriteWay::kNone},
    // Characters for the character types, bytes for the binary ones.
    {u"Column", u"Length", L, ReadWay::kQuery,
     u"SELECT COLUMNPROPERTY(OBJECT_ID({table}), {name}, 'Precision')", u"", WriteWay::kNone},
    {u"Column", u"IsRowGuid", B, ReadWay::kQuery,
     u"SELECT COLUMNPROPERTY(OBJECT_ID({table}), {name}, 'IsRowGuidCol')", u"", WriteWay::kRowGuid},
};

// Indexes, found by name in their table's sysindexes rows.
constexpr PropertyWay kIndexes[] = {
    {u"Index", u"Name", S, ReadWay::kQuery,
     u"SELECT name FROM sysindexes WHERE id = OBJECT_ID({table}) AND name = {name}", u"",
     WriteWay::kRename, u"INDEX"},
    {u"Index", u"Clustered", B, ReadWay::kQuery,
     u"SELECT INDEXPROPERTY(OBJECT_ID({table}), {name}, 'IsClustered')", u"", WriteWay::kNone},
    {u"Index", u"Columns", S, ReadWay::kList,
     u"SELECT COL_NAME(k.id, k.colid) FROM sysindexkeys k JOIN sysindexes i "
     u"ON i.id = k.id AND i.indid = k.indid WHERE i.id = OBJECT_ID({table}) AND i.name = {name} "
     u"ORDER BY k.keyno",
     u"", WriteWay::kNone},
    {u"Index", u"FillFactor", L, ReadWay::kQuery,
     u"SELECT INDEXPROPERTY(OBJECT_ID({table}), {name}, 'IndexFillFactor')", u"", WriteWay::kNone},
    // 3 a primary key, 2 a unique constraint, 1 a unique index, 0 any other.
    {u"Index", u"IndexType", L, ReadWay::kQuery,
     u"SELECT CASE WHEN status & 2048 <> 0 THEN 3 WHEN status & 4096 <> 0 THEN 2 "
     u"WHEN status & 2 <> 0 THEN 1 ELSE 0 END FROM sysindexes "
     u"WHERE id = OBJECT_ID({table}) AND name = {name}",
     u"", WriteWay::kNone},
    {u"Index", u"AllowDupRow", B, ReadWay::kQuery,
     u"SELECT SIGN(status & 64) FROM sysindexes WHERE id = OBJECT_ID({table}) AND name = {name}",
     u"", WriteWay::kNone},
    {u"Index", u"IgnoreDupRow", B, ReadWay::kQuery,
     u"SELECT SIGN(status & 4) FROM sysindexes WHERE id = OBJECT_ID({table}) AND name = {name}",
     u"", WriteWay::kNone},
    {u"Index", u"IgnoreDupKey", B, ReadWay::kQuery,
     u"SELECT SIGN(status & 1) FROM sysindexes WHERE id = OBJECT_ID({table}) AND name = {name}",
     u"", WriteWay::kNone},
};

// User types (systypes) and full-text catalogs, found by name.
constexpr PropertyWay kNamed[] = {
    {u"Datatype", u"Name", S, ReadWay::kQuery, u"SELECT name FROM systypes WHERE name = {name}",
     u"", WriteWay::kRename, u"USERDATATYPE"},
    {u"Datatype", u"Owner", S, ReadWay::kQuery,
     u"SELECT USER_NAME(uid) FROM systypes WHERE name = {name}", u"", WriteWay::kNone},
    {u"Datatype", u"AllowNulls", B, ReadWay::kQuery,
     u"SELECT allownulls FROM systypes WHERE name = {name}", u"", WriteWay::kNone},
    {u"Datatype", u"BaseType", S, ReadWay::kQuery,
     u"SELECT b.name FROM systypes t JOIN systypes b ON b.xusertype = t.xtype "
     u"WHERE t.name = {name}",
     u"", WriteWay::kNone},
    {u"Datatype", u"BoundDefault", S, ReadWay::kQuery,
     u"SELECT ISNULL(OBJECT_NAME(tdefault), '') FROM systypes WHERE name = {name}", u"",
     WriteWay::kBinding, u"sp_bindefault"},
    {u"Datatype", u"BoundRule", S, ReadWay::kQuery,
     u"SELECT ISNULL(OBJECT_NAME(domain), '') FROM systypes WHERE name = {name}", u"",
     WriteWay::kBinding, u"sp_bindrule"},
    {u"Datatype", u"Length", L, ReadWay::kQuery, u"SELECT length FROM systypes WHERE name = {name}",
     u"", WriteWay::kNone},
    {u"Datatype", u"NumericPrecision", L, ReadWay::kQuery,
     u"SELECT prec FROM systypes WHERE name = {name}", u"", WriteWay::kNone},
    {u"Datatype", u"NumericScale", L, ReadWay::kQuery,
     u"SELECT ISNULL(scale, 0) FROM systypes WHERE name = {name}", u"", WriteWay::kNone},

    {u"FullTextCatalog", u"Name", S, ReadWay::kQuery,
     u"SELECT name FROM sysfulltextcatalogs WHERE name = {name}", u"", WriteWay::kNone},
    {u"FullTextCatalog", u"Path", S, ReadWay::kQuery,
     u"SELECT ISNULL(path, '') FROM sysfulltextcatalogs WHERE name = {name}", u"", WriteWay::kNone},
};

constexpr std::span<const PropertyWay> kTables[] = {kObjects, kColumns, kIndexes, kNamed, kDisplay};

// True when the blank-separated `list` holds `word`.
bool Listed(std::u16string_view list, std::u16string_view word) {
  while (!list.empty()) {
    size_t end = list.find(u' ');
    std::u16string_view item = list.substr(0, end);
    if (item == word) return true;
    if (end == std::u16string_view::npos) break;
    list.remove_prefix(end + 1);
  }
  return false;
}

}  // namespace

const PropertyWay* FindWay(std::u16string_view class_name, std::u16string_view property) {
  constexpr std::u16string_view kPrefix = u"MSSQL80.";
  if (!class_name.starts_with(kPrefix)) return nullptr;
  class_name.remove_prefix(kPrefix.size());
  for (std::span<const PropertyWay> table : kTables) {
    for (const PropertyWay& way : table) {
      if (way.property == property && Listed(way.classes, class_name)) return &way;
    }
  }
  return nullptr;
}

}  // namespace driver
