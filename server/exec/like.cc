#include "server/exec/like.h"

#include <string>
#include <vector>

namespace server {

namespace {

class Matcher {
 public:
  Matcher(std::vector<char32_t> pattern, const Collation& collation)
      : pattern_(std::move(pattern)), collation_(collation) {}

  bool Matches(const std::vector<char32_t>& text, size_t from) const {
    size_t t = from, p = 0;
    size_t star_p = kNone, star_t = 0;
    while (t < text.size()) {
      size_t width = 1;
      if (p < pattern_.size() && pattern_[p] == '%') {
        star_p = ++p;
        star_t = t;
      } else if (p < pattern_.size() && Element(p, text[t], width)) {
        p += width;
        ++t;
      } else if (star_p != kNone) {
        p = star_p;
        t = ++star_t;
      } else {
        return false;
      }
    }
    while (p < pattern_.size() && pattern_[p] == '%') ++p;
    return p == pattern_.size();
  }

 private:
  static constexpr size_t kNone = static_cast<size_t>(-1);

  bool Same(char32_t a, char32_t b) const { return collation_.CompareCharacters(a, b) == 0; }

  // Whether the pattern element at `p` matches `c`; `width` is its length.
  bool Element(size_t p, char32_t c, size_t& width) const {
    width = 1;
    if (pattern_[p] == '_') return true;
    if (pattern_[p] != '[') return Same(pattern_[p], c);
    size_t close = p + 2;  // "[]...]" holds a literal ]
    while (close < pattern_.size() && pattern_[close] != ']') ++close;
    if (close >= pattern_.size()) return Same('[', c);
    width = close - p + 1;
    size_t first = p + 1;
    bool negate = pattern_[first] == '^' && close > first + 1;
    if (negate) ++first;
    bool hit = false;
    for (size_t i = first; i < close; ++i) {
      if (i + 2 < close && pattern_[i + 1] == '-') {
        hit = hit || (collation_.CompareCharacters(c, pattern_[i]) >= 0 &&
                      collation_.CompareCharacters(c, pattern_[i + 2]) <= 0);
        i += 2;
      } else {
        hit = hit || Same(pattern_[i], c);
      }
    }
    return hit != negate;
  }

  std::vector<char32_t> pattern_;
  const Collation& collation_;
};

std::string_view WithoutTrailingBlanks(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

}  // namespace

bool LikeMatch(std::string_view text, std::string_view pattern, const Collation& collation) {
  Matcher matcher(DecodeCharacters(pattern), collation);
  if (matcher.Matches(DecodeCharacters(text), 0)) return true;
  std::string_view trimmed = WithoutTrailingBlanks(text);
  return trimmed.size() != text.size() && matcher.Matches(DecodeCharacters(trimmed), 0);
}

int64_t PatternPosition(std::string_view text, std::string_view pattern,
                        const Collation& collation) {
  std::vector<char32_t> chars = DecodeCharacters(text);
  std::vector<char32_t> elements = DecodeCharacters(pattern);
  if (elements.empty() || elements[0] != '%') {
    return LikeMatch(text, pattern, collation) ? 1 : 0;
  }
  // Where the rest of the pattern first matches a suffix of the text.
  elements.erase(elements.begin());
  Matcher matcher(std::move(elements), collation);
  for (size_t start = 0; start < chars.size(); ++start) {
    if (matcher.Matches(chars, start)) return static_cast<int64_t>(start) + 1;
  }
  return 0;
}

}  // namespace server
