// TAppOptions: the section "options" of the settings file.
#include "app/settings/appoptions.h"

#include <algorithm>
#include <cctype>

#include "text/charset.h"

namespace talyx::app {

namespace {

constexpr const char* OptionsSection = "options";

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

TAppOptions TAppOptions::Read(const TSettingsFile& file) {
  const TSettingsSnapshot settings = file.Read();
  TAppOptions options;
  const std::string charset = Lower(settings.ReadString(OptionsSection, "Charset", "locale"));
  if (charset == "utf-8" || charset == "utf8") {
    options.Charset = TTextCharset::tcUtf8;
  } else if (charset == "gbk" || charset == "gb18030") {
    options.Charset = TTextCharset::tcGbk;
  }
  options.AutoReconnect = settings.ReadBool(OptionsSection, "AutoReconnect", true);
  options.RegisterFormat =
      formats::RegisterFormatFromName(settings.ReadString(OptionsSection, "RegisterFormat", "u16"));
  const std::string language = Lower(settings.ReadString(OptionsSection, "Language", "zh"));
  if (language == "en") {
    options.Language = TLanguage::lgEnglish;
  } else if (language == "system") {
    options.Language = TLanguage::lgSystem;
  }
  options.Timestamps = settings.ReadBool(OptionsSection, "Timestamps", false);
  options.FrameGap = settings.ReadBool(OptionsSection, "FrameGap", false);
  options.FrameGapMs =
      std::clamp(settings.ReadInteger(OptionsSection, "FrameGapMs", DefaultFrameGapMs),
                 MinFrameGapMs, MaxFrameGapMs);
  options.ReceiveViewLimitMi = std::clamp(
      settings.ReadInteger(OptionsSection, "ReceiveViewLimitMi", DefaultReceiveViewLimitMi),
      MinReceiveViewLimitMi, MaxReceiveViewLimitMi);
  options.StretchViews = settings.ReadBool(OptionsSection, "StretchViews", false);
  options.CaptureFolder = settings.ReadString(OptionsSection, "CaptureFolder", "");
  options.CaptureRotateMb =
      std::clamp(settings.ReadInteger(OptionsSection, "CaptureRotateMb", DefaultCaptureRotateMb),
                 MinCaptureRotateMb, MaxCaptureRotateMb);
  options.CaptureTextLog = settings.ReadBool(OptionsSection, "CaptureTextLog", false);
  options.CaptureAtStart = settings.ReadBool(OptionsSection, "CaptureAtStart", false);
  return options;
}

void TAppOptions::Write(TSettingsFile& settings) const {
  const char* names[] = {"locale", "utf-8", "gbk"};
  settings.WriteString(OptionsSection, "Charset", names[static_cast<int>(Charset)]);
  settings.WriteBool(OptionsSection, "AutoReconnect", AutoReconnect);
  settings.WriteString(OptionsSection, "RegisterFormat",
                       formats::RegisterFormatName(RegisterFormat));
  const char* languages[] = {"zh", "en", "system"};
  settings.WriteString(OptionsSection, "Language", languages[static_cast<int>(Language)]);
  settings.WriteBool(OptionsSection, "Timestamps", Timestamps);
  settings.WriteBool(OptionsSection, "FrameGap", FrameGap);
  settings.WriteInteger(OptionsSection, "FrameGapMs", FrameGapMs);
  settings.WriteInteger(OptionsSection, "ReceiveViewLimitMi", ReceiveViewLimitMi);
  settings.WriteBool(OptionsSection, "StretchViews", StretchViews);
  settings.WriteString(OptionsSection, "CaptureFolder", CaptureFolder);
  settings.WriteInteger(OptionsSection, "CaptureRotateMb", CaptureRotateMb);
  settings.WriteBool(OptionsSection, "CaptureTextLog", CaptureTextLog);
  settings.WriteBool(OptionsSection, "CaptureAtStart", CaptureAtStart);
}

std::string CharsetName(TTextCharset charset) {
  switch (charset) {
    case TTextCharset::tcUtf8:
      return "UTF-8";
    case TTextCharset::tcGbk:
      return "GB18030";
    case TTextCharset::tcLocale:
      break;
  }
  return formats::LocaleCharset();
}

}  // namespace talyx::app
