#ifndef TAVORA_DRIVER_DRIVER_H_
#define TAVORA_DRIVER_DRIVER_H_

#include <string>
#include <string_view>

#include "harness/session.h"
#include "harness/variant.h"

namespace driver {

// Where an object of the model is on the server, by the names it has there
// now: a rename changes `name`, and the objects under it follow their parent.
struct ObjectRef {
  std::u16string class_name;  // "MSSQL80.Column", ...
  std::u16string type_name;   // the model's type name ("PrimaryKeyConstraint", ...)
  std::u16string owner;       // empty for objects that have none
  std::u16string name;
  // The table of a column, index, check, relationship or trigger; the
  // publication of an article. Empty for objects at the top.
  std::u16string parent_owner;
  std::u16string parent_name;
  std::u16string parent_class;
};

// The reference of an object the model keys by `key` ("dbo.tblGeneric" for
// owned objects, the bare name for the rest), under `parent` (null at the
// top). Triggers, checks and relationships belong to their table's owner.
ObjectRef MakeRef(std::u16string_view class_name, std::u16string_view type_name,
                  std::u16string_view key, const ObjectRef* parent);

// The error number of the driver's own refusals (a change it knows the server
// cannot make, or a property it has no way to read or write); the server's
// refusals keep the server's numbers.
inline constexpr int32_t kDriverRefusal = 50000;

// A SQL Server 2000 object driver over one session: how to find each model
// object in the database, read each property as a value of the model's kind,
// and write it the way the server's own tools do. Every failure is thrown as
// harness::Error: the server's, as the session reports it, or the driver's
// own (kDriverRefusal).
class Driver {
 public:
  // Makes `database` the session's current database.
  Driver(harness::SqlSession& session, const std::u16string& database);

  harness::Variant Read(const ObjectRef& object, std::u16string_view property);
  void Write(const ObjectRef& object, std::u16string_view property, const harness::Variant& value);

 private:
  friend class Access;
  harness::SqlSession& session_;
};

}  // namespace driver

#endif  // TAVORA_DRIVER_DRIVER_H_
