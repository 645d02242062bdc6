// The full-text catalog builder and the column extended-property statement.

#include <string>
#include <string_view>

#include "datasets/batch.h"
#include "datasets/model_rows.h"
#include "datasets/standard/builders.h"
#include "library/vxhandler.h"

namespace tavora::standard {
namespace {

// No root path is given for the catalog, so the server reports none.
constexpr PropertyRow kCatalogProperties[] = {
    Fixed(u"Name", S(u"Catalog1")),
    Fixed(u"Path", S(u"")),
};

// A T-SQL string literal; quotes inside are doubled so that no value can end
// the literal early.
std::u16string Quoted(std::u16string_view text) {
  std::u16string quoted = u"'";
  for (char16_t c : text) {
    quoted += c;
    if (c == u'\'') quoted += u'\'';
  }
  quoted += u'\'';
  return quoted;
}

}  // namespace

void CreateGenericFullTextCatalog(harness::ModelProject& project, harness::SqlSession& session,
                                  const std::u16string& database) {
  Trap(kModule, u"CreateGenericFullTextCatalog", [&] {
    Execute(session, StandardBatch(database, JoinLines({
                                                 u"EXEC sp_fulltext_database",
                                                 u"  @action='enable'",
                                             })));
    Execute(session, StandardBatch(database, JoinLines({
                                                 u"EXEC sp_fulltext_catalog",
                                                 u"  @ftcat='Catalog1'",
                                                 u", @action='create'",
                                             })));
    auto catalogs = ProjectCollection(project, u"FullTextCatalogs");
    auto catalog = AddObject(*catalogs, u"Catalog1", u"MSSQL80.FullTextCatalog", u"");
    AddProperties(*catalog, kCatalogProperties);
  });
}

void AddColumnProperty(harness::SqlSession& session, const std::u16string& database,
                       const std::u16string& owner, const std::u16string& table,
                       const std::u16string& column, const std::u16string& property,
                       harness::Variant value) {
  Trap(kModule, u"AddColumnProperty", [&] {
    // The kind alone decides the quoting: a String of digits stays a string.
    // ToText fails on Null, before anything is sent.
    std::u16string value_text =
        value.kind() == harness::Variant::Kind::kString ? Quoted(value.AsString()) : value.ToText();
    std::u16string statement = JoinLines({
        u"EXEC sp_addextendedproperty",
        u"  @name=" + Quoted(property),
        u", @value=" + value_text,
        u", @level0type='user'",
        u", @level0name=" + Quoted(owner),
        u", @level1type='table'",
        u", @level1name=" + Quoted(table),
        u", @level2type='column'",
        u", @level2name=" + Quoted(column),
    });
    Execute(session, PlainBatch(database, statement));
  });
}

}  // namespace tavora::standard
