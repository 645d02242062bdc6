#include "tests/golden_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

namespace tavora::testing {

namespace {

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// About one screen line of `line` around `column`, marked where it was cut.
std::string Clip(const std::string& line, size_t column) {
  constexpr size_t kBefore = 60, kWidth = 120;
  size_t start = column > kBefore ? column - kBefore : 0;
  if (start >= line.size()) start = 0;  // a shorter line around the difference
  std::string clipped = line.substr(start, kWidth);
  if (start > 0) clipped = "..." + clipped;
  if (start + kWidth < line.size()) clipped += "...";
  return clipped;
}

void Excerpt(std::ostringstream& out, const char* heading, const std::vector<std::string>& lines,
             size_t at, size_t column) {
  constexpr size_t kContext = 2;
  out << heading << ":\n";
  size_t first = at > kContext ? at - kContext : 0;
  size_t last = std::min(lines.size(), at + kContext + 1);
  for (size_t i = first; i < last; ++i) {
    out << (i == at ? "> " : "  ") << i + 1 << ": " << Clip(lines[i], column) << "\n";
  }
  if (at >= lines.size()) out << "> " << at + 1 << ": (end of file)\n";
}

}  // namespace

std::filesystem::path GoldenFolder() { return TAVORA_GOLDEN_DIR; }

std::string ReadFileBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    ADD_FAILURE() << "cannot read " << file;
    return "";
  }
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string ReadGolden(const std::string& name) { return ReadFileBytes(GoldenFolder() / name); }

std::vector<GoldenCall> GoldenCalls(const std::string& transcript) {
  std::vector<GoldenCall> calls;
  std::istringstream in(ReadGolden(transcript));
  for (std::string line; std::getline(in, line);) {
    nlohmann::json entry = nlohmann::json::parse(line);
    std::string call = entry.at("call");
    if (call == "Execute" || call == "Query") calls.push_back({call, entry.at("text")});
  }
  return calls;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

std::string TextDiff(const std::string& expected, const std::string& actual) {
  if (expected == actual) return "";
  std::vector<std::string> want = SplitLines(expected), got = SplitLines(actual);
  size_t at = 0;
  while (at < want.size() && at < got.size() && want[at] == got[at]) ++at;
  size_t column = 0;
  if (at < want.size() && at < got.size()) {
    auto differ = std::mismatch(want[at].begin(), want[at].end(), got[at].begin(), got[at].end());
    column = differ.first - want[at].begin();
  }
  std::ostringstream out;
  if (at == want.size() && at == got.size()) {
    out << "the files differ only in their last line break\n";
    return out.str();
  }
  out << "first difference at line " << at + 1 << ", column " << column + 1 << "\n";
  Excerpt(out, "expected", want, at, column);
  Excerpt(out, "actual", got, at, column);
  return out.str();
}

}  // namespace tavora::testing
