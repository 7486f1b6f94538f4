// The engine's message queue inside the real Qt event loop: sends from worker threads are
// served in nested loops, a busy GUI thread makes senders wait, and errors are reported.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>

#include "app/shell/messagebox.h"
#include "apptesting.h"
#include "errors/commerror.h"
#include "platform/messagequeue.h"

namespace talyx::testing {
namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t TestMsg = 0x0400;

// A hidden window whose procedure records where and when it ran and answers wParam + 1.
struct RecordingWindow {
  RecordingWindow() {
    Handle = platform::CreateHiddenWindow(
        "TestWindow",
        [this](platform::WindowHandle, uint32_t, platform::WParam w, platform::LParam) {
          RanOnMainThread = platform::IsMainThread();
          RanAt = Clock::now();
          Ran = true;
          return static_cast<platform::LResult>(w + 1);
        });
  }
  ~RecordingWindow() { platform::DestroyHiddenWindow(Handle); }

  platform::WindowHandle Handle = 0;
  std::atomic<bool> Ran{false};
  bool RanOnMainThread = false;
  Clock::time_point RanAt;
};

// A worker thread that sends TestMsg with wParam 41 to the window.
struct Sender {
  explicit Sender(platform::WindowHandle window)
      : Thread([this, window] {
          Started = true;
          Delivered = platform::SendMessageTimeout(window, TestMsg, 41, 0, 3000, &Result);
          Done = true;
        }) {}
  ~Sender() { Thread.join(); }

  std::atomic<bool> Started{false};
  std::atomic<bool> Done{false};
  bool Delivered = false;
  platform::LResult Result = 0;
  std::thread Thread;
};

TEST(QtBridge, AWorkersSendIsServedWhileAModalMessageBoxIsOpen) {
  EnsureApplication();
  RecordingWindow window;
  std::unique_ptr<Sender> sender;
  // Once the message box's own loop runs, a worker sends; when its send has come back, the box
  // is closed (at the latest after ten seconds, failing the test).
  QTimer::singleShot(0, [&] {
    sender = std::make_unique<Sender>(window.Handle);
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    auto* poll = new QTimer(QApplication::activeModalWidget());
    QObject::connect(poll, &QTimer::timeout, [&, deadline] {
      if (!sender->Done && Clock::now() < deadline) return;
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box != nullptr) box->button(QMessageBox::Ok)->click();
    });
    poll->start(5);
  });
  app::ShowMessage(QStringLiteral("等待"));
  ASSERT_NE(sender, nullptr);
  sender.reset();  // joins
  EXPECT_TRUE(window.Ran);
  EXPECT_TRUE(window.RanOnMainThread);
}

TEST(QtBridge, ABlockedGuiThreadMakesASenderWaitInsteadOfFailing) {
  EnsureApplication();
  RecordingWindow window;
  Sender sender(window.Handle);
  while (!sender.Started) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the GUI thread is busy
  const Clock::time_point blockEnded = Clock::now();
  EXPECT_FALSE(window.Ran);
  ASSERT_TRUE(QTest::qWaitFor([&] { return sender.Done.load(); }, 10000));
  EXPECT_TRUE(sender.Delivered);
  EXPECT_EQ(sender.Result, 42);
  EXPECT_GE(window.RanAt, blockEnded);
}

TEST(QtBridge, ErrorsOfWindowProceduresAndOfThePortComponentAreReported) {
  EnsureApplication();
  MessageRecorder messages;
  const platform::WindowHandle window = platform::CreateHiddenWindow(
      "TestWindow",
      [](platform::WindowHandle, uint32_t, platform::WParam,
         platform::LParam) -> platform::LResult { throw Exception("设备故障"); });
  platform::PostMessage(window, TestMsg, 0, 0);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !messages.Texts.empty(); }, 10000));
  platform::DestroyHiddenWindow(window);

  ShowApplicationException(ECommException(ecNoPortSelected));
  EXPECT_EQ(messages.Texts, (QStringList{QStringLiteral("设备故障"),
                                         QString::fromStdString(ErrorText(ecNoPortSelected))}));
}

}  // namespace
}  // namespace talyx::testing
