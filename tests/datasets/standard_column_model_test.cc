#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "datasets/standard/builders.h"
#include "tests/datasets/standard_builder_fixture.h"

namespace tavora::testing {
namespace {

// The column objects as the generic table builder records them.
class GenericColumns : public StandardBuilderTest {
 protected:
  void SetUp() override {
    StandardBuilderTest::SetUp();
    standard::CreateGenericTable(*project_, *session_, kDatabase, u"");
    columns_ = Children(Find(Objects("Tables"), "dbo.tblGeneric"), "Columns");
  }

  Json Column(const std::string& key) const { return Find(columns_, key); }

  Json columns_;
};

Json Int(int n) { return {{"Integer", n}}; }

const std::string kCi = "SQL_Latin1_General_CP1_CI_AS";

TEST_F(GenericColumns, FiftyEightColumnsInTableOrderWithTypeNames) {
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"fldBigInt", "bigint"},
      {"fldBigInt_ComboBox", "bigint"},
      {"fldBigInt_ListBox", "bigint"},
      {"fldBinary", "binary"},
      {"fldBit", "bit"},
      {"fldBit_CheckBox", "bit"},
      {"fldBit_ComboBox", "bit"},
      {"fldChar", "char"},
      {"fldChar_ComboBox", "char"},
      {"fldChar_ListBox", "char"},
      {"fldDateTime", "datetime"},
      {"fldDecimal", "decimal"},
      {"fldDecimal_ComboBox", "decimal"},
      {"fldDecimal_ListBox", "decimal"},
      {"fldFloat", "float"},
      {"fldFloat_ComboBox", "float"},
      {"fldFloat_ListBox", "float"},
      {"fldImage", "image"},
      {"fldInt", "int"},
      {"fldInt_ComboBox", "int"},
      {"fldInt_ListBox", "int"},
      {"fldMoney", "money"},
      {"fldNChar", "nchar"},
      {"fldNChar_ComboBox", "nchar"},
      {"fldNChar_ListBox", "nchar"},
      {"fldNText", "ntext"},
      {"fldNText_ComboBox", "ntext"},
      {"fldNText_ListBox", "ntext"},
      {"fldNumeric", "numeric"},
      {"fldNumeric_ComboBox", "numeric"},
      {"fldNumeric_ListBox", "numeric"},
      {"fldNVarChar", "nvarchar"},
      {"fldNVarChar_ComboBox", "nvarchar"},
      {"fldNVarChar_ListBox", "nvarchar"},
      {"fldReal", "real"},
      {"fldReal_ComboBox", "real"},
      {"fldReal_ListBox", "real"},
      {"fldSmallDateTime", "smalldatetime"},
      {"fldSmallInt", "smallint"},
      {"fldSmallInt_ComboBox", "smallint"},
      {"fldSmallInt_ListBox", "smallint"},
      {"fldSmallMoney", "smallmoney"},
      {"fldSQLVariant", "sql_variant"},
      {"fldText", "text"},
      {"fldText_ComboBox", "text"},
      {"fldText_ListBox", "text"},
      {"fldTimestamp", "timestamp"},
      {"fldTinyInt", "tinyint"},
      {"fldTinyInt_ComboBox", "tinyint"},
      {"fldTinyInt_ListBox", "tinyint"},
      {"fldUniqueIdentifier", "uniqueidentifier"},
      {"fldVarbinary", "varbinary"},
      {"fldVarchar", "varchar"},
      {"fldVarchar_ComboBox", "varchar"},
      {"fldVarchar_ListBox", "varchar"},
      {"fldUserDefined", "udtGeneric"},
      {"fldComputed", "int"},
      {"fldDummy", "int"},
  };
  std::vector<std::pair<std::string, std::string>> actual;
  for (const Json& column : columns_) {
    EXPECT_EQ(column["class"], "MSSQL80.Column");
    actual.emplace_back(column["key"], column["type"]);
  }
  EXPECT_EQ(actual, expected);
}

TEST_F(GenericColumns, PropertyNamesOfUnusualColumns) {
  using Names = std::vector<std::string>;
  const Names kList = {"RowSourceType", "RowSource",   "BoundColumn",
                       "ColumnCount",   "ColumnHeads", "ColumnWidths"};
  const Names kCombo = {"RowSourceType", "RowSource", "BoundColumn", "ColumnCount", "ColumnHeads",
                        "ColumnWidths",  "ListRows",  "ListWidth",   "LimitToList"};
  auto with = [](Names names, const Names& more) {
    names.insert(names.end(), more.begin(), more.end());
    return names;
  };
  const Names kPlainD = {"Name",           "AllowNulls",   "Caption",
                         "DataType",       "DefaultValue", "Description",
                         "DisplayControl", "Formula",      "SupportsFullTextQueries"};
  const Names kText = {"Name",
                       "AllowNulls",
                       "Caption",
                       "Collation",
                       "DataType",
                       "DefaultValue",
                       "Description",
                       "DisplayControl",
                       "Formula",
                       "Furigana",
                       "SupportsFullTextQueries",
                       "Hyperlink",
                       "IMEMode",
                       "IMESentenceMode",
                       "InputMask",
                       "PostalAddress"};
  const struct {
    std::string column;
    Names names;
  } cases[] = {
      {"fldUniqueIdentifier",
       {"Name", "Caption", "DataType", "DefaultValue", "Description", "Formula",
        "SupportsFullTextQueries", "IsRowGuid"}},
      {"fldComputed", {"Name", "DataType", "Description", "Formula", "SupportsFullTextQueries"}},
      {"fldDummy", kPlainD},
      {"fldBit_CheckBox", kPlainD},
      {"fldBigInt_ListBox", with(kPlainD, kList)},
      {"fldInt_ComboBox", with(kPlainD, kCombo)},
      {"fldNChar",
       {"Name", "AllowNulls", "Caption", "Collation", "DataType", "DefaultValue", "Description",
        "DisplayControl", "Formula", "Furigana", "SupportsFullTextQueries", "Hyperlink", "IMEMode",
        "IMESentenceMode", "InputMask", "Length", "PostalAddress"}},
      {"fldNChar_ComboBox", with({"Name", "AllowNulls", "Caption", "Collation", "DataType",
                                  "DefaultValue", "Description", "DisplayControl", "Formula",
                                  "Furigana", "Hyperlink", "SupportsFullTextQueries", "IMEMode",
                                  "IMESentenceMode", "InputMask", "Length", "PostalAddress"},
                                 kCombo)},
      {"fldText", kText},
      {"fldText_ComboBox", with(kText, kCombo)},
      {"fldNText", kText},
      {"fldNText_ListBox", with(kText, kList)},
      {"fldUserDefined",
       {"Name", "AllowNulls", "Caption", "DataType", "DefaultValue", "Description",
        "DisplayControl", "Formula", "Furigana", "SupportsFullTextQueries", "Hyperlink", "IMEMode",
        "IMESentenceMode", "InputMask", "Length", "PostalAddress"}},
      {"fldDecimal",
       {"Name", "AllowNulls", "Caption", "DataType", "DecimalPlaces", "DefaultValue", "Description",
        "DisplayControl", "Formula", "SupportsFullTextQueries", "Identity", "NumericPrecision",
        "NumericScale"}},
      {"fldMoney",
       {"Name", "AllowNulls", "Caption", "DataType", "DecimalPlaces", "DefaultValue", "Description",
        "Formula", "SupportsFullTextQueries"}},
      {"fldDateTime",
       {"Name", "AllowNulls", "Caption", "DataType", "DefaultValue", "Description", "Formula",
        "SupportsFullTextQueries", "IMEMode", "IMESentenceMode", "InputMask"}},
      {"fldTimestamp",
       {"Name", "AllowNulls", "Caption", "DataType", "DefaultValue", "Description", "Formula",
        "SupportsFullTextQueries", "IMEMode", "IMESentenceMode"}},
      {"fldVarbinary",
       {"Name", "AllowNulls", "Caption", "DataType", "DefaultValue", "Description", "Formula",
        "SupportsFullTextQueries", "Length"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.column);
    EXPECT_EQ(PropertyNames(Column(c.column)), c.names);
  }
}

TEST_F(GenericColumns, ComputedColumnRecords) {
  const Json expected = {
      Record("Name", Str("fldComputed"), true, Str("Computed Field")),
      Record("DataType", Str("int"), false, nullptr),
      Record("Description", Str(""), true, Str("This column returns computed int values.")),
      Record("Formula", Str("([fldDummy])"), true, Str("([fldDummy] + [fldDummy])")),
      Record("SupportsFullTextQueries", Bool(false), false, nullptr),
  };
  EXPECT_EQ(Column("fldComputed")["properties"], expected);
}

TEST_F(GenericColumns, ColumnReferencedByComputedColumnKeepsNameAndNulls) {
  const std::string note =
      "Can't change this property because the column is referenced by a computed column.";
  const Json expected = {
      Record("Name", Str("fldDummy"), true, nullptr, note),
      Record("AllowNulls", Bool(true), true, nullptr, note),
      Record("Caption", Str(""), true, Str("My Caption")),
      Record("DataType", Str("int"), false, nullptr),
      Record("DefaultValue", Str(""), true, Str("(1)")),
      Record("Description", Str(""), true, Str("This column stores int values.")),
      Record("DisplayControl", Long(109), false, nullptr),
      Record("Formula", Str(""), true, nullptr),
      Record("SupportsFullTextQueries", Bool(false), false, nullptr),
  };
  EXPECT_EQ(Column("fldDummy")["properties"], expected);
}

TEST_F(GenericColumns, RowGuidColumnRecords) {
  const Json expected = {
      Record("Name", Str("fldUniqueIdentifier"), true, nullptr,
             "If we attempt to modify, SQL Server reports \"Cannot alter column "
             "'fldUniqueIdentifier' because it is 'ROWGUIDCOL'.\""),
      Record("Caption", Str(""), true, Str("My Caption")),
      Record("DataType", Str("uniqueidentifier"), false, nullptr),
      Record("DefaultValue", Str(""), true, Str("('{88888888-8888-8888-8888-888888888888}')")),
      Record("Description", Str(""), true, Str("This column stores guid values.")),
      Record("Formula", Str(""), true, nullptr),
      Record("SupportsFullTextQueries", Bool(false), false, nullptr),
      Record("IsRowGuid", Bool(false), true, Bool(true)),
  };
  EXPECT_EQ(Column("fldUniqueIdentifier")["properties"], expected);
}

TEST_F(GenericColumns, NTextComboBoxRecordsWithNotesAndLookupKinds) {
  const Json expected = {
      Record("Name", Str("fldNText_ComboBox"), true, Str("nText Field (DisplayControl=ComboBox)")),
      // The AllowNulls note names the base column, the Collation note the variant.
      Record("AllowNulls", Bool(true), true, nullptr,
             "If we attempt to modify, SQL Server reports \"Cannot alter column 'nText Field' "
             "because it is 'ntext'.\""),
      Record("Caption", Str(""), true, Str("My Caption")),
      Record("Collation", Str(kCi), true, nullptr,
             "If we attempt to modify, SQL Server reports 'Cannot alter column 'nText Field "
             "(DisplayControl=ComboBox)' because it is 'ntext'.'"),
      Record("DataType", Str("ntext"), false, nullptr),
      Record("DefaultValue", Str(""), true, Str("('Ivor Marsh')")),
      Record("Description", Str(""), true, Str("This column stores ntext values.")),
      Record("DisplayControl", Long(111), false, nullptr),
      Record("Formula", Str(""), true, nullptr),
      Record("Furigana", Str(""), true, Str("colFurigana")),
      Record("SupportsFullTextQueries", Bool(false), false, nullptr),
      Record("Hyperlink", Bool(false), true, Bool(true)),
      Record("IMEMode", Long(0), true, Long(4)),
      Record("IMESentenceMode", Long(3), true, Long(0)),
      Record("InputMask", Str(""), true, Str("###-###-####")),
      Record("PostalAddress", Str(""), true, Str("colPostalAddress")),
      Record("RowSourceType", Str("Tables/Views/Functions"), true, Str("Value List")),
      Record("RowSource", Str(""), true, Str("vwGeneric")),
      Record("BoundColumn", Int(1), true, Int(2)),
      Record("ColumnCount", Int(1), true, Int(2)),
      Record("ColumnHeads", Bool(false), true, Bool(true)),
      Record("ColumnWidths", Str(""), true, Str("1440.000;1440.000")),
      Record("ListRows", Int(8), true, Int(12)),
      Record("ListWidth", Long(0), true, Long(2880)),
      Record("LimitToList", Bool(false), true, Bool(true)),
  };
  EXPECT_EQ(Column("fldNText_ComboBox")["properties"], expected);
}

TEST_F(GenericColumns, SingleRecordsThatDeviate) {
  const struct {
    std::string column;
    Json record;
  } cases[] = {
      {"fldBigInt", Record("Description", Str("This column stores bigint values."), true,
                           Str("THIS COLUMN STORES BIGINT VALUES."))},
      {"fldBigInt_ComboBox",
       Record("Description", Str(""), true, Str("This column stores bigint values.."))},
      {"fldBinary", Record("Description", Str("This column stores binary values."), true, Str(""))},
      {"fldBinary", Record("Length", Long(1), false, nullptr)},
      {"fldChar_ListBox", Record("Length", Long(32), false, nullptr)},
      {"fldImage", Record("AllowNulls", Bool(true), true, nullptr,
                          "If we attempt to modify, SQL Server reports \"Cannot alter column "
                          "'Image Field' because it is 'image'.\"")},
      {"fldImage", Record("DefaultValue", Str(""), true, Str("('c:\\image.jpg')"))},
      {"fldText_ListBox", Record("AllowNulls", Bool(true), true, nullptr,
                                 "If we attempt to modify, SQL Server reports \"Cannot alter "
                                 "column 'Text Field' because it is 'text'.\"")},
      {"fldText", Record("Collation", Str(kCi), true, nullptr,
                         "If we attempt to modify, SQL Server reports 'Cannot alter column "
                         "'Text Field' because it is 'text'.'")},
      {"fldVarchar", Record("Collation", Str(kCi), true, Str("SQL_Latin1_General_CP1_CS_AS"))},
      {"fldTimestamp", Record("AllowNulls", Bool(true), true, nullptr,
                              "If we attempt to modify, SQL Server reports \"Cannot alter "
                              "column 'Timestamp Field' to be data type timestamp.\"")},
      {"fldTimestamp", Record("DefaultValue", Str(""), true, nullptr,
                              "If we attempt to modify, SQL Server reports \"Defaults cannot "
                              "be created on columns of data type timestamp.\"")},
      {"fldUserDefined", Record("AllowNulls", Bool(false), true, Bool(true))},
      {"fldUserDefined", Record("Name", Str("fldUserDefined"), true, Str("User Defined Field"))},
      {"fldBit_CheckBox", Record("DisplayControl", Long(106), false, nullptr)},
      {"fldBit_CheckBox",
       Record("Name", Str("fldBit_CheckBox"), true, Str("Bit Field (DisplayControl=CheckBox)"))},
      {"fldSQLVariant", Record("Name", Str("fldSQLVariant"), true, Str("SQL Variant Field"))},
      {"fldSQLVariant",
       Record("Description", Str(""), true, Str("This column stores sqlvariant values."))},
      {"fldBigInt_ListBox", Record("Name", Str("fldBigInt_ListBox"), true,
                                   Str("Big Integer Field (DisplayControl=ListBox)"))},
      {"fldVarchar_ComboBox", Record("DisplayControl", Long(111), false, nullptr)},
      {"fldDecimal_ListBox", Record("DisplayControl", Long(110), false, nullptr)},
      {"fldDecimal_ListBox", Record("DecimalPlaces", Int(255), true, Int(3))},
      {"fldNumeric", Record("NumericPrecision", Long(18), false, nullptr)},
      {"fldReal", Record("DecimalPlaces", Int(255), true, Int(3))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.column + " " + c.record["name"].get<std::string>());
    EXPECT_EQ(Property(Column(c.column), c.record["name"]), c.record);
  }
}

TEST_F(GenericColumns, DisplayControlOnlyWhereTheColumnTableMarksIt) {
  const std::set<std::string> without = {"fldBinary",     "fldDateTime",      "fldImage",
                                         "fldMoney",      "fldSmallDateTime", "fldSmallMoney",
                                         "fldSQLVariant", "fldTimestamp",     "fldUniqueIdentifier",
                                         "fldVarbinary",  "fldComputed"};
  for (const Json& column : columns_) {
    const std::string key = column["key"];
    SCOPED_TRACE(key);
    std::vector<std::string> names = PropertyNames(column);
    bool has = std::find(names.begin(), names.end(), "DisplayControl") != names.end();
    EXPECT_EQ(has, !without.contains(key));
  }
}

TEST_F(GenericColumns, RecordsKeepTheModelInvariants) {
  for (const Json& column : columns_) {
    for (const Json& record : column["properties"]) {
      SCOPED_TRACE(column["key"].get<std::string>() + " " + record["name"].get<std::string>());
      if (!record["modifiable"]) {
        EXPECT_TRUE(record["newValue"].is_null());
        EXPECT_EQ(record["note"], "");
      }
      if (record["note"] != "") {
        EXPECT_TRUE(record["modifiable"]);
        EXPECT_TRUE(record["newValue"].is_null());
      }
      EXPECT_FALSE(record["value"].is_null());
      if (record["name"] == "Description" && column["key"] != "fldBigInt" &&
          column["key"] != "fldBinary") {
        EXPECT_EQ(record["value"], Str(""));
      }
    }
  }
}

}  // namespace
}  // namespace tavora::testing
