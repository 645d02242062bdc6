#include "host/embedded_session.h"

#include <cinttypes>
#include <cstdio>
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
  return harness::Variant::String(harness::FromUtf8(CellText(value)));
}

class EmbeddedResultSet final : public harness::ComObject<harness::ResultSet> {
 public:
  explicit EmbeddedResultSet(server::ResultSet result) : result_(std::move(result)) {}

  int32_t RowCount() override { return static_cast<int32_t>(result_.rows.size()); }
  harness::Variant Value(int32_t row, int32_t column) override {
    if (row < 1 || row > RowCount() || column < 1 || column > ColumnCount()) {
      harness::RaiseRuntime(harness::errors::kSubscript);
    }
    return ToVariant(result_.rows[row - 1][column - 1], result_.types[column - 1]);
  }
  int32_t ColumnCount() override { return static_cast<int32_t>(result_.columns.size()); }
  std::u16string ColumnName(int32_t column) override {
    if (column < 1 || column > ColumnCount()) harness::RaiseRuntime(harness::errors::kSubscript);
    return harness::FromUtf8(result_.columns[column - 1]);
  }

 private:
  server::ResultSet result_;
};

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
    if (outcome.results.empty()) return harness::MakeObject<EmbeddedResultSet>(server::ResultSet{});
    return harness::MakeObject<EmbeddedResultSet>(std::move(outcome.results.front()));
  }

  std::u16string Execute(int32_t, const std::u16string& text) override {
    RequireOpen(session_ != 0);
    std::u16string messages;
    for (const std::u16string& batch : SplitBatches(text)) {
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

std::string CellText(const server::Value& value) {
  if (std::holds_alternative<std::monostate>(value)) return "NULL";
  if (const auto* number = std::get_if<int64_t>(&value)) return std::to_string(*number);
  if (const auto* real = std::get_if<double>(&value)) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", *real);
    return text;
  }
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string hex = "0x";
  for (uint8_t byte : std::get<std::vector<uint8_t>>(value)) {
    hex += kHex[byte >> 4];
    hex += kHex[byte & 15];
  }
  return hex;
}

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
