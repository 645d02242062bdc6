#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "datasets/standard/builders.h"
#include "tests/datasets/standard_builder_fixture.h"
#include "tests/datasets/standard_generic_table_texts.h"

namespace tavora::testing {
namespace {

using FullTextCatalog = StandardBuilderTest;
using ColumnProperty = StandardBuilderTest;

TEST_F(FullTextCatalog, EnablesIndexingThenCreatesCatalogWithoutPath) {
  standard::CreateGenericFullTextCatalog(*project_, *session_, kDatabase);
  const std::vector<std::string> expected = {
      "USE tavora_StandardDataset\r\nGO\r\n"
      "EXEC sp_fulltext_database\r\n"
      "  @action='enable'",
      "USE tavora_StandardDataset\r\nGO\r\n"
      "EXEC sp_fulltext_catalog\r\n"
      "  @ftcat='Catalog1'\r\n"
      ", @action='create'",
  };
  EXPECT_EQ(Executed(), expected);
}

TEST_F(FullTextCatalog, RecordsCatalogWithoutOwnerAndUnmodifiable) {
  standard::CreateGenericFullTextCatalog(*project_, *session_, kDatabase);
  Json objects = Objects("FullTextCatalogs");
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(objects[0]["key"], "Catalog1");
  EXPECT_EQ(objects[0]["class"], "MSSQL80.FullTextCatalog");
  EXPECT_EQ(objects[0]["type"], "");
  const Json expected = {
      Record("Name", Str("Catalog1"), false, nullptr),
      Record("Path", Str(""), false, nullptr),
  };
  EXPECT_EQ(objects[0]["properties"], expected);
}

TEST_F(FullTextCatalog, FailedEnableSendsNoCreateAndRecordsNothing) {
  FailExecute(u"sp_fulltext_database");
  Failure failure =
      FailureOf([&] { standard::CreateGenericFullTextCatalog(*project_, *session_, kDatabase); });
  EXPECT_EQ(failure.number, 2714);
  EXPECT_EQ(failure.trace,
            std::vector<std::string>{"StandardDataset.CreateGenericFullTextCatalog"});
  EXPECT_EQ(Executed().size(), 1u);
  EXPECT_TRUE(Objects("FullTextCatalogs").empty());
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
    EXPECT_EQ(Executed(), std::vector<std::string>{PropertyStatement(
                              "fldBigInt_ComboBox", "MS_DisplayControl", c.value_text)});
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

TEST_F(ColumnProperty, RejectedStatementCarriesItsOwnContextLine) {
  FailExecute(u"fldMissing");
  Failure failure = FailureOf([&] {
    standard::AddColumnProperty(*session_, kDatabase, u"dbo", u"tblGeneric", u"fldMissing",
                                u"MS_Description", harness::Variant::String(u"x"));
  });
  EXPECT_EQ(failure.number, 2714);
  EXPECT_EQ(failure.trace, std::vector<std::string>{"StandardDataset.AddColumnProperty"});
}

}  // namespace
}  // namespace tavora::testing
