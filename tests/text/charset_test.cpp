// Character sets: the locale's character set and conversions to and from UTF-8 (GBK, GB18030).
#include "text/charset.h"

#include <gtest/gtest.h>

#include <clocale>
#include <stdexcept>

namespace talyx::formats {
namespace {

const std::string kChineseUtf8 = "中文";
const std::string kChineseGbk = "\xD6\xD0\xCE\xC4";
const std::string kFffd = "\xEF\xBF\xBD";

TEST(CharsetTest, LocaleCharsetCountsAsciiAsUtf8) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
  EXPECT_EQ(LocaleCharset(), "UTF-8");
  ASSERT_NE(std::setlocale(LC_ALL, "C.UTF-8"), nullptr);
  EXPECT_EQ(LocaleCharset(), "UTF-8");
  std::setlocale(LC_ALL, saved.c_str());
}

TEST(CharsetTest, ConvertsChineseBothWays) {
  EXPECT_EQ(ToUtf8(kChineseGbk, "GBK"), kChineseUtf8);
  EXPECT_EQ(FromUtf8(kChineseUtf8, "GBK"), kChineseGbk);
  EXPECT_EQ(ToUtf8(FromUtf8("A😀中", "GB18030"), "GB18030"), "A😀中");
  EXPECT_EQ(ToUtf8("caf\xE9", "CP1252"), "café");
}

TEST(CharsetTest, InvalidBytesBecomeReplacementCharactersAndNothingElseIsLost) {
  EXPECT_EQ(ToUtf8("A\xFF"
                   "B",
                   "UTF-8"),
            "A" + kFffd + "B");
  // A lead byte whose trail is missing, in the middle and at the very end.
  EXPECT_EQ(ToUtf8("\xE4"
                   "A\xE4\xB8",
                   "UTF-8"),
            kFffd + "A" + kFffd + kFffd);
  // Surrogates and overlong forms are not characters.
  EXPECT_EQ(ToUtf8("\xED\xA0\x80", "UTF-8"), kFffd + kFffd + kFffd);
  EXPECT_EQ(ToUtf8("\xC0\xAF", "UTF-8"), kFffd + kFffd);
  EXPECT_EQ(ToUtf8("\xF4\x90\x80\x80", "UTF-8"), kFffd + kFffd + kFffd + kFffd);
  EXPECT_EQ(ToUtf8("\xD6\xD0\xFF\xCE\xC4", "GBK"), "中" + kFffd + "文");
  EXPECT_EQ(ToUtf8(std::string("a\0b", 3), "UTF-8"), std::string("a\0b", 3));
}

TEST(CharsetTest, UnrepresentableCharactersBecomeQuestionMarks) {
  EXPECT_EQ(FromUtf8("A😀中", "GBK"),
            "A?"
            "\xD6\xD0");
  EXPECT_EQ(FromUtf8("A\xFF"
                     "B",
                     "GBK"),
            "A?B");
}

TEST(CharsetTest, UnknownCharsetIsRefused) {
  EXPECT_FALSE(IsKnownCharset("NO-SUCH-CHARSET"));
  EXPECT_TRUE(IsKnownCharset("GB18030"));
  EXPECT_THROW(ToUtf8("x", "NO-SUCH-CHARSET"), std::invalid_argument);
  EXPECT_THROW(FromUtf8("x", "NO-SUCH-CHARSET"), std::invalid_argument);
}

TEST(CharsetTest, ValidUtf8IsShortestFormWithoutSurrogates) {
  EXPECT_TRUE(IsValidUtf8(""));
  EXPECT_TRUE(IsValidUtf8("plain 中文 😀 \x7F"));
  EXPECT_TRUE(IsValidUtf8("\xF4\x8F\xBF\xBF"));   // U+10FFFF
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(IsValidUtf8("\xE0\x80\xAF"));      // overlong
  EXPECT_FALSE(IsValidUtf8("\xE4\xB8"));          // cut off
  EXPECT_FALSE(IsValidUtf8("\x80"));              // stray continuation
  EXPECT_FALSE(IsValidUtf8(kChineseGbk));
}

}  // namespace
}  // namespace talyx::formats
