#include "StatusPanel.h"

#include <QAccessible>
#include <QPainter>

TStatusPanel::TStatusPanel(QWidget* parent) : QWidget(parent) {
  FDrawLater.setSingleShot(true);
  connect(&FDrawLater, &QTimer::timeout, this, [this] { AskDrawing(); });
}

void TStatusPanel::setText(const std::string& text) {
  if (text == FText) return;
  FText = text;
  AskDrawing();
  // What a screen reader reads, when one listens: kept only then, since naming the panel
  // has it tell every change.
  if (QAccessible::isActive()) setAccessibleName(this->text());
}

void TStatusPanel::AskDrawing() {
  // A hidden panel is drawn whole when it is shown; until then nothing is asked.
  if (FDrawingAsked || FDrawLater.isActive() || !isVisible()) return;
  const TClock::duration since = TClock::now() - FLastDrawn;
  if (since < DrawingPace) {
    FDrawLater.start(std::chrono::ceil<std::chrono::milliseconds>(DrawingPace - since));
    return;
  }
  FDrawingAsked = true;
  update();
}

QSize TStatusPanel::sizeHint() const {
  return minimumSizeHint();
}

QSize TStatusPanel::minimumSizeHint() const {
  // One line of text high, and none of its width.
  return {1, fontMetrics().height()};
}

void TStatusPanel::paintEvent(QPaintEvent*) {
  FDrawingAsked = false;
  FLastDrawn = TClock::now();
  if (FText.empty()) return;
  QPainter painter(this);
  painter.setPen(palette().color(foregroundRole()));
  // Left and centred in the height, cut off at the panel's end, as a label shows it.
  painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text());
}
