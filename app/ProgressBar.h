#pragma once

#include <QProgressBar>

// The window's progress bar: a frame, its share filled in one piece, and the style's
// percentage. The style's own bar (a rounded, shaded groove and a shaded, striped share,
// drawn partly on other threads) took about a millisecond each time it moved, and during a
// transfer it moves every time the window is served. A busy bar (no maximum) is still the
// style's, which animates it.
class TProgressBar : public QProgressBar {
 public:
  using QProgressBar::QProgressBar;

 protected:
  void paintEvent(QPaintEvent* event) override;
};
