#include "host/object_model.h"

#include <initializer_list>
#include <string_view>

#include "harness/error.h"

namespace host {

namespace {

struct ClassCollections {
  std::u16string_view class_name;
  std::initializer_list<std::u16string_view> collections;
};

// The child collections a new object of each class starts with.
constexpr ClassCollections kClassCollections[] = {
    {u"MSSQL80.Table", {u"Columns", u"Indexes", u"Checks", u"Relationships", u"Triggers"}},
    {u"MSSQL80.Publication", {u"Articles"}},
    {u"MSSQL80.MergePublication", {u"Articles"}},
};

}  // namespace

const std::u16string& KeyText(const harness::Variant& key) {
  if (key.kind() != harness::Variant::Kind::kString) {
    harness::RaiseRuntime(harness::errors::kTypeMismatch);
  }
  return key.AsString();
}

HostModelProperty::HostModelProperty(std::u16string name, harness::Variant value, bool modifiable,
                                     harness::Variant new_value, std::u16string note)
    : name_(std::move(name)),
      value_(std::move(value)),
      modifiable_(modifiable),
      new_value_(std::move(new_value)),
      note_(std::move(note)) {}

harness::ComPtr<harness::ModelObject> HostModelCollection::Add(const harness::Variant& key,
                                                               const std::u16string& class_name,
                                                               const std::u16string& type_name) {
  const std::u16string& text = KeyText(key);
  auto object = harness::MakeObject<HostModelObject>(class_name, type_name);
  objects_.Add(text, object);
  return object;
}

HostModelObject::HostModelObject(std::u16string class_name, std::u16string type_name)
    : class_name_(std::move(class_name)), type_name_(std::move(type_name)) {
  for (const ClassCollections& row : kClassCollections) {
    if (row.class_name != class_name_) continue;
    for (std::u16string_view name : row.collections) {
      collections_.Add(std::u16string(name), harness::MakeObject<HostModelCollection>());
    }
  }
}

harness::ComPtr<harness::ModelCollection> HostModelObject::Collection(const std::u16string& name) {
  return collections_.Get(name);
}

harness::ComPtr<harness::ModelProperty> HostModelObject::AddProperty(
    const std::u16string& name, const harness::Variant& value, bool modifiable,
    const harness::Variant& new_value, const std::u16string& note) {
  auto property = harness::MakeObject<HostModelProperty>(name, value, modifiable, new_value, note);
  properties_.push_back(property);
  return property;
}

harness::ComPtr<harness::ModelCollection> HostModelProject::AddCollection(
    const std::u16string& name) {
  auto collection = harness::MakeObject<HostModelCollection>();
  collections_.Add(name, collection);
  return collection;
}

harness::ComPtr<harness::ModelCollection> HostModelProject::Collection(
    const harness::Variant& key) {
  return collections_.Get(KeyText(key));
}

harness::ComPtr<harness::ModelProject> HostObjectModel::AddProject(const std::u16string& name) {
  auto project = harness::MakeObject<HostModelProject>();
  projects_.Add(name, project);
  return project;
}

}  // namespace host
