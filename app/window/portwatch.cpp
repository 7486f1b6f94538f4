// The port watch's texts and colours.
#include "app/window/portwatch.h"

namespace talyx::app {

namespace {

// The format without its time-zone fields ("t" outside quoted text) and the blanks beside them.
QString WithoutTimeZone(const QString& format) {
  QString result;
  bool quoted = false;
  for (const QChar c : format) {
    if (c == QLatin1Char('\'')) quoted = !quoted;
    if (!quoted && c == QLatin1Char('t')) continue;
    result += c;
  }
  return result.simplified();
}

}  // namespace

QColor LampColor(bool portOpen) { return portOpen ? QColor(0, 255, 0) : QColor(255, 0, 0); }

QString WatchClockText(const QDateTime& now, const QLocale& locale) {
  return locale.toString(now.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
         locale.toString(now.time(), WithoutTimeZone(locale.timeFormat(QLocale::LongFormat)));
}

}  // namespace talyx::app
