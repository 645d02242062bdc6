// Keys that make equal values equal text, for hashing and grouping.

#include "server/exec/query.h"
#include "server/types/decimal.h"

namespace server {

namespace {

bool IsExactNumber(TypeFamily family) {
  return family == TypeFamily::kInteger || family == TypeFamily::kExact ||
         family == TypeFamily::kMoney;
}

std::string NumberKey(const Scalar& value) {
  if (const auto* i = std::get_if<int64_t>(&value.value)) return "n" + std::to_string(*i);
  std::optional<DecimalParts> parts = ParseDecimal(std::get<std::string>(value.value));
  if (!parts) return "n" + std::get<std::string>(value.value);
  std::string fraction = parts->fraction;
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  std::string whole = parts->whole.empty() ? "0" : parts->whole;
  bool zero = parts->whole.empty() && fraction.empty();
  std::string key = "n";
  if (parts->negative && !zero) key += '-';
  key += whole;
  if (!fraction.empty()) key += "." + fraction;
  return key;
}

}  // namespace

std::string GroupKey(const Scalar& raw, const Collation& collation) {
  if (raw.is_null()) return std::string(1, '\0');
  Scalar value = Coherent(raw);
  if (value.type.base == BaseType::kSqlVariant) value.type = NaturalType(value.value);
  TypeFamily family = Family(value.type);
  if (IsExactNumber(family)) return NumberKey(value);
  switch (family) {
    case TypeFamily::kApprox: {
      double d = std::get<double>(value.value);
      if (d == 0) d = 0;  // -0 is 0
      return "f" + std::to_string(d);
    }
    case TypeFamily::kCharacter:
    case TypeFamily::kText: {
      std::string text = std::get<std::string>(value.value);
      while (!text.empty() && text.back() == ' ') text.pop_back();
      return "c" + (collation.case_sensitive() ? text : UpperText(text));
    }
    case TypeFamily::kBinary:
    case TypeFamily::kImage: {
      const auto& bytes = std::get<std::vector<uint8_t>>(value.value);
      size_t size = bytes.size();
      while (size > 0 && bytes[size - 1] == 0) --size;
      return "b" + std::string(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(size));
    }
    case TypeFamily::kGuid:
      return "g" + UpperText(std::get<std::string>(value.value));
    default:
      break;
  }
  if (const auto* text = std::get_if<std::string>(&value.value)) return "d" + *text;
  if (const auto* i = std::get_if<int64_t>(&value.value)) return "n" + std::to_string(*i);
  return "?";
}

bool KeysComparable(const DataType& a, const DataType& b) {
  TypeFamily fa = Family(a), fb = Family(b);
  if (IsExactNumber(fa) && IsExactNumber(fb)) return true;
  if (fa != fb) return false;
  return fa == TypeFamily::kCharacter || fa == TypeFamily::kGuid ||
         (fa == TypeFamily::kDateTime && a.base == b.base) || fa == TypeFamily::kBinary;
}

void SplitConjuncts(const Expr* where, std::vector<const Expr*>& out) {
  if (!where) return;
  if (where->kind == ExprKind::kAnd) {
    SplitConjuncts(where->args[0].get(), out);
    SplitConjuncts(where->args[1].get(), out);
    return;
  }
  out.push_back(where);
}

bool HasSubquery(const Expr& expr) {
  if (expr.subquery) return true;
  for (const auto& arg : expr.args) {
    if (HasSubquery(*arg)) return true;
  }
  return false;
}

const Expr* OuterJoinOperatorIn(const Expr& expr) {
  if (expr.kind == ExprKind::kCompare && (expr.name == "*=" || expr.name == "=*")) return &expr;
  for (const auto& arg : expr.args) {
    if (const Expr* found = OuterJoinOperatorIn(*arg)) return found;
  }
  return nullptr;
}

bool NamesAnyColumn(const Expr& expr) {
  if (expr.kind == ExprKind::kColumn) return true;
  for (const auto& arg : expr.args) {
    if (NamesAnyColumn(*arg)) return true;
  }
  return false;
}

int LookupColumn(const Expr& column, const RowSchema& schema, const Collation& collation) {
  int found = -1;
  for (size_t i = 0; i < schema.names.size(); ++i) {
    if (!collation.Equal(schema.names[i], column.name)) continue;
    if (!column.qualifier.empty()) {
      bool prefix = schema.sources.empty() ? collation.Equal(column.qualifier, schema.table_name) ||
                                                 collation.Equal(column.qualifier, schema.alias)
                                           : collation.Equal(column.qualifier, schema.sources[i]);
      if (!prefix) continue;
    }
    if (found >= 0) return -1;
    found = static_cast<int>(i);
  }
  return found;
}

namespace {

void NameColumns(const SelectStmt& select, bool nested, const Collation& collation,
                 NamedColumns& out);

void NameColumns(const Expr& expr, const Collation& collation, NamedColumns& out) {
  if (expr.kind == ExprKind::kColumn && expr.qualifier.empty()) {
    out.unqualified.insert(collation.Key(expr.name));
  } else if (expr.kind == ExprKind::kColumn) {
    out.qualified.insert(collation.Key(expr.qualifier) + "." + collation.Key(expr.name));
  }
  // COUNT(*) counts rows; any other function of * (CHECKSUM) reads them.
  if (expr.star && !EqualNoCase(expr.name, "COUNT") && !EqualNoCase(expr.name, "COUNT_BIG"))
    out.all = true;
  for (const auto& arg : expr.args) NameColumns(*arg, collation, out);
  if (expr.subquery) NameColumns(*expr.subquery, true, collation, out);
}

void NameColumns(const FromItem& item, const Collation& collation, NamedColumns& out) {
  if (item.left) NameColumns(*item.left, collation, out);
  if (item.right) NameColumns(*item.right, collation, out);
  if (item.on) NameColumns(*item.on, collation, out);
  for (const auto& arg : item.function_args) NameColumns(*arg, collation, out);
  if (item.derived) NameColumns(*item.derived, true, collation, out);
}

// A nested query's * is its own tables' whole rows, which it reads itself;
// only the names it uses can be the enclosing query's columns.
void NameColumns(const SelectStmt& select, bool nested, const Collation& collation,
                 NamedColumns& out) {
  for (const SelectItem& item : select.items) {
    if (item.expr) {
      NameColumns(*item.expr, collation, out);
    } else if (!nested) {
      out.all = true;
    }
  }
  for (const FromItem& item : select.from) NameColumns(item, collation, out);
  if (select.where) NameColumns(*select.where, collation, out);
  for (const auto& key : select.group_by) NameColumns(*key, collation, out);
  if (select.having) NameColumns(*select.having, collation, out);
  for (const OrderItem& item : select.order_by) NameColumns(*item.expr, collation, out);
  for (const UnionPart& part : select.unions) NameColumns(*part.query, true, collation, out);
}

}  // namespace

bool NamedColumns::Names(const std::string& exposed, const std::string& column,
                         const Collation& collation) const {
  std::string key = collation.Key(column);
  return all || unqualified.contains(key) || qualified.contains(collation.Key(exposed) + "." + key);
}

NamedColumns ColumnsNamedBy(const SelectStmt& select, const Collation& collation) {
  NamedColumns named;
  NameColumns(select, false, collation, named);
  return named;
}

NamedColumns ColumnsReadAfterFrom(const SelectStmt& select, const Collation& collation) {
  NamedColumns named;
  for (const SelectItem& item : select.items) {
    if (item.expr) {
      NameColumns(*item.expr, collation, named);
    } else {
      named.all = true;
    }
  }
  for (const auto& key : select.group_by) NameColumns(*key, collation, named);
  if (select.having) NameColumns(*select.having, collation, named);
  for (const OrderItem& item : select.order_by) NameColumns(*item.expr, collation, named);
  // A UNION's other queries read their own FROM clauses.
  return named;
}

}  // namespace server
