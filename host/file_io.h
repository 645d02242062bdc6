#ifndef TAVORA_HOST_FILE_IO_H_
#define TAVORA_HOST_FILE_IO_H_

#include <sys/types.h>

#include <string>
#include <string_view>

namespace host {

// The platform's "Path/File access error", raised for every file the host
// cannot read or write.
inline constexpr int kFileAccessError = 75;

// File modes for WriteFileAtomically: what may hold connection details or
// other secrets is for its owner alone; the rest anyone may read.
inline constexpr mode_t kOwnerOnlyFile = 0600;
inline constexpr mode_t kReadableFile = 0644;

// base::WriteFileAtomically, its failure raised as harness::Error
// kFileAccessError naming the path and the system's reason.
void WriteFileAtomically(const std::string& path, std::string_view content, mode_t mode);

// The whole regular file (base::ReadRegularFile); harness::Error
// kFileAccessError naming the path and reason when it cannot be read.
std::string ReadWholeFile(const std::string& path);

// $XDG_STATE_HOME/tavora/`name`, else ~/.local/state/tavora/`name`: where the
// host keeps what must outlive one run. Relative variables are ignored, as
// the base directory convention asks; error kFileAccessError when neither
// gives an absolute folder.
std::string DefaultStateFolder(const std::string& name);

}  // namespace host

#endif  // TAVORA_HOST_FILE_IO_H_
