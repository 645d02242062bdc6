#include "host/odbc_session.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "harness/error.h"
#include "harness/utf.h"
#include "host/batch_splitter.h"
#include "host/connection_string.h"
#include "host/record_session.h"
#include "host/result_table.h"

namespace host {

namespace {

// What a data-access layer reports for a driver failure that carries no
// server message number (E_FAIL).
constexpr int32_t kGenericFailure = -2147467259;

// The protocol SQL Server 2000 speaks; newer ones make the driver read a
// failed login's error with the wrong field widths.
constexpr char kTdsVersion[] = "7.1";

// Messages are joined with the platform's line break.
constexpr char16_t kMessageBreak[] = u"\r\n";

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t),
              "the driver manager must use 2-byte wide characters");

std::vector<SQLWCHAR> ToWide(std::u16string_view text) {
  std::vector<SQLWCHAR> wide(text.begin(), text.end());
  wide.push_back(0);
  return wide;
}

std::u16string FromWide(const SQLWCHAR* text, size_t length) {
  return std::u16string(text, text + length);
}

// One diagnostic record of a handle.
struct Diagnostic {
  std::u16string state;  // SQLSTATE, five characters
  int32_t native = 0;
  std::u16string text;

  bool IsWarning() const { return state.starts_with(u"01"); }
  // Connection failures (08xxx) and driver or driver-manager faults (HYxxx)
  // leave no further results to read.
  bool EndsResults() const { return state.starts_with(u"08") || state.starts_with(u"HY"); }
};

std::vector<Diagnostic> Diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  std::vector<Diagnostic> records;
  for (SQLSMALLINT i = 1;; ++i) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    std::vector<SQLWCHAR> text(512);
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLGetDiagRecW(type, handle, i, state, &native, text.data(),
                                  static_cast<SQLSMALLINT>(text.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(text.size())) {
      text.resize(static_cast<size_t>(length) + 1);
      rc = SQLGetDiagRecW(type, handle, i, state, &native, text.data(),
                          static_cast<SQLSMALLINT>(text.size()), &length);
    }
    if (!SQL_SUCCEEDED(rc)) break;
    records.push_back({FromWide(state, 5), native,
                       FromWide(text.data(), std::min<size_t>(length, text.size() - 1))});
  }
  return records;
}

// The error a failed call reports: the first error carrying the server's
// number, else the first error, else the first record. The server's number
// is what callers compare; the driver adds number-less records of its own
// ("Unable to connect") around it.
harness::Error ToError(const std::vector<Diagnostic>& records, std::u16string_view call) {
  const Diagnostic* chosen = nullptr;
  for (const Diagnostic& d : records) {
    if (!d.IsWarning() && d.native != 0) {
      chosen = &d;
      break;
    }
  }
  for (const Diagnostic& d : records) {
    if (chosen == nullptr && !d.IsWarning()) chosen = &d;
  }
  if (chosen == nullptr && !records.empty()) chosen = &records.front();
  if (chosen == nullptr) {
    return harness::Error(kGenericFailure,
                          std::u16string(call) + u" failed without a diagnostic record");
  }
  return harness::Error(chosen->native != 0 ? chosen->native : kGenericFailure, chosen->text);
}

[[noreturn]] void Fail(SQLSMALLINT type, SQLHANDLE handle, std::u16string_view call) {
  throw ToError(Diagnostics(type, handle), call);
}

void Append(std::u16string& messages, std::u16string_view text) {
  if (!messages.empty()) messages += kMessageBreak;
  messages += text;
}

// The TDS driver ends a braced value at its first '}', where ODBC reads "}}"
// as one '}' and goes on: given such a value, the driver would read other
// attributes than were written (a password's tail as the user name). So a
// braced value holding '}' is refused before the driver sees it; a malformed
// string is refused as every back end refuses it.
void RequireDriverReadsAsWritten(std::u16string_view connection_string) {
  for (const ConnectionAttribute& attribute : ConnectionString::Attributes(connection_string)) {
    if (attribute.braced && attribute.value.find(u'}') != std::u16string::npos) {
      throw harness::Error(kGenericFailure,
                           u"the connection string has a braced value with '}', which the ODBC "
                           u"driver would misread (it ends the value of '" +
                               attribute.key +
                               u"' at its first '}'); nothing was sent to the driver");
    }
  }
}

void PinTdsVersion() {
  static std::once_flag once;
  // Does not overwrite: a version the user chose in TDSVER wins.
  std::call_once(once, [] { setenv("TDSVER", kTdsVersion, 0); });
}

// One environment for the process, as an application keeps one: the driver
// manager then loads the driver once instead of on every connect, which was
// most of a connect's cost. It lives as long as the process.
SQLHENV Environment() {
  static const SQLHENV env = [] {
    SQLHENV made = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &made))) {
      return SQLHENV{SQL_NULL_HENV};
    }
    SQLSetEnvAttr(made, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    return made;
  }();
  if (env == SQL_NULL_HENV) {
    throw harness::Error(kGenericFailure, u"the ODBC driver manager cannot make an environment");
  }
  return env;
}

// A statement handle freed on every path out of a batch.
class Statement {
 public:
  explicit Statement(SQLHDBC dbc) {
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt_))) {
      Fail(SQL_HANDLE_DBC, dbc, u"SQLAllocHandle");
    }
  }
  ~Statement() { SQLFreeHandle(SQL_HANDLE_STMT, stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  SQLHSTMT get() const { return stmt_; }

 private:
  SQLHSTMT stmt_ = SQL_NULL_HSTMT;
};

// The variant kind a column's values take: the contract's integer kinds for
// int, smallint/tinyint and bit, text for everything else.
enum class CellKind { kLong, kInteger, kBoolean, kText };

CellKind KindOf(SQLSMALLINT sql_type) {
  switch (sql_type) {
    case SQL_INTEGER:
      return CellKind::kLong;
    case SQL_SMALLINT:
    case SQL_TINYINT:
      return CellKind::kInteger;
    case SQL_BIT:
      return CellKind::kBoolean;
    default:
      return CellKind::kText;
  }
}

// Reads one cell of the current row.
harness::Variant ReadCell(SQLHSTMT stmt, SQLUSMALLINT column, CellKind kind) {
  SQLLEN indicator = 0;
  SQLRETURN rc;
  switch (kind) {
    case CellKind::kLong: {
      SQLINTEGER value = 0;
      rc = SQLGetData(stmt, column, SQL_C_SLONG, &value, 0, &indicator);
      if (!SQL_SUCCEEDED(rc)) Fail(SQL_HANDLE_STMT, stmt, u"SQLGetData");
      if (indicator == SQL_NULL_DATA) return harness::Variant::Null();
      return harness::Variant::Long(value);
    }
    case CellKind::kInteger: {
      SQLSMALLINT value = 0;
      rc = SQLGetData(stmt, column, SQL_C_SSHORT, &value, 0, &indicator);
      if (!SQL_SUCCEEDED(rc)) Fail(SQL_HANDLE_STMT, stmt, u"SQLGetData");
      if (indicator == SQL_NULL_DATA) return harness::Variant::Null();
      return harness::Variant::Integer(value);
    }
    case CellKind::kBoolean: {
      unsigned char value = 0;
      rc = SQLGetData(stmt, column, SQL_C_BIT, &value, 0, &indicator);
      if (!SQL_SUCCEEDED(rc)) Fail(SQL_HANDLE_STMT, stmt, u"SQLGetData");
      if (indicator == SQL_NULL_DATA) return harness::Variant::Null();
      return harness::Variant::Boolean(value != 0);
    }
    case CellKind::kText:
      break;
  }
  // Long texts arrive in pieces: each call fills the buffer (less its
  // terminator) until the last piece.
  std::u16string text;
  SQLWCHAR buffer[2048];
  constexpr size_t kPieceChars = sizeof(buffer) / sizeof(SQLWCHAR) - 1;
  for (;;) {
    rc = SQLGetData(stmt, column, SQL_C_WCHAR, buffer, sizeof(buffer), &indicator);
    if (rc == SQL_NO_DATA) break;
    if (!SQL_SUCCEEDED(rc)) Fail(SQL_HANDLE_STMT, stmt, u"SQLGetData");
    if (indicator == SQL_NULL_DATA) return harness::Variant::Null();
    size_t chars = (indicator == SQL_NO_TOTAL ||
                    static_cast<size_t>(indicator) / sizeof(SQLWCHAR) > kPieceChars)
                       ? kPieceChars
                       : static_cast<size_t>(indicator) / sizeof(SQLWCHAR);
    text += FromWide(buffer, chars);
    if (rc == SQL_SUCCESS) break;
  }
  return harness::Variant::String(std::move(text));
}

harness::ComPtr<harness::ResultSet> ReadResultSet(SQLHSTMT stmt, SQLSMALLINT column_count) {
  std::vector<std::u16string> names;
  std::vector<CellKind> kinds;
  for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(column_count); ++c) {
    SQLWCHAR name[256];
    SQLSMALLINT name_length = 0, sql_type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    SQLRETURN rc =
        SQLDescribeColW(stmt, c, name, 256, &name_length, &sql_type, &size, &digits, &nullable);
    if (!SQL_SUCCEEDED(rc)) Fail(SQL_HANDLE_STMT, stmt, u"SQLDescribeCol");
    names.push_back(FromWide(name, std::min<size_t>(name_length, 255)));
    kinds.push_back(KindOf(sql_type));
  }
  std::vector<std::vector<harness::Variant>> rows;
  for (;;) {
    SQLRETURN rc = SQLFetch(stmt);
    if (rc == SQL_NO_DATA) break;
    if (!SQL_SUCCEEDED(rc)) Fail(SQL_HANDLE_STMT, stmt, u"SQLFetch");
    std::vector<harness::Variant> row;
    row.reserve(kinds.size());
    for (size_t c = 0; c < kinds.size(); ++c) {
      row.push_back(ReadCell(stmt, static_cast<SQLUSMALLINT>(c + 1), kinds[c]));
    }
    rows.push_back(std::move(row));
  }
  return MakeResultSet({std::move(names), std::move(rows)});
}

// What one batch produced.
struct BatchResult {
  std::u16string messages;                           // informational, one a line
  std::optional<harness::Error> error;               // the first error
  harness::ComPtr<harness::ResultSet> first_result;  // when asked for
};

class OdbcSession final : public harness::ComObject<harness::SqlSession> {
 public:
  OdbcSession() { PinTdsVersion(); }

  ~OdbcSession() {
    if (open_) SQLDisconnect(dbc_);
    if (dbc_ != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
  }

  void SetLoginTimeout(int32_t seconds) override {
    RequireNotOpen(open_);
    if (seconds < 0) {
      throw harness::Error(harness::errors::kInvalidCall,
                           u"the login timeout must be 0 or more seconds");
    }
    login_timeout_ = seconds;
  }

  void Open(const std::u16string& connection_string) override {
    RequireNotOpen(open_);
    if (connection_string.find(u'\0') != std::u16string::npos) {
      throw harness::Error(harness::errors::kInvalidCall,
                           u"the connection string holds a NUL character");
    }
    RequireDriverReadsAsWritten(connection_string);
    AllocateHandles();
    if (login_timeout_) {
      SQLRETURN rc = SQLSetConnectAttrW(
          dbc_, SQL_ATTR_LOGIN_TIMEOUT,
          reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(*login_timeout_)), 0);
      if (!SQL_SUCCEEDED(rc)) Fail(SQL_HANDLE_DBC, dbc_, u"SQLSetConnectAttr");
    }
    std::vector<SQLWCHAR> text = ToWide(connection_string);
    SQLSMALLINT out_length = 0;
    SQLRETURN rc = SQLDriverConnectW(dbc_, nullptr, text.data(), SQL_NTS, nullptr, 0, &out_length,
                                     SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) Fail(SQL_HANDLE_DBC, dbc_, u"SQLDriverConnect");
    open_ = true;
  }

  void Close() override {
    RequireOpen(open_);
    open_ = false;
    SQLRETURN rc = SQLDisconnect(dbc_);
    if (!SQL_SUCCEEDED(rc)) Fail(SQL_HANDLE_DBC, dbc_, u"SQLDisconnect");
  }

  harness::ComPtr<harness::ResultSet> Query(const std::u16string& statement) override {
    RequireOpen(open_);
    harness::ComPtr<harness::ResultSet> result;
    for (const std::u16string& batch : SplitBatches(statement)) {
      BatchResult outcome = RunBatch(batch, /*want_result=*/!result);
      if (outcome.error) throw *outcome.error;
      if (!result) result = outcome.first_result;
    }
    if (!result) result = MakeResultSet({});
    return result;
  }

  std::u16string Execute(int32_t, const std::u16string& text) override {
    RequireOpen(open_);
    std::u16string messages;
    for (const std::u16string& batch : SplitBatches(text)) {
      BatchResult outcome = RunBatch(batch, /*want_result=*/false);
      if (outcome.error) throw *outcome.error;
      if (!outcome.messages.empty()) Append(messages, outcome.messages);
    }
    return messages;
  }

 private:
  void AllocateHandles() {
    SQLHENV env = Environment();
    if (dbc_ == SQL_NULL_HDBC) {
      if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc_))) {
        dbc_ = SQL_NULL_HDBC;
        Fail(SQL_HANDLE_ENV, env, u"SQLAllocHandle");
      }
    }
  }

  // Sends one batch and reads every result and message it produces, so that
  // the connection is ready for the next one whatever happened. The rows of
  // the first result set are kept when `want_result`.
  BatchResult RunBatch(const std::u16string& batch, bool want_result) {
    Statement stmt(dbc_);
    BatchResult outcome;
    std::vector<SQLWCHAR> text = ToWide(batch);
    SQLRETURN rc = SQLExecDirectW(stmt.get(), text.data(), SQL_NTS);
    for (;;) {
      if (rc == SQL_INVALID_HANDLE) harness::RaiseRuntime(harness::errors::kInternal);
      if (rc == SQL_SUCCESS_WITH_INFO || rc == SQL_ERROR) {
        std::vector<Diagnostic> records = Diagnostics(SQL_HANDLE_STMT, stmt.get());
        bool ends = false;
        for (const Diagnostic& d : records) {
          if (d.IsWarning()) Append(outcome.messages, d.text);
          ends = ends || (rc == SQL_ERROR && d.EndsResults());
        }
        if (rc == SQL_ERROR && !outcome.error) outcome.error = ToError(records, u"SQLExecDirect");
        if (ends) break;
      } else if (rc != SQL_SUCCESS && rc != SQL_NO_DATA) {
        if (!outcome.error) outcome.error = ToError({}, u"SQLExecDirect");
        break;
      }
      if (SQL_SUCCEEDED(rc)) {
        SQLSMALLINT columns = 0;
        if (!SQL_SUCCEEDED(SQLNumResultCols(stmt.get(), &columns))) {
          Fail(SQL_HANDLE_STMT, stmt.get(), u"SQLNumResultCols");
        }
        if (columns > 0 && want_result && !outcome.first_result && !outcome.error) {
          outcome.first_result = ReadResultSet(stmt.get(), columns);
        }
      }
      rc = SQLMoreResults(stmt.get());
      if (rc == SQL_NO_DATA) break;
    }
    return outcome;
  }

  SQLHDBC dbc_ = SQL_NULL_HDBC;
  std::optional<int32_t> login_timeout_;
  bool open_ = false;
};

}  // namespace

harness::ComPtr<harness::SqlSession> MakeOdbcSession() {
  return harness::MakeObject<OdbcSession>();
}

}  // namespace host
