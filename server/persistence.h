#ifndef TAVORA_SERVER_PERSISTENCE_H_
#define TAVORA_SERVER_PERSISTENCE_H_

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "server/catalog/server_state.h"

namespace server {

inline constexpr char kStateFormat[] = "tavora-server-state";
inline constexpr int kStateVersion = 1;

// Words that name enumerations in the saved text, shared by the writer and
// the reader so that the two always agree.
template <class E>
struct EnumName {
  E value;
  const char* name;
};
inline constexpr EnumName<IndexKind> kIndexKinds[] = {{IndexKind::kIndex, "index"},
                                                      {IndexKind::kPrimaryKey, "primary key"},
                                                      {IndexKind::kUnique, "unique"}};
inline constexpr EnumName<ModuleType> kModuleTypes[] = {
    {ModuleType::kView, "view"},
    {ModuleType::kProcedure, "procedure"},
    {ModuleType::kScalarFunction, "scalar function"},
    {ModuleType::kInlineFunction, "inline function"},
    {ModuleType::kTableFunction, "table function"}};
inline constexpr EnumName<PublicationKind> kPublicationKinds[] = {
    {PublicationKind::kTransactional, "transactional"},
    {PublicationKind::kSnapshot, "snapshot"},
    {PublicationKind::kMerge, "merge"}};

// A table's rows, for the writer; the reader hands them to a RowSink.
using RowsOf = std::function<std::vector<Row>(const Table&)>;
using RowSink = std::function<void(Table&, std::vector<Row>)>;

// The whole server as one JSON text, rows included: {"format":
// "tavora-server-state","version":1,"server":{...},"databases":[...]}.
// Options are not part of it. Older servers kept their state in such a file.
std::string SaveState(const ServerState& state, const RowsOf& rows);

// The server read back from SaveState's text under `options`; each table's
// rows go to `rows`. Any text that is not such a state (not JSON, a missing
// or mistyped field, an unknown type name, a row of the wrong width, a
// missing system database, two databases of one name) gives a message that
// says what is wrong.
std::variant<std::unique_ptr<ServerState>, std::string> LoadState(std::string_view text,
                                                                  ServerOptions options,
                                                                  const RowSink& rows);

// The catalog as the store keeps it: one text under kServerKey for the
// server's own fields and one per database under DatabaseKey(dbid), rows
// left out.
inline constexpr char kServerKey[] = "server";
inline std::string DatabaseKey(int dbid) { return "database " + std::to_string(dbid); }
std::map<std::string, std::string> CatalogTexts(const ServerState& state);

// The server read back from CatalogTexts' texts; the same checks as
// LoadState.
std::variant<std::unique_ptr<ServerState>, std::string> LoadCatalog(
    const std::map<std::string, std::string>& texts, ServerOptions options);

}  // namespace server

#endif  // TAVORA_SERVER_PERSISTENCE_H_
