// libFuzzer target for the server's T-SQL front end: the input is a session
// text (batches separated by GO lines) run on a fresh server. Besides the
// sanitizers' findings it fails on a server defect reported as an internal
// error, on a message that breaks the severity rules, and on a catalog that
// does not survive Save and Load unchanged.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "server/engine.h"

namespace {

bool IsGoLine(std::string_view line) {
  size_t b = line.find_first_not_of(" \t\r");
  if (b == std::string_view::npos) return false;
  size_t e = line.find_last_not_of(" \t\r");
  std::string_view word = line.substr(b, e - b + 1);
  return word.size() == 2 && (word[0] | 0x20) == 'g' && (word[1] | 0x20) == 'o';
}

std::vector<std::string_view> SplitOnGo(std::string_view text) {
  std::vector<std::string_view> batches;
  size_t batch_start = 0;
  size_t line_start = 0;
  while (line_start <= text.size()) {
    size_t end = text.find('\n', line_start);
    size_t line_end = end == std::string_view::npos ? text.size() : end;
    if (IsGoLine(text.substr(line_start, line_end - line_start))) {
      batches.push_back(text.substr(batch_start, line_start - batch_start));
      batch_start = end == std::string_view::npos ? text.size() : end + 1;
    }
    if (end == std::string_view::npos) break;
    line_start = end + 1;
  }
  batches.push_back(text.substr(batch_start));
  return batches;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  server::ServerOptions options;
  // The input's length picks the server's installation options, so every
  // corpus entry is also tried case-sensitive and without full-text search.
  options.case_sensitive = size % 3 == 1;
  options.full_text_installed = size % 5 != 2;
  server::Engine engine(options);
  auto login = engine.Login("sa", "", false, "FUZZ");
  Check(std::holds_alternative<int>(login));
  int session = std::get<int>(login);
  for (std::string_view batch : SplitOnGo(input)) {
    server::BatchOutcome outcome = engine.Execute(session, batch);
    if (outcome.error) {
      Check(outcome.error->severity > 10);
      Check(outcome.error->line >= 1);
      Check(outcome.error->message.rfind("Internal error", 0) != 0);
    }
    for (const server::SqlError& message : outcome.messages) Check(message.severity <= 10);
    for (const server::ResultSet& result : outcome.results) {
      Check(result.columns.size() == result.types.size());
      Check(result.columns.size() <= 4096);  // what one result may carry
      for (const auto& row : result.rows) Check(row.size() == result.columns.size());
    }
  }
  std::string saved = engine.Save();
  auto loaded = server::Engine::Load(saved, options);
  Check(std::holds_alternative<std::unique_ptr<server::Engine>>(loaded));
  Check(std::get<std::unique_ptr<server::Engine>>(loaded)->Save() == saved);
  // The same bytes as a state file must load or be refused, never crash.
  if (!input.empty() && input[0] == '{') (void)server::Engine::Load(input, options);
  return 0;
}
