#include "server/exec/odbc_catalog.h"

#include "server/exec/like.h"
#include "server/types/collation.h"

namespace server::odbc {

void SendResult(ResultColumns columns, std::vector<Row> rows, ExecContext& ctx) {
  ResultSet result;
  for (const SystemColumn& column : columns) {
    result.columns.push_back(column.name);
    result.types.push_back(TypeName(column.type));
  }
  // Under FMTONLY a client asks for the shape alone.
  if (ctx.session.options.fmtonly) rows.clear();
  if (rows.size() > ctx.RowLimit()) rows.resize(ctx.RowLimit());
  result.rows = std::move(rows);
  int64_t count = static_cast<int64_t>(result.rows.size());
  result.statement = ctx.outcome.row_counts.size();
  ctx.outcome.results.push_back(std::move(result));
  ctx.CountRows(count);
}

Status CatalogDatabase(const ProcArgs& args, std::string_view qualifier_param, ExecContext& ctx,
                       Database*& db) {
  db = ctx.CurrentDatabase();
  if (!db) return Raise(Msg::kDatabaseNotFoundOnUse, {ctx.session.database});
  if (!qualifier_param.empty() && args.Given(qualifier_param) &&
      !ctx.collation().Equal(args.Text(qualifier_param), db->name))
    return Raise(Msg::kQualifierNotCurrentDatabase);
  return std::nullopt;
}

NamePattern::NamePattern(const ProcArgs& args, std::string_view param) {
  if (args.Given(param)) *this = NamePattern(args.Text(param));
}

NamePattern::NamePattern(std::string_view pattern) : any_(false), plain_(true) {
  // "\_" is an underscore itself; LIKE has no escape here, so it becomes
  // a set of that one character.
  for (size_t i = 0; i < pattern.size(); ++i) {
    char c = pattern[i];
    if (c == '\\' && i + 1 < pattern.size()) {
      char next = pattern[++i];
      if (next == '%' || next == '_' || next == '[') {
        pattern_ += '[';
        pattern_ += next;
        pattern_ += ']';
      } else {
        pattern_ += next;
      }
      continue;
    }
    if (c == '%' || c == '_' || c == '[') plain_ = false;
    pattern_ += c;
  }
  if (pattern_ == "%") any_ = true;
  if (plain_) {
    // Without wildcards the escapes only stood for themselves.
    std::string name;
    for (size_t i = 0; i < pattern_.size(); ++i) {
      if (pattern_[i] == '[' && i + 2 < pattern_.size() && pattern_[i + 2] == ']') {
        name += pattern_[i + 1];
        i += 2;
      } else {
        name += pattern_[i];
      }
    }
    pattern_ = std::move(name);
  }
}

bool NamePattern::Matches(std::string_view name, const Collation& collation) const {
  if (any_) return true;
  if (plain_) return collation.Equal(name, pattern_);
  return LikeMatch(name, pattern_, collation);
}

const ObjectRef* FindNamedTable(const std::vector<ObjectRef>& objects, const ProcArgs& args,
                                const Collation& collation, bool views) {
  std::string name = args.Text("@table_name");
  std::string owner = args.Text("@table_owner");
  const ObjectRef* found = nullptr;
  for (const ObjectRef& object : objects) {
    bool kind = object.kind == ObjectKind::kTable || (views && object.kind == ObjectKind::kView);
    if (!kind || !collation.Equal(object.name, name)) continue;
    if (!owner.empty()) {
      if (collation.Equal(object.owner, owner)) return &object;
      continue;
    }
    // Without an owner the name resolves as in a query: dbo's first.
    if (!found || EqualNoCase(object.owner, "dbo")) found = &object;
  }
  return found;
}

}  // namespace server::odbc
