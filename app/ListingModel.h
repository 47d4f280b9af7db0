#pragma once

#include "StringList.h"

#include <QAbstractListModel>

// The remote listing: the server's lines as they arrived, which are what the commands need
// back, each turned into text only when its row is drawn. A folder of ten thousand photos
// then costs no item and no text per line when it is shown or left again.
class TListingModel : public QAbstractListModel {
 public:
  using QAbstractListModel::QAbstractListModel;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

  // The list shows these lines from now on, and no selection.
  void Show(TStringList lines);
  void Clear() { Show(TStringList()); }
  const TStringList& Lines() const { return FLines; }

 private:
  TStringList FLines;
};
