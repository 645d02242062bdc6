#ifndef TAVORA_TESTS_SERVER_SERVER_TEST_UTIL_H_
#define TAVORA_TESTS_SERVER_SERVER_TEST_UTIL_H_

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/engine.h"
#include "server/types/cell_text.h"

namespace server::testing {

// One connection to an engine, used the way a session back end uses it.
class Client {
 public:
  explicit Client(Engine& engine, const std::string& server_name = "TAVORA");
  ~Client();
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  // Runs the batches of `text` in order; the first error ends it.
  std::optional<SqlError> Execute(std::string_view text);
  // Runs one batch and returns its whole outcome.
  BatchOutcome Run(std::string_view batch);
  // Runs `text` and returns its last result set; a failure is a test failure
  // and gives an empty result.
  ResultSet Query(std::string_view text);
  std::string CurrentDatabase() const { return engine_.CurrentDatabase(session_); }
  int session() const { return session_; }

 private:
  Engine& engine_;
  int session_ = 0;
};

// "Msg 208, Level 16, State 1, Line 1" + LF + text, or "ok": how the tests
// compare outcomes (SQL Server's own client prints errors this way).
std::string Describe(const std::optional<SqlError>& error);

// Bytes written as numbers, for exact wire images.
inline std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<uint8_t> out;
  for (int v : values) out.push_back(static_cast<uint8_t>(v));
  return out;
}

// A whole result: column names, then one line per row, cells joined by "|".
std::string ResultText(const ResultSet& result);

}  // namespace server::testing

#endif  // TAVORA_TESTS_SERVER_SERVER_TEST_UTIL_H_
