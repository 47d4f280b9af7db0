#include "ProgressBar.h"

#include <QStyleOptionProgressBar>
#include <QStylePainter>

void TProgressBar::paintEvent(QPaintEvent* event) {
  if (maximum() <= minimum()) {
    QProgressBar::paintEvent(event);
    return;
  }
  QStylePainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::Base));
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
  const QRect contents = rect().adjusted(1, 1, -1, -1);
  const double share =
      static_cast<double>(value() - minimum()) / (static_cast<double>(maximum()) - minimum());
  QRect filled = contents;
  filled.setWidth(qRound(contents.width() * share));
  if (filled.width() > 0) painter.fillRect(filled, palette().color(QPalette::Highlight));
  if (isTextVisible()) {
    QStyleOptionProgressBar option;
    initStyleOption(&option);
    painter.drawControl(QStyle::CE_ProgressBarLabel, option);
  }
}
