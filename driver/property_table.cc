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

// Publications and articles, read through the replication help procedures
// and written through the change procedures.
constexpr std::u16string_view kHelpPublication = u"EXEC sp_helppublication @publication = {name}";
constexpr std::u16string_view kHelpArticle =
    u"EXEC sp_helparticle @publication = {parent}, @article = {name}";
constexpr std::u16string_view kHelpMergePublication =
    u"EXEC sp_helpmergepublication @publication = {name}";
constexpr std::u16string_view kHelpMergeArticle =
    u"EXEC sp_helpmergearticle @publication = {parent}, @article = {name}";

constexpr PropertyWay kPublications[] = {
    {u"Publication", u"Name", S, ReadWay::kHelp, kHelpPublication, u"name", WriteWay::kNone},
    {u"Publication", u"Active", B, ReadWay::kHelp, kHelpPublication, u"status", WriteWay::kChange,
     u"status"},
    {u"Publication", u"AllowAnonymous", B, ReadWay::kHelp, kHelpPublication, u"allow_anonymous",
     WriteWay::kChange, u"allow_anonymous"},
    {u"Publication", u"AllowPull", B, ReadWay::kHelp, kHelpPublication, u"allow_pull",
     WriteWay::kChange, u"allow_pull"},
    {u"Publication", u"AllowPush", B, ReadWay::kHelp, kHelpPublication, u"allow_push",
     WriteWay::kChange, u"allow_push"},
    {u"Publication", u"AllowQueuedUpdating", B, ReadWay::kHelp, kHelpPublication,
     u"allow_queued_tran", WriteWay::kNone},
    {u"Publication", u"AllowSubscriptionCopy", B, ReadWay::kHelp, kHelpPublication,
     u"allow_subscription_copy", WriteWay::kChange, u"allow_subscription_copy"},
    {u"Publication", u"AllowSyncTran", B, ReadWay::kHelp, kHelpPublication, u"allow_sync_tran",
     WriteWay::kNone},
    {u"Publication", u"AllowTransformableSubscriptions", B, ReadWay::kHelp, kHelpPublication,
     u"allow_dts", WriteWay::kNone},
    {u"Publication", u"AlternateSnapshotFolder", S, ReadWay::kHelp, kHelpPublication,
     u"alt_snapshot_folder", WriteWay::kChange, u"alt_snapshot_folder"},
    {u"Publication", u"AutogenSyncProcs", B, ReadWay::kHelp, kHelpPublication,
     u"autogen_sync_procs", WriteWay::kNone},
    {u"Publication", u"CentralizedConflicts", B, ReadWay::kHelp, kHelpPublication,
     u"centralized_conflicts", WriteWay::kChange, u"centralized_conflicts"},
    {u"Publication", u"CompressSnapshot", B, ReadWay::kHelp, kHelpPublication, u"compress_snapshot",
     WriteWay::kChange, u"compress_snapshot"},
    {u"Publication", u"ConflictPolicy", L, ReadWay::kHelp, kHelpPublication, u"conflict_policy",
     WriteWay::kChange, u"conflict_policy"},
    {u"Publication", u"ConflictRetention", L, ReadWay::kHelp, kHelpPublication,
     u"conflict_retention", WriteWay::kChange, u"conflict_retention"},
    {u"Publication", u"Description", S, ReadWay::kHelp, kHelpPublication, u"description",
     WriteWay::kChange, u"description"},
    {u"Publication", u"EnabledForInternet", B, ReadWay::kHelp, kHelpPublication,
     u"enabled_for_internet", WriteWay::kChange, u"enabled_for_internet"},
    {u"Publication", u"FtpAddress", S, ReadWay::kHelp, kHelpPublication, u"ftp_address",
     WriteWay::kChange, u"ftp_address"},
    {u"Publication", u"FtpLogin", S, ReadWay::kHelp, kHelpPublication, u"ftp_login",
     WriteWay::kChange, u"ftp_login"},
    {u"Publication", u"FtpPort", L, ReadWay::kHelp, kHelpPublication, u"ftp_port",
     WriteWay::kChange, u"ftp_port"},
    {u"Publication", u"FtpSubdirectory", S, ReadWay::kHelp, kHelpPublication, u"ftp_subdirectory",
     WriteWay::kChange, u"ftp_subdirectory"},
    {u"Publication", u"ImmediateSync", B, ReadWay::kHelp, kHelpPublication, u"immediate_sync",
     WriteWay::kChange, u"immediate_sync"},
    {u"Publication", u"IndependentAgent", B, ReadWay::kHelp, kHelpPublication, u"independent_agent",
     WriteWay::kChange, u"independent_agent"},
    {u"Publication", u"PostSnapshotScript", S, ReadWay::kHelp, kHelpPublication,
     u"post_snapshot_script", WriteWay::kChange, u"post_snapshot_script"},
    {u"Publication", u"PreSnapshotScript", S, ReadWay::kHelp, kHelpPublication,
     u"pre_snapshot_script", WriteWay::kChange, u"pre_snapshot_script"},
    // 1 transactional, 0 snapshot: the reverse of the replication frequency.
    {u"Publication", u"PublicationType", L, ReadWay::kQuery,
     u"SELECT 1 - repl_freq FROM syspublications WHERE name = {name}", u"", WriteWay::kNone},
    {u"Publication", u"PublishToActiveDirectory", B, ReadWay::kHelp, kHelpPublication,
     u"publish_to_AD", WriteWay::kChange, u"publish_to_active_directory"},
    {u"Publication", u"QueueType", L, ReadWay::kHelp, kHelpPublication, u"queue_type",
     WriteWay::kChange, u"queue_type"},
    {u"Publication", u"Retention", L, ReadWay::kHelp, kHelpPublication, u"retention",
     WriteWay::kChange, u"retention"},
    {u"Publication", u"SnapshotFormat", L, ReadWay::kHelp, kHelpPublication,
     u"synchronization method", WriteWay::kChange, u"sync_method"},
    {u"Publication", u"SnapshotInDefaultFolder", B, ReadWay::kHelp, kHelpPublication,
     u"snapshot_in_defaultfolder", WriteWay::kChange, u"snapshot_in_defaultfolder"},

    {u"Article", u"Name", S, ReadWay::kHelp, kHelpArticle, u"article name", WriteWay::kNone},
    // Bits of the article's schema option.
    {u"Article", u"ConvertUDTs", B, ReadWay::kHelpBit, kHelpArticle, u"schema_option",
     WriteWay::kChangeBit, u"20"},
    {u"Article", u"CopyClusteredIndexes", B, ReadWay::kHelpBit, kHelpArticle, u"schema_option",
     WriteWay::kChangeBit, u"10"},
    {u"Article", u"CopyNonclusteredIndexes", B, ReadWay::kHelpBit, kHelpArticle, u"schema_option",
     WriteWay::kChangeBit, u"40"},
    {u"Article", u"IncludeDRI", B, ReadWay::kHelpBit, kHelpArticle, u"schema_option",
     WriteWay::kChangeBit, u"80"},
    {u"Article", u"CreationScriptPath", S, ReadWay::kHelp, kHelpArticle, u"creation script path",
     WriteWay::kChange, u"creation_script"},
    {u"Article", u"DeleteCommand", S, ReadWay::kHelp, kHelpArticle, u"delete_command",
     WriteWay::kChange, u"del_cmd"},
    {u"Article", u"Description", S, ReadWay::kHelp, kHelpArticle, u"description", WriteWay::kChange,
     u"description"},
    {u"Article", u"DestinationObjectName", S, ReadWay::kHelp, kHelpArticle, u"dest_table",
     WriteWay::kChange, u"dest_table"},
    // sp_helparticle shows no destination owner; the article's row does.
    {u"Article", u"DestinationObjectOwner", S, ReadWay::kQuery,
     u"SELECT ISNULL(a.dest_owner, '') FROM sysarticles a JOIN syspublications p "
     u"ON p.pubid = a.pubid WHERE p.name = {parent} AND a.name = {name}",
     u"", WriteWay::kChange, u"destination_owner"},
    {u"Article", u"FilterClause", S, ReadWay::kHelp, kHelpArticle, u"filter_clause",
     WriteWay::kChange, u"filter_clause"},
    {u"Article", u"InsertCommand", S, ReadWay::kHelp, kHelpArticle, u"insert_command",
     WriteWay::kChange, u"ins_cmd"},
    {u"Article", u"PreCreationCommand", L, ReadWay::kHelp, kHelpArticle, u"pre_creation_cmd",
     WriteWay::kChange, u"pre_creation_cmd"},
    // Every column of the source table: the articles publish no partition.
    {u"Article", u"SourceColumns", S, ReadWay::kList,
     u"SELECT c.name FROM syscolumns c JOIN sysarticles a ON a.objid = c.id JOIN syspublications "
     u"p ON p.pubid = a.pubid WHERE p.name = {parent} AND a.name = {name} ORDER BY c.colid",
     u"", WriteWay::kNone},
    {u"Article", u"SourceObjectName", S, ReadWay::kHelp, kHelpArticle, u"source_object",
     WriteWay::kNone},
    {u"Article", u"SourceObjectOwner", S, ReadWay::kHelp, kHelpArticle, u"source_owner",
     WriteWay::kNone},
    {u"Article", u"UpdateCommand", S, ReadWay::kHelp, kHelpArticle, u"update_command",
     WriteWay::kChange, u"upd_cmd"},
    // Status bit 8: column names in the INSERT statements it sends.
    {u"Article", u"UseColumnNames", B, ReadWay::kHelpBit, kHelpArticle, u"status", WriteWay::kNone,
     u"08"},

    {u"MergePublication", u"Name", S, ReadWay::kHelp, kHelpMergePublication, u"name",
     WriteWay::kNone},
    {u"MergePublication", u"Active", B, ReadWay::kHelp, kHelpMergePublication, u"status",
     WriteWay::kChange, u"status"},
    {u"MergePublication", u"AllowAnonymous", B, ReadWay::kHelp, kHelpMergePublication,
     u"allow_anonymous", WriteWay::kChange, u"allow_anonymous"},
    {u"MergePublication", u"AllowPull", B, ReadWay::kHelp, kHelpMergePublication, u"allow_pull",
     WriteWay::kChange, u"allow_pull"},
    {u"MergePublication", u"AllowPush", B, ReadWay::kHelp, kHelpMergePublication, u"allow_push",
     WriteWay::kChange, u"allow_push"},
    {u"MergePublication", u"AllowSubscriptionCopy", B, ReadWay::kHelp, kHelpMergePublication,
     u"allow_subscription_copy", WriteWay::kChange, u"allow_subscription_copy"},
    {u"MergePublication", u"AllowSyncToAlternate", B, ReadWay::kHelp, kHelpMergePublication,
     u"allow_synctoalternate", WriteWay::kChange, u"allow_synctoalternate"},
    {u"MergePublication", u"AlternateSnapshotFolder", S, ReadWay::kHelp, kHelpMergePublication,
     u"alt_snapshot_folder", WriteWay::kChange, u"alt_snapshot_folder"},
    {u"MergePublication", u"CompressSnapshot", B, ReadWay::kHelp, kHelpMergePublication,
     u"compress_snapshot", WriteWay::kChange, u"compress_snapshot"},
    {u"MergePublication", u"CentralizedConflicts", B, ReadWay::kHelp, kHelpMergePublication,
     u"centralized_conflicts", WriteWay::kChange, u"centralized_conflicts"},
    {u"MergePublication", u"ConflictRetention", L, ReadWay::kHelp, kHelpMergePublication,
     u"conflict_retention", WriteWay::kChange, u"conflict_retention"},
    {u"MergePublication", u"Description", S, ReadWay::kHelp, kHelpMergePublication, u"description",
     WriteWay::kChange, u"description"},
    {u"MergePublication", u"DynamicFilters", B, ReadWay::kHelp, kHelpMergePublication,
     u"dynamic_filter", WriteWay::kChange, u"dynamic_filters"},
    {u"MergePublication", u"EnabledForInternet", B, ReadWay::kHelp, kHelpMergePublication,
     u"enabled_for_internet", WriteWay::kChange, u"enabled_for_internet"},
    {u"MergePublication", u"FtpAddress", S, ReadWay::kHelp, kHelpMergePublication, u"ftp_address",
     WriteWay::kChange, u"ftp_address"},
    {u"MergePublication", u"FtpLogin", S, ReadWay::kHelp, kHelpMergePublication, u"ftp_login",
     WriteWay::kChange, u"ftp_login"},
    {u"MergePublication", u"FtpPort", L, ReadWay::kHelp, kHelpMergePublication, u"ftp_port",
     WriteWay::kChange, u"ftp_port"},
    {u"MergePublication", u"FtpSubdirectory", S, ReadWay::kHelp, kHelpMergePublication,
     u"ftp_subdirectory", WriteWay::kChange, u"ftp_subdirectory"},
    {u"MergePublication", u"MaxConcurrentDynamicSnapshots", L, ReadWay::kHelp,
     kHelpMergePublication, u"max_concurrent_dynamic_snapshots", WriteWay::kChange,
     u"max_concurrent_dynamic_snapshots"},
    {u"MergePublication", u"MaxConcurrentMerge", L, ReadWay::kHelp, kHelpMergePublication,
     u"max_concurrent_merge", WriteWay::kChange, u"max_concurrent_merge"},
    {u"MergePublication", u"PostSnapshotScript", S, ReadWay::kHelp, kHelpMergePublication,
     u"post_snapshot_script", WriteWay::kChange, u"post_snapshot_script"},
    {u"MergePublication", u"PreSnapshotScript", S, ReadWay::kHelp, kHelpMergePublication,
     u"pre_snapshot_script", WriteWay::kChange, u"pre_snapshot_script"},
    // The tools number merge publications 2, after snapshot 0 and transactional 1.
    {u"MergePublication", u"PublicationType", L, ReadWay::kQuery,
     u"SELECT 2 FROM sysmergepublications WHERE name = {name}", u"", WriteWay::kNone},
    {u"MergePublication", u"PublishToActiveDirectory", B, ReadWay::kHelp, kHelpMergePublication,
     u"publish_to_activedirectory", WriteWay::kChange, u"publish_to_active_directory"},
    {u"MergePublication", u"Retention", L, ReadWay::kHelp, kHelpMergePublication, u"retention",
     WriteWay::kChange, u"retention"},
    {u"MergePublication", u"SnapshotFormat", L, ReadWay::kHelp, kHelpMergePublication, u"sync_mode",
     WriteWay::kChange, u"sync_mode"},
    {u"MergePublication", u"SnapshotInDefaultFolder", B, ReadWay::kHelp, kHelpMergePublication,
     u"snapshot_in_default_folder", WriteWay::kChange, u"snapshot_in_defaultfolder"},
    {u"MergePublication", u"SnapshotReady", B, ReadWay::kHelp, kHelpMergePublication,
     u"snapshot_ready", WriteWay::kChange, u"snapshot_ready"},
    {u"MergePublication", u"ValidateSubscriberInfo", S, ReadWay::kHelp, kHelpMergePublication,
     u"validate_subscriber_info", WriteWay::kChange, u"validate_subscriber_info"},

    {u"MergeArticle", u"Name", S, ReadWay::kHelp, kHelpMergeArticle, u"name", WriteWay::kNone},
    {u"MergeArticle", u"ColumnTracking", B, ReadWay::kHelp, kHelpMergeArticle, u"column_tracking",
     WriteWay::kChange, u"column_tracking"},
    {u"MergeArticle", u"CreationScriptPath", S, ReadWay::kHelp, kHelpMergeArticle,
     u"creation_script", WriteWay::kChange, u"creation_script"},
    {u"MergeArticle", u"Description", S, ReadWay::kHelp, kHelpMergeArticle, u"description",
     WriteWay::kChange, u"description"},
    {u"MergeArticle", u"PreCreationCommand", L, ReadWay::kHelp, kHelpMergeArticle,
     u"pre_creation_command", WriteWay::kChange, u"pre_creation_command"},
    {u"MergeArticle", u"SourceObjectName", S, ReadWay::kHelp, kHelpMergeArticle, u"source_object",
     WriteWay::kNone},
    {u"MergeArticle", u"SourceObjectOwner", S, ReadWay::kHelp, kHelpMergeArticle, u"source_owner",
     WriteWay::kNone},
};

// The words the change procedures take for numbered settings.
struct ValueWordRow {
  std::u16string_view property;
  int32_t value;
  std::u16string_view word;
};

constexpr ValueWordRow kValueWords[] = {
    {u"Active", 1, u"active"},
    {u"Active", 0, u"inactive"},
    {u"SnapshotFormat", 0, u"native"},
    {u"SnapshotFormat", 1, u"character"},
    {u"SnapshotFormat", 3, u"concurrent"},
    {u"SnapshotFormat", 4, u"concurrent_c"},
    {u"PreCreationCommand", 0, u"none"},
    {u"PreCreationCommand", 1, u"drop"},
    {u"PreCreationCommand", 2, u"delete"},
    {u"PreCreationCommand", 3, u"truncate"},
    {u"ConflictPolicy", 1, u"pub wins"},
    {u"ConflictPolicy", 2, u"sub reinit"},
    {u"ConflictPolicy", 3, u"sub wins"},
    {u"QueueType", 1, u"msmq"},
    {u"QueueType", 2, u"sql"},
};

constexpr std::span<const PropertyWay> kTables[] = {kObjects, kColumns,      kIndexes,
                                                    kNamed,   kPublications, kDisplay};

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

std::u16string_view ValueWord(std::u16string_view property, int32_t value) {
  for (const ValueWordRow& row : kValueWords) {
    if (row.property == property && row.value == value) return row.word;
  }
  return {};
}

bool WordValue(std::u16string_view property, std::u16string_view word, int32_t& value) {
  for (const ValueWordRow& row : kValueWords) {
    if (row.property == property && row.word == word) {
      value = row.value;
      return true;
    }
  }
  return false;
}

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
