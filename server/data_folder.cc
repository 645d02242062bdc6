#include "server/data_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <system_error>
#include <variant>

#include "base/file_read.h"
#include "base/file_write.h"
#include "server/errors.h"

namespace server {

namespace {

constexpr char kLockFileName[] = "lock";

std::string Reason(int error) { return std::strerror(error); }

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
  // The state holds every row, so no size is too large for it; what is not a
  // regular file (a FIFO that would block, a device) is refused.
  auto read = base::ReadRegularFile(state_path, std::numeric_limits<size_t>::max());
  if (auto* failure = std::get_if<base::FileReadFailure>(&read)) {
    if (failure->error == ENOENT) {
      return std::unique_ptr<DataFolder>(
          new DataFolder(path, lock_fd, std::make_unique<Engine>(std::move(options))));
    }
    return fail("Cannot read the server state '" + state_path + "': " + failure->reason + ".");
  }
  auto loaded = Engine::Load(std::get<std::string>(read), std::move(options));
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
  if (auto failure = base::WriteFileAtomically(StateFile(), engine_->Save(), 0644)) {
    return Reason(failure->error);
  }
  return std::nullopt;
}

}  // namespace server
