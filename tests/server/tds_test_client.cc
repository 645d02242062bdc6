#include "tests/server/tds_test_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "server/tds/prelogin.h"
#include "server/tds/sql_batch.h"

namespace server::tds::testing {

TestClient::TestClient(uint16_t port) {
  fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ADD_FAILURE() << "cannot connect to port " << port;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
}

TestClient::~TestClient() {
  if (fd_ >= 0) ::close(fd_);
}

bool TestClient::SendRaw(std::span<const uint8_t> bytes) {
  size_t sent = 0;
  while (fd_ >= 0 && sent < bytes.size()) {
    ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return fd_ >= 0;
}

void TestClient::FinishSending() {
  if (fd_ >= 0) ::shutdown(fd_, SHUT_WR);
}

bool TestClient::Send(PacketType type, std::span<const uint8_t> payload, size_t packet_size) {
  std::vector<uint8_t> packets = Packetize(type, payload, 0, packet_size);
  return SendRaw(packets);
}

std::optional<Message> TestClient::Receive() {
  auto deadline = std::chrono::steady_clock::now() + kTimeout;
  uint8_t buffer[8192];
  for (;;) {
    if (std::optional<Message> message = assembler_.Next()) return message;
    if (fd_ < 0) return std::nullopt;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return std::nullopt;
    ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) return std::nullopt;
    assembler_.Feed(std::span<const uint8_t>(buffer, static_cast<size_t>(n)));
  }
}

bool TestClient::WaitForClose() {
  auto deadline = std::chrono::steady_clock::now() + kTimeout;
  uint8_t buffer[8192];
  while (fd_ >= 0) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
    ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) return true;
  }
  return true;
}

Login7 SaLogin(const std::string& password) {
  Login7 login;
  login.user_name = "sa";
  login.password = password;
  login.host_name = "testhost";
  login.app_name = "tds_test";
  login.server_name = "127.0.0.1";
  login.library_name = "tds_test";
  return login;
}

std::vector<Token> TestClient::Login(const std::string& password, const std::string& database) {
  Login7 login = SaLogin(password);
  login.database = database;
  return Login(login);
}

std::vector<Token> TestClient::Login(const Login7& login) {
  PreLogin hello;
  hello.version = PreLogin::Version{1, 0, 0, 0};
  hello.encryption = kEncryptNotSupported;
  hello.instance = "MSSQLServer";
  hello.thread_id = 1;
  if (!Send(PacketType::kPreLogin, EncodePreLogin(hello))) return {};
  if (!Receive()) return {};
  if (!Send(PacketType::kLogin7, EncodeLogin7(login))) return {};
  std::optional<Message> reply = Receive();
  if (!reply) return {};
  return DecodeTokens(reply->payload, Layout::kTds71);
}

std::vector<Token> TestClient::Batch(const std::string& sql) {
  if (!Send(PacketType::kSqlBatch, EncodeSqlBatch(sql, false))) return {};
  std::optional<Message> reply = Receive();
  if (!reply) return {};
  return DecodeTokens(reply->payload, Layout::kTds71);
}

bool LoggedIn(const std::vector<Token>& tokens) { return !Only<LoginAck>(tokens).empty(); }

std::string RowsText(const std::vector<Token>& tokens) {
  std::string text;
  for (const Row& row : Only<Row>(tokens)) {
    std::string line;
    for (size_t i = 0; i < row.values.size(); ++i) {
      if (i > 0) line += "|";
      const Value& v = row.values[i];
      if (std::holds_alternative<std::monostate>(v)) line += "NULL";
      if (auto* n = std::get_if<int64_t>(&v)) line += std::to_string(*n);
      if (auto* d = std::get_if<double>(&v)) line += std::to_string(*d);
      if (auto* s = std::get_if<std::string>(&v)) line += *s;
      if (auto* b = std::get_if<std::vector<uint8_t>>(&v))
        line += std::to_string(b->size()) + " bytes";
    }
    text += line + "\n";
  }
  return text;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));  // polling interval, not a sync
  }
  return true;
}

void ListenerFixture::Start(const std::string& data) {
  ServerOptions options;
  options.sa_password = "secret";
  auto opened = DataFolder::Open(data, options);
  ASSERT_TRUE(std::holds_alternative<std::unique_ptr<DataFolder>>(opened))
      << std::get<std::string>(opened);
  folder_ = std::move(std::get<std::unique_ptr<DataFolder>>(opened));
  listener_ = std::make_unique<Listener>(*folder_, options_);
  port_ = listener_->Start();
  ASSERT_NE(port_, 0);
}

void ListenerFixture::StopAll() {
  if (listener_) listener_->Stop();
  listener_.reset();
  folder_.reset();
}

void ListenerFixture::TearDown() { StopAll(); }

std::string ListenerFixture::Direct(const std::string& sql) {
  std::lock_guard<std::mutex> lock(listener_->engine_mutex());
  Engine& engine = folder_->engine();
  auto login = engine.Login("sa", "secret", false, "direct");
  if (!std::holds_alternative<int>(login)) return "login failed";
  int session = std::get<int>(login);
  BatchOutcome outcome = folder_->Execute(session, sql);
  engine.Logout(session);
  if (outcome.error) return "error " + std::to_string(outcome.error->number);
  std::string text;
  if (outcome.results.empty()) return text;
  for (const auto& row : outcome.results.front().rows) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      if (i > 0) line += "|";
      if (auto* n = std::get_if<int64_t>(&row[i])) line += std::to_string(*n);
      if (auto* s = std::get_if<std::string>(&row[i])) line += *s;
    }
    text += line + "\n";
  }
  return text;
}

void ListenerFixture::ExpectServing() {
  TestClient client(port_);
  ASSERT_TRUE(LoggedIn(client.Login("secret")));
  EXPECT_EQ(RowsText(client.Batch("SELECT name FROM sysdatabases WHERE dbid <= 4 ORDER BY dbid")),
            "master\ntempdb\nmodel\nmsdb\n");
}

TavoraProcess::TavoraProcess(std::vector<std::string> args, std::vector<std::string> environment,
                             std::vector<Limit> limits) {
  args.insert(args.begin(), TAVORA_EXE);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  auto name_of = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
  std::vector<std::string> names{"TAVORA_SA_PASSWORD"};
  for (const std::string& entry : environment) names.push_back(name_of(entry));
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (std::find(names.begin(), names.end(), name_of(*entry)) == names.end())
      env.push_back(*entry);
  }
  env.insert(env.end(), environment.begin(), environment.end());
  std::vector<char*> envp;
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);

  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return;
  pid_ = ::fork();
  if (pid_ == 0) {
    // Only async-signal-safe calls between fork and exec.
    for (const Limit& limit : limits) {
      rlimit value{limit.value, limit.value};
      if (::setrlimit(limit.resource, &value) != 0) ::_exit(126);
    }
    ::dup2(fds[1], STDOUT_FILENO);
    ::dup2(fds[1], STDERR_FILENO);
    // The test's own sockets would count against a descriptor limit.
    ::close_range(3, ~0U, 0);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(fds[1]);
  out_ = fds[0];
}

TavoraProcess::~TavoraProcess() {
  if (pid_ > 0 && !exited_) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (out_ >= 0) ::close(out_);
}

std::string TavoraProcess::ReadLine(std::chrono::seconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (output_.find('\n') == std::string::npos && ReadSome(deadline)) {
  }
  size_t end = output_.find('\n');
  std::string line = output_.substr(0, end);
  output_.erase(0, end == std::string::npos ? output_.size() : end + 1);
  return line;
}

uint16_t TavoraProcess::ListeningPort() {
  std::string line = ReadLine();
  std::smatch match;
  static const std::regex kListening("listening on 127\\.0\\.0\\.1:([0-9]+)");
  if (!std::regex_match(line, match, kListening)) {
    ADD_FAILURE() << "tavora serve printed: " << line << "\n" << output_;
    return 0;
  }
  return static_cast<uint16_t>(std::stoi(match[1]));
}

int TavoraProcess::Wait(std::chrono::seconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (!Running()) {
      while (ReadSome(std::chrono::steady_clock::now() + std::chrono::milliseconds(100))) {
      }
      return status_;
    }
    if (std::chrono::steady_clock::now() >= deadline) return -1;
    // The rest of the output, which also paces this loop.
    ReadSome(std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(50)));
  }
}

bool TavoraProcess::Running() {
  if (exited_ || pid_ <= 0) return false;
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) != pid_) return true;
  exited_ = true;
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return false;
}

long TavoraProcess::ResidentKiB() const {
  std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

long TavoraProcess::CpuTicks() const {
  std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  // The command name may hold spaces; the fields after it are plain.
  size_t close = text.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  long utime = -1, stime = -1;
  // Fields 3.. follow the name; utime and stime are fields 14 and 15.
  for (int number = 3; number <= 15 && fields >> field; ++number) {
    if (number == 14) utime = std::stol(field);
    if (number == 15) stime = std::stol(field);
  }
  return utime < 0 || stime < 0 ? -1 : utime + stime;
}

bool TavoraProcess::ReadSome(std::chrono::steady_clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  if (left.count() < 0 || out_ < 0) return false;
  pollfd p{out_, POLLIN, 0};
  if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
  char buffer[4096];
  ssize_t n = ::read(out_, buffer, sizeof buffer);
  if (n <= 0) return false;
  output_.append(buffer, static_cast<size_t>(n));
  return true;
}

}  // namespace server::tds::testing
