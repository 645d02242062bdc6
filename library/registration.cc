#include "library/registration.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <nlohmann/json.hpp>
#include <system_error>

#include "harness/utf.h"
#include "library/component_classes.h"

namespace tavora {

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr char kClasses[] = "classes";
constexpr char kProgIds[] = "progIds";

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

[[noreturn]] void Fail(const std::string& what, const fs::path& path, const std::string& cause) {
  throw RegistrationError(what + " " + Quoted(path) + ": " + cause);
}

const char* NonEmptyEnv(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? value : nullptr;
}

// A registry holds a few levels (root, section, class, field); anything much
// deeper is not one, and left unchecked a deep file costs memory and an
// indented rewrite that grows with the square of the depth.
constexpr int kMaxRegistryDepth = 16;
// Far above any real registry; a file beyond it is not read.
constexpr off_t kMaxRegistryBytes = off_t{16} << 20;

const char* FileKind(mode_t mode) {
  if (S_ISDIR(mode)) return "is a folder";
  if (S_ISFIFO(mode)) return "is a FIFO";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "is a device";
  if (S_ISSOCK(mode)) return "is a socket";
  return "is not a regular file";
}

// Closes a descriptor on every path out.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// The registry file's text, "" when there is none. Only a regular file of at
// most kMaxRegistryBytes is read: a FIFO would block the caller and a device
// could feed it forever.
std::string ReadRegistryText(const fs::path& registry) {
  // O_NONBLOCK so that opening a FIFO returns at once, to be refused below.
  Descriptor file(open(registry.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (file.get() < 0) {
    if (errno == ENOENT) return "";
    Fail("cannot read the registry", registry, std::strerror(errno));
  }
  struct stat status {};
  if (fstat(file.get(), &status) != 0) {
    Fail("cannot read the registry", registry, std::strerror(errno));
  }
  if (!S_ISREG(status.st_mode)) {
    Fail("cannot read the registry", registry, FileKind(status.st_mode));
  }
  const std::string too_large =
      "is larger than " + std::to_string(kMaxRegistryBytes >> 20) + " MiB";
  if (status.st_size > kMaxRegistryBytes) Fail("the registry", registry, too_large);
  std::string text;
  char buffer[65536];
  for (;;) {
    ssize_t n = read(file.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail("cannot read the registry", registry, std::strerror(errno));
    if (n == 0) break;
    text.append(buffer, static_cast<size_t>(n));
    // The file may have grown since fstat.
    if (text.size() > static_cast<size_t>(kMaxRegistryBytes)) {
      Fail("the registry", registry, too_large);
    }
  }
  return text;
}

// The registry as a JSON object; a missing or blank file is an empty registry.
// Anything else that is not the registry's shape is refused rather than
// overwritten, so other components' entries are never lost.
json ReadRegistry(const fs::path& registry) {
  const std::string text = ReadRegistryText(registry);
  if (text.find_first_not_of(" \t\r\n") == std::string::npos) return json::object();
  // The parser would take a NUL byte for the end of the text and drop the rest.
  if (text.find('\0') != std::string::npos) {
    Fail("the registry", registry, "is not valid JSON: it holds a NUL byte");
  }

  // Refuses excessive depth while parsing, before the tree is built.
  const json::parser_callback_t limit_depth = [&](int depth, json::parse_event_t event, json&) {
    if ((event == json::parse_event_t::object_start || event == json::parse_event_t::array_start) &&
        depth >= kMaxRegistryDepth) {
      Fail("the registry", registry,
           "is nested deeper than " + std::to_string(kMaxRegistryDepth) + " levels");
    }
    return true;
  };
  json root;
  try {
    root = json::parse(text, limit_depth);
  } catch (const json::parse_error& e) {
    Fail("the registry", registry, std::string("is not valid JSON: ") + e.what());
  }
  if (!root.is_object()) Fail("the registry", registry, "does not hold a JSON object");
  for (const char* section : {kClasses, kProgIds}) {
    if (root.contains(section) && !root[section].is_object()) {
      Fail("the registry", registry, std::string("\"") + section + "\" is not a JSON object");
    }
  }
  return root;
}

// Replaces the file through a temporary beside it, so a reader sees the old
// registry or the new one, never half of one.
void WriteRegistry(const fs::path& registry, const json& root) {
  std::error_code error;
  if (registry.has_parent_path()) {
    fs::create_directories(registry.parent_path(), error);
    if (error) Fail("cannot create the folder of the registry", registry, error.message());
  }
  fs::path temp = registry;
  temp += ".tmp." + std::to_string(getpid());
  std::string text = root.dump(2) + "\n";

  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) Fail("cannot write the registry", temp, std::strerror(errno));
  size_t written = 0;
  while (written < text.size()) {
    ssize_t n = write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    written += static_cast<size_t>(n);
  }
  bool ok = written == text.size() && fsync(fd) == 0;
  int saved_errno = errno;
  ok = close(fd) == 0 && ok;
  if (ok) {
    fs::rename(temp, registry, error);
    if (!error) return;
  }
  std::string cause = ok ? error.message() : std::strerror(saved_errno ? saved_errno : errno);
  std::error_code ignored;  // the temporary is only litter now; the failure is reported below
  fs::remove(temp, ignored);
  Fail("cannot write the registry", registry, cause);
}

json& Section(json& root, const char* name) {
  json& section = root[name];
  if (section.is_null()) section = json::object();
  return section;
}

harness::HResult Report(const std::function<void()>& step) {
  try {
    step();
    return harness::kOk;
  } catch (const std::bad_alloc&) {
    return harness::kOutOfMemory;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tavorad: %s\n", e.what());
    return kRegistrationFailed;
  } catch (...) {
    return kRegistrationFailed;
  }
}

}  // namespace

fs::path RegistryPath() {
  if (const char* registry = NonEmptyEnv("TAVORA_REGISTRY")) return registry;
  if (const char* config = NonEmptyEnv("XDG_CONFIG_HOME"); config && config[0] == '/') {
    return fs::path(config) / "tavora" / "registry.json";
  }
  if (const char* home = NonEmptyEnv("HOME")) {
    return fs::path(home) / ".config" / "tavora" / "registry.json";
  }
  throw RegistrationError(
      "cannot locate the registry: none of TAVORA_REGISTRY, XDG_CONFIG_HOME and HOME is set");
}

void RegisterComponent(const fs::path& registry, const std::string& server_path) {
  if (server_path.empty()) {
    throw RegistrationError("cannot register: the component's own path is unknown");
  }
  json root = ReadRegistry(registry);
  json& classes = Section(root, kClasses);
  json& prog_ids = Section(root, kProgIds);
  for (const ComponentClass& component_class : ComponentClasses()) {
    std::string clsid = harness::ToString(component_class.clsid);
    std::string prog_id = harness::ToUtf8(ProgId(component_class));
    classes[clsid] = {{"name", harness::ToUtf8(component_class.name)},
                      {"progId", prog_id},
                      {"server", server_path}};
    prog_ids[prog_id] = clsid;
  }
  WriteRegistry(registry, root);
}

void UnregisterComponent(const fs::path& registry) {
  json root = ReadRegistry(registry);
  bool changed = false;
  for (const ComponentClass& component_class : ComponentClasses()) {
    std::string clsid = harness::ToString(component_class.clsid);
    std::string prog_id = harness::ToUtf8(ProgId(component_class));
    if (root.contains(kClasses)) changed |= root[kClasses].erase(clsid) > 0;
    // A ProgID that now names another component's class is not ours to remove.
    if (root.contains(kProgIds) && root[kProgIds].value(prog_id, json()) == clsid) {
      changed |= root[kProgIds].erase(prog_id) > 0;
    }
  }
  if (changed) WriteRegistry(registry, root);
}

harness::HResult RegisterServer(const std::string& server_path) {
  return Report([&] { RegisterComponent(RegistryPath(), server_path); });
}

harness::HResult UnregisterServer() {
  return Report([] { UnregisterComponent(RegistryPath()); });
}

}  // namespace tavora
