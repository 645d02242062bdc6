// tblGeneric: a column of every data type, display-control variants of most,
// a user-type column and a computed one; one row; column extended
// properties; the table object and its column objects.

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "datasets/batch.h"
#include "datasets/model_rows.h"
#include "datasets/standard/builders.h"
#include "datasets/standard/column_model.h"
#include "datasets/standard/display_properties.h"
#include "library/vxhandler.h"

namespace tavora::standard {
namespace {

// The insert leaves out the columns the server fills itself.
constexpr std::u16string_view kNotInserted = u"";

// One row per column, in declaration order: the column, its type in the
// declaration, its value in the row insert, and, where it differs, the name
// the MS_DisplayControl call passes for it.
struct TableColumn {
  std::u16string_view name;
  std::u16string_view declared_type;
  std::u16string_view value;
  std::u16string_view property_column = {};
};

// clang-format off
constexpr TableColumn kTableColumns[] = {
    {u"fldBigInt", u"BIGINT", u"17"},
    {u"fldBigInt_ComboBox", u"BIGINT", u"17"},
    {u"fldBigInt_ListBox", u"BIGINT", u"17"},
    {u"fldBinary", u"BINARY", u"17"},
    {u"fldBit", u"BIT", u"0"},
    {u"fldBit_CheckBox", u"BIT", u"0"},
    {u"fldBit_ComboBox", u"BIT", u"0"},
    {u"fldChar", u"CHAR(32)", u"'Alpha'"},
    {u"fldChar_ComboBox", u"CHAR(32)", u"'Alpha'"},
    {u"fldChar_ListBox", u"CHAR(32)", u"'Alpha'"},
    {u"fldDateTime", u"DATETIME", u"'01/01/2001'"},
    {u"fldDecimal", u"DECIMAL", u"31.99"},
    {u"fldDecimal_ComboBox", u"DECIMAL", u"31.99"},
    {u"fldDecimal_ListBox", u"DECIMAL", u"31.99"},
    {u"fldFloat", u"FLOAT", u"31.99"},
    {u"fldFloat_ComboBox", u"FLOAT", u"31.99"},
    {u"fldFloat_ListBox", u"FLOAT", u"31.99"},
    {u"fldImage", u"IMAGE", u"'c:\\x.jpg'"},
    {u"fldInt", u"INT", u"17"},
    {u"fldInt_ComboBox", u"INT", u"17"},
    {u"fldInt_ListBox", u"INT", u"17"},
    {u"fldMoney", u"MONEY", u"31.99"},
    {u"fldNChar", u"NCHAR(32)", u"'Alpha'"},
    {u"fldNChar_ComboBox", u"NCHAR(32)", u"'Alpha'"},
    {u"fldNChar_ListBox", u"NCHAR(32)", u"'Alpha'"},
    {u"fldNText", u"NTEXT", u"'Alpha'"},
    {u"fldNText_ComboBox", u"NTEXT", u"'Alpha'"},
    {u"fldNText_ListBox", u"NTEXT", u"'Alpha'"},
    {u"fldNumeric", u"NUMERIC", u"17"},
    {u"fldNumeric_ComboBox", u"NUMERIC", u"17"},
    {u"fldNumeric_ListBox", u"NUMERIC", u"17"},
    {u"fldNVarChar", u"NVARCHAR(32)", u"'Alpha'"},
    {u"fldNVarChar_ComboBox", u"NVARCHAR(32)", u"'Alpha'"},
    {u"fldNVarChar_ListBox", u"NVARCHAR(32)", u"'Alpha'"},
    {u"fldReal", u"REAL", u"31.99"},
    {u"fldReal_ComboBox", u"REAL", u"31.99"},
    {u"fldReal_ListBox", u"REAL", u"31.99"},
    {u"fldSmallDateTime", u"SMALLDATETIME", u"'01/01/2001'"},
    {u"fldSmallInt", u"SMALLINT", u"17"},
    {u"fldSmallInt_ComboBox", u"SMALLINT", u"17"},
    {u"fldSmallInt_ListBox", u"SMALLINT", u"17"},
    {u"fldSmallMoney", u"SMALLMONEY", u"31.99"},
    {u"fldSQLVariant", u"SQL_VARIANT", u"'Alpha'"},
    {u"fldText", u"TEXT", u"'Alpha'"},
    {u"fldText_ComboBox", u"TEXT", u"'Alpha'"},
    {u"fldText_ListBox", u"TEXT", u"'Alpha'"},
    {u"fldTimestamp", u"TIMESTAMP", kNotInserted},
    {u"fldTinyInt", u"TINYINT", u"17"},
    {u"fldTinyInt_ComboBox", u"TINYINT", u"17"},
    {u"fldTinyInt_ListBox", u"TINYINT", u"17"},
    {u"fldUniqueIdentifier", u"UNIQUEIDENTIFIER", u"'{11111111-1111-1111-1111-111111111111}'"},
    {u"fldVarbinary", u"VARBINARY", u"17"},
    {u"fldVarchar", u"VARCHAR(32)", u"'Alpha'"},
    // The calls spell these with a capital C; the case-insensitive default
    // collation makes them the declared columns.
    {u"fldVarchar_ComboBox", u"VARCHAR(32)", u"'Alpha'", u"fldVarChar_ComboBox"},
    {u"fldVarchar_ListBox", u"VARCHAR(32)", u"'Alpha'", u"fldVarChar_ListBox"},
    {u"fldUserDefined", u"udtGeneric", u"'Alpha'"},
    {u"fldComputed", u"AS fldDummy", kNotInserted},
    {u"fldDummy", u"INT", u"17"},
};
// clang-format on

struct ColumnDescription {
  std::u16string_view column;
  std::u16string_view description;
};

constexpr ColumnDescription kDescriptions[] = {
    {u"fldBigInt", kBigIntDescription},
    {u"fldBinary", kBinaryDescription},
};

// The table's own records: its name and owner, the display set, and the
// catalog it is not indexed in.
constexpr PropertyRow kTableHead[] = {
    Mod(u"Name", S(u"tblGeneric"), S(u"Generic Table")),
    Fixed(u"Owner", S(u"dbo")),
};
constexpr PropertyRow kTableTail[] = {
    Fixed(u"FullTextCatalog", S(u"")),
};

std::u16string CreateTableBatch(const std::u16string& database) {
  std::u16string statement = u"CREATE TABLE tblGeneric (";
  for (size_t i = 0; i < std::size(kTableColumns); ++i) {
    const TableColumn& column = kTableColumns[i];
    statement += u"\r\n";
    statement += column.name;
    statement += u" ";
    statement += column.declared_type;
    statement += i + 1 < std::size(kTableColumns) ? u"," : u")";
  }
  return PlainBatch(database, statement);
}

// One line, and no USE: it runs in the database the table batch selected.
std::u16string InsertRowBatch() {
  std::u16string names;
  std::u16string values;
  for (const TableColumn& column : kTableColumns) {
    if (column.value == kNotInserted) continue;
    if (!names.empty()) {
      names += u",";
      values += u",";
    }
    names += column.name;
    values += column.value;
  }
  return u"INSERT INTO tblGeneric (" + names + u") VALUES (" + values + u")";
}

void AddExtendedProperties(harness::SqlSession& session, const std::u16string& database) {
  auto add = [&](std::u16string_view column, std::u16string_view property, harness::Variant value) {
    AddColumnProperty(session, database, u"dbo", u"tblGeneric", std::u16string(column),
                      std::u16string(property), std::move(value));
  };
  for (const ColumnDescription& entry : kDescriptions) {
    add(entry.column, u"MS_Description",
        harness::Variant::String(std::u16string(entry.description)));
  }
  for (const TableColumn& column : kTableColumns) {
    const DisplayVariant* variant = VariantOf(column.name);
    if (!variant) continue;
    add(column.property_column.empty() ? column.name : column.property_column, u"MS_DisplayControl",
        harness::Variant::Long(variant->display_control));
  }
}

}  // namespace

void CreateGenericTable(harness::ModelProject& project, harness::SqlSession& session,
                        const std::u16string& database, const std::u16string& /*folder*/) {
  Trap(kModule, u"CreateGenericTable", [&] {
    Execute(session, CreateTableBatch(database));
    Execute(session, InsertRowBatch());
    AddExtendedProperties(session, database);

    auto tables = ProjectCollection(project, u"Tables");
    auto table = AddObject(*tables, u"dbo.tblGeneric", u"MSSQL80.Table", u"");
    AddProperties(*table, kTableHead);
    AddProperties(*table, DisplayProperties());
    AddProperties(*table, kTableTail);
    AddGenericTableColumns(*table->Collection(u"Columns"));
  });
}

}  // namespace tavora::standard
