// The help procedures' result sets: every set's columns (names, types and
// order) as SQL Server 2000 documents them, sp_help's sets in order for one
// table, and sp_helptext's lines.

#include <gtest/gtest.h>

#include "server/engine.h"
#include "tests/server/server_test_util.h"

namespace server::testing {
namespace {

constexpr const char* kShop =
    "CREATE DATABASE shop\n"
    "GO\n"
    "USE shop\n"
    "EXEC sp_addtype 'code', 'char(4)', 'NOT NULL'\n"
    "CREATE TABLE parts (id INT IDENTITY(10, 5) CONSTRAINT pk_parts PRIMARY KEY, tag code,"
    " price MONEY NULL, ratio FLOAT, name VARCHAR(20) NOT NULL CONSTRAINT uq_parts UNIQUE,"
    " total AS id * 2)\n"
    "CREATE TABLE orders (id INT NOT NULL, part INT CONSTRAINT fk_orders_parts REFERENCES"
    " parts(id), qty SMALLINT CONSTRAINT df_qty DEFAULT 1 CONSTRAINT ck_qty CHECK (qty > 0))\n"
    "CREATE INDEX ix_orders ON orders(part, qty)\n"
    "EXEC ('CREATE VIEW part_names WITH SCHEMABINDING AS SELECT id, name FROM dbo.parts')\n"
    "EXEC ('CREATE PROCEDURE order_count @part INT, @name VARCHAR(20) = NULL OUTPUT AS"
    " SELECT COUNT(*) FROM orders WHERE part = @part')\n";

// Each result set's columns as "name type, name type" on a line of its own.
std::string Columns(const BatchOutcome& outcome) {
  std::string text;
  for (const ResultSet& result : outcome.results) {
    std::string line;
    for (size_t i = 0; i < result.columns.size(); ++i)
      line += (i ? ", " : "") + result.columns[i] + " " + result.types[i];
    text += line + "\n";
  }
  return text;
}

class HelpProcedures : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(Describe(client_.Execute(kShop)), "ok"); }

  BatchOutcome Run(const std::string& call) {
    BatchOutcome outcome = client_.Run(call);
    EXPECT_EQ(Describe(outcome.error), "ok") << call;
    return outcome;
  }

  Engine engine_{ServerOptions{}};
  Client client_{engine_};
};

TEST_F(HelpProcedures, ResultSetsHaveTheDocumentedColumns) {
  const std::string kObject =
      "Name nvarchar(128), Owner nvarchar(128), Type nvarchar(31), Created_datetime datetime\n";
  const std::string kType =
      "Storage_type nvarchar(128), Length smallint, Prec int, Scale int, Nullable varchar(35), "
      "Default_name nvarchar(128), Rule_name nvarchar(128), Collation nvarchar(128)\n";
  const std::string kIndexes =
      "index_name nvarchar(128), index_description varchar(210), index_keys nvarchar(2078)\n";
  const std::string kConstraints =
      "constraint_type nvarchar(146), constraint_name nvarchar(128), delete_action nvarchar(9), "
      "update_action nvarchar(9), status_enabled varchar(8), status_for_replication varchar(19), "
      "constraint_keys nvarchar(2078)\n";
  const std::string kReferences = "Table is referenced by foreign key nvarchar(1533)\n";
  const std::string kDatabases =
      "name nvarchar(128), db_size nvarchar(13), owner nvarchar(128), dbid smallint, created "
      "nvarchar(11), status nvarchar(600), compatibility_level tinyint\n";
  const std::string kFiles =
      "name nchar(128), fileid smallint, filename nchar(260), filegroup nvarchar(128), size "
      "nvarchar(18), maxsize nvarchar(18), growth nvarchar(18), usage varchar(9)\n";
  struct Case {
    const char* call;
    std::string columns;
  };
  const Case cases[] = {
      {"EXEC sp_help",
       "Name nvarchar(128), Owner nvarchar(128), Object_type nvarchar(31)\nUser_type "
       "nvarchar(128), " +
           kType},
      {"EXEC sp_help 'parts'",
       kObject +
           "Column_name nvarchar(128), Type nvarchar(128), Computed varchar(35), Length int, Prec "
           "char(5), Scale char(5), Nullable varchar(35), TrimTrailingBlanks varchar(35), "
           "FixedLenNullInSource varchar(35), Collation nvarchar(128)\n"
           "Identity nvarchar(128), Seed numeric(38,0), Increment numeric(38,0), Not For "
           "Replication int\n"
           "RowGuidCol nvarchar(128)\nData_located_on_filegroup nvarchar(128)\n" +
           kIndexes + kConstraints + kReferences},
      {"EXEC sp_help 'order_count'",
       kObject +
           "Parameter_name nvarchar(128), Type nvarchar(128), Length smallint, Prec int, Scale "
           "int, Param_order smallint, Collation nvarchar(128)\n"},
      {"EXEC sp_help 'code'", "Type_name nvarchar(128), " + kType},
      {"EXEC sp_helpindex 'parts'", kIndexes},
      {"EXEC sp_helpconstraint 'parts'",
       "Object Name nvarchar(776)\n" + kConstraints + kReferences},
      {"EXEC sp_helptext 'order_count'", "Text nvarchar(255)\n"},
      {"EXEC sp_depends 'part_names'",
       "name nvarchar(257), type nvarchar(16), updated char(7), selected char(8), column "
       "nvarchar(128)\n"},
      {"EXEC sp_depends 'parts'", "name nvarchar(257), type nvarchar(16)\n"},
      {"EXEC sp_helpdb", kDatabases},
      {"EXEC sp_helpdb 'shop'", kDatabases + kFiles},
      {"EXEC sp_helpfile", kFiles},
      {"EXEC sp_helpuser",
       "UserName nvarchar(128), GroupName nvarchar(128), LoginName nvarchar(128), DefDBName "
       "nvarchar(128), UserID smallint, SID varbinary(85)\n"},
      {"EXEC sp_who",
       "spid smallint, ecid smallint, status nchar(30), loginame nchar(128), hostname nchar(128), "
       "blk char(5), dbname nvarchar(128), cmd nchar(16)\n"},
      {"EXEC sp_spaceused",
       "database_name nvarchar(128), database_size varchar(18), unallocated space varchar(18)\n"
       "reserved varchar(18), data varchar(18), index_size varchar(18), unused varchar(18)\n"},
      {"EXEC sp_spaceused 'parts'",
       "name nvarchar(128), rows char(11), reserved varchar(18), data varchar(18), index_size "
       "varchar(18), unused varchar(18)\n"},
      {"EXEC sp_lock",
       "spid smallint, dbid smallint, ObjId int, IndId smallint, Type nchar(4), Resource "
       "nchar(16), Mode nvarchar(8), Status nvarchar(5)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    EXPECT_EQ(Columns(Run(c.call)), c.columns);
  }
}

TEST_F(HelpProcedures, HelpOnATableSendsItsFactsInOrder) {
  BatchOutcome outcome = Run("EXEC sp_help 'parts'");
  std::string text;
  for (const ResultSet& result : outcome.results) text += ResultText(result) + "\n--\n";
  EXPECT_EQ(text,
            "Name|Owner|Type|Created_datetime\n"
            "parts|dbo|user table|2000-08-06 01:29:12.250\n--\n"
            "Column_name|Type|Computed|Length|Prec|Scale|Nullable|TrimTrailingBlanks|"
            "FixedLenNullInSource|Collation\n"
            "id|int|no|4|10   |0    |no|(n/a)|(n/a)|NULL\n"
            "tag|code|no|4|     |     |no|no|no|SQL_Latin1_General_CP1_CI_AS\n"
            "price|money|no|8|19   |4    |yes|(n/a)|(n/a)|NULL\n"
            "ratio|float|no|8|53   |NULL|yes|(n/a)|(n/a)|NULL\n"
            "name|varchar|no|20|     |     |no|no|no|SQL_Latin1_General_CP1_CI_AS\n"
            "total|int|yes|4|10   |0    |yes|(n/a)|(n/a)|NULL\n--\n"
            "Identity|Seed|Increment|Not For Replication\nid|10|5|0\n--\n"
            "RowGuidCol\nNo rowguidcol column defined.\n--\n"
            "Data_located_on_filegroup\nPRIMARY\n--\n"
            "index_name|index_description|index_keys\n"
            "pk_parts|clustered, unique, primary key located on PRIMARY|id\n"
            "uq_parts|nonclustered, unique, unique key located on PRIMARY|name\n--\n"
            "constraint_type|constraint_name|delete_action|update_action|status_enabled|"
            "status_for_replication|constraint_keys\n"
            "PRIMARY KEY (clustered)|pk_parts|(n/a)|(n/a)|(n/a)|(n/a)|id\n"
            "UNIQUE (non-clustered)|uq_parts|(n/a)|(n/a)|(n/a)|(n/a)|name\n--\n"
            "Table is referenced by foreign key\nshop.dbo.orders: fk_orders_parts\n--\n");
}

TEST_F(HelpProcedures, HelpTextCutsLinesAt255Characters) {
  // Line ends stay with their line; a longer line goes on in the next row,
  // counted in characters, not in the bytes of their UTF-8 form.
  std::string long_text;
  for (int i = 0; i < 300; ++i) long_text += "\xC3\xA9";
  ASSERT_EQ(Describe(client_.Execute("EXEC ('CREATE VIEW wide AS\r\nSELECT N''" + long_text +
                                     "'' AS a\r\n')")),
            "ok");
  ResultSet result = client_.Query("EXEC sp_helptext 'wide'");
  ASSERT_EQ(result.rows.size(), 3u);
  EXPECT_EQ(std::get<std::string>(result.rows[0][0]), "CREATE VIEW wide AS\r\n");
  const std::string second = std::get<std::string>(result.rows[1][0]);
  EXPECT_EQ(second, "SELECT N'" + long_text.substr(0, 2 * (255 - 9)));
  EXPECT_EQ(second + std::get<std::string>(result.rows[2][0]),
            "SELECT N'" + long_text + "' AS a\r\n");
}

}  // namespace
}  // namespace server::testing
