// ISNUMERIC and ISDATE: whether a value would convert, without failing;
// CURSOR_STATUS; what clients ask of the server and of identity columns
// (SERVERPROPERTY, SCOPE_IDENTITY, IDENT_CURRENT, IDENT_SEED, IDENT_INCR).

#include <unistd.h>

#include "server/catalog/server_state.h"
#include "server/exec/cursors.h"
#include "server/exec/functions.h"
#include "server/exec/system_procedures.h"
#include "server/exec/temp_tables.h"
#include "server/types/datetime.h"

namespace server {

namespace {

bool IsDigitChar(char c) { return c >= '0' && c <= '9'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// What money reads: a sign and a currency symbol (either first), digits
// with thousands commas, and a point; even "$", "-" and "," alone read as 0.
bool ReadsAsMoney(std::string_view text) {
  size_t i = 0;
  auto sign = [&] {
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  };
  auto currency = [&] {
    static constexpr std::string_view kSymbols[] = {"$", "\xC2\xA3", "\xC2\xA5", "\xE2\x82\xAC"};
    for (std::string_view symbol : kSymbols) {
      if (text.substr(i, symbol.size()) == symbol) {
        i += symbol.size();
        return;
      }
    }
  };
  sign();
  currency();
  sign();
  while (i < text.size() && (IsDigitChar(text[i]) || text[i] == ',')) ++i;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsDigitChar(text[i])) ++i;
  }
  return i == text.size();
}

// What float reads: digits with a point and an exponent (e or d).
bool ReadsAsFloat(std::string_view text) {
  size_t i = 0, digits = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  for (; i < text.size() && IsDigitChar(text[i]); ++i) ++digits;
  if (i < text.size() && text[i] == '.') {
    for (++i; i < text.size() && IsDigitChar(text[i]); ++i) ++digits;
  }
  if (digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    size_t exponent = 0;
    for (; i < text.size() && IsDigitChar(text[i]); ++i) ++exponent;
    if (exponent == 0) return false;
  }
  return i == text.size();
}

Status IsNumeric(const FunctionArgs& args, const EvalScope&, Scalar& out) {
  out = Scalar{DefaultType(BaseType::kInt), int64_t{0}};
  const Scalar& a = args[0];
  if (a.is_null()) return std::nullopt;
  switch (Family(Coherent(a).type)) {
    case TypeFamily::kInteger:
    case TypeFamily::kExact:
    case TypeFamily::kMoney:
    case TypeFamily::kApprox:
      out.value = int64_t{1};
      return std::nullopt;
    case TypeFamily::kCharacter: {
      std::string_view text = TrimBlanks(std::get<std::string>(a.value));
      out.value = int64_t{!text.empty() && (ReadsAsMoney(text) || ReadsAsFloat(text))};
      return std::nullopt;
    }
    case TypeFamily::kText:
    case TypeFamily::kImage:
      return InvalidArgument(a.type, 1, "isnumeric");
    default:
      return std::nullopt;
  }
}

Status IsDate(const FunctionArgs& args, const EvalScope&, Scalar& out) {
  out = Scalar{DefaultType(BaseType::kInt), int64_t{0}};
  const Scalar& a = args[0];
  if (a.is_null()) return std::nullopt;
  TypeFamily family = Family(a.type);
  if (family == TypeFamily::kDateTime) {
    out.value = int64_t{1};
    return std::nullopt;
  }
  if (family == TypeFamily::kText || family == TypeFamily::kImage)
    return InvalidArgument(a.type, 1, "isdate");
  // Other values are read as their text would be.
  std::string text;
  if (Status s = TextArgument(a, 1, "isdate", text)) return s;
  DateTime value;
  out.value = int64_t{ParseDateTime(text, value) == DateParse::kOk &&
                      InDateTimeRange(RoundToTicks(value)) && !TrimBlanks(text).empty()};
  return std::nullopt;
}

// CURSOR_STATUS('local' | 'global' | 'variable', name).
Status CursorStatusFunction(const FunctionArgs& args, const EvalScope& scope, Scalar& out) {
  out = Scalar{DefaultType(BaseType::kSmallInt), std::monostate{}};
  if (AnyNull(args)) return std::nullopt;
  std::string kind, name;
  if (Status s = TextArgument(args[0], 1, "cursor_status", kind)) return s;
  if (Status s = TextArgument(args[1], 2, "cursor_status", name)) return s;
  if (!EqualNoCase(kind, "variable") && !EqualNoCase(kind, "local") &&
      !EqualNoCase(kind, "global")) {
    return Raise(Msg::kInvalidParameter, {"1", "cursor_status"});
  }
  out.value = int64_t{CursorStatus(kind, name, scope.exec)};
  return std::nullopt;
}

// Identity values are numeric(38,0), as SQL Server gives them.
Scalar IdentityScalar(std::optional<int64_t> value) {
  Scalar out{DataType{BaseType::kNumeric, 0, 38, 0}, std::monostate{}};
  if (value) out.value = std::to_string(*value);
  return out;
}

// @@ROWCOUNT as bigint.
Status RowCountBig(const FunctionArgs&, const EvalScope& scope, Scalar& out) {
  out = Scalar{DefaultType(BaseType::kBigInt), scope.exec.session.rowcount};
  return std::nullopt;
}

Status ScopeIdentity(const FunctionArgs&, const EvalScope& scope, Scalar& out) {
  out = IdentityScalar(scope.exec.scope_identity);
  return std::nullopt;
}

const Column* IdentityColumn(const Table& table) {
  for (const Column& column : table.columns) {
    if (column.identity) return &column;
  }
  return nullptr;
}

// The identity column's table named by the argument; null when there is
// no such table or it has no identity column (the functions then give NULL).
Status IdentityTable(const FunctionArgs& args, const EvalScope& scope, const char* function,
                     const Table*& out) {
  out = nullptr;
  if (args[0].is_null()) return std::nullopt;
  std::string text;
  if (Status s = TextArgument(args[0], 1, function, text)) return s;
  ObjectName name = ResolveTempName(ParseObjectText(text), scope.exec);
  Database* db = name.database.empty() ? scope.exec.CurrentDatabase()
                                       : scope.exec.server.FindDatabase(name.database);
  if (!db) return std::nullopt;
  std::optional<ObjectRef> ref = db->FindObject(name.owner, name.name, scope.exec.collation());
  if (ref && ref->kind == ObjectKind::kTable && ref->table && IdentityColumn(*ref->table))
    out = ref->table;
  return std::nullopt;
}

Status IdentCurrent(const FunctionArgs& args, const EvalScope& scope, Scalar& out) {
  const Table* table = nullptr;
  if (Status s = IdentityTable(args, scope, "ident_current", table)) return s;
  out = IdentityScalar(std::nullopt);
  // Before any row it is the seed, as SQL Server 2000 gives it.
  if (table)
    out = IdentityScalar(table->identity_used ? table->identity_current
                                              : IdentityColumn(*table)->identity_seed);
  return std::nullopt;
}

Status IdentSeed(const FunctionArgs& args, const EvalScope& scope, Scalar& out) {
  const Table* table = nullptr;
  if (Status s = IdentityTable(args, scope, "ident_seed", table)) return s;
  out = IdentityScalar(std::nullopt);
  if (table) out = IdentityScalar(IdentityColumn(*table)->identity_seed);
  return std::nullopt;
}

Status IdentIncr(const FunctionArgs& args, const EvalScope& scope, Scalar& out) {
  const Table* table = nullptr;
  if (Status s = IdentityTable(args, scope, "ident_incr", table)) return s;
  out = IdentityScalar(std::nullopt);
  if (table) out = IdentityScalar(IdentityColumn(*table)->identity_increment);
  return std::nullopt;
}

// SERVERPROPERTY(name): the properties SQL Server 2000 documents, as
// sql_variant; NULL for any other name.
Status ServerProperty(const FunctionArgs& args, const EvalScope& scope, Scalar& out) {
  const DataType variant{BaseType::kSqlVariant, 0, 0, 0};
  out = Scalar{variant, std::monostate{}};
  if (args[0].is_null()) return std::nullopt;
  std::string name;
  if (Status s = TextArgument(args[0], 1, "serverproperty", name)) return s;
  const ServerOptions& options = scope.exec.server.options;
  // The machine is the part of the server name before an instance's name.
  std::string machine = options.name.substr(0, options.name.find('\\'));
  const std::pair<const char*, Value> kProperties[] = {
      {"Collation", std::string(options.case_sensitive ? "SQL_Latin1_General_CP1_CS_AS"
                                                       : "SQL_Latin1_General_CP1_CI_AS")},
      {"Edition", std::string("Standard Edition")},
      {"EngineEdition", int64_t{2}},
      {"InstanceName", std::monostate{}},
      {"IsClustered", int64_t{0}},
      {"IsFullTextInstalled", int64_t{options.full_text_installed ? 1 : 0}},
      {"IsIntegratedSecurityOnly", int64_t{0}},
      {"IsSingleUser", int64_t{0}},
      {"IsSyncWithBackup", int64_t{0}},
      {"LicenseType", std::string("DISABLED")},
      {"MachineName", machine},
      {"NumLicenses", std::monostate{}},
      {"ProcessID", int64_t{::getpid()}},
      {"ProductVersion", std::string("8.00.2039")},
      {"ProductLevel", std::string("SP4")},
      {"ServerName", options.name},
  };
  for (const auto& [property, value] : kProperties) {
    if (EqualNoCase(name, property)) out.value = value;
  }
  return std::nullopt;
}

constexpr FunctionRow kSystemFunctions[] = {
    {"CURSOR_STATUS", 2, 2, CursorStatusFunction},
    {"IDENT_CURRENT", 1, 1, IdentCurrent},
    {"IDENT_INCR", 1, 1, IdentIncr},
    {"IDENT_SEED", 1, 1, IdentSeed},
    {"SCOPE_IDENTITY", 0, 0, ScopeIdentity},
    {"ROWCOUNT_BIG", 0, 0, RowCountBig},
    {"SERVERPROPERTY", 1, 1, ServerProperty},
    {"ISNUMERIC", 1, 1, IsNumeric},
    {"ISDATE", 1, 1, IsDate},
};

}  // namespace

std::span<const FunctionRow> SystemFunctions() { return kSystemFunctions; }

}  // namespace server
