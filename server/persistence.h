#ifndef TAVORA_SERVER_PERSISTENCE_H_
#define TAVORA_SERVER_PERSISTENCE_H_

#include <memory>
#include <string>
#include <string_view>
#include <variant>

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

// The catalog as JSON text: {"format":"tavora-server-state","version":1,
// "server":{...},"databases":[...]}. Options are not part of it.
std::string SaveState(const ServerState& state);

// The catalog read back from SaveState's text under `options`. Any text
// that is not such a state (not JSON, a missing or mistyped field, an
// unknown type name, a row of the wrong width, a missing system database,
// two databases of one name) gives a message that says what is wrong.
std::variant<std::unique_ptr<ServerState>, std::string> LoadState(std::string_view text,
                                                                  ServerOptions options);

}  // namespace server

#endif  // TAVORA_SERVER_PERSISTENCE_H_
