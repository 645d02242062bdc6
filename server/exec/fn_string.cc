// The string functions. Text is UTF-8 here; positions and lengths count
// characters, and searches compare characters under the server collation.

#include <algorithm>
#include <cstdio>

#include "base/utf.h"
#include "server/exec/functions.h"
#include "server/exec/like.h"
#include "server/types/decimal.h"

namespace server {

namespace {

// Code page 1252's characters 0x80 to 0x9F (those it leaves undefined keep
// their own code), so ASCII, CHAR and varchar data agree with the code page.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t FromCodePage(int64_t code) {
  if (code >= 0x80 && code <= 0x9F) return kCp1252High[code - 0x80];
  return static_cast<char32_t>(code);
}

// The code page's byte for a character; '?' for one it does not have.
int64_t ToCodePage(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return c;
  for (int i = 0; i < 32; ++i) {
    if (kCp1252High[i] == c) return 0x80 + i;
  }
  return '?';
}

std::string Utf8(const std::vector<char32_t>& chars, size_t from = 0, size_t to = SIZE_MAX) {
  std::string out;
  for (size_t i = from; i < chars.size() && i < to; ++i) base::AppendUtf8(out, chars[i]);
  return out;
}

bool IsUnicode(const Scalar& s) { return Info(s.type.base).unicode; }

// A character result whose length can change: varchar (nvarchar for Unicode
// arguments) as long as the argument, or the longest of its kind.
DataType VariableResult(const Scalar& arg) {
  bool unicode = IsUnicode(arg);
  DataType type{unicode ? BaseType::kNVarChar : BaseType::kVarChar, 0, 0, 0};
  type.length = Family(arg.type) == TypeFamily::kCharacter ? arg.type.length : MaxLength(type.base);
  return type;
}

DataType LongestResult(bool unicode) {
  BaseType base = unicode ? BaseType::kNVarChar : BaseType::kVarChar;
  return DataType{base, MaxLength(base), 0, 0};
}

// Where `needle` first occurs in `haystack` at or after `from`, under the
// collation; -1 when it does not.
int64_t Find(const std::vector<char32_t>& haystack, const std::vector<char32_t>& needle,
             size_t from, const Collation& collation) {
  if (needle.empty()) return -1;
  for (size_t i = from; i + needle.size() <= haystack.size(); ++i) {
    bool same = true;
    for (size_t k = 0; k < needle.size() && same; ++k)
      same = collation.CompareCharacters(haystack[i + k], needle[k]) == 0;
    if (same) return static_cast<int64_t>(i);
  }
  return -1;
}

Status Ascii(const FunctionArgs& args, const EvalScope&, Scalar& out) {
  out = Scalar{DefaultType(BaseType::kInt), std::monostate{}};
  std::string text;
  if (args[0].is_null()) return std::nullopt;
  if (Status s = TextArgument(args[0], 1, "ascii", text)) return s;
  if (text.empty()) return std::nullopt;
  size_t at = 0;
  out.value = ToCodePage(NextCharacter(text, at));
  return std::nullopt;
}

Status Unicode(const FunctionArgs& args, const EvalScope&, Scalar& out) {
  out = Scalar{DefaultType(BaseType::kInt), std::monostate{}};
  std::string text;
  if (args[0].is_null()) return std::nullopt;
  if (Status s = TextArgument(args[0], 1, "unicode", text)) return s;
  if (text.empty()) return std::nullopt;
  size_t at = 0;
  char32_t c = NextCharacter(text, at);
  // Beyond the first plane the first UTF-16 unit, a high surrogate.
  out.value = static_cast<int64_t>(c > 0xFFFF ? 0xD800 + ((c - 0x10000) >> 10) : c);
  return std::nullopt;
}

template <bool kUnicode>
Status CharFromCode(const FunctionArgs& args, const EvalScope&, Scalar& out) {
  out = Scalar{DataType{kUnicode ? BaseType::kNChar : BaseType::kChar, 1, 0, 0}, std::monostate{}};
  int64_t code = 0;
  if (args[0].is_null()) return std::nullopt;
  if (Status s = IntegerArgument(args[0], 1, kUnicode ? "nchar" : "char", code)) return s;
  // Codes the type cannot hold (and lone surrogates) give NULL.
  if (code < 0 || code > (kUnicode ? 0xFFFF : 0xFF)) return std::nullopt;
  if (kUnicode && code >= 0xD800 && code <= 0xDFFF) return std::nullopt;
  std::string text;
  base::AppendUtf8(text, kUnicode ? static_cast<char32_t>(code) : FromCodePage(code));
  out.value = std::move(text);
  return std::nullopt;
}

Status CharIndex(const FunctionArgs& args, const EvalScope& scope, Scalar& out) {
  out = Scalar{DefaultType(BaseType::kInt), std::monostate{}};
  if (args[0].is_null() || args[1].is_null()) return std::nullopt;
  std::string needle, haystack;
  if (Status s = TextArgument(args[0], 1, "charindex", needle)) return s;
  if (Status s = TextArgument(args[1], 2, "charindex", haystack)) return s;
  int64_t start = 1;
  if (args.size() > 2 && !args[2].is_null()) {
    if (Status s = IntegerArgument(args[2], 3, "charindex", start)) return s;
  }
  size_t from = start > 1 ? static_cast<size_t>(start - 1) : 0;
  int64_t found =
      Find(DecodeCharacters(haystack), DecodeCharacters(needle), from, scope.exec.collation());
  out.value = found + 1;
  return std::nullopt;
}

Status PatIndex(const FunctionArgs& args, const EvalScope& scope, Scalar& out) {
  out = Scalar{DefaultType(BaseType::kInt), std::monostate{}};
  if (AnyNull(args)) return std::nullopt;
  std::string pattern, text;
  if (Status s = TextArgument(args[0], 1, "patindex", pattern)) return s;
  if (Family(args[1].type) == TypeFamily::kText) {
    text = std::get<std::string>(args[1].value);  // PATINDEX reads text too
  } else if (Status s = TextArgument(args[1], 2, "patindex", text)) {
    return s;
  }
  out.value = PatternPosition(text, pattern, scope.exec.collation());
  return std::nullopt;
}

// LEFT and RIGHT: a negative count is an error, not an empty string.
template <bool kLeft>
Status Side(const FunctionArgs& args, const EvalScope&, Scalar& out) {
  const char* name = kLeft ? "left" : "right";
  out = Scalar{VariableResult(args[0]), std::monostate{}};
  if (AnyNull(args)) return std::nullopt;
  std::string text;
  int64_t count = 0;
  if (Status s = TextArgument(args[0], 1, name, text)) return s;
  if (Status s = IntegerArgument(args[1], 2, name, count)) return s;
  if (count < 0) return Raise(Msg::kInvalidLengthParameter, {name});
  int64_t total = static_cast<int64_t>(CharacterCount(text));
  out.value = std::string(kLeft ? FirstCharacters(text, count)
                                : CharactersFrom(text, std::max<int64_t>(0, total - count)));
  return std::nullopt;
}

Status Substring(const FunctionArgs& args, const EvalScope&, Scalar& out) {
  const Scalar& in = args[0];
  TypeFamily family = Family(in.type);
  bool bytes = family == TypeFamily::kBinary || family == TypeFamily::kImage;
  if (family == TypeFamily::kCharacter) {
    out.type = VariableResult(in);
  } else if (family == TypeFamily::kText) {
    out.type = LongestResult(IsUnicode(in));
  } else if (bytes) {
    out.type =
        DataType{BaseType::kVarBinary, family == TypeFamily::kImage ? 8000 : in.type.length, 0, 0};
  } else {
    return InvalidArgument(in.type, 1, "substring");
  }
  out.value = std::monostate{};
  if (AnyNull(args)) return std::nullopt;
  int64_t start = 0, length = 0;
  if (Status s = IntegerArgument(args[1], 2, "substring", start)) return s;
  if (Status s = IntegerArgument(args[2], 3, "substring", length)) return s;
  if (length < 0) return Raise(Msg::kInvalidLengthParameter, {"substring"});
  // Positions count from 1; those before 1 use up length.
  int64_t end = start + length;
  int64_t from = std::max<int64_t>(start, 1) - 1;
  int64_t count = std::max<int64_t>(end - 1 - from, 0);
  if (bytes) {
    Scalar whole = Coherent(in);
    const auto& all = std::get<std::vector<uint8_t>>(whole.value);
    size_t first = std::min<size_t>(static_cast<size_t>(from), all.size());
    size_t last = std::min<size_t>(first + static_cast<size_t>(count), all.size());
    out.value = std::vector<uint8_t>(all.begin() + first, all.begin() + last);
    return std::nullopt;
  }
  std::string_view text = std::get<std::string>(in.value);
  out.value = std::string(FirstCharacters(CharactersFrom(text, from), count));
  return std::nullopt;
}

Status Len(const FunctionArgs& args, const EvalScope&, Scalar& out) {
  out = Scalar{DefaultType(BaseType::kInt), std::monostate{}};
  if (args[0].is_null()) return std::nullopt;
  std::string text;
  if (Status s = TextArgument(args[0], 1, "len", text)) return s;
  while (!text.empty() && text.back() == ' ') text.pop_back();
  out.value = static_cast<int64_t>(CharacterCount(text));
  return std::nullopt;
}

template <bool kUpper>
Status ChangeCase(const FunctionArgs& args, const EvalScope&, Scalar& out) {
  const char* name = kUpper ? "upper" : "lower";
  out = Scalar{
      Family(args[0].type) == TypeFamily::kCharacter ? args[0].type : VariableResult(args[0]),
      std::monostate{}};
  if (args[0].is_null()) return std::nullopt;
  std::string text;
  if (Status s = TextArgument(args[0], 1, name, text)) return s;
  out.value = kUpper ? UpperText(text) : LowerText(text);
  return std::nullopt;
}

template <bool kLeft>
Status Trim(const FunctionArgs& args, const EvalScope&, Scalar& out) {
  out = Scalar{VariableResult(args[0]), std::monostate{}};
  if (args[0].is_null()) return std::nullopt;
  std::string text;
  if (Status s = TextArgument(args[0], 1, kLeft ? "ltrim" : "rtrim", text)) return s;
  if (kLeft) {
    size_t first = text.find_first_not_of(' ');
    text.erase(0, first == std::string::npos ? text.size() : first);
  } else {
    while (!text.empty() && text.back() == ' ') text.pop_back();
  }
  out.value = std::move(text);
  return std::nullopt;
}

Status Replace(const FunctionArgs& args, const EvalScope& scope, Scalar& out) {
  out = Scalar{LongestResult(IsUnicode(args[0]) || IsUnicode(args[1]) || IsUnicode(args[2])),
               std::monostate{}};
  if (AnyNull(args)) return std::nullopt;
  std::string text, find, with;
  if (Status s = TextArgument(args[0], 1, "replace", text)) return s;
  if (Status s = TextArgument(args[1], 2, "replace", find)) return s;
  if (Status s = TextArgument(args[2], 3, "replace", with)) return s;
  std::vector<char32_t> chars = DecodeCharacters(text), pattern = DecodeCharacters(find);
  std::string result;
  size_t i = 0;
  for (int64_t hit; (hit = Find(chars, pattern, i, scope.exec.collation())) >= 0;) {
    result += Utf8(chars, i, static_cast<size_t>(hit)) + with;
    i = static_cast<size_t>(hit) + pattern.size();
  }
  result += Utf8(chars, i);
  out.value = std::string(FirstCharacters(result, out.type.length));
  return std::nullopt;
}

Status Replicate(const FunctionArgs& args, const EvalScope&, Scalar& out) {
  out = Scalar{LongestResult(IsUnicode(args[0])), std::monostate{}};
  if (AnyNull(args)) return std::nullopt;
  std::string text;
  int64_t times = 0;
  if (Status s = TextArgument(args[0], 1, "replicate", text)) return s;
  if (Status s = IntegerArgument(args[1], 2, "replicate", times)) return s;
  if (times < 0) return std::nullopt;
  // The result stops at the type's length, as SQL Server cuts it.
  size_t limit = static_cast<size_t>(out.type.length);
  size_t each = CharacterCount(text), count = 0;
  std::string result;
  for (int64_t i = 0; i < times && each > 0 && count < limit; ++i, count += each) result += text;
  result = std::string(FirstCharacters(result, static_cast<int64_t>(limit)));
  out.value = std::move(result);
  return std::nullopt;
}

Status Reverse(const FunctionArgs& args, const EvalScope&, Scalar& out) {
  out = Scalar{VariableResult(args[0]), std::monostate{}};
  if (args[0].is_null()) return std::nullopt;
  std::string text;
  if (Status s = TextArgument(args[0], 1, "reverse", text)) return s;
  std::vector<char32_t> chars = DecodeCharacters(text);
  std::reverse(chars.begin(), chars.end());
  out.value = Utf8(chars);
  return std::nullopt;
}

Status Space(const FunctionArgs& args, const EvalScope&, Scalar& out) {
  out = Scalar{LongestResult(false), std::monostate{}};
  if (args[0].is_null()) return std::nullopt;
  int64_t count = 0;
  if (Status s = IntegerArgument(args[0], 1, "space", count)) return s;
  if (count < 0) return std::nullopt;
  out.value = std::string(static_cast<size_t>(std::min<int64_t>(count, 8000)), ' ');
  return std::nullopt;
}

// STR: the number right-aligned in `length` characters with `decimals`
// places, fewer places when they do not fit, and asterisks when the whole
// part does not.
Status Str(const FunctionArgs& args, const EvalScope&, Scalar& out) {
  int64_t length = 10, decimals = 0;
  if (args.size() > 1 && !args[1].is_null()) {
    if (Status s = IntegerArgument(args[1], 2, "str", length)) return s;
  }
  if (args.size() > 2 && !args[2].is_null()) {
    if (Status s = IntegerArgument(args[2], 3, "str", decimals)) return s;
  }
  bool usable = length > 0 && length <= 8000 && decimals >= 0;
  out = Scalar{DataType{BaseType::kChar, usable ? static_cast<int>(length) : 10, 0, 0},
               std::monostate{}};
  if (AnyNull(args) || !usable) return std::nullopt;
  double value = 0;
  if (Status s = FloatArgument(args[0], 1, "str", value)) return s;
  decimals = std::min<int64_t>(decimals, 16);
  // Fifteen significant digits, as float values are shown, then rounded
  // half away from zero.
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.15g", value);
  std::optional<DecimalParts> parts;
  if (std::string(buffer).find('e') != std::string::npos) {
    std::snprintf(buffer, sizeof buffer, "%.*f", 16, value);
  }
  parts = ParseDecimal(buffer);
  if (!parts) return Raise(Msg::kArithmeticOverflowConvert, {"float", "varchar"});
  std::string text;
  for (int64_t places = decimals; places >= 0; --places) {
    text = FormatDecimal(*parts, 38 + static_cast<int>(places), static_cast<int>(places))
               .value_or(std::string(400, '*'));
    if (static_cast<int64_t>(text.size()) <= length) break;
  }
  if (static_cast<int64_t>(text.size()) > length) text = std::string(length, '*');
  out.value = std::string(static_cast<size_t>(length) - text.size(), ' ') + text;
  return std::nullopt;
}

Status Stuff(const FunctionArgs& args, const EvalScope&, Scalar& out) {
  out = Scalar{LongestResult(IsUnicode(args[0]) || IsUnicode(args[3])), std::monostate{}};
  if (args[0].is_null() || args[1].is_null() || args[2].is_null()) return std::nullopt;
  std::string text, with;
  int64_t start = 0, length = 0;
  if (Status s = TextArgument(args[0], 1, "stuff", text)) return s;
  if (Status s = IntegerArgument(args[1], 2, "stuff", start)) return s;
  if (Status s = IntegerArgument(args[2], 3, "stuff", length)) return s;
  if (!args[3].is_null()) {
    if (Status s = TextArgument(args[3], 4, "stuff", with)) return s;
  }
  int64_t total = static_cast<int64_t>(CharacterCount(text));
  // A start outside the text or a negative length gives NULL.
  if (start < 1 || start > total || length < 0) return std::nullopt;
  std::string result(FirstCharacters(text, start - 1));
  result += with;
  result += CharactersFrom(text, std::min(total, start - 1 + length));
  out.value = std::string(FirstCharacters(result, out.type.length));
  return std::nullopt;
}

char SoundexDigit(char32_t c) {
  static constexpr char kDigits[] = "01230120022455012623010202";
  if (c >= 'a' && c <= 'z') c -= 32;
  return c >= 'A' && c <= 'Z' ? kDigits[c - 'A'] : 0;
}

// The four-character code: the first letter, then the digits of the
// consonants that follow, a run of one digit counted once (H and W do not
// break a run, vowels do); it ends at the first character that is not a
// letter.
std::string SoundexCode(std::string_view text) {
  std::vector<char32_t> chars = DecodeCharacters(text);
  size_t i = 0;
  while (i < chars.size() && chars[i] == ' ') ++i;
  if (i >= chars.size() || !SoundexDigit(chars[i])) return "";
  std::string code(1, static_cast<char>(chars[i] >= 'a' ? chars[i] - 32 : chars[i]));
  char last = SoundexDigit(chars[i]);
  for (++i; i < chars.size() && code.size() < 4; ++i) {
    char digit = SoundexDigit(chars[i]);
    if (!digit) break;
    char32_t upper = chars[i] >= 'a' ? chars[i] - 32 : chars[i];
    if (upper == 'H' || upper == 'W') continue;
    if (digit != '0' && digit != last) code += digit;
    last = digit;
  }
  code.resize(4, '0');
  return code;
}

Status Soundex(const FunctionArgs& args, const EvalScope&, Scalar& out) {
  out = Scalar{DataType{BaseType::kVarChar, 4, 0, 0}, std::monostate{}};
  if (args[0].is_null()) return std::nullopt;
  std::string text;
  if (Status s = TextArgument(args[0], 1, "soundex", text)) return s;
  out.value = SoundexCode(text);
  return std::nullopt;
}

Status Difference(const FunctionArgs& args, const EvalScope&, Scalar& out) {
  out = Scalar{DefaultType(BaseType::kInt), std::monostate{}};
  if (AnyNull(args)) return std::nullopt;
  std::string a, b;
  if (Status s = TextArgument(args[0], 1, "difference", a)) return s;
  if (Status s = TextArgument(args[1], 2, "difference", b)) return s;
  std::string x = SoundexCode(a), y = SoundexCode(b);
  int64_t same = 0;
  for (size_t i = 0; i < x.size() && i < y.size(); ++i) same += x[i] == y[i] ? 1 : 0;
  out.value = same;
  return std::nullopt;
}

Status QuoteName(const FunctionArgs& args, const EvalScope&, Scalar& out) {
  out = Scalar{DataType{BaseType::kNVarChar, 258, 0, 0}, std::monostate{}};
  if (AnyNull(args)) return std::nullopt;
  std::string name, quote = "[";
  if (Status s = TextArgument(args[0], 1, "quotename", name)) return s;
  if (args.size() > 1) {
    if (Status s = TextArgument(args[1], 2, "quotename", quote)) return s;
  }
  // Names longer than sysname, and other quote characters, give NULL.
  if (CharacterCount(name) > 128 || quote.empty()) return std::nullopt;
  char open = quote[0];
  char close = open == '[' || open == ']' ? ']' : open;
  if (open == ']') open = '[';
  if (close != ']' && close != '"' && close != '\'') return std::nullopt;
  std::string text(1, open);
  for (char c : name) {
    text += c;
    if (c == close) text += c;
  }
  out.value = text + close;
  return std::nullopt;
}

// The parts of a name of up to four (server.database.owner.object), each
// as written or delimited by brackets or double quotes.
bool SplitObjectName(const std::string& name, std::vector<std::string>& parts) {
  size_t i = 0;
  while (true) {
    std::string part;
    if (i < name.size() && (name[i] == '[' || name[i] == '"')) {
      const char close = name[i] == '[' ? ']' : '"';
      for (++i;; ++i) {
        if (i >= name.size()) return false;  // never closed
        if (name[i] != close) {
          part += name[i];
        } else if (i + 1 < name.size() && name[i + 1] == close) {
          part += name[++i];
        } else {
          break;
        }
      }
      if (++i < name.size() && name[i] != '.') return false;
    } else {
      while (i < name.size() && name[i] != '.') part += name[i++];
    }
    parts.push_back(std::move(part));
    if (i >= name.size()) return parts.size() <= 4;
    ++i;  // the dot; one after the last leaves an empty part
    if (i == name.size()) {
      parts.emplace_back();
      return parts.size() <= 4;
    }
  }
}

// PARSENAME(name, piece): piece 1 is the object, 2 its owner, 3 the
// database, 4 the server; NULL for a piece left out or empty, or a name
// that does not parse.
Status ParseName(const FunctionArgs& args, const EvalScope&, Scalar& out) {
  out = Scalar{DataType{BaseType::kNVarChar, 128, 0, 0}, std::monostate{}};
  if (AnyNull(args)) return std::nullopt;
  std::string name;
  int64_t piece = 0;
  if (Status s = TextArgument(args[0], 1, "parsename", name)) return s;
  if (Status s = IntegerArgument(args[1], 2, "parsename", piece)) return s;
  std::vector<std::string> parts;
  if (!SplitObjectName(name, parts) || piece < 1 || piece > static_cast<int64_t>(parts.size()))
    return std::nullopt;
  std::string& part = parts[parts.size() - static_cast<size_t>(piece)];
  if (!part.empty()) out.value = std::move(part);
  return std::nullopt;
}

constexpr FunctionRow kStringFunctions[] = {
    {"ASCII", 1, 1, Ascii},
    {"CHAR", 1, 1, CharFromCode<false>},
    {"NCHAR", 1, 1, CharFromCode<true>},
    {"UNICODE", 1, 1, Unicode},
    {"CHARINDEX", 2, 3, CharIndex},
    {"PATINDEX", 2, 2, PatIndex},
    {"LEFT", 2, 2, Side<true>},
    {"RIGHT", 2, 2, Side<false>},
    {"SUBSTRING", 3, 3, Substring},
    {"LEN", 1, 1, Len},
    {"UPPER", 1, 1, ChangeCase<true>},
    {"LOWER", 1, 1, ChangeCase<false>},
    {"LTRIM", 1, 1, Trim<true>},
    {"RTRIM", 1, 1, Trim<false>},
    {"REPLACE", 3, 3, Replace},
    {"REPLICATE", 2, 2, Replicate},
    {"REVERSE", 1, 1, Reverse},
    {"SPACE", 1, 1, Space},
    {"STR", 1, 3, Str},
    {"STUFF", 4, 4, Stuff},
    {"SOUNDEX", 1, 1, Soundex},
    {"DIFFERENCE", 2, 2, Difference},
    {"QUOTENAME", 1, 2, QuoteName},
    {"PARSENAME", 2, 2, ParseName},
};

}  // namespace

std::span<const FunctionRow> StringFunctions() { return kStringFunctions; }

}  // namespace server
