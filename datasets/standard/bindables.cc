// The stand-alone bindable objects: a default, a rule and a user type.

#include <span>
#include <string>
#include <string_view>

#include "datasets/batch.h"
#include "datasets/model_rows.h"
#include "datasets/standard/builders.h"
#include "library/vxhandler.h"

namespace tavora::standard {
namespace {

// One statement and the one model object it makes.
struct BindableObject {
  std::u16string_view statement;
  std::u16string_view collection;
  std::u16string_view key;
  std::u16string_view class_name;
  std::span<const PropertyRow> properties;
};

constexpr std::u16string_view kDefaultStatement = u"CREATE DEFAULT defGeneric AS '800-555-1212'";
constexpr std::u16string_view kRuleStatement =
    u"CREATE RULE rulGeneric AS @range >= $1000 AND @range < $20000";
constexpr std::u16string_view kDatatypeStatement =
    u"EXEC sp_addtype udtGeneric, 'VARCHAR(32)', 'NOT NULL'";

// A recorded Text is the statement as sent; the new one uses the new name.
constexpr PropertyRow kDefaultProperties[] = {
    Mod(u"Name", S(u"defGeneric"), S(u"Generic Default")),
    Mod(u"Text", S(kDefaultStatement), S(u"CREATE DEFAULT [Generic Default] AS '999-555-1212'")),
    Fixed(u"Owner", S(u"dbo")),
};

constexpr PropertyRow kRuleProperties[] = {
    Mod(u"Name", S(u"rulGeneric"), S(u"Generic Rule")),
    Mod(u"Text", S(kRuleStatement),
        S(u"CREATE RULE [Generic Rule] AS @range >= $2000 AND @range < $40000")),
    Fixed(u"Owner", S(u"dbo")),
};

// The bindings name the default and rule by the names a test gives them.
constexpr PropertyRow kDatatypeProperties[] = {
    Mod(u"Name", S(u"udtGeneric"), S(u"Generic Datatype")),
    Fixed(u"Owner", S(u"dbo")),
    Fixed(u"AllowNulls", B(false)),
    Fixed(u"BaseType", S(u"varchar")),
    Mod(u"BoundDefault", S(u""), S(u"Generic Default")),
    Mod(u"BoundRule", S(u""), S(u"Generic Rule")),
    Fixed(u"Length", L(32)),
    Fixed(u"NumericPrecision", L(32)),
    Fixed(u"NumericScale", L(0)),
};

constexpr BindableObject kDefault{kDefaultStatement, u"Defaults", u"dbo.defGeneric",
                                  u"MSSQL80.Default", kDefaultProperties};
constexpr BindableObject kRule{kRuleStatement, u"Rules", u"dbo.rulGeneric", u"MSSQL80.Rule",
                               kRuleProperties};
constexpr BindableObject kDatatype{kDatatypeStatement, u"UserDefinedDatatypes", u"dbo.udtGeneric",
                                   u"MSSQL80.Datatype", kDatatypeProperties};

void Build(const BindableObject& object, harness::ModelProject& project,
           harness::SqlSession& session, const std::u16string& database) {
  Execute(session, StandardBatch(database, object.statement));
  auto collection = ProjectCollection(project, object.collection);
  auto model_object = AddObject(*collection, object.key, object.class_name, u"");
  AddProperties(*model_object, object.properties);
}

}  // namespace

void CreateGenericDefault(harness::ModelProject& project, harness::SqlSession& session,
                          const std::u16string& database) {
  Trap(kModule, u"CreateGenericDefault", [&] { Build(kDefault, project, session, database); });
}

void CreateGenericRule(harness::ModelProject& project, harness::SqlSession& session,
                       const std::u16string& database) {
  Trap(kModule, u"CreateGenericRule", [&] { Build(kRule, project, session, database); });
}

void CreateGenericDatatype(harness::ModelProject& project, harness::SqlSession& session,
                           const std::u16string& database) {
  Trap(kModule, u"CreateGenericDatatype", [&] { Build(kDatatype, project, session, database); });
}

}  // namespace tavora::standard
