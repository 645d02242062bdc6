#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "datasets/standard/builders.h"
#include "tests/datasets/standard_builder_fixture.h"

namespace tavora::testing {
namespace {

using ViewsAndProcedure = StandardBuilderTest;

constexpr char kUseGo[] = "USE tavora_StandardDataset\r\nGO\r\n";

// Written out from the scripts the model records.
constexpr char kGenericView[] =
    "CREATE VIEW vwGeneric AS SELECT * FROM tblGeneric\r\n"
    "GO\r\n"
    "\r\n"
    "GRANT SELECT ON dbo.vwGeneric (fldInt, fldReal) TO public\r\n"
    "GO";
constexpr char kNewGenericView[] =
    "CREATE VIEW [Generic View] AS SELECT * FROM [Generic Table]\r\n"
    "GO\r\n"
    "\r\n"
    "GRANT SELECT ON dbo.[Generic View] ([Int Field], [Real Field]) TO public\r\n"
    "GO";
constexpr char kSchemaBoundView[] =
    "CREATE VIEW vwSchemaBound WITH SCHEMABINDING AS SELECT fldInt FROM dbo.tblGeneric\r\n"
    "GO";
constexpr char kNewSchemaBoundView[] =
    "CREATE VIEW [Schema Bound View] AS SELECT * FROM [Generic Table]\r\n"
    "GO";
constexpr char kProcedure[] =
    "CREATE PROCEDURE spGeneric AS SELECT * FROM tblGeneric WHERE tblGeneric.fldInt = 7";
constexpr char kNewProcedure[] =
    "CREATE PROCEDURE [Generic Stored Procedure] AS SELECT * FROM [Generic Table] WHERE "
    "[Generic Table].[Int Field] = 7";

using Builder =
    std::function<void(harness::ModelProject&, harness::SqlSession&, const std::u16string&)>;

struct Case {
  const char* name;
  Builder builder;
  const char* procedure;
  std::string batch;
  const char* collection;
  const char* key;
  const char* object_class;
  const char* new_name;
  const char* text;
  const char* new_text;
};

std::vector<Case> Cases() {
  return {
      {"vwGeneric", standard::CreateGenericView, "StandardDataset.CreateGenericView",
       std::string(kUseGo) + kGenericView +
           "\r\nGO\r\nGRANT REFERENCES, DELETE ON vwGeneric TO public",
       "Views", "dbo.vwGeneric", "MSSQL80.View", "Generic View", kGenericView, kNewGenericView},
      {"vwSchemaBound", standard::CreateSchemaBoundView, "StandardDataset.CreateSchemaBoundView",
       std::string(kUseGo) + kSchemaBoundView, "Views", "dbo.vwSchemaBound", "MSSQL80.View",
       "Schema Bound View", kSchemaBoundView, kNewSchemaBoundView},
      {"spGeneric", standard::CreateGenericStoredProcedure,
       "StandardDataset.CreateGenericStoredProcedure", std::string(kUseGo) + kProcedure,
       "StoredProcedures", "dbo.spGeneric", "MSSQL80.StoredProcedure", "Generic Stored Procedure",
       kProcedure, kNewProcedure},
  };
}

TEST_F(ViewsAndProcedure, EachBuilderSendsOneBatch) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    backend_->transcript.Clear();
    c.builder(*project_, *session_, kDatabase);
    // vwGeneric's batch ends its script's GO line with another before the
    // object permissions; both go in one Execute call.
    EXPECT_EQ(Executed(), std::vector<std::string>{c.batch});
  }
}

TEST_F(ViewsAndProcedure, RecordsNameTextOwnerAndTheDisplayRecords) {
  for (const Case& c : Cases()) c.builder(*project_, *session_, kDatabase);
  const Json display = Json::array({
      Record("DefaultView", Long(2), true, Long(3)),
      Record("Filter", Str(""), true, Str("fldVarChar<>'red'")),
      Record("LinkChildFields", Str(""), true, Str("fldChar")),
      Record("LinkMasterFields", Str(""), true, Str("fldChar")),
      Record("OrderBy", Str(""), true, Str("fldVarChar")),
      Record("SubdatasheetExpanded", Bool(false), true, Bool(true)),
      Record("SubdatasheetHeight", Long(0), true, Long(2880)),
      Record("SubdatasheetName", Str(""), true, Str("My Subdatasheet")),
  });
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    Json object = Find(Objects(c.collection), c.key);
    EXPECT_EQ(object["class"], c.object_class);
    EXPECT_EQ(object["type"], "");
    Json expected = Json::array({
        Record("Name", Str(c.name), true, Str(c.new_name)),
        Record("Text", Str(c.text), true, Str(c.new_text)),
        Record("Owner", Str("dbo"), false, nullptr),
    });
    for (const Json& record : display) expected.push_back(record);
    EXPECT_EQ(object["properties"], expected);
  }
  EXPECT_EQ(Objects("Views").size(), 2u);
  EXPECT_EQ(Objects("StoredProcedures").size(), 1u);
}

TEST_F(ViewsAndProcedure, TablesViewsAndProcedureShareTheDisplayRecords) {
  standard::CreateParentTable(*project_, *session_, kDatabase);
  standard::CreateChildTable(*project_, *session_, kDatabase);
  standard::CreateGenericView(*project_, *session_, kDatabase);
  standard::CreateGenericStoredProcedure(*project_, *session_, kDatabase);
  const Json view = Objects("Views")[0];
  const Json others[] = {Objects("Tables")[0], Objects("Tables")[1],
                         Objects("StoredProcedures")[0]};
  for (const Json& other : others) {
    for (const char* name :
         {"DefaultView", "Filter", "LinkChildFields", "LinkMasterFields", "OrderBy",
          "SubdatasheetExpanded", "SubdatasheetHeight", "SubdatasheetName"}) {
      SCOPED_TRACE(other["key"].get<std::string>() + "." + name);
      EXPECT_EQ(Property(other, name), Property(view, name));
    }
  }
}

TEST_F(ViewsAndProcedure, RecordedTextIsTheSentScriptWithoutPrefix) {
  standard::CreateSchemaBoundView(*project_, *session_, kDatabase);
  standard::CreateGenericStoredProcedure(*project_, *session_, kDatabase);
  std::vector<std::string> sent = Executed();
  ASSERT_EQ(sent.size(), 2u);
  const std::size_t prefix = std::string(kUseGo).size();
  EXPECT_EQ(Property(Objects("Views")[0], "Text")["value"], Str(sent[0].substr(prefix)));
  EXPECT_EQ(Property(Objects("StoredProcedures")[0], "Text")["value"], Str(sent[1].substr(prefix)));
}

TEST_F(ViewsAndProcedure, RejectedBatchLeavesNoModelEntryAndNamesTheBuilder) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    SetUp();  // a fresh model and back end for each builder
    FailExecute(u"CREATE ");
    Failure failure = FailureOf([&] { c.builder(*project_, *session_, kDatabase); });
    EXPECT_EQ(failure.number, 2714);
    EXPECT_EQ(failure.trace, std::vector<std::string>{c.procedure});
    EXPECT_TRUE(Objects(c.collection).empty());
  }
}

}  // namespace
}  // namespace tavora::testing
