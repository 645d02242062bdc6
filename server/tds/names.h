#ifndef TAVORA_SERVER_TDS_NAMES_H_
#define TAVORA_SERVER_TDS_NAMES_H_

#include <optional>
#include <string>
#include <string_view>

namespace server::tds {

// Names a client sends (a procedure to call, a database to start in) become
// T-SQL text only through these, so that no name can close its quotes and
// go on as statements.

// `name` as one delimited identifier: in brackets, each `]` doubled, as
// QUOTENAME does.
std::string QuoteName(std::string_view name);

// The procedure name of an RPC request, as the T-SQL text that names it: a
// one- to three-part name (proc, owner.proc, db.owner.proc, db..proc), each
// part bare, [bracketed] or "quoted" with the closing character doubled
// inside, rebuilt with every part through QuoteName. Empty when the text is not such a name (a part
// longer than 128 characters, stray characters, four parts or more), which the server answers with
// 2812 "Could not find stored procedure".
std::optional<std::string> QuoteProcedureName(std::string_view name);

}  // namespace server::tds

#endif  // TAVORA_SERVER_TDS_NAMES_H_
