#include "server/tds/names.h"

#include <vector>

namespace server::tds {

namespace {

constexpr size_t kMaxPart = 128;
constexpr size_t kMaxParts = 3;

// The characters of a bare identifier, as the T-SQL tokenizer takes them;
// every byte of a multi-byte UTF-8 character counts as a letter.
bool IsLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || static_cast<unsigned char>(c) >= 0x80;
}
bool StartsBare(char c) { return IsLetter(c) || c == '_' || c == '#'; }
bool ContinuesBare(char c) {
  return StartsBare(c) || (c >= '0' && c <= '9') || c == '@' || c == '$';
}

// Reads one part at `pos`: bracketed, quoted, bare or empty. False when a
// delimited part is not closed.
bool ReadPart(std::string_view name, size_t& pos, std::string& part) {
  if (pos < name.size() && (name[pos] == '[' || name[pos] == '"')) {
    char close = name[pos] == '[' ? ']' : '"';
    for (++pos; pos < name.size(); ++pos) {
      if (name[pos] != close) {
        part += name[pos];
      } else if (pos + 1 < name.size() && name[pos + 1] == close) {
        part += close;
        ++pos;
      } else {
        ++pos;
        return true;
      }
    }
    return false;
  }
  if (pos < name.size() && StartsBare(name[pos])) {
    size_t begin = pos;
    while (pos < name.size() && ContinuesBare(name[pos])) ++pos;
    part.assign(name.substr(begin, pos - begin));
  }
  return true;
}

}  // namespace

std::string QuoteName(std::string_view name) {
  std::string quoted = "[";
  for (char c : name) {
    quoted += c;
    if (c == ']') quoted += ']';
  }
  return quoted + "]";
}

std::optional<std::string> QuoteProcedureName(std::string_view name) {
  std::vector<std::string> parts;
  size_t pos = 0;
  for (;;) {
    std::string part;
    if (!ReadPart(name, pos, part) || part.size() > kMaxPart) return std::nullopt;
    parts.push_back(std::move(part));
    if (pos == name.size()) break;
    if (name[pos] != '.' || parts.size() == kMaxParts) return std::nullopt;
    ++pos;
  }
  // The name itself is always there; the parts before it may be left out
  // ("db..proc", and "..proc" as ODBC drivers call catalog procedures).
  if (parts.back().empty()) return std::nullopt;
  std::string quoted;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) quoted += '.';
    if (!parts[i].empty()) quoted += QuoteName(parts[i]);
  }
  return quoted;
}

}  // namespace server::tds
