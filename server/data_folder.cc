#include "server/data_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <variant>

#include "base/file_read.h"

namespace server {

namespace {

namespace fs = std::filesystem;

constexpr char kLockFileName[] = "lock";
// The old state file held every row; beyond this it is not one we wrote.
constexpr size_t kMaxLegacyState = size_t{4} << 30;

std::string Reason(int error) { return std::strerror(error); }

std::string Entry(const std::string& folder, std::string_view name) {
  return (fs::path(folder) / name).string();
}

// Refuses an entry that is there but is not a regular file.
std::optional<std::string> CheckEntry(const std::string& path) {
  std::string odd = base::NotARegularFile(path);
  if (odd.empty()) return std::nullopt;
  return "The data folder entry '" + path + "' " + odd +
         ", where the server keeps a regular file; it was left as it is. Move it away to go on.";
}

// Removes a store that an import began and could not finish.
void RemoveStore(const std::string& store) {
  std::error_code ignored;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) fs::remove(store + suffix, ignored);
}

}  // namespace

std::variant<std::unique_ptr<DataFolder>, std::string> DataFolder::Open(const std::string& path,
                                                                        ServerOptions options) {
  if (path == kMemory) {
    return std::unique_ptr<DataFolder>(
        new DataFolder(path, -1, std::make_unique<Engine>(std::move(options))));
  }
  std::error_code error;
  fs::create_directories(path, error);
  if (error) return "Cannot create the data folder '" + path + "': " + error.message() + ".";
  std::string lock_path = Entry(path, kLockFileName);
  if (auto odd = CheckEntry(lock_path)) return *odd;
  int lock_fd = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
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
  std::string store = Entry(path, kStoreFileName);
  std::string legacy = Entry(path, kLegacyStateFileName);
  for (const std::string& entry :
       {store, store + "-wal", store + "-shm", store + "-journal", legacy}) {
    if (auto odd = CheckEntry(entry)) return fail(*odd);
  }
  auto done = [&](std::variant<std::unique_ptr<Engine>, std::string> opened)
      -> std::variant<std::unique_ptr<DataFolder>, std::string> {
    if (auto* message = std::get_if<std::string>(&opened)) return fail(std::move(*message));
    return std::unique_ptr<DataFolder>(
        new DataFolder(path, lock_fd, std::move(std::get<std::unique_ptr<Engine>>(opened))));
  };
  if (fs::exists(store) || !fs::exists(legacy))
    return done(Engine::Open(store, std::move(options)));

  // A folder of an older server: its state moves into a new store once.
  auto read = base::ReadRegularFile(legacy, kMaxLegacyState);
  if (auto* failure = std::get_if<base::FileReadFailure>(&read)) {
    return fail("Cannot read the server state '" + legacy + "': " + failure->reason + ".");
  }
  auto imported = Engine::Import(store, std::get<std::string>(read), std::move(options));
  if (auto* message = std::get_if<std::string>(&imported)) {
    RemoveStore(store);
    return fail("The server state '" + legacy + "' could not be imported: it is " + *message +
                "; it was left as it is. Move it away to start a fresh server.");
  }
  std::string kept = legacy + std::string(kImportedSuffix);
  if (auto odd = CheckEntry(kept)) return fail(*odd);
  if (std::rename(legacy.c_str(), kept.c_str()) != 0) {
    std::string reason = Reason(errno);
    imported = std::string();  // closes the new store before it goes
    RemoveStore(store);
    return fail("Cannot rename '" + legacy + "' to '" + kept + "': " + reason + ".");
  }
  return done(std::move(imported));
}

DataFolder::~DataFolder() {
  // The engine closes its store before the lock goes.
  engine_.reset();
  // Closing the descriptor releases the lock.
  if (lock_fd_ >= 0) ::close(lock_fd_);
}

std::string DataFolder::StoreFile() const {
  if (in_memory()) return "";
  return Entry(path_, kStoreFileName);
}

}  // namespace server
