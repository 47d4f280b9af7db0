#include "StatusPanel.h"

#include <QLabel>

TStatusPanel::TStatusPanel(QWidget* parent) : QWidget(parent), FLabel(new QLabel(this)) {}

QSize TStatusPanel::sizeHint() const {
  return minimumSizeHint();
}

QSize TStatusPanel::minimumSizeHint() const {
  // One line of text high, as the label's own hint would be, and none of its width.
  return {1, FLabel->fontMetrics().height() + FLabel->contentsMargins().top() +
                 FLabel->contentsMargins().bottom()};
}

void TStatusPanel::resizeEvent(QResizeEvent*) {
  FLabel->setGeometry(rect());
}
