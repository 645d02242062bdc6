#include "base/file_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace base {

namespace {

const char* FileKind(mode_t mode) {
  if (S_ISLNK(mode)) return "is a symbolic link";
  if (S_ISDIR(mode)) return "is a folder";
  if (S_ISFIFO(mode)) return "is a FIFO";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "is a device";
  if (S_ISSOCK(mode)) return "is a socket";
  return "is not a regular file";
}

std::string SizeText(size_t bytes) {
  constexpr size_t kMiB = size_t{1} << 20;
  if (bytes % kMiB == 0) return std::to_string(bytes / kMiB) + " MiB";
  return std::to_string(bytes) + " bytes";
}

// Closes a descriptor on every path out.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

std::variant<std::string, FileReadFailure> ReadRegularFile(const std::string& path,
                                                           size_t max_bytes) {
  auto system_failure = [] { return FileReadFailure{errno, std::strerror(errno)}; };
  auto too_large = [max_bytes] {
    return FileReadFailure{0, "is larger than " + SizeText(max_bytes)};
  };
  // O_NONBLOCK so that opening a FIFO returns at once, to be refused below.
  Descriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (file.get() < 0) return system_failure();
  struct stat status {};
  if (::fstat(file.get(), &status) != 0) return system_failure();
  if (!S_ISREG(status.st_mode)) return FileReadFailure{0, FileKind(status.st_mode)};
  if (static_cast<uintmax_t>(status.st_size) > max_bytes) return too_large();
  std::string text;
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(file.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return system_failure();
    if (n == 0) break;
    text.append(buffer, static_cast<size_t>(n));
    // The file may have grown since fstat.
    if (text.size() > max_bytes) return too_large();
  }
  return text;
}

std::string NotARegularFile(const std::string& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) {
    return errno == ENOENT ? std::string()
                           : std::string("cannot be examined: ") + std::strerror(errno);
  }
  return S_ISREG(status.st_mode) ? std::string() : std::string(FileKind(status.st_mode));
}

}  // namespace base
