// Helpers for the tests of the rooms that stand without the main window: the program's
// offscreen TApplication and recorded message boxes.
#pragma once

#include <QStringList>

#include "app/shell/messagebox.h"

namespace talyx::testing {

// Makes sure the program's TApplication exists (offscreen). It is created once and destroyed
// when the test program's tests have ended.
void EnsureApplication();

// Answers every message box with OK and records its text and informative text, until it ends.
class MessageRecorder {
 public:
  MessageRecorder();
  ~MessageRecorder();
  MessageRecorder(const MessageRecorder&) = delete;
  MessageRecorder& operator=(const MessageRecorder&) = delete;

  QStringList Texts;
  QStringList InformativeTexts;

 private:
  app::MessageBoxHook previous_;
};

}  // namespace talyx::testing
