#include "server/exec/locking.h"

#include <algorithm>

namespace server {

namespace {

bool HasHint(const std::vector<std::string>& hints, std::string_view hint) {
  return std::find(hints.begin(), hints.end(), hint) != hints.end();
}

// The level a lock held "to the end of the transaction" is taken at: outside
// a transaction the statement is its own transaction.
int TransactionLevel(ExecContext& ctx) {
  if (ctx.session.transaction.count > 0) return kTransactionLock;
  return ctx.transactions.StatementLevel(ctx.session);
}

}  // namespace

Status LockCatalogForReading(const Database& db, ExecContext& ctx) {
  return ctx.transactions.Lock(ctx.session, CatalogResource(db.dbid), LockMode::kShared,
                               ctx.transactions.StatementLevel(ctx.session));
}

Status LockForReading(const Database& db, int id, const std::vector<std::string>& hints,
                      ExecContext& ctx) {
  std::string resource = ObjectResource(db.dbid, id);
  if (HasHint(hints, "XLOCK") || HasHint(hints, "TABLOCKX")) {
    return ctx.transactions.Lock(ctx.session, resource, LockMode::kExclusive,
                                 TransactionLevel(ctx));
  }
  if (HasHint(hints, "UPDLOCK")) {
    return ctx.transactions.Lock(ctx.session, resource, LockMode::kUpdate, TransactionLevel(ctx));
  }
  Isolation isolation = ctx.session.options.isolation;
  if (HasHint(hints, "NOLOCK") || HasHint(hints, "READUNCOMMITTED")) {
    isolation = Isolation::kReadUncommitted;
  } else if (HasHint(hints, "READCOMMITTED")) {
    isolation = Isolation::kReadCommitted;
  } else if (HasHint(hints, "HOLDLOCK") || HasHint(hints, "SERIALIZABLE")) {
    isolation = Isolation::kSerializable;
  } else if (HasHint(hints, "REPEATABLEREAD")) {
    isolation = Isolation::kRepeatableRead;
  }
  switch (isolation) {
    case Isolation::kReadUncommitted:
      return std::nullopt;
    case Isolation::kReadCommitted:
      return ctx.transactions.Lock(ctx.session, resource, LockMode::kShared,
                                   ctx.transactions.StatementLevel(ctx.session));
    case Isolation::kRepeatableRead:
    case Isolation::kSerializable:
      break;
  }
  return ctx.transactions.Lock(ctx.session, resource, LockMode::kShared, TransactionLevel(ctx));
}

Status LockForChanging(const Database& db, int id, ExecContext& ctx) {
  return ctx.transactions.Lock(ctx.session, ObjectResource(db.dbid, id), LockMode::kExclusive,
                               kTransactionLock);
}

Status LockCatalogForChanging(const Database& db, ExecContext& ctx) {
  return ctx.transactions.Lock(ctx.session, CatalogResource(db.dbid), LockMode::kExclusive,
                               kTransactionLock);
}

}  // namespace server
