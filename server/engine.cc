#include "server/engine.h"

#include <exception>

#include "base/utf.h"
#include "server/catalog/server_state.h"
#include "server/errors.h"
#include "server/exec/executor.h"
#include "server/persistence.h"
#include "server/sql/parser.h"
#include "server/types/collation.h"
#include "server/types/scalar.h"

namespace server {

Engine::Engine(ServerOptions options) : state_(NewServerState(std::move(options))) {}

Engine::Engine(std::unique_ptr<ServerState> state) : state_(std::move(state)) {}

Engine::~Engine() = default;

const ServerOptions& Engine::options() const { return state_->options; }

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
  try {
    auto parsed = ParseBatch(batch);
    if (auto* error = std::get_if<SqlError>(&parsed)) return fail(std::move(*error));
    ExecContext ctx{*state_, *session, sessions_, outcome, 0, {}};
    if (Status s = RunStatements(std::get<Batch>(parsed), ctx)) return fail(std::move(*s));
  } catch (const std::exception& e) {
    // A defect must not take the client down with it; it reports instead.
    return fail(Raise(Msg::kInternalError, {e.what()}));
  }
  return outcome;
}

std::string Engine::CurrentDatabase(int session) const {
  for (const auto& s : sessions_) {
    if (s->id == session) return s->database;
  }
  return "";
}

std::string Engine::Save() const { return SaveState(*state_); }

std::variant<std::unique_ptr<Engine>, std::string> Engine::Load(std::string_view text,
                                                                ServerOptions options) {
  auto loaded = LoadState(text, std::move(options));
  if (auto* error = std::get_if<std::string>(&loaded)) return std::move(*error);
  return std::unique_ptr<Engine>(
      new Engine(std::move(std::get<std::unique_ptr<ServerState>>(loaded))));
}

}  // namespace server
