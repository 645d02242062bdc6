#include "server/engine.h"

#include <algorithm>
#include <exception>
#include <stdexcept>
#include <unordered_set>

#include "base/utf.h"
#include "server/catalog/server_state.h"
#include "server/errors.h"
#include "server/exec/executor.h"
#include "server/exec/transaction_control.h"
#include "server/persistence.h"
#include "server/sql/parser.h"
#include "server/store/store.h"
#include "server/types/collation.h"
#include "server/types/scalar.h"

namespace server {

namespace {

std::unique_ptr<Store> MemoryStore(const ServerOptions& options) {
  auto opened = Store::Open(std::string(Store::kMemory), Collation(options.case_sensitive));
  if (auto* error = std::get_if<std::string>(&opened)) throw std::runtime_error(*error);
  return std::move(std::get<std::unique_ptr<Store>>(opened));
}

// Writes the whole catalog in one transaction of its own.
Status WriteWholeCatalog(Store& store, const ServerState& state) {
  if (Status s = store.Begin()) return s;
  if (Status s = store.WriteCatalog(CatalogTexts(state))) {
    store.Rollback();
    return s;
  }
  return store.Commit();
}

// Whether a batch runs without the store: it only sets session options,
// changes database, prints, computes values or begins and ends
// transactions. Such a batch may run while another session's transaction
// holds the store, so that a client can connect, set up its session and end
// its own transaction (which cannot have changed anything) meanwhile.
bool StoreFree(const Statement& statement) {
  if (const auto* branch = std::get_if<IfStmt>(&statement.node)) {
    return (!branch->then_branch || StoreFree(*branch->then_branch)) &&
           (!branch->else_branch || StoreFree(*branch->else_branch));
  }
  const auto* select = std::get_if<SelectStmt>(&statement.node);
  return std::holds_alternative<UseStmt>(statement.node) ||
         std::holds_alternative<SetStmt>(statement.node) ||
         std::holds_alternative<PrintStmt>(statement.node) ||
         std::holds_alternative<TransactionStmt>(statement.node) || (select && !select->from);
}

bool StoreFree(const Batch& batch) {
  return std::all_of(batch.statements.begin(), batch.statements.end(),
                     [](const Statement& statement) { return StoreFree(statement); });
}

}  // namespace

// The store's side of T-SQL transactions. The outermost BEGIN commits what
// the batch did before it, so the transaction's own changes are exactly
// what the store's transaction holds from there; COMMIT commits them at
// once; ROLLBACK rolls the store back and reads the catalog back from it. A
// savepoint is one of the store's, taken with the catalog written first so
// that rolling back to it restores the catalog too.
class Engine::StoreTransactions : public TransactionControl {
 public:
  explicit StoreTransactions(Engine& engine) : engine_(engine) {}

  // While another session's transaction holds the store, this session has
  // changed nothing (it could not), so its transaction has nothing to
  // commit, undo or mark, and the store is not its to touch.
  Status Begin(const Session& session) override {
    if (engine_.MustWait(session.id)) return std::nullopt;
    if (Status s = engine_.Checkpoint()) return s;
    engine_.clean_mark_ = engine_.store_->changes();
    return std::nullopt;
  }
  Status Commit(const Session& session) override {
    if (engine_.MustWait(session.id)) return std::nullopt;
    return engine_.Checkpoint();
  }
  Status Rollback(const Session& session) override {
    if (engine_.MustWait(session.id)) return std::nullopt;
    Store& store = *engine_.store_;
    if (store.failed()) return engine_.EarlierFailure();
    store.Rollback();
    engine_.owner_ = 0;
    if (Status s = engine_.ReloadCatalog()) return s;
    if (Status s = store.Begin()) return s;
    engine_.clean_mark_ = store.changes();
    return std::nullopt;
  }
  Status Save(const Session& session) override {
    if (engine_.MustWait(session.id)) return std::nullopt;
    if (Status s = engine_.store_->WriteCatalog(CatalogTexts(*engine_.state_))) return s;
    return engine_.store_->Savepoint(SavepointName(session.transaction.savepoints.size()));
  }
  Status RollbackTo(const Session& session, size_t savepoint) override {
    if (engine_.MustWait(session.id)) return std::nullopt;
    if (engine_.store_->failed()) return engine_.EarlierFailure();
    engine_.store_->RollbackTo(SavepointName(savepoint), /*keep=*/true);
    return engine_.ReloadCatalog();
  }

  static std::string SavepointName(size_t savepoint) { return "t" + std::to_string(savepoint); }

 private:
  Engine& engine_;
};

Engine::Engine(ServerOptions options)
    : state_(NewServerState(options)),
      store_(MemoryStore(options)),
      transactions_(std::make_unique<StoreTransactions>(*this)),
      catalog_in_store_(false) {}

Engine::Engine(std::unique_ptr<ServerState> state, std::unique_ptr<Store> store)
    : state_(std::move(state)),
      store_(std::move(store)),
      transactions_(std::make_unique<StoreTransactions>(*this)) {}

Engine::~Engine() = default;

const ServerOptions& Engine::options() const { return state_->options; }

const std::string& Engine::store_path() const { return store_->path(); }

std::variant<std::unique_ptr<Engine>, std::string> Engine::Open(const std::string& path,
                                                                ServerOptions options) {
  auto opened = Store::Open(path, Collation(options.case_sensitive));
  if (auto* error = std::get_if<std::string>(&opened)) return std::move(*error);
  std::unique_ptr<Store> store = std::move(std::get<std::unique_ptr<Store>>(opened));
  std::map<std::string, std::string> texts;
  if (Status s = store->LoadCatalog(texts)) return s->message;
  if (texts.empty()) {
    std::unique_ptr<ServerState> state = NewServerState(std::move(options));
    if (Status s = WriteWholeCatalog(*store, *state)) return s->message;
    return std::unique_ptr<Engine>(new Engine(std::move(state), std::move(store)));
  }
  auto loaded = LoadCatalog(texts, std::move(options));
  if (auto* message = std::get_if<std::string>(&loaded)) {
    return "The store '" + path + "' holds a catalog that is " + *message +
           "; it was left as it is.";
  }
  return std::unique_ptr<Engine>(
      new Engine(std::move(std::get<std::unique_ptr<ServerState>>(loaded)), std::move(store)));
}

std::variant<std::unique_ptr<Engine>, std::string> Engine::Import(const std::string& path,
                                                                  std::string_view text,
                                                                  ServerOptions options) {
  std::vector<std::pair<Table*, std::vector<Row>>> rows;
  auto loaded = LoadState(text, options, [&rows](Table& table, std::vector<Row> table_rows) {
    rows.emplace_back(&table, std::move(table_rows));
  });
  if (auto* message = std::get_if<std::string>(&loaded)) return std::move(*message);
  std::unique_ptr<ServerState> state = std::move(std::get<std::unique_ptr<ServerState>>(loaded));
  // Tables saved before rows had a store of their own get their store ids now.
  for (const auto& db : state->databases) {
    for (const auto& table : db->tables) {
      state->next_store_id = std::max(state->next_store_id, table->store_id + 1);
    }
  }
  std::unordered_set<int64_t> seen;
  for (const auto& db : state->databases) {
    for (const auto& table : db->tables) {
      if (table->store_id == 0 || !seen.insert(table->store_id).second)
        table->store_id = state->next_store_id++;
    }
  }
  auto opened = Store::Open(path, Collation(options.case_sensitive));
  if (auto* error = std::get_if<std::string>(&opened)) return std::move(*error);
  std::unique_ptr<Store> store = std::move(std::get<std::unique_ptr<Store>>(opened));
  std::map<std::string, std::string> texts;
  if (Status s = store->LoadCatalog(texts)) return s->message;
  if (!texts.empty()) return "The store '" + path + "' already holds a server.";
  if (Status s = store->Begin()) return s->message;
  auto fail = [&store](const SqlError& error) {
    store->Rollback();
    return error.message;
  };
  for (const auto& [table, table_rows] : rows) {
    for (const Row& row : table_rows) {
      if (Status s = store->Insert(*table, row)) return fail(*s);
    }
  }
  if (Status s = store->WriteCatalog(CatalogTexts(*state))) return fail(*s);
  if (Status s = store->Commit()) return s->message;
  return std::unique_ptr<Engine>(new Engine(std::move(state), std::move(store)));
}

std::variant<std::unique_ptr<Engine>, std::string> Engine::Load(std::string_view text,
                                                                ServerOptions options) {
  return Import(std::string(Store::kMemory), text, std::move(options));
}

std::variant<int, SqlError> Engine::Login(const std::string& user, const std::string& password,
                                          bool trusted, const std::string& server_name) {
  std::string login;
  if (trusted) {
    // Windows authentication: the account is whoever the client says.
    login = user.empty() ? state_->options.name + "\\Administrator" : user;
  } else if (EqualNoCase(user, "sa") && password == state_->options.sa_password) {
    login = "sa";
  } else {
    SqlError error = Raise(Msg::kLoginFailed, {user});
    error.line = 1;
    return error;
  }
  auto session = std::make_unique<Session>();
  session->id = next_session_++;
  session->login = std::move(login);
  session->server_name = server_name;
  int id = session->id;
  sessions_.push_back(std::move(session));
  return id;
}

void Engine::Logout(int session) {
  if (Session* s = FindSession(session); s && s->transaction.count > 0) {
    // Nobody is left to tell if this fails; the session ends either way.
    if (owner_ == session) {
      store_->Rollback();
      owner_ = 0;
      if (catalog_in_store_) (void)ReloadCatalog();
      retired_.clear();
    }
    s->transaction = TransactionState{};
  }
  std::erase_if(sessions_,
                [session](const std::unique_ptr<Session>& s) { return s->id == session; });
}

Session* Engine::FindSession(int id) const {
  for (const auto& s : sessions_) {
    if (s->id == id) return s.get();
  }
  return nullptr;
}

bool Engine::MustWait(int session) const { return owner_ != 0 && owner_ != session; }

int64_t Engine::LockTimeout(int session) const {
  Session* s = FindSession(session);
  return s ? s->options.lock_timeout : -1;
}

BatchOutcome Engine::Execute(int session_id, std::string_view batch) {
  BatchOutcome outcome;
  Session* session = FindSession(session_id);
  auto fail = [&outcome](SqlError error) {
    if (error.line <= 0) error.line = 1;
    outcome.AddError(std::move(error), true);
    return outcome;
  };
  if (!session) return fail(Raise(Msg::kLoginFailed, {""}));
  if (!base::IsValidUtf8(batch)) return fail(Raise(Msg::kInvalidText));
  // A session whose database is gone (it cannot be dropped while in use,
  // but a distributor drop takes its database) falls back to master.
  if (!state_->FindDatabase(session->database)) session->database = "master";
  auto parsed = ParseBatch(batch);
  if (auto* error = std::get_if<SqlError>(&parsed)) return fail(std::move(*error));
  if (MustWait(session_id)) {
    // Another session's changes are in the store's open transaction: a
    // batch that uses the store would mix its own with them.
    if (!StoreFree(std::get<Batch>(parsed))) {
      outcome.blocked = true;
      return fail(Raise(Msg::kLockTimeout));
    }
    ExecContext ctx{*state_, *store_, *transactions_, *session, sessions_, outcome, 0, {}};
    if (Status s = RunStatements(std::get<Batch>(parsed), ctx)) return fail(std::move(*s));
    return outcome;
  }
  committed_results_ = 0;
  committed_counts_ = 0;
  if (Status s = Resume(*session)) {
    Undo(*session, outcome, std::move(*s));
    return outcome;
  }
  batch_ = &outcome;
  try {
    ExecContext ctx{*state_, *store_, *transactions_, *session, sessions_, outcome, 0, {}};
    if (Status s = RunStatements(std::get<Batch>(parsed), ctx)) {
      if (s->line <= 0) s->line = 1;
      outcome.AddError(std::move(*s), true);
    }
    Finish(*session, outcome);
  } catch (const std::exception& e) {
    // A defect must not take the client down with it; it reports instead,
    // and nothing of the batch since its last commit remains.
    Undo(*session, outcome, Raise(Msg::kInternalError, {e.what()}));
  }
  batch_ = nullptr;
  retired_.clear();
  return outcome;
}

Status Engine::Resume(Session& session) {
  if (store_->in_transaction()) return std::nullopt;
  if (Status s = store_->Begin()) return s;
  const TransactionState& transaction = session.transaction;
  if (transaction.count > 0) {
    // The transaction had changed nothing when its last batch ended, so
    // that batch committed; its savepoints all stand where this one starts.
    for (size_t i = 0; i < transaction.savepoints.size(); ++i) {
      if (Status s = store_->Savepoint(StoreTransactions::SavepointName(i))) return s;
    }
    clean_mark_ = store_->changes();
  }
  return std::nullopt;
}

void Engine::Finish(Session& session, BatchOutcome& outcome) {
  if (store_->failed()) {
    SqlError error = outcome.ends_batch ? outcome.errors.back().error : EarlierFailure();
    return Undo(session, outcome, std::move(error));
  }
  if (session.transaction.count > 0 &&
      (owner_ == session.id || outcome.changed || store_->changes() != clean_mark_)) {
    // The transaction's changes stay uncommitted, and hold the server, until
    // it ends.
    owner_ = session.id;
    return;
  }
  owner_ = 0;
  if (outcome.changed) {
    if (Status s = store_->SweepTables(LiveTables())) return Undo(session, outcome, std::move(*s));
    // In memory nothing outlives the process, so the catalog is written only
    // where a transaction may need it back.
    if (store_->in_memory()) {
      catalog_in_store_ = false;
    } else if (Status s = store_->WriteCatalog(CatalogTexts(*state_))) {
      return Undo(session, outcome, std::move(*s));
    }
  }
  if (Status s = store_->Commit()) return Undo(session, outcome, std::move(*s));
}

std::unordered_set<int64_t> Engine::LiveTables() const {
  std::unordered_set<int64_t> live;
  for (const auto& db : state_->databases) {
    for (const auto& table : db->tables) live.insert(table->store_id);
  }
  return live;
}

SqlError Engine::EarlierFailure() const {
  return Raise(Msg::kStoreFailed, {store_->path(), "an earlier write failed"});
}

Status Engine::Checkpoint() {
  if (store_->failed()) return EarlierFailure();
  // Unlike Finish, whatever the batch's `changed` says: a transaction's
  // catalog changes may come from earlier batches of it, which that mark
  // does not see, and in memory the catalog must be there to roll back to.
  if (Status s = store_->SweepTables(LiveTables())) return s;
  if (Status s = store_->WriteCatalog(CatalogTexts(*state_))) return s;
  if (Status s = store_->Commit()) return s;
  catalog_in_store_ = true;
  owner_ = 0;
  if (batch_) {
    batch_->changed = false;
    committed_results_ = batch_->results.size();
    committed_counts_ = batch_->row_counts.size();
  }
  return store_->Begin();
}

void Engine::Undo(Session& session, BatchOutcome& outcome, SqlError error) {
  store_->Rollback();
  owner_ = 0;
  if (catalog_in_store_) (void)ReloadCatalog();
  // The client must not take what was undone for done: what it was told of
  // that part of the batch is void.
  if (outcome.results.size() > committed_results_) outcome.results.resize(committed_results_);
  if (outcome.row_counts.size() > committed_counts_) outcome.row_counts.resize(committed_counts_);
  // The session's transaction, if it had one, is gone with the rest.
  session.transaction = TransactionState{};
  error.line = 1;
  outcome.AddError(std::move(error), true);
  outcome.changed = false;
}

Status Engine::ReloadCatalog() {
  std::map<std::string, std::string> texts;
  if (Status s = store_->LoadCatalog(texts)) return s;
  auto loaded = LoadCatalog(texts, state_->options);
  if (auto* message = std::get_if<std::string>(&loaded))
    return Raise(Msg::kStoreFailed, {store_->path(), "reading the catalog back: " + *message});
  std::unique_ptr<ServerState>& fresh = std::get<std::unique_ptr<ServerState>>(loaded);
  std::swap(*state_, *fresh);
  retired_.push_back(std::move(fresh));
  return std::nullopt;
}

std::string Engine::CurrentDatabase(int session) const {
  for (const auto& s : sessions_) {
    if (s->id == session) return s->database;
  }
  return "";
}

std::string Engine::Save() const {
  return SaveState(*state_, [this](const Table& table) {
    std::vector<Row> rows;
    Status s = store_->Scan(table, [&rows](RowId, Row& row) -> Status {
      rows.push_back(std::move(row));
      return std::nullopt;
    });
    if (s) throw std::runtime_error(s->message);
    return rows;
  });
}

}  // namespace server
