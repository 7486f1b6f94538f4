// RTF reader: the plain text of a Rich Text Format document, as loaded into the send box.
#include "text/rtfreader.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/utf8.h"
#include "text/iconvconverter.h"
#include "text/utf8.h"

namespace talyx::formats {
namespace {

constexpr int kWesternCodePage = 1252;

// The iconv name of a Windows code page.
std::string CodePageCharset(int codePage) {
  switch (codePage) {
    case 65001:
      return "UTF-8";
    case 54936:
      return "GB18030";
    case 20936:
      return "GB2312";
    case 10000:
      return "MACINTOSH";
    case 1361:
      return "JOHAB";
    default:
      return "CP" + std::to_string(codePage);
  }
}

// The code page of a font's \fcharset; 0 for the character sets that follow the document's own
// code page (ANSI and default). Symbol fonts' bytes are read as the Western code page.
int CharsetCodePage(int charset) {
  // clang-format off
  static constexpr std::array<std::pair<int, int>, 17> kCodePages = {{
      {2, kWesternCodePage}, {77, 10000}, {128, 932},  {129, 949},  {130, 1361}, {134, 936},
      {136, 950},            {161, 1253}, {162, 1254}, {163, 1258}, {177, 1255}, {178, 1256},
      {186, 1257},           {204, 1251}, {222, 874},  {238, 1250}, {255, 437}}};
  // clang-format on
  for (const auto& [fontCharset, codePage] : kCodePages) {
    if (fontCharset == charset) return codePage;
  }
  return 0;
}

bool IsDoubleByteCodePage(int codePage) {
  return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950 ||
         codePage == 1361;
}

// Destinations that hold no text of the document (tables, document information, pictures,
// objects, headers and footers, notes, field instructions, list and revision tables, ...).
bool IsSkippedDestination(std::string_view word) {
  static constexpr std::array<std::string_view, 52> kSkipped = {
      "aftncn",     "aftnsep",      "aftnsepc",
      "annotation", "atnauthor",    "atnid",
      "author",     "background",   "bkmkend",
      "bkmkstart",  "colortbl",     "comment",
      "datastore",  "doccomm",      "filetbl",
      "fldinst",    "footer",       "footerf",
      "footerl",    "footerr",      "footnote",
      "ftncn",      "ftnsep",       "ftnsepc",
      "generator",  "header",       "headerf",
      "headerl",    "headerr",      "info",
      "keywords",   "latentstyles", "listoverridetable",
      "listtable",  "nonshppict",   "object",
      "operator",   "pgdsctbl",     "pict",
      "pn",         "pntxta",       "pntxtb",
      "private",    "revtbl",       "rsidtbl",
      "stylesheet", "subject",      "tc",
      "themedata",  "title",        "xe",
      "xmlnstbl"};
  return std::find(kSkipped.begin(), kSkipped.end(), word) != kSkipped.end();
}

// Control words that stand for one character.
char32_t SpecialCharacter(std::string_view word) {
  static constexpr std::array<std::pair<std::string_view, char32_t>, 14> kSpecials = {{
      {"bullet", 0x2022},
      {"emdash", 0x2014},
      {"emspace", 0x2003},
      {"endash", 0x2013},
      {"enspace", 0x2002},
      {"ldblquote", 0x201C},
      {"lquote", 0x2018},
      {"ltrmark", 0x200E},
      {"qmspace", 0x2005},
      {"rdblquote", 0x201D},
      {"rquote", 0x2019},
      {"rtlmark", 0x200F},
      {"zwj", 0x200D},
      {"zwnj", 0x200C},
  }};
  for (const auto& [name, c] : kSpecials) {
    if (name == word) return c;
  }
  return 0;
}

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
int HexValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

enum class Destination { kText, kFontTable, kSkipped };

// What a group inherits from its parent and restores when it ends.
struct GroupState {
  Destination destination = Destination::kText;
  int64_t unicodeFallback = 1;  // \ucN: characters that follow each \uN for older readers
  int64_t font = -1;            // \fN; -1 is the document's default font
  int64_t associatedFont = -1;  // \afN
};

class Reader {
 public:
  explicit Reader(std::string_view in) : in_(in) {}
  std::optional<std::string> Read();

 private:
  void ReadControl();
  void ControlWord(std::string_view word, bool hasParam, int64_t param);
  void ControlSymbol(char symbol);
  void TextByte(unsigned char byte);
  void Emit(char32_t c);
  void EmitParagraphMark();
  void FlushBytes();
  void FlushSurrogate();
  int CurrentCodePage() const;
  IconvConverter* ConverterFor(int codePage);
  bool InText() const { return state_.destination == Destination::kText; }

  std::string_view in_;
  size_t pos_ = 0;
  std::vector<GroupState> stack_;
  GroupState state_;
  std::string out_;
  bool endsWithParagraphMark_ = false;
  // Bytes of text (literal or \'hh) not yet decoded: a double-byte character comes as two.
  std::string pendingBytes_;
  // Characters still to skip after a \uN.
  int64_t fallbackToSkip_ = 0;
  // A \uN high surrogate waiting for its low half.
  char32_t highSurrogate_ = 0;
  int documentCodePage_ = kWesternCodePage;
  int64_t defaultFont_ = 0;
  int64_t fontBeingDefined_ = -1;
  std::map<int64_t, int> fontCodePages_;
  std::map<int, std::unique_ptr<IconvConverter>> converters_;
};

std::optional<std::string> Reader::Read() {
  while (pos_ < in_.size()) {
    const char c = in_[pos_++];
    if (c == '{' || c == '}') {
      FlushBytes();
      fallbackToSkip_ = 0;
      if (c == '{') {
        if (stack_.size() == MaxRtfGroupDepth) return std::nullopt;
        stack_.push_back(state_);
        continue;
      }
      if (stack_.empty()) continue;  // a close brace before any group opened
      state_ = stack_.back();
      stack_.pop_back();
      if (stack_.empty()) break;  // the document's own group has ended
    } else if (c == '\\') {
      ReadControl();
    } else if (c == '\t') {
      ControlSymbol('\t');  // a raw tab counts as \tab
    } else if (static_cast<unsigned char>(c) >= 0x20) {
      TextByte(static_cast<unsigned char>(c));
    }  // other raw control bytes, line ends included, are only layout of the file
  }
  FlushBytes();
  FlushSurrogate();
  // The mark that ends the last paragraph does not open a line of its own.
  if (endsWithParagraphMark_) out_.pop_back();
  return std::move(out_);
}

void Reader::ReadControl() {
  if (pos_ >= in_.size()) return;
  if (!IsLetter(in_[pos_])) {
    ControlSymbol(in_[pos_++]);
    return;
  }
  const size_t start = pos_;
  while (pos_ < in_.size() && IsLetter(in_[pos_])) ++pos_;
  const std::string_view word = in_.substr(start, pos_ - start);

  bool negative = false;
  if (pos_ + 1 < in_.size() && in_[pos_] == '-' && IsDigit(in_[pos_ + 1])) {
    negative = true;
    ++pos_;
  }
  bool hasParam = false;
  int64_t param = 0;
  // Numbers are meant to fit 32 bits; longer ones are read to their end and held at the limit.
  constexpr int64_t kLimit = INT32_MAX;
  while (pos_ < in_.size() && IsDigit(in_[pos_])) {
    hasParam = true;
    param = std::min(kLimit, param * 10 + (in_[pos_] - '0'));
    ++pos_;
  }
  if (negative) param = -param;
  if (pos_ < in_.size() && in_[pos_] == ' ') ++pos_;  // the delimiting space belongs to the word
  ControlWord(word, hasParam, param);
}

void Reader::ControlSymbol(char symbol) {
  if (symbol == '\'') {
    int value = 0;
    int digits = 0;
    while (digits < 2 && pos_ < in_.size() && HexValue(in_[pos_]) >= 0) {
      value = value * 16 + HexValue(in_[pos_++]);
      ++digits;
    }
    if (digits > 0) TextByte(static_cast<unsigned char>(value));
    return;
  }
  if (symbol == '\\' || symbol == '{' || symbol == '}') {
    TextByte(static_cast<unsigned char>(symbol));
    return;
  }
  FlushBytes();
  if (fallbackToSkip_ > 0) {
    --fallbackToSkip_;
    return;
  }
  switch (symbol) {
    case '*':
      state_.destination = Destination::kSkipped;
      break;
    case '~':
      Emit(0x00A0);
      break;  // non-breaking space
    case '_':
      Emit(0x2011);
      break;  // non-breaking hyphen
    case '\t':
      Emit('\t');
      break;
    case '\r':
    case '\n':
      EmitParagraphMark();
      break;
    default:
      break;  // optional hyphen, index marks and unknown symbols show nothing
  }
}

void Reader::ControlWord(std::string_view word, bool hasParam, int64_t param) {
  FlushBytes();
  if (word == "bin") {
    // Binary data: param raw bytes that are never text, whatever they hold.
    const int64_t length = hasParam ? std::max<int64_t>(param, 0) : 0;
    pos_ += static_cast<size_t>(std::min<int64_t>(length, static_cast<int64_t>(in_.size() - pos_)));
    if (fallbackToSkip_ > 0) --fallbackToSkip_;
    return;
  }
  if (fallbackToSkip_ > 0) {
    --fallbackToSkip_;
    return;
  }
  if (word == "ansi") {
    documentCodePage_ = kWesternCodePage;
  } else if (word == "mac") {
    documentCodePage_ = 10000;
  } else if (word == "pc") {
    documentCodePage_ = 437;
  } else if (word == "pca") {
    documentCodePage_ = 850;
  } else if (word == "ansicpg") {
    if (hasParam && param > 0) documentCodePage_ = static_cast<int>(param);
  } else if (word == "deff") {
    defaultFont_ = param;
  } else if (word == "fonttbl") {
    if (state_.destination != Destination::kSkipped) state_.destination = Destination::kFontTable;
  } else if (word == "f") {
    if (state_.destination == Destination::kFontTable) {
      fontBeingDefined_ = param;
    } else {
      state_.font = param;
    }
  } else if (word == "af") {
    state_.associatedFont = param;
  } else if (word == "fcharset" || word == "cpg") {
    if (state_.destination == Destination::kFontTable && fontBeingDefined_ >= 0) {
      const int codePage = word == "cpg" ? static_cast<int>(std::max<int64_t>(param, 0))
                                         : CharsetCodePage(static_cast<int>(param));
      if (codePage > 0) fontCodePages_[fontBeingDefined_] = codePage;
    }
  } else if (IsSkippedDestination(word)) {
    state_.destination = Destination::kSkipped;
  } else if (word == "uc") {
    state_.unicodeFallback = std::max<int64_t>(param, 0);
  } else if (word == "u") {
    if (!hasParam) return;
    // A signed 16-bit number: negative values stand for U+8000 to U+FFFF.
    const int64_t value = param < 0 ? param + 65536 : param;
    Emit(value < 0 || value > 0x10FFFF ? char32_t{0xFFFD} : static_cast<char32_t>(value));
    fallbackToSkip_ = state_.unicodeFallback;
  } else if (word == "par") {
    EmitParagraphMark();
  } else if (word == "line" || word == "row") {
    Emit('\n');
  } else if (word == "tab" || word == "cell") {
    Emit('\t');
  } else if (const char32_t special = SpecialCharacter(word); special != 0) {
    Emit(special);
  }
}

void Reader::TextByte(unsigned char byte) {
  if (fallbackToSkip_ > 0) {
    --fallbackToSkip_;
    return;
  }
  if (!InText()) return;
  pendingBytes_ += static_cast<char>(byte);
}

void Reader::Emit(char32_t c) {
  if (!InText()) return;
  if (c >= 0xD800 && c <= 0xDBFF) {
    FlushSurrogate();
    highSurrogate_ = c;
    return;
  }
  if (c >= 0xDC00 && c <= 0xDFFF) {
    if (highSurrogate_ == 0) {
      c = 0xFFFD;
    } else {
      c = 0x10000 + ((highSurrogate_ - 0xD800) << 10) + (c - 0xDC00);
      highSurrogate_ = 0;
    }
  }
  FlushSurrogate();
  platform::AppendUtf8(out_, c);
  endsWithParagraphMark_ = false;
}

void Reader::EmitParagraphMark() {
  if (!InText()) return;
  Emit('\n');
  endsWithParagraphMark_ = true;
}

void Reader::FlushBytes() {
  if (pendingBytes_.empty()) return;
  FlushSurrogate();
  // A code page that iconv does not know is read as the Western one; UTF-8 is always there.
  IconvConverter* converter = ConverterFor(CurrentCodePage());
  if (converter == nullptr) converter = ConverterFor(kWesternCodePage);
  if (converter == nullptr) converter = ConverterFor(65001);
  DecodeToUtf8(*converter, pendingBytes_, out_);
  pendingBytes_.clear();
  endsWithParagraphMark_ = false;
}

void Reader::FlushSurrogate() {
  if (highSurrogate_ == 0) return;
  highSurrogate_ = 0;
  out_ += kReplacementCharacter;
  endsWithParagraphMark_ = false;
}

int Reader::CurrentCodePage() const {
  const auto fontCodePage = [this](int64_t font) {
    const auto it = fontCodePages_.find(font);
    return it == fontCodePages_.end() ? 0 : it->second;
  };
  if (const int codePage = fontCodePage(state_.font >= 0 ? state_.font : defaultFont_)) {
    return codePage;
  }
  // Some word processors select a double-byte font for Chinese text as the associated font only.
  if (const int codePage = fontCodePage(state_.associatedFont); IsDoubleByteCodePage(codePage)) {
    return codePage;
  }
  return documentCodePage_;
}

IconvConverter* Reader::ConverterFor(int codePage) {
  auto it = converters_.find(codePage);
  if (it == converters_.end()) {
    std::unique_ptr<IconvConverter> converter;
    try {
      converter = std::make_unique<IconvConverter>(CodePageCharset(codePage), "UTF-8");
    } catch (const std::invalid_argument&) {
      // Unknown to iconv: remembered as null, so it is asked only once.
    }
    it = converters_.emplace(codePage, std::move(converter)).first;
  }
  return it->second.get();
}

}  // namespace

bool IsRtf(std::string_view bytes) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  while (!bytes.empty() && (bytes.front() == ' ' || bytes.front() == '\t' ||
                            bytes.front() == '\r' || bytes.front() == '\n')) {
    bytes.remove_prefix(1);
  }
  return bytes.substr(0, 5) == "{\\rtf";
}

std::optional<std::string> ReadRtf(std::string_view bytes) { return Reader(bytes).Read(); }

}  // namespace talyx::formats
