#include "host/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "harness/error.h"
#include "harness/utf.h"

namespace host {

namespace {

[[noreturn]] void RaiseFileError(std::string_view action, const std::string& path,
                                 const std::string& reason) {
  std::string text =
      "Path/File access error: cannot " + std::string(action) + " '" + path + "': " + reason;
  throw harness::Error(kFileAccessError, harness::FromUtf8(text));
}

[[noreturn]] void RaiseErrno(std::string_view action, const std::string& path, int error) {
  RaiseFileError(action, path, std::strerror(error));
}

// Closes the descriptor and removes the temporary file unless released.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::string pattern) : path_(std::move(pattern)) {
    fd_ = mkstemp(path_.data());
  }
  ~TemporaryFile() {
    if (fd_ >= 0) close(fd_);
    if (!kept_) unlink(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  // Closes the file, reporting whether the data reached it.
  int Close() {
    int result = close(fd_);
    fd_ = -1;
    return result;
  }
  void Keep() { kept_ = true; }

 private:
  std::string path_;
  int fd_ = -1;
  bool kept_ = false;
};

}  // namespace

void WriteFileAtomically(const std::string& path, std::string_view content, mode_t mode) {
  std::filesystem::path target(path);
  std::filesystem::path folder = target.parent_path();
  if (!folder.empty()) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) RaiseFileError("create folder", folder.string(), error.message());
  }
  // A dot file beside the target, so the rename never crosses file systems.
  std::filesystem::path pattern = folder / ("." + target.filename().string() + ".XXXXXX");
  TemporaryFile temporary(pattern.string());
  if (temporary.fd() < 0) RaiseErrno("write", path, errno);
  const char* data = content.data();
  size_t left = content.size();
  while (left > 0) {
    ssize_t written = write(temporary.fd(), data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      RaiseErrno("write", path, errno);
    }
    data += written;
    left -= static_cast<size_t>(written);
  }
  // mkstemp makes the file private; the caller says who may read it.
  if (fchmod(temporary.fd(), mode) != 0) RaiseErrno("write", path, errno);
  if (fsync(temporary.fd()) != 0) RaiseErrno("write", path, errno);
  if (temporary.Close() != 0) RaiseErrno("write", path, errno);
  if (rename(temporary.path().c_str(), path.c_str()) != 0) RaiseErrno("write", path, errno);
  temporary.Keep();
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) RaiseErrno("read", path, errno);
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) RaiseFileError("read", path, "read failed");
  return content.str();
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
