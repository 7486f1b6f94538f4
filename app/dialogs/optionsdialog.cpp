// TOptionsDialog: the options' controls in one form, OK and Cancel.
#include "app/dialogs/optionsdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "capture/capturewriter.h"

namespace talyx::app {

TOptionsDialog::TOptionsDialog(const TAppOptions& options, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("OptionsDialog"));
  setWindowTitle(tr("选项"));
  CB_Charset = new QComboBox(this);
  CB_Charset->setObjectName(QStringLiteral("CB_Charset"));
  // In TTextCharset's order.
  CB_Charset->addItems(
      {tr("系统区域设置（默认）"), QStringLiteral("UTF-8"), QStringLiteral("GBK")});
  CB_Charset->setCurrentIndex(static_cast<int>(options.Charset));
  CB_AutoReconnect = new QCheckBox(tr("设备重新接入时自动重新连接"), this);
  CB_AutoReconnect->setObjectName(QStringLiteral("CB_AutoReconnect"));
  CB_AutoReconnect->setChecked(options.AutoReconnect);
  CB_RegisterFormat = new QComboBox(this);
  CB_RegisterFormat->setObjectName(QStringLiteral("CB_RegisterFormat"));
  // In TRegisterFormat's order: the 16-bit formats, then each 32-bit kind in its four orders.
  CB_RegisterFormat->addItems({tr("无符号16位（默认）"), tr("有符号16位"), tr("十六进制")});
  for (const QString& kind : {tr("无符号32位 %1"), tr("有符号32位 %1"), tr("浮点32位 %1")}) {
    for (const char* order : {"ABCD", "CDAB", "BADC", "DCBA"}) {
      CB_RegisterFormat->addItem(kind.arg(QLatin1String(order)));
    }
  }
  CB_RegisterFormat->setCurrentIndex(static_cast<int>(options.RegisterFormat));
  CB_Language = new QComboBox(this);
  CB_Language->setObjectName(QStringLiteral("CB_Language"));
  // In TLanguage's order.
  CB_Language->addItems({tr("中文"), QStringLiteral("English"), tr("跟随系统区域设置")});
  CB_Language->setCurrentIndex(static_cast<int>(options.Language));
  // The texts are set when the windows are made, so a new language shows from the next start.
  auto* languageRow = new QHBoxLayout;
  languageRow->addWidget(CB_Language);
  languageRow->addWidget(new QLabel(tr("（重新启动后生效）"), this));
  CB_Timestamps = new QCheckBox(tr("每行前加时间戳（毫秒）"), this);
  CB_Timestamps->setObjectName(QStringLiteral("CB_Timestamps"));
  CB_Timestamps->setChecked(options.Timestamps);
  CB_FrameGap = new QCheckBox(tr("空闲超过以下时间时换行"), this);
  CB_FrameGap->setObjectName(QStringLiteral("CB_FrameGap"));
  CB_FrameGap->setChecked(options.FrameGap);
  SE_FrameGapMs = new QSpinBox(this);
  SE_FrameGapMs->setObjectName(QStringLiteral("SE_FrameGapMs"));
  SE_FrameGapMs->setRange(TAppOptions::MinFrameGapMs, TAppOptions::MaxFrameGapMs);
  SE_FrameGapMs->setSuffix(tr(" 毫秒"));
  SE_FrameGapMs->setValue(options.FrameGapMs);
  SE_FrameGapMs->setEnabled(options.FrameGap);
  connect(CB_FrameGap, &QCheckBox::toggled, SE_FrameGapMs, &QWidget::setEnabled);
  SE_ReceiveViewLimitMi = new QSpinBox(this);
  SE_ReceiveViewLimitMi->setObjectName(QStringLiteral("SE_ReceiveViewLimitMi"));
  SE_ReceiveViewLimitMi->setRange(TAppOptions::MinReceiveViewLimitMi,
                                  TAppOptions::MaxReceiveViewLimitMi);
  SE_ReceiveViewLimitMi->setSuffix(tr(" Mi 字符"));
  SE_ReceiveViewLimitMi->setValue(options.ReceiveViewLimitMi);
  CB_StretchViews = new QCheckBox(tr("接收区和寄存器区随窗口伸展"), this);
  CB_StretchViews->setObjectName(QStringLiteral("CB_StretchViews"));
  CB_StretchViews->setChecked(options.StretchViews);

  auto* form = new QFormLayout;
  form->addRow(tr("文本字符集："), CB_Charset);
  form->addRow(CB_AutoReconnect);
  form->addRow(tr("寄存器格式："), CB_RegisterFormat);
  form->addRow(tr("界面语言："), languageRow);
  form->addRow(CB_Timestamps);
  form->addRow(CB_FrameGap, SE_FrameGapMs);
  form->addRow(tr("接收区最多保留（自动清空关闭时）："), SE_ReceiveViewLimitMi);
  form->addRow(CB_StretchViews);
  Edt_CaptureFolder = new QLineEdit(QString::fromStdString(options.CaptureFolder), this);
  Edt_CaptureFolder->setObjectName(QStringLiteral("Edt_CaptureFolder"));
  Edt_CaptureFolder->setPlaceholderText(QString::fromStdString(capture::DefaultCaptureFolder()));
  auto* chooseFolder = new QPushButton(tr("选择..."), this);
  chooseFolder->setObjectName(QStringLiteral("Btn_CaptureFolder"));
  connect(chooseFolder, &QPushButton::clicked, this, [this] {
    const QString folder =
        QFileDialog::getExistingDirectory(this, tr("选择捕获文件夹"), Edt_CaptureFolder->text());
    if (!folder.isEmpty()) Edt_CaptureFolder->setText(folder);
  });
  auto* folderRow = new QHBoxLayout;
  folderRow->addWidget(Edt_CaptureFolder, 1);
  folderRow->addWidget(chooseFolder);
  SE_CaptureRotateMb = new QSpinBox(this);
  SE_CaptureRotateMb->setObjectName(QStringLiteral("SE_CaptureRotateMb"));
  SE_CaptureRotateMb->setRange(TAppOptions::MinCaptureRotateMb, TAppOptions::MaxCaptureRotateMb);
  SE_CaptureRotateMb->setSuffix(QStringLiteral(" MB"));
  SE_CaptureRotateMb->setValue(options.CaptureRotateMb);
  CB_CaptureTextLog = new QCheckBox(tr("同时写文本日志"), this);
  CB_CaptureTextLog->setObjectName(QStringLiteral("CB_CaptureTextLog"));
  CB_CaptureTextLog->setChecked(options.CaptureTextLog);
  CB_CaptureAtStart = new QCheckBox(tr("程序启动时开始捕获"), this);
  CB_CaptureAtStart->setObjectName(QStringLiteral("CB_CaptureAtStart"));
  CB_CaptureAtStart->setChecked(options.CaptureAtStart);
  form->addRow(tr("捕获文件夹"), folderRow);
  form->addRow(tr("捕获文件大小上限"), SE_CaptureRotateMb);
  form->addRow(CB_CaptureTextLog);
  form->addRow(CB_CaptureAtStart);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(tr("确定"));
  buttons->button(QDialogButtonBox::Cancel)->setText(tr("取消"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
}

TAppOptions TOptionsDialog::Options() const {
  TAppOptions options;
  options.Charset = static_cast<TTextCharset>(std::max(0, CB_Charset->currentIndex()));
  options.AutoReconnect = CB_AutoReconnect->isChecked();
  options.RegisterFormat =
      static_cast<TRegisterFormat>(std::max(0, CB_RegisterFormat->currentIndex()));
  options.Language = static_cast<TLanguage>(std::max(0, CB_Language->currentIndex()));
  options.Timestamps = CB_Timestamps->isChecked();
  options.FrameGap = CB_FrameGap->isChecked();
  options.FrameGapMs = SE_FrameGapMs->value();
  options.ReceiveViewLimitMi = SE_ReceiveViewLimitMi->value();
  options.StretchViews = CB_StretchViews->isChecked();
  options.CaptureFolder = Edt_CaptureFolder->text().trimmed().toStdString();
  options.CaptureRotateMb = SE_CaptureRotateMb->value();
  options.CaptureTextLog = CB_CaptureTextLog->isChecked();
  options.CaptureAtStart = CB_CaptureAtStart->isChecked();
  return options;
}

}  // namespace talyx::app
