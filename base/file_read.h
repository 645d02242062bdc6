#ifndef TAVORA_BASE_FILE_READ_H_
#define TAVORA_BASE_FILE_READ_H_

#include <cstddef>
#include <string>
#include <variant>

namespace base {

// Why a file could not be read: the system's error number (0 when the file
// is there but not one to read) and the reason in words ("is a FIFO", "is
// larger than 16 MiB", or the system's text).
struct FileReadFailure {
  int error;
  std::string reason;
};

// The whole text of the regular file at `path`, of at most `max_bytes`.
// Anything else is refused without blocking: a FIFO would wait for a writer
// and a device could feed the reader forever.
std::variant<std::string, FileReadFailure> ReadRegularFile(const std::string& path,
                                                           size_t max_bytes);

// What is at `path` when it is not a regular file, in the words above
// ("is a symbolic link", "is a FIFO", "is a folder", ...), without following
// a link; empty when it is a regular file or nothing is there.
std::string NotARegularFile(const std::string& path);

}  // namespace base

#endif  // TAVORA_BASE_FILE_READ_H_
