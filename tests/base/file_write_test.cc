#include "base/file_write.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/scratch_folder.h"

namespace base {
namespace {

namespace fs = std::filesystem;

TEST(FileWrite, ReplacesThroughANewFileAndLeavesTheOldOneWholeOnFailure) {
  const fs::path folder = tavora::testing::ScratchFolder("tavora-file-write");
  const fs::path file = folder / "sub" / "state.json";
  ASSERT_EQ(WriteFileAtomically(file, "old", 0600), std::nullopt);
  // A reader that opened the old file keeps reading it whole: the new text
  // went to another file, renamed over the name, not into this one.
  std::ifstream reader(file, std::ios::binary);
  ASSERT_EQ(WriteFileAtomically(file, "new text", 0600), std::nullopt);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(reader), {}), "old");
  EXPECT_EQ(tavora::testing::ReadFile(file), "new text");
  EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write);

  // A folder in the target's place fails the rename, after the temporary
  // was written: the folder stays as it was and no temporary is left.
  const fs::path occupied = folder / "sub" / "occupied";
  fs::create_directories(occupied / "inside");
  auto failure = WriteFileAtomically(occupied, "lost", 0644);
  ASSERT_NE(failure, std::nullopt);
  EXPECT_EQ(failure->step, FileWriteFailure::Step::kWrite);
  EXPECT_EQ(failure->path, occupied.string());
  EXPECT_EQ(failure->error, EISDIR);
  EXPECT_TRUE(fs::is_directory(occupied / "inside"));
  size_t entries = 0;
  for (const auto& entry : fs::directory_iterator(folder / "sub")) {
    EXPECT_TRUE(entry.path() == file || entry.path() == occupied) << entry.path();
    ++entries;
  }
  EXPECT_EQ(entries, 2u);
  fs::remove_all(folder);
}

}  // namespace
}  // namespace base
