#include "server/types/collation.h"

namespace server {

namespace {

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view TrimTrailingBlanks(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

}  // namespace

std::string_view Collation::name() const {
  return case_sensitive_ ? "SQL_Latin1_General_CP1_CS_AS" : "SQL_Latin1_General_CP1_CI_AS";
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
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(case_sensitive_ ? a[i] : Fold(a[i]));
    unsigned char y = static_cast<unsigned char>(case_sensitive_ ? b[i] : Fold(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

std::string ToUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

}  // namespace server
