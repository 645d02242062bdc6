#include "base/file_write.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <system_error>

namespace base {

namespace {

// Temporary names differ between processes (the pid) and between threads or
// calls of one process (the counter); O_EXCL settles any remaining clash.
std::atomic<unsigned> temporary_counter{0};
constexpr int kNameAttempts = 100;

bool WriteAll(int fd, std::string_view content) {
  while (!content.empty()) {
    ssize_t written = ::write(fd, content.data(), content.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    content.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

}  // namespace

std::optional<FileWriteFailure> WriteFileAtomically(const std::string& path,
                                                    std::string_view content, mode_t mode) {
  namespace fs = std::filesystem;
  const fs::path target(path);
  const fs::path folder = target.parent_path();
  if (!folder.empty()) {
    std::error_code error;
    fs::create_directories(folder, error);
    if (error)
      return FileWriteFailure{FileWriteFailure::Step::kCreateFolder, folder.string(),
                              error.value()};
  }
  auto failed = [&path](int error) {
    return FileWriteFailure{FileWriteFailure::Step::kWrite, path, error};
  };

  // A dot file beside the target, so the rename never crosses file systems.
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < kNameAttempts; ++attempt) {
    temporary = (folder / ("." + target.filename().string() + ".tmp" + std::to_string(::getpid()) +
                           "." + std::to_string(temporary_counter++)))
                    .string();
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0 && errno != EEXIST) return failed(errno);
  }
  if (fd < 0) return failed(EEXIST);

  int error = WriteAll(fd, content) && ::fsync(fd) == 0 ? 0 : errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temporary.c_str());
    return failed(error);
  }

  // The rename lasts once the folder is flushed. A folder this process may
  // write but not read cannot be opened to flush; the rename is done anyway.
  int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    // Some file systems cannot flush a folder (EINVAL): nothing more to do.
    error = ::fsync(dir) == 0 || errno == EINVAL ? 0 : errno;
    ::close(dir);
    if (error != 0) return failed(error);
  }
  return std::nullopt;
}

}  // namespace base
