#ifndef TAVORA_HOST_WORKSPACE_H_
#define TAVORA_HOST_WORKSPACE_H_

#include <string>
#include <string_view>

namespace host {

// The file a workspace in `folder` saves its project `name` to:
// `folder`/<name>.json.
std::string ProjectFilePath(const std::string& folder, std::u16string_view name);

}  // namespace host

#endif  // TAVORA_HOST_WORKSPACE_H_
