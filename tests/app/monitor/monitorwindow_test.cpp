// The bus monitor window: its controls drive the filter, pause, clear and the response
// timeout; the selected row's bytes show below; export writes a file or says why it could not.
#include "app/monitor/monitorwindow.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>

#include "../../port/qttesting.h"
#include "app/monitor/framerowdelegate.h"
#include "app/shell/messagebox.h"
#include "monitorsession.h"

namespace talyx::app::testing {
namespace {

const Bytes ReadHolding = WithCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x02});
const Bytes ToAbsentSlave = WithCrc({0x05, 0x03, 0x00, 0x00, 0x00, 0x01});

class MonitorWindow : public ::testing::Test {
 protected:
  MonitorWindow() {
    talyx::testing::EnsureQtApplication();
    feed.AddSink(&store);
    window = std::make_unique<TMonitorWindow>(store, feed);
    session.Exchange(ReadHolding, false, /*echo=*/true);
    session.Exchange(ToAbsentSlave);
  }
  ~MonitorWindow() override { SetMessageBoxHook({}); }

  int Rows() const { return window->FrameTable->model()->rowCount(); }

  TMonitorFeed feed;
  TFrameStore store;
  std::unique_ptr<TMonitorWindow> window;
  MonitorSession session{feed};
};

TEST_F(MonitorWindow, ControlsFilterPauseAndClearTheTable) {
  EXPECT_EQ(Rows(), 3);
  window->HideEcho->setChecked(false);
  EXPECT_EQ(Rows(), 4);
  window->FilterAddress->setValue(5);
  EXPECT_EQ(Rows(), 1);
  window->FilterAddress->setValue(-1);
  window->FilterFunction->setValue(6);
  EXPECT_EQ(Rows(), 0);
  window->FilterFunction->setValue(-1);
  window->Btn_Pause->click();
  session.Exchange(ReadHolding);
  EXPECT_EQ(Rows(), 4);
  window->Btn_Pause->click();
  EXPECT_EQ(Rows(), 6);
  window->Btn_Clear->click();
  EXPECT_EQ(Rows(), 0);
  EXPECT_TRUE(window->Counters->text().startsWith("帧：0 "));
}

TEST_F(MonitorWindow, TheSelectedRowShowsItsBytes) {
  window->FrameTable->selectRow(1);
  EXPECT_EQ(window->FrameBytes->toPlainText().left(34), "0000  01 03 04 00 0A 00 14 DA 3E  ");
}

TEST_F(MonitorWindow, TheResponseTimeoutIsTheFeeds) {
  window->ResponseTimeout->setValue(250);
  EXPECT_EQ(feed.ResponseTimeoutMs(), 250u);
}

TEST_F(MonitorWindow, ExportWritesTheFileOrSaysWhyNot) {
  QTemporaryDir dir;
  const QString path = dir.filePath("frames.csv");
  ASSERT_TRUE(window->ExportCsv(path));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll().count('\n'), 4);

  QString shown;
  SetMessageBoxHook([&](const MessageRequest& request) {
    shown = request.Text;
    return QMessageBox::Ok;
  });
  EXPECT_FALSE(window->ExportCsv(dir.filePath("missing/frames.csv")));
  EXPECT_TRUE(shown.startsWith("无法写入文件 "));
}

TEST_F(MonitorWindow, ACellTooNarrowForItsTextCutsItWithAnEllipsis) {
  const auto* delegate = qobject_cast<TFrameRowDelegate*>(window->FrameTable->itemDelegate());
  ASSERT_NE(delegate, nullptr);
  const QString text = window->Model->Text(1, TFrameTableModel::ColSummary);
  const QFont font = window->FrameTable->font();
  const int whole = QFontMetrics(font).horizontalAdvance(text) + 20;
  EXPECT_EQ(delegate->Fitted(text, font, whole), text);
  const QString cut = delegate->Fitted(text, font, whole / 2);
  ASSERT_TRUE(cut.endsWith(QChar(0x2026)));
  EXPECT_GT(cut.size(), 2);
  EXPECT_LT(cut.size(), text.size());
  EXPECT_TRUE(text.startsWith(cut.chopped(1)));
}

}  // namespace
}  // namespace talyx::app::testing
