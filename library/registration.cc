#include "library/registration.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <nlohmann/json.hpp>
#include <variant>

#include "base/file_read.h"
#include "base/file_write.h"
#include "harness/utf.h"
#include "library/component_classes.h"

namespace tavora {

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr char kClassesSection[] = "classes";
constexpr char kProgIdsSection[] = "progIds";

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
constexpr size_t kMaxRegistryBytes = size_t{16} << 20;

// The registry file's text, "" when there is none.
std::string ReadRegistryText(const fs::path& registry) {
  auto read = base::ReadRegularFile(registry, kMaxRegistryBytes);
  if (auto* failure = std::get_if<base::FileReadFailure>(&read)) {
    if (failure->error == ENOENT) return "";
    Fail("cannot read the registry", registry, failure->reason);
  }
  return std::get<std::string>(std::move(read));
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
  for (const char* section : {kClassesSection, kProgIdsSection}) {
    if (root.contains(section) && !root[section].is_object()) {
      Fail("the registry", registry, std::string("\"") + section + "\" is not a JSON object");
    }
  }
  return root;
}

// Replaces the file atomically, so a reader sees the old registry or the new
// one, never half of one.
void WriteRegistry(const fs::path& registry, const json& root) {
  auto failure = base::WriteFileAtomically(registry, root.dump(2) + "\n", 0644);
  if (!failure) return;
  if (failure->step == base::FileWriteFailure::Step::kCreateFolder) {
    Fail("cannot create the folder of the registry", registry, std::strerror(failure->error));
  }
  Fail("cannot write the registry", registry, std::strerror(failure->error));
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
  json& classes = Section(root, kClassesSection);
  json& prog_ids = Section(root, kProgIdsSection);
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
    if (root.contains(kClassesSection)) changed |= root[kClassesSection].erase(clsid) > 0;
    // A ProgID that now names another component's class is not ours to remove.
    if (root.contains(kProgIdsSection) && root[kProgIdsSection].value(prog_id, json()) == clsid) {
      changed |= root[kProgIdsSection].erase(prog_id) > 0;
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
