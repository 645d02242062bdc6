#include "datasets/replication/builders.h"
#include "datasets/replication/publication_builder.h"

namespace tavora::replication {

namespace {

// The snapshot publications record these values where the transactional
// twins record others; everything else, names aside, is the same.
constexpr Difference kSnapshotPublicationDifferences[] = {
    {u"PublicationType", L(0)},
};
constexpr Difference kQueuedSnapshotPublicationDifferences[] = {
    {u"PublicationType", L(0)},
    {u"ConflictPolicy", L(3)},
};
constexpr Difference kSnapshotArticleDifferences[] = {
    {u"DeleteCommand", S(u"SQL")},
    {u"InsertCommand", S(u"SQL")},
    {u"IncludeDRI", B(false), B(true)},
};
constexpr Difference kQueuedSnapshotArticleDifferences[] = {
    {u"DeleteCommand", S(u"SQL")},
    {u"InsertCommand", S(u"CALL sp_MSins_tblQueuedSnapshot")},
    {u"IncludeDRI", B(false), B(true)},
};

const PublicationProfile kTransactional{
    .module = kTransPubModule,
    .procedure = u"CreateTransactionalPublication",
    .stem = u"Transactional",
    .repl_freq = u"continuous",
    .queued = false,
    .publication_type = u"Transactional",
    .view_article_type = u"Transactional/Transactional",
    .publication_differences = {},
    .article_differences = {},
};

const PublicationProfile kQueuedTransactional{
    .module = kTransPubModule,
    .procedure = u"CreateQueuedTransactionalPublication",
    .stem = u"QueuedTransactional",
    .repl_freq = u"continuous",
    .queued = true,
    .publication_type = u"QueuedTransactional",
    .view_article_type = u"Snapshot/Transactional",
    .publication_differences = {},
    .article_differences = {},
};

const PublicationProfile kSnapshot{
    .module = kSnapPubModule,
    .procedure = u"CreateSnapshotPublication",
    .stem = u"Snapshot",
    .repl_freq = u"snapshot",
    .queued = false,
    .publication_type = u"Snapshot",
    .view_article_type = u"Snapshot/Transactional",
    .publication_differences = kSnapshotPublicationDifferences,
    .article_differences = kSnapshotArticleDifferences,
};

const PublicationProfile kQueuedSnapshot{
    .module = kSnapPubModule,
    .procedure = u"CreateQueuedSnapshotPublication",
    .stem = u"QueuedSnapshot",
    .repl_freq = u"snapshot",
    .queued = true,
    .publication_type = u"QueuedSnapshot",
    .view_article_type = u"Snapshot/Transactional",
    .publication_differences = kQueuedSnapshotPublicationDifferences,
    .article_differences = kQueuedSnapshotArticleDifferences,
};

}  // namespace

void CreateTransactionalPublication(harness::ModelProject& project, harness::SqlSession& session,
                                    const std::u16string& database) {
  BuildPublication(kTransactional, project, session, database);
}

void CreateQueuedTransactionalPublication(harness::ModelProject& project,
                                          harness::SqlSession& session,
                                          const std::u16string& database) {
  BuildPublication(kQueuedTransactional, project, session, database);
}

void CreateSnapshotPublication(harness::ModelProject& project, harness::SqlSession& session,
                               const std::u16string& database) {
  BuildPublication(kSnapshot, project, session, database);
}

void CreateQueuedSnapshotPublication(harness::ModelProject& project, harness::SqlSession& session,
                                     const std::u16string& database) {
  BuildPublication(kQueuedSnapshot, project, session, database);
}

}  // namespace tavora::replication
