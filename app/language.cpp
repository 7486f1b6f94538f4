// The interface language: one translator for the whole program, installed or removed.
#include "app/language.h"

#include <QCoreApplication>
#include <QTranslator>

namespace talyx::app {

namespace {

constexpr const char* EnglishTranslation = ":/i18n/talyx_en.qm";

QTranslator& Translator() {
  static QTranslator translator;
  return translator;
}

}  // namespace

bool IsEnglishInterface(TLanguage language, const QLocale& locale) {
  switch (language) {
    case TLanguage::lgEnglish:
      return true;
    case TLanguage::lgSystem:
      return locale.language() != QLocale::Chinese;
    case TLanguage::lgChinese:
      break;
  }
  return false;
}

bool SetInterfaceLanguage(TLanguage language) {
  QTranslator& translator = Translator();
  QCoreApplication::removeTranslator(&translator);
  bool loaded = true;
  if (IsEnglishInterface(language)) {
    loaded = translator.load(QString::fromLatin1(EnglishTranslation)) &&
             QCoreApplication::installTranslator(&translator);
  }
  return loaded;
}

}  // namespace talyx::app
