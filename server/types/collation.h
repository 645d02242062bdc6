#ifndef TAVORA_SERVER_TYPES_COLLATION_H_
#define TAVORA_SERVER_TYPES_COLLATION_H_

#include <string>
#include <string_view>
#include <vector>

namespace server {

// The server collation: how names and character data compare. Names fold
// ASCII letters only. Character data follows the SQL collation's dictionary
// order for Latin-1 text: an accented letter sorts right after its plain
// letter and before the next one, case does not count (CI) or lower case
// comes first (CS), and everything else sorts by its code point.
class Collation {
 public:
  explicit Collation(bool case_sensitive) : case_sensitive_(case_sensitive) {}

  bool case_sensitive() const { return case_sensitive_; }
  // "SQL_Latin1_General_CP1_CI_AS" or "SQL_Latin1_General_CP1_CS_AS".
  std::string_view name() const;

  // Identifier equality: the whole name, case folded unless case-sensitive.
  bool Equal(std::string_view a, std::string_view b) const;
  // The form of a name that Equal compares, for hashed lookups.
  std::string Key(std::string_view name) const;
  // Character data order: trailing blanks do not count, as SQL Server pads
  // the shorter value. Negative, zero or positive.
  int Compare(std::string_view a, std::string_view b) const;
  // Whether two characters (code points) are the same under the collation,
  // and their order, as LIKE's sets and ranges test them.
  int CompareCharacters(char32_t a, char32_t b) const;

 private:
  bool case_sensitive_;
};

// The collation a COLLATE clause names: DATABASE_DEFAULT (every database
// has the server's), or one of the two the server compares by. Null for
// any other name.
const Collation* FindCollation(std::string_view name, const Collation& database_default);

// ASCII case-insensitive equality, for keywords and names that are never
// collation-sensitive (system procedure parameters, options, server names).
// Inline: the parser and every name lookup ask it, mostly of names that
// differ in length.
inline bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x == y) continue;
    // Equal once folded only if both are the same letter in two cases.
    if ((x ^ y) != 0x20) return false;
    char lower = static_cast<char>(x | 0x20);
    if (lower < 'a' || lower > 'z') return false;
  }
  return true;
}

inline bool Collation::Equal(std::string_view a, std::string_view b) const {
  return case_sensitive_ ? a == b : EqualNoCase(a, b);
}

// ASCII upper-case copy.
std::string ToUpper(std::string_view text);

// UTF-8 text with its Latin-1 letters in upper or lower case, as UPPER and
// LOWER change them (the code page's letters, not only ASCII).
std::string UpperText(std::string_view text);
std::string LowerText(std::string_view text);

// One code point of UTF-8 text at `at`, which moves past it; a byte that
// does not start valid UTF-8 stands for itself.
char32_t NextCharacter(std::string_view text, size_t& at);
// Every code point of UTF-8 text, as NextCharacter reads them.
std::vector<char32_t> DecodeCharacters(std::string_view text);

// An ASCII decimal digit, whatever the locale.
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace server

#endif  // TAVORA_SERVER_TYPES_COLLATION_H_
