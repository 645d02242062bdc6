#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "datasets/dataset_classes.h"
#include "datasets/standard/builders.h"
#include "harness/workspace.h"
#include "tests/datasets/standard_builder_fixture.h"
#include "tests/scratch_folder.h"

namespace tavora::testing {
namespace {

using Functions = StandardBuilderTest;

constexpr char kUseGo[] = "USE tavora_StandardDataset\r\nGO\r\n";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (true) {
    std::size_t end = text.find("\r\n", start);
    lines.push_back(text.substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos) return lines;
    start = end + 2;
  }
}

int Count(const std::string& text, const std::string& part) {
  int count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

std::string TextOf(const Json& function) { return Property(function, "Text")["value"]["String"]; }
std::string NewTextOf(const Json& function) {
  return Property(function, "Text")["newValue"]["String"];
}

TEST_F(Functions, ScalarFunctionsSendTheirScripts) {
  using Builder =
      std::function<void(harness::ModelProject&, harness::SqlSession&, const std::u16string&)>;
  struct Row {
    Builder builder;
    std::string script;
  };
  const Row rows[] = {
      {standard::CreateScalarFunction,
       "CREATE FUNCTION fnScalar(@X int)\r\nRETURNS int\r\nAS\r\nBEGIN\r\n  RETURN(@X*@X)\r\nEND"},
      {standard::CreateEncryptedScalarFunction,
       "CREATE FUNCTION fnEncryptedScalar(@X int)\r\nRETURNS int\r\nWITH ENCRYPTION\r\nAS\r\n"
       "BEGIN\r\n  RETURN(@X*@X)\r\nEND"},
      {standard::CreateSchemaBoundScalarFunction,
       "CREATE FUNCTION fnSchemaBoundScalar(@X int)\r\nRETURNS int\r\nWITH SCHEMABINDING\r\n"
       "AS\r\nBEGIN\r\n  RETURN(SELECT MAX(fldInt) FROM dbo.tblGeneric)\r\nEND"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.script.substr(0, 40));
    backend_->transcript.Clear();
    row.builder(*project_, *session_, kDatabase);
    EXPECT_EQ(Executed(), std::vector<std::string>{kUseGo + row.script});
  }
}

TEST_F(Functions, RecordsFourFunctionsWithNameOwnerText) {
  standard::CreateScalarFunction(*project_, *session_, kDatabase);
  standard::CreateEncryptedScalarFunction(*project_, *session_, kDatabase);
  standard::CreateSchemaBoundScalarFunction(*project_, *session_, kDatabase);
  standard::CreateTableValuedFunction(*project_, *session_, kDatabase);
  Json functions = Objects("UserDefinedFunctions");
  const char* names[] = {"fnScalar", "fnEncryptedScalar", "fnSchemaBoundScalar", "fnTableValued"};
  ASSERT_EQ(functions.size(), std::size(names));
  std::vector<std::string> sent = Executed();
  ASSERT_EQ(sent.size(), 4u);
  for (std::size_t i = 0; i < std::size(names); ++i) {
    SCOPED_TRACE(names[i]);
    const Json& function = functions[i];
    EXPECT_EQ(function["key"], std::string("dbo.") + names[i]);
    EXPECT_EQ(function["class"], "MSSQL80.Function");
    EXPECT_EQ(function["type"], "");
    EXPECT_EQ(PropertyNames(function), (std::vector<std::string>{"Name", "Owner", "Text"}));
    EXPECT_EQ(Property(function, "Name"),
              Record("Name", Str(names[i]), true, Str(std::string(names[i]) + "2")));
    EXPECT_EQ(Property(function, "Owner"), Record("Owner", Str("dbo"), false, nullptr));
    if (i != 1) {
      // The recorded script is what was sent, minus the prefix.
      EXPECT_EQ(kUseGo + TextOf(function), sent[i]);
      EXPECT_TRUE(TextOf(function).starts_with("CREATE FUNCTION "));
      EXPECT_TRUE(TextOf(function).ends_with("\r\nEND"));
    }
  }
  EXPECT_EQ(Property(functions[1], "Text"),
            Record("Text", Str("(encrypted)"), true, nullptr, "Can't modify encrypted function."));
  EXPECT_EQ(NewTextOf(functions[0]),
            "CREATE FUNCTION fnScalar2(@X int)\r\nRETURNS int\r\nAS\r\nBEGIN\r\n"
            "  RETURN(1 + (@X*@X))\r\nEND");
  EXPECT_EQ(NewTextOf(functions[2]),
            "CREATE FUNCTION fnSchemaBoundScalar2(@X int)\r\nRETURNS int\r\nAS\r\nBEGIN\r\n"
            "  RETURN(SELECT MAX([Int Field]) FROM dbo.[Generic Table])\r\nEND");
}

TEST_F(Functions, TableValuedScriptHasItsShape) {
  standard::CreateTableValuedFunction(*project_, *session_, kDatabase);
  const std::string script = TextOf(Objects("UserDefinedFunctions")[0]);
  std::vector<std::string> lines = Lines(script);
  ASSERT_EQ(lines.size(), 37u);
  const std::vector<std::string> head = {
      "CREATE FUNCTION fnTableValued (@InEmpId nchar(5))",
      "  RETURNS @retFindReports TABLE (empid nchar(5) primary key,",
      "    empname nvarchar(50) NOT NULL,",
      "    mgrid nchar(5),",
      "    title nvarchar(30))",
  };
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 5), head);
  EXPECT_EQ(lines[5], "AS");
  EXPECT_EQ(lines[6], "BEGIN");
  EXPECT_EQ(lines[35], "  RETURN");
  EXPECT_EQ(lines[36], "END");
  for (const std::string& line : lines) {
    SCOPED_TRACE(line);
    std::size_t indent = line.find_first_not_of(' ');
    EXPECT_EQ(indent % 2, 0u);  // two blanks per level
    EXPECT_FALSE(line.ends_with(" "));
  }
  for (const char* part :
       {"\r\n  DECLARE @RowsAdded int\r\n", "\r\n    processed tinyint default 0)\r\n",
        "\r\n  WHILE @RowsAdded > 0\r\n", "FROM employees", "@@rowcount",
        "INSERT @retFindReports"}) {
    EXPECT_NE(script.find(part), std::string::npos) << part;
  }
}

TEST_F(Functions, TableValuedNewTextRenamesCaseSensitivelyOnce) {
  standard::CreateTableValuedFunction(*project_, *session_, kDatabase);
  Json function = Objects("UserDefinedFunctions")[0];
  const std::string script = TextOf(function);
  const std::string renamed = NewTextOf(function);
  EXPECT_EQ(Lines(renamed).size(), 37u);
  EXPECT_EQ(Lines(renamed)[0], "CREATE FUNCTION fnTableValued2 (@InEmpId nchar(5))");
  EXPECT_EQ(Lines(renamed)[1], "  RETURNS @retFindReports TABLE (employeeid nchar(5) primary key,");
  EXPECT_EQ(Lines(renamed)[2], "    employeename nvarchar(50) NOT NULL,");
  EXPECT_EQ(Lines(renamed)[3], "    mgrid nchar(5),");
  EXPECT_EQ(Count(renamed, "fnTableValued2"), Count(script, "fnTableValued"));
  EXPECT_EQ(Count(renamed, "fnTableValued22"), 0);
  EXPECT_EQ(Count(renamed, "employeeid"), Count(script, "empid"));
  EXPECT_EQ(Count(renamed, "employeename"), Count(script, "empname"));
  EXPECT_EQ(Count(renamed, "empid"), 0);
  EXPECT_EQ(Count(renamed, "empname"), 0);
  EXPECT_EQ(Count(renamed, "@InEmpId"), Count(script, "@InEmpId"));
  EXPECT_GE(Count(script, "@InEmpId"), 2);  // the parameter and its use
}

TEST_F(Functions, RejectedBatchLeavesNoModelEntry) {
  FailExecute(u"fnSchemaBoundScalar");
  standard::CreateScalarFunction(*project_, *session_, kDatabase);
  Failure failure = FailureOf(
      [&] { standard::CreateSchemaBoundScalarFunction(*project_, *session_, kDatabase); });
  EXPECT_EQ(failure.number, 2714);
  EXPECT_EQ(failure.text, "There is already an object.");
  EXPECT_EQ(failure.trace,
            std::vector<std::string>{"StandardDataset.CreateSchemaBoundScalarFunction"});
  Json functions = Objects("UserDefinedFunctions");
  ASSERT_EQ(functions.size(), 1u);
  EXPECT_EQ(functions[0]["key"], "dbo.fnScalar");
}

TEST_F(Functions, TracesNameEachFunctionBuilder) {
  using Builder =
      std::function<void(harness::ModelProject&, harness::SqlSession&, const std::u16string&)>;
  struct Row {
    Builder builder;
    const char* procedure;
  };
  const Row rows[] = {
      {standard::CreateScalarFunction, "StandardDataset.CreateScalarFunction"},
      {standard::CreateEncryptedScalarFunction, "StandardDataset.CreateEncryptedScalarFunction"},
      {standard::CreateTableValuedFunction, "StandardDataset.CreateTableValuedFunction"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.procedure);
    SetUp();
    FailExecute(u"CREATE FUNCTION");
    EXPECT_EQ(FailureOf([&] { row.builder(*project_, *session_, kDatabase); }).trace,
              std::vector<std::string>{row.procedure});
    EXPECT_TRUE(Objects("UserDefinedFunctions").empty());
  }
}

// The whole dataset: the fourteen builders in order through Create.
class StandardDatasetComplete : public ::testing::Test {
 protected:
  void SetUp() override {
    backend_ = std::make_shared<host::RecordBackend>();
    host::InstallHarnessClasses(host::Settings{}, host::RecordSessions(backend_));
    workspace_ = host::MakeWorkspace(tavora::testing::ScratchFolder("standard_complete").string());
    dataset_ = MakeStandardDataset();
  }

  void Create() { dataset_->Create(u"", workspace_.get(), nullptr); }

  std::vector<std::string> Calls() const {
    std::vector<std::string> calls;
    for (const Json& entry : backend_->transcript.entries()) calls.push_back(entry.at("call"));
    return calls;
  }

  std::vector<std::string> Executed() const {
    std::vector<std::string> texts;
    for (const Json& entry : backend_->transcript.entries()) {
      if (entry.at("call") == "Execute") texts.push_back(entry.at("text").get<std::string>());
    }
    return texts;
  }

  Json Collections() const {
    return host::ModelToJson(dataset_->ObjectModel().get())["projects"][0]["collections"];
  }

  std::shared_ptr<host::RecordBackend> backend_;
  harness::ComPtr<harness::Workspace> workspace_;
  harness::ComPtr<harness::IDataset> dataset_;
};

TEST_F(StandardDatasetComplete, SendsEveryBatchInBuilderOrder) {
  Create();
  // One distinctive part of each batch, in the order the builders send them.
  std::vector<std::string> parts = {
      "USE master\r\nCREATE DATABASE tavora_StandardDataset",
      "EXEC sp_fulltext_database",
      "EXEC sp_fulltext_catalog",
      "CREATE DEFAULT defGeneric",
      "CREATE RULE rulGeneric",
      "EXEC sp_addtype udtGeneric",
      "CREATE TABLE tblGeneric (",
      "INSERT INTO tblGeneric (",
  };
  parts.insert(parts.end(), 32, "EXEC sp_addextendedproperty");
  for (const char* part :
       {"CREATE TABLE tblParent (", "CREATE INDEX IX_ParentPhone",
        "CREATE UNIQUE INDEX IX_ParentFax", "EXEC sp_fulltext_table", "@colname='fldParentName'",
        "@colname='fldParentFax'", "CREATE TABLE tblChild (", "CREATE TRIGGER trgNewChild",
        "CREATE VIEW vwGeneric", "CREATE VIEW vwSchemaBound", "CREATE PROCEDURE spGeneric",
        "CREATE FUNCTION fnScalar(", "CREATE FUNCTION fnEncryptedScalar(",
        "CREATE FUNCTION fnSchemaBoundScalar(", "CREATE FUNCTION fnTableValued ("}) {
    parts.push_back(part);
  }
  std::vector<std::string> sent = Executed();
  ASSERT_EQ(sent.size(), 55u);
  for (std::size_t i = 0; i < sent.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_NE(sent[i].find(parts[i]), std::string::npos) << sent[i];
  }
  std::vector<std::string> calls = Calls();
  ASSERT_EQ(calls.size(), 58u);
  EXPECT_EQ(calls[0], "SetLoginTimeout");
  EXPECT_EQ(calls[1], "Open");
  EXPECT_EQ(calls[57], "Close");
}

TEST_F(StandardDatasetComplete, RecordsObjectsInEveryCollection) {
  Create();
  const std::pair<const char*, std::size_t> expected[] = {
      {"Defaults", 1},
      {"FullTextCatalogs", 1},
      {"Rules", 1},
      {"Publications", 0},
      {"StoredProcedures", 1},
      {"Tables", 3},
      {"UserDefinedDatatypes", 1},
      {"UserDefinedFunctions", 4},
      {"Views", 2},
  };
  Json collections = Collections();
  ASSERT_EQ(collections.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(expected[i].first);
    EXPECT_EQ(collections[i]["name"], expected[i].first);
    EXPECT_EQ(collections[i]["objects"].size(), expected[i].second);
  }
  Json tables = collections[5]["objects"];
  EXPECT_EQ(tables[0]["key"], "dbo.tblGeneric");
  EXPECT_EQ(tables[1]["key"], "dbo.tblParent");
  EXPECT_EQ(tables[2]["key"], "dbo.tblChild");
}

TEST_F(StandardDatasetComplete, FailedBuilderStopsCreateWithBothContextLines) {
  backend_->failures.push_back(
      {"Execute", u"CREATE VIEW vwGeneric", 1, harness::Error(208, u"Invalid object name.")});
  Failure failure = FailureOf([&] { Create(); });
  EXPECT_EQ(failure.number, 208);
  EXPECT_EQ(failure.text, "Invalid object name.");
  EXPECT_EQ(failure.trace, (std::vector<std::string>{"StandardDataset.CreateGenericView",
                                                     "StandardDataset.IDataset_Create"}));
  // Later builders and Close do not run; what was recorded before stays.
  EXPECT_EQ(Executed().size(), 49u);
  EXPECT_EQ(Calls().back(), "Execute");
  Json collections = Collections();
  EXPECT_EQ(collections[5]["objects"].size(), 3u);  // Tables
  EXPECT_TRUE(collections[8]["objects"].empty());   // Views
  EXPECT_TRUE(collections[4]["objects"].empty());   // StoredProcedures
  EXPECT_TRUE(collections[7]["objects"].empty());   // UserDefinedFunctions
}

}  // namespace
}  // namespace tavora::testing
