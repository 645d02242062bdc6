#include "tests/server/server_test_util.h"

#include <gtest/gtest.h>

#include "base/batch_splitter.h"

namespace server::testing {

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
  for (const std::string& batch : base::SplitBatches(text)) {
    BatchOutcome outcome = engine_.Execute(session_, batch);
    if (outcome.error) return outcome.error;
  }
  return std::nullopt;
}

BatchOutcome Client::Run(std::string_view batch) { return engine_.Execute(session_, batch); }

ResultSet Client::Query(std::string_view text) {
  ResultSet last;
  for (const std::string& batch : base::SplitBatches(text)) {
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
