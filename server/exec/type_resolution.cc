#include "server/exec/type_resolution.h"

#include "server/types/collation.h"

namespace server {

namespace {

// Other names SQL Server accepts for system types.
struct Synonym {
  const char* name;
  BaseType base;
};
constexpr Synonym kSynonyms[] = {
    {"integer", BaseType::kInt},      {"dec", BaseType::kDecimal},
    {"character", BaseType::kChar},   {"rowversion", BaseType::kTimestamp},
    {"sysname", BaseType::kNVarChar},
};

// Error 1001 is a parse error: it carries the line of the type itself.
SqlError WithLine(SqlError error, int line) {
  error.line = line;
  return error;
}

}  // namespace

Status ResolveType(const DeclaredType& declared, Database* db, const Collation& collation,
                   const TypeUse& use, ResolvedType& out) {
  const std::string& name = declared.name.name;
  const std::vector<int>& args = declared.args;
  std::string ordinal = std::to_string(use.ordinal);
  out = ResolvedType{};
  std::optional<BaseType> base;
  if (declared.name.parts == 1) {
    base = FindBaseType(name);
    for (const Synonym& synonym : kSynonyms) {
      if (!base && EqualNoCase(name, synonym.name)) {
        base = synonym.base;
        if (EqualNoCase(name, "sysname")) {
          if (!args.empty()) return Raise(Msg::kNoWidth, {ordinal, name});
          out.type = DataType{BaseType::kNVarChar, 128, 0, 0};
          out.nullable = false;
          return std::nullopt;
        }
      }
    }
  }
  if (!base) {
    UserType* user = db ? db->FindType(name, collation) : nullptr;
    if (user &&
        (declared.name.owner.empty() || collation.Equal(declared.name.owner, user->owner))) {
      if (!args.empty()) return Raise(Msg::kNoWidth, {ordinal, name});
      out.type = user->base;
      out.nullable = user->nullable;
      out.user_type = user->name;
      return std::nullopt;
    }
    if (use.for_cast) return Raise(Msg::kNotSystemType, {declared.name.Text()});
    return Raise(Msg::kTypeNotFound, {ordinal, declared.name.Text()});
  }
  DataType type = DefaultType(*base);
  const TypeInfo& info = Info(*base);
  std::string line = std::to_string(declared.line);
  if (info.sized) {
    if (args.size() > 1)
      return WithLine(Raise(Msg::kInvalidLength, {line, std::to_string(args[1])}), declared.line);
    if (args.empty()) {
      type.length = use.for_cast ? 30 : 1;
    } else {
      if (args[0] < 1)
        return WithLine(Raise(Msg::kInvalidLength, {line, std::to_string(args[0])}), declared.line);
      if (args[0] > MaxLength(*base)) {
        return WithLine(Raise(Msg::kColumnSizeTooLarge, {std::to_string(args[0]), use.column,
                                                         std::to_string(MaxLength(*base))}),
                        declared.line);
      }
      type.length = args[0];
    }
  } else if (info.family == TypeFamily::kExact) {
    if (!args.empty()) {
      if (args[0] < 1)
        return WithLine(Raise(Msg::kInvalidLength, {line, std::to_string(args[0])}), declared.line);
      if (args[0] > 38) {
        return Raise(Msg::kPrecisionTooLarge, {ordinal, std::to_string(args[0]), "38"});
      }
      type.precision = args[0];
      type.scale = args.size() > 1 ? args[1] : 0;
      if (type.scale > type.precision) {
        return Raise(Msg::kScaleTooLarge,
                     {ordinal, std::to_string(type.scale), std::to_string(type.precision)});
      }
    }
  } else if (*base == BaseType::kFloat && !args.empty()) {
    if (args.size() > 1 || args[0] < 1) {
      return WithLine(Raise(Msg::kInvalidLength, {line, std::to_string(args.back())}),
                      declared.line);
    }
    if (args[0] > 53)
      return Raise(Msg::kPrecisionTooLarge, {ordinal, std::to_string(args[0]), "53"});
    // float(1) to float(24) is real.
    if (args[0] <= 24) type = DefaultType(BaseType::kReal);
  } else if (!args.empty()) {
    return Raise(Msg::kNoWidth, {ordinal, info.name});
  }
  out.type = type;
  return std::nullopt;
}

}  // namespace server
