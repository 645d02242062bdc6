// vwGeneric, vwSchemaBound and spGeneric over tblGeneric. Their new scripts
// use the new names of the generic table and its columns.

#include <string>
#include <string_view>

#include "datasets/batch.h"
#include "datasets/model_rows.h"
#include "datasets/standard/builders.h"
#include "datasets/standard/display_properties.h"
#include "library/vxhandler.h"

namespace tavora::standard {
namespace {

// What the model records of a view or stored procedure.
struct ScriptedObject {
  std::u16string_view collection;
  std::u16string_view class_name;
  std::u16string_view name;
  std::u16string_view new_name;
};

constexpr ScriptedObject kGenericView{u"Views", u"MSSQL80.View", u"vwGeneric", u"Generic View"};
constexpr ScriptedObject kSchemaBoundView{u"Views", u"MSSQL80.View", u"vwSchemaBound",
                                          u"Schema Bound View"};
constexpr ScriptedObject kGenericProcedure{u"StoredProcedures", u"MSSQL80.StoredProcedure",
                                           u"spGeneric", u"Generic Stored Procedure"};

// Adds the object under "dbo." + name with Name, Text, Owner and the display
// records shared with the tables.
void Record(harness::ModelProject& project, const ScriptedObject& object, std::u16string_view text,
            std::u16string_view new_text) {
  std::u16string key = u"dbo.";
  key += object.name;
  auto added =
      AddObject(*ProjectCollection(project, object.collection), key, object.class_name, u"");
  const PropertyRow rows[] = {
      Mod(u"Name", S(object.name), S(object.new_name)),
      Mod(u"Text", S(text), S(new_text)),
      Fixed(u"Owner", S(u"dbo")),
  };
  AddProperties(*added, rows);
  AddProperties(*added, DisplayProperties());
}

}  // namespace

void CreateGenericView(harness::ModelProject& project, harness::SqlSession& session,
                       const std::u16string& database) {
  Trap(kModule, u"CreateGenericView", [&] {
    std::u16string script = JoinLines({
        u"CREATE VIEW vwGeneric AS SELECT * FROM tblGeneric",
        u"GO",
        u"",
        u"GRANT SELECT ON dbo.vwGeneric (fldInt, fldReal) TO public",
        u"GO",
    });
    std::u16string new_script = JoinLines({
        u"CREATE VIEW [Generic View] AS SELECT * FROM [Generic Table]",
        u"GO",
        u"",
        u"GRANT SELECT ON dbo.[Generic View] ([Int Field], [Real Field]) TO public",
        u"GO",
    });
    // The object permissions go with the batch but are not part of the
    // view's recorded script, so the batch ends in two GO lines in a row.
    Execute(session,
            StandardBatch(
                database,
                JoinLines({script, u"GO", u"GRANT REFERENCES, DELETE ON vwGeneric TO public"})));
    Record(project, kGenericView, script, new_script);
  });
}

void CreateSchemaBoundView(harness::ModelProject& project, harness::SqlSession& session,
                           const std::u16string& database) {
  Trap(kModule, u"CreateSchemaBoundView", [&] {
    std::u16string script = JoinLines({
        u"CREATE VIEW vwSchemaBound WITH SCHEMABINDING AS SELECT fldInt FROM dbo.tblGeneric",
        u"GO",
    });
    std::u16string new_script = JoinLines({
        u"CREATE VIEW [Schema Bound View] AS SELECT * FROM [Generic Table]",
        u"GO",
    });
    Execute(session, StandardBatch(database, script));
    Record(project, kSchemaBoundView, script, new_script);
  });
}

void CreateGenericStoredProcedure(harness::ModelProject& project, harness::SqlSession& session,
                                  const std::u16string& database) {
  Trap(kModule, u"CreateGenericStoredProcedure", [&] {
    constexpr std::u16string_view kScript =
        u"CREATE PROCEDURE spGeneric AS SELECT * FROM tblGeneric WHERE tblGeneric.fldInt = 7";
    constexpr std::u16string_view kNewScript =
        u"CREATE PROCEDURE [Generic Stored Procedure] AS SELECT * FROM [Generic Table] "
        u"WHERE [Generic Table].[Int Field] = 7";
    Execute(session, StandardBatch(database, kScript));
    Record(project, kGenericProcedure, kScript, kNewScript);
  });
}

}  // namespace tavora::standard
