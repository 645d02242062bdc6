#include "server/errors.h"

#include <array>
#include <cstddef>

namespace server {

namespace {

struct MessageRow {
  Msg id;
  int number;
  int severity;
  const char* text;  // SQL Server 2000's template, placeholders as stored
};

// One row per message, in the order of Msg. Numbers, severities and texts are
// SQL Server 2000's (master..sysmessages); the last rows are the
// stand-in's own and use 50000, the number SQL Server gives to messages that
// are not in sysmessages.
constexpr MessageRow kMessages[] = {
    {Msg::kSyntaxError, 170, 15, "Line %d: Incorrect syntax near '%.*ls'."},
    {Msg::kSyntaxErrorKeyword, 156, 15, "Incorrect syntax near the keyword '%.*ls'."},
    {Msg::kUnclosedQuote, 105, 15, "Unclosed quotation mark before the character string '%.*ls'."},
    {Msg::kMissingEndComment, 113, 15, "Missing end comment mark '*/'."},
    {Msg::kIdentifierTooLong, 103, 15,
     "The identifier that starts with '%.*ls' is too long. Maximum length is %d."},
    {Msg::kMustBeFirstInBatch, 111, 15, "'%ls' must be the first statement in a query batch."},
    {Msg::kMustDeclareVariable, 137, 15, "Must declare the variable '%.*ls'."},
    {Msg::kExecIntoTableVariable, 197, 15,
     "EXECUTE cannot be used as a source when inserting into a table variable."},
    {Msg::kNamedThenPositional, 119, 15,
     "Must pass parameter number %d and subsequent parameters as '@name = value'. After the form "
     "'@name = value' has been used, all subsequent parameters must be passed in the form "
     "'@name = value'."},
    {Msg::kColumnNotAllowedHere, 128, 15,
     "The name '%.*ls' is not permitted in this context. Only constants, expressions, or "
     "variables allowed here. Column names are not permitted."},
    {Msg::kNumberOutOfRange, 1007, 15,
     "The number '%.*ls' is out of the range for numeric representation (maximum precision 38)."},
    {Msg::kNestedTooDeeply, 191, 15,
     "Some part of your SQL statement is nested too deeply. Rewrite the query or break it up into "
     "smaller queries."},
    {Msg::kCaseNestedTooDeeply, 125, 15, "Case expressions may only be nested to level %d."},
    {Msg::kTooManySelectItems, 1056, 15,
     "The number of elements in the select list exceeds the maximum allowed number of %d "
     "elements."},
    {Msg::kTempNameTooLong, 193, 15,
     "The object or column name starting with '%.*ls' is too long. The maximum length is %d "
     "characters."},
    {Msg::kSelectIntoNotFirst, 196, 15,
     "SELECT INTO must be the first query in an SQL statement containing a UNION operator."},
    {Msg::kLabelRedeclared, 132, 15,
     "The label '%.*ls' has already been declared. Label names must be unique within a query "
     "batch or stored procedure."},
    {Msg::kLabelNotDeclared, 133, 15,
     "A GOTO statement references the label '%.*ls' but the label has not been declared."},
    {Msg::kVariableRedeclared, 134, 15,
     "The variable name '%.*ls' has already been declared. Variable names must be unique within "
     "a query batch or stored procedure."},
    {Msg::kBreakOutsideWhile, 135, 15,
     "Cannot use a BREAK statement outside the scope of a WHILE statement."},
    {Msg::kContinueOutsideWhile, 136, 15,
     "Cannot use a CONTINUE statement outside the scope of a WHILE statement."},
    {Msg::kReturnValueHere, 178, 15,
     "A RETURN statement with a return value cannot be used in this context."},
    {Msg::kAssignmentWithRetrieval, 141, 15,
     "A SELECT statement that assigns a value to a variable must not be combined with "
     "data-retrieval operations."},
    {Msg::kOutputConstant, 179, 15,
     "Cannot use the OUTPUT option when passing a constant to a stored procedure."},
    {Msg::kNotOutputParameter, 8162, 16,
     "The formal parameter \"%.*ls\" was not declared as an OUTPUT parameter, but the actual "
     "parameter passed in requested output."},
    {Msg::kPreparedParameterMissing, 8178, 16,
     "Prepared statement '%.*ls' expects parameter %.*ls, which was not supplied."},
    {Msg::kPreparedHandleNotFound, 8179, 16, "Could not find prepared statement with handle %d."},
    {Msg::kProcedureExpectsType, 214, 16, "Procedure expects parameter '%ls' of type '%ls'."},
    {Msg::kWaitforTimeSyntax, 148, 15,
     "Incorrect time syntax in time string '%.*ls' used with WAITFOR."},
    {Msg::kRaiserrorNumber, 2732, 16,
     "Error number %ld is invalid. The number must be from %ld through %ld."},
    {Msg::kRaiserrorSeverity, 2754, 16,
     "Error severity levels greater than %d can only be specified by members of the sysadmin "
     "role, using the WITH LOG option."},
    {Msg::kRaiserrorNotFound, 2758, 16,
     "RAISERROR could not locate entry for error %d in sysmessages."},
    {Msg::kRaiserrorArgumentType, 2786, 16,
     "The data type of substitution parameter %d does not match the expected type of the format "
     "specification."},
    // RAISERROR's own text, severity and state replace these.
    {Msg::kRaiserrorMessage, 50000, 16, "%s"},
    {Msg::kCursorOptionsConflict, 1048, 15, "Conflicting cursor options %ls and %ls."},
    {Msg::kCursorSyntaxMixed, 1049, 15,
     "Mixing old and new syntax to specify cursor options is not allowed."},
    {Msg::kCursorAlreadyOpen, 16905, 16, "The cursor is already open."},
    {Msg::kCursorFetchForwardOnly, 16911, 16,
     "%hs: The fetch type %hs cannot be used with forward only cursors."},
    {Msg::kCursorExists, 16915, 16, "A cursor with the name '%.*ls' already exists."},
    {Msg::kCursorNotFound, 16916, 16, "A cursor with the name '%.*ls' does not exist."},
    {Msg::kCursorNotOpen, 16917, 16, "Cursor is not open."},
    {Msg::kCursorFetchConversion, 16922, 16,
     "Cursor Fetch: Implicit conversion from data type %s to %s is not allowed."},
    {Msg::kCursorFetchIntoCount, 16924, 16,
     "Cursorfetch: The number of variables declared in the INTO list must match that of "
     "selected columns."},
    {Msg::kCursorFetchDynamic, 16925, 16,
     "The fetch type %hs cannot be used with dynamic cursors."},
    {Msg::kCursorReadOnly, 16929, 16, "The cursor is READ ONLY."},
    {Msg::kCursorNoCurrentRow, 16930, 16, "The requested row is not in the fetch buffer."},
    {Msg::kCursorColumnNotForUpdate, 16932, 16,
     "The cursor has a FOR UPDATE list and the requested column to be updated is not in this "
     "list."},
    {Msg::kCursorTableNotInCursor, 16933, 16,
     "The cursor does not include the table being modified or the table is not updatable "
     "through the cursor."},
    {Msg::kCursorForUpdateReadOnly, 16957, 16,
     "FOR UPDATE cannot be specified on a READ ONLY cursor."},
    {Msg::kCursorNotAllocated, 16950, 16,
     "The variable '%.*ls' does not currently have a cursor allocated to it."},
    {Msg::kNotCursorVariable, 16948, 16,
     "The variable '%.*ls' is not a cursor variable, but it is used in a place where a cursor "
     "variable is expected."},
    {Msg::kInvalidObjectName, 208, 16, "Invalid object name '%.*ls'."},
    {Msg::kInvalidColumnName, 207, 16, "Invalid column name '%.*ls'."},
    {Msg::kObjectExists, 2714, 16, "There is already an object named '%.*ls' in the database."},
    {Msg::kViewOnTempTable, 4508, 16,
     "Views or functions are not allowed on temporary tables. Table names that begin with '#' "
     "denote temporary tables."},
    {Msg::kTempDatabaseIgnored, 2701, 10,
     "Database name '%.*ls' ignored, referencing object in tempdb."},
    {Msg::kTempTableInFunction, 2772, 16, "Cannot access temporary tables from within a function."},
    {Msg::kDatabaseExists, 1801, 16, "Database '%.*ls' already exists."},
    {Msg::kDatabaseNotFoundOnUse, 911, 16,
     "Could not locate entry in sysdatabases for database '%.*ls'. No entry found with that "
     "name. Make sure that the name is entered correctly."},
    {Msg::kDatabaseNotFound, 2702, 16, "Database '%.*ls' does not exist."},
    {Msg::kTypeNotFound, 2715, 16, "Column or parameter #%d: Cannot find data type %.*ls."},
    {Msg::kOwnerNotFound, 2760, 16,
     "Specified owner name '%.*ls' either does not exist or you do not have permission to use "
     "it."},
    {Msg::kObjectNotInDatabase, 15009, 16, "The object '%s' does not exist in database '%s'."},
    {Msg::kNoSuchUser, 4604, 16, "There is no such user or group '%.*ls'."},
    {Msg::kUnknownFunction, 195, 15, "'%.*ls' is not a recognized function name."},
    {Msg::kFunctionArgumentCount, 174, 15, "The %.*ls function requires %d arguments."},
    {Msg::kFunctionArgumentRange, 189, 15, "The %.*ls function requires %d to %d arguments."},
    {Msg::kInvalidArgumentType, 8116, 16,
     "Argument data type %ls is invalid for argument %d of %ls function."},
    {Msg::kInvalidLengthParameter, 536, 16, "Invalid length parameter passed to the %ls function."},
    {Msg::kDatepartOption, 155, 15, "'%.*ls' is not a recognized %ls option."},
    {Msg::kInvalidParameter, 1023, 15, "Invalid parameter %d specified for %ls."},
    {Msg::kDateAddOverflow, 517, 16, "Adding a value to a '%ls' column caused overflow."},
    {Msg::kDateDiffOverflow, 535, 16,
     "Difference of two datetime columns caused overflow at runtime."},
    {Msg::kColumnPrefix, 107, 16,
     "The column prefix '%.*ls' does not match with a table name or alias name used in the "
     "query."},
    {Msg::kNestingLimit, 217, 16,
     "Maximum stored procedure, function, trigger, or view nesting level exceeded (limit %d)."},
    {Msg::kAmbiguousColumn, 209, 16, "Ambiguous column name '%.*ls'."},
    {Msg::kSubqueryRows, 512, 16,
     "Subquery returned more than 1 value. This is not permitted when the subquery follows =, "
     "!=, <, <= , >, >= or when the subquery is used as an expression."},
    {Msg::kSubqueryColumns, 116, 16,
     "Only one expression can be specified in the select list when the subquery is not "
     "introduced with EXISTS."},
    {Msg::kNotGrouped, 8120, 16,
     "Column '%.*ls' is invalid in the select list because it is not contained in either an "
     "aggregate function or the GROUP BY clause."},
    {Msg::kNotGroupedHaving, 8121, 16,
     "Column '%.*ls' is invalid in the HAVING clause because it is not contained in either an "
     "aggregate function or the GROUP BY clause."},
    {Msg::kUnionColumnCount, 205, 16,
     "All queries in an SQL statement containing a UNION operator must have an equal number of "
     "expressions in their target lists."},
    {Msg::kUnionOrderBy, 104, 15,
     "ORDER BY items must appear in the select list if the statement contains a UNION "
     "operator."},
    {Msg::kDistinctOrderBy, 145, 15,
     "ORDER BY items must appear in the select list if SELECT DISTINCT is specified."},
    {Msg::kWithTiesOrderBy, 1062, 16,
     "The TOP N WITH TIES clause is not allowed without a corresponding ORDER BY clause."},
    {Msg::kSameExposedName, 1013, 15,
     "Tables or functions '%.*ls' and '%.*ls' have the same exposed names. Use correlation names "
     "to distinguish them."},
    {Msg::kDerivedColumnName, 8155, 16, "No column was specified for column %d of '%.*ls'."},
    {Msg::kDerivedColumnTwice, 8156, 16,
     "The column '%.*ls' was specified multiple times for '%.*ls'."},
    {Msg::kAggregateOfAggregate, 130, 16,
     "Cannot perform an aggregate function on an expression containing an aggregate or a "
     "subquery."},
    {Msg::kOrderByInSubquery, 1033, 15,
     "The ORDER BY clause is invalid in views, inline functions, derived tables, and subqueries, "
     "unless TOP is also specified."},
    {Msg::kDistinctText, 8163, 16,
     "The text, ntext, or image data type cannot be selected as DISTINCT."},
    {Msg::kGroupByConstant, 164, 15,
     "GROUP BY expressions must refer to column names that appear in the select list."},
    {Msg::kSubqueryNotAllowed, 1046, 15,
     "Subqueries are not allowed in this context. Only scalar expressions are allowed."},
    {Msg::kInvalidUseInFunction, 443, 16, "Invalid use of '%ls' within a function."},
    {Msg::kFunctionSelectReturnsData, 444, 16,
     "Select statements included within a function cannot return data to a client."},
    {Msg::kFunctionMustEndWithReturn, 455, 16,
     "The last statement included within a function must be a return statement."},
    {Msg::kFunctionTooFewArguments, 313, 16,
     "An insufficient number of arguments were supplied for the procedure or function %.*ls."},
    {Msg::kDuplicateColumn, 2705, 16,
     "Column names in each table must be unique. Column name '%.*ls' in table '%.*ls' is "
     "specified more than once."},
    {Msg::kTooManyColumns, 1702, 16,
     "CREATE TABLE failed because column '%.*ls' in table '%.*ls' exceeds the maximum of %d "
     "columns."},
    {Msg::kColumnSizeTooLarge, 131, 15,
     "The size (%d) given to the column '%.*ls' exceeds the maximum allowed for any data type "
     "(%d)."},
    {Msg::kPrecisionTooLarge, 2750, 16,
     "Column or parameter #%d: Specified column precision %d is greater than the maximum "
     "precision of %d."},
    {Msg::kScaleTooLarge, 2751, 16,
     "Column or parameter #%d: Specified column scale %d is greater than the specified precision "
     "of %d."},
    {Msg::kInvalidLength, 1001, 15, "Line %d: Length or precision specification %d is invalid."},
    {Msg::kNoWidth, 2716, 16,
     "Column or parameter #%d: Cannot specify a column width on data type %.*ls."},
    {Msg::kNotSystemType, 243, 16, "Type %.*ls is not a defined system type."},
    {Msg::kTwoTimestamps, 2738, 16,
     "A table can only have one timestamp column. Because table '%.*ls' already has one, the "
     "column '%.*ls' cannot be added."},
    {Msg::kComputedInComputed, 1759, 16,
     "Computed column '%.*ls' in table '%.*ls' is not allowed to be used in another "
     "computed-column definition."},
    {Msg::kMultiplePrimaryKeys, 8110, 16,
     "Cannot add multiple PRIMARY KEY constraints to table '%.*ls'."},
    {Msg::kForeignKeyInvalidTable, 1767, 16,
     "Foreign key '%.*ls' references invalid table '%.*ls'."},
    {Msg::kForeignKeyNotUserTable, 1768, 16,
     "Foreign key '%.*ls' references object '%.*ls' which is not a user table."},
    {Msg::kForeignKeyInvalidColumn, 1770, 16,
     "Foreign key '%.*ls' references invalid column '%.*ls' in referenced table '%.*ls'."},
    {Msg::kForeignKeyNoCandidateKey, 1776, 16,
     "There are no primary or candidate keys in the referenced table '%.*ls' that match the "
     "referencing column list in the foreign key '%.*ls'."},
    {Msg::kForeignKeyColumnCount, 8139, 16,
     "Number of referencing columns in foreign key differs from number of referenced columns, "
     "table '%.*ls'."},
    {Msg::kForeignKeyTypeMismatch, 1778, 16,
     "Column '%.*ls.%.*ls' is not the same data type as referencing column '%.*ls.%.*ls' in "
     "foreign key '%.*ls'."},
    {Msg::kForeignKeyInvalidLocalColumn, 1769, 16,
     "Foreign key '%.*ls' references invalid column '%.*ls' in referencing table '%.*ls'."},
    {Msg::kCrossDatabaseForeignKey, 1763, 16,
     "Cross-database foreign key references are not supported. Foreign key '%.*ls'."},
    {Msg::kPrimaryKeyNullable, 8111, 16,
     "Cannot define PRIMARY KEY constraint on nullable column in table '%.*ls'."},
    {Msg::kIdentityType, 2749, 16,
     "Identity column '%.*ls' must be of data type int, bigint, smallint, tinyint, or decimal "
     "or numeric with a scale of 0, and constrained to be nonnullable."},
    {Msg::kTwoIdentities, 2744, 16,
     "Multiple identity columns specified for table '%.*ls'. Only one identity column per table "
     "is allowed."},
    {Msg::kTwoRowGuidCols, 8196, 16, "Duplicate column specified as ROWGUIDCOL."},
    {Msg::kTwoClusteredConstraints, 8112, 16,
     "Cannot add more than one clustered index for constraints on table '%.*ls'."},
    {Msg::kCheckOtherColumn, 8141, 16,
     "Column CHECK constraint for column '%.*ls' references another column, table '%.*ls'."},
    {Msg::kDefaultOnTimestamp, 1755, 16,
     "Defaults cannot be created on columns of data type timestamp. Table '%.*ls', column "
     "'%.*ls'."},
    {Msg::kDefaultOnIdentity, 1754, 16,
     "Defaults cannot be created on columns with an IDENTITY attribute. Table '%.*ls', column "
     "'%.*ls'."},
    {Msg::kIndexExists, 1913, 16, "There is already an index on table '%.*ls' named '%.*ls'."},
    {Msg::kIndexColumnMissing, 1911, 16, "Column name '%.*ls' does not exist in the target table."},
    {Msg::kSecondClusteredIndex, 1902, 16,
     "Cannot create more than one clustered index on table '%.*ls'. Drop the existing clustered "
     "index '%.*ls' before creating another."},
    {Msg::kDuplicateKeyOnCreateIndex, 1505, 16,
     "CREATE UNIQUE INDEX terminated because a duplicate key was found for index ID %d. Most "
     "significant primary key is '%S_KEY'."},
    {Msg::kIndexOnText, 1919, 16,
     "Column '%.*ls'. Cannot create index on a column of text, ntext, or image data type."},
    {Msg::kInvalidFilegroup, 1921, 16, "Invalid filegroup '%s' specified."},
    {Msg::kTextImageWithoutLargeColumns, 1709, 16,
     "Cannot use TEXTIMAGE_ON when a table has no text, ntext, or image columns."},
    {Msg::kIndexDuplicateColumn, 1909, 16,
     "Cannot use duplicate column names in index. Column name '%.*ls' listed more than once."},
    {Msg::kIncompatibleAlter, 2010, 16,
     "Cannot perform alter on '%.*ls' because it is an incompatible object type."},
    {Msg::kAlterTableMissing, 4902, 16,
     "Cannot alter table '%.*ls' because this table does not exist in database '%.*ls'."},
    {Msg::kAlterColumnMissing, 4924, 16,
     "ALTER TABLE ALTER COLUMN failed because column '%.*ls' does not exist in table '%.*ls'."},
    {Msg::kDropColumnMissing, 4924, 16,
     "ALTER TABLE DROP COLUMN failed because column '%.*ls' does not exist in table '%.*ls'."},
    {Msg::kAlterColumnBecause, 4928, 16, "Cannot alter column '%.*ls' because it is '%ls'."},
    {Msg::kAlterColumnToType, 4927, 16, "Cannot alter column '%.*ls' to be data type %.*ls."},
    {Msg::kDependentOnColumn, 5074, 16, "The %S_MSG '%.*ls' is dependent on column '%.*ls'."},
    {Msg::kColumnAccessed, 4922, 16,
     "%ls %.*ls failed because one or more objects access this column."},
    {Msg::kAddRowGuidColExists, 4925, 16,
     "ALTER TABLE ALTER COLUMN ADD ROWGUIDCOL failed because a column already exists in table "
     "'%.*ls' with ROWGUIDCOL property."},
    {Msg::kDropRowGuidColMissing, 4926, 16,
     "ALTER TABLE ALTER COLUMN DROP ROWGUIDCOL failed because a column does not exist in table "
     "'%.*ls' with ROWGUIDCOL property."},
    {Msg::kAddColumnNotNull, 4901, 16,
     "ALTER TABLE only allows columns to be added that can contain nulls or have a DEFAULT "
     "definition specified. Column '%.*ls' cannot be added to table '%.*ls' because it does not "
     "allow nulls and does not specify a DEFAULT definition."},
    {Msg::kDropOnlyColumn, 4923, 16,
     "ALTER TABLE DROP COLUMN failed because '%.*ls' is the only data column in table '%.*ls'. A "
     "table must have at least one data column."},
    {Msg::kNotAConstraint, 3728, 16, "'%.*ls' is not a constraint."},
    {Msg::kCouldNotDropConstraint, 3727, 16, "Could not drop constraint. See previous errors."},
    {Msg::kConstraintReferenced, 3725, 16,
     "The constraint '%.*ls' is being referenced by table '%.*ls', foreign key constraint "
     "'%.*ls'."},
    {Msg::kConstraintMissing, 4917, 16, "Constraint '%.*ls' does not exist."},
    {Msg::kCouldNotToggleConstraint, 4916, 16,
     "Could not enable or disable the constraint. See previous errors."},
    {Msg::kTriggerNotOnTable, 4920, 16,
     "ALTER TABLE failed because trigger '%.*ls' on table '%.*ls' does not exist."},
    {Msg::kDefaultAlreadyBound, 1781, 16, "Column already has a DEFAULT bound to it."},
    {Msg::kCouldNotCreateConstraint, 1750, 16, "Could not create constraint. See previous errors."},
    {Msg::kDefaultColumnInvalid, 1752, 16,
     "Column '%.*ls' in table '%.*ls' is invalid for creating a default constraint."},
    {Msg::kIndexMissingForDropExisting, 7999, 16,
     "Could not find any index named '%.*ls' for table '%.*ls'."},
    {Msg::kDropExistingConstraintChange, 1907, 16,
     "Cannot recreate index '%.*ls'. The new index definition does not match the constraint "
     "being enforced by the existing index."},
    {Msg::kInsertCountMismatch, 213, 16,
     "Insert Error: Column name or number of supplied values does not match table definition."},
    {Msg::kInsertExecNested, 8164, 16, "An INSERT EXEC statement cannot be nested."},
    {Msg::kMoreColumnsThanValues, 109, 15,
     "There are more columns in the INSERT statement than values specified in the VALUES "
     "clause. The number of values in the VALUES clause must match the number of columns "
     "specified in the INSERT statement."},
    {Msg::kFewerColumnsThanValues, 110, 15,
     "There are fewer columns in the INSERT statement than values specified in the VALUES "
     "clause. The number of values in the VALUES clause must match the number of columns "
     "specified in the INSERT statement."},
    {Msg::kSelectFewerThanInsert, 120, 15,
     "The select list for the INSERT statement contains fewer items than the insert list. The "
     "number of SELECT values must match the number of INSERT columns."},
    {Msg::kSelectMoreThanInsert, 121, 15,
     "The select list for the INSERT statement contains more items than the insert list. The "
     "number of SELECT values must match the number of INSERT columns."},
    {Msg::kDuplicateInsertColumn, 264, 16,
     "Column name '%.*ls' appears more than once in the result column list."},
    {Msg::kInsertTimestamp, 273, 16,
     "Cannot insert a non-null value into a timestamp column. Use INSERT with a column list or "
     "with a default of NULL for the timestamp column."},
    {Msg::kUpdateTimestamp, 272, 16, "Cannot update a timestamp column."},
    {Msg::kComputedColumn, 271, 16,
     "Column '%.*ls' cannot be modified because it is a computed column."},
    {Msg::kInsertIdentity, 544, 16,
     "Cannot insert explicit value for identity column in table '%.*ls' when IDENTITY_INSERT is "
     "set to OFF."},
    {Msg::kNullNotAllowed, 515, 16,
     "Cannot insert the value NULL into column '%.*ls', table '%.*ls'; column does not allow "
     "nulls. %ls fails."},
    {Msg::kDuplicateKey, 2627, 14,
     "Violation of %ls constraint '%.*ls'. Cannot insert duplicate key in object '%.*ls'."},
    {Msg::kDuplicateKeyIndex, 2601, 14,
     "Cannot insert duplicate key row in object '%.*ls' with unique index '%.*ls'."},
    {Msg::kConstraintConflict, 547, 16,
     "%ls statement conflicted with %ls %ls constraint '%.*ls'. The conflict occurred in "
     "database '%.*ls', table '%.*ls'%ls%.*ls%ls."},
    {Msg::kDuplicateKeyIgnored, 3604, 10, "Duplicate key was ignored."},
    {Msg::kUpdateIdentity, 8102, 16, "Cannot update identity column '%.*ls'."},
    {Msg::kSystemCatalogUpdate, 259, 16,
     "Ad hoc updates to system catalogs are not enabled. The system administrator must "
     "reconfigure SQL Server to allow this."},
    {Msg::kFilegroupFull, 1105, 17,
     "Could not allocate space for object '%.*ls' in database '%.*ls' because the '%.*ls' "
     "filegroup is full."},
    {Msg::kStringTruncated, 8152, 16, "String or binary data would be truncated."},
    {Msg::kArithmeticOverflowType, 220, 16,
     "Arithmetic overflow error for data type %ls, value = %ld."},
    {Msg::kArithmeticOverflowConvert, 8115, 16,
     "Arithmetic overflow error converting %ls to data type %ls."},
    {Msg::kArithmeticOverflowValue, 232, 16, "Arithmetic overflow error for type %ls, value = %f."},
    {Msg::kArithmeticOverflowWarning, 3606, 10, "Arithmetic overflow occurred."},
    {Msg::kDivideByZeroWarning, 3607, 10, "Division by zero occurred."},
    {Msg::kNullEliminated, 8153, 10,
     "Warning: Null value is eliminated by an aggregate or other SET operation."},
    {Msg::kDomainError, 3623, 16, "A domain error occurred."},
    {Msg::kDomainErrorWarning, 3622, 10, "A domain error occurred."},
    {Msg::kConvertSyntax, 245, 16,
     "Syntax error converting the %ls value '%.*ls' to a column of data type %ls."},
    {Msg::kConvertError, 8114, 16, "Error converting data type %ls to %ls."},
    {Msg::kMoneySyntax, 235, 16,
     "Cannot convert a char value to money. The char value has incorrect syntax."},
    {Msg::kDatetimeSyntax, 241, 16, "Syntax error converting datetime from character string."},
    {Msg::kDatetimeRange, 242, 16,
     "The conversion of a char data type to a datetime data type resulted in an out-of-range "
     "datetime value."},
    {Msg::kSmallDatetimeRange, 296, 16,
     "The conversion of char data type to smalldatetime data type resulted in an out-of-range "
     "smalldatetime value."},
    {Msg::kDateStyleToText, 281, 16,
     "%d is not a valid style number when converting from datetime to a character string."},
    {Msg::kDateStyleToDatetime, 281, 16,
     "%d is not a valid style number when converting to datetime."},
    {Msg::kGuidSyntax, 8169, 16,
     "Syntax error converting from a character string to uniqueidentifier."},
    {Msg::kImplicitConversion, 257, 16,
     "Implicit conversion from data type %ls to %ls is not allowed. Use the CONVERT function to "
     "run this query."},
    {Msg::kOperandClash, 206, 16, "Operand type clash: %ls is incompatible with %ls"},
    {Msg::kInvalidOperator, 8117, 16, "Operand data type %ls is invalid for %ls operator."},
    {Msg::kIncompatibleInOperator, 402, 16,
     "The data types %ls and %ls are incompatible in the %ls operator."},
    {Msg::kDivideByZero, 8134, 16, "Divide by zero error encountered."},
    {Msg::kNotInAggregate, 8118, 16,
     "Column '%.*ls' is invalid in the select list because it is not contained in an aggregate "
     "function and there is no GROUP BY clause."},
    {Msg::kOrderPosition, 108, 15,
     "The ORDER BY position number %ld is out of range of the number of items in the select "
     "list."},
    {Msg::kViewColumnName, 4511, 16,
     "Create View or Function failed because no column name was specified for column %d."},
    {Msg::kViewColumnTwice, 4506, 16,
     "Column names in each view or function must be unique. Column name '%.*ls' in view or "
     "function '%.*ls' is specified more than once."},
    {Msg::kViewFewerColumns, 8159, 16,
     "'%.*ls' has fewer columns than were specified in the column list."},
    {Msg::kViewMoreColumns, 8158, 16,
     "'%.*ls' has more columns than were specified in the column list."},
    {Msg::kAggregateInWhere, 147, 15,
     "An aggregate may not appear in the WHERE clause unless it is in a subquery contained in a "
     "HAVING clause or a select list, and the column being aggregated is an outer reference."},
    {Msg::kTextCompare, 306, 16,
     "The text, ntext, and image data types cannot be compared or sorted, except when using IS "
     "NULL or LIKE operator."},
    {Msg::kCollationConflict, 446, 16, "Cannot resolve collation conflict for %ls operation."},
    {Msg::kCollateType, 447, 16, "Expression type %ls is invalid for COLLATE clause."},
    {Msg::kInvalidCollation, 448, 16, "Invalid collation '%.*ls'."},
    {Msg::kNoPlanForHints, 8622, 16,
     "Query processor could not produce a query plan because of the hints defined in this query. "
     "Resubmit the query without specifying any hints and without using SET FORCEPLAN."},
    {Msg::kSchemaBindSyntax, 1054, 15, "Syntax '%ls' is not allowed in schema-bound objects."},
    {Msg::kSchemaBindName, 4512, 16,
     "Cannot schema bind %S_MSG '%.*ls' because name '%.*ls' is invalid for schema binding. "
     "Names must be in two-part format and an object cannot reference itself."},
    {Msg::kSchemaBindNotBound, 4513, 16,
     "Cannot schema bind %S_MSG '%.*ls'. '%.*ls' is not schema bound."},
    {Msg::kPrivilegeNotCompatible, 4606, 16,
     "Granted or revoked privilege %ls is not compatible with object."},
    {Msg::kCannotDrop, 3701, 11,
     "Cannot %S_MSG the %S_MSG '%.*ls', because it does not exist in the system catalog."},
    {Msg::kDatabaseInUse, 3702, 16,
     "Cannot drop the %S_MSG '%.*ls' because it is currently in use."},
    {Msg::kDatabaseReplicated, 3724, 16,
     "Cannot %S_MSG the %S_MSG '%.*ls' because it is being used for replication."},
    {Msg::kDatabaseDistribution, 3736, 16,
     "Cannot drop the %S_MSG '%.*ls' because it is being used for distribution."},
    {Msg::kSystemObject, 3708, 16,
     "Cannot %S_MSG the %S_MSG '%.*ls' because it is a system %S_MSG."},
    {Msg::kReferencedByForeignKey, 3726, 16,
     "Could not drop object '%.*ls' because it is referenced by a FOREIGN KEY constraint."},
    {Msg::kReferencedBySchemaBound, 3729, 16,
     "Cannot %S_MSG '%.*ls' because it is being referenced by object '%.*ls'."},
    {Msg::kIndexForConstraint, 3723, 16,
     "An explicit DROP INDEX is not allowed on index '%.*ls'. It is being used for %ls "
     "constraint enforcement."},
    {Msg::kProcedureNotFound, 2812, 16, "Could not find stored procedure '%.*ls'."},
    {Msg::kParameterMissing, 201, 16,
     "Procedure '%.*ls' expects parameter '%.*ls', which was not supplied."},
    {Msg::kNotAParameter, 8145, 16, "%.*ls is not a parameter for procedure %.*ls."},
    {Msg::kTooManyArguments, 8144, 16,
     "Procedure or function %.*ls has too many arguments specified."},
    {Msg::kNoParameters, 8146, 16,
     "Procedure %.*ls has no parameters and arguments were supplied."},
    {Msg::kParameterTwice, 8143, 16, "Parameter '%.*ls' was supplied multiple times."},
    {Msg::kInvalidProcedureOption, 15600, 15,
     "An invalid parameter or option was specified for procedure '%s'."},
    // sp_spaceused's; the numbers and texts are as remembered from SQL Server
    // 2000's procedure, not checked against a server.
    {Msg::kUpdateUsageOption, 15143, 16,
     "'%s' is not a valid option for the @updateusage parameter. Enter either 'true' or "
     "'false'."},
    {Msg::kNoSpaceForModule, 15234, 16,
     "Object is stored in sysprocedures and has no space allocated."},
    {Msg::kNoSpaceForView, 15235, 16, "Views do not have space allocated."},
    {Msg::kTypeExists, 15029, 16,
     "The type '%s' already exists, or you do not have permission to create it."},
    {Msg::kQualifierNotCurrentDatabase, 15250, 16,
     "The database name component of the object qualifier must be the name of the current "
     "database."},
    {Msg::kNoKeyTableName, 15252, 16, "No primary or foreign key table name was supplied."},
    {Msg::kInvalidProcedureArgument, 15251, 16, "Invalid '%s' specified. It must be %s."},
    {Msg::kNoTextForObject, 15197, 16, "There is no text for object '%s'."},
    {Msg::kCommentsEncrypted, 15471, 10, "The object comments have been encrypted."},
    {Msg::kNoConstraints, 15469, 10, "No constraints have been defined for this object."},
    {Msg::kNoReferencingKeys, 15470, 10, "No foreign keys reference this table."},
    {Msg::kNoIndexes, 15472, 10, "The object does not have any indexes."},
    {Msg::kNoDependencies, 15461, 10,
     "Object does not reference any object, and no objects reference it."},
    {Msg::kNotATable, 15218, 16, "Object '%s' is not a table."},
    {Msg::kNotAUser, 15198, 16, "The name supplied (%s) is not a user, role, or aliased login."},
    {Msg::kNoMatchingRows, 15330, 11, "There are no matching rows on which to report."},
    {Msg::kRenameCaution, 15477, 10,
     "Caution: Changing any part of an object name could break scripts and stored procedures."},
    {Msg::kRenameAmbiguous, 15248, 11,
     "Either the parameter @objname is ambiguous or the claimed @objtype (%s) is wrong."},
    {Msg::kRenameNotFound, 15225, 11,
     "No item by the name of '%s' could be found in the current database '%s', given that "
     "@itemtype was input as '%s'."},
    {Msg::kRenameNameInUse, 15335, 11, "Error: The new name '%s' is already in use as a %s name."},
    {Msg::kRenameSchemaBound, 15336, 16,
     "Object '%s' cannot be renamed because the object participates in enforced dependencies."},
    {Msg::kRenameUnknownType, 15249, 11, "Error: Explicit @objtype '%s' is unrecognized."},
    {Msg::kRenameNullName, 15223, 11, "Error: The input parameter '%s' is not allowed to be null."},
    {Msg::kDefaultMissing, 15016, 16, "The default '%s' does not exist."},
    {Msg::kRuleMissing, 15017, 16, "The rule '%s' does not exist."},
    {Msg::kBindTargetMissing, 15148, 16,
     "The data type or table column '%s' does not exist or you do not have permission."},
    {Msg::kBindDefaultNotCreated, 15050, 11,
     "Cannot bind default '%s'. The default must be created using the CREATE DEFAULT "
     "statement."},
    {Msg::kBindDefaultBadColumn, 15101, 16,
     "Cannot bind a default to a computed column or to a column of data type timestamp."},
    {Msg::kBindDefaultIdentity, 15102, 16, "Cannot bind a default to an identity column."},
    {Msg::kBindDefaultOverConstraint, 15103, 16,
     "Cannot bind a default to a column created with or altered to have a default value."},
    {Msg::kBindRuleBadColumn, 15107, 16,
     "Cannot bind a rule to a computed column or to a column of data type text, ntext, image or "
     "timestamp."},
    {Msg::kUnbindConstraint, 15049, 11,
     "Cannot unbind from '%s'. Use ALTER TABLE DROP CONSTRAINT."},
    {Msg::kColumnHasNoDefault, 15236, 16, "Column '%s' has no default."},
    {Msg::kTypeHasNoDefault, 15237, 16, "User data type '%s' has no default."},
    {Msg::kColumnHasNoRule, 15238, 16, "Column '%s' has no rule."},
    {Msg::kTypeHasNoRule, 15239, 16, "User data type '%s' has no rule."},
    {Msg::kBindNotCurrentDatabase, 15084, 16,
     "The column or user data type must be in the current database."},
    {Msg::kDefaultBoundToColumn, 15511, 10, "Default bound to column."},
    {Msg::kDefaultBoundToType, 15512, 10, "Default bound to data type."},
    {Msg::kDefaultBoundToTypeColumns, 15513, 10,
     "The new default has been bound to columns(s) of the specified user data type."},
    {Msg::kRuleBoundToColumn, 15514, 10, "Rule bound to table column."},
    {Msg::kRuleBoundToType, 15515, 10, "Rule bound to data type."},
    {Msg::kRuleBoundToTypeColumns, 15516, 10,
     "The new rule has been bound to column(s) of the specified user data type."},
    {Msg::kDefaultUnboundFromColumn, 15519, 10, "Default unbound from table column."},
    {Msg::kDefaultUnboundFromType, 15520, 10, "Default unbound from data type."},
    {Msg::kDefaultUnboundFromTypeColumns, 15521, 10,
     "Columns of the specified user data type had their defaults unbound."},
    {Msg::kRuleUnboundFromColumn, 15522, 10, "Rule unbound from table column."},
    {Msg::kRuleUnboundFromType, 15523, 10, "Rule unbound from data type."},
    {Msg::kRuleUnboundFromTypeColumns, 15524, 10,
     "Columns of the specified user data type had their rules unbound."},
    {Msg::kBoundObjectInUse, 3716, 16,
     "The %S_MSG '%.*ls' cannot be dropped because it is bound to one or more %S_MSG."},
    {Msg::kRuleConflict, 513, 16,
     "A column insert or update conflicts with a rule imposed by a previous CREATE RULE "
     "statement. The statement was terminated. The conflict occurred in database '%.*ls', table "
     "'%.*ls', column '%.*ls'."},
    {Msg::kExtendedPropertyObject, 15135, 16,
     "Object is invalid. Extended properties are not permitted on '%s', or the object does not "
     "exist."},
    {Msg::kExtendedPropertyExists, 15233, 16,
     "Property cannot be added. Property '%s' already exists for '%s'."},
    {Msg::kExtendedPropertyMissing, 15217, 16,
     "Property cannot be updated or deleted. Property '%s' does not exist for '%s'."},
    {Msg::kExtendedPropertyTooLarge, 15097, 16,
     "The size associated with an extended property cannot be more than 7,500 bytes."},
    {Msg::kFullTextNotInstalled, 7609, 17,
     "Full-Text Search is not installed, or a full-text component cannot be loaded."},
    {Msg::kFullTextNotEnabled, 15601, 16,
     "Full-Text Search is not enabled for the current database. Use sp_fulltext_database to "
     "enable Full-Text Search."},
    {Msg::kFullTextCatalogMissing, 7641, 16, "Full-Text catalog '%ls' does not exist."},
    {Msg::kFullTextCatalogExists, 7642, 16,
     "A full-text catalog named '%ls' already exists in this database."},
    {Msg::kFullTextIndexExists, 15605, 16,
     "A full-text index for table '%ls' has already been created."},
    {Msg::kFullTextKeyIndex, 15607, 16,
     "'%ls' is not a valid index to enforce a full-text search key. You must specify a unique, "
     "non-nullable, single-column index."},
    {Msg::kFullTextIndexMissing, 15606, 16,
     "You must first create a full-text index on table '%ls'."},
    {Msg::kFullTextCatalogInUse, 15604, 16,
     "Cannot drop full-text catalog '%ls' because it contains a full-text index."},
    {Msg::kNoDistributorForPublication, 14071, 16,
     "Could not find the Distributor or the distribution database for the local server. The "
     "Distributor may not be installed, or the local server may not be configured as a "
     "Publisher at the Distributor."},
    {Msg::kNotADistributor, 14114, 16, "'%s' is not configured as a Distributor."},
    {Msg::kDistributorNotInstalled, 21043, 16, "The Distributor is not installed."},
    {Msg::kDistributorExists, 14099, 16, "The server '%s' is already defined as a Distributor."},
    {Msg::kDistributorHasDatabases, 14121, 16,
     "Could not drop the Distributor '%s'. This Distributor has associated distribution "
     "databases."},
    {Msg::kNotADistributionDatabase, 14117, 16,
     "'%s' is not configured as a distribution database."},
    {Msg::kDistributionDatabaseExists, 14119, 16,
     "Could not add the distribution database '%s'. This distribution database already exists."},
    {Msg::kPublisherExists, 14074, 16, "The server '%s' is already listed as a Publisher."},
    {Msg::kDistributorNotReady, 20028, 16,
     "The Distributor has not been installed correctly. Could not enable database for "
     "publishing."},
    {Msg::kDatabaseMissingForProcedure, 15010, 16,
     "The database '%s' does not exist. Use sp_helpdb to show available databases."},
    {Msg::kDatabaseNotPublished, 14013, 16, "This database is not enabled for publication."},
    {Msg::kPublicationExists, 14016, 16, "The publication '%s' already exists."},
    {Msg::kPublicationNameUsed, 20025, 16,
     "The publication name must be unique. The specified publication name '%s' has already "
     "been used."},
    {Msg::kPublicationMissing, 20026, 16, "The publication '%s' does not exist."},
    {Msg::kArticleExists, 14030, 16, "The article '%s' exists in publication '%s'."},
    {Msg::kArticleNeedsPrimaryKey, 14088, 16,
     "The table '%s' must have a primary key to be published using the transaction-based "
     "method."},
    {Msg::kArticleMissing, 20027, 16, "The article '%s' does not exist."},
    {Msg::kReplicationPropertyUnknown, 21183, 16, "Invalid property name '%s'."},
    {Msg::kReplicationTrueFalse, 14148, 16,
     "Invalid '%s' value. Valid values are 'true' or 'false'."},
    {Msg::kPreCreationCommand, 14061, 16,
     "The @pre_creation_cmd parameter value must be 'none', 'drop', 'delete', or 'truncate'."},
    // The texts of these two are SQL Server 2000's; their numbers could not
    // be checked against its message table.
    {Msg::kQueuedCommandsFixed, 21273, 16,
     "You cannot change 'ins_cmd','upd_cmd', or 'del_cmd' article properties because the "
     "publication allows DTS or queued updating option."},
    {Msg::kQueuedPropertyValue, 21222, 16,
     "Queued snapshot publication property '%s' cannot have the value '%s'."},
    // The text is SQL Server 2000's; its number could not be checked either.
    {Msg::kQueueTypeSubscribed, 21290, 16,
     "Cannot change queue type while there are subscriptions to the publication."},
    {Msg::kRenamePublished, 15051, 11,
     "Cannot rename the table because it is published for replication."},
    {Msg::kCommitWithoutBegin, 3902, 16,
     "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION."},
    {Msg::kRollbackWithoutBegin, 3903, 16,
     "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION."},
    {Msg::kNoSuchSavepoint, 6401, 16,
     "Cannot roll back %.*ls. No transaction or savepoint of that name was found."},
    {Msg::kSaveWithoutTransaction, 628, 16,
     "Cannot issue SAVE TRANSACTION when there is no active transaction."},
    {Msg::kTransactionCountChanged, 266, 16,
     "Transaction count after EXECUTE indicates that a COMMIT or ROLLBACK TRANSACTION statement "
     "is missing. Previous count = %ld, current count = %ld."},
    {Msg::kNotInTransaction, 226, 16,
     "%ls statement not allowed within multi-statement transaction."},
    {Msg::kTriggerEndedTransaction, 3609, 16,
     "The transaction ended in the trigger. The batch has been aborted."},
    {Msg::kLockTimeout, 1222, 16, "Lock request time out period exceeded."},
    {Msg::kDeadlockVictim, 1205, 13,
     "Transaction (Process ID %d) was deadlocked on lock resources with another process and has "
     "been chosen as the deadlock victim. Rerun the transaction."},
    {Msg::kLoginFailed, 18456, 14, "Login failed for user '%ls'."},
    {Msg::kLoginNotTrusted, 18452, 14,
     "Login failed for user '%ls'. Reason: Not associated with a trusted SQL Server connection."},
    {Msg::kLoginDatabaseUnavailable, 4060, 11,
     "Cannot open database requested in login '%.*ls'. Login fails."},
    {Msg::kTooManyConnections, 17809, 20,
     "Could not connect because the maximum number of '%d' user connections has already been "
     "reached. The system administrator can use sp_configure to increase the maximum value. The "
     "connection has been closed."},
    {Msg::kChangedDatabase, 5701, 10, "Changed database context to '%.*ls'."},
    {Msg::kChangedLanguage, 5703, 10, "Changed language setting to %.*ls."},
    {Msg::kDbccCompleted, 2528, 10,
     "DBCC execution completed. If DBCC printed error messages, contact your system "
     "administrator."},
    {Msg::kNotSupported, 50000, 16, "%s is not supported by this server."},
    {Msg::kBulkLoad, 50000, 16, "The bulk load failed: %s."},
    {Msg::kInvalidText, 50000, 16, "The batch is not valid UTF-8 text."},
    {Msg::kInternalError, 50000, 16, "Internal error in the server: %s."},
    {Msg::kCancelled, 50000, 16, "The batch was cancelled by its client."},
    {Msg::kStoreFull, 1105, 17,
     "Could not allocate space in the data folder '%s' because the disk is full; the batch was "
     "undone."},
    {Msg::kStoreFailed, 50000, 16,
     "The data folder '%s' could not be written (%s); the batch was undone."},
};

constexpr bool TableFollowsEnum() {
  for (size_t i = 0; i < std::size(kMessages); ++i) {
    if (static_cast<size_t>(kMessages[i].id) != i) return false;
  }
  return static_cast<size_t>(Msg::kStoreFailed) + 1 == std::size(kMessages);
}
static_assert(TableFollowsEnum(), "kMessages must list every Msg once, in enum order");

const MessageRow& RowOf(Msg msg) { return kMessages[static_cast<size_t>(msg)]; }

// The placeholder forms the templates use, longest first so "%.*ls" is not
// read as "%.".
constexpr std::string_view kPlaceholders[] = {"%.*ls", "%S_MSG", "%S_KEY", "%ls", "%hs",
                                              "%ld",   "%d",     "%s",     "%f"};

}  // namespace

int MessageNumber(Msg msg) { return RowOf(msg).number; }

int MessageSeverity(Msg msg) { return RowOf(msg).severity; }

SqlError Raise(Msg msg, std::initializer_list<std::string_view> args) {
  const MessageRow& row = RowOf(msg);
  std::string_view text = row.text;
  std::string out;
  out.reserve(text.size() + 32);
  auto next_arg = args.begin();
  for (size_t i = 0; i < text.size();) {
    if (text[i] != '%') {
      out += text[i++];
      continue;
    }
    bool matched = false;
    for (std::string_view form : kPlaceholders) {
      if (text.substr(i, form.size()) == form) {
        if (next_arg != args.end()) out += *next_arg++;
        i += form.size();
        matched = true;
        break;
      }
    }
    if (!matched) out += text[i++];
  }
  return SqlError{row.number, row.severity, 1, std::move(out), 0};
}

}  // namespace server
