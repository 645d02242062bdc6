#include "tests/server/server_test_util.h"

#include <gtest/gtest.h>

namespace server::testing {

namespace {

bool IsGoLine(std::string_view line) {
  size_t b = line.find_first_not_of(" \t\r");
  if (b == std::string_view::npos) return false;
  size_t e = line.find_last_not_of(" \t\r");
  std::string_view word = line.substr(b, e - b + 1);
  return word.size() == 2 && (word[0] == 'G' || word[0] == 'g') &&
         (word[1] == 'O' || word[1] == 'o');
}

}  // namespace

std::vector<std::string> SplitOnGo(std::string_view text) {
  std::vector<std::string> batches;
  std::string current;
  bool first = true;
  auto flush = [&] {
    // The line break that led into the GO line is not part of the batch.
    if (!current.empty() && current.back() == '\r') current.pop_back();
    if (current.find_first_not_of(" \t\r\n") != std::string::npos) batches.push_back(current);
    current.clear();
    first = true;
  };
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    std::string_view line =
        text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    // Lines keep their CR and are joined with LF again, so CR LF stays.
    if (IsGoLine(line)) {
      flush();
    } else {
      if (!first) current += "\n";
      current += line;
      first = false;
    }
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  flush();
  return batches;
}

Client::Client(Engine& engine, const std::string& server_name) : engine_(engine) {
  auto login = engine_.Login("sa", "", false, server_name);
  if (const SqlError* error = std::get_if<SqlError>(&login)) {
    ADD_FAILURE() << "login failed: " << error->message;
    return;
  }
  session_ = std::get<int>(login);
}

Client::~Client() { engine_.Logout(session_); }

std::optional<SqlError> Client::Execute(std::string_view text) {
  for (const std::string& batch : SplitOnGo(text)) {
    BatchOutcome outcome = engine_.Execute(session_, batch);
    if (outcome.error) return outcome.error;
  }
  return std::nullopt;
}

BatchOutcome Client::Run(std::string_view batch) { return engine_.Execute(session_, batch); }

ResultSet Client::Query(std::string_view text) {
  ResultSet last;
  for (const std::string& batch : SplitOnGo(text)) {
    BatchOutcome outcome = engine_.Execute(session_, batch);
    if (outcome.error) {
      ADD_FAILURE() << "query failed: " << Describe(outcome.error) << "\n" << batch;
      return {};
    }
    if (!outcome.results.empty()) last = outcome.results.back();
  }
  return last;
}

std::string Describe(const std::optional<SqlError>& error) {
  if (!error) return "ok";
  return "Msg " + std::to_string(error->number) + ", Level " + std::to_string(error->severity) +
         ", State " + std::to_string(error->state) + ", Line " + std::to_string(error->line) +
         "\n" + error->message;
}

std::string ResultText(const ResultSet& result) {
  std::string text;
  for (size_t i = 0; i < result.columns.size(); ++i) text += (i ? "|" : "") + result.columns[i];
  for (const auto& row : result.rows) {
    text += "\n";
    for (size_t i = 0; i < row.size(); ++i) text += (i ? "|" : "") + CellText(row[i]);
  }
  return text;
}

}  // namespace server::testing
