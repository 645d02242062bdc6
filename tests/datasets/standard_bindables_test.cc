#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "datasets/standard/builders.h"
#include "tests/datasets/standard_builder_fixture.h"

namespace tavora::testing {
namespace {

using Bindables = StandardBuilderTest;

constexpr char kUseGo[] = "USE tavora_StandardDataset\r\nGO\r\n";

TEST_F(Bindables, EachBuilderSendsOneStandardBatch) {
  standard::CreateGenericDefault(*project_, *session_, kDatabase);
  standard::CreateGenericRule(*project_, *session_, kDatabase);
  standard::CreateGenericDatatype(*project_, *session_, kDatabase);
  const std::vector<std::string> expected = {
      std::string(kUseGo) + "CREATE DEFAULT defGeneric AS '800-555-1212'",
      std::string(kUseGo) + "CREATE RULE rulGeneric AS @range >= $1000 AND @range < $20000",
      std::string(kUseGo) + "EXEC sp_addtype udtGeneric, 'VARCHAR(32)', 'NOT NULL'",
  };
  EXPECT_EQ(Executed(), expected);
}

TEST_F(Bindables, DefaultRecordsNameTextAndOwner) {
  standard::CreateGenericDefault(*project_, *session_, kDatabase);
  Json objects = Objects("Defaults");
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(objects[0]["key"], "dbo.defGeneric");
  EXPECT_EQ(objects[0]["class"], "MSSQL80.Default");
  EXPECT_EQ(objects[0]["type"], "");
  const Json expected = {
      Record("Name", Str("defGeneric"), true, Str("Generic Default")),
      Record("Text", Str("CREATE DEFAULT defGeneric AS '800-555-1212'"), true,
             Str("CREATE DEFAULT [Generic Default] AS '999-555-1212'")),
      Record("Owner", Str("dbo"), false, nullptr),
  };
  EXPECT_EQ(objects[0]["properties"], expected);
}

TEST_F(Bindables, RuleRecordsNameTextAndOwner) {
  standard::CreateGenericRule(*project_, *session_, kDatabase);
  Json objects = Objects("Rules");
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(objects[0]["key"], "dbo.rulGeneric");
  EXPECT_EQ(objects[0]["class"], "MSSQL80.Rule");
  const Json expected = {
      Record("Name", Str("rulGeneric"), true, Str("Generic Rule")),
      Record("Text", Str("CREATE RULE rulGeneric AS @range >= $1000 AND @range < $20000"), true,
             Str("CREATE RULE [Generic Rule] AS @range >= $2000 AND @range < $40000")),
      Record("Owner", Str("dbo"), false, nullptr),
  };
  EXPECT_EQ(objects[0]["properties"], expected);
}

TEST_F(Bindables, DatatypeIsBoundToTheNewNamesAndHasNoText) {
  standard::CreateGenericDatatype(*project_, *session_, kDatabase);
  Json objects = Objects("UserDefinedDatatypes");
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(objects[0]["key"], "dbo.udtGeneric");
  EXPECT_EQ(objects[0]["class"], "MSSQL80.Datatype");
  EXPECT_EQ(objects[0]["type"], "");
  const Json expected = {
      Record("Name", Str("udtGeneric"), true, Str("Generic Datatype")),
      Record("Owner", Str("dbo"), false, nullptr),
      Record("AllowNulls", Bool(false), false, nullptr),
      Record("BaseType", Str("varchar"), false, nullptr),
      Record("BoundDefault", Str(""), true, Str("Generic Default")),
      Record("BoundRule", Str(""), true, Str("Generic Rule")),
      Record("Length", Long(32), false, nullptr),
      Record("NumericPrecision", Long(32), false, nullptr),
      Record("NumericScale", Long(0), false, nullptr),
  };
  EXPECT_EQ(objects[0]["properties"], expected);
}

TEST_F(Bindables, FailedBatchAddsNoModelObjectAndNamesTheBuilder) {
  struct Case {
    const char* builder;
    void (*build)(harness::ModelProject&, harness::SqlSession&, const std::u16string&);
    std::u16string statement;
    const char* collection;
  };
  const Case cases[] = {
      {"CreateGenericDefault", standard::CreateGenericDefault, u"CREATE DEFAULT", "Defaults"},
      {"CreateGenericRule", standard::CreateGenericRule, u"CREATE RULE", "Rules"},
      {"CreateGenericDatatype", standard::CreateGenericDatatype, u"sp_addtype",
       "UserDefinedDatatypes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.builder);
    FailExecute(c.statement);
    Failure failure = FailureOf([&] { c.build(*project_, *session_, kDatabase); });
    EXPECT_EQ(failure.number, 2714);
    EXPECT_EQ(failure.text, "There is already an object.");
    EXPECT_EQ(failure.trace, std::vector<std::string>{std::string("StandardDataset.") + c.builder});
    EXPECT_TRUE(Objects(c.collection).empty());
  }
}

}  // namespace
}  // namespace tavora::testing
