// The receive and send paths against small fake windows, over a port on the fake device: the
// auto-clear rule, the decoding counter across events, and the pacing of a long hexadecimal send.
#include <gtest/gtest.h>

#include <QFileDialog>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <memory>
#include <utility>
#include <vector>

#include "app/receive/receivepath.h"
#include "app/receive/receivewindow.h"
#include "app/receive/windowstate.h"
#include "app/send/sendpath.h"
#include "app/send/sendwindow.h"
#include "app/shelltesting.h"
#include "app/view/receiveview.h"
#include "dispatch/devlayer.h"
#include "port/porttesting.h"
#include "support/fakeserialdevice.h"
#include "support/ptypair.h"

namespace talyx::testing {
namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

// Real views; the options are fields; what the path shows in the status bar is recorded.
class FakeReceiveWindow : public app::TReceiveWindow {
 public:
  app::TReceiveView& ReceiveView() override { return view; }
  QPlainTextEdit& RegisterView() override { return registers; }
  bool HexGet() const override { return true; }
  bool StopShow() const override { return false; }
  bool LineByLine() const override { return false; }
  bool AutoClear() const override { return autoClear; }
  formats::ReceiveLines::Options LineOptions() const override { return {}; }
  void ShowRecvCount(int32_t count) override { shownCount = count; }
  void ShowOlderTextDropped() override {}

  app::TReceiveView view;
  QPlainTextEdit registers;
  bool autoClear = true;
  int32_t shownCount = -1;
};

// A send box and a timer; hexadecimal send on, every other option off; what the path shows is
// recorded.
class FakeSendWindow : public app::TSendWindow {
 public:
  QPlainTextEdit& SendBox() override { return box; }
  QFileDialog& SendFileDialog() override {
    if (!dialog) dialog = std::make_unique<QFileDialog>();
    return *dialog;
  }
  bool HexSend() const override { return true; }
  bool AddCenter() const override { return false; }
  bool ClearAfterSend() const override { return false; }
  bool EnterSend() const override { return false; }
  bool AutoSend() const override { return false; }
  void UncheckAutoSend() override {}
  int32_t AutoSendInterval() const override { return 0; }
  QTimer& AutoSendTimer() override { return timer; }
  bool DeviceReturning() const override { return false; }
  void ClearViews() override { ++viewClearings; }
  void ShowSendCount(int32_t count) override { shownCount = count; }
  void ShowNotice(const QString& text) override { notices << text; }
  void ShowError(const std::exception& error) override {
    errors << QString::fromUtf8(error.what());
  }

  QPlainTextEdit box;
  QTimer timer;
  std::unique_ptr<QFileDialog> dialog;
  int viewClearings = 0;
  int32_t shownCount = -1;
  QStringList notices;
  QStringList errors;
};

// COM7 on a fake device; the window state the paths share.
class PathWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureApplication();
    port.SetDispatcherFactory([this](TCustomComPort& owner) {
      auto device = std::make_unique<FakeSerialDevice>();
      fake = device.get();
      return std::make_unique<TWin32Dispatcher>(&owner, std::move(device));
    });
    port.SetComNumber(7);
  }
  void TearDown() override { ForgetTriggerEvents(port); }

  ScopedPortMap map{{{7, "/fake/com7"}}};
  MessageRecorder messages;
  TComPort port;
  FakeSerialDevice* fake = nullptr;  // the open port's device (its dispatcher owns it)
  app::TWindowState state;
};

class ReceivePathWindowTest : public PathWindowsTest {
 protected:
  void SetUp() override {
    PathWindowsTest::SetUp();
    window = std::make_unique<FakeReceiveWindow>();
    path = std::make_unique<app::TReceivePath>(*window, state);
  }
  void TearDown() override {
    PathWindowsTest::TearDown();
    path.reset();
  }

  void OpenPort() {
    port.SetOnTrigger([this](TCustomComPort& CP, uint16_t Msg, uint16_t, uint16_t Data) {
      path->Trigger(CP, Msg, Data);
    });
    port.SetOpen(true);
    ASSERT_NE(fake, nullptr);
  }
  // The far end sends the bytes, taken in one event: the test waits until they are counted.
  void Event(const Bytes& bytes) {
    const int32_t expected = state.RecvCount + static_cast<int32_t>(bytes.size());
    fake->FeedInput(bytes);
    ASSERT_TRUE(QTest::qWaitFor([&] { return state.RecvCount == expected; }, 5000))
        << "counted " << state.RecvCount << " of " << expected;
  }
  QString Registers() const { return window->registers.toPlainText(); }
  qsizetype Shown() {
    path->Display().Flush();
    return window->view.CharacterCount();
  }

  std::unique_ptr<FakeReceiveWindow> window;
  std::unique_ptr<app::TReceivePath> path;
};

TEST_F(ReceivePathWindowTest, AutoClearEmptiesTheViewOncePast10000CharactersOnlyWhenChecked) {
  window->autoClear = false;
  path->leijia(QString(10001, u'z'));
  EXPECT_EQ(Shown(), 10001);

  window->autoClear = true;
  path->Memo_ShowChange();
  EXPECT_EQ(Shown(), 0);
  // A line of its own counts its break: 9,999 + 2.
  path->leijia(QString(9999, u'a'));
  EXPECT_EQ(Shown(), 9999);
  path->zhuhang(QStringLiteral("b"));
  EXPECT_EQ(Shown(), 0);

  // Reaching 10,000 is not passing it; the user's own edit that passes it is cleared by the
  // rule run after the edit.
  path->leijia(QString(10000, u'c'));
  EXPECT_EQ(Shown(), 10000);
  window->view.SetCursorPosition(10000);
  window->view.InsertText(QStringLiteral("d"));
  EXPECT_EQ(Shown(), 10001);
  path->Memo_ShowChange();
  EXPECT_EQ(Shown(), 0);
}

TEST_F(ReceivePathWindowTest, DecodingCountsBytesAcrossEventsAndDecodesOnlyAtAMultipleOf2NPlus5) {
  OpenPort();
  state.RegCount = 2;
  // One reply in two events: decoded after the second.
  Event({0x01, 0x03, 0x04, 0x00});
  EXPECT_EQ(state.DecodeBytes, 4);
  EXPECT_TRUE(Registers().isEmpty());
  Event({0x0A, 0x00, 0x14, 0xDA, 0x3E});
  EXPECT_EQ(state.DecodeBytes, 0);
  EXPECT_TRUE(state.DecodeText.isEmpty());
  EXPECT_EQ(Registers(), QStringLiteral("第1个参数=10\n第2个参数=20"));

  // A reply and one byte more: 10 is no multiple of 9, so the decoding waits for an event that
  // ends at 18, and then reads the registers from the start of the gathered text.
  Event({0x01, 0x03, 0x04, 0x00, 0x03, 0x00, 0x04, 0x00, 0x00, 0x55});
  EXPECT_EQ(state.DecodeBytes, 10);
  Event({0x01, 0x03, 0x04, 0x00, 0x05, 0x00, 0x06});
  EXPECT_EQ(state.DecodeBytes, 17);
  Event({0x00});
  EXPECT_EQ(state.DecodeBytes, 0);
  EXPECT_EQ(Registers(), QStringLiteral("第1个参数=10\n第2个参数=20\n第1个参数=3\n第2个参数=4"));

  // With no register count every fifth byte ends a (silent) decoding.
  state.RegCount = 0;
  Event({0x01, 0x02, 0x03});
  EXPECT_EQ(state.DecodeBytes, 3);
  Event({0x04, 0x05});
  EXPECT_EQ(state.DecodeBytes, 0);
  EXPECT_TRUE(state.DecodeText.isEmpty());
  EXPECT_EQ(Registers().count(u'\n'), 3);

  EXPECT_EQ(state.RecvCount, 32);
  path->Display().Flush();
  EXPECT_EQ(window->shownCount, 32);
}

class SendPathWindowTest : public PathWindowsTest {
 protected:
  void SetUp() override {
    PathWindowsTest::SetUp();
    window = std::make_unique<FakeSendWindow>();
    path = std::make_unique<app::TSendPath>(*window, state, port);
  }
  void TearDown() override {
    path.reset();
    PathWindowsTest::TearDown();
  }

  void OpenPort() {
    port.SetOpen(true);
    ASSERT_NE(fake, nullptr);
  }
  bool Arrived(size_t count) {
    return QTest::qWaitFor([&] { return fake->Output().size() >= count; }, 5000);
  }

  std::unique_ptr<FakeSendWindow> window;
  std::unique_ptr<app::TSendPath> path;
};

// 23 bytes and the CRC in chunks of 8, 8, 8 and 1 bytes. While the send pauses, a timer looks at
// what the device took: chunk k is queued only after k pauses of 20 ms (a coarse timer may end
// one up to 5% early), so more than 8k bytes are never seen sooner.
TEST_F(SendPathWindowTest, ALongFrameLeavesInChunksOfEightBytesEachAfterItsOwnPause) {
  OpenPort();
  QString text;
  for (int i = 0; i < 23; ++i) text += QStringLiteral("%1 ").arg(i + 0x10, 2, 16);
  window->box.setPlainText(text);

  std::vector<std::pair<Clock::duration, size_t>> seen;
  const Clock::time_point start = Clock::now();
  QTimer sampler;
  sampler.setInterval(1);
  QObject::connect(&sampler, &QTimer::timeout,
                   [&] { seen.emplace_back(Clock::now() - start, fake->Output().size()); });
  sampler.start();
  path->Btn_SendClick();
  ASSERT_TRUE(Arrived(25));
  sampler.stop();

  const Bytes wire = fake->Output();
  ASSERT_EQ(wire.size(), 25u);
  EXPECT_EQ(wire[0], 0x10);
  EXPECT_EQ(wire[22], 0x26);
  ASSERT_FALSE(seen.empty());
  for (const auto& [when, count] : seen) {
    for (size_t chunk = 1; chunk < 4; ++chunk) {
      if (count > 8 * chunk) {
        EXPECT_GE(when, std::chrono::milliseconds(19 * chunk))
            << count << " bytes at " << std::chrono::duration<double, std::milli>(when).count()
            << " ms";
      }
    }
  }
  EXPECT_EQ(window->viewClearings, 1);
  EXPECT_EQ(state.RegCount, 0);
  EXPECT_EQ(state.SendCount, 46);
  EXPECT_EQ(window->shownCount, 46);
}

// An output buffer of 20 bytes that the device does not drain: after the first chunk only 12
// bytes are free, so the second waits until the device takes the first.
TEST_F(SendPathWindowTest, TheNextChunkWaitsUntilTheOutputBufferHasRoomFor16Bytes) {
  port.SetOutSize(20);
  OpenPort();
  fake->StallDrain();
  window->box.setPlainText(QStringLiteral("01 02 03 04 05 06 07 08 09 0A"));

  uint32_t queuedWhenReleased = 0;
  QTimer::singleShot(300, &window->box, [&] {
    queuedWhenReleased = port.OutBuffUsed();
    fake->ReleaseDrain();
  });
  path->Btn_SendClick();
  EXPECT_EQ(queuedWhenReleased, 8u);
  ASSERT_TRUE(Arrived(12));
  const Bytes wire = fake->Output();
  EXPECT_EQ(Bytes(wire.begin(), wire.begin() + 10),
            (Bytes{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A}));
  EXPECT_EQ(wire.size(), 12u);
  EXPECT_EQ(state.SendCount, 20);
}

}  // namespace
}  // namespace talyx::testing
