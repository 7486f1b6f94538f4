// The send path to a pseudo-terminal's far end: hexadecimal frames with their CRC, text pieces,
// Enter, auto-send, pacing, a stalled output that leaves the window alive, a close in the last
// pause, the send box file and what it refuses.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

#include "app/shell/application.h"
#include "app/view/receiveview.h"
#include "app/window/commmain.h"
#include "app/window/statusbar.h"
#include "apptesting.h"
#include "support/ptypair.h"

namespace talyx::testing {
namespace {

using app::TMainForm;
using Clock = std::chrono::steady_clock;

// Reads the far end on a thread of its own while the window sends, noting when each byte came.
class FarEndReader {
 public:
  explicit FarEndReader(int master) : thread_([this, master] { Run(master); }) {}
  ~FarEndReader() {
    stop_ = true;
    thread_.join();
  }
  // Waits until count bytes came (true) or timeoutMs passed.
  bool WaitFor(size_t count, int timeoutMs = 5000) {
    return QTest::qWaitFor([&] { return Bytes().size() >= count; }, timeoutMs);
  }
  std::vector<uint8_t> Bytes() {
    std::lock_guard lock(mutex_);
    return bytes_;
  }
  Clock::time_point ArrivalOf(size_t index) {
    std::lock_guard lock(mutex_);
    return arrivals_.at(index);
  }

 private:
  void Run(int master) {
    while (!stop_) {
      pollfd fd{master, POLLIN, 0};
      if (poll(&fd, 1, 10) <= 0) continue;
      uint8_t buffer[256];
      const ssize_t got = read(master, buffer, sizeof buffer);
      if (got <= 0) continue;
      const Clock::time_point now = Clock::now();
      std::lock_guard lock(mutex_);
      bytes_.insert(bytes_.end(), buffer, buffer + got);
      arrivals_.insert(arrivals_.end(), static_cast<size_t>(got), now);
    }
  }

  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<uint8_t> bytes_;
  std::vector<Clock::time_point> arrivals_;
  std::thread thread_;
};

class SendPathTest : public OpenFormTest {
 protected:
  // Sends the text by the button and returns what reached the far end once count bytes came.
  std::vector<uint8_t> SendAndRead(const QString& text, size_t count) {
    form->SendMemo->setPlainText(text);
    FarEndReader reader(pty.Master());
    form->Btn_Send->click();
    EXPECT_TRUE(reader.WaitFor(count));
    return reader.Bytes();
  }
};

using Bytes = std::vector<uint8_t>;

TEST_F(SendPathTest, HexadecimalRequestsGoOutWithTheirCrc) {
  form->CB_hexSend->setChecked(true);
  form->CB_AddCenter->setChecked(true);  // no effect on a hexadecimal send
  EXPECT_EQ(SendAndRead(QStringLiteral("01 03 00 00\n00 02"), 8),
            (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x02, 0xC4, 0x0B}));
  EXPECT_EQ(form->RegCount, 2);
  EXPECT_EQ(form->SendCount, 12);
  EXPECT_EQ(form->StatusBar->PanelText(TMainForm::SendPanel), QStringLiteral("发送：12"));

  EXPECT_EQ(SendAndRead(QStringLiteral("01 03 00 0A 00 01"), 8),
            (Bytes{0x01, 0x03, 0x00, 0x0A, 0x00, 0x01, 0xA4, 0x08}));
  EXPECT_EQ(form->RegCount, 1);

  const Bytes tenBytes = SendAndRead(QStringLiteral("01 06 00 01 00 03 98 0B"), 10);
  EXPECT_EQ(tenBytes, (Bytes{0x01, 0x06, 0x00, 0x01, 0x00, 0x03, 0x98, 0x0B, 0x00, 0x00}));
  EXPECT_EQ(form->RegCount, 0);
}

TEST_F(SendPathTest, LongFrameGoesInChunksOfEightBytesAtLeastTwentyMillisecondsApart) {
  form->CB_hexSend->setChecked(true);
  QString text;
  for (int i = 0; i < 23; ++i) text += QStringLiteral("%1 ").arg(i + 0x10, 2, 16);
  form->SendMemo->setPlainText(text);
  FarEndReader reader(pty.Master());
  const Clock::time_point start = Clock::now();
  form->Btn_Send->click();
  ASSERT_TRUE(reader.WaitFor(25));
  const Bytes wire = reader.Bytes();
  ASSERT_EQ(wire.size(), 25u);
  EXPECT_EQ(wire[0], 0x10);
  EXPECT_EQ(wire[22], 0x26);
  // Chunk k is queued after k pauses of 20 ms (a coarse timer may end one up to 5% early), so
  // its first byte cannot arrive sooner; a far end that reads late only makes arrivals later.
  for (size_t chunk = 1; chunk < 4; ++chunk) {
    EXPECT_GE(reader.ArrivalOf(chunk * 8) - start, std::chrono::milliseconds(19 * chunk))
        << "chunk " << chunk;
  }
}

TEST_F(SendPathTest, TextGoesOutInTheLocaleCharacterSet) {
  form->CB_AddCenter->setChecked(true);
  EXPECT_EQ(SendAndRead(QStringLiteral("AT"), 3), (Bytes{0x41, 0x54, 0x0D}));
  EXPECT_EQ(form->SendCount, 3);
  form->CB_AddCenter->setChecked(false);
  EXPECT_EQ(SendAndRead(QStringLiteral("中\nx"), 6), (Bytes{0xE4, 0xB8, 0xAD, 0x0D, 0x0A, 'x'}));
  EXPECT_EQ(form->SendCount, 9);

  // An empty send box queues nothing and leaves the counter: the next byte out is the next
  // send's.
  form->SendMemo->clear();
  form->Btn_Send->click();
  EXPECT_EQ(form->SendCount, 9);
  EXPECT_EQ(SendAndRead(QStringLiteral("Z"), 1), Bytes{'Z'});
}

TEST_F(SendPathTest, EnterSendsWhenAskedAndOtherwiseBreaksTheLine) {
  form->SendMemo->setPlainText(QStringLiteral("ab"));
  form->SendMemo->moveCursor(QTextCursor::End);
  form->CB_EnterSend->setChecked(true);
  FarEndReader reader(pty.Master());
  QTest::keyClick(form->SendMemo, Qt::Key_Return);
  ASSERT_TRUE(reader.WaitFor(2));
  EXPECT_EQ(form->SendMemo->toPlainText(), QStringLiteral("ab"));

  form->CB_EnterSend->setChecked(false);
  QTest::keyClick(form->SendMemo, Qt::Key_Return);
  EXPECT_EQ(form->SendMemo->toPlainText(), QStringLiteral("ab\n"));
  EXPECT_EQ(reader.Bytes(), (Bytes{'a', 'b'}));
}

TEST_F(SendPathTest, ClosedPortStopsAutoSendWithOneMessage) {
  QTest::keyClicks(form->Edt_Interval, QStringLiteral("x0"));  // only digits are typed
  EXPECT_EQ(form->Edt_Interval->text(), QStringLiteral("10000"));
  form->Edt_Interval->setText(QStringLiteral("0"));
  form->CB_AutoSend->setChecked(true);
  EXPECT_FALSE(form->Timer_AutoSend->isActive());  // an interval of 0 never sends

  form->CB_AutoSend->setChecked(false);
  form->Edt_Interval->setText(QStringLiteral("30"));
  form->CB_AutoSend->setChecked(true);
  ASSERT_TRUE(form->Timer_AutoSend->isActive());
  form->ComPort1.SetOpen(false);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.Texts.isEmpty(); }, 5000));
  EXPECT_EQ(messages.Texts, QStringList{QStringLiteral("串口未打开。")});
  EXPECT_FALSE(form->CB_AutoSend->isChecked());
  EXPECT_FALSE(form->Timer_AutoSend->isActive());
}

// Counts the paint events of a widget.
class PaintCounter : public QObject {
 public:
  int Paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++Paints;
    return false;
  }
};

TEST_F(SendPathTest, WindowRepaintsAndReceivesWhileOutputStalls) {
  // Output of the line is suspended, as a device holding it back would; the bytes queued fill
  // the output ring, so the send waits in 200 ms steps until output resumes two seconds later.
  ASSERT_EQ(tcflow(pty.Slave(), TCOOFF), 0);
  const Bytes filler(form->ComPort1.OutSize() - 6, 'f');
  form->ComPort1.PutBlock(filler.data(), filler.size());

  PaintCounter counter;
  form->Memo_Show->viewport()->installEventFilter(&counter);
  QTimer repaint;
  QObject::connect(&repaint, &QTimer::timeout, [&] { form->Memo_Show->viewport()->update(); });
  repaint.start(100);
  bool receivedDuringStall = false;
  QTimer::singleShot(500, form.get(), [&] { pty.Send(std::string("incoming")); });
  QTimer::singleShot(2000, form.get(), [&] {
    receivedDuringStall = form->Memo_Show->toPlainText() == QStringLiteral("incoming");
    tcflow(pty.Slave(), TCOON);
  });

  FarEndReader reader(pty.Master());
  form->SendMemo->setPlainText(QStringLiteral("after"));
  const Clock::time_point start = Clock::now();
  form->Btn_Send->click();
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(1900));
  EXPECT_TRUE(receivedDuringStall);
  EXPECT_GE(counter.Paints, 10);
  ASSERT_TRUE(reader.WaitFor(filler.size() + 5));
  const Bytes wire = reader.Bytes();
  EXPECT_EQ(std::string(wire.end() - 5, wire.end()), "after");
  form->Memo_Show->viewport()->removeEventFilter(&counter);
}

TEST_F(SendPathTest, ClosingTheWindowEndsAWaitingSendAfterItsQueuedPiece) {
  ASSERT_EQ(tcflow(pty.Slave(), TCOOFF), 0);
  const Bytes filler(form->ComPort1.OutSize() - 20, 'f');
  form->ComPort1.PutBlock(filler.data(), filler.size());
  form->SendMemo->setPlainText(QStringLiteral("0123456789abcdefghijklmnopqrstuvwxyz"));
  QTimer::singleShot(300, form.get(), [&] { form->close(); });

  const Clock::time_point start = Clock::now();
  form->Btn_Send->click();
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1500));
  EXPECT_EQ(form->SendCount, 0);  // the steps after the sending did not run
  EXPECT_EQ(form->SendPath.RunningSends(), 0);

  // Only the first piece was queued: the far end gets the filler and 16 bytes, no more.
  FarEndReader reader(pty.Master());
  ASSERT_EQ(tcflow(pty.Slave(), TCOON), 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->ComPort1.OutBuffUsed() == 0; }, 5000));
  ASSERT_TRUE(reader.WaitFor(filler.size() + 16));
  const Bytes wire = reader.Bytes();
  EXPECT_EQ(std::string(wire.begin() + static_cast<long>(filler.size()), wire.end()),
            "0123456789abcdef");
}

TEST_F(SendPathTest, APortClosedInTheFinalPauseLeavesTheSendCompleteButNotEarlierOrByTheWindow) {
  form->CB_hexSend->setChecked(true);
  form->CB_ShowSend->setChecked(true);
  const QString request = QStringLiteral("01 03 00 00 00 02");
  // The first close comes within the first pause (the first time events are handled).
  const auto sendWhileClosing = [&](const QString& text, std::function<void()> close) {
    form->SendMemo->setPlainText(text);
    QTimer::singleShot(5, form.get(), close);
    form->Btn_Send->click();
  };
  const auto closePort = [&] { form->ComPort1.SetOpen(false); };

  // Two chunks: the close ends the send before the second, which would reopen the port.
  sendWhileClosing(request + QStringLiteral(" 01 02 03"), closePort);
  EXPECT_FALSE(form->ComPort1.Open());
  EXPECT_EQ(form->SendCount, 0);
  EXPECT_FALSE(form->SendMemo->toPlainText().isEmpty());

  // One chunk: its pause is the final one, so the send is counted and the box cleared.
  form->ComPort1.SetOpen(true);
  sendWhileClosing(request, closePort);
  EXPECT_FALSE(form->ComPort1.Open());
  EXPECT_EQ(form->SendCount, 12);
  EXPECT_EQ(form->StatusBar->PanelText(TMainForm::SendPanel), QStringLiteral("发送：12"));
  EXPECT_TRUE(form->SendMemo->toPlainText().isEmpty());

  // The window closing in the final pause: neither step runs.
  form->ComPort1.SetOpen(true);
  sendWhileClosing(request, [&] { form->close(); });
  EXPECT_EQ(form->SendCount, 12);
  EXPECT_EQ(form->SendMemo->toPlainText(), request);
}

TEST_F(SendPathTest, AutoSendTicksDuringASendAreDroppedNotNested) {
  ASSERT_EQ(tcflow(pty.Slave(), TCOOFF), 0);
  const Bytes filler(form->ComPort1.OutSize() - 18, 'f');
  form->ComPort1.PutBlock(filler.data(), filler.size());
  form->SendMemo->setPlainText(QStringLiteral("tick"));
  int mostAtOnce = 0;
  QTimer sample;
  QObject::connect(&sample, &QTimer::timeout,
                   [&] { mostAtOnce = std::max(mostAtOnce, form->SendPath.RunningSends()); });
  sample.start(5);
  QTimer::singleShot(800, form.get(), [&] { tcflow(pty.Slave(), TCOON); });

  form->Edt_Interval->setText(QStringLiteral("10"));
  form->CB_AutoSend->setChecked(true);
  // The button's send waits for room until output resumes; the ticks meanwhile are dropped.
  form->Btn_Send->click();
  EXPECT_EQ(form->SendCount, 4);
  form->CB_AutoSend->setChecked(false);
  EXPECT_EQ(mostAtOnce, 1);
}

TEST_F(SendPathTest, SendBoxLoadsRtfAndPlainTextFiles) {
  const std::string rtf = folder.File("gbk.rtf");
  WriteWholeFile(rtf,
                 "{\\rtf1\\ansi\\ansicpg936{\\fonttbl{\\f0\\fcharset134 x;}}\\f0 "
                 "\\'d6\\'d0\\'ce\\'c4 01\\par 03\\par}");
  form->SendPath.LoadSendFile(QString::fromStdString(rtf));
  EXPECT_EQ(form->SendMemo->toPlainText(), QStringLiteral("中文 01\n03"));

  const std::string plain = folder.File("plain.txt");
  WriteWholeFile(plain, "01 03\r\n00 0A\r");
  form->SendPath.LoadSendFile(QString::fromStdString(plain));
  EXPECT_EQ(form->SendMemo->toPlainText(), QStringLiteral("01 03\n00 0A\n"));

  const QString missing = QString::fromStdString(folder.File("missing.txt"));
  app::RunReported([&] { form->SendPath.LoadSendFile(missing); });
  EXPECT_EQ(messages.Texts, QStringList{QStringLiteral("不能打开文件 ") + missing});
  EXPECT_EQ(form->SendMemo->toPlainText(), QStringLiteral("01 03\n00 0A\n"));
}

TEST_F(SendPathTest, SendBoxRefusesDevicesFifosFilesOver16MiBAndRtfNestedTooDeep) {
  const QString kept = QStringLiteral("kept");
  form->SendMemo->setPlainText(kept);
  const auto refused = [&](const std::string& path) {
    messages.Texts.clear();
    app::RunReported([&] { form->SendPath.LoadSendFile(QString::fromStdString(path)); });
    return messages.Texts == QStringList{QString::fromStdString("不能打开文件 " + path)} &&
           form->SendMemo->toPlainText() == kept;
  };
  // A device could give bytes without end; a FIFO without a writer is not waited for.
  ASSERT_TRUE(refused("/dev/null"));
  const std::string fifo = folder.File("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_TRUE(refused(fifo));

  // A document of exactly 16 MiB, its bulk in a skipped group, loads; one byte more does not.
  const size_t limit = 16 * 1024 * 1024;
  std::string document = "{\\rtf1 ok{\\*\\x ";
  document += std::string(limit - document.size() - 2, 'a') + "}}";
  const std::string atLimit = folder.File("limit.rtf");
  WriteWholeFile(atLimit, document);
  form->SendPath.LoadSendFile(QString::fromStdString(atLimit));
  EXPECT_EQ(form->SendMemo->toPlainText(), QStringLiteral("ok"));
  form->SendMemo->setPlainText(kept);
  const std::string over = folder.File("over.rtf");
  WriteWholeFile(over, document + " ");
  EXPECT_TRUE(refused(over));

  const std::string deep = folder.File("deep.rtf");
  WriteWholeFile(deep, "{\\rtf1" + std::string(300, '{') + "x" + std::string(301, '}'));
  EXPECT_TRUE(refused(deep));
}

}  // namespace
}  // namespace talyx::testing
