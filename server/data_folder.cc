#include "server/data_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "server/errors.h"

namespace server {

namespace {

constexpr char kLockFileName[] = "lock";

std::string Reason(int error) { return std::strerror(error); }

// Writes all of `text` to `fd`, retrying short writes.
bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    text.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

}  // namespace

std::variant<std::unique_ptr<DataFolder>, std::string> DataFolder::Open(const std::string& path,
                                                                        ServerOptions options) {
  if (path == kMemory) {
    return std::unique_ptr<DataFolder>(
        new DataFolder(path, -1, std::make_unique<Engine>(std::move(options))));
  }
  std::error_code error;
  std::filesystem::create_directories(path, error);
  if (error) return "Cannot create the data folder '" + path + "': " + error.message() + ".";
  std::string lock_path = (std::filesystem::path(path) / kLockFileName).string();
  int lock_fd = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (lock_fd < 0) return "Cannot open '" + lock_path + "': " + Reason(errno) + ".";
  if (::flock(lock_fd, LOCK_EX | LOCK_NB) != 0) {
    int reason = errno;
    ::close(lock_fd);
    if (reason == EWOULDBLOCK)
      return "The data folder '" + path + "' is in use by another process.";
    return "Cannot lock the data folder '" + path + "': " + Reason(reason) + ".";
  }
  auto fail = [lock_fd](std::string message) {
    ::close(lock_fd);
    return message;
  };
  std::string state_path = (std::filesystem::path(path) / kStateFileName).string();
  if (!std::filesystem::exists(state_path, error)) {
    if (error)
      return fail("Cannot read the server state '" + state_path + "': " + error.message() + ".");
    return std::unique_ptr<DataFolder>(
        new DataFolder(path, lock_fd, std::make_unique<Engine>(std::move(options))));
  }
  std::ifstream in(state_path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  if (!in || in.bad()) return fail("Cannot read the server state '" + state_path + "'.");
  auto loaded = Engine::Load(text.str(), std::move(options));
  if (auto* message = std::get_if<std::string>(&loaded)) {
    return fail("The server state '" + state_path + "' is " + *message +
                "; it was left as it is. Move it away to start a fresh server.");
  }
  return std::unique_ptr<DataFolder>(
      new DataFolder(path, lock_fd, std::move(std::get<std::unique_ptr<Engine>>(loaded))));
}

DataFolder::~DataFolder() {
  // Closing the descriptor releases the lock.
  if (lock_fd_ >= 0) ::close(lock_fd_);
}

std::string DataFolder::StateFile() const {
  if (in_memory()) return "";
  return (std::filesystem::path(path_) / kStateFileName).string();
}

BatchOutcome DataFolder::Execute(int session, std::string_view batch) {
  BatchOutcome outcome = engine_->Execute(session, batch);
  if (!outcome.changed) return outcome;
  if (std::optional<std::string> failure = Flush(); failure && !outcome.error) {
    SqlError error = Raise(Msg::kStateNotWritten, {StateFile(), *failure});
    error.line = 1;
    outcome.error = std::move(error);
  }
  return outcome;
}

std::optional<std::string> DataFolder::Flush() {
  if (in_memory()) return std::nullopt;
  std::string file = StateFile();
  std::string temporary = file + ".tmp";
  std::string text = engine_->Save();
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return Reason(errno);
  if (!WriteAll(fd, text) || ::fsync(fd) != 0) {
    int reason = errno;
    ::close(fd);
    ::unlink(temporary.c_str());
    return Reason(reason);
  }
  if (::close(fd) != 0) return Reason(errno);
  if (::rename(temporary.c_str(), file.c_str()) != 0) return Reason(errno);
  // The rename itself is durable once the folder is flushed.
  int dir = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return std::nullopt;
}

}  // namespace server
