#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "datasets/standard/builders.h"
#include "tests/datasets/standard_builder_fixture.h"

namespace tavora::testing {
namespace {

using ParentTable = StandardBuilderTest;
using ChildTable = StandardBuilderTest;

constexpr char kUse[] = "USE tavora_StandardDataset\r\n";
constexpr char kUseGo[] = "USE tavora_StandardDataset\r\nGO\r\n";

TEST_F(ParentTable, SendsSixBatchesWithTheirPrefixes) {
  standard::CreateParentTable(*project_, *session_, kDatabase);
  const std::vector<std::string> expected = {
      std::string(kUse) +
          "CREATE TABLE tblParent (\r\n"
          "fldParentID INT CONSTRAINT PK_ParentID PRIMARY KEY NONCLUSTERED,\r\n"
          "fldParentName VARCHAR(32)\r\n"
          "  CONSTRAINT IX_ParentName UNIQUE NONCLUSTERED\r\n"
          "  CONSTRAINT CK_ParentName CHECK ([fldParentName] <> 'Tallock'),\r\n"
          "fldParentPhone VARCHAR(16),\r\n"
          "fldParentFax VARCHAR(16))",
      std::string(kUse) + "CREATE INDEX IX_ParentPhone ON tblParent([fldParentPhone])",
      std::string(kUse) + "CREATE UNIQUE INDEX IX_ParentFax ON tblParent([fldParentFax])",
      std::string(kUseGo) +
          "EXEC sp_fulltext_table\r\n"
          "  @tabname='dbo.tblParent'\r\n"
          ", @action='create'\r\n"
          ", @ftcat='Catalog1'\r\n"
          ", @keyname='PK_ParentID'",
      std::string(kUseGo) +
          "EXEC sp_fulltext_column\r\n"
          "  @tabname='dbo.tblParent'\r\n"
          ", @colname='fldParentName'\r\n"
          ", @action='add'",
      std::string(kUseGo) +
          "EXEC sp_fulltext_column\r\n"
          "  @tabname='dbo.tblParent'\r\n"
          ", @colname='fldParentFax'\r\n"
          ", @action='add'",
  };
  EXPECT_EQ(Executed(), expected);
}

TEST_F(ParentTable, RecordsTableWithFullTextRecordsAmongTheDisplayRecords) {
  standard::CreateParentTable(*project_, *session_, kDatabase);
  Json tables = Objects("Tables");
  ASSERT_EQ(tables.size(), 1u);
  const Json& table = tables[0];
  EXPECT_EQ(table["key"], "dbo.tblParent");
  EXPECT_EQ(table["class"], "MSSQL80.Table");
  EXPECT_EQ(table["type"], "");
  const std::vector<std::string> names = Words(
      "Name Owner DefaultView Filter FullTextCatalog FullTextIndexingEnabled "
      "FullTextUniqueKeyColumn FullTextUniqueKeyIndex LinkChildFields LinkMasterFields "
      "OrderBy SubdatasheetExpanded SubdatasheetHeight SubdatasheetName");
  EXPECT_EQ(PropertyNames(table), names);
  EXPECT_EQ(Property(table, "Name"), Record("Name", Str("tblParent"), true, Str("Parent Table")));
  EXPECT_EQ(Property(table, "FullTextIndexingEnabled"),
            Record("FullTextIndexingEnabled", Bool(true), false, nullptr));
  EXPECT_EQ(Property(table, "FullTextUniqueKeyIndex"),
            Record("FullTextUniqueKeyIndex", Str("PK_ParentID"), false, nullptr));
  EXPECT_EQ(Property(table, "SubdatasheetHeight"),
            Record("SubdatasheetHeight", Long(0), true, Long(2880)));
}

TEST_F(ParentTable, ColumnsCarryTheirTypesAndPropertySets) {
  standard::CreateParentTable(*project_, *session_, kDatabase);
  Json columns = Children(Objects("Tables")[0], "Columns");
  const std::vector<std::string> id_names = Words(
      "Name AllowNulls Caption DataType DefaultValue Description DisplayControl Formula "
      "SupportsFullTextQueries");
  const std::vector<std::string> character_names = Words(
      "Name AllowNulls Caption Collation DataType DefaultValue Description DisplayControl Formula "
      "Furigana SupportsFullTextQueries FullTextLanguage Hyperlink IMEMode IMESentenceMode "
      "InputMask Length PostalAddress");
  std::vector<std::string> phone_names = character_names;
  std::erase(phone_names, "FullTextLanguage");
  struct Row {
    const char* key;
    const char* type;
    const std::vector<std::string>& names;
    bool full_text;
    int length;  // 0: no Length record
  };
  const Row rows[] = {
      {"fldParentID", "int", id_names, false, 0},
      {"fldParentName", "varchar", character_names, true, 32},
      {"fldParentPhone", "varchar", phone_names, false, 16},
      {"fldParentFax", "varchar", character_names, true, 16},
  };
  ASSERT_EQ(columns.size(), std::size(rows));
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    const Row& row = rows[i];
    SCOPED_TRACE(row.key);
    const Json& column = columns[i];
    EXPECT_EQ(column["key"], row.key);
    EXPECT_EQ(column["class"], "MSSQL80.Column");
    EXPECT_EQ(column["type"], row.type);
    EXPECT_EQ(PropertyNames(column), row.names);
    EXPECT_EQ(Property(column, "SupportsFullTextQueries")["value"], Bool(row.full_text));
    if (row.length) {
      EXPECT_EQ(Property(column, "Length")["value"], Long(row.length));
    }
  }
  EXPECT_EQ(Property(columns[2], "DefaultValue"),
            Record("DefaultValue", Str(""), true, Str("('800-555-1212')")));
}

TEST_F(ParentTable, RefusedChangesCarryTheServerMessages) {
  standard::CreateParentTable(*project_, *session_, kDatabase);
  Json columns = Children(Objects("Tables")[0], "Columns");
  struct Row {
    const char* column;
    const char* property;
    bool original_nulls;
    const char* note;
  };
  const Row rows[] = {
      {"fldParentID", "AllowNulls", false,
       "If we attempt to modify, SQL Server reports \"ALTER TABLE ALTER COLUMN Parent ID Field "
       "failed because PRIMARY KEY CONSTRAINT PK_ParentID accesses this column.\""},
      {"fldParentName", "AllowNulls", true,
       "If we attempt to modify, SQL Server reports \"ALTER TABLE ALTER COLUMN Parent Name Field "
       "failed because UNIQUE CONSTRAINT IX_ParentName accesses this column.\""},
      {"fldParentPhone", "AllowNulls", true,
       "If we attempt to modify, SQL Server reports \"ALTER TABLE ALTER COLUMN Parent Phone Field "
       "failed because INDEX IX_ParentPhone accesses this column.\""},
      {"fldParentFax", "AllowNulls", true,
       "If we attempt to modify, SQL Server reports \"ALTER TABLE ALTER COLUMN Parent Fax Field "
       "failed because INDEX IX_ParentFax accesses this column.\""},
      {"fldParentName", "Collation", false,
       "If we attempt to change, SQL Server reports 'The object 'Parent Name Index' is dependent "
       "on column 'Parent Name Field'. ALTER TABLE ALTER COLUMN Parent Name Field failed because "
       "one or more objects access this column.'"},
      {"fldParentPhone", "Collation", false,
       "If we attempt to change, SQL Server reports 'The index 'Parent Phone Index' is dependent "
       "on column 'Parent Phone Field'. ALTER TABLE ALTER COLUMN Parent Phone Field failed "
       "because one or more objects access this column.'"},
      {"fldParentFax", "Collation", false,
       "If we attempt to change, SQL Server reports 'The index 'Parent Fax Index' is dependent "
       "on column 'Parent Fax Field'. ALTER TABLE ALTER COLUMN Parent Fax Field failed because "
       "one or more objects access this column.'"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.column) + "." + row.property);
    Json original = std::string(row.property) == "AllowNulls" ? Bool(row.original_nulls)
                                                              : Str("SQL_Latin1_General_CP1_CI_AS");
    EXPECT_EQ(Property(Find(columns, row.column), row.property),
              Record(row.property, original, true, nullptr, row.note));
  }
}

TEST_F(ParentTable, IndexesCarryTypeNamesAndIndexTypeCodes) {
  standard::CreateParentTable(*project_, *session_, kDatabase);
  Json indexes = Children(Objects("Tables")[0], "Indexes");
  struct Row {
    const char* key;
    const char* type;
    int code;
    const char* names;
  };
  const Row rows[] = {
      {"PK_ParentID", "PrimaryKeyConstraint", 3, "Name Clustered Columns FillFactor IndexType"},
      {"IX_ParentName", "UniqueConstraint", 2, "Name Clustered Columns FillFactor IndexType"},
      {"IX_ParentPhone", "Non-unique", 0,
       "Name AllowDupRow Clustered Columns FillFactor IgnoreDupRow IndexType"},
      {"IX_ParentFax", "Unique", 1, "Name Clustered Columns FillFactor IgnoreDupKey IndexType"},
  };
  ASSERT_EQ(indexes.size(), std::size(rows));
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    const Row& row = rows[i];
    SCOPED_TRACE(row.key);
    const Json& index = indexes[i];
    EXPECT_EQ(index["key"], row.key);
    EXPECT_EQ(index["class"], "MSSQL80.Index");
    EXPECT_EQ(index["type"], row.type);
    EXPECT_EQ(PropertyNames(index), Words(row.names));
    EXPECT_EQ(Property(index, "IndexType"), Record("IndexType", Long(row.code), false, nullptr));
  }
  EXPECT_EQ(Property(indexes[2], "Name"),
            Record("Name", Str("IX_ParentPhone"), true, Str("Parent Phone Index")));
}

TEST_F(ParentTable, CheckRecordsItsConditionInParentheses) {
  standard::CreateParentTable(*project_, *session_, kDatabase);
  Json checks = Children(Objects("Tables")[0], "Checks");
  ASSERT_EQ(checks.size(), 1u);
  EXPECT_EQ(checks[0]["key"], "CK_ParentName");
  EXPECT_EQ(checks[0]["class"], "MSSQL80.Check");
  const Json expected = Json::array({
      Record("Name", Str("CK_ParentName"), true, Str("Parent Name Check")),
      Record("EnableForInsert", Bool(true), true, Bool(false)),
      Record("EnableForReplication", Bool(true), true, Bool(false)),
      Record("Text", Str("([fldParentName] <> 'Tallock')"), true,
             Str("([Parent Name Field] <> 'Tallock')")),
  });
  EXPECT_EQ(checks[0]["properties"], expected);
}

TEST_F(ParentTable, FailedFullTextRegistrationLeavesNoModelEntry) {
  FailExecute(u"sp_fulltext_table");
  Failure failure =
      FailureOf([&] { standard::CreateParentTable(*project_, *session_, kDatabase); });
  EXPECT_EQ(failure.number, 2714);
  EXPECT_EQ(failure.text, "There is already an object.");
  EXPECT_EQ(failure.trace, std::vector<std::string>{"StandardDataset.CreateParentTable"});
  EXPECT_EQ(Executed().size(), 4u);  // the column registrations are not sent
  EXPECT_TRUE(Objects("Tables").empty());
}

TEST_F(ChildTable, SendsTableThenTrigger) {
  standard::CreateChildTable(*project_, *session_, kDatabase);
  const std::vector<std::string> expected = {
      std::string(kUse) +
          "CREATE TABLE tblChild (\r\n"
          "fldChildID INT,\r\n"
          "fldChildName VARCHAR(32),\r\n"
          "fldParentID INT CONSTRAINT FK_Parent FOREIGN KEY REFERENCES tblParent(fldParentID))",
      std::string(kUseGo) +
          "CREATE TRIGGER trgNewChild ON tblChild FOR INSERT AS EXEC master..xp_sendmail "
          "'SalesMgr','A new child record was entered.'",
  };
  EXPECT_EQ(Executed(), expected);
}

TEST_F(ChildTable, RecordsTableColumnsRelationshipAndTrigger) {
  standard::CreateChildTable(*project_, *session_, kDatabase);
  Json tables = Objects("Tables");
  ASSERT_EQ(tables.size(), 1u);
  const Json& table = tables[0];
  EXPECT_EQ(table["key"], "dbo.tblChild");
  const std::vector<std::string> names = Words(
      "Name Owner DefaultView Filter FullTextCatalog LinkChildFields LinkMasterFields "
      "OrderBy SubdatasheetExpanded SubdatasheetHeight SubdatasheetName");
  EXPECT_EQ(PropertyNames(table), names);
  EXPECT_EQ(Property(table, "FullTextCatalog"), Record("FullTextCatalog", Str(""), false, nullptr));

  Json columns = Children(table, "Columns");
  ASSERT_EQ(columns.size(), 3u);
  EXPECT_EQ(columns[0]["key"], "fldChildID");
  EXPECT_EQ(columns[1]["key"], "fldChildName");
  EXPECT_EQ(columns[2]["key"], "fldParentID");
  EXPECT_EQ(columns[2]["type"], "int");
  EXPECT_EQ(PropertyNames(columns[2]),
            Words("Name AllowNulls Caption DataType DefaultValue Description DisplayControl "
                  "Formula SupportsFullTextQueries"));
  // Unlike the parent's columns, these changes are expected to succeed.
  EXPECT_EQ(Property(columns[2], "AllowNulls"),
            Record("AllowNulls", Bool(true), true, Bool(false)));
  EXPECT_EQ(Property(columns[2], "Description"),
            Record("Description", Str(""), true, Str("Parent ID (foreign key)")));
  EXPECT_EQ(Property(columns[1], "Collation"),
            Record("Collation", Str("SQL_Latin1_General_CP1_CI_AS"), true,
                   Str("SQL_Latin1_General_CP1_CS_AS")));
  EXPECT_EQ(Property(columns[1], "DefaultValue"),
            Record("DefaultValue", Str(""), true, Str("('Orvik')")));
  EXPECT_EQ(PropertyNames(columns[1]).size(), 17u);

  Json relationships = Children(table, "Relationships");
  ASSERT_EQ(relationships.size(), 1u);
  EXPECT_EQ(relationships[0]["key"], "FK_Parent");
  EXPECT_EQ(relationships[0]["class"], "MSSQL80.Relationship");
  EXPECT_EQ(PropertyNames(relationships[0]),
            Words("Name EnableForInsert EnableForReplication KeyColumns ReferencedTable "
                  "ReferencedColumns"));
  EXPECT_EQ(Property(relationships[0], "ReferencedTable"),
            Record("ReferencedTable", Str("tblParent"), false, nullptr));

  Json triggers = Children(table, "Triggers");
  ASSERT_EQ(triggers.size(), 1u);
  EXPECT_EQ(triggers[0]["key"], "trgNewChild");
  EXPECT_EQ(triggers[0]["class"], "MSSQL80.Trigger");
  // The recorded script is the statement sent, without its prefix.
  const std::string sent = Executed().at(1);
  ASSERT_EQ(sent.rfind(kUseGo, 0), 0u);
  const Json trigger = Json::array({
      Record("Name", Str("trgNewChild"), true, Str("New Child Trigger")),
      Record("Owner", Str("dbo"), false, nullptr),
      Record("Text", Str(sent.substr(std::string(kUseGo).size())), true,
             Str("CREATE TRIGGER [New Child Trigger] ON [Child Table] FOR INSERT AS EXEC "
                 "master..xp_sendmail 'SalesMgr','A new child record was entered.'")),
  });
  EXPECT_EQ(triggers[0]["properties"], trigger);
}

TEST_F(ChildTable, FailedTableBatchSendsNoTriggerAndRecordsNothing) {
  FailExecute(u"CREATE TABLE tblChild");
  Failure failure = FailureOf([&] { standard::CreateChildTable(*project_, *session_, kDatabase); });
  EXPECT_EQ(failure.trace, std::vector<std::string>{"StandardDataset.CreateChildTable"});
  EXPECT_EQ(Executed().size(), 1u);
  EXPECT_TRUE(Objects("Tables").empty());
}

}  // namespace
}  // namespace tavora::testing
