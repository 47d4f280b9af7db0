#pragma once

#include <QScrollBar>

// The scroll bar of the window's lists: the style's arrows, and its groove, buttons and
// handle as plain fills. The style's own bar shades its long groove on other threads and
// waits for them, about a millisecond each time it is drawn; during a run the trace list
// and the memo grow, and their bars are drawn again, several times a second. Geometry,
// mouse handling and keys stay the style's and the scroll bar's.
class TScrollBar : public QScrollBar {
 public:
  using QScrollBar::QScrollBar;

 protected:
  void paintEvent(QPaintEvent* event) override;
};
