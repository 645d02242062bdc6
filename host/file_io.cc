#include "host/file_io.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <variant>

#include "base/file_read.h"
#include "base/file_write.h"
#include "harness/error.h"
#include "harness/utf.h"

namespace host {

namespace {

// Far above any file the host reads back (a saved workspace project).
constexpr size_t kMaxReadBytes = size_t{64} << 20;

[[noreturn]] void RaiseFileError(std::string_view action, const std::string& path,
                                 const std::string& reason) {
  std::string text =
      "Path/File access error: cannot " + std::string(action) + " '" + path + "': " + reason;
  throw harness::Error(kFileAccessError, harness::FromUtf8(text));
}

}  // namespace

void WriteFileAtomically(const std::string& path, std::string_view content, mode_t mode) {
  auto failure = base::WriteFileAtomically(path, content, mode);
  if (!failure) return;
  bool folder = failure->step == base::FileWriteFailure::Step::kCreateFolder;
  RaiseFileError(folder ? "create folder" : "write", failure->path, std::strerror(failure->error));
}

std::string ReadWholeFile(const std::string& path) {
  auto read = base::ReadRegularFile(path, kMaxReadBytes);
  if (auto* failure = std::get_if<base::FileReadFailure>(&read)) {
    RaiseFileError("read", path, failure->reason);
  }
  return std::get<std::string>(std::move(read));
}

std::string DefaultStateFolder(const std::string& name) {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state != nullptr && state[0] == '/') {
    return (std::filesystem::path(state) / "tavora" / name).string();
  }
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') {
    return (std::filesystem::path(home) / ".local" / "state" / "tavora" / name).string();
  }
  throw harness::Error(kFileAccessError,
                       harness::FromUtf8("Path/File access error: no folder for the " + name +
                                         ": neither XDG_STATE_HOME nor HOME is an absolute "
                                         "path; name a folder on the command line"));
}

}  // namespace host
