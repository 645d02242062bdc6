// Every error the server must be able to produce, caused on purpose, with
// SQL Server 2000's number, level and text.

#include "server/errors.h"

#include <gtest/gtest.h>

#include "server/engine.h"
#include "tests/server/server_test_util.h"

namespace server::testing {
namespace {

// A small database every case starts from.
constexpr char kShop[] = R"(CREATE DATABASE shop
GO
USE shop
GO
CREATE TABLE items (id INT CONSTRAINT pk_items PRIMARY KEY, name VARCHAR(10) CONSTRAINT ck_items CHECK (name <> 'bad'), stamp TIMESTAMP, doubled AS id * 2)
GO
CREATE TABLE orders (id INT, item INT CONSTRAINT fk_orders FOREIGN KEY REFERENCES items(id), qty TINYINT NOT NULL)
GO
CREATE UNIQUE INDEX ix_orders ON orders(id)
GO
CREATE TABLE notes (id INT, body TEXT)
GO
INSERT INTO items (id, name) VALUES (1, 'pen')
GO
INSERT INTO orders (id, item, qty) VALUES (10, 1, 5)
GO
CREATE VIEW v_bound WITH SCHEMABINDING AS SELECT id FROM dbo.notes
GO
CREATE PROCEDURE p0 AS SELECT 1 AS one
)";

// The server as its own distributor and publisher, shop enabled for both
// kinds of publishing.
constexpr char kPublishing[] = R"(EXEC sp_adddistributor @distributor='TAVORA', @password=P
GO
EXEC sp_adddistributiondb @database='distribution'
GO
EXEC sp_adddistpublisher @publisher='TAVORA', @distribution_db='distribution'
GO
EXEC sp_replicationdboption 'shop', 'publish', 'true'
GO
EXEC sp_replicationdboption 'shop', 'merge publish', 'true'
)";

constexpr char kFullText[] = R"(EXEC sp_fulltext_database 'enable'
GO
EXEC sp_fulltext_catalog 'cat1', 'create'
)";

struct ErrorCase {
  const char* name;
  std::vector<const char*> before;  // run in order after the shop set-up; must succeed
  const char* statement;            // its first error is compared
  const char* expected;
  bool full_text_installed = true;
};

const ErrorCase kCases[] = {
    // Syntax and batch structure.
    {"syntax error",
     {},
     "SELECT * FORM items",
     "Msg 170, Level 15, State 1, Line 1\nLine 1: Incorrect syntax near 'FORM'."},
    {"syntax error at a keyword",
     {},
     "SELECT FROM items",
     "Msg 156, Level 15, State 1, Line 1\nIncorrect syntax near the keyword 'FROM'."},
    {"syntax error on a later line",
     {},
     "SELECT id\nFROM items\nWHERE id =",
     "Msg 170, Level 15, State 1, Line 3\nLine 3: Incorrect syntax near '='."},
    {"unclosed quote",
     {},
     "SELECT 'abc",
     "Msg 105, Level 15, State 1, Line 1\nUnclosed quotation mark before the character string "
     "'abc'."},
    {"unclosed comment",
     {},
     "SELECT 1 /* never closed",
     "Msg 113, Level 15, State 1, Line 1\nMissing end comment mark '*/'."},
    {"view not first in batch",
     {},
     "SELECT 1\nCREATE VIEW v AS SELECT 1 AS one",
     "Msg 111, Level 15, State 1, Line 2\n'CREATE VIEW' must be the first statement in a query "
     "batch."},
    {"procedure not first in batch",
     {},
     "USE shop\nCREATE PROCEDURE p AS SELECT 1",
     "Msg 111, Level 15, State 1, Line 2\n'CREATE PROCEDURE' must be the first statement in a "
     "query batch."},
    {"default not first in batch",
     {},
     "PRINT 'x'\nCREATE DEFAULT d AS 1",
     "Msg 111, Level 15, State 1, Line 2\n'CREATE DEFAULT' must be the first statement in a query "
     "batch."},
    {"undeclared variable",
     {},
     "SELECT @x",
     "Msg 137, Level 15, State 1, Line 1\nMust declare the variable '@x'."},
    {"unknown function",
     {},
     "SELECT nofunc(1)",
     "Msg 195, Level 15, State 1, Line 1\n'nofunc' is not a recognized function name."},
    // Names.
    {"object not found",
     {},
     "SELECT * FROM nowhere",
     "Msg 208, Level 16, State 1, Line 1\nInvalid object name 'nowhere'."},
    {"column not found",
     {},
     "SELECT price FROM items",
     "Msg 207, Level 16, State 1, Line 1\nInvalid column name 'price'."},
    {"object already exists",
     {},
     "CREATE TABLE items (x INT)",
     "Msg 2714, Level 16, State 1, Line 1\nThere is already an object named 'items' in the "
     "database."},
    {"constraint name already used",
     {},
     "CREATE TABLE t2 (x INT CONSTRAINT pk_items PRIMARY KEY)",
     "Msg 2714, Level 16, State 1, Line 1\nThere is already an object named 'pk_items' in the "
     "database."},
    {"database already exists",
     {},
     "CREATE DATABASE shop",
     "Msg 1801, Level 16, State 1, Line 1\nDatabase 'shop' already exists."},
    {"database not found on USE",
     {},
     "USE nowhere",
     "Msg 911, Level 16, State 1, Line 1\nCould not locate entry in sysdatabases for database "
     "'nowhere'. No entry "
     "found with that name. Make sure that the name is entered correctly."},
    {"type not found",
     {},
     "CREATE TABLE t (a INT,\nb money2)",
     "Msg 2715, Level 16, State 1, Line 1\nColumn or parameter #2: Cannot find data type money2."},
    {"foreign key to a missing table",
     {},
     "CREATE TABLE t (a INT CONSTRAINT fk_t FOREIGN KEY REFERENCES nowhere(id))",
     "Msg 1767, Level 16, State 1, Line 1\nForeign key 'fk_t' references invalid table 'nowhere'."},
    {"foreign key to a column that is no key",
     {},
     "CREATE TABLE t (a VARCHAR(10) CONSTRAINT fk_name REFERENCES items(name))",
     "Msg 1776, Level 16, State 1, Line 1\nThere are no primary or candidate keys in the "
     "referenced table 'items' "
     "that match the referencing column list in the foreign key 'fk_name'."},
    {"wrong column prefix",
     {},
     "SELECT other.id FROM items",
     "Msg 107, Level 16, State 1, Line 1\nThe column prefix 'other' does not match with a table "
     "name or alias name "
     "used in the query."},
    // Table definitions.
    {"duplicate column",
     {},
     "CREATE TABLE t (a INT, A INT)",
     "Msg 2705, Level 16, State 1, Line 1\nColumn names in each table must be unique. Column name "
     "'A' in table 't' is "
     "specified more than once."},
    {"two primary keys",
     {},
     "CREATE TABLE t (a INT PRIMARY KEY, b INT PRIMARY KEY)",
     "Msg 8110, Level 16, State 1, Line 1\nCannot add multiple PRIMARY KEY constraints to table "
     "'t'."},
    {"nullable primary key",
     {},
     "CREATE TABLE t (a INT NULL PRIMARY KEY)",
     "Msg 8111, Level 16, State 1, Line 1\nCannot define PRIMARY KEY constraint on nullable column "
     "in table 't'."},
    {"column too wide",
     {},
     "CREATE TABLE t (a VARCHAR(9000))",
     "Msg 131, Level 15, State 1, Line 1\nThe size (9000) given to the column 'a' exceeds the "
     "maximum allowed for any "
     "data type (8000)."},
    {"precision too large",
     {},
     "CREATE TABLE t (a DECIMAL(40,2))",
     "Msg 2750, Level 16, State 1, Line 1\nColumn or parameter #1: Specified column precision 40 "
     "is greater than the "
     "maximum precision of 38."},
    {"width on a fixed type",
     {},
     "CREATE TABLE t (a INT(4))",
     "Msg 2716, Level 16, State 1, Line 1\nColumn or parameter #1: Cannot specify a column width "
     "on data type int."},
    {"two timestamp columns",
     {},
     "CREATE TABLE t (a TIMESTAMP, b TIMESTAMP)",
     "Msg 2738, Level 16, State 1, Line 1\nA table can only have one timestamp column. Because "
     "table 't' already has "
     "one, the column 'b' cannot be added."},
    // Indexes.
    {"index name taken",
     {},
     "CREATE INDEX ix_orders ON orders(qty)",
     "Msg 1913, Level 16, State 1, Line 1\nThere is already an index on table 'orders' named "
     "'ix_orders'."},
    {"index on a missing column",
     {},
     "CREATE INDEX ix2 ON orders(nothing)",
     "Msg 1911, Level 16, State 1, Line 1\nColumn name 'nothing' does not exist in the target "
     "table."},
    {"second clustered index",
     {"CREATE CLUSTERED INDEX c1 ON orders(qty)"},
     "CREATE CLUSTERED INDEX c2 ON orders(item)",
     "Msg 1902, Level 16, State 1, Line 1\nCannot create more than one clustered index on table "
     "'orders'. Drop the "
     "existing clustered index 'c1' before creating another."},
    // Data changes.
    {"values missing without a column list",
     {},
     "INSERT INTO items VALUES (2)",
     "Msg 213, Level 16, State 1, Line 1\nInsert Error: Column name or number of supplied values "
     "does not match table "
     "definition."},
    {"more columns than values",
     {},
     "INSERT INTO items (id, name) VALUES (2)",
     "Msg 109, Level 15, State 1, Line 1\nThere are more columns in the INSERT statement than "
     "values specified in the "
     "VALUES clause. The number of values in the VALUES clause must match the number of columns "
     "specified in the "
     "INSERT statement."},
    {"fewer columns than values",
     {},
     "INSERT INTO items (id) VALUES (2, 'x')",
     "Msg 110, Level 15, State 1, Line 1\nThere are fewer columns in the INSERT statement than "
     "values specified in "
     "the VALUES clause. The number of values in the VALUES clause must match the number of "
     "columns specified in the "
     "INSERT statement."},
    {"explicit timestamp",
     {},
     "INSERT INTO items (id, name, stamp) VALUES (2, 'x', 0x01)",
     "Msg 273, Level 16, State 1, Line 1\nCannot insert a non-null value into a timestamp column. "
     "Use INSERT with a "
     "column list or with a default of NULL for the timestamp column."},
    {"explicit computed column",
     {},
     "INSERT INTO items (id, doubled) VALUES (2, 4)",
     "Msg 271, Level 16, State 1, Line 1\nColumn 'doubled' cannot be modified because it is a "
     "computed column."},
    {"update of a timestamp",
     {},
     "UPDATE items SET stamp = 0x01",
     "Msg 272, Level 16, State 1, Line 1\nCannot update a timestamp column."},
    {"null into a NOT NULL column",
     {},
     "INSERT INTO orders (id, item) VALUES (12, 1)",
     "Msg 515, Level 16, State 1, Line 1\nCannot insert the value NULL into column 'qty', table "
     "'shop.dbo.orders'; "
     "column does not allow nulls. INSERT fails."},
    {"duplicate primary key",
     {},
     "INSERT INTO items (id, name) VALUES (1, 'dup')",
     "Msg 2627, Level 14, State 1, Line 1\nViolation of PRIMARY KEY constraint 'pk_items'. Cannot "
     "insert duplicate "
     "key in object 'items'."},
    {"duplicate in a unique index",
     {},
     "INSERT INTO orders (id, item, qty) VALUES (10, 1, 1)",
     "Msg 2601, Level 14, State 1, Line 1\nCannot insert duplicate key row in object 'orders' with "
     "unique index "
     "'ix_orders'."},
    {"check constraint",
     {},
     "INSERT INTO items (id, name) VALUES (2, 'bad')",
     "Msg 547, Level 16, State 1, Line 1\nINSERT statement conflicted with COLUMN CHECK constraint "
     "'ck_items'. The "
     "conflict occurred in database 'shop', table 'items', column 'name'."},
    {"foreign key",
     {},
     "INSERT INTO orders (id, item, qty) VALUES (11, 99, 1)",
     "Msg 547, Level 16, State 1, Line 1\nINSERT statement conflicted with COLUMN FOREIGN KEY "
     "constraint "
     "'fk_orders'. The conflict occurred in database 'shop', table 'items', column 'id'."},
    {"referenced row deleted",
     {},
     "DELETE FROM items",
     "Msg 547, Level 16, State 1, Line 1\nDELETE statement conflicted with COLUMN REFERENCE "
     "constraint 'fk_orders'. "
     "The conflict occurred in database 'shop', table 'orders', column 'item'."},
    // Conversions and arithmetic.
    {"tinyint overflow",
     {},
     "INSERT INTO orders (id, item, qty) VALUES (13, 1, 300)",
     "Msg 220, Level 16, State 1, Line 1\nArithmetic overflow error for data type tinyint, value = "
     "300."},
    {"text that is no number",
     {},
     "INSERT INTO orders (id, item, qty) VALUES ('abc', 1, 1)",
     "Msg 245, Level 16, State 1, Line 1\nSyntax error converting the varchar value 'abc' to a "
     "column of data type int."},
    {"string truncated",
     {},
     "INSERT INTO items (id, name) VALUES (3, 'much too long')",
     "Msg 8152, Level 16, State 1, Line 1\nString or binary data would be truncated."},
    {"divide by zero",
     {},
     "SELECT 1/0",
     "Msg 8134, Level 16, State 1, Line 1\nDivide by zero error encountered."},
    {"bad date",
     {},
     "SELECT CAST('not a date' AS datetime)",
     "Msg 241, Level 16, State 1, Line 1\nSyntax error converting datetime from character string."},
    {"date out of range",
     {},
     "SELECT CAST('13/45/2001' AS datetime)",
     "Msg 242, Level 16, State 1, Line 1\nThe conversion of a char data type to a datetime data "
     "type resulted in an "
     "out-of-range datetime value."},
    {"bad uniqueidentifier",
     {},
     "SELECT CAST('xyz' AS uniqueidentifier)",
     "Msg 8169, Level 16, State 1, Line 1\nSyntax error converting from a character string to "
     "uniqueidentifier."},
    {"text to binary without CONVERT",
     {"CREATE TABLE b (x VARBINARY(4))"},
     "INSERT INTO b VALUES ('ab')",
     "Msg 257, Level 16, State 1, Line 1\nImplicit conversion from data type varchar to varbinary "
     "is not allowed. Use "
     "the CONVERT function to run this query."},
    {"int into uniqueidentifier",
     {"CREATE TABLE g (x UNIQUEIDENTIFIER)"},
     "INSERT INTO g VALUES (1)",
     "Msg 206, Level 16, State 1, Line 1\nOperand type clash: int is incompatible with "
     "uniqueidentifier"},
    {"comparing text",
     {},
     "SELECT id FROM notes WHERE body = 'x'",
     "Msg 306, Level 16, State 1, Line 1\nThe text, ntext, and image data types cannot be compared "
     "or sorted, except "
     "when using IS NULL or LIKE operator."},
    {"column outside an aggregate",
     {},
     "SELECT id, COUNT(*) FROM items",
     "Msg 8118, Level 16, State 1, Line 1\nColumn 'items.id' is invalid in the select list because "
     "it is not "
     "contained in an aggregate function and there is no GROUP BY clause."},
    // Schema binding, permissions, dropping.
    {"star in a schema-bound view",
     {},
     "CREATE VIEW v2 WITH SCHEMABINDING AS SELECT * FROM dbo.items",
     "Msg 1054, Level 15, State 1, Line 1\nSyntax '*' is not allowed in schema-bound objects."},
    {"one-part name in a schema-bound view",
     {},
     "CREATE VIEW v3 WITH SCHEMABINDING AS SELECT id FROM items",
     "Msg 4512, Level 16, State 1, Line 1\nCannot schema bind view 'v3' because name 'items' is "
     "invalid for schema "
     "binding. Names must be in two-part format and an object cannot reference itself."},
    {"privilege not for the object",
     {},
     "GRANT EXECUTE ON items TO public",
     "Msg 4606, Level 16, State 1, Line 1\nGranted or revoked privilege EXECUTE is not compatible "
     "with object."},
    {"grant to nobody",
     {},
     "GRANT SELECT ON items TO nobody",
     "Msg 4604, Level 16, State 1, Line 1\nThere is no such user or group 'nobody'."},
    {"drop a referenced table",
     {},
     "DROP TABLE items",
     "Msg 3726, Level 16, State 1, Line 1\nCould not drop object 'items' because it is referenced "
     "by a FOREIGN KEY "
     "constraint."},
    {"drop a schema-bound table",
     {},
     "DROP TABLE notes",
     "Msg 3729, Level 16, State 1, Line 1\nCannot DROP TABLE 'notes' because it is being "
     "referenced by object "
     "'v_bound'."},
    {"drop a missing table",
     {},
     "DROP TABLE nowhere",
     "Msg 3701, Level 11, State 1, Line 1\nCannot drop the table 'nowhere', because it does not "
     "exist in the system "
     "catalog."},
    {"drop a missing database",
     {},
     "DROP DATABASE nowhere",
     "Msg 3701, Level 11, State 1, Line 1\nCannot drop the database 'nowhere', because it does not "
     "exist in the "
     "system catalog."},
    {"drop a system database",
     {},
     "DROP DATABASE master",
     "Msg 3708, Level 16, State 1, Line 1\nCannot drop the database 'master' because it is a "
     "system database."},
    {"drop the database in use",
     {},
     "DROP DATABASE shop",
     "Msg 3702, Level 16, State 1, Line 1\nCannot drop the database 'shop' because it is currently "
     "in use."},
    {"drop a published database",
     {kPublishing},
     "USE master\nDROP DATABASE shop",
     "Msg 3724, Level 16, State 1, Line 2\nCannot drop the database 'shop' because it is being "
     "used for replication."},
    // Procedures and parameters.
    {"procedure not found",
     {},
     "EXEC nothing_here",
     "Msg 2812, Level 16, State 1, Line 1\nCould not find stored procedure 'nothing_here'."},
    {"parameter missing",
     {},
     "EXEC sp_addtype 'x'",
     "Msg 201, Level 16, State 1, Line 1\nProcedure 'sp_addtype' expects parameter '@phystype', "
     "which was not "
     "supplied."},
    {"unknown parameter",
     {},
     "EXEC sp_addtype @typename='x', @kind='int'",
     "Msg 8145, Level 16, State 1, Line 1\n@kind is not a parameter for procedure sp_addtype."},
    {"too many arguments",
     {},
     "EXEC sp_fulltext_database 'enable', 'extra'",
     "Msg 8144, Level 16, State 1, Line 1\nProcedure or function sp_fulltext_database has too many "
     "arguments "
     "specified."},
    {"positional after named",
     {},
     "EXEC sp_addtype @typename='x', 'int'",
     "Msg 119, Level 15, State 1, Line 1\nMust pass parameter number 2 and subsequent parameters "
     "as '@name = "
     "value'. After the form '@name = value' has been used, all subsequent parameters must be "
     "passed in the form "
     "'@name = value'."},
    {"arguments for a procedure without parameters",
     {},
     "EXEC p0 1",
     "Msg 8146, Level 16, State 1, Line 1\nProcedure p0 has no parameters and arguments were "
     "supplied."},
    {"user type twice",
     {"EXEC sp_addtype int2, 'int'"},
     "EXEC sp_addtype int2, 'int'",
     "Msg 15029, Level 16, State 1, Line 1\nThe type 'int2' already exists, or you do not have "
     "permission to create "
     "it."},
    {"bad physical type",
     {},
     "EXEC sp_addtype t1, 'nonsense(('",
     "Msg 15600, Level 15, State 1, Line 1\nAn invalid parameter or option was specified for "
     "procedure "
     "'sp_addtype'."},
    // Extended properties.
    {"extended property on a missing object",
     {},
     "EXEC sp_addextendedproperty 'MS_Description', 'x', 'user', 'dbo', 'table', 'nowhere'",
     "Msg 15135, Level 16, State 1, Line 1\nObject is invalid. Extended properties are not "
     "permitted on "
     "'dbo.nowhere', or the object does not exist."},
    {"extended property on a missing column",
     {},
     "EXEC sp_addextendedproperty 'MS_Description', 'x', 'user', 'dbo', 'table', 'items', "
     "'column', 'price'",
     "Msg 15135, Level 16, State 1, Line 1\nObject is invalid. Extended properties are not "
     "permitted on "
     "'dbo.items.price', or the object does not exist."},
    {"extended property already present",
     {"EXEC sp_addextendedproperty 'MS_Description', 'x', 'user', 'dbo', 'table', 'items', "
      "'column', 'id'"},
     "EXEC sp_addextendedproperty 'MS_Description', 'y', 'user', 'dbo', 'table', 'items', "
     "'column', 'id'",
     "Msg 15233, Level 16, State 1, Line 1\nProperty cannot be added. Property 'MS_Description' "
     "already exists for "
     "'dbo.items.id'."},
    {"dropping a missing extended property",
     {},
     "EXEC sp_dropextendedproperty 'MS_Description', 'user', 'dbo', 'table', 'items'",
     "Msg 15217, Level 16, State 1, Line 1\nProperty cannot be updated or deleted. Property "
     "'MS_Description' does not "
     "exist for 'dbo.items'."},
    // Full-text search.
    {"full-text not installed",
     {},
     "EXEC sp_fulltext_database 'enable'",
     "Msg 7609, Level 17, State 1, Line 1\nFull-Text Search is not installed, or a full-text "
     "component cannot be "
     "loaded.",
     false},
    {"full-text not enabled",
     {},
     "EXEC sp_fulltext_catalog 'cat1', 'create'",
     "Msg 15601, Level 16, State 1, Line 1\nFull-Text Search is not enabled for the current "
     "database. Use "
     "sp_fulltext_database to enable Full-Text Search."},
    {"catalog missing",
     {"EXEC sp_fulltext_database 'enable'"},
     "EXEC sp_fulltext_table 'items', 'create', 'nocat', 'pk_items'",
     "Msg 7641, Level 16, State 1, Line 1\nFull-Text catalog 'nocat' does not exist."},
    {"catalog twice",
     {kFullText},
     "EXEC sp_fulltext_catalog 'cat1', 'create'",
     "Msg 7642, Level 16, State 1, Line 1\nA full-text catalog named 'cat1' already exists in this "
     "database."},
    {"unique key index unusable",
     {kFullText},
     "EXEC sp_fulltext_table 'orders', 'create', 'cat1', 'ix_orders'",
     "Msg 15607, Level 16, State 1, Line 1\n'ix_orders' is not a valid index to enforce a "
     "full-text search key. You "
     "must specify a unique, non-nullable, single-column index."},
    {"table indexed twice",
     {kFullText, "EXEC sp_fulltext_table 'items', 'create', 'cat1', 'pk_items'"},
     "EXEC sp_fulltext_table 'items', 'create', 'cat1', 'pk_items'",
     "Msg 15605, Level 16, State 1, Line 1\nA full-text index for table 'items' has already been "
     "created."},
    {"column of a table without full-text index",
     {kFullText},
     "EXEC sp_fulltext_column 'orders', 'id', 'add'",
     "Msg 15606, Level 16, State 1, Line 1\nYou must first create a full-text index on table "
     "'orders'."},
    {"full-text table missing",
     {kFullText},
     "EXEC sp_fulltext_table 'nowhere', 'create', 'cat1', 'pk_items'",
     "Msg 15009, Level 16, State 1, Line 1\nThe object 'nowhere' does not exist in database "
     "'shop'."},
    {"catalog in use",
     {kFullText, "EXEC sp_fulltext_table 'items', 'create', 'cat1', 'pk_items'"},
     "EXEC sp_fulltext_catalog 'cat1', 'drop'",
     "Msg 15604, Level 16, State 1, Line 1\nCannot drop full-text catalog 'cat1' because it "
     "contains a full-text "
     "index."},
    // Replication.
    {"no distributor to drop",
     {},
     "exec sp_dropdistributor @no_checks=1",
     "Msg 21043, Level 16, State 1, Line 1\nThe Distributor is not installed."},
    {"distributor already present",
     {kPublishing},
     "exec sp_adddistributor @distributor='TAVORA', @password=P",
     "Msg 14099, Level 16, State 1, Line 1\nThe server 'TAVORA' is already defined as a "
     "Distributor."},
    {"distributor with databases, checked",
     {kPublishing},
     "exec sp_dropdistributor",
     "Msg 14121, Level 16, State 1, Line 1\nCould not drop the Distributor 'TAVORA'. This "
     "Distributor has "
     "associated distribution databases."},
    {"unknown distribution database",
     {"EXEC sp_adddistributor @distributor='TAVORA'"},
     "EXEC sp_adddistpublisher @publisher='TAVORA', @distribution_db='nodist'",
     "Msg 14117, Level 16, State 1, Line 1\n'nodist' is not configured as a distribution "
     "database."},
    {"publisher twice",
     {kPublishing},
     "EXEC sp_adddistpublisher @publisher='TAVORA', @distribution_db='distribution'",
     "Msg 14074, Level 16, State 1, Line 1\nThe server 'TAVORA' is already listed as a Publisher."},
    {"publishing without a distributor",
     {},
     "EXEC sp_replicationdboption 'shop', 'publish', 'true'",
     "Msg 20028, Level 16, State 1, Line 1\nThe Distributor has not been installed correctly. "
     "Could not enable "
     "database for publishing."},
    {"publishing a missing database",
     {},
     "EXEC sp_replicationdboption 'nowhere', 'publish', 'true'",
     "Msg 15010, Level 16, State 1, Line 1\nThe database 'nowhere' does not exist. Use sp_helpdb "
     "to show available "
     "databases."},
    {"database not enabled for publishing",
     {},
     "EXEC sp_addpublication 'p1'",
     "Msg 14013, Level 16, State 1, Line 1\nThis database is not enabled for publication."},
    {"database not enabled for merge publishing",
     {},
     "EXEC sp_addmergepublication 'm1'",
     "Msg 14013, Level 16, State 1, Line 1\nThis database is not enabled for publication."},
    {"publication already present",
     {kPublishing, "EXEC sp_addpublication 'p1'"},
     "EXEC sp_addpublication 'p1'",
     "Msg 14016, Level 16, State 1, Line 1\nThe publication 'p1' already exists."},
    {"publication name used by a merge publication",
     {kPublishing, "EXEC sp_addmergepublication 'm1'"},
     "EXEC sp_addpublication 'm1'",
     "Msg 20025, Level 16, State 1, Line 1\nThe publication name must be unique. The specified "
     "publication name 'm1' "
     "has already been used."},
    {"publication missing",
     {},
     "EXEC sp_droppublication 'nopub'",
     "Msg 20026, Level 16, State 1, Line 1\nThe publication 'nopub' does not exist."},
    {"article twice",
     {kPublishing, "EXEC sp_addpublication 'p1'", "EXEC sp_addarticle 'p1', 'a1', 'items'"},
     "EXEC sp_addarticle 'p1', 'a1', 'items'",
     "Msg 14030, Level 16, State 1, Line 1\nThe article 'a1' exists in publication 'p1'."},
    {"transactional article without a primary key",
     {kPublishing, "EXEC sp_addpublication 'p1'"},
     "EXEC sp_addarticle 'p1', 'a1', 'notes'",
     "Msg 14088, Level 16, State 1, Line 1\nThe table 'notes' must have a primary key to be "
     "published using the "
     "transaction-based method."},
};

TEST(ServerErrors, EachErrorComesWithSqlServersNumberLevelAndText) {
  for (const ErrorCase& c : kCases) {
    SCOPED_TRACE(c.name);
    ServerOptions options;
    options.full_text_installed = c.full_text_installed;
    Engine engine(options);
    Client client(engine);
    ASSERT_EQ(Describe(client.Execute(kShop)), "ok");
    for (const char* before : c.before) ASSERT_EQ(Describe(client.Execute(before)), "ok") << before;
    EXPECT_EQ(Describe(client.Execute(c.statement)), c.expected);
  }
}

TEST(ServerErrors, LoginFailsWithTheWrongPassword) {
  ServerOptions options;
  options.sa_password = "secret";
  Engine engine(options);
  auto wrong = engine.Login("sa", "guess", false, "TAVORA");
  ASSERT_TRUE(std::holds_alternative<SqlError>(wrong));
  EXPECT_EQ(Describe(std::get<SqlError>(wrong)),
            "Msg 18456, Level 14, State 1, Line 1\nLogin failed for user 'sa'.");
  auto unknown = engine.Login("someone", "secret", false, "TAVORA");
  ASSERT_TRUE(std::holds_alternative<SqlError>(unknown));
  EXPECT_EQ(std::get<SqlError>(unknown).message, "Login failed for user 'someone'.");
  EXPECT_TRUE(std::holds_alternative<int>(engine.Login("SA", "secret", false, "TAVORA")));
  EXPECT_TRUE(std::holds_alternative<int>(engine.Login("", "", true, "TAVORA")));
}

TEST(ServerErrors, DatabaseInUseByAnotherSession) {
  Engine engine(ServerOptions{});
  Client owner(engine);
  ASSERT_EQ(Describe(owner.Execute("CREATE DATABASE shop")), "ok");
  Client user(engine);
  ASSERT_EQ(Describe(user.Execute("USE shop")), "ok");
  EXPECT_EQ(Describe(owner.Execute("DROP DATABASE shop")),
            "Msg 3702, Level 16, State 1, Line 1\nCannot drop the database 'shop' because it is "
            "currently in use.");
  ASSERT_EQ(Describe(user.Execute("USE master")), "ok");
  EXPECT_EQ(Describe(owner.Execute("DROP DATABASE shop")), "ok");
}

TEST(ServerErrors, TableThatWouldOutgrowTheServerIsRefused) {
  Engine engine(ServerOptions{});
  Client client(engine);
  ASSERT_EQ(
      Describe(client.Execute("CREATE DATABASE d\nGO\nUSE d\nGO\nCREATE TABLE many (a INT)\nGO\n"
                              "INSERT INTO many VALUES (1)")),
      "ok");
  // Doubling 13 times gives 8192 rows; the next doubling would pass 10000.
  for (int i = 0; i < 13; ++i)
    ASSERT_EQ(Describe(client.Execute("INSERT INTO many SELECT a FROM many")), "ok");
  EXPECT_EQ(Describe(client.Execute("INSERT INTO many SELECT a FROM many")),
            "Msg 1105, Level 17, State 1, Line 1\nCould not allocate space for object 'many' in "
            "database 'd' because "
            "the 'PRIMARY' filegroup is full.");
  EXPECT_EQ(ResultText(client.Query("SELECT COUNT(*) AS n FROM many")), "n\n8192");
}

TEST(ServerErrors, ServerMessagesAreRaisedByName) {
  // The table's numbers and levels for a few messages callers branch on.
  EXPECT_EQ(MessageNumber(Msg::kInvalidObjectName), 208);
  EXPECT_EQ(MessageNumber(Msg::kCannotDrop), 3701);
  EXPECT_EQ(MessageSeverity(Msg::kCannotDrop), 11);
  EXPECT_EQ(MessageSeverity(Msg::kChangedDatabase), 10);
  SqlError error =
      Raise(Msg::kConstraintConflict, {"INSERT", "TABLE", "CHECK", "ck", "db", "t", "", "", ""});
  EXPECT_EQ(error.message,
            "INSERT statement conflicted with TABLE CHECK constraint 'ck'. The conflict occurred "
            "in database 'db', "
            "table 't'.");
}

}  // namespace
}  // namespace server::testing
