#include <algorithm>
#include <cstdio>
#include <variant>

#include "harness/utf.h"
#include "host/batch_splitter.h"
#include "host/commands.h"
#include "host/embedded_session.h"
#include "server/types/cell_text.h"

namespace host {

namespace {

// Columns padded to their widest cell, a dashed rule under the names, and
// line breaks inside a cell shown as blanks so that one row stays one line.
// `count` is the statement's row count, -1 when SET NOCOUNT ON keeps it back.
void PrintTable(std::ostream& out, const server::ResultSet& result, int64_t count) {
  std::vector<std::vector<std::string>> cells;
  std::vector<size_t> widths;
  for (const std::string& column : result.columns) widths.push_back(column.size());
  for (const auto& row : result.rows) {
    std::vector<std::string> texts;
    for (size_t c = 0; c < row.size(); ++c) {
      std::string text = server::CellText(row[c]);
      std::replace(text.begin(), text.end(), '\r', ' ');
      std::replace(text.begin(), text.end(), '\n', ' ');
      widths[c] = std::max(widths[c], text.size());
      texts.push_back(std::move(text));
    }
    cells.push_back(std::move(texts));
  }
  auto print_line = [&](const std::vector<std::string>& line) {
    std::string text;
    for (size_t c = 0; c < line.size(); ++c) {
      if (c > 0) text += ' ';
      text += line[c];
      if (c + 1 < line.size()) text.append(widths[c] - line[c].size(), ' ');
    }
    out << text << "\n";
  };
  print_line(result.columns);
  std::vector<std::string> rule;
  for (size_t width : widths) rule.emplace_back(width, '-');
  print_line(rule);
  for (const auto& line : cells) print_line(line);
  if (count >= 0) out << "(" << count << (count == 1 ? " row" : " rows") << " affected)\n";
}

}  // namespace

int SqlCommand(const CommandOptions& options, const std::string& text, std::ostream& out,
               std::ostream& err) {
  std::vector<std::u16string> batches = SplitBatches(harness::FromUtf8(text));
  std::shared_ptr<server::DataFolder> server = OpenEmbeddedServer(options.data);
  const Settings& settings = options.settings;
  auto login =
      server->engine().Login(harness::ToUtf8(settings.user), harness::ToUtf8(settings.password),
                             settings.user.empty(), harness::ToUtf8(settings.server));
  if (const auto* error = std::get_if<server::SqlError>(&login)) {
    PrintError(err, harness::Error(error->number, harness::FromUtf8(error->message)));
    return 1;
  }
  const int session = std::get<int>(login);
  int status = 0;
  for (const std::u16string& batch : batches) {
    server::BatchOutcome outcome = server->Execute(session, harness::ToUtf8(batch));
    for (const server::ResultSet& result : outcome.results) {
      int64_t count = result.statement < outcome.row_counts.size()
                          ? outcome.row_counts[result.statement]
                          : static_cast<int64_t>(result.rows.size());
      PrintTable(out, result, count);
    }
    for (const server::SqlError& message : outcome.messages) out << message.message << "\n";
    for (const server::PlacedError& failed : outcome.errors) {
      PrintError(err, harness::Error(failed.error.number, harness::FromUtf8(failed.error.message)));
    }
    if (outcome.error) {
      status = 1;
      break;
    }
  }
  server->engine().Logout(session);
  return status;
}

}  // namespace host
