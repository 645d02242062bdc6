#ifndef TAVORA_DATASETS_STANDARD_COLUMN_MODEL_H_
#define TAVORA_DATASETS_STANDARD_COLUMN_MODEL_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "harness/object_model.h"
#include "harness/variant.h"

namespace tavora::standard {

// The two column descriptions tblGeneric stores as MS_Description; the model
// records them as the originals of those columns' Description.
inline constexpr std::u16string_view kBigIntDescription = u"This column stores bigint values.";
inline constexpr std::u16string_view kBinaryDescription = u"This column stores binary values.";

// A display-control variant of a base column, known by its name suffix.
struct DisplayVariant {
  std::u16string_view suffix;   // "_ComboBox"
  std::u16string_view control;  // "ComboBox", as the new Name spells it
  int32_t display_control;      // the MS_DisplayControl code, 111
};

// The variant a column name ends in, or nullptr for a column without one.
const DisplayVariant* VariantOf(std::u16string_view column_name);

// One property record of a column object, with its values owned.
struct ColumnProperty {
  std::u16string name;
  harness::Variant original;
  bool modifiable = false;
  harness::Variant new_value;
  std::u16string note;
};

// One column object: its key (the column name), type name and records in the
// order they are added.
struct ColumnObject {
  std::u16string name;
  std::u16string type_name;
  std::vector<ColumnProperty> properties;
};

// The 58 column objects of tblGeneric in table order. Fixed data: nothing is
// read from the server, so every call returns the same.
std::vector<ColumnObject> GenericTableColumns();

// Adds the 58 column objects ("MSSQL80.Column") and their records to the
// table object's "Columns" collection; a failing harness call propagates and
// leaves what was already added.
void AddGenericTableColumns(harness::ModelCollection& columns);

}  // namespace tavora::standard

#endif  // TAVORA_DATASETS_STANDARD_COLUMN_MODEL_H_
