#ifndef TAVORA_TESTS_DATASETS_STANDARD_GENERIC_TABLE_TEXTS_H_
#define TAVORA_TESTS_DATASETS_STANDARD_GENERIC_TABLE_TEXTS_H_

#include <string>
#include <vector>

namespace tavora::testing {

// The batches the generic table builder sends, written out from the table
// design: the table, the row, and the extended-property statements.

inline constexpr char kCreateTable[] =
    "USE tavora_StandardDataset\r\n"
    "CREATE TABLE tblGeneric (\r\n"
    "fldBigInt BIGINT,\r\n"
    "fldBigInt_ComboBox BIGINT,\r\n"
    "fldBigInt_ListBox BIGINT,\r\n"
    "fldBinary BINARY,\r\n"
    "fldBit BIT,\r\n"
    "fldBit_CheckBox BIT,\r\n"
    "fldBit_ComboBox BIT,\r\n"
    "fldChar CHAR(32),\r\n"
    "fldChar_ComboBox CHAR(32),\r\n"
    "fldChar_ListBox CHAR(32),\r\n"
    "fldDateTime DATETIME,\r\n"
    "fldDecimal DECIMAL,\r\n"
    "fldDecimal_ComboBox DECIMAL,\r\n"
    "fldDecimal_ListBox DECIMAL,\r\n"
    "fldFloat FLOAT,\r\n"
    "fldFloat_ComboBox FLOAT,\r\n"
    "fldFloat_ListBox FLOAT,\r\n"
    "fldImage IMAGE,\r\n"
    "fldInt INT,\r\n"
    "fldInt_ComboBox INT,\r\n"
    "fldInt_ListBox INT,\r\n"
    "fldMoney MONEY,\r\n"
    "fldNChar NCHAR(32),\r\n"
    "fldNChar_ComboBox NCHAR(32),\r\n"
    "fldNChar_ListBox NCHAR(32),\r\n"
    "fldNText NTEXT,\r\n"
    "fldNText_ComboBox NTEXT,\r\n"
    "fldNText_ListBox NTEXT,\r\n"
    "fldNumeric NUMERIC,\r\n"
    "fldNumeric_ComboBox NUMERIC,\r\n"
    "fldNumeric_ListBox NUMERIC,\r\n"
    "fldNVarChar NVARCHAR(32),\r\n"
    "fldNVarChar_ComboBox NVARCHAR(32),\r\n"
    "fldNVarChar_ListBox NVARCHAR(32),\r\n"
    "fldReal REAL,\r\n"
    "fldReal_ComboBox REAL,\r\n"
    "fldReal_ListBox REAL,\r\n"
    "fldSmallDateTime SMALLDATETIME,\r\n"
    "fldSmallInt SMALLINT,\r\n"
    "fldSmallInt_ComboBox SMALLINT,\r\n"
    "fldSmallInt_ListBox SMALLINT,\r\n"
    "fldSmallMoney SMALLMONEY,\r\n"
    "fldSQLVariant SQL_VARIANT,\r\n"
    "fldText TEXT,\r\n"
    "fldText_ComboBox TEXT,\r\n"
    "fldText_ListBox TEXT,\r\n"
    "fldTimestamp TIMESTAMP,\r\n"
    "fldTinyInt TINYINT,\r\n"
    "fldTinyInt_ComboBox TINYINT,\r\n"
    "fldTinyInt_ListBox TINYINT,\r\n"
    "fldUniqueIdentifier UNIQUEIDENTIFIER,\r\n"
    "fldVarbinary VARBINARY,\r\n"
    "fldVarchar VARCHAR(32),\r\n"
    "fldVarchar_ComboBox VARCHAR(32),\r\n"
    "fldVarchar_ListBox VARCHAR(32),\r\n"
    "fldUserDefined udtGeneric,\r\n"
    "fldComputed AS fldDummy,\r\n"
    "fldDummy INT)";

// 56 columns: fldTimestamp and fldComputed are left out. One line, no USE.
inline constexpr char kInsertRow[] =
    "INSERT INTO tblGeneric ("
    "fldBigInt,fldBigInt_ComboBox,fldBigInt_ListBox,fldBinary,"
    "fldBit,fldBit_CheckBox,fldBit_ComboBox,"
    "fldChar,fldChar_ComboBox,fldChar_ListBox,fldDateTime,"
    "fldDecimal,fldDecimal_ComboBox,fldDecimal_ListBox,"
    "fldFloat,fldFloat_ComboBox,fldFloat_ListBox,fldImage,"
    "fldInt,fldInt_ComboBox,fldInt_ListBox,fldMoney,"
    "fldNChar,fldNChar_ComboBox,fldNChar_ListBox,"
    "fldNText,fldNText_ComboBox,fldNText_ListBox,"
    "fldNumeric,fldNumeric_ComboBox,fldNumeric_ListBox,"
    "fldNVarChar,fldNVarChar_ComboBox,fldNVarChar_ListBox,"
    "fldReal,fldReal_ComboBox,fldReal_ListBox,fldSmallDateTime,"
    "fldSmallInt,fldSmallInt_ComboBox,fldSmallInt_ListBox,fldSmallMoney,fldSQLVariant,"
    "fldText,fldText_ComboBox,fldText_ListBox,"
    "fldTinyInt,fldTinyInt_ComboBox,fldTinyInt_ListBox,fldUniqueIdentifier,fldVarbinary,"
    "fldVarchar,fldVarchar_ComboBox,fldVarchar_ListBox,fldUserDefined,fldDummy"
    ") VALUES ("
    "17,17,17,17,"
    "0,0,0,"
    "'Alpha','Alpha','Alpha','01/01/2001',"
    "31.99,31.99,31.99,"
    "31.99,31.99,31.99,'c:\\x.jpg',"
    "17,17,17,31.99,"
    "'Alpha','Alpha','Alpha',"
    "'Alpha','Alpha','Alpha',"
    "17,17,17,"
    "'Alpha','Alpha','Alpha',"
    "31.99,31.99,31.99,'01/01/2001',"
    "17,17,17,31.99,'Alpha',"
    "'Alpha','Alpha','Alpha',"
    "17,17,17,'{11111111-1111-1111-1111-111111111111}',17,"
    "'Alpha','Alpha','Alpha','Alpha',17"
    ")";

// The ten lines that set one extended property on a column of tblGeneric;
// `value` is the text after "@value=".
inline std::string PropertyStatement(const std::string& column, const std::string& property,
                                     const std::string& value) {
  const std::string lines[] = {
      "USE tavora_StandardDataset", "EXEC sp_addextendedproperty",
      "  @name='" + property + "'", ", @value=" + value,
      ", @level0type='user'",       ", @level0name='dbo'",
      ", @level1type='table'",      ", @level1name='tblGeneric'",
      ", @level2type='column'",     ", @level2name='" + column + "'",
  };
  std::string text;
  for (const std::string& line : lines) text += (text.empty() ? "" : "\r\n") + line;
  return text;
}

struct ExpectedProperty {
  const char* column;
  const char* property;
  const char* value;
};

// In the order they are set; the last two spell VarChar with a capital C.
inline constexpr ExpectedProperty kExpectedProperties[] = {
    {"fldBigInt", "MS_Description", "'This column stores bigint values.'"},
    {"fldBinary", "MS_Description", "'This column stores binary values.'"},
    {"fldBigInt_ComboBox", "MS_DisplayControl", "111"},
    {"fldBigInt_ListBox", "MS_DisplayControl", "110"},
    {"fldBit_CheckBox", "MS_DisplayControl", "106"},
    {"fldBit_ComboBox", "MS_DisplayControl", "111"},
    {"fldChar_ComboBox", "MS_DisplayControl", "111"},
    {"fldChar_ListBox", "MS_DisplayControl", "110"},
    {"fldDecimal_ComboBox", "MS_DisplayControl", "111"},
    {"fldDecimal_ListBox", "MS_DisplayControl", "110"},
    {"fldFloat_ComboBox", "MS_DisplayControl", "111"},
    {"fldFloat_ListBox", "MS_DisplayControl", "110"},
    {"fldInt_ComboBox", "MS_DisplayControl", "111"},
    {"fldInt_ListBox", "MS_DisplayControl", "110"},
    {"fldNChar_ComboBox", "MS_DisplayControl", "111"},
    {"fldNChar_ListBox", "MS_DisplayControl", "110"},
    {"fldNText_ComboBox", "MS_DisplayControl", "111"},
    {"fldNText_ListBox", "MS_DisplayControl", "110"},
    {"fldNumeric_ComboBox", "MS_DisplayControl", "111"},
    {"fldNumeric_ListBox", "MS_DisplayControl", "110"},
    {"fldNVarChar_ComboBox", "MS_DisplayControl", "111"},
    {"fldNVarChar_ListBox", "MS_DisplayControl", "110"},
    {"fldReal_ComboBox", "MS_DisplayControl", "111"},
    {"fldReal_ListBox", "MS_DisplayControl", "110"},
    {"fldSmallInt_ComboBox", "MS_DisplayControl", "111"},
    {"fldSmallInt_ListBox", "MS_DisplayControl", "110"},
    {"fldText_ComboBox", "MS_DisplayControl", "111"},
    {"fldText_ListBox", "MS_DisplayControl", "110"},
    {"fldTinyInt_ComboBox", "MS_DisplayControl", "111"},
    {"fldTinyInt_ListBox", "MS_DisplayControl", "110"},
    {"fldVarChar_ComboBox", "MS_DisplayControl", "111"},
    {"fldVarChar_ListBox", "MS_DisplayControl", "110"},
};

// Every batch of the generic table builder, in order.
inline std::vector<std::string> GenericTableBatches() {
  std::vector<std::string> batches = {kCreateTable, kInsertRow};
  for (const ExpectedProperty& p : kExpectedProperties) {
    batches.push_back(PropertyStatement(p.column, p.property, p.value));
  }
  return batches;
}

}  // namespace tavora::testing

#endif  // TAVORA_TESTS_DATASETS_STANDARD_GENERIC_TABLE_TEXTS_H_
