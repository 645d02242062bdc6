#include "datasets/standard/standard_dataset.h"

#include <string>
#include <string_view>

#include "datasets/batch.h"
#include "datasets/dataset_classes.h"
#include "datasets/frame.h"
#include "datasets/standard/builders.h"
#include "harness/activation.h"
#include "harness/error.h"
#include "library/vxhandler.h"

namespace tavora {

using standard::kModule;

namespace {

constexpr std::u16string_view kClassToken = u"StandardDataset";

// The project collections, in the order they are added. "Publications"
// stays empty in this dataset.
constexpr std::u16string_view kCollections[] = {
    u"Defaults",
    u"FullTextCatalogs",
    u"Rules",
    u"Publications",
    u"StoredProcedures",
    u"Tables",
    u"UserDefinedDatatypes",
    u"UserDefinedFunctions",
    u"Views",
};

// One signature for the step table; only the generic table builder is declared
// with the folder, so the others are adapted to it.
using BuildStep = void (*)(harness::ModelProject& project, harness::SqlSession& session,
                           const std::u16string& database, const std::u16string& folder);

template <void (*Builder)(harness::ModelProject&, harness::SqlSession&, const std::u16string&)>
void WithoutFolder(harness::ModelProject& project, harness::SqlSession& session,
                   const std::u16string& database, const std::u16string&) {
  Builder(project, session, database);
}

// The builders in the order Create calls them; later objects depend on
// earlier ones (the generic table's user-type column on the user type).
constexpr BuildStep kBuildSteps[] = {
    WithoutFolder<standard::CreateGenericFullTextCatalog>,
    WithoutFolder<standard::CreateGenericDefault>,
    WithoutFolder<standard::CreateGenericRule>,
    WithoutFolder<standard::CreateGenericDatatype>,
    standard::CreateGenericTable,
    WithoutFolder<standard::CreateParentTable>,
    WithoutFolder<standard::CreateChildTable>,
    WithoutFolder<standard::CreateGenericView>,
    WithoutFolder<standard::CreateSchemaBoundView>,
    WithoutFolder<standard::CreateGenericStoredProcedure>,
    WithoutFolder<standard::CreateScalarFunction>,
    WithoutFolder<standard::CreateEncryptedScalarFunction>,
    WithoutFolder<standard::CreateSchemaBoundScalarFunction>,
    WithoutFolder<standard::CreateTableValuedFunction>,
};

}  // namespace

harness::ComPtr<harness::IDataset> MakeStandardDataset() {
  return harness::MakeObject<StandardDataset>();
}

std::u16string StandardDataset::Name() {
  return Trap(kModule, u"IDataset_Name", [] { return std::u16string(u"tavora.Standard"); });
}

harness::ComPtr<harness::ObjectModel> StandardDataset::ObjectModel() {
  return Trap(kModule, u"IDataset_ObjectModel", [&] { return model_; });
}

// Nothing to prepare before a test changes an object; it cannot fail.
void StandardDataset::Modify(harness::Workspace*, std::u16string&, std::u16string&,
                             std::u16string&) {}

void StandardDataset::Create(const std::u16string& folder, harness::Workspace* workspace,
                             harness::IUnknown*) {
  Trap(kModule, u"IDataset_Create", [&] {
    const ServerLogin login = ReadServerSettings();
    const std::u16string database = DatabaseName(kClassToken);
    // On a failure the session is released without Close.
    auto session = OpenSession(login);
    Execute(*session, ServerBatch(u"CREATE DATABASE " + database));

    // Only now is the earlier model replaced: a failed CREATE DATABASE keeps it.
    model_ = harness::CreateObject<harness::ObjectModel>();
    auto project = model_->AddProject(u"Project1");
    for (std::u16string_view name : kCollections) project->AddCollection(std::u16string(name));
    for (BuildStep build : kBuildSteps) build(*project, *session, database, folder);
    session->Close();

    if (!workspace) harness::RaiseRuntime(harness::errors::kObjectNotSet, kProjectName);
    RegisterWorkspaceProject(*workspace, login.server, database, /*write_flags=*/true);
  });
}

void StandardDataset::Save(const std::u16string&, harness::Workspace* workspace,
                           harness::IUnknown*) {
  Trap(kModule, u"IDataset_Save", [&] {
    if (!workspace) harness::RaiseRuntime(harness::errors::kObjectNotSet, kProjectName);
    SaveWorkspaceProject(*workspace);
  });
}

void StandardDataset::Delete(const std::u16string&, harness::IUnknown*) {
  Trap(kModule, u"IDataset_Delete", [&] {
    const ServerLogin login = ReadServerSettings();
    const std::u16string database = DatabaseName(kClassToken);
    auto session = OpenSession(login);
    if (DatabaseExists(*session, database)) {
      Execute(*session, ServerBatch(u"DROP DATABASE " + database));
    }
    session->Close();
  });
}

}  // namespace tavora
