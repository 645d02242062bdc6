// The system catalog as clients read it: the shapes of the system tables
// and INFORMATION_SCHEMA views against SQL Server 2000's documented lists,
// and what the catalog says of the Standard dataset's columns against the
// dataset's own model of them.

#include <gtest/gtest.h>

#include <map>

#include "base/utf.h"
#include "datasets/standard/column_model.h"
#include "server/engine.h"
#include "tests/server/golden_replay.h"
#include "tests/server/server_test_util.h"

namespace server::testing {
namespace {

// "name type, name type, ..." of a result, as SQL Server names the types.
std::string Shape(const ResultSet& result) {
  std::string out;
  for (size_t i = 0; i < result.columns.size(); ++i) {
    out += (i ? ", " : "") + result.columns[i] + " " + result.types[i];
  }
  return out;
}

TEST(ServerCatalog, SystemTablesAndViewsHaveTheDocumentedColumns) {
  struct Documented {
    const char* object;
    const char* columns;
  };
  // As the documentation lists them; sysname is nvarchar(128).
  const Documented kDocumented[] = {
      {"sysobjects",
       "name nvarchar(128), id int, xtype char(2), uid smallint, info smallint, status int, "
       "base_schema_ver int, replinfo int, parent_obj int, crdate datetime, ftcatid smallint, "
       "schema_ver int, stats_schema_ver int, type char(2), userstat smallint, sysstat smallint, "
       "indexdel smallint, refdate datetime, version int, deltrig int, instrig int, updtrig int, "
       "seltrig int, category int, cache smallint"},
      {"syscolumns",
       "name nvarchar(128), id int, xtype tinyint, typestat tinyint, xusertype smallint, length "
       "smallint, xprec tinyint, xscale tinyint, colid smallint, xoffset smallint, bitpos "
       "tinyint, reserved tinyint, colstat smallint, cdefault int, domain int, number smallint, "
       "colorder smallint, autoval varbinary(255), offset smallint, collationid int, language "
       "int, status tinyint, type tinyint, usertype smallint, printfmt varchar(255), prec "
       "smallint, scale int, iscomputed int, isoutparam int, isnullable int, collation "
       "nvarchar(128), tdscollation binary(5)"},
      {"systypes",
       "name nvarchar(128), xtype tinyint, status tinyint, xusertype smallint, length smallint, "
       "xprec tinyint, xscale tinyint, tdefault int, domain int, uid smallint, reserved "
       "smallint, collationid int, usertype smallint, variable bit, allownulls bit, type "
       "tinyint, printfmt varchar(255), prec smallint, scale tinyint, collation nvarchar(128)"},
      {"sysindexkeys", "id int, indid smallint, colid smallint, keyno smallint"},
      {"sysforeignkeys",
       "constid int, fkeyid int, rkeyid int, fkey smallint, rkey smallint, keyno smallint"},
      {"sysconstraints",
       "constid int, id int, colid smallint, spare1 tinyint, status int, actions int, error int"},
      {"sysprotects",
       "id int, uid smallint, action tinyint, protecttype tinyint, columns varbinary(4000), "
       "grantor smallint"},
      {"sysfilegroups",
       "groupid smallint, allocpolicy smallint, status int, groupname nvarchar(128)"},
      {"sysdatabases",
       "name nvarchar(128), dbid smallint, sid varbinary(85), mode smallint, status int, status2 "
       "int, crdate datetime, reserved datetime, category int, cmptlevel tinyint, filename "
       "nvarchar(260), version smallint"},
      {"INFORMATION_SCHEMA.TABLES",
       "TABLE_CATALOG nvarchar(128), TABLE_SCHEMA nvarchar(128), TABLE_NAME nvarchar(128), "
       "TABLE_TYPE varchar(10)"},
      {"INFORMATION_SCHEMA.COLUMNS",
       "TABLE_CATALOG nvarchar(128), TABLE_SCHEMA nvarchar(128), TABLE_NAME nvarchar(128), "
       "COLUMN_NAME nvarchar(128), ORDINAL_POSITION smallint, COLUMN_DEFAULT nvarchar(4000), "
       "IS_NULLABLE varchar(3), DATA_TYPE nvarchar(128), CHARACTER_MAXIMUM_LENGTH int, "
       "CHARACTER_OCTET_LENGTH int, NUMERIC_PRECISION tinyint, NUMERIC_PRECISION_RADIX "
       "smallint, NUMERIC_SCALE int, DATETIME_PRECISION smallint, CHARACTER_SET_CATALOG "
       "varchar(6), CHARACTER_SET_SCHEMA varchar(3), CHARACTER_SET_NAME nvarchar(128), "
       "COLLATION_CATALOG varchar(6), COLLATION_SCHEMA varchar(3), COLLATION_NAME "
       "nvarchar(128), DOMAIN_CATALOG nvarchar(128), DOMAIN_SCHEMA nvarchar(128), DOMAIN_NAME "
       "nvarchar(128)"},
      {"INFORMATION_SCHEMA.TABLE_CONSTRAINTS",
       "CONSTRAINT_CATALOG nvarchar(128), CONSTRAINT_SCHEMA nvarchar(128), CONSTRAINT_NAME "
       "nvarchar(128), TABLE_CATALOG nvarchar(128), TABLE_SCHEMA nvarchar(128), TABLE_NAME "
       "nvarchar(128), CONSTRAINT_TYPE varchar(11), IS_DEFERRABLE varchar(2), "
       "INITIALLY_DEFERRED varchar(2)"},
      {"INFORMATION_SCHEMA.REFERENTIAL_CONSTRAINTS",
       "CONSTRAINT_CATALOG nvarchar(128), CONSTRAINT_SCHEMA nvarchar(128), CONSTRAINT_NAME "
       "nvarchar(128), UNIQUE_CONSTRAINT_CATALOG nvarchar(128), UNIQUE_CONSTRAINT_SCHEMA "
       "nvarchar(128), UNIQUE_CONSTRAINT_NAME nvarchar(128), MATCH_OPTION varchar(7), "
       "UPDATE_RULE varchar(9), DELETE_RULE varchar(9)"},
      {"INFORMATION_SCHEMA.DOMAINS",
       "DOMAIN_CATALOG nvarchar(128), DOMAIN_SCHEMA nvarchar(128), DOMAIN_NAME nvarchar(128), "
       "DATA_TYPE nvarchar(128), CHARACTER_MAXIMUM_LENGTH int, CHARACTER_OCTET_LENGTH int, "
       "COLLATION_CATALOG varchar(6), COLLATION_SCHEMA varchar(3), COLLATION_NAME "
       "nvarchar(128), CHARACTER_SET_CATALOG varchar(6), CHARACTER_SET_SCHEMA varchar(3), "
       "CHARACTER_SET_NAME nvarchar(128), NUMERIC_PRECISION tinyint, NUMERIC_PRECISION_RADIX "
       "smallint, NUMERIC_SCALE int, DATETIME_PRECISION smallint, DOMAIN_DEFAULT "
       "nvarchar(4000)"},
      {"::fn_listextendedproperty(NULL, NULL, NULL, NULL, NULL, NULL, NULL)",
       "objtype nvarchar(128), objname nvarchar(128), name nvarchar(128), value sql_variant"},
  };
  Engine engine(ServerOptions{});
  Client client(engine);
  for (const Documented& documented : kDocumented) {
    SCOPED_TRACE(documented.object);
    EXPECT_EQ(Shape(client.Query(std::string("SELECT * FROM ") + documented.object)),
              documented.columns);
  }
  // Every one of the twenty INFORMATION_SCHEMA views opens in any database.
  const char* kViews[] = {"SCHEMATA",
                          "TABLES",
                          "COLUMNS",
                          "VIEWS",
                          "VIEW_TABLE_USAGE",
                          "VIEW_COLUMN_USAGE",
                          "TABLE_CONSTRAINTS",
                          "KEY_COLUMN_USAGE",
                          "REFERENTIAL_CONSTRAINTS",
                          "CHECK_CONSTRAINTS",
                          "CONSTRAINT_TABLE_USAGE",
                          "CONSTRAINT_COLUMN_USAGE",
                          "COLUMN_DOMAIN_USAGE",
                          "DOMAINS",
                          "DOMAIN_CONSTRAINTS",
                          "ROUTINES",
                          "PARAMETERS",
                          "ROUTINE_COLUMNS",
                          "TABLE_PRIVILEGES",
                          "COLUMN_PRIVILEGES"};
  ASSERT_EQ(Describe(client.Execute("USE tempdb")), "ok");
  for (const char* view : kViews) {
    SCOPED_TRACE(view);
    EXPECT_EQ(Describe(client.Execute(std::string("SELECT * FROM INFORMATION_SCHEMA.") + view)),
              "ok");
  }
}

std::string Utf8(std::u16string_view text) { return base::Utf16ToUtf8(text).value_or("?"); }

// The model's original value of a column property, if the model has it.
const harness::Variant* Original(const tavora::standard::ColumnObject& column, const char* name) {
  for (const auto& property : column.properties) {
    if (Utf8(property.name) == name) return &property.original;
  }
  return nullptr;
}

// Every column of tblGeneric as the catalog describes it, compared with the
// dataset's model of the same column: type, length, precision, scale,
// nullability, default, identity, rowguidcol and collation, through
// INFORMATION_SCHEMA.COLUMNS, syscolumns and systypes at once.
TEST(ServerCatalog, StandardDatasetColumnsMatchItsModel) {
  Engine engine(ServerOptions{});
  ASSERT_EQ(Describe(ReplayCreate(engine, "Standard").error), "ok");
  Client client(engine);
  ASSERT_EQ(Describe(client.Execute("USE tavora_StandardDataset")), "ok");
  ResultSet result = client.Query(
      "SELECT c.COLUMN_NAME, t.name, c.IS_NULLABLE, s.isnullable, c.CHARACTER_MAXIMUM_LENGTH, "
      "s.prec, c.NUMERIC_PRECISION, c.NUMERIC_SCALE, s.scale, c.COLLATION_NAME, s.collation, "
      "c.COLUMN_DEFAULT, COLUMNPROPERTY(s.id, s.name, 'IsIdentity'), "
      "COLUMNPROPERTY(s.id, s.name, 'IsRowGuidCol') "
      "FROM INFORMATION_SCHEMA.COLUMNS c "
      "JOIN syscolumns s ON s.id = OBJECT_ID('tblGeneric') AND s.name = c.COLUMN_NAME "
      "JOIN systypes t ON t.xusertype = s.xusertype "
      "WHERE c.TABLE_NAME = 'tblGeneric' ORDER BY c.ORDINAL_POSITION");
  std::vector<tavora::standard::ColumnObject> model = tavora::standard::GenericTableColumns();
  ASSERT_EQ(result.rows.size(), model.size());
  for (size_t i = 0; i < model.size(); ++i) {
    const auto& column = model[i];
    const std::vector<Value>& row = result.rows[i];
    auto cell = [&row](size_t at) { return CellText(row[at]); };
    SCOPED_TRACE(Utf8(column.name));
    EXPECT_EQ(cell(0), Utf8(column.name));
    EXPECT_EQ(cell(1), Utf8(column.type_name));
    // What the model leaves out of a column (a computed column's
    // nullability, say) is not compared.
    if (const harness::Variant* allow_nulls = Original(column, "AllowNulls")) {
      EXPECT_EQ(cell(2), allow_nulls->AsBoolean() ? "YES" : "NO");
      EXPECT_EQ(cell(3), allow_nulls->AsBoolean() ? "1" : "0");
    }
    if (const harness::Variant* length = Original(column, "Length")) {
      EXPECT_EQ(cell(4), std::to_string(length->AsLong()));
      EXPECT_EQ(cell(5), std::to_string(length->AsLong()));
    }
    if (const harness::Variant* precision = Original(column, "NumericPrecision")) {
      EXPECT_EQ(cell(6), std::to_string(precision->AsLong()));
      EXPECT_EQ(cell(5), std::to_string(precision->AsLong()));
    }
    if (const harness::Variant* scale = Original(column, "NumericScale")) {
      EXPECT_EQ(cell(7), std::to_string(scale->AsLong()));
      EXPECT_EQ(cell(8), std::to_string(scale->AsLong()));
    }
    if (const harness::Variant* collation = Original(column, "Collation")) {
      EXPECT_EQ(cell(9), Utf8(collation->AsString()));
      EXPECT_EQ(cell(10), Utf8(collation->AsString()));
    }
    if (const harness::Variant* default_value = Original(column, "DefaultValue")) {
      std::string text = Utf8(default_value->AsString());
      EXPECT_EQ(cell(11), text.empty() ? "NULL" : text);
    }
    const harness::Variant* identity = Original(column, "Identity");
    EXPECT_EQ(cell(12), identity && identity->AsBoolean() ? "1" : "0");
    const harness::Variant* rowguid = Original(column, "IsRowGuid");
    EXPECT_EQ(cell(13), rowguid && rowguid->AsBoolean() ? "1" : "0");
  }
}

// sp_help's column list of tblGeneric against the same model: name, type,
// computed, length (in bytes, so twice the characters of a Unicode column),
// precision, scale, nullability and collation.
TEST(ServerCatalog, StandardDatasetColumnsThroughSpHelp) {
  Engine engine(ServerOptions{});
  ASSERT_EQ(Describe(ReplayCreate(engine, "Standard").error), "ok");
  Client client(engine);
  ASSERT_EQ(Describe(client.Execute("USE tavora_StandardDataset")), "ok");
  BatchOutcome outcome = client.Run("EXEC sp_help 'tblGeneric'");
  ASSERT_EQ(Describe(outcome.error), "ok");
  ASSERT_GE(outcome.results.size(), 2u);
  const ResultSet& columns = outcome.results[1];
  ASSERT_EQ(columns.columns,
            (std::vector<std::string>{"Column_name", "Type", "Computed", "Length", "Prec", "Scale",
                                      "Nullable", "TrimTrailingBlanks", "FixedLenNullInSource",
                                      "Collation"}));
  std::vector<tavora::standard::ColumnObject> model = tavora::standard::GenericTableColumns();
  ASSERT_EQ(columns.rows.size(), model.size());
  for (size_t i = 0; i < model.size(); ++i) {
    const auto& column = model[i];
    const std::vector<Value>& row = columns.rows[i];
    auto cell = [&row](size_t at) { return CellText(row[at]); };
    SCOPED_TRACE(Utf8(column.name));
    EXPECT_EQ(cell(0), Utf8(column.name));
    EXPECT_EQ(cell(1), Utf8(column.type_name));
    EXPECT_EQ(cell(2),
              Original(column, "Formula") && !Original(column, "Formula")->AsString().empty()
                  ? "yes"
                  : "no");
    if (const harness::Variant* length = Original(column, "Length")) {
      const bool unicode = cell(1) == "nchar" || cell(1) == "nvarchar";
      EXPECT_EQ(cell(3), std::to_string(length->AsLong() * (unicode ? 2 : 1)));
    }
    // Prec and Scale are char(5), as SQL Server 2000 declares them.
    auto padded = [](int32_t n) {
      std::string text = std::to_string(n);
      return text + std::string(5 - text.size(), ' ');
    };
    if (const harness::Variant* precision = Original(column, "NumericPrecision")) {
      EXPECT_EQ(cell(4), padded(precision->AsLong()));
    }
    if (const harness::Variant* scale = Original(column, "NumericScale")) {
      EXPECT_EQ(cell(5), padded(scale->AsLong()));
    }
    if (const harness::Variant* allow_nulls = Original(column, "AllowNulls")) {
      EXPECT_EQ(cell(6), allow_nulls->AsBoolean() ? "yes" : "no");
    }
    if (const harness::Variant* collation = Original(column, "Collation")) {
      EXPECT_EQ(cell(9), Utf8(collation->AsString()));
    }
  }
}

}  // namespace
}  // namespace server::testing
