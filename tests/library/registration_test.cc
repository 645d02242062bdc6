#include "library/registration.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "tests/scratch_folder.h"

namespace tavora {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// Registering or unregistering with `registry` fails with a message that
// names the file and `cause`.
void ExpectRefused(const fs::path& registry, bool registering, const std::string& cause) {
  try {
    registering ? RegisterComponent(registry, "/lib/libtavorad.so") : UnregisterComponent(registry);
    ADD_FAILURE() << "accepted";
  } catch (const RegistrationError& e) {
    std::string message = e.what();
    EXPECT_NE(message.find("'" + registry.string() + "'"), std::string::npos) << message;
    EXPECT_NE(message.find(cause), std::string::npos) << message;
  }
}

// Sets environment variables for one test and puts the old values back.
class ScopedEnv {
 public:
  void Set(const char* name, const char* value) {
    const char* old = std::getenv(name);
    saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second) {
        setenv(it->first.c_str(), it->second->c_str(), 1);
      } else {
        unsetenv(it->first.c_str());
      }
    }
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

using tavora::testing::ReadFile;
using tavora::testing::WriteFile;

class RegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override { folder_ = tavora::testing::ScratchFolder("tavora-registration"); }
  void TearDown() override { fs::remove_all(folder_); }

  fs::path folder_;
};

// Another component's entries, which every step must leave as they are.
const char kForeign[] = R"({
  "classes": {"{11111111-2222-3333-4444-555555555555}":
                {"name": "Other", "progId": "other.Thing", "server": "/opt/other.so"}},
  "progIds": {"other.Thing": "{11111111-2222-3333-4444-555555555555}"},
  "comment": "kept"
})";

TEST_F(RegistrationTest, RegistersTheSixClassesBesideForeignEntries) {
  fs::path registry = folder_ / "registry.json";
  WriteFile(registry, kForeign);
  RegisterComponent(registry, "/lib/libtavorad.so");

  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1)
      << "a temporary file was left behind";
  json root = json::parse(ReadFile(registry));
  EXPECT_EQ(root["comment"], "kept");
  EXPECT_EQ(root["classes"].size(), 7u);
  EXPECT_EQ(
      root["classes"]["{B0EAD46B-A65C-47AC-8EF9-648D296B6048}"],
      json({{"name", "Library"}, {"progId", "tavorad.Library"}, {"server", "/lib/libtavorad.so"}}));
  const char* prog_ids[][2] = {
      {"tavorad.Library", "{B0EAD46B-A65C-47AC-8EF9-648D296B6048}"},
      {"tavorad.ReadWriteSuite", "{356A615E-56A9-4F9E-9B53-B297ADBD3BE8}"},
      {"tavorad.StandardDataset", "{F10B9161-D82D-43B3-8412-195F2ECBA078}"},
      {"tavorad.TransPubDataset", "{53F54FCD-3D3A-45BD-A8C3-B297D5351408}"},
      {"tavorad.MergePubDataset", "{3F7C2D10-9A1E-4B6C-8D2F-51E07A94C36B}"},
      {"tavorad.SnapPubDataset", "{6A1D4E92-0C57-4F38-B16E-2D89F403A75C}"},
      {"other.Thing", "{11111111-2222-3333-4444-555555555555}"},
  };
  EXPECT_EQ(root["progIds"].size(), 7u);
  for (const auto& [prog_id, clsid] : prog_ids) {
    SCOPED_TRACE(prog_id);
    EXPECT_EQ(root["progIds"][prog_id], clsid);
    EXPECT_EQ(root["classes"][clsid]["progId"], prog_id);
  }
}

TEST_F(RegistrationTest, CreatesTheFileAndItsFolders) {
  fs::path registry = folder_ / "config" / "tavora" / "registry.json";
  RegisterComponent(registry, "/lib/libtavorad.so");
  EXPECT_EQ(json::parse(ReadFile(registry))["classes"].size(), 6u);
}

TEST_F(RegistrationTest, BlankFileIsAnEmptyRegistry) {
  fs::path registry = folder_ / "registry.json";
  WriteFile(registry, " \n");
  RegisterComponent(registry, "/lib/libtavorad.so");
  EXPECT_EQ(json::parse(ReadFile(registry))["classes"].size(), 6u);
}

TEST_F(RegistrationTest, UnregisterWithoutAFileCreatesNone) {
  fs::path registry = folder_ / "registry.json";
  UnregisterComponent(registry);
  EXPECT_FALSE(fs::exists(registry));
}

TEST_F(RegistrationTest, UnregisterKeepsAProgIdNowNamingAnotherClass) {
  fs::path registry = folder_ / "registry.json";
  RegisterComponent(registry, "/lib/libtavorad.so");
  json root = json::parse(ReadFile(registry));
  root["progIds"]["tavorad.Library"] = "{11111111-2222-3333-4444-555555555555}";
  WriteFile(registry, root.dump());
  UnregisterComponent(registry);
  EXPECT_EQ(json::parse(ReadFile(registry)), json::parse(R"({"classes": {}, "progIds":
                             {"tavorad.Library": "{11111111-2222-3333-4444-555555555555}"}})"));
}

TEST_F(RegistrationTest, MalformedRegistryIsRefusedAndLeftAlone) {
  struct Case {
    const char* text;
    const char* cause;
  };
  const Case cases[] = {
      {"{\"classes\": {", "is not valid JSON"},
      {"[1, 2]", "does not hold a JSON object"},
      {"{\"classes\": []}", "\"classes\" is not a JSON object"},
      {"{\"progIds\": \"x\"}", "\"progIds\" is not a JSON object"},
  };
  fs::path registry = folder_ / "registry.json";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    WriteFile(registry, c.text);
    for (bool registering : {true, false}) {
      ExpectRefused(registry, registering, c.cause);
      EXPECT_EQ(ReadFile(registry), c.text);
    }
  }
}

// Files no registry is: each would make registration hang, exhaust memory,
// write a huge file or lose part of the file. They are refused with the
// cause and left as they were.
TEST_F(RegistrationTest, OddRegistryFilesAreRefusedAndLeftAlone) {
  struct Case {
    const char* name;
    std::function<void(const fs::path&)> make;
    const char* cause;
  };
  const Case cases[] = {
      {"nested deeply",
       [](const fs::path& path) {
         WriteFile(path, "{\"x\": " + std::string(100, '[') + std::string(100, ']') + "}");
       },
       "is nested deeper than 16 levels"},
      {"a NUL byte, which would end the text early",
       [](const fs::path& path) { WriteFile(path, std::string("{}\0{\"x\": 1}", 11)); },
       "is not valid JSON: it holds a NUL byte"},
      {"larger than a registry can be",
       [](const fs::path& path) {
         WriteFile(path, "{}");
         fs::resize_file(path, (16u << 20) + 1);
       },
       "is larger than 16 MiB"},
      {"a device", [](const fs::path& path) { fs::create_symlink("/dev/null", path); },
       "is a device"},
      {"a FIFO", [](const fs::path& path) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); },
       "is a FIFO"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::path registry = folder_ / "registry.json";
    fs::remove(registry);
    c.make(registry);
    const fs::file_status before = fs::symlink_status(registry);
    const uintmax_t size = fs::is_regular_file(before) ? fs::file_size(registry) : 0;
    for (bool registering : {true, false}) {
      ExpectRefused(registry, registering, c.cause);
      EXPECT_EQ(fs::symlink_status(registry).type(), before.type());
      if (size != 0) {
        EXPECT_EQ(fs::file_size(registry), size);
      }
    }
  }
}

TEST_F(RegistrationTest, UnwritableLocationAndUnknownServerAreErrors) {
  fs::path blocker = folder_ / "file";
  WriteFile(blocker, "x");
  EXPECT_THROW(RegisterComponent(blocker / "registry.json", "/lib/libtavorad.so"),
               RegistrationError);
  EXPECT_THROW(RegisterComponent(folder_, "/lib/libtavorad.so"), RegistrationError);
  EXPECT_THROW(RegisterComponent(folder_ / "registry.json", ""), RegistrationError);
  EXPECT_FALSE(fs::exists(folder_ / "registry.json"));
}

TEST(RegistryPath, FollowsTheVariablesInOrder) {
  struct Case {
    const char* name;
    const char* registry;
    const char* config;
    const char* home;
    const char* expected;  // nullptr: no path can be found
  };
  const Case cases[] = {
      {"explicit file wins", "/tmp/r.json", "/cfg", "/home/u", "/tmp/r.json"},
      {"XDG config folder", nullptr, "/cfg", "/home/u", "/cfg/tavora/registry.json"},
      {"empty variables count as unset", "", "", "/home/u", "/home/u/.config/tavora/registry.json"},
      {"relative XDG folder is ignored", nullptr, "cfg", "/home/u",
       "/home/u/.config/tavora/registry.json"},
      {"nothing set", nullptr, nullptr, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedEnv env;
    env.Set("TAVORA_REGISTRY", c.registry);
    env.Set("XDG_CONFIG_HOME", c.config);
    env.Set("HOME", c.home);
    if (c.expected) {
      EXPECT_EQ(RegistryPath(), fs::path(c.expected));
    } else {
      EXPECT_THROW(RegistryPath(), RegistrationError);
    }
  }
}

}  // namespace
}  // namespace tavora
