// PlatformText: the platform layer's fixed phrases and their replacement.
#include "app/devices/platformtext.h"

#include <QCoreApplication>
#include <QStringList>

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
    QT_TRANSLATE_NOOP("PlatformText", " — 网络串口 (TCP)"),
    QT_TRANSLATE_NOOP("PlatformText", " — 网络串口 (RFC 2217)"),
    QT_TRANSLATE_NOOP("PlatformText", " (地址格式不正确)"),
    QT_TRANSLATE_NOOP("PlatformText", "地址格式不正确："),
    QT_TRANSLATE_NOOP("PlatformText", "连接被拒绝："),
    QT_TRANSLATE_NOOP("PlatformText", "连接超时："),
    QT_TRANSLATE_NOOP("PlatformText", "连接超时"),
    QT_TRANSLATE_NOOP("PlatformText", "找不到主机："),
    QT_TRANSLATE_NOOP("PlatformText", "无法连接："),
    QT_TRANSLATE_NOOP("PlatformText", "服务器关闭了连接"),
    QT_TRANSLATE_NOOP("PlatformText", "服务器："),
    QT_TRANSLATE_NOOP("PlatformText", "服务器未确认 RFC 2217 线路控制，线路设置可能不会生效"),
    QT_TRANSLATE_NOOP("PlatformText", "服务器未确认 DTR/RTS 的设置，已继续"),
    QT_TRANSLATE_NOOP("PlatformText", "服务器的数据不合协议，连接已断开："),
};

// "first-holder（PID 1234）, second-holder（PID 1240）": the holders seen with their pid.
QString HolderList(const std::vector<platform::PortHolder>& holders) {
  QStringList names;
  for (const platform::PortHolder& holder : holders) {
    if (holder.Pid <= 0) continue;
    const QString program =
        holder.Program.empty() ? QStringLiteral("?") : QString::fromStdString(holder.Program);
    names << QCoreApplication::translate("PlatformText", "%1（PID %2）")
                 .arg(program, QString::number(holder.Pid));
  }
  return names.join(QStringLiteral(", "));
}

}  // namespace

QString OpenFailureText(const platform::DeviceDiagnosis& diagnosis, const QString& device) {
  switch (diagnosis.Fault) {
    case platform::OpenFault::Missing:
      if (!diagnosis.Detail.empty()) {
        return QCoreApplication::translate("PlatformText", "%1：%2")
            .arg(device, PlatformText(diagnosis.Detail));
      }
      return QCoreApplication::translate("PlatformText", "设备不存在：%1").arg(device);
    case platform::OpenFault::PermissionDenied:
      if (diagnosis.Group.empty()) {
        return QCoreApplication::translate("PlatformText",
                                           "没有打开 %1 的权限。请把用户 %2 加入设备所属的组"
                                           "（例如 dialout），然后重新登录。")
            .arg(device, QString::fromStdString(diagnosis.User));
      }
      return QCoreApplication::translate("PlatformText",
                                         "没有打开 %1 的权限：设备属于组 %2。请把用户 %3 加入该组"
                                         "（sudo usermod -aG %2 %3），然后重新登录。")
          .arg(device, QString::fromStdString(diagnosis.Group),
               QString::fromStdString(diagnosis.User));
    case platform::OpenFault::InUse: {
      if (!diagnosis.Detail.empty()) {
        return QCoreApplication::translate("PlatformText", "%1 正被占用：%2")
            .arg(device, PlatformText(diagnosis.Detail));
      }
      const QString holders = HolderList(diagnosis.Holders);
      if (holders.isEmpty()) {
        return QCoreApplication::translate("PlatformText", "%1 正被其他程序占用。").arg(device);
      }
      return QCoreApplication::translate("PlatformText", "%1 正被其他程序占用：%2")
          .arg(device, holders);
    }
    case platform::OpenFault::Unknown:
      break;
  }
  return {};
}

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
