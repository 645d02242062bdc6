#ifndef TAVORA_HOST_OBJECT_MODEL_H_
#define TAVORA_HOST_OBJECT_MODEL_H_

#include <string>
#include <vector>

#include "harness/keyed_collection.h"
#include "harness/object_model.h"
#include "harness/unknown.h"
#include "harness/variant.h"

namespace host {

// The host's in-memory object model. Collections keep insertion order; keys
// must be String variants (error 13), a duplicate key is error 457 and a
// missing one error 5, as with the platform's collections.

// The text of a collection key: error 13 unless it is a String variant.
const std::u16string& KeyText(const harness::Variant& key);

class HostModelProperty final : public harness::ComObject<harness::ModelProperty> {
 public:
  HostModelProperty(std::u16string name, harness::Variant value, bool modifiable,
                    harness::Variant new_value, std::u16string note);

  std::u16string Name() override { return name_; }
  harness::Variant Value() override { return value_; }
  bool Modifiable() override { return modifiable_; }
  harness::Variant NewValue() override { return new_value_; }
  std::u16string Note() override { return note_; }

 private:
  std::u16string name_;
  harness::Variant value_;
  bool modifiable_;
  harness::Variant new_value_;
  std::u16string note_;
};

class HostModelObject;

class HostModelCollection final : public harness::ComObject<harness::ModelCollection> {
 public:
  using Objects = harness::KeyedCollection<harness::ComPtr<HostModelObject>>;

  // The new object already holds the child collections of its class.
  harness::ComPtr<harness::ModelObject> Add(const harness::Variant& key,
                                            const std::u16string& class_name,
                                            const std::u16string& type_name) override;

  const Objects& objects() const { return objects_; }

 private:
  Objects objects_;
};

using ModelCollections = harness::KeyedCollection<harness::ComPtr<HostModelCollection>>;

class HostModelObject final : public harness::ComObject<harness::ModelObject> {
 public:
  // Gives the object the child collections of `class_name`: "Columns",
  // "Indexes", "Checks", "Relationships" and "Triggers" for a table,
  // "Articles" for a publication; none for other classes.
  HostModelObject(std::u16string class_name, std::u16string type_name);

  // Error 5 when the object's class has no such child collection.
  harness::ComPtr<harness::ModelCollection> Collection(const std::u16string& name) override;
  harness::ComPtr<harness::ModelProperty> AddProperty(const std::u16string& name,
                                                      const harness::Variant& value,
                                                      bool modifiable,
                                                      const harness::Variant& new_value,
                                                      const std::u16string& note) override;

  const std::u16string& class_name() const { return class_name_; }
  const std::u16string& type_name() const { return type_name_; }
  const std::vector<harness::ComPtr<HostModelProperty>>& properties() const { return properties_; }
  const ModelCollections& collections() const { return collections_; }

 private:
  std::u16string class_name_;
  std::u16string type_name_;
  std::vector<harness::ComPtr<HostModelProperty>> properties_;
  ModelCollections collections_;
};

class HostModelProject final : public harness::ComObject<harness::ModelProject> {
 public:
  harness::ComPtr<harness::ModelCollection> AddCollection(const std::u16string& name) override;
  harness::ComPtr<harness::ModelCollection> Collection(const harness::Variant& key) override;

  const ModelCollections& collections() const { return collections_; }

 private:
  ModelCollections collections_;
};

using ModelProjects = harness::KeyedCollection<harness::ComPtr<HostModelProject>>;

// How the host reads back a model it made. It is asked for by QueryInterface,
// so a model made elsewhere is told apart without dynamic_cast across modules.
class OwnModel : public harness::IUnknown {
 public:
  static constexpr harness::Guid kIid{
      0xf66ab1ef, 0x76d7, 0x4c4a, {0x85, 0x5f, 0x3a, 0x53, 0xf6, 0x48, 0x75, 0x36}};
  virtual const ModelProjects& projects() const = 0;

 protected:
  ~OwnModel() = default;
};

class HostObjectModel final : public harness::ComObject<harness::ObjectModel, OwnModel> {
 public:
  harness::ComPtr<harness::ModelProject> AddProject(const std::u16string& name) override;

  const ModelProjects& projects() const override { return projects_; }

 private:
  ModelProjects projects_;
};

}  // namespace host

#endif  // TAVORA_HOST_OBJECT_MODEL_H_
