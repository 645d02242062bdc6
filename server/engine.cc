#include "server/engine.h"

#include <algorithm>
#include <exception>
#include <stdexcept>
#include <thread>
#include <tuple>
#include <unordered_set>

#include "base/utf.h"
#include "server/catalog/server_state.h"
#include "server/errors.h"
#include "server/exec/executor.h"
#include "server/exec/locks.h"
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

// Drops the temporary tables of the sessions `ended` says have ended,
// keeping them like a replaced catalog while a batch may still refer to one.
void RetireTempTables(ServerState& state, std::vector<std::unique_ptr<ServerState>>& retired,
                      const std::function<bool(int)>& ended) {
  std::vector<std::unique_ptr<Table>> taken = state.TakeTempTables(ended);
  if (taken.empty()) return;
  auto holder = std::make_unique<ServerState>(state.options);
  holder->AddDatabase("tempdb", true).tables = std::move(taken);
  retired.push_back(std::move(holder));
}

}  // namespace

// The store's side of T-SQL transactions, and the locks between sessions.
// The session that changes something first becomes the store's writer and
// stays it until its changes are committed or undone; the outermost BEGIN
// commits what its batch changed before it, so a transaction's changes are
// exactly what the store's transaction holds from there. COMMIT commits
// them at once; ROLLBACK rolls the store back and reads the catalog back
// from it. A savepoint is one of the store's, taken with the catalog written
// first so that rolling back to it restores the catalog too. A session that
// has changed nothing has nothing in the store to commit, undo or mark: its
// transaction only holds locks.
class Engine::StoreTransactions : public TransactionControl {
 public:
  explicit StoreTransactions(Engine& engine) : engine_(engine) {}

  Status Begin(const Session& session) override {
    if (auto running = engine_.running_.find(session.id); running != engine_.running_.end()) {
      running->second.before_transaction_results = running->second.outcome->results.size();
      running->second.before_transaction_counts = running->second.outcome->row_counts.size();
    }
    if (engine_.writer_ != session.id) return std::nullopt;
    return engine_.Checkpoint();
  }
  Status Commit(const Session& session) override {
    if (engine_.writer_ == session.id) return engine_.Checkpoint();
    engine_.EndTransactionLocks(session.id);
    return std::nullopt;
  }
  Status Rollback(const Session& session) override {
    if (engine_.writer_ != session.id) {
      engine_.EndTransactionLocks(session.id);
      return std::nullopt;
    }
    Store& store = *engine_.store_;
    if (store.failed()) return engine_.EarlierFailure();
    store.Rollback();
    Status reloaded = engine_.ReloadCatalog();
    engine_.EndTransactionLocks(session.id);
    return reloaded;
  }
  Status Save(const Session& session) override {
    if (engine_.writer_ != session.id) return std::nullopt;
    if (Status s = engine_.store_->WriteCatalog(CatalogTexts(*engine_.state_))) return s;
    return engine_.store_->Savepoint(SavepointName(session.transaction.savepoints.size()));
  }
  Status RollbackTo(const Session& session, size_t savepoint) override {
    if (engine_.writer_ != session.id) return std::nullopt;
    if (engine_.store_->failed()) return engine_.EarlierFailure();
    engine_.store_->RollbackTo(SavepointName(savepoint), /*keep=*/true);
    return engine_.ReloadCatalog();
  }

  Status Lock(Session& session, const std::string& resource, LockMode mode, int level) override {
    return engine_.Lock(session, resource, mode, level);
  }
  Status StartChanging(Session& session) override {
    if (engine_.writer_ == session.id) return std::nullopt;
    return engine_.BecomeWriter(session);
  }
  bool Changing(const Session& session) const override { return engine_.writer_ == session.id; }
  int EnterStatement(const Session& session) override {
    return engine_.locks_->EnterStatement(session.id);
  }
  void LeaveStatement(const Session& session, int level) override {
    engine_.locks_->LeaveStatement(session.id, level);
    engine_.Wake();
  }
  int StatementLevel(const Session& session) const override {
    return engine_.locks_->Level(session.id);
  }
  int BlockedBy(int id) const override { return engine_.locks_->BlockedBy(id); }
  std::vector<LockTable::Listed> ListLocks() const override { return engine_.locks_->List(); }
  Status Pause(Session& session, std::chrono::steady_clock::time_point until) override {
    auto running = engine_.running_.find(session.id);
    if (running == engine_.running_.end() || !running->second.wait) {
      std::this_thread::sleep_until(until);
      return std::nullopt;
    }
    do {
      if (running->second.departing || !(*running->second.wait)(until))
        return Raise(Msg::kCancelled);
    } while (std::chrono::steady_clock::now() < until);
    return std::nullopt;
  }

  static std::string SavepointName(size_t savepoint) { return "t" + std::to_string(savepoint); }

 private:
  Engine& engine_;
};

Engine::Engine(ServerOptions options)
    : state_(NewServerState(options)),
      store_(MemoryStore(options)),
      transactions_(std::make_unique<StoreTransactions>(*this)),
      locks_(std::make_unique<LockTable>()),
      catalog_in_store_(false) {}

Engine::Engine(std::unique_ptr<ServerState> state, std::unique_ptr<Store> store)
    : state_(std::move(state)),
      store_(std::move(store)),
      transactions_(std::make_unique<StoreTransactions>(*this)),
      locks_(std::make_unique<LockTable>()) {}

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
  // Temporary tables did not outlive the sessions of the last run.
  (void)std::get<std::unique_ptr<ServerState>>(loaded)->TakeTempTables([](int) { return true; });
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
                                          bool trusted, const std::string& server_name,
                                          const std::optional<ClientNames>& client) {
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
  if (client) {
    session->host_name = client->host_name;
    session->program_name = client->app_name;
    session->net_library = "TCP/IP";
  } else {
    // In-process, as a client on the machine reaches SQL Server 2000 through
    // shared memory.
    session->net_library = "LPC";
    // A client on the server's machine reports that machine's name as its
    // host; an in-process caller names no application, so APP_NAME is ''.
    const std::string& name = state_->options.name;
    session->host_name = name.substr(0, name.find('\\'));
  }
  session->login_time = std::chrono::system_clock::now();
  session->last_batch = session->login_time;
  int id = session->id;
  sessions_.push_back(std::move(session));
  return id;
}

void Engine::Logout(int session) {
  if (auto running = running_.find(session); running != running_.end()) {
    running->second.departing = true;
    Wake();
    return;
  }
  LogoutNow(session);
}

void Engine::LogoutNow(int session) {
  if (Session* s = FindSession(session)) {
    // Nobody is left to tell if this fails; the session ends either way.
    if (writer_ == session) {
      store_->Rollback();
      if (catalog_in_store_) (void)ReloadCatalog();
      writer_ = 0;
    }
    s->transaction = TransactionState{};
  }
  locks_->Forget(session);
  std::erase_if(sessions_,
                [session](const std::unique_ptr<Session>& s) { return s->id == session; });
  // Its temporary tables end with it. Written with the catalog's next
  // change; a rollback or a restart that brings them back drops them again.
  RetireTempTables(*state_, retired_, [session](int owner) { return owner == session; });
  if (running_.empty()) retired_.clear();
  Wake();
}

void Engine::OnLocksReleased(std::function<void()> wake) { wake_ = std::move(wake); }

void Engine::Wake() const {
  if (wake_) wake_();
}

Session* Engine::FindSession(int id) const {
  for (const auto& s : sessions_) {
    if (s->id == id) return s.get();
  }
  return nullptr;
}

BatchOutcome Engine::Execute(int session_id, std::string_view batch, const LockWait& wait) {
  if (!base::IsValidUtf8(batch) && FindSession(session_id)) {
    BatchOutcome outcome;
    SqlError error = Raise(Msg::kInvalidText);
    error.line = 1;
    outcome.AddError(std::move(error), true);
    return outcome;
  }
  std::optional<std::variant<Batch, SqlError>> parsed;
  return Run(session_id, wait, [&](ExecContext& ctx) -> Status {
    SessionOptions& options = ctx.session.options;
    parsed = ParseBatch(batch, options.quoted_identifier);
    if (auto* error = std::get_if<SqlError>(&*parsed)) return std::move(*error);
    const Batch& statements = std::get<Batch>(*parsed);
    // SET QUOTED_IDENTIFIER takes effect where it is parsed, run or not.
    if (statements.quoted_identifier) options.quoted_identifier = *statements.quoted_identifier;
    return RunStatements(statements, ctx);
  });
}

BatchOutcome Engine::Call(int session_id, const ProcedureCall& call, CallResult& result,
                          const LockWait& wait) {
  result = CallResult{};
  return Run(session_id, wait, [&](ExecContext& ctx) { return RunCall(call, ctx, result); });
}

BatchOutcome Engine::BulkLoad(int session_id, const BulkRows& rows, const LockWait& wait,
                              const std::string& malformed) {
  Session* session = FindSession(session_id);
  std::shared_ptr<const InsertStmt> announced = session ? session->pending_bulk : nullptr;
  return Run(session_id, wait, [&](ExecContext& ctx) -> Status {
    if (!malformed.empty())
      return Raise(Msg::kBulkLoad, {"the rows sent are not readable: " + malformed});
    if (!announced) return Raise(Msg::kBulkLoad, {"no INSERT BULK came just before the rows"});
    return RunBulkLoad(*announced, rows, ctx);
  });
}

BatchOutcome Engine::Run(int session_id, const LockWait& wait,
                         const std::function<Status(ExecContext&)>& body) {
  BatchOutcome outcome;
  Session* session = FindSession(session_id);
  auto fail = [&outcome](SqlError error) {
    if (error.line <= 0) error.line = 1;
    outcome.AddError(std::move(error), true);
    return outcome;
  };
  if (!session) return fail(Raise(Msg::kLoginFailed, {""}));
  if (running_.count(session_id))
    return fail(Raise(Msg::kInternalError, {"batch already running"}));
  // A session whose database is gone (it cannot be dropped while in use,
  // but a distributor drop takes its database) falls back to master.
  if (!state_->FindDatabase(session->database)) session->database = "master";
  running_[session_id] = Running{&outcome, wait ? &wait : nullptr};
  session->pending_bulk.reset();
  session->last_batch = std::chrono::system_clock::now();
  try {
    ExecContext ctx{*state_, *store_, *transactions_, *session, sessions_, outcome};
    ctx.scope_identity = session->scope_identity;
    Status status = body(ctx);
    session->scope_identity = ctx.scope_identity;
    if (Status s = std::move(status)) {
      if (s->line <= 0) s->line = 1;
      outcome.AddError(std::move(*s), true);
    }
    Finish(*session, outcome);
  } catch (const std::exception& e) {
    // A defect must not take the client down with it; it reports instead,
    // and nothing of the batch since its last commit remains.
    Undo(*session, outcome, Raise(Msg::kInternalError, {e.what()}));
  }
  bool departing = running_[session_id].departing;
  running_.erase(session_id);
  if (departing) {
    LogoutNow(session_id);
  } else if (running_.empty()) {
    retired_.clear();
  }
  Wake();
  return outcome;
}

Status Engine::BecomeWriter(Session& session) {
  if (Status s = Lock(session, WriterResource(), LockMode::kExclusive, kTransactionLock)) return s;
  Running& running = running_.at(session.id);
  const TransactionState& transaction = session.transaction;
  auto fail = [&](SqlError error) -> Status {
    store_->Rollback();
    locks_->ReleaseTransaction(session.id);
    return error;
  };
  if (Status s = store_->Begin()) return fail(std::move(*s));
  if (transaction.count > 0 && !catalog_in_store_) {
    // A rollback reads the catalog back from the store, which must hold it
    // as committed first.
    if (Status s = store_->WriteCatalog(CatalogTexts(*state_))) return fail(std::move(*s));
    if (Status s = store_->Commit()) return fail(std::move(*s));
    catalog_in_store_ = true;
    if (Status s = store_->Begin()) return fail(std::move(*s));
  }
  // The transaction had changed nothing before, so its savepoints all stand
  // where its changes start.
  for (size_t i = 0; i < transaction.savepoints.size(); ++i) {
    if (Status s = store_->Savepoint(StoreTransactions::SavepointName(i)))
      return fail(std::move(*s));
  }
  writer_ = session.id;
  // A failure undoes the transaction from its BEGIN, or the batch from here.
  bool in_transaction = transaction.count > 0;
  committed_results_ =
      in_transaction ? running.before_transaction_results : running.outcome->results.size();
  committed_counts_ =
      in_transaction ? running.before_transaction_counts : running.outcome->row_counts.size();
  return std::nullopt;
}

Status Engine::Lock(Session& session, const std::string& resource, LockMode mode, int level) {
  Running* running = nullptr;
  if (auto found = running_.find(session.id); found != running_.end()) running = &found->second;
  const int64_t timeout = session.options.lock_timeout;
  const auto deadline = timeout > 0
                            ? std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout)
                            : std::chrono::steady_clock::time_point::max();
  auto give_up = [&](SqlError error) -> Status {
    locks_->StopWaiting(session.id);
    return error;
  };
  for (;;) {
    if (running && running->victim) {
      running->victim = false;
      return give_up(Raise(Msg::kDeadlockVictim, {std::to_string(session.id)}));
    }
    if (locks_->TryLock(session.id, resource, mode, level)) {
      locks_->StopWaiting(session.id);
      return std::nullopt;
    }
    if (!running || !running->wait || timeout == 0) return give_up(Raise(Msg::kLockTimeout));
    if (running->departing) return give_up(Raise(Msg::kCancelled));
    locks_->Wait(session.id, resource, mode);
    std::vector<int> cycle = locks_->FindCycle(session.id);
    if (!cycle.empty()) {
      int victim = ChooseVictim(cycle, session.id);
      if (victim == session.id)
        return give_up(Raise(Msg::kDeadlockVictim, {std::to_string(session.id)}));
      running_.at(victim).victim = true;
      Wake();
    }
    if (std::chrono::steady_clock::now() >= deadline) return give_up(Raise(Msg::kLockTimeout));
    if (!(*running->wait)(deadline)) return give_up(Raise(Msg::kCancelled));
  }
}

int Engine::ChooseVictim(const std::vector<int>& cycle, int requester) const {
  // DEADLOCK_PRIORITY LOW first; then a session that has changed nothing,
  // whose transaction costs nothing to undo; then the one that asked last.
  auto rank = [&](int id) {
    Session* s = FindSession(id);
    bool low = s && s->options.deadlock_priority_low;
    return std::tuple(!low, id == writer_, id != requester);
  };
  return *std::min_element(cycle.begin(), cycle.end(),
                           [&](int a, int b) { return rank(a) < rank(b); });
}

void Engine::EndTransactionLocks(int session) {
  if (writer_ == session) writer_ = 0;
  locks_->ReleaseTransaction(session);
  Wake();
}

void Engine::Finish(Session& session, BatchOutcome& outcome) {
  if (writer_ != session.id) {
    // Locks held to the end of a transaction are held to the end of the
    // batch outside one.
    if (session.transaction.count == 0) EndTransactionLocks(session.id);
    return;
  }
  if (store_->failed()) {
    SqlError error = outcome.ends_batch ? outcome.errors.back().error : EarlierFailure();
    return Undo(session, outcome, std::move(error));
  }
  // A transaction's changes stay uncommitted, and locked, until it ends.
  if (session.transaction.count > 0) return;
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
  EndTransactionLocks(session.id);
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
  // Whatever the batch's `changed` says: a transaction's catalog changes
  // may come from earlier batches of it, which that mark does not see, and
  // in memory the catalog must be there to roll back to.
  if (Status s = store_->SweepTables(LiveTables())) return s;
  if (Status s = store_->WriteCatalog(CatalogTexts(*state_))) return s;
  if (Status s = store_->Commit()) return s;
  catalog_in_store_ = true;
  if (auto running = running_.find(writer_); running != running_.end()) {
    BatchOutcome& outcome = *running->second.outcome;
    outcome.changed = false;
    committed_results_ = outcome.results.size();
    committed_counts_ = outcome.row_counts.size();
  }
  EndTransactionLocks(writer_);
  return std::nullopt;
}

void Engine::Undo(Session& session, BatchOutcome& outcome, SqlError error) {
  if (writer_ == session.id) {
    store_->Rollback();
    if (catalog_in_store_) (void)ReloadCatalog();
    // The client must not take what was undone for done: what it was told
    // of that part of the batch is void.
    if (outcome.results.size() > committed_results_) outcome.results.resize(committed_results_);
    if (outcome.row_counts.size() > committed_counts_) outcome.row_counts.resize(committed_counts_);
  }
  // The session's transaction, if it had one, is gone with the rest.
  session.transaction = TransactionState{};
  EndTransactionLocks(session.id);
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
  RetireTempTables(*state_, retired_, [this](int owner) { return FindSession(owner) == nullptr; });
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
