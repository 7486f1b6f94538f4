// TApplication and the general error report.
#include "app/shell/application.h"

#include <QIcon>
#include <stdexcept>

#include "app/shell/messagebox.h"
#include "app/shell/qtbridge.h"
#include "port/apphooks.h"

namespace talyx::app {

QString ApplicationTitleText() { return TApplication::tr(ApplicationTitle); }

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
  // The installed desktop entry and icon share this id: the desktop matches the windows to the
  // entry by it, and the windows take the icon from the icon theme (none when not installed).
  const QString desktopId = QStringLiteral("org.talyx.Talyx");
  setDesktopFileName(desktopId);
  setWindowIcon(QIcon::fromTheme(desktopId));
  SetApplicationExceptionHook(ShowException);
  bridge_ = std::make_unique<TQtBridge>();
}

TApplication::~TApplication() {
  bridge_.reset();
  SetApplicationExceptionHook(nullptr);
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    ShowException(error);
  } catch (...) {
    ShowException(std::runtime_error(tr("未知错误").toStdString()));
  }
  return false;
}

void ShowException(const std::exception& error) {
  ShowMessage(QString::fromUtf8(error.what()), MessageKind::Error);
}

}  // namespace talyx::app
