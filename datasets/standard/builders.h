#ifndef TAVORA_DATASETS_STANDARD_BUILDERS_H_
#define TAVORA_DATASETS_STANDARD_BUILDERS_H_

#include <string>

#include "harness/object_model.h"
#include "harness/session.h"
#include "harness/variant.h"

namespace tavora::standard {

// The module name every trap of the standard dataset reports.
inline constexpr char16_t kModule[] = u"StandardDataset";

// The private builders of the standard dataset, in the order Create calls
// them. Each runs its batches, then adds its model objects; each traps its
// failures under its own name and passes them on.
void CreateGenericFullTextCatalog(harness::ModelProject& project, harness::SqlSession& session,
                                  const std::u16string& database);
void CreateGenericDefault(harness::ModelProject& project, harness::SqlSession& session,
                          const std::u16string& database);
void CreateGenericRule(harness::ModelProject& project, harness::SqlSession& session,
                       const std::u16string& database);
void CreateGenericDatatype(harness::ModelProject& project, harness::SqlSession& session,
                           const std::u16string& database);
void CreateGenericTable(harness::ModelProject& project, harness::SqlSession& session,
                        const std::u16string& database, const std::u16string& folder);
void CreateParentTable(harness::ModelProject& project, harness::SqlSession& session,
                       const std::u16string& database);
void CreateChildTable(harness::ModelProject& project, harness::SqlSession& session,
                      const std::u16string& database);
void CreateGenericView(harness::ModelProject& project, harness::SqlSession& session,
                       const std::u16string& database);
void CreateSchemaBoundView(harness::ModelProject& project, harness::SqlSession& session,
                           const std::u16string& database);
void CreateGenericStoredProcedure(harness::ModelProject& project, harness::SqlSession& session,
                                  const std::u16string& database);
void CreateScalarFunction(harness::ModelProject& project, harness::SqlSession& session,
                          const std::u16string& database);
void CreateEncryptedScalarFunction(harness::ModelProject& project, harness::SqlSession& session,
                                   const std::u16string& database);
void CreateSchemaBoundScalarFunction(harness::ModelProject& project, harness::SqlSession& session,
                                     const std::u16string& database);
void CreateTableValuedFunction(harness::ModelProject& project, harness::SqlSession& session,
                               const std::u16string& database);

// Attaches one extended property to a table column with one batch. A String
// value is quoted (single quotes doubled), any other kind written as text; a
// Null value fails before anything is sent.
void AddColumnProperty(harness::SqlSession& session, const std::u16string& database,
                       const std::u16string& owner, const std::u16string& table,
                       const std::u16string& column, const std::u16string& property,
                       harness::Variant value);

}  // namespace tavora::standard

#endif  // TAVORA_DATASETS_STANDARD_BUILDERS_H_
