#include "host/model_json.h"

#include <nlohmann/json.hpp>

#include "harness/error.h"
#include "harness/utf.h"
#include "host/object_model.h"

namespace host {

namespace {

using nlohmann::ordered_json;

ordered_json CollectionsToJson(const ModelCollections& collections);

ordered_json PropertyToJson(HostModelProperty& property) {
  return {{"name", harness::ToUtf8(property.Name())},
          {"value", VariantToJson(property.Value())},
          {"modifiable", property.Modifiable()},
          {"newValue", VariantToJson(property.NewValue())},
          {"note", harness::ToUtf8(property.Note())}};
}

ordered_json ObjectToJson(const std::u16string& key, const HostModelObject& object) {
  ordered_json properties = ordered_json::array();
  for (const auto& property : object.properties()) {
    properties.push_back(PropertyToJson(*property));
  }
  return {{"key", harness::ToUtf8(key)},
          {"class", harness::ToUtf8(object.class_name())},
          {"type", harness::ToUtf8(object.type_name())},
          {"properties", std::move(properties)},
          {"collections", CollectionsToJson(object.collections())}};
}

ordered_json CollectionsToJson(const ModelCollections& collections) {
  ordered_json result = ordered_json::array();
  for (const auto& [name, collection] : collections) {
    ordered_json objects = ordered_json::array();
    for (const auto& [key, object] : collection->objects()) {
      objects.push_back(ObjectToJson(key, *object));
    }
    result.push_back({{"name", harness::ToUtf8(name)}, {"objects", std::move(objects)}});
  }
  return result;
}

}  // namespace

ordered_json VariantToJson(const harness::Variant& value) {
  switch (value.kind()) {
    case harness::Variant::Kind::kNull:
      return nullptr;
    case harness::Variant::Kind::kString:
      return {{"String", harness::ToUtf8(value.AsString())}};
    case harness::Variant::Kind::kLong:
      return {{"Long", value.AsLong()}};
    case harness::Variant::Kind::kInteger:
      return {{"Integer", value.AsInteger()}};
    case harness::Variant::Kind::kBoolean:
      return {{"Boolean", value.AsBoolean()}};
  }
  harness::RaiseRuntime(harness::errors::kInternal);
}

ordered_json ModelToJson(harness::ObjectModel* model) {
  if (!model) harness::RaiseRuntime(harness::errors::kObjectNotSet);
  auto own = harness::QueryAs<OwnModel>(model);
  if (!own) harness::RaiseRuntime(harness::errors::kNoInterface);
  ordered_json projects = ordered_json::array();
  for (const auto& [name, project] : own->projects()) {
    projects.push_back({{"name", harness::ToUtf8(name)},
                        {"collections", CollectionsToJson(project->collections())}});
  }
  return {{"projects", std::move(projects)}};
}

}  // namespace host
