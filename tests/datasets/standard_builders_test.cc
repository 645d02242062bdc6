// The standard builders called one by one on the record double: how each
// stops when the server refuses a statement, and the rules the golden model
// cannot show (value quoting by kind, the generic columns' record rules).

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "datasets/standard/builders.h"
#include "tests/datasets/standard_builder_fixture.h"

namespace tavora::testing {
namespace {

using StandardBuilders = StandardBuilderTest;
using ColumnProperty = StandardBuilderTest;
using Builder =
    std::function<void(harness::ModelProject&, harness::SqlSession&, const std::u16string&)>;

TEST_F(StandardBuilders, ARefusedStatementEndsTheBuilderWhichRecordsNothing) {
  const Builder generic_table = [](harness::ModelProject& project, harness::SqlSession& session,
                                   const std::u16string& database) {
    standard::CreateGenericTable(project, session, database, u"");
  };
  struct Case {
    Builder build;
    std::u16string refused;  // part of the statement the server refuses
    const char* collection;
    std::vector<std::string> trace;
  };
  const Case cases[] = {
      {standard::CreateGenericFullTextCatalog,
       u"sp_fulltext_database",
       "FullTextCatalogs",
       {"StandardDataset.CreateGenericFullTextCatalog"}},
      {standard::CreateGenericDefault,
       u"CREATE DEFAULT",
       "Defaults",
       {"StandardDataset.CreateGenericDefault"}},
      {standard::CreateGenericRule, u"CREATE RULE", "Rules", {"StandardDataset.CreateGenericRule"}},
      {standard::CreateGenericDatatype,
       u"sp_addtype",
       "UserDefinedDatatypes",
       {"StandardDataset.CreateGenericDatatype"}},
      {generic_table, u"CREATE TABLE", "Tables", {"StandardDataset.CreateGenericTable"}},
      {generic_table, u"INSERT INTO", "Tables", {"StandardDataset.CreateGenericTable"}},
      // A case-sensitive server knows no column fldVarChar_ComboBox.
      {generic_table,
       u"'fldVarChar_ComboBox'",
       "Tables",
       {"StandardDataset.AddColumnProperty", "StandardDataset.CreateGenericTable"}},
      {standard::CreateParentTable,
       u"sp_fulltext_table",
       "Tables",
       {"StandardDataset.CreateParentTable"}},
      {standard::CreateChildTable,
       u"CREATE TABLE tblChild",
       "Tables",
       {"StandardDataset.CreateChildTable"}},
      {standard::CreateGenericView, u"CREATE VIEW", "Views", {"StandardDataset.CreateGenericView"}},
      {standard::CreateSchemaBoundView,
       u"CREATE VIEW",
       "Views",
       {"StandardDataset.CreateSchemaBoundView"}},
      {standard::CreateGenericStoredProcedure,
       u"CREATE PROCEDURE",
       "StoredProcedures",
       {"StandardDataset.CreateGenericStoredProcedure"}},
      {standard::CreateScalarFunction,
       u"CREATE FUNCTION",
       "UserDefinedFunctions",
       {"StandardDataset.CreateScalarFunction"}},
      {standard::CreateEncryptedScalarFunction,
       u"CREATE FUNCTION",
       "UserDefinedFunctions",
       {"StandardDataset.CreateEncryptedScalarFunction"}},
      {standard::CreateSchemaBoundScalarFunction,
       u"CREATE FUNCTION",
       "UserDefinedFunctions",
       {"StandardDataset.CreateSchemaBoundScalarFunction"}},
      {standard::CreateTableValuedFunction,
       u"CREATE FUNCTION",
       "UserDefinedFunctions",
       {"StandardDataset.CreateTableValuedFunction"}},
  };
  for (const Case& c : cases) {
    const std::string refused = harness::ToUtf8(c.refused);
    SCOPED_TRACE(c.trace.back() + " refused at " + refused);
    SetUp();  // a fresh model and back end for each case
    FailExecute(c.refused);
    Failure failure = FailureOf([&] { c.build(*project_, *session_, kDatabase); });
    EXPECT_EQ(failure.number, 2714);
    EXPECT_EQ(failure.text, "There is already an object.");
    EXPECT_EQ(failure.trace, c.trace);
    // Nothing is sent after the refused statement.
    ASSERT_FALSE(Executed().empty());
    EXPECT_NE(Executed().back().find(refused), std::string::npos) << Executed().back();
    EXPECT_TRUE(Objects(c.collection).empty());
  }
}

TEST_F(ColumnProperty, QuotesByVariantKindAlone) {
  struct Case {
    const char* name;
    harness::Variant value;
    std::string value_text;
  };
  const Case cases[] = {
      {"Long", harness::Variant::Long(111), "111"},
      {"String of digits", harness::Variant::String(u"111"), "'111'"},
      {"String", harness::Variant::String(u"This column stores bigint values."),
       "'This column stores bigint values.'"},
      {"Integer", harness::Variant::Integer(-7), "-7"},
      {"Boolean", harness::Variant::Boolean(true), "True"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    backend_->transcript.Clear();
    standard::AddColumnProperty(*session_, kDatabase, u"dbo", u"tblGeneric", u"fldBigInt_ComboBox",
                                u"MS_DisplayControl", c.value);
    ASSERT_EQ(Executed().size(), 1u);
    EXPECT_NE(Executed()[0].find("\r\n, @value=" + c.value_text + "\r\n"), std::string::npos)
        << Executed()[0];
  }
}

TEST_F(ColumnProperty, DoublesSingleQuotesInsideEveryQuotedPiece) {
  standard::AddColumnProperty(*session_, kDatabase, u"o'wner", u"t'able", u"c'ol", u"n'ame",
                              harness::Variant::String(u"it's'; DROP TABLE x --"));
  const std::string expected =
      "USE tavora_StandardDataset\r\n"
      "EXEC sp_addextendedproperty\r\n"
      "  @name='n''ame'\r\n"
      ", @value='it''s''; DROP TABLE x --'\r\n"
      ", @level0type='user'\r\n"
      ", @level0name='o''wner'\r\n"
      ", @level1type='table'\r\n"
      ", @level1name='t''able'\r\n"
      ", @level2type='column'\r\n"
      ", @level2name='c''ol'";
  EXPECT_EQ(Executed(), std::vector<std::string>{expected});
}

TEST_F(ColumnProperty, NullValueFailsBeforeAnythingIsSent) {
  Failure failure = FailureOf([&] {
    standard::AddColumnProperty(*session_, kDatabase, u"dbo", u"tblGeneric", u"fldBigInt",
                                u"MS_Description", harness::Variant::Null());
  });
  EXPECT_EQ(failure.number, 94);
  EXPECT_EQ(failure.trace, std::vector<std::string>{"StandardDataset.AddColumnProperty"});
  EXPECT_TRUE(Executed().empty());
}

// Rules the generic table's column rows must keep, whatever their values: a
// record that may not change has no new value and no note; a note explains a
// change that fails, so it has no new value either.
TEST_F(StandardBuilders, GenericColumnRecordsKeepTheModelRules) {
  standard::CreateGenericTable(*project_, *session_, kDatabase, u"");
  for (const Json& column : Children(Find(Objects("Tables"), "dbo.tblGeneric"), "Columns")) {
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
    }
  }
}

}  // namespace
}  // namespace tavora::testing
