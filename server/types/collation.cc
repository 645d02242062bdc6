#include "server/types/collation.h"

#include <cstdint>

#include "base/utf.h"

namespace server {

namespace {

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// A letter of the code page: its plain letter, which accented form it is
// (0 for the plain letter) and its case.
struct Letter {
  char base = 0;
  int accent = 0;
  bool upper = false;
};

// The accented letters of Latin-1 from U+00C0, upper case; lower case is
// the same 32 places on. "\0" marks a character that is not a letter.
constexpr char kLatinBase[] = "AAAAAAACEEEEIIIIDNOOOOO\0OUUUUYZs";
constexpr int kLatinAccent[] = {1, 2, 3, 4, 5, 6, 7, 1, 1, 2, 3, 4, 1, 2, 3, 4,
                                1, 1, 1, 2, 3, 4, 5, 0, 6, 1, 2, 3, 4, 1, 7, 7};

bool LetterOf(char32_t c, Letter& out) {
  if (c >= 'A' && c <= 'Z') {
    out = {static_cast<char>(c - 'A' + 'a'), 0, true};
    return true;
  }
  if (c >= 'a' && c <= 'z') {
    out = {static_cast<char>(c), 0, false};
    return true;
  }
  if (c >= 0xC0 && c <= 0xFF) {
    bool upper = c < 0xE0;
    int i = static_cast<int>(c - (upper ? 0xC0 : 0xE0));
    char base = kLatinBase[i];
    if (base == '\0') return false;
    if (c == 0xDF) {  // sharp s has no upper case
      out = {'s', 7, false};
      return true;
    }
    if (c == 0xFF) {  // y with diaeresis; its upper case is U+0178
      out = {'y', 2, false};
      return true;
    }
    out = {static_cast<char>(Fold(base)), kLatinAccent[i], upper};
    return true;
  }
  // The letters the code page adds beyond Latin-1.
  switch (c) {
    case 0x152:
    case 0x153:
      out = {'o', 7, c == 0x152};
      return true;
    case 0x160:
    case 0x161:
      out = {'s', 1, c == 0x160};
      return true;
    case 0x178:
      out = {'y', 2, true};
      return true;
    case 0x17D:
    case 0x17E:
      out = {'z', 1, c == 0x17D};
      return true;
    default:
      return false;
  }
}

// One number per character that orders it; equal numbers are the same
// character under the collation.
uint32_t Weight(char32_t c, bool case_sensitive) {
  Letter letter;
  if (LetterOf(c, letter)) {
    uint32_t weight = 0x200 + static_cast<uint32_t>(letter.base - 'a') * 16 +
                      static_cast<uint32_t>(letter.accent) * 2;
    return weight + (case_sensitive && letter.upper ? 1 : 0);
  }
  return c <= 0xFF ? static_cast<uint32_t>(c) : 0x10000 + static_cast<uint32_t>(c);
}

// The other case of a letter, or the character itself.
char32_t ChangeCase(char32_t c, bool upper) {
  Letter letter;
  if (!LetterOf(c, letter) || letter.upper == upper) return c;
  if (c < 0x80) return upper ? c - 32 : c + 32;
  if (c == 0xDF) return c;
  if (c == 0xFF) return 0x178;
  if (c == 0x178) return 0xFF;
  if (c >= 0xC0 && c <= 0xFE) return upper ? c - 32 : c + 32;
  return upper ? c - 1 : c + 1;  // the pairs beyond Latin-1 sit side by side
}

std::string ChangeTextCase(std::string_view text, bool upper) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    size_t start = i;
    char32_t c = NextCharacter(text, i);
    char32_t changed = ChangeCase(c, upper);
    if (changed == c) {
      out.append(text.substr(start, i - start));
    } else {
      base::AppendUtf8(out, changed);
    }
  }
  return out;
}

std::string_view TrimTrailingBlanks(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

}  // namespace

std::string_view Collation::name() const {
  return case_sensitive_ ? "SQL_Latin1_General_CP1_CS_AS" : "SQL_Latin1_General_CP1_CI_AS";
}

const Collation* FindCollation(std::string_view name, const Collation& database_default) {
  static const Collation kInsensitive(false);
  static const Collation kSensitive(true);
  if (EqualNoCase(name, "DATABASE_DEFAULT")) return &database_default;
  for (const Collation* known : {&kInsensitive, &kSensitive}) {
    if (EqualNoCase(name, known->name())) return known;
  }
  return nullptr;
}

std::string Collation::Key(std::string_view name) const {
  std::string key(name);
  if (!case_sensitive_) {
    for (char& c : key) c = Fold(c);
  }
  return key;
}

int Collation::Compare(std::string_view a, std::string_view b) const {
  a = TrimTrailingBlanks(a);
  b = TrimTrailingBlanks(b);
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    uint32_t x = Weight(NextCharacter(a, i), case_sensitive_);
    uint32_t y = Weight(NextCharacter(b, j), case_sensitive_);
    if (x != y) return x < y ? -1 : 1;
  }
  if (i == a.size() && j == b.size()) return 0;
  return i == a.size() ? -1 : 1;
}

int Collation::CompareCharacters(char32_t a, char32_t b) const {
  uint32_t x = Weight(a, case_sensitive_), y = Weight(b, case_sensitive_);
  return x == y ? 0 : (x < y ? -1 : 1);
}

std::string ToUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::string UpperText(std::string_view text) { return ChangeTextCase(text, true); }

std::string LowerText(std::string_view text) { return ChangeTextCase(text, false); }

std::vector<char32_t> DecodeCharacters(std::string_view text) {
  std::vector<char32_t> out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) out.push_back(NextCharacter(text, i));
  return out;
}

char32_t NextCharacter(std::string_view text, size_t& at) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char lead = byte(at);
  int extra = lead >= 0xF0 && lead < 0xF5 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : 0;
  if (lead >= 0x80 && extra > 0 && at + extra < text.size()) {
    char32_t c = lead & (0x3F >> extra);
    bool valid = true;
    for (int k = 1; k <= extra && valid; ++k) {
      valid = (byte(at + k) & 0xC0) == 0x80;
      c = (c << 6) | (byte(at + k) & 0x3F);
    }
    if (valid) {
      at += 1 + extra;
      return c;
    }
  }
  ++at;
  return lead;
}

}  // namespace server
