// TAppOptions: the window's own options beyond the sections "Form" and "parameter" (character set
// of text, automatic reconnect, interface language, receive lines, the views' limit and size), kept
// in the settings file's section "options".
//
// "Form" and "parameter" keep exactly their keys; these live in a section of their own:
//   [options]
//   Charset=locale        (locale, utf-8 or gbk; anything else reads as locale)
//   AutoReconnect=1
//   RegisterFormat=u16    (u16, s16, hex, or u32, s32, f32 with -abcd, -cdab, -badc, -dcba;
//                          anything else reads as u16)
//   Language=zh           (zh, en or system; anything else reads as zh)
//   Timestamps=0          (each receive line begins with the time its first byte was read)
//   FrameGap=0            (a new receive line after FrameGapMs without bytes)
//   FrameGapMs=20         (1 to 10000; out of range reads as the nearest bound)
//   ReceiveViewLimitMi=16 (the receive view keeps at most this many Mi characters, 2^20 each, of
//                          received text; 1 to 256, out of range reads as the nearest bound)
//   StretchViews=0        (the receive and register views grow with the window)
//   CaptureFolder=        (the bus capture's folder; empty: $XDG_DATA_HOME/talyx/captures)
//   CaptureRotateMb=100   (a new capture file after this many MB; 1 to 4096, out of range reads
//                          as the nearest bound)
//   CaptureTextLog=0      (a text log beside each capture file)
//   CaptureAtStart=0      (the capture starts with the program)
// Main thread only.
#pragma once

#include <QtGlobal>
#include <cstdint>
#include <string>

#include "app/settings/settingsfile.h"
#include "text/registerformat.h"

namespace talyx::app {

using formats::TRegisterFormat;

// The character set of text receive, text send and plain-text loading.
enum class TTextCharset { tcLocale, tcUtf8, tcGbk };

// The interface language: Chinese, English, or by the locale (English unless it is a Chinese one).
enum class TLanguage { lgChinese, lgEnglish, lgSystem };

struct TAppOptions {
  TTextCharset Charset = TTextCharset::tcLocale;
  bool AutoReconnect = true;
  TRegisterFormat RegisterFormat = TRegisterFormat::rfU16;
  TLanguage Language = TLanguage::lgChinese;
  bool Timestamps = false;
  bool FrameGap = false;
  int32_t FrameGapMs = DefaultFrameGapMs;
  int32_t ReceiveViewLimitMi = DefaultReceiveViewLimitMi;
  bool StretchViews = false;
  std::string CaptureFolder;
  int32_t CaptureRotateMb = DefaultCaptureRotateMb;
  bool CaptureTextLog = false;
  bool CaptureAtStart = false;

  static constexpr int32_t DefaultFrameGapMs = 20;
  static constexpr int32_t MinFrameGapMs = 1;
  static constexpr int32_t MaxFrameGapMs = 10000;
  static constexpr int32_t DefaultReceiveViewLimitMi = 16;
  static constexpr int32_t MinReceiveViewLimitMi = 1;
  static constexpr int32_t MaxReceiveViewLimitMi = 256;
  static constexpr int32_t DefaultCaptureRotateMb = 100;
  static constexpr int32_t MinCaptureRotateMb = 1;
  static constexpr int32_t MaxCaptureRotateMb = 4096;

  // ReceiveViewLimitMi in characters.
  qsizetype ReceiveViewLimit() const { return qsizetype{ReceiveViewLimitMi} << 20; }

  static TAppOptions Read(const TSettingsFile& settings);
  // Raises EIniFileException when a key cannot be written.
  void Write(TSettingsFile& settings) const;
};

// The iconv name of the character set: the locale's own, "UTF-8", or "GB18030" for GBK (its
// superset, so every GBK byte sequence reads the same and four-byte codes read too).
std::string CharsetName(TTextCharset charset);

}  // namespace talyx::app
