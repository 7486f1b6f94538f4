// The interface language: the terminal's translator and Qt's own, installed or removed.
#include "app/shell/language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace talyx::app {

namespace {

constexpr const char* EnglishTranslation = ":/i18n/talyx_en.qm";
// Qt's catalogue of its own texts in simplified Chinese, the Chinese of the terminal's texts.
constexpr const char* QtChineseTranslation = "qt_zh_CN";

QTranslator& Translator() {
  static QTranslator translator;
  return translator;
}

QTranslator& QtTranslator() {
  static QTranslator translator;
  return translator;
}

// Qt's texts in Chinese, when Qt's translations are installed; else they stay English.
void InstallQtChinese() {
  QTranslator& translator = QtTranslator();
  if (translator.load(QString::fromLatin1(QtChineseTranslation),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(&translator);
  }
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
  QCoreApplication::removeTranslator(&QtTranslator());
  if (!IsEnglishInterface(language)) {
    InstallQtChinese();
    return true;
  }
  if (translator.load(QString::fromLatin1(EnglishTranslation)) &&
      QCoreApplication::installTranslator(&translator)) {
    return true;
  }
  InstallQtChinese();
  return false;
}

}  // namespace talyx::app
