// tblParent and tblChild: keys, indexes, a check, a foreign key, a trigger
// and full-text indexing, with the changes SQL Server is expected to refuse.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "datasets/batch.h"
#include "datasets/model_rows.h"
#include "datasets/standard/builders.h"
#include "datasets/standard/display_properties.h"
#include "library/vxhandler.h"

namespace tavora::standard {
namespace {

// One cell of a model table that has a column per object: a property record
// without its name, or absent when the object does not get the property.
struct Cell {
  bool present = false;
  Value original;
  bool modifiable = false;
  Value new_value;
  std::u16string_view note;
};

constexpr Cell ModCell(Value original, Value new_value, std::u16string_view note = u"") {
  return {true, original, true, new_value, note};
}
constexpr Cell FixedCell(Value original) { return {true, original, false, kNull, u""}; }
inline constexpr Cell kAbsent{};

// One property of a model table, with a cell for each of its N objects.
template <std::size_t N>
struct GridRow {
  std::u16string_view property;
  Cell cells[N];
};

// The key and type name of one column of a model table.
struct GridObject {
  std::u16string_view key;
  std::u16string_view type_name;
};

// Adds the objects in column order, each followed by its present cells in
// row order.
template <std::size_t N, std::size_t R>
void AddGrid(harness::ModelCollection& collection, std::u16string_view class_name,
             const GridObject (&objects)[N], const GridRow<N> (&rows)[R]) {
  for (std::size_t i = 0; i < N; ++i) {
    auto object = AddObject(collection, objects[i].key, class_name, objects[i].type_name);
    for (const GridRow<N>& row : rows) {
      const Cell& cell = row.cells[i];
      if (!cell.present) continue;
      AddProperty(*object,
                  {row.property, cell.original, cell.modifiable, cell.new_value, cell.note});
    }
  }
}

// A table's full-text records sit between Filter and LinkChildFields: after
// Name and Owner the table records run in alphabetical order.
void AddTableProperties(harness::ModelObject& table, std::span<const PropertyRow> names,
                        std::span<const PropertyRow> full_text) {
  std::span<const PropertyRow> display = DisplayProperties();
  std::size_t split = 0;
  while (split < display.size() && display[split].name != u"LinkChildFields") ++split;
  AddProperties(table, names);
  AddProperties(table, display.first(split));
  AddProperties(table, full_text);
  AddProperties(table, display.subspan(split));
}

constexpr char16_t kCaseInsensitive[] = u"SQL_Latin1_General_CP1_CI_AS";
constexpr char16_t kCaseSensitive[] = u"SQL_Latin1_General_CP1_CS_AS";

// ---- tblParent ----

std::u16string FullTextColumnStatement(std::u16string_view column) {
  std::u16string column_line = u", @colname='";
  column_line += column;
  column_line += u"'";
  return JoinLines(
      {u"EXEC sp_fulltext_column", u"  @tabname='dbo.tblParent'", column_line, u", @action='add'"});
}

// The six batches, each sent on its own and in this order.
std::vector<std::u16string> ParentBatches(std::u16string_view database) {
  return {
      PlainBatch(database, JoinLines({
                               u"CREATE TABLE tblParent (",
                               u"fldParentID INT CONSTRAINT PK_ParentID PRIMARY KEY NONCLUSTERED,",
                               u"fldParentName VARCHAR(32)",
                               u"  CONSTRAINT IX_ParentName UNIQUE NONCLUSTERED",
                               u"  CONSTRAINT CK_ParentName CHECK ([fldParentName] <> 'Tallock'),",
                               u"fldParentPhone VARCHAR(16),",
                               u"fldParentFax VARCHAR(16))",
                           })),
      PlainBatch(database, u"CREATE INDEX IX_ParentPhone ON tblParent([fldParentPhone])"),
      PlainBatch(database, u"CREATE UNIQUE INDEX IX_ParentFax ON tblParent([fldParentFax])"),
      StandardBatch(database, JoinLines({
                                  u"EXEC sp_fulltext_table",
                                  u"  @tabname='dbo.tblParent'",
                                  u", @action='create'",
                                  u", @ftcat='Catalog1'",
                                  u", @keyname='PK_ParentID'",
                              })),
      StandardBatch(database, FullTextColumnStatement(u"fldParentName")),
      StandardBatch(database, FullTextColumnStatement(u"fldParentFax")),
  };
}

constexpr PropertyRow kParentTableNames[] = {
    Mod(u"Name", S(u"tblParent"), S(u"Parent Table")),
    Fixed(u"Owner", S(u"dbo")),
};

constexpr PropertyRow kParentTableFullText[] = {
    Fixed(u"FullTextCatalog", S(u"Catalog1")),
    Fixed(u"FullTextIndexingEnabled", B(true)),
    Fixed(u"FullTextUniqueKeyColumn", S(u"fldParentID")),
    Fixed(u"FullTextUniqueKeyIndex", S(u"PK_ParentID")),
};

// SQL Server's refusals, quoted with the new names of columns and indexes.
constexpr char16_t kParentIdNullsNote[] =
    u"If we attempt to modify, SQL Server reports \"ALTER TABLE ALTER COLUMN Parent ID Field "
    u"failed because PRIMARY KEY CONSTRAINT PK_ParentID accesses this column.\"";
constexpr char16_t kParentNameNullsNote[] =
    u"If we attempt to modify, SQL Server reports \"ALTER TABLE ALTER COLUMN Parent Name Field "
    u"failed because UNIQUE CONSTRAINT IX_ParentName accesses this column.\"";
constexpr char16_t kParentPhoneNullsNote[] =
    u"If we attempt to modify, SQL Server reports \"ALTER TABLE ALTER COLUMN Parent Phone Field "
    u"failed because INDEX IX_ParentPhone accesses this column.\"";
constexpr char16_t kParentFaxNullsNote[] =
    u"If we attempt to modify, SQL Server reports \"ALTER TABLE ALTER COLUMN Parent Fax Field "
    u"failed because INDEX IX_ParentFax accesses this column.\"";
constexpr char16_t kParentNameCollationNote[] =
    u"If we attempt to change, SQL Server reports 'The object 'Parent Name Index' is dependent "
    u"on column 'Parent Name Field'. ALTER TABLE ALTER COLUMN Parent Name Field failed because "
    u"one or more objects access this column.'";
constexpr char16_t kParentPhoneCollationNote[] =
    u"If we attempt to change, SQL Server reports 'The index 'Parent Phone Index' is dependent "
    u"on column 'Parent Phone Field'. ALTER TABLE ALTER COLUMN Parent Phone Field failed because "
    u"one or more objects access this column.'";
constexpr char16_t kParentFaxCollationNote[] =
    u"If we attempt to change, SQL Server reports 'The index 'Parent Fax Index' is dependent "
    u"on column 'Parent Fax Field'. ALTER TABLE ALTER COLUMN Parent Fax Field failed because "
    u"one or more objects access this column.'";

constexpr GridObject kParentColumns[] = {
    {u"fldParentID", u"int"},
    {u"fldParentName", u"varchar"},
    {u"fldParentPhone", u"varchar"},
    {u"fldParentFax", u"varchar"},
};

constexpr GridRow<4> kParentColumnRows[] = {
    {u"Name",
     {ModCell(S(u"fldParentID"), S(u"Parent ID Field")),
      ModCell(S(u"fldParentName"), S(u"Parent Name Field")),
      ModCell(S(u"fldParentPhone"), S(u"Parent Phone Field")),
      ModCell(S(u"fldParentFax"), S(u"Parent Fax Field"))}},
    {u"AllowNulls",
     {ModCell(B(false), kNull, kParentIdNullsNote), ModCell(B(true), kNull, kParentNameNullsNote),
      ModCell(B(true), kNull, kParentPhoneNullsNote),
      ModCell(B(true), kNull, kParentFaxNullsNote)}},
    {u"Caption",
     {ModCell(S(u""), S(u"My Caption")), ModCell(S(u""), S(u"My Caption")),
      ModCell(S(u""), S(u"My Caption")), ModCell(S(u""), S(u"My Caption"))}},
    {u"Collation",
     {kAbsent, ModCell(S(kCaseInsensitive), kNull, kParentNameCollationNote),
      ModCell(S(kCaseInsensitive), kNull, kParentPhoneCollationNote),
      ModCell(S(kCaseInsensitive), kNull, kParentFaxCollationNote)}},
    {u"DataType",
     {FixedCell(S(u"int")), FixedCell(S(u"varchar")), FixedCell(S(u"varchar")),
      FixedCell(S(u"varchar"))}},
    {u"DefaultValue",
     {ModCell(S(u""), S(u"(1)")), ModCell(S(u""), S(u"('Tallock')")),
      ModCell(S(u""), S(u"('800-555-1212')")), ModCell(S(u""), S(u"('800-555-1212')"))}},
    {u"Description",
     {ModCell(S(u""), S(u"Parent ID")), ModCell(S(u""), S(u"Parent Name")),
      ModCell(S(u""), S(u"Parent Phone")), ModCell(S(u""), S(u"Parent Fax"))}},
    {u"DisplayControl",
     {FixedCell(L(109)), FixedCell(L(109)), FixedCell(L(109)), FixedCell(L(109))}},
    {u"Formula",
     {ModCell(S(u""), kNull), ModCell(S(u""), kNull), ModCell(S(u""), kNull),
      ModCell(S(u""), kNull)}},
    {u"Furigana",
     {kAbsent, ModCell(S(u""), S(u"colFurigana")), ModCell(S(u""), S(u"colFurigana")),
      ModCell(S(u""), S(u"colFurigana"))}},
    {u"SupportsFullTextQueries",
     {FixedCell(B(false)), FixedCell(B(true)), FixedCell(B(false)), FixedCell(B(true))}},
    {u"FullTextLanguage", {kAbsent, FixedCell(L(1033)), kAbsent, FixedCell(L(1033))}},
    {u"Hyperlink",
     {kAbsent, ModCell(B(false), B(true)), ModCell(B(false), B(true)), ModCell(B(false), B(true))}},
    {u"IMEMode", {kAbsent, ModCell(L(0), L(4)), ModCell(L(0), L(4)), ModCell(L(0), L(4))}},
    {u"IMESentenceMode", {kAbsent, ModCell(L(3), L(0)), ModCell(L(3), L(0)), ModCell(L(3), L(0))}},
    {u"InputMask",
     {kAbsent, ModCell(S(u""), S(u"###-###-####")), ModCell(S(u""), S(u"###-###-####")),
      ModCell(S(u""), S(u"###-###-####"))}},
    {u"Length", {kAbsent, FixedCell(L(32)), FixedCell(L(16)), FixedCell(L(16))}},
    {u"PostalAddress",
     {kAbsent, ModCell(S(u""), S(u"colPostalAddress")), ModCell(S(u""), S(u"colPostalAddress")),
      ModCell(S(u""), S(u"colPostalAddress"))}},
};

// The driver's IndexType codes: 0 non-unique index, 1 unique index, 2 unique
// constraint, 3 primary key constraint.
constexpr GridObject kParentIndexes[] = {
    {u"PK_ParentID", u"PrimaryKeyConstraint"},
    {u"IX_ParentName", u"UniqueConstraint"},
    {u"IX_ParentPhone", u"Non-unique"},
    {u"IX_ParentFax", u"Unique"},
};

constexpr GridRow<4> kParentIndexRows[] = {
    {u"Name",
     {ModCell(S(u"PK_ParentID"), S(u"Parent ID Index")),
      ModCell(S(u"IX_ParentName"), S(u"Parent Name Index")),
      ModCell(S(u"IX_ParentPhone"), S(u"Parent Phone Index")),
      ModCell(S(u"IX_ParentFax"), S(u"Parent Fax Index"))}},
    {u"AllowDupRow", {kAbsent, kAbsent, FixedCell(B(false)), kAbsent}},
    {u"Clustered",
     {FixedCell(B(false)), FixedCell(B(false)), FixedCell(B(false)), FixedCell(B(false))}},
    {u"Columns",
     {FixedCell(S(u"fldParentID")), FixedCell(S(u"fldParentName")), FixedCell(S(u"fldParentPhone")),
      FixedCell(S(u"fldParentFax"))}},
    {u"FillFactor", {FixedCell(L(0)), FixedCell(L(0)), FixedCell(L(0)), FixedCell(L(0))}},
    {u"IgnoreDupRow", {kAbsent, kAbsent, FixedCell(B(false)), kAbsent}},
    {u"IgnoreDupKey", {kAbsent, kAbsent, kAbsent, FixedCell(B(false))}},
    {u"IndexType", {FixedCell(L(3)), FixedCell(L(2)), FixedCell(L(0)), FixedCell(L(1))}},
};

constexpr PropertyRow kParentNameCheck[] = {
    Mod(u"Name", S(u"CK_ParentName"), S(u"Parent Name Check")),
    Mod(u"EnableForInsert", B(true), B(false)),
    Mod(u"EnableForReplication", B(true), B(false)),
    Mod(u"Text", S(u"([fldParentName] <> 'Tallock')"), S(u"([Parent Name Field] <> 'Tallock')")),
};

// ---- tblChild ----

std::u16string ChildTableStatement() {
  return JoinLines({
      u"CREATE TABLE tblChild (",
      u"fldChildID INT,",
      u"fldChildName VARCHAR(32),",
      u"fldParentID INT CONSTRAINT FK_Parent FOREIGN KEY REFERENCES tblParent(fldParentID))",
  });
}

constexpr char16_t kTriggerStatement[] =
    u"CREATE TRIGGER trgNewChild ON tblChild FOR INSERT AS EXEC master..xp_sendmail "
    u"'SalesMgr','A new child record was entered.'";
constexpr char16_t kNewTriggerStatement[] =
    u"CREATE TRIGGER [New Child Trigger] ON [Child Table] FOR INSERT AS EXEC "
    u"master..xp_sendmail 'SalesMgr','A new child record was entered.'";

constexpr PropertyRow kChildTableNames[] = {
    Mod(u"Name", S(u"tblChild"), S(u"Child Table")),
    Fixed(u"Owner", S(u"dbo")),
};

// The child table is not indexed, so it reports only an empty catalog.
constexpr PropertyRow kChildTableFullText[] = {
    Fixed(u"FullTextCatalog", S(u"")),
};

constexpr GridObject kChildColumns[] = {
    {u"fldChildID", u"int"},
    {u"fldChildName", u"varchar"},
    {u"fldParentID", u"int"},
};

constexpr GridRow<3> kChildColumnRows[] = {
    {u"Name",
     {ModCell(S(u"fldChildID"), S(u"Child ID Field")),
      ModCell(S(u"fldChildName"), S(u"Child Name Field")),
      ModCell(S(u"fldParentID"), S(u"Parent ID Field"))}},
    {u"AllowNulls",
     {ModCell(B(true), B(false)), ModCell(B(true), B(false)), ModCell(B(true), B(false))}},
    {u"Caption",
     {ModCell(S(u""), S(u"My Caption")), ModCell(S(u""), S(u"My Caption")),
      ModCell(S(u""), S(u"My Caption"))}},
    {u"Collation", {kAbsent, ModCell(S(kCaseInsensitive), S(kCaseSensitive)), kAbsent}},
    {u"DataType", {FixedCell(S(u"int")), FixedCell(S(u"varchar")), FixedCell(S(u"int"))}},
    {u"DefaultValue",
     {ModCell(S(u""), S(u"(1)")), ModCell(S(u""), S(u"('Orvik')")), ModCell(S(u""), S(u"(1)"))}},
    {u"Description",
     {ModCell(S(u""), S(u"Child ID")), ModCell(S(u""), S(u"Child Name")),
      ModCell(S(u""), S(u"Parent ID (foreign key)"))}},
    {u"DisplayControl", {FixedCell(L(109)), FixedCell(L(109)), FixedCell(L(109))}},
    {u"Formula", {ModCell(S(u""), kNull), ModCell(S(u""), kNull), ModCell(S(u""), kNull)}},
    {u"Furigana", {kAbsent, ModCell(S(u""), S(u"colFurigana")), kAbsent}},
    {u"SupportsFullTextQueries", {FixedCell(B(false)), FixedCell(B(false)), FixedCell(B(false))}},
    {u"Hyperlink", {kAbsent, ModCell(B(false), B(true)), kAbsent}},
    {u"IMEMode", {kAbsent, ModCell(L(0), L(4)), kAbsent}},
    {u"IMESentenceMode", {kAbsent, ModCell(L(3), L(0)), kAbsent}},
    {u"InputMask", {kAbsent, ModCell(S(u""), S(u"###-###-####")), kAbsent}},
    {u"Length", {kAbsent, FixedCell(L(32)), kAbsent}},
    {u"PostalAddress", {kAbsent, ModCell(S(u""), S(u"colPostalAddress")), kAbsent}},
};

constexpr PropertyRow kParentRelationship[] = {
    Mod(u"Name", S(u"FK_Parent"), S(u"Parent Relationship")),
    Fixed(u"EnableForInsert", B(true)),
    Fixed(u"EnableForReplication", B(true)),
    Fixed(u"KeyColumns", S(u"fldParentID")),
    Fixed(u"ReferencedTable", S(u"tblParent")),
    Fixed(u"ReferencedColumns", S(u"fldParentID")),
};

constexpr PropertyRow kNewChildTrigger[] = {
    Mod(u"Name", S(u"trgNewChild"), S(u"New Child Trigger")),
    Fixed(u"Owner", S(u"dbo")),
    Mod(u"Text", S(kTriggerStatement), S(kNewTriggerStatement)),
};

}  // namespace

void CreateParentTable(harness::ModelProject& project, harness::SqlSession& session,
                       const std::u16string& database) {
  Trap(kModule, u"CreateParentTable", [&] {
    for (const std::u16string& batch : ParentBatches(database)) Execute(session, batch);

    auto table =
        AddObject(*ProjectCollection(project, u"Tables"), u"dbo.tblParent", u"MSSQL80.Table", u"");
    AddTableProperties(*table, kParentTableNames, kParentTableFullText);
    AddGrid(*table->Collection(u"Columns"), u"MSSQL80.Column", kParentColumns, kParentColumnRows);
    AddGrid(*table->Collection(u"Indexes"), u"MSSQL80.Index", kParentIndexes, kParentIndexRows);
    auto check = AddObject(*table->Collection(u"Checks"), u"CK_ParentName", u"MSSQL80.Check", u"");
    AddProperties(*check, kParentNameCheck);
  });
}

void CreateChildTable(harness::ModelProject& project, harness::SqlSession& session,
                      const std::u16string& database) {
  Trap(kModule, u"CreateChildTable", [&] {
    Execute(session, PlainBatch(database, ChildTableStatement()));
    Execute(session, StandardBatch(database, kTriggerStatement));

    auto table =
        AddObject(*ProjectCollection(project, u"Tables"), u"dbo.tblChild", u"MSSQL80.Table", u"");
    AddTableProperties(*table, kChildTableNames, kChildTableFullText);
    AddGrid(*table->Collection(u"Columns"), u"MSSQL80.Column", kChildColumns, kChildColumnRows);
    auto relationship =
        AddObject(*table->Collection(u"Relationships"), u"FK_Parent", u"MSSQL80.Relationship", u"");
    AddProperties(*relationship, kParentRelationship);
    auto trigger =
        AddObject(*table->Collection(u"Triggers"), u"trgNewChild", u"MSSQL80.Trigger", u"");
    AddProperties(*trigger, kNewChildTrigger);
  });
}

}  // namespace tavora::standard
