#include "driver/sql_text.h"

namespace driver {

namespace {

std::u16string Doubled(std::u16string_view text, char16_t mark) {
  std::u16string out;
  out.reserve(text.size() + 2);
  for (char16_t c : text) {
    out += c;
    if (c == mark) out += c;
  }
  return out;
}

std::u16string Digits(int64_t n) {
  std::string ascii = std::to_string(n);
  return std::u16string(ascii.begin(), ascii.end());
}

}  // namespace

std::u16string Literal(std::u16string_view text) { return u"N'" + Doubled(text, u'\'') + u"'"; }

std::u16string Bracket(std::u16string_view name) { return u"[" + Doubled(name, u']') + u"]"; }

std::u16string Qualified(std::u16string_view owner, std::u16string_view name) {
  if (owner.empty()) return Bracket(name);
  return Bracket(owner) + u"." + Bracket(name);
}

std::u16string ValueLiteral(const harness::Variant& value) {
  switch (value.kind()) {
    case harness::Variant::Kind::kNull:
      return u"NULL";
    case harness::Variant::Kind::kString:
      return Literal(value.AsString());
    case harness::Variant::Kind::kLong:
      return Digits(value.AsLong());
    case harness::Variant::Kind::kInteger:
      return u"CAST(" + Digits(value.AsInteger()) + u" AS smallint)";
    case harness::Variant::Kind::kBoolean:
      return value.AsBoolean() ? u"CAST(1 AS bit)" : u"CAST(0 AS bit)";
  }
  return u"NULL";
}

}  // namespace driver
