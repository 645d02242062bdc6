#include "datasets/model_rows.h"

#include <string>

namespace tavora {

harness::Variant Value::ToVariant() const {
  using Kind = harness::Variant::Kind;
  switch (kind) {
    case Kind::kNull:
      return harness::Variant::Null();
    case Kind::kString:
      return harness::Variant::String(std::u16string(text));
    case Kind::kLong:
      return harness::Variant::Long(number);
    case Kind::kInteger:
      return harness::Variant::Integer(static_cast<int16_t>(number));
    case Kind::kBoolean:
      return harness::Variant::Boolean(number != 0);
  }
  return harness::Variant::Null();
}

void AddProperty(harness::ModelObject& object, const PropertyRow& row) {
  object.AddProperty(std::u16string(row.name), row.original.ToVariant(), row.modifiable,
                     row.new_value.ToVariant(), std::u16string(row.note));
}

void AddProperties(harness::ModelObject& object, std::span<const PropertyRow> rows) {
  for (const PropertyRow& row : rows) AddProperty(object, row);
}

harness::ComPtr<harness::ModelObject> AddObject(harness::ModelCollection& collection,
                                                std::u16string_view key,
                                                std::u16string_view class_name,
                                                std::u16string_view type_name) {
  return collection.Add(harness::Variant::String(std::u16string(key)), std::u16string(class_name),
                        std::u16string(type_name));
}

harness::ComPtr<harness::ModelCollection> ProjectCollection(harness::ModelProject& project,
                                                            std::u16string_view name) {
  return project.Collection(harness::Variant::String(std::u16string(name)));
}

}  // namespace tavora
