// The saved receive view: its text written as a Rich Text Format file, and the error of a file
// that cannot be created. Any thread (no widget is touched).
#pragma once

#include <QString>

#include "errors/exception.h"

namespace talyx::app {

// A file that cannot be created or written.
class EFileCreateError : public Exception {
 public:
  using Exception::Exception;
};

// The error of a file that cannot be created: "不能创建文件 %s" (%s: the path).
EFileCreateError FileCreateError(const QString& path);

// Writes the text to path as a Rich Text Format document (one paragraph per line, every
// character outside ASCII as a Unicode escape), replacing a file already there. The old file
// stays whole until the new one is complete. Raises FileCreateError when the file cannot be
// created or written.
void SaveViewFile(const QString& path, const QString& text);

}  // namespace talyx::app
