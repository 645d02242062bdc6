#ifndef TAVORA_BENCH_TEMP_FOLDER_H_
#define TAVORA_BENCH_TEMP_FOLDER_H_

#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

namespace bench {

// A fresh folder in the temporary directory, removed with everything in it
// when this goes: each run starts empty and leaves nothing behind.
class TempFolder {
 public:
  explicit TempFolder(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data())) {
      throw std::runtime_error("cannot make a folder like " + pattern + ": " +
                               std::generic_category().message(errno));
    }
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;  // nothing to do about a leftover at exit
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace bench

#endif  // TAVORA_BENCH_TEMP_FOLDER_H_
