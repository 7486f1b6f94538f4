// PlatformText: the platform layer's fixed phrases and their replacement.
#include "app/devices/platformtext.h"

#include <QCoreApplication>

namespace talyx::app {

namespace {

constexpr const char* Context = "PlatformText";

// As platform/portmap.cpp and platform/serialdiscovery.cpp word them. A phrase that holds
// another comes before it.
constexpr const char* Phrases[] = {
    QT_TRANSLATE_NOOP("PlatformText", "演示设备 (Modbus 从站)"),
    QT_TRANSLATE_NOOP("PlatformText", "(系统控制台)"),
    QT_TRANSLATE_NOOP("PlatformText", "(不可用)"),
    QT_TRANSLATE_NOOP("PlatformText", "USB 调制解调器 (ACM)"),
    QT_TRANSLATE_NOOP("PlatformText", "USB 串口"),
    QT_TRANSLATE_NOOP("PlatformText", "板载串口"),
    QT_TRANSLATE_NOOP("PlatformText", "蓝牙串口"),
    QT_TRANSLATE_NOOP("PlatformText", "其他串口"),
    QT_TRANSLATE_NOOP("PlatformText", "序列号 "),
    QT_TRANSLATE_NOOP("PlatformText", "驱动 "),
};

}  // namespace

QString PlatformText(const std::string& text) {
  QString result = QString::fromStdString(text);
  for (const char* phrase : Phrases) {
    const QString source = QString::fromUtf8(phrase);
    const QString translated = QCoreApplication::translate(Context, phrase);
    if (translated != source) result.replace(source, translated);
  }
  return result;
}

}  // namespace talyx::app
