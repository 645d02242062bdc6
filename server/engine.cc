#include "server/engine.h"

#include <exception>
#include <stdexcept>
#include <unordered_set>

#include "base/utf.h"
#include "server/catalog/server_state.h"
#include "server/errors.h"
#include "server/exec/executor.h"
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

}  // namespace

Engine::Engine(ServerOptions options)
    : state_(NewServerState(options)), store_(MemoryStore(options)) {}

Engine::Engine(std::unique_ptr<ServerState> state, std::unique_ptr<Store> store)
    : state_(std::move(state)), store_(std::move(store)) {}

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
  std::erase_if(sessions_,
                [session](const std::unique_ptr<Session>& s) { return s->id == session; });
}

BatchOutcome Engine::Execute(int session_id, std::string_view batch) {
  BatchOutcome outcome;
  Session* session = nullptr;
  for (const auto& s : sessions_) {
    if (s->id == session_id) session = s.get();
  }
  auto fail = [&outcome](SqlError error) {
    if (error.line <= 0) error.line = 1;
    outcome.error = std::move(error);
    return outcome;
  };
  if (!session) return fail(Raise(Msg::kLoginFailed, {""}));
  if (!base::IsValidUtf8(batch)) return fail(Raise(Msg::kInvalidText));
  // A session whose database is gone (it cannot be dropped while in use,
  // but a distributor drop takes its database) falls back to master.
  if (!state_->FindDatabase(session->database)) session->database = "master";
  auto parsed = ParseBatch(batch);
  if (auto* error = std::get_if<SqlError>(&parsed)) return fail(std::move(*error));
  if (Status s = store_->Begin()) return fail(std::move(*s));
  try {
    ExecContext ctx{*state_, *store_, *session, sessions_, outcome, 0, {}};
    if (Status s = RunStatements(std::get<Batch>(parsed), ctx)) {
      if (s->line <= 0) s->line = 1;
      outcome.error = std::move(*s);
    }
  } catch (const std::exception& e) {
    // A defect must not take the client down with it; it reports instead,
    // and nothing of the batch remains.
    Abandon();
    return fail(Raise(Msg::kInternalError, {e.what()}));
  }
  Finish(outcome);
  return outcome;
}

void Engine::Finish(BatchOutcome& outcome) {
  auto undo = [&](SqlError error) {
    Abandon();
    // The client must not take the batch for done: everything it reported is void.
    outcome.results.clear();
    outcome.row_counts.clear();
    error.line = 1;
    outcome.error = std::move(error);
    outcome.changed = false;
  };
  if (store_->failed()) {
    SqlError error =
        outcome.error ? *outcome.error : Raise(Msg::kStoreFailed, {store_->path(), "?"});
    return undo(std::move(error));
  }
  if (outcome.changed) {
    std::unordered_set<int64_t> live;
    for (const auto& db : state_->databases) {
      for (const auto& table : db->tables) live.insert(table->store_id);
    }
    if (Status s = store_->SweepTables(live)) return undo(std::move(*s));
    // In memory nothing outlives the process, so the catalog stays in the
    // engine alone.
    if (!store_->in_memory()) {
      if (Status s = store_->WriteCatalog(CatalogTexts(*state_))) return undo(std::move(*s));
    }
  }
  if (Status s = store_->Commit()) return undo(std::move(*s));
}

void Engine::Abandon() {
  store_->Rollback();
  if (store_->in_memory()) return;
  std::map<std::string, std::string> texts;
  if (store_->LoadCatalog(texts)) return;
  auto loaded = LoadCatalog(texts, state_->options);
  if (auto* state = std::get_if<std::unique_ptr<ServerState>>(&loaded)) state_ = std::move(*state);
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
