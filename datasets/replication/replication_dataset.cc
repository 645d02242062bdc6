#include "datasets/replication/replication_dataset.h"

#include "datasets/batch.h"
#include "datasets/dataset_classes.h"
#include "datasets/frame.h"
#include "datasets/replication/distributor.h"
#include "harness/activation.h"
#include "harness/error.h"
#include "library/vxhandler.h"

namespace tavora {

namespace {

using replication::Builder;

constexpr Builder kTransPubBuilders[] = {
    replication::CreateTransactionalPublication,
    replication::CreateQueuedTransactionalPublication,
};
constexpr std::u16string_view kTransPubDrops[] = {
    u"EXEC sp_droppublication 'pubTransactional'",
    u"EXEC sp_droppublication 'pubQueuedTransactional'",
};

constexpr Builder kSnapPubBuilders[] = {
    replication::CreateSnapshotPublication,
    replication::CreateQueuedSnapshotPublication,
};
constexpr std::u16string_view kSnapPubDrops[] = {
    u"EXEC sp_droppublication 'pubSnapshot'",
    u"EXEC sp_droppublication 'pubQueuedSnapshot'",
};

constexpr Builder kMergePubBuilders[] = {
    replication::CreateMergePublication,
};
constexpr std::u16string_view kMergePubDrops[] = {
    u"EXEC sp_dropmergepublication 'pubMerge'",
};

const ReplicationProfile kTransPub{
    .module = replication::kTransPubModule,
    .name = u"tavora.TransPub",
    .class_token = u"TransPubDataset",
    .publish_option = u"publish",
    .builders = kTransPubBuilders,
    .drop_statements = kTransPubDrops,
};

const ReplicationProfile kSnapPub{
    .module = replication::kSnapPubModule,
    .name = u"tavora.Replication",
    .class_token = u"ReplicationDataset",
    .publish_option = u"publish",
    .builders = kSnapPubBuilders,
    .drop_statements = kSnapPubDrops,
};

const ReplicationProfile kMergePub{
    .module = replication::kMergePubModule,
    .name = u"tavora.MergePub",
    .class_token = u"MergePubDataset",
    .publish_option = u"merge publish",
    .builders = kMergePubBuilders,
    .drop_statements = kMergePubDrops,
};

// The replication datasets add these four project collections, no others.
constexpr std::u16string_view kReplicationCollections[] = {
    u"Publications",
    u"StoredProcedures",
    u"Tables",
    u"Views",
};

// The platform's answer to a call through an object variable holding nothing.
harness::Workspace& Required(harness::Workspace* workspace) {
  if (!workspace) harness::RaiseRuntime(harness::errors::kObjectNotSet);
  return *workspace;
}

}  // namespace

harness::ComPtr<harness::IDataset> MakeTransPubDataset() {
  return harness::MakeObject<ReplicationDataset>(kTransPub);
}
harness::ComPtr<harness::IDataset> MakeSnapPubDataset() {
  return harness::MakeObject<ReplicationDataset>(kSnapPub);
}
harness::ComPtr<harness::IDataset> MakeMergePubDataset() {
  return harness::MakeObject<ReplicationDataset>(kMergePub);
}

std::u16string ReplicationDataset::Name() {
  return Trap(profile_.module, u"IDataset_Name", [&] { return std::u16string(profile_.name); });
}

harness::ComPtr<harness::ObjectModel> ReplicationDataset::ObjectModel() {
  return Trap(profile_.module, u"IDataset_ObjectModel", [&] { return model_; });
}

void ReplicationDataset::Modify(harness::Workspace*, std::u16string&, std::u16string&,
                                std::u16string&) {}

void ReplicationDataset::Create(const std::u16string&, harness::Workspace* workspace,
                                harness::IUnknown*) {
  Trap(profile_.module, u"IDataset_Create", [&] {
    const ServerLogin login = ReadServerSettings();
    const std::u16string database = DatabaseName(profile_.class_token);
    auto session = OpenSession(login);
    Execute(*session, ServerBatch(u"CREATE DATABASE " + database));
    replication::SetUpDistributor(*session, login.server);
    Execute(*session, replication::PublishingStatement(database, profile_.publish_option, true));

    model_ = harness::CreateObject<harness::ObjectModel>();
    auto project = model_->AddProject(u"Project1");
    for (std::u16string_view collection : kReplicationCollections) {
      project->AddCollection(std::u16string(collection));
    }
    for (Builder build : profile_.builders) build(*project, *session, database);
    session->Close();

    // Unlike the standard dataset, the third integer property is left alone.
    RegisterWorkspaceProject(Required(workspace), login.server, database, false);
  });
}

void ReplicationDataset::Save(const std::u16string&, harness::Workspace* workspace,
                              harness::IUnknown*) {
  Trap(profile_.module, u"IDataset_Save", [&] { SaveWorkspaceProject(Required(workspace)); });
}

void ReplicationDataset::Delete(const std::u16string&, harness::IUnknown*) {
  Trap(profile_.module, u"IDataset_Delete", [&] {
    const ServerLogin login = ReadServerSettings();
    const std::u16string database = DatabaseName(profile_.class_token);
    auto session = OpenSession(login);
    if (DatabaseExists(*session, database)) {
      for (std::u16string_view drop : profile_.drop_statements) {
        // A publication that was never made (its builder failed first) or is
        // already gone refuses the drop; the database goes all the same, so
        // these failures are ignored.
        try {
          Execute(*session, PlainBatch(database, drop));
        } catch (const harness::Error&) {
        }
      }
      Execute(*session, replication::PublishingStatement(database, profile_.publish_option, false));
      Execute(*session, ServerBatch(u"DROP DATABASE " + database));
    }
    session->Close();
  });
}

}  // namespace tavora
