// TOptionsDialog: the window's options (character set of text, automatic reconnect, register
// format, interface language, receive lines, the receive view's limit, views that grow, the bus
// capture's folder, file size, text log and start).
#pragma once

#include <QDialog>

#include "app/settings/appoptions.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
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
  QSpinBox* SE_ReceiveViewLimitMi;
  QCheckBox* CB_StretchViews;
  QLineEdit* Edt_CaptureFolder;  // empty: the default folder
  QSpinBox* SE_CaptureRotateMb;
  QCheckBox* CB_CaptureTextLog;
  QCheckBox* CB_CaptureAtStart;
};

}  // namespace talyx::app
