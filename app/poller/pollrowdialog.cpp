// TPollRowDialog: a form for the row's request and a table for its registers.
#include "app/poller/pollrowdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/shell/messagebox.h"
#include "text/registerformat.h"

namespace talyx::app {

namespace {

enum RegisterColumn { RcName, RcAddress, RcFormat, RcScale, RcOffset, RcUnit, RcCount };

constexpr PollFunction Functions[] = {PollFunction::ReadCoils, PollFunction::ReadDiscreteInputs,
                                      PollFunction::ReadHoldingRegisters,
                                      PollFunction::ReadInputRegisters};

QSpinBox* MakeSpin(QWidget* parent, const char* name, int low, int high, int value) {
  auto* spin = new QSpinBox(parent);
  spin->setObjectName(QLatin1String(name));
  spin->setRange(low, high);
  spin->setValue(value);
  return spin;
}

QString Number(double value) { return QLocale::c().toString(value, 'g', 12); }

double ParseNumber(const QString& text, double fallback) {
  bool ok = false;
  const double value = QLocale::c().toDouble(text.trimmed(), &ok);
  return ok ? value : fallback;
}

QString RowProblemText(PollRowProblem problem) {
  switch (problem) {
    case PollRowProblem::rpSlave:
      return TPollRowDialog::tr("从站地址须在 1 到 247 之间。");
    case PollRowProblem::rpCount:
      return TPollRowDialog::tr("数量须在 1 到 2000 位或 125 个寄存器之间。");
    case PollRowProblem::rpRange:
      return TPollRowDialog::tr("起始地址加数量超出 65535。");
    case PollRowProblem::rpPeriod:
      return TPollRowDialog::tr("周期至少 10 毫秒。");
    case PollRowProblem::rpRegisterRange:
      return TPollRowDialog::tr("有寄存器不在本行读取的地址范围内。");
    case PollRowProblem::rpOk:
      break;
  }
  return {};
}

}  // namespace

TPollRowDialog::TPollRowDialog(const PollRow& row, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("PollRowDialog"));
  setWindowTitle(tr("轮询行"));
  SE_Slave = MakeSpin(this, "SE_Slave", 0, 255, row.Slave);
  CB_Function = new QComboBox(this);
  CB_Function->setObjectName(QStringLiteral("CB_Function"));
  CB_Function->addItems(
      {tr("01 读线圈"), tr("02 读离散输入"), tr("03 读保持寄存器"), tr("04 读输入寄存器")});
  CB_Function->setCurrentIndex(static_cast<int>(row.Function) - 1);
  SE_Start = MakeSpin(this, "SE_Start", 0, 65535, row.Start);
  SE_Count = MakeSpin(this, "SE_Count", 1, MaxReadBits, row.Count);
  SE_Period = MakeSpin(this, "SE_Period", 1, 86'400'000, static_cast<int>(row.PeriodMs));
  CB_Enabled = new QCheckBox(tr("启用"), this);
  CB_Enabled->setObjectName(QStringLiteral("CB_Enabled"));
  CB_Enabled->setChecked(row.Enabled);
  CB_MultipleWrites = new QCheckBox(tr("写入总用 15/16"), this);
  CB_MultipleWrites->setObjectName(QStringLiteral("CB_MultipleWrites"));
  CB_MultipleWrites->setChecked(row.MultipleWrites);

  RegisterTable = new QTableWidget(0, RcCount, this);
  RegisterTable->setObjectName(QStringLiteral("RegisterTable"));
  RegisterTable->setHorizontalHeaderLabels(
      {tr("名称"), tr("地址"), tr("格式"), tr("比例"), tr("偏移"), tr("单位")});
  RegisterTable->horizontalHeader()->setStretchLastSection(true);
  for (size_t i = 0; i < row.Registers.size(); ++i) {
    RegisterTable->insertRow(static_cast<int>(i));
    SetRegister(static_cast<int>(i), row.Registers[i]);
  }
  Btn_AddRegister = new QPushButton(tr("添加寄存器"), this);
  Btn_AddRegister->setObjectName(QStringLiteral("Btn_AddRegister"));
  Btn_RemoveRegister = new QPushButton(tr("删除寄存器"), this);
  Btn_RemoveRegister->setObjectName(QStringLiteral("Btn_RemoveRegister"));
  connect(Btn_AddRegister, &QPushButton::clicked, this, [this] { AddRegister(); });
  connect(Btn_RemoveRegister, &QPushButton::clicked, this, [this] {
    if (RegisterTable->currentRow() >= 0) RegisterTable->removeRow(RegisterTable->currentRow());
  });

  auto* form = new QFormLayout;
  form->addRow(tr("从站"), SE_Slave);
  form->addRow(tr("功能"), CB_Function);
  form->addRow(tr("起始地址"), SE_Start);
  form->addRow(tr("数量"), SE_Count);
  form->addRow(tr("周期(ms)"), SE_Period);
  form->addRow(CB_Enabled);
  form->addRow(CB_MultipleWrites);
  auto* registerButtons = new QHBoxLayout;
  registerButtons->addWidget(Btn_AddRegister);
  registerButtons->addWidget(Btn_RemoveRegister);
  registerButtons->addStretch();
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &TPollRowDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &TPollRowDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(RegisterTable);
  layout->addLayout(registerButtons);
  layout->addWidget(buttons);
  resize(640, 480);
}

void TPollRowDialog::SetRegister(int line, const PollRegister& reg) {
  auto* format = new QComboBox(RegisterTable);
  for (int i = 0; i < formats::kRegisterFormatCount; ++i) {
    format->addItem(QString::fromStdString(
        formats::RegisterFormatName(static_cast<formats::TRegisterFormat>(i))));
  }
  format->setCurrentIndex(static_cast<int>(reg.Format));
  RegisterTable->setItem(line, RcName, new QTableWidgetItem(QString::fromStdString(reg.Name)));
  RegisterTable->setItem(line, RcAddress, new QTableWidgetItem(QString::number(reg.Address)));
  RegisterTable->setCellWidget(line, RcFormat, format);
  RegisterTable->setItem(line, RcScale, new QTableWidgetItem(Number(reg.Scale)));
  RegisterTable->setItem(line, RcOffset, new QTableWidgetItem(Number(reg.Offset)));
  RegisterTable->setItem(line, RcUnit, new QTableWidgetItem(QString::fromStdString(reg.Unit)));
}

void TPollRowDialog::AddRegister() {
  const PollRow row = Row();
  PollRegister reg;
  reg.Address = row.Registers.empty()
                    ? row.Start
                    : static_cast<uint16_t>(row.Registers.back().Address +
                                            RegisterWidth(row.Registers.back(), row.Function));
  const int line = RegisterTable->rowCount();
  RegisterTable->insertRow(line);
  SetRegister(line, reg);
}

PollRow TPollRowDialog::Row() const {
  PollRow row;
  row.Slave = static_cast<uint8_t>(SE_Slave->value());
  row.Function = Functions[std::clamp(CB_Function->currentIndex(), 0, 3)];
  row.Start = static_cast<uint16_t>(SE_Start->value());
  row.Count = static_cast<uint16_t>(SE_Count->value());
  row.PeriodMs = static_cast<uint32_t>(SE_Period->value());
  row.Enabled = CB_Enabled->isChecked();
  row.MultipleWrites = CB_MultipleWrites->isChecked();
  const auto text = [this](int line, int column) {
    const QTableWidgetItem* item = RegisterTable->item(line, column);
    return item != nullptr ? item->text() : QString();
  };
  for (int line = 0; line < RegisterTable->rowCount(); ++line) {
    PollRegister reg;
    reg.Name = text(line, RcName).trimmed().toStdString();
    reg.Address = static_cast<uint16_t>(std::clamp(text(line, RcAddress).toInt(), 0, 65535));
    const auto* format = qobject_cast<const QComboBox*>(RegisterTable->cellWidget(line, RcFormat));
    if (format != nullptr)
      reg.Format = static_cast<formats::TRegisterFormat>(format->currentIndex());
    reg.Scale = ParseNumber(text(line, RcScale), 1.0);
    reg.Offset = ParseNumber(text(line, RcOffset), 0.0);
    reg.Unit = text(line, RcUnit).trimmed().toStdString();
    row.Registers.push_back(std::move(reg));
  }
  return row;
}

void TPollRowDialog::accept() {
  const PollRowProblem problem = CheckPollRow(Row());
  if (problem != PollRowProblem::rpOk) {
    ShowMessage(RowProblemText(problem), MessageKind::Warning);
    return;
  }
  QDialog::accept();
}

}  // namespace talyx::app
