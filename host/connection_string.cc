#include "host/connection_string.h"

#include "harness/error.h"
#include "harness/utf.h"

namespace host {

namespace {

std::u16string Lower(std::u16string_view text) {
  std::u16string lower(text);
  for (char16_t& c : lower) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  return lower;
}

std::u16string_view Trim(std::u16string_view text) {
  while (!text.empty() && (text.front() == u' ' || text.front() == u'\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) text.remove_suffix(1);
  return text;
}

[[noreturn]] void Fail(const std::string& what) {
  throw harness::Error(harness::errors::kInvalidCall,
                       harness::FromUtf8("Invalid connection string: " + what));
}

}  // namespace

ConnectionString ConnectionString::Parse(std::u16string_view text) {
  ConnectionString result;
  size_t at = 0;
  while (at < text.size()) {
    size_t equals = text.find(u'=', at);
    size_t semicolon = text.find(u';', at);
    if (equals == std::u16string_view::npos || semicolon < equals) {
      std::u16string_view rest = Trim(text.substr(at, semicolon - at));
      if (!rest.empty()) Fail("attribute '" + harness::ToUtf8(rest) + "' has no '='");
      if (semicolon == std::u16string_view::npos) break;
      at = semicolon + 1;
      continue;
    }
    std::u16string key = Lower(Trim(text.substr(at, equals - at)));
    if (key.empty()) Fail("an attribute has no name");
    size_t value_start = equals + 1;
    while (value_start < text.size() && text[value_start] == u' ') ++value_start;
    std::u16string value;
    if (value_start < text.size() && text[value_start] == u'{') {
      size_t i = value_start + 1;
      for (;; ++i) {
        if (i >= text.size()) Fail("the value of '" + harness::ToUtf8(key) + "' has no closing '}'");
        if (text[i] != u'}') {
          value += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == u'}') {
          value += u'}';
          ++i;
        } else {
          break;
        }
      }
      size_t end = text.find(u';', i + 1);
      if (!Trim(text.substr(i + 1, end == std::u16string_view::npos ? end : end - i - 1)).empty()) {
        Fail("text after the closing '}' of '" + harness::ToUtf8(key) + "'");
      }
      at = end == std::u16string_view::npos ? text.size() : end + 1;
    } else {
      size_t end = text.find(u';', value_start);
      value = Trim(text.substr(value_start, end == std::u16string_view::npos ? end : end - value_start));
      at = end == std::u16string_view::npos ? text.size() : end + 1;
    }
    result.values_.emplace(std::move(key), std::move(value));
  }
  return result;
}

std::optional<std::u16string> ConnectionString::Get(std::u16string_view key) const {
  auto found = values_.find(Lower(key));
  if (found == values_.end()) return std::nullopt;
  return found->second;
}

}  // namespace host
