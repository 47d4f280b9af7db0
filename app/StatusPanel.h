#pragma once

#include <QWidget>

class QLabel;

// One panel of the status bar: a label in a frame of its own. The text changes twice per
// file of a publishing run. A label in the status bar's own layout has the bar, and after
// it the whole window, laid out anew for each text, measuring the text as it goes: most
// of what serving the window cost during a run of small files. In the panel a new text
// reaches no layout; the panel's size comes from the bar (a fixed width, or the rest of
// it), never from its text.
class TStatusPanel : public QWidget {
 public:
  explicit TStatusPanel(QWidget* parent);

  QLabel* Label() const { return FLabel; }
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QLabel* FLabel;
};
