#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "datasets/standard/builders.h"
#include "tests/datasets/standard_builder_fixture.h"
#include "tests/datasets/standard_generic_table_texts.h"

namespace tavora::testing {
namespace {

using GenericTable = StandardBuilderTest;

TEST_F(GenericTable, SendsTableRowAndThirtyTwoPropertyBatchesInOrder) {
  standard::CreateGenericTable(*project_, *session_, kDatabase, u"C:\\folder");
  EXPECT_EQ(Executed(), GenericTableBatches());
}

TEST_F(GenericTable, RecordsTableObjectWithElevenRecordsThenFiftyEightColumns) {
  standard::CreateGenericTable(*project_, *session_, kDatabase, u"");
  Json tables = Objects("Tables");
  ASSERT_EQ(tables.size(), 1u);
  EXPECT_EQ(tables[0]["key"], "dbo.tblGeneric");
  EXPECT_EQ(tables[0]["class"], "MSSQL80.Table");
  EXPECT_EQ(tables[0]["type"], "");
  const Json expected = {
      Record("Name", Str("tblGeneric"), true, Str("Generic Table")),
      Record("Owner", Str("dbo"), false, nullptr),
      Record("DefaultView", Long(2), true, Long(3)),
      Record("Filter", Str(""), true, Str("fldVarChar<>'red'")),
      Record("LinkChildFields", Str(""), true, Str("fldChar")),
      Record("LinkMasterFields", Str(""), true, Str("fldChar")),
      Record("OrderBy", Str(""), true, Str("fldVarChar")),
      Record("SubdatasheetExpanded", Bool(false), true, Bool(true)),
      Record("SubdatasheetHeight", Long(0), true, Long(2880)),
      Record("SubdatasheetName", Str(""), true, Str("My Subdatasheet")),
      Record("FullTextCatalog", Str(""), false, nullptr),
  };
  EXPECT_EQ(tables[0]["properties"], expected);
  Json columns = Children(tables[0], "Columns");
  ASSERT_EQ(columns.size(), 58u);
  EXPECT_EQ(columns[0]["key"], "fldBigInt");
  EXPECT_EQ(columns[57]["key"], "fldDummy");
}

TEST_F(GenericTable, FailureStopsTheBuilderWhereItHappens) {
  struct Case {
    const char* name;
    std::u16string failing_text;
    size_t batches_sent;
  };
  const Case cases[] = {
      {"table batch (missing user type)", u"CREATE TABLE", 1},
      {"row batch in another database", u"INSERT INTO", 2},
      // A case-sensitive server knows no column fldVarChar_ComboBox.
      {"display control of fldVarChar_ComboBox", u"'fldVarChar_ComboBox'", 33},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    FailExecute(c.failing_text);
    Failure failure =
        FailureOf([&] { standard::CreateGenericTable(*project_, *session_, kDatabase, u""); });
    EXPECT_EQ(failure.number, 2714);
    std::vector<std::string> trace = {"StandardDataset.CreateGenericTable"};
    if (c.batches_sent > 2) trace.insert(trace.begin(), "StandardDataset.AddColumnProperty");
    EXPECT_EQ(failure.trace, trace);
    EXPECT_EQ(Executed().size(), c.batches_sent);
    EXPECT_TRUE(Objects("Tables").empty());
  }
}

}  // namespace
}  // namespace tavora::testing
