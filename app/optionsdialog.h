// TOptionsDialog: the window's options (character set of text, automatic reconnect, interface
// language).
#pragma once

#include <QDialog>

#include "app/appoptions.h"

class QCheckBox;
class QComboBox;
class QSpinBox;

namespace talyx::app {

class TOptionsDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TOptionsDialog(const TAppOptions& options, QWidget* parent = nullptr);

  // The options as the dialog's controls stand.
  TAppOptions Options() const;

  QComboBox* CB_Charset;
  QCheckBox* CB_AutoReconnect;
  QComboBox* CB_RegisterFormat;
  QComboBox* CB_Language;
  QCheckBox* CB_Timestamps;
  QCheckBox* CB_FrameGap;
  QSpinBox* SE_FrameGapMs;  // enabled while CB_FrameGap is checked
};

}  // namespace talyx::app
