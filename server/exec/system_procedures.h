#ifndef TAVORA_SERVER_EXEC_SYSTEM_PROCEDURES_H_
#define TAVORA_SERVER_EXEC_SYSTEM_PROCEDURES_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/catalog/publication.h"
#include "server/exec/context.h"
#include "server/sql/ast.h"

namespace server {

enum class ParamType { kText, kInt, kBit, kVariant };

// One parameter of a system procedure, as SQL Server 2000 declares it.
struct ParamSpec {
  std::string_view name;  // with @
  ParamType type;
  bool required;
  const char* fallback;  // the declared default of an optional int or bit, else null
};

struct SystemProcedure;

// The arguments of one call, bound to the procedure's parameters.
class ProcArgs {
 public:
  ProcArgs(const SystemProcedure& procedure, std::vector<std::optional<Scalar>> values)
      : procedure_(procedure), values_(std::move(values)) {}

  std::string_view procedure() const;
  // Whether the argument was given and is not NULL.
  bool Given(std::string_view name) const;
  // A text argument; "" when absent or NULL.
  std::string Text(std::string_view name) const;
  // An int or bit argument, or the parameter's declared default.
  int64_t Int(std::string_view name) const;
  // The argument as given (variant parameters); null when absent.
  const Scalar* Get(std::string_view name) const;
  // Every argument given, to keep with the object the procedure makes.
  std::vector<Setting> Settings() const;

 private:
  int Index(std::string_view name) const;

  const SystemProcedure& procedure_;
  std::vector<std::optional<Scalar>> values_;
};

using ProcHandler = Status (*)(const ProcArgs& args, ExecContext& ctx);

struct SystemProcedure {
  std::string_view name;
  std::vector<ParamSpec> params;
  ProcHandler handler;
  // Reads the catalog only: it runs without taking the catalog for
  // changing, beside other readers, and under FMTONLY sends its columns.
  bool reads_only = false;
};

// The ODBC catalog procedures (sp_tables, sp_columns, ...), a family of
// their own.
const std::vector<SystemProcedure>& OdbcCatalogProcedures();

// The system procedure of that name (ASCII case-insensitive), if any.
const SystemProcedure* FindSystemProcedure(std::string_view name);

// An object name given as text ("dbo.tblParent", "[dbo].[tblParent]").
ObjectName ParseObjectText(std::string_view text);

// Whether `text` is "true" or "false" in any case; sets `value`.
bool ParseTrueFalse(const std::string& text, bool& value);

// Handlers, one file per procedure family.
Status SpAddType(const ProcArgs& args, ExecContext& ctx);
Status SpBindDefault(const ProcArgs& args, ExecContext& ctx);
Status SpBindRule(const ProcArgs& args, ExecContext& ctx);
Status SpUnbindDefault(const ProcArgs& args, ExecContext& ctx);
Status SpUnbindRule(const ProcArgs& args, ExecContext& ctx);

// What a default or rule is bound to, as error 3716 names it ("column",
// "user data type"), or null when it is bound to nothing (sp_bind.cc).
const char* BoundTo(const Database& db, const Bindable& bindable, const Collation& collation);
Status SpFullTextDatabase(const ProcArgs& args, ExecContext& ctx);
Status SpFullTextCatalog(const ProcArgs& args, ExecContext& ctx);
Status SpFullTextTable(const ProcArgs& args, ExecContext& ctx);
Status SpHelpFullTextTables(const ProcArgs& args, ExecContext& ctx);
Status SpHelpFullTextColumns(const ProcArgs& args, ExecContext& ctx);
Status SpFullTextColumn(const ProcArgs& args, ExecContext& ctx);
Status SpAddExtendedProperty(const ProcArgs& args, ExecContext& ctx);
Status SpUpdateExtendedProperty(const ProcArgs& args, ExecContext& ctx);
Status SpDropExtendedProperty(const ProcArgs& args, ExecContext& ctx);
Status SpDropDistributor(const ProcArgs& args, ExecContext& ctx);
Status SpAddDistributor(const ProcArgs& args, ExecContext& ctx);
Status SpAddDistributionDb(const ProcArgs& args, ExecContext& ctx);
Status SpAddDistPublisher(const ProcArgs& args, ExecContext& ctx);
Status SpReplicationDbOption(const ProcArgs& args, ExecContext& ctx);
Status SpAddPublication(const ProcArgs& args, ExecContext& ctx);
Status SpAddArticle(const ProcArgs& args, ExecContext& ctx);
Status SpDropPublication(const ProcArgs& args, ExecContext& ctx);
Status SpAddMergePublication(const ProcArgs& args, ExecContext& ctx);
Status SpAddMergeArticle(const ProcArgs& args, ExecContext& ctx);
Status SpDropMergePublication(const ProcArgs& args, ExecContext& ctx);
Status SpHelpPublication(const ProcArgs& args, ExecContext& ctx);
Status SpHelpArticle(const ProcArgs& args, ExecContext& ctx);
Status SpHelpMergePublication(const ProcArgs& args, ExecContext& ctx);
Status SpHelpMergeArticle(const ProcArgs& args, ExecContext& ctx);
Status SpChangePublication(const ProcArgs& args, ExecContext& ctx);
Status SpChangeArticle(const ProcArgs& args, ExecContext& ctx);
Status SpChangeMergePublication(const ProcArgs& args, ExecContext& ctx);
Status SpChangeMergeArticle(const ProcArgs& args, ExecContext& ctx);

}  // namespace server

#endif  // TAVORA_SERVER_EXEC_SYSTEM_PROCEDURES_H_
