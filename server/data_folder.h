#ifndef TAVORA_SERVER_DATA_FOLDER_H_
#define TAVORA_SERVER_DATA_FOLDER_H_

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "server/engine.h"

namespace server {

// A server whose catalog lives in a folder: the state file "server-state.json"
// is written after every batch that changed the catalog, atomically (a
// temporary file, flushed to disk, renamed over the old one), so a killed
// process loses no completed batch. One process at a time holds a folder.
// The path ":memory:" keeps the server in memory only.
class DataFolder {
 public:
  static constexpr std::string_view kMemory = ":memory:";
  static constexpr std::string_view kStateFileName = "server-state.json";

  // Opens the folder, making it if needed, and loads its state (a fresh
  // server when it has none). Fails with a message when the folder cannot be
  // made or locked (another process uses it), or when the state file cannot
  // be read or is corrupt; the file is then left exactly as it is.
  static std::variant<std::unique_ptr<DataFolder>, std::string> Open(const std::string& path,
                                                                     ServerOptions options);
  ~DataFolder();
  DataFolder(const DataFolder&) = delete;
  DataFolder& operator=(const DataFolder&) = delete;

  Engine& engine() { return *engine_; }

  // Runs one batch and, when it changed the catalog, writes the state. A
  // failed write becomes the outcome's error (50000, naming the file and the
  // reason) unless the batch already failed.
  BatchOutcome Execute(int session, std::string_view batch);

  // Writes the state now; empty on success, else the reason it failed.
  std::optional<std::string> Flush();

  bool in_memory() const { return path_ == kMemory; }
  const std::string& path() const { return path_; }
  // The state file's path ("" in memory).
  std::string StateFile() const;

 private:
  DataFolder(std::string path, int lock_fd, std::unique_ptr<Engine> engine)
      : path_(std::move(path)), lock_fd_(lock_fd), engine_(std::move(engine)) {}

  std::string path_;
  int lock_fd_ = -1;
  std::unique_ptr<Engine> engine_;
};

}  // namespace server

#endif  // TAVORA_SERVER_DATA_FOLDER_H_
