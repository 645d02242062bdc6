#ifndef TAVORA_SERVER_DATA_FOLDER_H_
#define TAVORA_SERVER_DATA_FOLDER_H_

#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "server/engine.h"

namespace server {

// A server kept in a folder: the store "tavora.db" (an SQLite database and
// the write-ahead log and shared-memory files SQLite keeps beside it), which
// each batch commits to before its outcome is returned. One process at a
// time holds a folder (the file "lock"). The path ":memory:" keeps the
// server in memory only.
//
// Every entry the server would use must be a regular file or absent: a
// link, FIFO, folder, device or socket in its place is refused, named, and
// left as it is. A folder from before the store, holding the single state
// file "server-state.json", is imported into a new store once; the old file
// is then renamed "server-state.json.imported".
class DataFolder {
 public:
  static constexpr std::string_view kMemory = ":memory:";
  static constexpr std::string_view kStoreFileName = "tavora.db";
  static constexpr std::string_view kLegacyStateFileName = "server-state.json";
  static constexpr std::string_view kImportedSuffix = ".imported";

  // Opens the folder, making it if needed, and the server in it (a fresh
  // one when it has none). Fails with a message when the folder cannot be
  // made or locked (another process uses it), or when an entry or the store
  // cannot be used; nothing in the folder is then changed.
  static std::variant<std::unique_ptr<DataFolder>, std::string> Open(const std::string& path,
                                                                     ServerOptions options);
  ~DataFolder();
  DataFolder(const DataFolder&) = delete;
  DataFolder& operator=(const DataFolder&) = delete;

  Engine& engine() { return *engine_; }

  // Runs one batch; it is durable when this returns (Engine::Execute).
  BatchOutcome Execute(int session, std::string_view batch, const LockWait& wait = {}) {
    return engine_->Execute(session, batch, wait);
  }

  bool in_memory() const { return path_ == kMemory; }
  const std::string& path() const { return path_; }
  // The store's path ("" in memory).
  std::string StoreFile() const;

 private:
  DataFolder(std::string path, int lock_fd, std::unique_ptr<Engine> engine)
      : path_(std::move(path)), lock_fd_(lock_fd), engine_(std::move(engine)) {}

  std::string path_;
  int lock_fd_ = -1;
  std::unique_ptr<Engine> engine_;
};

}  // namespace server

#endif  // TAVORA_SERVER_DATA_FOLDER_H_
