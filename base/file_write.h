#ifndef TAVORA_BASE_FILE_WRITE_H_
#define TAVORA_BASE_FILE_WRITE_H_

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

namespace base {

// Why a file could not be written: the step, the file or folder it concerns
// and the system's error number.
struct FileWriteFailure {
  enum class Step { kCreateFolder, kWrite };
  Step step;
  std::string path;
  int error;
};

// Replaces `path` with `content` so that readers see the old file or the new
// one, never a part: creates missing parent folders, writes a new temporary
// beside the target with `mode` (less the umask) from the start, flushes it
// to disk, renames it over `path` and flushes the folder so that the rename
// lasts too. On failure the temporary is gone and the target as it was.
std::optional<FileWriteFailure> WriteFileAtomically(const std::string& path,
                                                    std::string_view content, mode_t mode);

}  // namespace base

#endif  // TAVORA_BASE_FILE_WRITE_H_
