#ifndef TAVORA_LIBRARY_REGISTRATION_H_
#define TAVORA_LIBRARY_REGISTRATION_H_

#include <filesystem>
#include <stdexcept>
#include <string>

#include "harness/unknown.h"

namespace tavora {

// What DllRegisterServer and DllUnregisterServer return when the registry
// cannot be read or written (the platform's "could not register the class").
inline constexpr harness::HResult kRegistrationFailed = static_cast<harness::HResult>(0x80040201);

// A registration step that failed; the message names the file and the cause.
class RegistrationError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The registry file: $TAVORA_REGISTRY, else $XDG_CONFIG_HOME/tavora/registry.json,
// else $HOME/.config/tavora/registry.json. Empty variables count as unset, and
// a relative XDG_CONFIG_HOME is ignored as the XDG rules say. Throws
// RegistrationError when none of them gives a path.
std::filesystem::path RegistryPath();

// Writes the component's six classes into the JSON registry file `registry`:
// under "classes", keyed by class id, the class name, its ProgID and
// `server_path`; under "progIds" each ProgID's class id. Creates the file and
// its folder when missing, keeps every other entry, replaces the file
// atomically and gives the same file when run twice. Throws RegistrationError
// (the file is then unchanged) when `server_path` is empty or the file cannot
// be read, parsed or written, and when it is no registry: not a regular file
// (a folder, FIFO or device), larger than 16 MiB, or nested deeper than 16
// levels.
void RegisterComponent(const std::filesystem::path& registry, const std::string& server_path);

// Removes the six classes and their ProgIDs from `registry`, keeping every
// other entry. A missing file or entry is no error. Throws RegistrationError
// as RegisterComponent does.
void UnregisterComponent(const std::filesystem::path& registry);

// The exports' work: runs the step above on RegistryPath() and turns a failure
// into an HRESULT (kRegistrationFailed, or kOutOfMemory), writing the
// failure's message to stderr since the caller sees nothing but the code.
harness::HResult RegisterServer(const std::string& server_path);
harness::HResult UnregisterServer();

}  // namespace tavora

#endif  // TAVORA_LIBRARY_REGISTRATION_H_
