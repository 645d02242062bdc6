// The column objects of tblGeneric: a column table, the standard record of
// each property, the exceptions that replace or drop records, and the lookup
// records of the combo and list box variants.

#include "datasets/standard/column_model.h"

#include <algorithm>
#include <cstdint>
#include <span>

#include "datasets/model_rows.h"

namespace tavora::standard {
namespace {

// Properties that only some columns get; the rest go to every column.
enum PropertySet : uint32_t {
  kAllColumns = 0,
  kCollation = 1u << 0,
  kDecimalPlaces = 1u << 1,
  kDisplayControl = 1u << 2,
  kFurigana = 1u << 3,
  kHyperlink = 1u << 4,
  kIMEMode = 1u << 5,
  kIMESentenceMode = 1u << 6,
  kInputMask = 1u << 7,
  kIdentity = 1u << 8,
  kNumericPrecision = 1u << 9,
  kNumericScale = 1u << 10,
  kLength32 = 1u << 11,
  kLength1 = 1u << 12,
  kPostalAddress = 1u << 13,
  kIsRowGuid = 1u << 14,
};

// C, the character family: char, nchar, nvarchar, varchar and variants.
constexpr uint32_t kCharacterFamily = kCollation | kFurigana | kHyperlink | kIMEMode |
                                      kIMESentenceMode | kInputMask | kLength32 | kPostalAddress;

enum class Family {
  kNoFamily,
  kCharacter,  // C
  kText,       // T: text, ntext and variants; C without Length
  kUserType,   // C without Collation
};

uint32_t FamilyProperties(Family family) {
  switch (family) {
    case Family::kNoFamily:
      return 0;
    case Family::kCharacter:
      return kCharacterFamily;
    case Family::kText:
      return kCharacterFamily & ~kLength32;
    case Family::kUserType:
      return kCharacterFamily & ~kCollation;
  }
  return 0;
}

constexpr DisplayVariant kComboBox{u"_ComboBox", u"ComboBox", 111};
constexpr DisplayVariant kListBox{u"_ListBox", u"ListBox", 110};
constexpr DisplayVariant kCheckBox{u"_CheckBox", u"CheckBox", 106};
constexpr const DisplayVariant* kAllVariants[] = {&kComboBox, &kListBox, &kCheckBox};

// The variants that follow a base column, in the order they follow it.
enum class Variants { kNoVariants, kComboList, kCheckCombo };

std::span<const DisplayVariant* const> VariantsOf(Variants variants) {
  static constexpr const DisplayVariant* kComboList[] = {&kComboBox, &kListBox};
  static constexpr const DisplayVariant* kCheckCombo[] = {&kCheckBox, &kComboBox};
  switch (variants) {
    case Variants::kNoVariants:
      return {};
    case Variants::kComboList:
      return kComboList;
    case Variants::kCheckCombo:
      return kCheckCombo;
  }
  return {};
}

constexpr bool kD = true;
constexpr bool kNoD = false;

// One row per base column, in table order. The label makes the new Name and
// the word the new Description; D columns (and their variants) record
// DisplayControl.
struct BaseColumn {
  std::u16string_view name;
  Variants variants;
  std::u16string_view type_name;
  std::u16string_view label;
  std::u16string_view word;
  Family family;
  uint32_t extras;
  bool display_control;
};

constexpr uint32_t kNumericExtras = kDecimalPlaces | kIdentity | kNumericPrecision | kNumericScale;
constexpr uint32_t kDateExtras = kIMEMode | kIMESentenceMode | kInputMask;

// An empty label or word is one the exceptions replace.
using enum Variants;
using enum Family;
// clang-format off
constexpr BaseColumn kColumnTable[] = {
    {u"fldBigInt", kComboList, u"bigint", u"Big Integer", u"bigint", kNoFamily, 0, kD},
    {u"fldBinary", kNoVariants, u"binary", u"Binary", u"binary", kNoFamily, kLength1, kNoD},
    {u"fldBit", kCheckCombo, u"bit", u"Bit", u"bit", kNoFamily, 0, kD},
    {u"fldChar", kComboList, u"char", u"Char", u"char", kCharacter, 0, kD},
    {u"fldDateTime", kNoVariants, u"datetime", u"Date Time", u"datetime", kNoFamily, kDateExtras, kNoD},
    {u"fldDecimal", kComboList, u"decimal", u"Decimal", u"decimal", kNoFamily, kNumericExtras, kD},
    {u"fldFloat", kComboList, u"float", u"Float", u"float", kNoFamily, kDecimalPlaces, kD},
    {u"fldImage", kNoVariants, u"image", u"Image", u"image", kNoFamily, 0, kNoD},
    {u"fldInt", kComboList, u"int", u"Int", u"int", kNoFamily, 0, kD},
    {u"fldMoney", kNoVariants, u"money", u"Money", u"money", kNoFamily, kDecimalPlaces, kNoD},
    {u"fldNChar", kComboList, u"nchar", u"nChar", u"nchar", kCharacter, 0, kD},
    {u"fldNText", kComboList, u"ntext", u"nText", u"ntext", kText, 0, kD},
    {u"fldNumeric", kComboList, u"numeric", u"Numeric", u"numeric", kNoFamily, kNumericExtras, kD},
    {u"fldNVarChar", kComboList, u"nvarchar", u"nVarChar", u"nvarchar", kCharacter, 0, kD},
    {u"fldReal", kComboList, u"real", u"Real", u"real", kNoFamily, kDecimalPlaces, kD},
    {u"fldSmallDateTime", kNoVariants, u"smalldatetime", u"SmallDateTime", u"smalldatetime", kNoFamily, kDateExtras, kNoD},
    {u"fldSmallInt", kComboList, u"smallint", u"SmallInt", u"smallint", kNoFamily, 0, kD},
    {u"fldSmallMoney", kNoVariants, u"smallmoney", u"SmallMoney", u"smallmoney", kNoFamily, kDecimalPlaces, kNoD},
    {u"fldSQLVariant", kNoVariants, u"sql_variant", u"SQL Variant", u"sqlvariant", kNoFamily, 0, kNoD},
    {u"fldText", kComboList, u"text", u"Text", u"text", kText, 0, kD},
    {u"fldTimestamp", kNoVariants, u"timestamp", u"Timestamp", u"timestamp", kNoFamily, kIMEMode | kIMESentenceMode, kNoD},
    {u"fldTinyInt", kComboList, u"tinyint", u"TinyInt", u"tinyint", kNoFamily, 0, kD},
    {u"fldUniqueIdentifier", kNoVariants, u"uniqueidentifier", u"", u"guid", kNoFamily, kIsRowGuid, kNoD},
    {u"fldVarbinary", kNoVariants, u"varbinary", u"Varbinary", u"varbinary", kNoFamily, kLength1, kNoD},
    {u"fldVarchar", kComboList, u"varchar", u"Varchar", u"varchar", kCharacter, 0, kD},
    {u"fldUserDefined", kNoVariants, u"udtGeneric", u"User Defined", u"udtGeneric", kUserType, 0, kD},
    {u"fldComputed", kNoVariants, u"int", u"Computed", u"", kNoFamily, 0, kNoD},
    {u"fldDummy", kNoVariants, u"int", u"", u"int", kNoFamily, 0, kD},
};
// clang-format on

// Values that come from the column rather than from the record's row.
enum class Derived {
  kNone,
  kName,            // original the column name; new label + " Field" (+ variant)
  kDataType,        // original the type name
  kDescription,     // new "This column stores " + word + " values."
  kDisplayControl,  // a variant's own code replaces 109
};

// Placeholder for a value that Derived fills in.
constexpr Value kFromColumn = kNull;

struct StandardRecord {
  uint32_t given_to;
  PropertyRow row;
  Derived derived = Derived::kNone;
};

// In the order every column adds its properties.
// clang-format off
constexpr StandardRecord kStandardRecords[] = {
    {kAllColumns, Mod(u"Name", kFromColumn, kFromColumn), Derived::kName},
    {kAllColumns, Mod(u"AllowNulls", B(true), B(false))},
    {kAllColumns, Mod(u"Caption", S(u""), S(u"My Caption"))},
    {kCollation, Mod(u"Collation", S(u"SQL_Latin1_General_CP1_CI_AS"), S(u"SQL_Latin1_General_CP1_CS_AS"))},
    {kAllColumns, Fixed(u"DataType", kFromColumn), Derived::kDataType},
    {kDecimalPlaces, Mod(u"DecimalPlaces", I(255), I(3))},
    {kAllColumns, Mod(u"DefaultValue", S(u""), S(u"(1)"))},
    {kAllColumns, Mod(u"Description", S(u""), kFromColumn), Derived::kDescription},
    {kDisplayControl, Fixed(u"DisplayControl", L(109)), Derived::kDisplayControl},
    {kAllColumns, Mod(u"Formula", S(u""), kNull)},
    {kFurigana, Mod(u"Furigana", S(u""), S(u"colFurigana"))},
    {kAllColumns, Fixed(u"SupportsFullTextQueries", B(false))},
    {kHyperlink, Mod(u"Hyperlink", B(false), B(true))},
    {kIMEMode, Mod(u"IMEMode", L(0), L(4))},
    {kIMESentenceMode, Mod(u"IMESentenceMode", L(3), L(0))},
    {kInputMask, Mod(u"InputMask", S(u""), S(u"###-###-####"))},
    {kIdentity, Fixed(u"Identity", B(false))},
    {kNumericPrecision, Fixed(u"NumericPrecision", L(18))},
    {kNumericScale, Fixed(u"NumericScale", L(0))},
    {kLength32, Fixed(u"Length", L(32))},
    {kLength1, Fixed(u"Length", L(1))},
    {kPostalAddress, Mod(u"PostalAddress", S(u""), S(u"colPostalAddress"))},
    {kIsRowGuid, Mod(u"IsRowGuid", B(false), B(true))},
};
// clang-format on

// The one column that adds Hyperlink before SupportsFullTextQueries.
constexpr std::u16string_view kHyperlinkFirstColumn = u"fldNChar_ComboBox";

constexpr bool kComboAndList = true;
constexpr bool kComboOnly = false;

// Added last, to "_ComboBox" (every row) and "_ListBox" (the first six)
// columns. The new RowSource is the generic view.
struct LookupRecord {
  bool for_list;
  PropertyRow row;
};

constexpr LookupRecord kLookupRecords[] = {
    {kComboAndList, Mod(u"RowSourceType", S(u"Tables/Views/Functions"), S(u"Value List"))},
    {kComboAndList, Mod(u"RowSource", S(u""), S(u"vwGeneric"))},
    {kComboAndList, Mod(u"BoundColumn", I(1), I(2))},
    {kComboAndList, Mod(u"ColumnCount", I(1), I(2))},
    {kComboAndList, Mod(u"ColumnHeads", B(false), B(true))},
    {kComboAndList, Mod(u"ColumnWidths", S(u""), S(u"1440.000;1440.000"))},
    {kComboOnly, Mod(u"ListRows", I(8), I(12))},
    {kComboOnly, Mod(u"ListWidth", L(0), L(2880))},
    {kComboOnly, Mod(u"LimitToList", B(false), B(true))},
};

// Which columns an exception applies to.
enum class Scope {
  kColumn,             // the named column only
  kColumnAndVariants,  // the named base column and its variants
  kTextFamily,         // every column of the T family
};

struct ColumnException {
  Scope scope;
  std::u16string_view column;
  PropertyRow row;
  bool absent;  // drop the property instead of replacing its record
};

constexpr ColumnException Replace(std::u16string_view column, PropertyRow row) {
  return {Scope::kColumn, column, row, false};
}
constexpr ColumnException ReplaceWithVariants(std::u16string_view base, PropertyRow row) {
  return {Scope::kColumnAndVariants, base, row, false};
}
constexpr ColumnException ReplaceInTextFamily(PropertyRow row) {
  return {Scope::kTextFamily, u"", row, false};
}
constexpr ColumnException Absent(std::u16string_view column, std::u16string_view property) {
  return {Scope::kColumn, column, Fixed(property, kNull), true};
}

constexpr std::u16string_view kComputedReferenceNote =
    u"Can't change this property because the column is referenced by a computed column.";

// A record with a note is one whose change SQL Server refuses: the test
// leaves it unchanged, so its new value is Null.
// clang-format off
constexpr ColumnException kExceptions[] = {
    Replace(u"fldBigInt", Mod(u"Description", S(kBigIntDescription), S(u"THIS COLUMN STORES BIGINT VALUES."))),
    Replace(u"fldBigInt_ComboBox", Mod(u"Description", S(u""), S(u"This column stores bigint values.."))),
    Replace(u"fldBinary", Mod(u"Description", S(kBinaryDescription), S(u""))),
    Replace(u"fldImage", Mod(u"AllowNulls", B(true), kNull,
        u"If we attempt to modify, SQL Server reports \"Cannot alter column 'Image Field' because it is 'image'.\"")),
    Replace(u"fldImage", Mod(u"DefaultValue", S(u""), S(u"('c:\\image.jpg')"))),
    ReplaceWithVariants(u"fldNText", Mod(u"AllowNulls", B(true), kNull,
        u"If we attempt to modify, SQL Server reports \"Cannot alter column 'nText Field' because it is 'ntext'.\"")),
    Replace(u"fldNText", Mod(u"Collation", S(u"SQL_Latin1_General_CP1_CI_AS"), kNull,
        u"If we attempt to modify, SQL Server reports 'Cannot alter column 'nText Field' because it is 'ntext'.'")),
    Replace(u"fldNText_ComboBox", Mod(u"Collation", S(u"SQL_Latin1_General_CP1_CI_AS"), kNull,
        u"If we attempt to modify, SQL Server reports 'Cannot alter column 'nText Field (DisplayControl=ComboBox)' because it is 'ntext'.'")),
    Replace(u"fldNText_ListBox", Mod(u"Collation", S(u"SQL_Latin1_General_CP1_CI_AS"), kNull,
        u"If we attempt to modify, SQL Server reports 'Cannot alter column 'nText Field (DisplayControl=ListBox)' because it is 'ntext'.'")),
    ReplaceInTextFamily(Mod(u"DefaultValue", S(u""), S(u"('Ivor Marsh')"))),
    ReplaceWithVariants(u"fldText", Mod(u"AllowNulls", B(true), kNull,
        u"If we attempt to modify, SQL Server reports \"Cannot alter column 'Text Field' because it is 'text'.\"")),
    Replace(u"fldText", Mod(u"Collation", S(u"SQL_Latin1_General_CP1_CI_AS"), kNull,
        u"If we attempt to modify, SQL Server reports 'Cannot alter column 'Text Field' because it is 'text'.'")),
    Replace(u"fldText_ComboBox", Mod(u"Collation", S(u"SQL_Latin1_General_CP1_CI_AS"), kNull,
        u"If we attempt to modify, SQL Server reports 'Cannot alter column 'Text Field (DisplayControl=ComboBox)' because it is 'text'.'")),
    Replace(u"fldText_ListBox", Mod(u"Collation", S(u"SQL_Latin1_General_CP1_CI_AS"), kNull,
        u"If we attempt to modify, SQL Server reports 'Cannot alter column 'Text Field (DisplayControl=ListBox)' because it is 'text'.'")),
    Replace(u"fldTimestamp", Mod(u"AllowNulls", B(true), kNull,
        u"If we attempt to modify, SQL Server reports \"Cannot alter column 'Timestamp Field' to be data type timestamp.\"")),
    Replace(u"fldTimestamp", Mod(u"DefaultValue", S(u""), kNull,
        u"If we attempt to modify, SQL Server reports \"Defaults cannot be created on columns of data type timestamp.\"")),
    Replace(u"fldUniqueIdentifier", Mod(u"Name", S(u"fldUniqueIdentifier"), kNull,
        u"If we attempt to modify, SQL Server reports \"Cannot alter column 'fldUniqueIdentifier' because it is 'ROWGUIDCOL'.\"")),
    Absent(u"fldUniqueIdentifier", u"AllowNulls"),
    Replace(u"fldUniqueIdentifier", Mod(u"DefaultValue", S(u""), S(u"('{88888888-8888-8888-8888-888888888888}')"))),
    Replace(u"fldUserDefined", Mod(u"AllowNulls", B(false), B(true))),
    Absent(u"fldComputed", u"AllowNulls"),
    Absent(u"fldComputed", u"Caption"),
    Absent(u"fldComputed", u"DefaultValue"),
    Absent(u"fldComputed", u"DisplayControl"),
    Replace(u"fldComputed", Mod(u"Description", S(u""), S(u"This column returns computed int values."))),
    Replace(u"fldComputed", Mod(u"Formula", S(u"([fldDummy])"), S(u"([fldDummy] + [fldDummy])"))),
    Replace(u"fldDummy", Mod(u"Name", S(u"fldDummy"), kNull, kComputedReferenceNote)),
    Replace(u"fldDummy", Mod(u"AllowNulls", B(true), kNull, kComputedReferenceNote)),
};
// clang-format on

bool Applies(const ColumnException& exception, const BaseColumn& base,
             std::u16string_view column_name) {
  switch (exception.scope) {
    case Scope::kColumn:
      return exception.column == column_name;
    case Scope::kColumnAndVariants:
      return exception.column == base.name;
    case Scope::kTextFamily:
      return base.family == Family::kText;
  }
  return false;
}

const ColumnException* FindException(const BaseColumn& base, std::u16string_view column_name,
                                     std::u16string_view property) {
  for (const ColumnException& exception : kExceptions) {
    if (exception.row.name == property && Applies(exception, base, column_name)) {
      return &exception;
    }
  }
  return nullptr;
}

ColumnProperty FromRow(const PropertyRow& row) {
  return {std::u16string(row.name), row.original.ToVariant(), row.modifiable,
          row.new_value.ToVariant(), std::u16string(row.note)};
}

std::u16string NewName(const BaseColumn& base, const DisplayVariant* variant) {
  std::u16string name(base.label);
  name += u" Field";
  if (variant) {
    name += u" (DisplayControl=";
    name += variant->control;
    name += u")";
  }
  return name;
}

void Fill(ColumnProperty& property, Derived derived, const BaseColumn& base,
          const DisplayVariant* variant, const std::u16string& column_name) {
  using harness::Variant;
  switch (derived) {
    case Derived::kNone:
      break;
    case Derived::kName:
      property.original = Variant::String(column_name);
      property.new_value = Variant::String(NewName(base, variant));
      break;
    case Derived::kDataType:
      property.original = Variant::String(std::u16string(base.type_name));
      break;
    case Derived::kDescription:
      property.new_value =
          Variant::String(u"This column stores " + std::u16string(base.word) + u" values.");
      break;
    case Derived::kDisplayControl:
      if (variant) property.original = Variant::Long(variant->display_control);
      break;
  }
}

// The model's order quirk: Hyperlink moves up to stand before
// SupportsFullTextQueries.
void MoveHyperlinkFirst(std::vector<ColumnProperty>& properties) {
  auto by_name = [&](std::u16string_view name) {
    return std::find_if(properties.begin(), properties.end(),
                        [&](const ColumnProperty& p) { return p.name == name; });
  };
  auto full_text = by_name(u"SupportsFullTextQueries");
  auto hyperlink = by_name(u"Hyperlink");
  if (hyperlink != properties.end() && full_text < hyperlink) {
    std::rotate(full_text, hyperlink, hyperlink + 1);
  }
}

ColumnObject MakeColumn(const BaseColumn& base, const DisplayVariant* variant) {
  ColumnObject column;
  column.name = std::u16string(base.name);
  if (variant) column.name += variant->suffix;
  column.type_name = std::u16string(base.type_name);

  uint32_t given = FamilyProperties(base.family) | base.extras;
  if (base.display_control) given |= kDisplayControl;
  for (const StandardRecord& record : kStandardRecords) {
    if (record.given_to != kAllColumns && (given & record.given_to) == 0) continue;
    if (const ColumnException* exception = FindException(base, column.name, record.row.name)) {
      if (!exception->absent) column.properties.push_back(FromRow(exception->row));
      continue;
    }
    ColumnProperty property = FromRow(record.row);
    Fill(property, record.derived, base, variant, column.name);
    column.properties.push_back(std::move(property));
  }
  if (column.name == kHyperlinkFirstColumn) MoveHyperlinkFirst(column.properties);

  if (variant && variant != &kCheckBox) {
    for (const LookupRecord& lookup : kLookupRecords) {
      if (variant == &kComboBox || lookup.for_list) {
        column.properties.push_back(FromRow(lookup.row));
      }
    }
  }
  return column;
}

}  // namespace

const DisplayVariant* VariantOf(std::u16string_view column_name) {
  for (const DisplayVariant* variant : kAllVariants) {
    if (column_name.ends_with(variant->suffix)) return variant;
  }
  return nullptr;
}

std::vector<ColumnObject> GenericTableColumns() {
  std::vector<ColumnObject> columns;
  for (const BaseColumn& base : kColumnTable) {
    columns.push_back(MakeColumn(base, nullptr));
    for (const DisplayVariant* variant : VariantsOf(base.variants)) {
      columns.push_back(MakeColumn(base, variant));
    }
  }
  return columns;
}

void AddGenericTableColumns(harness::ModelCollection& columns) {
  for (const ColumnObject& column : GenericTableColumns()) {
    auto object =
        columns.Add(harness::Variant::String(column.name), u"MSSQL80.Column", column.type_name);
    for (const ColumnProperty& p : column.properties) {
      object->AddProperty(p.name, p.original, p.modifiable, p.new_value, p.note);
    }
  }
}

}  // namespace tavora::standard
