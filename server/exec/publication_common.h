#ifndef TAVORA_SERVER_EXEC_PUBLICATION_COMMON_H_
#define TAVORA_SERVER_EXEC_PUBLICATION_COMMON_H_

#include <string>

#include "server/exec/context.h"
#include "server/exec/system_procedures.h"

namespace server {

// The steps the merge procedures share with the transactional and snapshot
// ones. `merge` picks the family: a procedure of one family sees the other's
// publications only as names already taken.

// The start of sp_addpublication and sp_addmergepublication: the current
// database must be enabled for the family's publishing, @publication must be
// a free name and the server a ready publisher. Then `db` is that database
// and `publication` holds the next free id, the name, the family's kind
// (transactional for the other family) and the procedure's settings.
Status NewPublication(const ProcArgs& args, ExecContext& ctx, bool merge, Database*& db,
                      Publication& publication);

// Where sp_addarticle and sp_addmergearticle add an article: the current
// database, its publication of the family named by @publication, and the
// @article name, not yet used there.
struct ArticleTarget {
  Database* db = nullptr;
  Publication* publication = nullptr;
  std::string name;
};
Status FindArticleTarget(const ProcArgs& args, ExecContext& ctx, bool merge, ArticleTarget& target);

// Adds the target's article publishing `object`, with its type and the
// procedure's settings.
void AddArticle(const ArticleTarget& target, const ObjectRef& object, std::string type,
                const ProcArgs& args, ExecContext& ctx);

// sp_droppublication and sp_dropmergepublication: drops the family's
// publication named by @publication, or all of them for "all".
Status DropPublications(const ProcArgs& args, ExecContext& ctx, bool merge);

}  // namespace server

#endif  // TAVORA_SERVER_EXEC_PUBLICATION_COMMON_H_
