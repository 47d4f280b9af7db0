#include "StatusPanel.h"

#include <QAccessible>
#include <QPainter>

TStatusPanel::TStatusPanel(QWidget* parent) : QWidget(parent) {}

void TStatusPanel::setText(const QString& text) {
  if (text == FText) return;
  FText = text;
  update();
  // What a screen reader reads, when one listens: kept only then, since naming the panel
  // has it tell every change.
  if (QAccessible::isActive()) setAccessibleName(text);
}

QSize TStatusPanel::sizeHint() const {
  return minimumSizeHint();
}

QSize TStatusPanel::minimumSizeHint() const {
  // One line of text high, and none of its width.
  return {1, fontMetrics().height()};
}

void TStatusPanel::paintEvent(QPaintEvent*) {
  if (FText.isEmpty()) return;
  QPainter painter(this);
  painter.setPen(palette().color(foregroundRole()));
  // Left and centred in the height, cut off at the panel's end, as a label shows it.
  painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, FText);
}
