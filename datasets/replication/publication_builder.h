#ifndef TAVORA_DATASETS_REPLICATION_PUBLICATION_BUILDER_H_
#define TAVORA_DATASETS_REPLICATION_PUBLICATION_BUILDER_H_

#include <span>
#include <string>
#include <string_view>

#include "datasets/replication/replication_rows.h"
#include "harness/object_model.h"
#include "harness/session.h"

namespace tavora::replication {

// What sets one transactional or snapshot publication builder apart from its
// twins. Every name is built from `stem` the way the transactional builder's
// are built from "Transactional": "tbl" + stem, "PK_" + stem + "ID", "vw",
// "sp", "pub".
struct PublicationProfile {
  std::u16string_view module;             // module name of the builder's trap
  std::u16string_view procedure;          // the builder's own name
  std::u16string_view stem;               // "Transactional", "QueuedSnapshot", ...
  std::u16string_view repl_freq;          // "continuous" or "snapshot"
  bool queued;                            // allows queued updating
  std::u16string_view publication_type;   // type name of the publication
  std::u16string_view view_article_type;  // type name of "artView" and "artStoredProc"
  std::span<const Difference> publication_differences;
  std::span<const Difference> article_differences;
};

// The one routine behind the four builders: a table with its primary key, a
// view and a procedure on it, the publication and its three articles, each
// recorded right after its statement (the queued publication's expected
// version column and sync triggers with the table). Traps its failures under
// the profile's module and procedure names.
void BuildPublication(const PublicationProfile& profile, harness::ModelProject& project,
                      harness::SqlSession& session, const std::u16string& database);

}  // namespace tavora::replication

#endif  // TAVORA_DATASETS_REPLICATION_PUBLICATION_BUILDER_H_
