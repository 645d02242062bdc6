#include "server/tds/connection.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <deque>
#include <exception>
#include <utility>

#include "server/errors.h"
#include "server/tds/bulk_load.h"
#include "server/tds/login7.h"
#include "server/tds/names.h"
#include "server/tds/prelogin.h"
#include "server/tds/rpc.h"
#include "server/tds/sql_batch.h"
#include "server/tds/wire.h"

namespace server::tds {

namespace {

SqlError InternalError(const std::exception& e) { return Raise(Msg::kInternalError, {e.what()}); }

}  // namespace

Connection::Connection(asio::ip::tcp::socket socket, SharedEngine engine, uint32_t thread_id,
                       std::chrono::seconds login_timeout)
    : socket_(std::move(socket)), engine_(engine), thread_id_(thread_id) {
  context_.server_name = engine_.server_name;
  if (login_timeout.count() > 0) login_deadline_ = std::chrono::steady_clock::now() + login_timeout;
}

void Connection::Serve() {
  try {
    for (;;) {
      std::optional<Message> message = Read();
      if (!message) break;
      bool keep = false;
      switch (state_) {
        case State::kPreLogin:
          // A client may skip the pre-login and log in straight away.
          if (message->type == PacketType::kPreLogin) {
            keep = OnPreLogin(*message);
          } else if (message->type == PacketType::kLogin7) {
            keep = OnLogin(*message);
          }
          break;
        case State::kLogin:
          keep = message->type == PacketType::kLogin7 && OnLogin(*message);
          break;
        case State::kLoggedIn:
          if (message->type == PacketType::kSqlBatch) {
            keep = OnBatch(*message);
          } else if (message->type == PacketType::kAttention) {
            keep = OnAttention();
          } else if (message->type == PacketType::kRpc) {
            keep = OnRpc(*message);
          } else if (message->type == PacketType::kBulkLoad) {
            keep = OnBulkLoad(*message);
          } else if (message->type == PacketType::kTransactionManager) {
            keep = Send(
                PacketType::kReply,
                ErrorReply(context_, Raise(Msg::kNotSupported, {"A transaction manager request"})));
          }
          break;
      }
      if (!keep) break;
    }
  } catch (const std::exception&) {
    // A broken stream (bad framing, an undecodable login) or a failed socket
    // ends this client only; the listener and the other clients go on.
  }
  Logout();
  std::lock_guard<std::mutex> lock(socket_mutex_);
  open_ = false;
  asio::error_code ignored;
  socket_.close(ignored);
}

void Connection::Close() {
  std::lock_guard<std::mutex> lock(socket_mutex_);
  // shutdown rather than close: the serving thread may be inside a read on
  // this descriptor, and a closed descriptor could be reused under it.
  if (open_) ::shutdown(socket_.native_handle(), SHUT_RDWR);
}

std::optional<Message> Connection::Read() {
  std::array<uint8_t, 16384> buffer;
  for (;;) {
    if (std::optional<Message> message = assembler_.Next()) return message;
    if (login_deadline_ && !WaitForLoginData()) return std::nullopt;
    asio::error_code ec;
    size_t n = socket_.read_some(asio::buffer(buffer), ec);
    if (ec || n == 0) return std::nullopt;
    assembler_.Feed(std::span<const uint8_t>(buffer.data(), n));
  }
}

bool Connection::WaitForLoginData() {
  for (;;) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(*login_deadline_ -
                                                             std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    // A hang-up or an error also wakes the poll; the read then sees it.
    pollfd fd{socket_.native_handle(), POLLIN, 0};
    int ready = ::poll(&fd, 1, static_cast<int>(std::min<int64_t>(left.count(), 60'000)));
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return true;
  }
}

void Connection::ReadPending() {
  std::array<uint8_t, 16384> buffer;
  for (;;) {
    asio::error_code ec;
    size_t available = socket_.available(ec);
    if (ec || available == 0) return;
    size_t n = socket_.read_some(asio::buffer(buffer, std::min(available, buffer.size())), ec);
    if (ec || n == 0) return;
    assembler_.Feed(std::span<const uint8_t>(buffer.data(), n));
  }
}

bool Connection::Send(PacketType type, const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> packets = Packetize(type, payload, spid_, packet_size_);
  asio::error_code ec;
  asio::write(socket_, asio::buffer(packets), ec);
  return !ec;
}

bool Connection::OnPreLogin(const Message& message) {
  DecodePreLogin(message.payload);
  state_ = State::kLogin;
  return Send(PacketType::kReply, EncodePreLogin(PreLoginReply(thread_id_)));
}

bool Connection::OnLogin(const Message& message) {
  Login7 login = DecodeLogin7(message.payload);
  // Until LOGINACK tells the client otherwise it reads with the widths of
  // the version it asked for.
  context_.layout = login.tds_version >= kTds72 ? Layout::kTds72 : Layout::kTds71;
  packet_size_ = login.packet_size == 0
                     ? kDefaultPacketSize
                     : std::clamp<size_t>(login.packet_size, kMinPacketSize, kMaxPacketSize);
  if (login.integrated_security()) {
    // Over the network nothing proves who the operating system user is, so
    // no one is trusted here; the embedded back end, which has no network,
    // still trusts its caller.
    SqlError untrusted = Raise(Msg::kLoginNotTrusted, {"(null)"});
    untrusted.line = 1;
    Send(PacketType::kReply, LoginFailedReply(context_, untrusted));
    return false;
  }
  std::optional<SqlError> refused;
  std::string database;
  {
    std::lock_guard<std::mutex> lock(engine_.mutex);
    Engine& engine = engine_.folder.engine();
    context_.collation =
        engine.options().case_sensitive ? kCollationCaseSensitive : kCollationCaseInsensitive;
    try {
      auto result =
          engine.Login(login.user_name, login.password, false, ReachedAs(login.server_name),
                       ClientNames{login.host_name, login.app_name});
      if (auto* error = std::get_if<SqlError>(&result)) {
        refused = *error;
      } else {
        session_ = std::get<int>(result);
        // The name is the client's: quoted as a name, never pasted in.
        if (!login.database.empty() &&
            engine.Execute(*session_, "USE " + QuoteName(login.database)).error) {
          refused = Raise(Msg::kLoginDatabaseUnavailable, {login.database});
          refused->line = 1;
        }
        database = engine.CurrentDatabase(*session_);
      }
    } catch (const std::exception& e) {
      refused = InternalError(e);
    }
  }
  if (refused) {
    Send(PacketType::kReply, LoginFailedReply(context_, *refused));
    return false;
  }
  spid_ = static_cast<uint16_t>(*session_);
  state_ = State::kLoggedIn;
  login_deadline_.reset();
  assembler_.SetLimits(kMaxMessageSize, kMaxPacketSize);
  bool sent = Send(PacketType::kReply, LoginReply(context_, database, packet_size_));
  context_.layout = Layout::kTds71;
  return sent;
}

std::string Connection::ReachedAs(const std::string& login_server_name) {
  // Drivers send the host part of "host,port" only (one driver sends the
  // whole text with a NUL over the comma); the datasets name the server with
  // its port, as the drivers need it, so the port goes back on.
  std::string name = login_server_name.substr(0, login_server_name.find('\0'));
  if (name.empty() || name.find_first_of(",\\") != std::string::npos) return name;
  asio::error_code ec;
  asio::ip::tcp::endpoint local = socket_.local_endpoint(ec);
  if (ec) return name;
  return name + "," + std::to_string(local.port());
}

bool Connection::OnBatch(const Message& message) {
  std::string sql;
  try {
    sql = DecodeSqlBatch(message.payload);
  } catch (const DecodeError& e) {
    // The packets were sound, only the text is not: the session goes on.
    return Send(PacketType::kReply,
                ErrorReply(context_, Raise(Msg::kNotSupported,
                                           {std::string("This batch (") + e.what() + ")"})));
  }
  return RunAndReply(sql, [&](const BatchOutcome& outcome, const std::string& old_database,
                              const std::string& new_database) {
    return BatchReply(context_, outcome, old_database, new_database);
  });
}

bool Connection::OnBulkLoad(const Message& message) {
  BulkRows rows;
  std::string malformed;
  try {
    rows = ToBulkRows(DecodeBulkLoad(message.payload));
  } catch (const DecodeError& e) {
    malformed = e.what();
  }
  // A malformed stream still ends the announcement, as any message does.
  return RunAndReply(
      [&](Engine& engine, int session, const LockWait& wait) {
        if (malformed.empty()) return engine.BulkLoad(session, rows, wait);
        return engine.BulkLoad(session, BulkRows{}, wait, malformed);
      },
      [&](const BatchOutcome& outcome, const std::string& old_database,
          const std::string& new_database) {
        return BatchReply(context_, outcome, old_database, new_database);
      });
}

namespace {

constexpr uint8_t kParamDefault = 0x02;

// The system procedures of prepared statements, which some clients call by
// name rather than by id.
uint16_t ProcIdOf(const RpcRequest& rpc) {
  if (rpc.proc_id != 0) return rpc.proc_id;
  static const std::pair<const char*, ProcId> kNames[] = {{"sp_prepare", kSpPrepare},
                                                          {"sp_execute", kSpExecute},
                                                          {"sp_prepexec", kSpPrepExec},
                                                          {"sp_unprepare", kSpUnprepare}};
  for (const auto& [name, id] : kNames) {
    if (rpc.proc_name.size() == std::strlen(name) &&
        std::equal(rpc.proc_name.begin(), rpc.proc_name.end(), name,
                   [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; }))
      return id;
  }
  return 0;
}

CallArgument ArgumentOf(const RpcParameter& p) {
  CallArgument argument;
  argument.name = p.name;
  argument.is_default = (p.status & kParamDefault) != 0;
  argument.output = (p.status & kParamOutput) != 0;
  if (!argument.is_default) {
    argument.type = SqlTypeOf(p.type);
    argument.value = p.value;
  }
  return argument;
}

}  // namespace

bool Connection::OnRpc(const Message& message) {
  std::vector<RpcRequest> calls;
  try {
    calls = DecodeRpc(message.payload);
  } catch (const DecodeError& e) {
    // The packets were sound, only the call is not: the session goes on.
    return Send(
        PacketType::kReply,
        ErrorReply(context_, Raise(Msg::kNotSupported,
                                   {std::string("This procedure call (") + e.what() + ")"})));
  }
  // The calls run in turn, an error in one not stopping the next; their
  // replies go out together, each but the last ending in DONEPROC with MORE.
  std::vector<uint8_t> reply;
  RunEnd end = RunEnd::kDone;
  for (size_t i = 0; i < calls.size() && end == RunEnd::kDone; ++i) {
    end = RunCall(calls[i], i + 1 < calls.size(), reply);
  }
  return SendRunEnd(end, reply);
}

Connection::RunEnd Connection::RunCall(const RpcRequest& rpc, bool more,
                                       std::vector<uint8_t>& reply) {
  // A call that fails before it reaches the engine.
  auto fail = [&](SqlError error) {
    BatchOutcome failed;
    error.line = 1;
    failed.AddError(std::move(error), true);
    std::vector<uint8_t> bytes = ProcedureReply(context_, failed, "", "", std::nullopt, {}, more);
    reply.insert(reply.end(), bytes.begin(), bytes.end());
    return RunEnd::kDone;
  };
  std::vector<CallArgument> arguments;
  try {
    for (const RpcParameter& p : rpc.parameters) arguments.push_back(ArgumentOf(p));
  } catch (const DecodeError& e) {
    return fail(Raise(Msg::kNotSupported, {std::string("This procedure call (") + e.what() + ")"}));
  }
  const uint16_t id = ProcIdOf(rpc);
  const char* procedure = id == kSpPrepare    ? "sp_prepare"
                          : id == kSpPrepExec ? "sp_prepexec"
                          : id == kSpExecute  ? "sp_execute"
                                              : "sp_unprepare";
  // A character argument of the prepared-statement procedures; NULL is "".
  auto text = [&](size_t i, const char* name, std::string& out) -> std::optional<SqlError> {
    if (i >= rpc.parameters.size() || arguments[i].is_default)
      return Raise(Msg::kParameterMissing, {procedure, name});
    uint8_t type = rpc.parameters[i].type.type;
    if (type != kNVarChar && type != kNChar && type != kNText)
      return Raise(Msg::kProcedureExpectsType, {name, "ntext/nchar/nvarchar"});
    const auto* s = std::get_if<std::string>(&rpc.parameters[i].value);
    out = s ? *s : "";
    return std::nullopt;
  };
  auto handle_of = [&](std::optional<int32_t>& out) -> std::optional<SqlError> {
    if (rpc.parameters.empty() || arguments[0].is_default)
      return Raise(Msg::kParameterMissing, {procedure, "@handle"});
    const auto* n = std::get_if<int64_t>(&rpc.parameters[0].value);
    if (!n) return Raise(Msg::kProcedureExpectsType, {"@handle", "int"});
    out = static_cast<int32_t>(*n);
    return std::nullopt;
  };

  ProcedureCall call;
  // The RPC parameter each argument of `call` came from, for RETURNVALUE's
  // ordinal and name; none for the statement text sp_execute adds.
  std::vector<std::optional<size_t>> from;
  auto pass = [&](size_t first) {
    for (size_t i = first; i < arguments.size(); ++i) {
      call.arguments.push_back(arguments[i]);
      from.push_back(i);
    }
  };
  // A prepared statement runs as sp_executesql runs it, its values typed by
  // the declaration kept with it.
  auto run_prepared = [&](const Prepared& prepared, size_t values_from) {
    call.procedure = "sp_executesql";
    call.arguments.push_back({"", "ntext", prepared.statement});
    call.arguments.push_back({"", "ntext", prepared.parameters});
    from.insert(from.end(), 2, std::nullopt);
    pass(values_from);
  };
  std::vector<ReturnValue> outputs;
  std::optional<int32_t> described;  // sp_prepare's new handle
  switch (id) {
    case kSpExecuteSql:
      call.procedure = "sp_executesql";
      pass(0);
      break;
    case kSpPrepare:
    case kSpPrepExec: {
      Prepared prepared;
      if (auto e = text(1, "@params", prepared.parameters)) return fail(*e);
      if (auto e = text(2, "@stmt", prepared.statement)) return fail(*e);
      if (!arguments[0].output) return fail(Raise(Msg::kNotOutputParameter, {"@handle"}));
      int32_t handle = next_handle_++;
      prepared_[handle] = prepared;
      outputs.push_back(ReturnValue{0, rpc.parameters[0].name, kParamOutput,
                                    ColumnFor("", "int", context_.collation), int64_t{handle}});
      if (id == kSpPrepare) {
        if (rpc.parameters.size() > 4) return fail(Raise(Msg::kTooManyArguments, {procedure}));
        // Compiled now, as SQL Server compiles it: an error comes back here,
        // and a query's columns, which drivers read before they execute.
        run_prepared(prepared, arguments.size());
        call.describe_only = true;
        described = handle;
      } else {
        run_prepared(prepared, 3);
      }
      break;
    }
    case kSpExecute:
    case kSpUnprepare: {
      std::optional<int32_t> handle;
      if (auto e = handle_of(handle)) return fail(*e);
      auto found = prepared_.find(*handle);
      if (found == prepared_.end())
        return fail(Raise(Msg::kPreparedHandleNotFound, {std::to_string(*handle)}));
      if (id == kSpUnprepare) {
        if (rpc.parameters.size() > 1) return fail(Raise(Msg::kTooManyArguments, {procedure}));
        prepared_.erase(found);
      } else {
        run_prepared(found->second, 1);
      }
      break;
    }
    case 0: {
      // The name is the client's: resolved as a name, never pasted in.
      std::optional<std::string> quoted = QuoteProcedureName(rpc.proc_name);
      if (!quoted) return fail(Raise(Msg::kProcedureNotFound, {rpc.proc_name}));
      call.procedure = *quoted;
      pass(0);
      break;
    }
    default:
      return fail(Raise(Msg::kNotSupported,
                        {"The system procedure with id " + std::to_string(rpc.proc_id)}));
  }
  CallResult result;
  if (call.procedure.empty()) result.status = 0;  // prepared or unprepared only
  return RunLocked(
      [&](Engine& engine, int session, const LockWait& wait) {
        return call.procedure.empty() ? BatchOutcome{} : engine.Call(session, call, result, wait);
      },
      [&](const BatchOutcome& outcome, const std::string& old_database,
          const std::string& new_database) {
        for (const CallOutput& output : result.outputs) {
          size_t position = from[output.argument].value_or(0);
          outputs.push_back(ReturnValue{
              static_cast<uint16_t>(position), rpc.parameters[position].name, kParamOutput,
              ColumnFor("", output.type, context_.collation), output.value});
        }
        std::optional<int32_t> status;
        if (result.status) status = static_cast<int32_t>(*result.status);
        // A statement that does not compile gets no handle.
        if (described && !status) prepared_.erase(*described);
        return ProcedureReply(context_, outcome, old_database, new_database, status,
                              status ? outputs : std::vector<ReturnValue>{}, more);
      },
      reply);
}

bool Connection::RunAndReply(
    const std::string& sql,
    const std::function<std::vector<uint8_t>(const BatchOutcome&, const std::string&,
                                             const std::string&)>& make_reply) {
  return RunAndReply(
      [&](Engine& engine, int session, const LockWait& wait) {
        return sql.empty() ? BatchOutcome{} : engine.Execute(session, sql, wait);
      },
      make_reply);
}

bool Connection::RunAndReply(
    const std::function<BatchOutcome(Engine&, int, const LockWait&)>& run,
    const std::function<std::vector<uint8_t>(const BatchOutcome&, const std::string&,
                                             const std::string&)>& make_reply) {
  std::vector<uint8_t> reply;
  return SendRunEnd(RunLocked(run, make_reply, reply), reply);
}

bool Connection::SendRunEnd(RunEnd end, const std::vector<uint8_t>& reply) {
  if (end == RunEnd::kGone) return false;
  if (end == RunEnd::kCancelled) return Send(PacketType::kReply, AttentionReply(context_));
  // The batch cannot be stopped once it runs; a cancel that came meanwhile
  // replaces its results with the acknowledgement the client waits for.
  ReadPending();
  if (TakeAttention()) return Send(PacketType::kReply, AttentionReply(context_));
  return Send(PacketType::kReply, reply);
}

Connection::RunEnd Connection::RunLocked(
    const std::function<BatchOutcome(Engine&, int, const LockWait&)>& run,
    const std::function<std::vector<uint8_t>(const BatchOutcome&, const std::string&,
                                             const std::string&)>& make_reply,
    std::vector<uint8_t>& reply) {
  if (engine_.log_out_departed) engine_.log_out_departed(this);
  RunEnd end = RunEnd::kDone;
  {
    std::unique_lock<std::mutex> lock(engine_.mutex);
    // Logged out by another thread: this client has gone.
    if (!session_) return RunEnd::kGone;
    bool cancelled = false;
    bool gone = false;
    // A batch that waits for another session's lock looks at the client
    // every tenth of a second: a cancel, or a client that has gone, ends the
    // wait.
    LockWait wait = [&](std::chrono::steady_clock::time_point until) {
      engine_.batch_ended.wait_until(
          lock, std::min(until, std::chrono::steady_clock::now() + std::chrono::milliseconds(100)));
      // The socket is looked at without the engine lock, which the departure
      // check of other threads takes after the socket's.
      lock.unlock();
      ReadPending();
      cancelled = cancelled || TakeAttention();
      gone = gone || HungUp();
      lock.lock();
      return !cancelled && !gone && session_.has_value();
    };
    try {
      Engine& engine = engine_.folder.engine();
      std::string old_database = engine.CurrentDatabase(*session_);
      BatchOutcome outcome = run(engine, *session_, wait);
      if (!session_ || gone) {
        end = RunEnd::kGone;
      } else if (cancelled) {
        end = RunEnd::kCancelled;
      } else {
        std::string new_database = engine.CurrentDatabase(*session_);
        std::vector<uint8_t> bytes = make_reply(outcome, old_database, new_database);
        reply.insert(reply.end(), bytes.begin(), bytes.end());
      }
    } catch (const std::exception& e) {
      std::vector<uint8_t> bytes = ErrorReply(context_, InternalError(e));
      reply.insert(reply.end(), bytes.begin(), bytes.end());
    }
  }
  engine_.batch_ended.notify_all();
  return end;
}

bool Connection::OnAttention() {
  // The batch it meant to cancel has already been answered; the client still
  // discards everything until this acknowledgement.
  return Send(PacketType::kReply, AttentionReply(context_));
}

bool Connection::TakeAttention() {
  std::deque<Message> others;
  bool attention = false;
  while (std::optional<Message> message = assembler_.Next()) {
    if (message->type == PacketType::kAttention) {
      attention = true;
    } else {
      others.push_back(std::move(*message));
    }
  }
  assembler_.PutBack(std::move(others));
  return attention;
}

void Connection::Logout() {
  // Under the engine lock: another thread may log this session out.
  {
    std::lock_guard<std::mutex> lock(engine_.mutex);
    if (!session_) return;
    engine_.folder.engine().Logout(*session_);
    session_.reset();
  }
  // Its transaction, if it held one, is gone.
  engine_.batch_ended.notify_all();
}

bool Connection::HungUpLocked() {
  if (!open_) return true;
  pollfd fd{socket_.native_handle(), POLLRDHUP, 0};
  if (::poll(&fd, 1, 0) != 1 || (fd.revents & (POLLRDHUP | POLLHUP | POLLERR)) == 0) return false;
  // Unread bytes are a request the serving thread still owes an answer.
  int unread = 0;
  return ::ioctl(fd.fd, FIONREAD, &unread) == 0 && unread == 0;
}

bool Connection::HungUp() {
  std::lock_guard<std::mutex> lock(socket_mutex_);
  return HungUpLocked();
}

void Connection::LogOutIfDeparted() {
  std::lock_guard<std::mutex> lock(socket_mutex_);
  if (open_ && HungUpLocked()) Logout();
}

}  // namespace server::tds
