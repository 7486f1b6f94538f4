// The window's text character set over a pseudo-terminal: GBK receive (characters split between
// events, invalid bytes, counters) and GBK text send (two-byte codes, counted in bytes).
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "app/view/receiveview.h"
#include "app/window/statusbar.h"
#include "apptesting.h"
#include "support/ptypair.h"

namespace talyx::testing {
namespace {

using app::TMainForm;
using Bytes = std::vector<uint8_t>;

class TextCharsetTest : public MainFormTest {
 protected:
  void SetUp() override {
    MainFormTest::SetUp();
    WriteSettings("[options]\nCharset=GBK\n");
    form = CreateForm();
    form->show();
    ASSERT_TRUE(form->ComPort1.Open());
  }
  void TearDown() override { form.reset(); }

  // One write of the far end, counted by the window (one event).
  void Feed(const Bytes& bytes) {
    const int32_t expected = form->RecvCount + static_cast<int32_t>(bytes.size());
    ASSERT_TRUE(pty.Send(bytes));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->RecvCount == expected; }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->ReceivePath.Display().Pending(); }, 5000));
  }

  PtyPair pty;
  ScopedPortMap map{{{1, pty.SlavePath()}}};
  std::unique_ptr<TMainForm> form;
};

TEST_F(TextCharsetTest, GbkReceiveShowsSplitCharactersOnceAndInvalidBytesAsReplacements) {
  // 中文 is D6 D0 CE C4; each character is cut between two events.
  Feed({0xD6});
  EXPECT_EQ(form->Memo_Show->toPlainText(), QString());
  Feed({0xD0, 0xCE});
  Feed({0xC4, 0xFF, 'A'});
  // A four-byte GB18030 code (U+00A5 is 81 30 84 36) split after its second byte.
  Feed({0x81, 0x30});
  Feed({0x84, 0x36});
  EXPECT_EQ(form->Memo_Show->toPlainText(), QStringLiteral("中文\uFFFDA¥"));
  EXPECT_EQ(form->RecvCount, 10);
  EXPECT_EQ(form->StatusBar->PanelText(TMainForm::RecvPanel), QStringLiteral("接收：10"));
}

TEST_F(TextCharsetTest, GbkTextSendSendsTwoByteCodesAndCountsBytes) {
  form->SendMemo->setPlainText(QStringLiteral("中文A"));
  form->Btn_Send->click();
  EXPECT_EQ(pty.Receive(5), (Bytes{0xD6, 0xD0, 0xCE, 0xC4, 'A'}));
  EXPECT_EQ(form->SendCount, 5);
  EXPECT_EQ(form->StatusBar->PanelText(TMainForm::SendPanel), QStringLiteral("发送：5"));
}

}  // namespace
}  // namespace talyx::testing
