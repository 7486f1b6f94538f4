// TOptionsDialog: the window's options (character set of text, automatic reconnect, register
// format, interface language, receive lines, the receive view's limit, views that grow).
#pragma once

#include <QDialog>

#include "app/settings/appoptions.h"

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
  QSpinBox* SE_ReceiveViewLimitMi;
  QCheckBox* CB_StretchViews;
};

}  // namespace talyx::app
