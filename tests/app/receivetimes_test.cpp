// Timestamps and frame gaps in the receive view: the options in the settings file and the
// options dialog, and frames that the engine read 30 ms apart but that reach the window in one
// event because the window was busy: they show on lines of their own, stamped with their read
// times.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTest>
#include <functional>

#include "app/dialogs/optionsdialog.h"
#include "app/settings/appoptions.h"
#include "app/view/receiveview.h"
#include "app/window/commmain.h"
#include "apptesting.h"
#include "dispatch/devlayer.h"
#include "platform/clock.h"

namespace talyx::testing {
namespace {

using app::TAppOptions;

// A window that leaves a trigger message unanswered for 100 ms counts as busy: the engine
// withdraws the offer and makes it again with whatever it has read meanwhile.
class TBusyWindowDispatcher : public TWin32Dispatcher {
 public:
  explicit TBusyWindowDispatcher(TCustomComPort* owner) : TWin32Dispatcher(owner) {
    WindowSendLimitMs = 100;
  }
  ~TBusyWindowDispatcher() override { Destroy(); }
};

// Waits without running the window's events, as a busy main thread does.
bool WaitBusy(const std::function<bool()>& done, uint32_t timeoutMs = 5000) {
  const uint32_t start = platform::MillisecondClock();
  while (!done()) {
    if (platform::MillisecondClock() - start > timeoutMs) return false;
    platform::SleepMs(1);
  }
  return true;
}

using ReceiveTimesTest = OpenFormTest;

TEST_F(ReceiveTimesTest, OptionsAreKeptInTheSettingsFileAndSetInTheDialog) {
  app::TSettingsFile settings(SettingsPath());
  TAppOptions options = TAppOptions::Read(settings);
  EXPECT_FALSE(options.Timestamps);
  EXPECT_FALSE(options.FrameGap);
  EXPECT_EQ(options.FrameGapMs, 20);
  WriteSettings("[options]\nTimestamps=1\nFrameGap=1\nFrameGapMs=99999\n");
  options = TAppOptions::Read(settings);
  EXPECT_TRUE(options.Timestamps);
  EXPECT_TRUE(options.FrameGap);
  EXPECT_EQ(options.FrameGapMs, 10000);

  app::TOptionsDialog dialog(options);
  EXPECT_TRUE(dialog.CB_Timestamps->isChecked());
  EXPECT_EQ(dialog.SE_FrameGapMs->value(), 10000);
  dialog.CB_FrameGap->setChecked(false);
  EXPECT_FALSE(dialog.SE_FrameGapMs->isEnabled());
  dialog.SE_FrameGapMs->setValue(0);  // below the range: its least value
  dialog.Options().Write(settings);
  EXPECT_EQ(settings.ReadString("options", "FrameGap", "?"), "0");
  EXPECT_EQ(settings.ReadString("options", "FrameGapMs", "?"), "1");
  EXPECT_TRUE(TAppOptions::Read(settings).Timestamps);
}

TEST_F(ReceiveTimesTest, FramesReadThirtyMsApartInOneEventShowOnTwoStampedLines) {
  form->ComPort1.SetOpen(false);
  form->ComPort1.SetDispatcherFactory(
      [](TCustomComPort& owner) { return std::make_unique<TBusyWindowDispatcher>(&owner); });
  form->ComPort1.SetOpen(true);
  ASSERT_TRUE(form->ComPort1.Open());
  std::vector<uint16_t> offers;
  const TTriggerEvent window = form->ComPort1.OnTrigger();
  form->ComPort1.SetOnTrigger(
      [&](TCustomComPort& CP, uint16_t Msg, uint16_t Handle, uint16_t Data) {
        if (Msg == TriggerAvailMsg) offers.push_back(Data);
        window(CP, Msg, Handle, Data);
      });
  form->CB_HexGet->setChecked(true);
  form->RegCount = 10;  // no decoding before 25 bytes: DecodeText keeps what came
  form->Options.Timestamps = true;
  form->Options.FrameGap = true;
  TBaseDispatcher* dispatcher = form->ComPort1.Dispatcher();
  ASSERT_NE(dispatcher, nullptr);

  // The window is busy while the far end writes two frames 30 ms apart and the engine reads
  // both.
  const std::vector<uint8_t> frame = {0x01, 0x03, 0x04, 0x00, 0x0A, 0x00, 0x14, 0xDA, 0x3E};
  ASSERT_TRUE(pty.Send(frame));
  ASSERT_TRUE(WaitBusy([&] { return dispatcher->InBuffUsed() == 9; }));
  platform::SleepMs(30);
  ASSERT_TRUE(pty.Send(frame));
  ASSERT_TRUE(WaitBusy([&] { return dispatcher->InBuffUsed() == 18; }));

  ASSERT_TRUE(QTest::qWaitFor([&] { return form->RecvCount == 18; }, 5000));
  EXPECT_EQ(offers, std::vector<uint16_t>({18}));
  form->ReceivePath.Display().Flush();
  const QStringList lines = form->Memo_Show->toPlainText().split(QLatin1Char('\n'));
  ASSERT_EQ(lines.size(), 2) << form->Memo_Show->toPlainText().toStdString();
  const QRegularExpression pattern(
      QStringLiteral(R"(^\[(\d\d):(\d\d):(\d\d)\.(\d\d\d)\] 01 03 04 00 0A 00 14 DA 3E $)"));
  int stamps[2];
  for (int i = 0; i < 2; ++i) {
    const QRegularExpressionMatch match = pattern.match(lines[i]);
    ASSERT_TRUE(match.hasMatch()) << lines[i].toStdString();
    stamps[i] = ((match.captured(1).toInt() * 60 + match.captured(2).toInt()) * 60 +
                 match.captured(3).toInt()) *
                    1000 +
                match.captured(4).toInt();
  }
  // Drawn together, stamped apart: the times are the engine's reads, not the drawing.
  const int apart = (stamps[1] - stamps[0] + 86400000) % 86400000;
  EXPECT_GE(apart, 30);
  EXPECT_LT(apart, 5000);
  // What is counted and decoded is the bytes as they came.
  EXPECT_EQ(form->DecodeText,
            QStringLiteral("01 03 04 00 0A 00 14 DA 3E 01 03 04 00 0A 00 14 DA 3E "));
}

}  // namespace
}  // namespace talyx::testing
