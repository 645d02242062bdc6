// The four dataset tests write exactly the golden files: every byte of every
// model, transcript and workspace project, on the record double and on the
// embedded server alike.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <string>

#include "host/commands.h"
#include "server/data_folder.h"
#include "tests/golden_files.h"
#include "tests/scratch_folder.h"

namespace tavora::testing {
namespace {

namespace fs = std::filesystem;

std::set<std::string> FileNames(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

TEST(GoldenOutput, EveryBackEndWritesTheGoldenFiles) {
  const std::set<std::string> golden = FileNames(GoldenFolder());
  ASSERT_EQ(golden.size(), 4 * std::size(kGoldenTests));
  for (const char* backend : {"record", "embedded"}) {
    SCOPED_TRACE(backend);
    const fs::path scratch = ScratchFolder(std::string("golden-") + backend);
    host::CommandOptions options;
    options.backend = backend;
    options.workspace = (scratch / "workspace").string();
    options.component = TAVORAD_PATH;
    options.data = std::string(server::DataFolder::kMemory);
    std::ostringstream out, err;
    EXPECT_EQ(host::RunCommand(options, {}, (scratch / "out").string(), out, err), 0)
        << out.str() << err.str();
    EXPECT_EQ(FileNames(scratch / "out"), golden);
    for (const std::string& name : golden) {
      std::string diff =
          TextDiff(ReadFileBytes(GoldenFolder() / name), ReadFileBytes(scratch / "out" / name));
      EXPECT_TRUE(diff.empty()) << name
                                << " differs from its golden file (scripts/regenerate-golden "
                                << "rewrites them; say why in the commit)\n"
                                << diff;
    }
    fs::remove_all(scratch);
  }
}

}  // namespace
}  // namespace tavora::testing
