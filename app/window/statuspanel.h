// TStatusPanel: one text panel of the status bar, a sunken frame with one line of plain text.
//
// The receive and send counters change their panel's text up to once per display frame while data
// streams. A panel of fixed width therefore only repaints itself when its text changes: it never
// asks the bar to lay its panels out again, and its size never depends on its text. A panel that
// follows its text (FollowText) asks for a new layout when the text's width changes.
// The text is plain: markup and ampersands show as they are. Main thread only.
#pragma once

#include <QFrame>
#include <QString>

#include "app/view/glyphcache.h"

namespace talyx::app {

class TStatusPanel : public QFrame {
  Q_OBJECT

 public:
  explicit TStatusPanel(QWidget* parent = nullptr);

  QString text() const { return text_; }
  void setText(const QString& text);
  // The panel is at least minimumWidth() wide and as wide as its text needs.
  void FollowText();

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // The width the text takes with the frame and the indent around it.
  int TextWidth() const;

  QString text_;
  bool followText_ = false;
  TGlyphCache glyphs_;
};

}  // namespace talyx::app
