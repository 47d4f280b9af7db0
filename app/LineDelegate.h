#pragma once

#include <QStyledItemDelegate>

// Draws a row of the trace list or the memo: one line of text, cut off as the list says
// (at its end, or at its start for the memo's paths), on the highlight when selected. The
// style's own drawing lays a row's text out for wrapping and then again for cutting it
// off: about twice as long, and during a run the lists are drawn several times a second.
class TLineDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
};
