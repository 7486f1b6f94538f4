// The port watch's texts and colours: the state lamp's two colours, the status bar's clock text
// and version text.
#pragma once

#include <QColor>
#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>
#include <QString>

namespace talyx::app {

// The state lamp: pure green while the port is open, pure red while it is closed.
QColor LampColor(bool portOpen);

// The status bar's clock: the locale's short date, one blank, and the locale's long time (with
// seconds). The time zone that some locales add to their long time is left out: the panel shows
// local time only, and has no room for a zone name.
QString WatchClockText(const QDateTime& now, const QLocale& locale);

// The version shown in the status bar.
inline QString VersionText() { return QCoreApplication::translate("PortWatch", "版本号：V1.22"); }

}  // namespace talyx::app
