#ifndef TAVORA_DATASETS_MODEL_ROWS_H_
#define TAVORA_DATASETS_MODEL_ROWS_H_

#include <cstdint>
#include <span>
#include <string_view>

#include "harness/object_model.h"
#include "harness/variant.h"

namespace tavora {

// A model value that can live in a constant table; ToVariant makes the
// contract's Variant of the same kind.
struct Value {
  harness::Variant::Kind kind = harness::Variant::Kind::kNull;
  std::u16string_view text;
  int32_t number = 0;

  harness::Variant ToVariant() const;
};

constexpr Value S(std::u16string_view text) { return {harness::Variant::Kind::kString, text, 0}; }
constexpr Value L(int32_t n) { return {harness::Variant::Kind::kLong, {}, n}; }
constexpr Value I(int16_t n) { return {harness::Variant::Kind::kInteger, {}, n}; }
constexpr Value B(bool b) { return {harness::Variant::Kind::kBoolean, {}, b ? 1 : 0}; }
inline constexpr Value kNull{};

// One property record, as the model tables give it.
struct PropertyRow {
  std::u16string_view name;
  Value original;
  bool modifiable;
  Value new_value;
  std::u16string_view note;
};

// Modifiable record: original -> new value (which may be Null), with a note.
constexpr PropertyRow Mod(std::u16string_view name, Value original, Value new_value,
                          std::u16string_view note = u"") {
  return {name, original, true, new_value, note};
}
// Record that a test may not change: modifiable False, new value Null, no note.
constexpr PropertyRow Fixed(std::u16string_view name, Value original) {
  return {name, original, false, kNull, u""};
}

// Adds the records to `object` in order; each returned property is released.
void AddProperties(harness::ModelObject& object, std::span<const PropertyRow> rows);
void AddProperty(harness::ModelObject& object, const PropertyRow& row);

// Adds an object with a String key to a collection.
harness::ComPtr<harness::ModelObject> AddObject(harness::ModelCollection& collection,
                                                std::u16string_view key,
                                                std::u16string_view class_name,
                                                std::u16string_view type_name);

// The project-level collection `name`.
harness::ComPtr<harness::ModelCollection> ProjectCollection(harness::ModelProject& project,
                                                            std::u16string_view name);

}  // namespace tavora

#endif  // TAVORA_DATASETS_MODEL_ROWS_H_
