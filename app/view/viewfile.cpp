// The saved receive view: Rich Text Format through our writer, replacing the file whole.
#include "app/view/viewfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QSaveFile>
#include <string>
#include <string_view>

#include "text/rtfwriter.h"

namespace talyx::app {

EFileCreateError FileCreateError(const QString& path) {
  return EFileCreateError(QCoreApplication::translate("SaveViewFile", "不能创建文件 %1")
                              .arg(QDir::toNativeSeparators(path))
                              .toStdString());
}

void SaveViewFile(const QString& path, const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  const std::string document = formats::WriteRtf(std::string_view(utf8.constData(), utf8.size()));
  // Written beside the old file and renamed over it, so a failure never leaves half a file; in
  // a folder that allows no new files the file is written in place. flush before commit: the
  // commit of a buffered file does not see a failure of its own last flush, and would rename
  // half a file over the whole one.
  QSaveFile file(path);
  file.setDirectWriteFallback(true);
  if (!file.open(QIODevice::WriteOnly) ||
      file.write(document.data(), static_cast<qint64>(document.size())) !=
          static_cast<qint64>(document.size()) ||
      !file.flush() || !file.commit()) {
    throw FileCreateError(path);
  }
}

}  // namespace talyx::app
