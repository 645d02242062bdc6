// Runs the SQL behaviour scripts in tests/server/scripts. A script is a list
// of records separated by blank lines:
//
//   # a comment
//   engine case_sensitive no_full_text   (a fresh server with these options)
//   session other                        (run what follows on that session)
//   disconnect                           (the current session logs out)
//   statement ok
//   <one batch>
//
//   statement error                      (every error of the batch, in order)
//   <one batch>
//   ----
//   Msg 208, Level 16, State 1, Line 1
//   Invalid object name 'x'.
//
//   query                                (`query types` adds a line of the
//   <one batch>                           columns' types under their names;
//   ----                                  `query messages` adds the batch's
//   column|column                         informational messages after the
//   value|value                           rows, as errors are written)
//
//   counts                               (the row count of each statement
//   <one batch>                           run, as the client is told them;
//   ----                                  -1 for none)
//   -1 2 1
//
// Query cells are written as CellText gives them (NULL, digits, text, 0x..).

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "server/engine.h"
#include "tests/server/server_test_util.h"

#ifndef TAVORA_SOURCE_DIR
#define TAVORA_SOURCE_DIR "."
#endif

namespace server::testing {
namespace {

namespace fs = std::filesystem;

fs::path ScriptFolder() { return fs::path(TAVORA_SOURCE_DIR) / "tests" / "server" / "scripts"; }

std::vector<std::string> ScriptNames() {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(ScriptFolder(), error)) {
    if (entry.path().extension() == ".test") names.push_back(entry.path().stem().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> ReadLines(const fs::path& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string Join(const std::vector<std::string>& lines, size_t from, size_t to) {
  std::string text;
  for (size_t i = from; i < to; ++i) text += (i > from ? "\n" : "") + lines[i];
  return text;
}

class ScriptRun {
 public:
  explicit ScriptRun(std::string name) : name_(std::move(name)) { Restart(ServerOptions{}); }

  void Run() {
    std::vector<std::string> lines = ReadLines(ScriptFolder() / (name_ + ".test"));
    ASSERT_FALSE(lines.empty()) << "no script " << name_;
    size_t i = 0;
    while (i < lines.size()) {
      const std::string& line = lines[i];
      if (line.empty() || line[0] == '#') {
        ++i;
        continue;
      }
      // A record runs to the next blank line.
      size_t end = i;
      while (end < lines.size() && !lines[end].empty()) ++end;
      Record(lines, i, end);
      i = end;
    }
  }

 private:
  void Restart(const ServerOptions& options) {
    clients_.clear();
    engine_ = std::make_unique<Engine>(options);
    current_ = "main";
  }

  Client& Current() {
    auto& client = clients_[current_];
    if (!client) client = std::make_unique<Client>(*engine_);
    return *client;
  }

  void Record(const std::vector<std::string>& lines, size_t begin, size_t end) {
    // Traced as file:line, the way compilers name a place, so that a failure
    // leads to the record.
    const std::string file = "tests/server/scripts/" + name_ + ".test";
    ::testing::ScopedTrace trace(file.c_str(), static_cast<int>(begin + 1), lines[begin]);
    std::istringstream head(lines[begin]);
    std::string kind;
    head >> kind;
    std::vector<std::string> words;
    for (std::string word; head >> word;) words.push_back(word);
    std::string mode = words.empty() ? "" : words[0];
    if (kind == "engine") {
      ServerOptions options;
      for (const std::string& word : words) {
        if (word == "case_sensitive") {
          options.case_sensitive = true;
        } else if (word == "no_full_text") {
          options.full_text_installed = false;
        } else {
          ADD_FAILURE() << "unknown engine option '" << word << "'";
        }
      }
      Restart(options);
      return;
    }
    if (kind == "session") {
      current_ = mode;
      return;
    }
    if (kind == "disconnect") {
      clients_.erase(current_);
      return;
    }
    size_t separator = begin + 1;
    while (separator < end && lines[separator] != "----") ++separator;
    std::string batch = Join(lines, begin + 1, separator);
    std::string expected = separator < end ? Join(lines, separator + 1, end) : "";
    BatchOutcome outcome = Current().Run(batch);
    if (kind == "statement" && mode == "ok") {
      EXPECT_EQ(Describe(outcome.error), "ok") << batch;
    } else if (kind == "statement" && mode == "error") {
      // Every error, in order: a batch goes on after most of them.
      std::string errors;
      for (const PlacedError& failed : outcome.errors)
        errors += (errors.empty() ? "" : "\n") + Describe(failed.error);
      EXPECT_EQ(errors, expected) << batch;
    } else if (kind == "counts") {
      ASSERT_EQ(Describe(outcome.error), "ok") << batch;
      std::string counts;
      for (int64_t count : outcome.row_counts)
        counts += (counts.empty() ? "" : " ") + std::to_string(count);
      EXPECT_EQ(counts, expected) << batch;
    } else if (kind == "query") {
      ASSERT_EQ(Describe(outcome.error), "ok") << batch;
      ASSERT_FALSE(outcome.results.empty()) << batch;
      const ResultSet& result = outcome.results.back();
      std::string text = ResultText(result);
      if (std::find(words.begin(), words.end(), "types") != words.end()) {
        std::string types;
        for (const std::string& type : result.types) types += (types.empty() ? "" : "|") + type;
        text.insert(text.find('\n') == std::string::npos ? text.size() : text.find('\n'),
                    "\n" + types);
      }
      if (std::find(words.begin(), words.end(), "messages") != words.end()) {
        for (const SqlError& message : outcome.messages) text += "\n" + Describe(message);
      }
      EXPECT_EQ(text, expected) << batch;
    } else {
      ADD_FAILURE() << "unknown record '" << lines[begin] << "'";
    }
  }

  std::string name_;
  std::unique_ptr<Engine> engine_;
  std::map<std::string, std::unique_ptr<Client>> clients_;
  std::string current_;
};

class ServerScript : public ::testing::TestWithParam<std::string> {};

TEST_P(ServerScript, BehavesAsWritten) { ScriptRun(GetParam()).Run(); }

INSTANTIATE_TEST_SUITE_P(Server, ServerScript, ::testing::ValuesIn(ScriptNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           return info.param;
                         });

TEST(ServerScript, ScriptsArePresent) { EXPECT_GE(ScriptNames().size(), 5u) << ScriptFolder(); }

}  // namespace
}  // namespace server::testing
