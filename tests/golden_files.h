#ifndef TAVORA_TESTS_GOLDEN_FILES_H_
#define TAVORA_TESTS_GOLDEN_FILES_H_

#include <filesystem>
#include <string>
#include <vector>

namespace tavora::testing {

// The golden files (tests/golden/) are the four dataset tests' expected
// output as `tavora run --all --backend record --out` writes it:
// create-T.jsonl, delete-T.jsonl, model-T.json and workspace-T.json for each
// test T. scripts/regenerate-golden rewrites them.
std::filesystem::path GoldenFolder();

// The four tests as the suite names them.
inline const char* const kGoldenTests[] = {"Standard", "Replication.Snapshot",
                                           "Replication.Transactional", "Replication.Merge"};

// A golden file's bytes, by name ("model-Standard.json").
std::string ReadGolden(const std::string& name);

// A file's bytes; a missing file is a test failure and gives "".
std::string ReadFileBytes(const std::filesystem::path& file);

// One Execute or Query call of a golden transcript.
struct GoldenCall {
  std::string call;
  std::string text;
};

// The Execute and Query calls of a golden transcript ("create-Standard.jsonl"),
// in order; the other calls (login timeout, Open, Close) are left out.
std::vector<GoldenCall> GoldenCalls(const std::string& transcript);

// Every occurrence of `from` in `text` replaced with `to`.
std::string ReplaceAll(std::string text, const std::string& from, const std::string& to);

// "" when the texts are equal; otherwise the first line where they differ,
// with a few lines around it from each side, long lines cut around the first
// differing column: enough to see the change without the whole file.
std::string TextDiff(const std::string& expected, const std::string& actual);

}  // namespace tavora::testing

#endif  // TAVORA_TESTS_GOLDEN_FILES_H_
