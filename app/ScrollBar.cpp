#include "ScrollBar.h"

#include <QPainter>
#include <QStyleOptionSlider>

void TScrollBar::paintEvent(QPaintEvent*) {
  QStyleOptionSlider option;
  initStyleOption(&option);
  QPainter painter(this);
  const QStyle& look = *style();
  const QPalette& colors = palette();
  painter.fillRect(rect(), colors.color(QPalette::Window).darker(108));
  painter.setPen(colors.color(QPalette::Mid));

  // A part under the mouse is lighter, a part held down darker.
  const auto partColor = [&](QStyle::SubControl part) {
    const QColor button = colors.color(QPalette::Button);
    if (!(option.activeSubControls & part)) return button;
    if (option.state & QStyle::State_Sunken) return button.darker(115);
    return (option.state & QStyle::State_MouseOver) ? button.lighter(106) : button;
  };
  const auto drawPart = [&](QStyle::SubControl part) {
    const QRect area = look.subControlRect(QStyle::CC_ScrollBar, &option, part, this);
    if (area.isEmpty()) return area;
    painter.fillRect(area, partColor(part));
    painter.drawRect(area.adjusted(0, 0, -1, -1));
    return area;
  };

  const bool vertical = orientation() == Qt::Vertical;
  const struct {
    QStyle::SubControl Part;
    QStyle::PrimitiveElement Arrow;
    bool CanMove;
  } buttons[] = {
      {QStyle::SC_ScrollBarSubLine,
       vertical ? QStyle::PE_IndicatorArrowUp : QStyle::PE_IndicatorArrowLeft, value() > minimum()},
      {QStyle::SC_ScrollBarAddLine,
       vertical ? QStyle::PE_IndicatorArrowDown : QStyle::PE_IndicatorArrowRight,
       value() < maximum()},
  };
  for (const auto& button : buttons) {
    const QRect area = drawPart(button.Part);
    if (area.isEmpty()) continue;
    QStyleOption arrow;
    arrow.initFrom(this);
    arrow.rect = area.adjusted(2, 2, -2, -2);
    if (!button.CanMove) arrow.state &= ~QStyle::State_Enabled;
    look.drawPrimitive(button.Arrow, &arrow, &painter, this);
  }
  if (maximum() > minimum()) drawPart(QStyle::SC_ScrollBarSlider);
}
