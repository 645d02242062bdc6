#include "host/embedded_session.h"

#include <cstdlib>
#include <filesystem>
#include <limits>
#include <utility>
#include <variant>

#include "harness/error.h"
#include "harness/utf.h"
#include "host/batch_splitter.h"
#include "host/connection_string.h"
#include "host/file_io.h"
#include "host/record_session.h"
#include "host/result_table.h"
#include "server/types/cell_text.h"

namespace host {

namespace {

// What a driver manager says when the connection string names no driver it
// knows; ADO reports it under the generic provider failure.
constexpr int32_t kProviderError = -2147467259;

harness::Error ServerError(const server::SqlError& error) {
  return harness::Error(error.number, harness::FromUtf8(error.message));
}

bool IsYes(const std::optional<std::u16string>& value) {
  if (!value) return false;
  std::string text = harness::ToUtf8(*value);
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text == "yes" || text == "true" || text == "sspi";
}

// A cell as the platform's data access hands it over: small integers as
// Integer, int as Long, bit as Boolean, everything else as its text.
harness::Variant ToVariant(const server::Value& value, const std::string& type) {
  if (std::holds_alternative<std::monostate>(value)) return harness::Variant::Null();
  if (const auto* number = std::get_if<int64_t>(&value)) {
    if (type == "bit") return harness::Variant::Boolean(*number != 0);
    if (type == "tinyint" || type == "smallint") {
      return harness::Variant::Integer(static_cast<int16_t>(*number));
    }
    if (*number >= std::numeric_limits<int32_t>::min() &&
        *number <= std::numeric_limits<int32_t>::max()) {
      return harness::Variant::Long(static_cast<int32_t>(*number));
    }
  }
  return harness::Variant::String(harness::FromUtf8(server::CellText(value)));
}

// The server's result in the contract's values.
harness::ComPtr<harness::ResultSet> ToResultSet(const server::ResultSet& result) {
  ResultTable table;
  for (const std::string& column : result.columns)
    table.columns.push_back(harness::FromUtf8(column));
  for (const auto& cells : result.rows) {
    std::vector<harness::Variant>& row = table.rows.emplace_back();
    for (size_t c = 0; c < cells.size(); ++c) row.push_back(ToVariant(cells[c], result.types[c]));
  }
  return MakeResultSet(std::move(table));
}

class EmbeddedSession final : public harness::ComObject<harness::SqlSession> {
 public:
  explicit EmbeddedSession(std::shared_ptr<server::DataFolder> server)
      : server_(std::move(server)) {}
  ~EmbeddedSession() override {
    if (session_ != 0) server_->engine().Logout(session_);
  }

  // The server answers at once; the timeout is kept for the contract's sake.
  void SetLoginTimeout(int32_t) override { RequireNotOpen(session_ != 0); }

  void Open(const std::u16string& connection_string) override {
    RequireNotOpen(session_ != 0);
    ConnectionString attributes = ConnectionString::Parse(connection_string);
    std::optional<std::u16string> driver = attributes.Get(u"DRIVER");
    if (!driver || harness::ToUtf8(*driver) != "SQL Server") {
      throw harness::Error(kProviderError,
                           u"Data source name not found and no default driver specified");
    }
    bool trusted = IsYes(attributes.Get(u"Trusted_Connection"));
    auto login =
        server_->engine().Login(harness::ToUtf8(attributes.Get(u"UID").value_or(u"")),
                                harness::ToUtf8(attributes.Get(u"PWD").value_or(u"")), trusted,
                                harness::ToUtf8(attributes.Get(u"SERVER").value_or(u"")));
    if (const auto* error = std::get_if<server::SqlError>(&login)) throw ServerError(*error);
    session_ = std::get<int>(login);
  }

  void Close() override {
    RequireOpen(session_ != 0);
    server_->engine().Logout(session_);
    session_ = 0;
  }

  harness::ComPtr<harness::ResultSet> Query(const std::u16string& statement) override {
    RequireOpen(session_ != 0);
    server::BatchOutcome outcome = Run(statement);
    if (outcome.results.empty()) return MakeResultSet({});
    return ToResultSet(outcome.results.front());
  }

  std::u16string Execute(int32_t, const std::u16string& text) override {
    RequireOpen(session_ != 0);
    std::u16string messages;
    for (std::u16string_view batch : SplitBatchViews(text)) {
      for (const server::SqlError& message : Run(batch).messages) {
        if (!messages.empty()) messages += u"\r\n";
        messages += harness::FromUtf8(message.message);
      }
    }
    return messages;
  }

 private:
  // Runs one batch; its error, if any, ends the call.
  server::BatchOutcome Run(std::u16string_view batch) {
    server::BatchOutcome outcome = server_->Execute(session_, harness::ToUtf8(batch));
    if (outcome.error) throw ServerError(*outcome.error);
    return outcome;
  }

  std::shared_ptr<server::DataFolder> server_;
  int session_ = 0;  // 0 while not logged in
};

}  // namespace

std::string DefaultDataFolder() { return DefaultStateFolder("server"); }

std::shared_ptr<server::DataFolder> OpenEmbeddedServer(const std::string& data,
                                                       server::ServerOptions options) {
  std::string path = data.empty() ? DefaultDataFolder() : data;
  auto opened = server::DataFolder::Open(path, std::move(options));
  if (auto* reason = std::get_if<std::string>(&opened)) {
    throw harness::Error(kFileAccessError,
                         harness::FromUtf8("Path/File access error: the embedded server's data "
                                           "folder '" +
                                           path + "' cannot be used: " + *reason));
  }
  return std::move(std::get<std::unique_ptr<server::DataFolder>>(opened));
}

harness::ComPtr<harness::SqlSession> MakeEmbeddedSession(
    std::shared_ptr<server::DataFolder> server) {
  return harness::MakeObject<EmbeddedSession>(std::move(server));
}

}  // namespace host
