#ifndef TAVORA_HARNESS_OBJECT_MODEL_H_
#define TAVORA_HARNESS_OBJECT_MODEL_H_

#include <string>

#include "harness/unknown.h"
#include "harness/variant.h"

namespace harness {

// The expected-object model a dataset fills while it builds its database.
// Members appear in the contract's slot order; every call either succeeds as a
// whole or throws Error.

class HARNESS_API ModelProperty : public IUnknown {
 public:
  static constexpr Guid kIid{
      0x320af245, 0x02ee, 0x47fb, {0xac, 0x11, 0xc6, 0x0b, 0xf6, 0xe6, 0x1e, 0x83}};
  virtual std::u16string Name() = 0;
  virtual Variant Value() = 0;
  virtual bool Modifiable() = 0;
  virtual Variant NewValue() = 0;
  virtual std::u16string Note() = 0;

 protected:
  ~ModelProperty() = default;
};

class ModelObject;

class HARNESS_API ModelCollection : public IUnknown {
 public:
  static constexpr Guid kIid{
      0x1fbd0d05, 0xfc8f, 0x45f6, {0x9c, 0x35, 0xb2, 0x97, 0xad, 0xbd, 0x3b, 0xe8}};
  // Adds an object under `key` (a String variant) with its class and type
  // names; the new object already has the child collections of its class.
  virtual ComPtr<ModelObject> Add(const Variant& key, const std::u16string& class_name,
                                  const std::u16string& type_name) = 0;

 protected:
  ~ModelCollection() = default;
};

class HARNESS_API ModelObject : public IUnknown {
 public:
  static constexpr Guid kIid{
      0x99886dc1, 0x5a16, 0x40e9, {0x8a, 0x55, 0x4b, 0x29, 0x7e, 0x3a, 0x5f, 0xc1}};
  // A child collection of the object's class ("Columns", "Articles", ...).
  virtual ComPtr<ModelCollection> Collection(const std::u16string& name) = 0;
  virtual ComPtr<ModelProperty> AddProperty(const std::u16string& name, const Variant& value,
                                            bool modifiable, const Variant& new_value,
                                            const std::u16string& note) = 0;

 protected:
  ~ModelObject() = default;
};

class HARNESS_API ModelProject : public IUnknown {
 public:
  static constexpr Guid kIid{
      0x981505ee, 0x379f, 0x405c, {0xaa, 0xf3, 0x30, 0x81, 0x4f, 0x35, 0x1c, 0xb7}};
  virtual ComPtr<ModelCollection> AddCollection(const std::u16string& name) = 0;
  // The collection added under `key` (a String variant).
  virtual ComPtr<ModelCollection> Collection(const Variant& key) = 0;

 protected:
  ~ModelProject() = default;
};

class HARNESS_API ObjectModel : public IUnknown {
 public:
  static constexpr Guid kIid{
      0x47cd5ce9, 0x21aa, 0x4000, {0x84, 0x34, 0x70, 0x64, 0x8d, 0x2a, 0x8f, 0xef}};
  static constexpr Guid kClsid{
      0x4d63d4c2, 0xd8c8, 0x4d32, {0xa7, 0x53, 0xb1, 0x91, 0x62, 0xdf, 0xb6, 0x53}};
  virtual ComPtr<ModelProject> AddProject(const std::u16string& name) = 0;

 protected:
  ~ObjectModel() = default;
};

}  // namespace harness

#endif  // TAVORA_HARNESS_OBJECT_MODEL_H_
