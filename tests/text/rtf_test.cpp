// RTF reader and writer: documents as word processors write them, the writer's escapes and the
// exact round trip, malformed input read to its end without crash, hang or deep recursion, and
// nesting beyond the limit refused.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "text/charset.h"
#include "text/rtfreader.h"
#include "text/rtfwriter.h"

namespace talyx::formats {
namespace {

const std::string kFffd = "\xEF\xBF\xBD";

TEST(RtfReaderTest, GbkDocumentAsAnEditorSavesIt) {
  const std::string document =
      "{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang1033\\deflangfe2052{\\fonttbl{\\f0\\fnil"
      "\\fcharset134 \\'cb\\'ce\\'cc\\'e5;}}\r\n"
      "{\\*\\generator Msftedit 5.41.21.2510;}\\viewkind4\\uc1\\pard\\lang2052\\f0\\fs18"
      "\\'d6\\'d0\\'ce\\'c4\\'b2\\'e2\\'ca\\'d4\\par\r\n"
      "01 03 00 00 00 0A\\par\r\n}\r\n";
  ASSERT_TRUE(IsRtf(document));
  EXPECT_EQ(ReadRtf(document), "中文测试\n01 03 00 00 00 0A");
}

TEST(RtfReaderTest, WesternDocumentWithChineseFontAndUnicodeFallbacks) {
  // A Western code page; the Chinese bytes follow the font's character set (134, GBK), and
  // \uN come with two fallback bytes each (\uc2). The GBK trail byte '@' is written literally.
  const std::string document =
      "{\\rtf1\\adeflang1025\\ansi\\ansicpg1252\\uc1\\adeff31507\\deff0{\\fonttbl"
      "{\\f0\\fbidi \\froman\\fcharset0\\fprq2{\\*\\panose 02020603050405020304}Times New Roman;}"
      "{\\f13\\fbidi \\fnil\\fcharset134\\fprq2{\\*\\panose 02010600030101010101}SimSun"
      "{\\*\\falt \\'cb\\'ce\\'cc\\'e5};}}{\\colortbl;\\red0\\green0\\blue0;}"
      "{\\stylesheet{\\ql Normal;}}{\\info{\\title Test}{\\author X}}\n"
      "\\pard\\plain \\f0\\fs24 caf\\'e9 {\\rtlch\\fcs1 \\af0 \\ltrch\\fcs0 \\f13\\hich\\af13"
      "\\dbch\\af13\\loch\\f13 \\'d6\\'d0\\'81@}{\\uc2\\u25968\\'ca\\'fd\\u25454\\'be\\'dd}\\par\n"
      "{\\*\\themedata 504b0304}{\\*\\datastore 0105000002}}";
  EXPECT_EQ(ReadRtf(document), "café 中丂数据");
}

TEST(RtfReaderTest, UnicodeEscapesNegativeAndBeyondTheBasicPlane) {
  EXPECT_EQ(ReadRtf("{\\rtf1 \\u20013?\\u-28706?\\u-10179?\\u-8704?1}"), "中连😀1");
  EXPECT_EQ(ReadRtf("{\\rtf1\\uc0 \\u20013\\u25991}"), "中文");
  // Halves that do not pair up are not characters.
  EXPECT_EQ(ReadRtf("{\\rtf1 \\u-10179?x\\u-8704?}"), kFffd + "x" + kFffd);
}

TEST(RtfReaderTest, StructureEscapesAndNestedDestinations) {
  const std::string document =
      "{\\rtf1\\ansi{\\fonttbl\\f0\\fswiss Helvetica;}"
      "a\\tab b\\line c\\~d \\\\ \\{e\\}{\\b bold}\\par"
      "{\\field{\\*\\fldinst HYPERLINK \"http://x\"}{\\fldrslt link}}"
      "{\\pict\\wmetafile8 0100ff{\\*\\blipuid 00}\\bin3 }{x}"
      "{\\object{\\*\\objdata\\bin4 {{{{}}\\par\n}";
  EXPECT_EQ(ReadRtf(document),
            "a\tb\nc\xC2\xA0"
            "d \\ {e}bold\nlink");
  EXPECT_EQ(ReadRtf("{\\rtf1 one\\par two}"), "one\ntwo");
  EXPECT_EQ(ReadRtf("{\\rtf1 one\\par\\par}"), "one\n");
}

TEST(RtfReaderTest, RecognisesRtfByItsStart) {
  EXPECT_TRUE(IsRtf("{\\rtf1\\ansi x}"));
  EXPECT_TRUE(IsRtf("\xEF\xBB\xBF \r\n{\\rtf1}"));
  EXPECT_FALSE(IsRtf("{\\rt"));
  EXPECT_FALSE(IsRtf("01 03 00 00 00 0A"));
  EXPECT_FALSE(IsRtf(""));
}

TEST(RtfReaderTest, MalformedInputIsReadToItsEnd) {
  EXPECT_EQ(ReadRtf("{\\rtf1 abc"), "abc");
  EXPECT_EQ(ReadRtf("}}{\\rtf1 a}}}b"), "a");
  EXPECT_EQ(ReadRtf("{\\rtf1 a\\"), "a");
  EXPECT_EQ(ReadRtf("{\\rtf1 a\\'"), "a");
  EXPECT_EQ(ReadRtf("{\\rtf1 a\\'4"), "a\x04");
  EXPECT_EQ(ReadRtf("{\\rtf1\\ansicpg936 a\\'d6}"), "a" + kFffd);
  EXPECT_EQ(ReadRtf("{\\rtf1 a\\u"), "a");
  EXPECT_EQ(ReadRtf("{\\rtf1 a\\u-"), "a-");
  EXPECT_EQ(ReadRtf("{\\rtf1 \\u99999999999999999999999?z}"), kFffd + "z");
  EXPECT_EQ(ReadRtf("{\\rtf1 {\\uc99999999999 \\u20013 skipped}shown}"), "中shown");
  EXPECT_EQ(ReadRtf("{\\rtf1 a\\bin99999999999999 bcd}"), "a");
  EXPECT_EQ(ReadRtf("{\\rtf1\\ansicpg99999999999 \\'e9}"), "é");
  EXPECT_EQ(ReadRtf("{\\rtf1\\deff-7 \\f-99999999999 x\\" + std::string(100000, 'q') + " y}"),
            "xy");
}

TEST(RtfReaderTest, GroupsNestedDeeperThan256AreRefused) {
  // The document's own group is the first level.
  const auto nested = [](size_t depth, const std::string& text) {
    return "{\\rtf1" + std::string(depth - 1, '{') + text + std::string(depth, '}');
  };
  EXPECT_EQ(ReadRtf(nested(256, "x")), "x");
  EXPECT_EQ(ReadRtf(nested(257, "x")), std::nullopt);
  EXPECT_EQ(ReadRtf("{\\rtf1" + std::string(2'000'000, '{') + "y"), std::nullopt);
  // Depth counts the groups open at once, not all the groups of the document.
  std::string siblings = "{\\rtf1";
  for (int i = 0; i < 1000; ++i) siblings += "{{z}}";
  EXPECT_EQ(ReadRtf(siblings + "}"), std::string(1000, 'z'));
}

TEST(RtfReaderTest, CorruptedDocumentsGiveValidText) {
  // Documents of the shapes above, cut and with bytes flipped, deleted and repeated: each is
  // read to its end (ASan and UBSan watch the reading) and gives well-formed UTF-8.
  const std::vector<std::string> seeds = {
      WriteRtf("中文 数据\tx{}\\\n😀\x01 end"),
      "{\\rtf1\\ansi\\ansicpg936{\\fonttbl{\\f0\\fcharset134 x;}}\\f0\\'d6\\'d0\\uc2\\u20013\\'d6"
      "\\'d0{\\*\\x{\\pict\\bin2 {}}}\\par}",
      "{\\rtf1{\\field{\\*\\fldinst A}{\\fldrslt B}}\\u-10179?\\u-8704?\\line\\tab\\~}"};
  const std::string alphabet = "{}\\'*0123456789-abcdefuqx? \r\n\xD6\xE9";
  std::mt19937 random(20261208);
  for (int round = 0; round < 3000; ++round) {
    std::string document = seeds[round % seeds.size()];
    const int edits = 1 + static_cast<int>(random() % 8);
    for (int e = 0; e < edits && !document.empty(); ++e) {
      const size_t at = random() % document.size();
      switch (random() % 4) {
        case 0:
          document[at] = alphabet[random() % alphabet.size()];
          break;
        case 1:
          document.erase(at, 1 + random() % 4);
          break;
        case 2:
          document.insert(at, document.substr(at, random() % 16));
          break;
        default:
          document.resize(at);
          break;
      }
    }
    const std::optional<std::string> text = ReadRtf(document);
    ASSERT_TRUE(text && IsValidUtf8(*text)) << document;
  }
}

TEST(RtfWriterTest, EscapesAsWordProcessorsRead) {
  const std::string document = WriteRtf("a\\{}\tb\n中连😀\x01");
  EXPECT_NE(document.find("a\\\\\\{\\}\\tab b\\par\n\\u20013?\\u-28706?\\u-10179?\\u-8704?\\u1?"),
            std::string::npos)
      << document;
  for (const char c : document) EXPECT_TRUE(c >= 0x0A && c < 0x7F) << document;
  EXPECT_TRUE(IsRtf(document));
}

TEST(RtfWriterTest, RoundTripThroughTheReaderIsExact) {
  const std::vector<std::string> texts = {"",
                                          "a",
                                          "\n",
                                          "a\nb",
                                          "a\n",
                                          "\n\n",
                                          "中文 数据",
                                          "第1个参数=10\n第2个参数=20\n",
                                          "\t{x}\\y\\par \\tab",
                                          "\x01\x7F\r\x1B[0m",
                                          "😀𠀀1",
                                          "连2\t3 ",
                                          "\xC2\xA0 é"};
  for (const std::string& text : texts) {
    EXPECT_EQ(ReadRtf(WriteRtf(text)), text) << WriteRtf(text);
  }
}

}  // namespace
}  // namespace talyx::formats
