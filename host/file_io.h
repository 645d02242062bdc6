#ifndef TAVORA_HOST_FILE_IO_H_
#define TAVORA_HOST_FILE_IO_H_

#include <string>
#include <string_view>

namespace host {

// The platform's "Path/File access error", raised for every file the host
// cannot read or write.
inline constexpr int kFileAccessError = 75;

// Replaces `path` with `content` so that readers see the old file or the new
// one, never a part: writes a temporary file in the same folder, flushes it to
// disk and renames it over `path`. Creates missing parent folders. On failure
// nothing is left behind and harness::Error kFileAccessError names the path
// and the system's reason.
void WriteFileAtomically(const std::string& path, std::string_view content);

// The whole file; harness::Error kFileAccessError naming the path and reason
// when it cannot be read.
std::string ReadWholeFile(const std::string& path);

}  // namespace host

#endif  // TAVORA_HOST_FILE_IO_H_
