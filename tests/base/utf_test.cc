#include "base/utf.h"

#include <gtest/gtest.h>

#include <string>

namespace base {
namespace {

TEST(StrictUtf, ConvertsEveryFormBothWaysAndRefusesWhatIsNotText) {
  struct Valid {
    const char* name;
    std::string utf8;
    std::u16string utf16;
  };
  const Valid valid[] = {
      {"one byte, NUL to U+007F", std::string("\0\x7F", 2), std::u16string(u"\0\u007F", 2)},
      {"two bytes, U+0080 to U+07FF", "\xC2\x80\xDF\xBF", u"\u0080\u07FF"},
      {"three bytes, U+0800 to U+FFFF", "\xE0\xA0\x80\xEF\xBF\xBF", u"\u0800\uFFFF"},
      {"four bytes, U+10000 to U+10FFFF as pairs", "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF",
       u"\U00010000\U0010FFFF"},
      {"empty", "", u""},
  };
  for (const Valid& c : valid) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16);
    EXPECT_EQ(Utf16ToUtf8(c.utf16), c.utf8);
  }

  struct Refused {
    const char* name;
    std::string utf8;
    size_t at;
  };
  const Refused refused_utf8[] = {
      {"overlong NUL", "a\xC0\x80", 1},
      {"overlong three-byte form", "\xE0\x80\xAF", 0},
      {"overlong four-byte form", "\xF0\x8F\xBF\xBF", 0},
      {"surrogate written in UTF-8", "\xED\xA0\x80", 0},
      {"past U+10FFFF", "\xF4\x90\x80\x80", 0},
      {"five-byte lead", "\xF8\x88\x80\x80\x80", 0},
      {"truncated at the end", "ab\xE2\x82", 2},
      {"bad continuation byte", "\xE2\x28\xA1", 0},
      {"stray continuation byte", "\x80", 0},
  };
  for (const Refused& c : refused_utf8) {
    SCOPED_TRACE(c.name);
    size_t at = 99;
    EXPECT_EQ(Utf8ToUtf16(c.utf8, &at), std::nullopt);
    EXPECT_EQ(at, c.at);
    EXPECT_FALSE(IsValidUtf8(c.utf8));
  }

  // Where UTF-16 was refused; npos when it was not.
  auto refused_at = [](std::u16string_view utf16) {
    size_t at = 0;
    return Utf16ToUtf8(utf16, &at) ? std::u16string_view::npos : at;
  };
  EXPECT_EQ(refused_at(u"a\xD800"), 1u) << "high surrogate at the end";
  EXPECT_EQ(refused_at(u"\xD800\x61"), 0u) << "high surrogate before another unit";
  EXPECT_EQ(refused_at(u"ab\xDC00"), 2u) << "low surrogate alone";
}

}  // namespace
}  // namespace base
