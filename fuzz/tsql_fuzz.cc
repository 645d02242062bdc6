// libFuzzer target for the server's T-SQL front end: the input is a session
// text (batches separated by GO lines) run on a fresh server. Besides the
// sanitizers' findings it fails on a server defect reported as an internal
// error, on a message that breaks the severity rules, and on a catalog that
// does not survive Save and Load unchanged.

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/batch_splitter.h"
#include "server/engine.h"

namespace {

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
  // A client that cancels whatever waits: WAITFOR, and a loop at its first
  // look at the client, end at once instead of running for ever.
  server::LockWait cancel = [](std::chrono::steady_clock::time_point) { return false; };
  for (const std::string& batch : base::SplitBatches(input)) {
    server::BatchOutcome outcome = engine.Execute(session, batch, cancel);
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
