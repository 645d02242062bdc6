#include "host/connection_string.h"

#include <algorithm>

#include "harness/error.h"
#include "harness/utf.h"

namespace host {

namespace {

constexpr char16_t kMask[] = u"********";

std::u16string Lower(std::u16string_view text) {
  std::u16string lower(text);
  for (char16_t& c : lower) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  return lower;
}

bool IsSpaceOrTab(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view Trim(std::u16string_view text) {
  while (!text.empty() && IsSpaceOrTab(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpaceOrTab(text.back())) text.remove_suffix(1);
  return text;
}

[[noreturn]] void Fail(const std::string& what) {
  throw harness::Error(harness::errors::kInvalidCall,
                       harness::FromUtf8("Invalid connection string: " + what));
}

bool IsPasswordKey(std::u16string_view lower_key) {
  return lower_key == u"pwd" || lower_key == u"password";
}

}  // namespace

std::vector<ConnectionAttribute> ConnectionString::Attributes(std::u16string_view text) {
  std::vector<ConnectionAttribute> attributes;
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
    ConnectionAttribute attribute;
    attribute.key = Lower(Trim(text.substr(at, equals - at)));
    const std::string key = harness::ToUtf8(attribute.key);
    if (attribute.key.empty()) Fail("an attribute has no name");
    size_t value_start = equals + 1;
    while (value_start < text.size() && text[value_start] == u' ') ++value_start;
    if (value_start < text.size() && text[value_start] == u'{') {
      attribute.braced = true;
      size_t i = value_start + 1;
      for (;; ++i) {
        if (i >= text.size()) Fail("the value of '" + key + "' has no closing '}'");
        if (text[i] != u'}') {
          attribute.value += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == u'}') {
          attribute.value += u'}';
          ++i;
        } else {
          break;
        }
      }
      attribute.value_begin = value_start;
      attribute.value_end = i + 1;
      size_t end = text.find(u';', i + 1);
      if (!Trim(text.substr(i + 1, end == std::u16string_view::npos ? end : end - i - 1)).empty()) {
        Fail("text after the closing '}' of '" + key + "'");
      }
      at = end == std::u16string_view::npos ? text.size() : end + 1;
    } else {
      size_t end = text.find(u';', value_start);
      if (end == std::u16string_view::npos) end = text.size();
      std::u16string_view value = Trim(text.substr(value_start, end - value_start));
      attribute.value = value;
      attribute.value_begin = static_cast<size_t>(value.data() - text.data());
      attribute.value_end = attribute.value_begin + value.size();
      at = end == text.size() ? end : end + 1;
    }
    attributes.push_back(std::move(attribute));
  }
  return attributes;
}

ConnectionString ConnectionString::Parse(std::u16string_view text) {
  ConnectionString result;
  for (ConnectionAttribute& attribute : Attributes(text)) {
    result.values_.emplace(std::move(attribute.key), std::move(attribute.value));
  }
  return result;
}

std::optional<std::u16string> ConnectionString::Get(std::u16string_view key) const {
  auto found = values_.find(Lower(key));
  if (found == values_.end()) return std::nullopt;
  return found->second;
}

std::u16string MaskPasswords(std::u16string_view text) {
  std::vector<ConnectionAttribute> attributes;
  try {
    attributes = ConnectionString::Attributes(text);
  } catch (const harness::Error&) {
    // Where a password ends in a faulty text is a guess, so everything from
    // the first password key on is hidden.
    const std::u16string lower = Lower(text);
    const size_t first = std::min(lower.find(u"pwd"), lower.find(u"password"));
    if (first == std::u16string::npos) return std::u16string(text);
    return std::u16string(text.substr(0, first)) + kMask;
  }
  std::u16string masked;
  size_t copied = 0;
  for (const ConnectionAttribute& attribute : attributes) {
    if (!IsPasswordKey(attribute.key) || attribute.value.empty()) continue;
    masked += text.substr(copied, attribute.value_begin - copied);
    masked += kMask;
    copied = attribute.value_end;
  }
  masked += text.substr(copied);
  return masked;
}

}  // namespace host
