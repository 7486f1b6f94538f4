// Qt helpers for the dialog tests: one offscreen application for the test program, and a way to
// act on a modal dialog once its event loop runs.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <functional>

namespace talyx::testing {

// Makes sure the offscreen application exists. It is created once and destroyed when the test
// program's tests have ended, before Qt's own statics go away.
void EnsureQtApplication();

// Runs act on the active modal widget of type Dialog as soon as the event loop runs it.
template <class Dialog>
void WhenModalShown(std::function<void(Dialog&)> act) {
  QTimer::singleShot(0, [act] {
    auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    act(*dialog);
  });
}

}  // namespace talyx::testing
