#include "ListingModel.h"

int TListingModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : FLines.Count();
}

QVariant TListingModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= FLines.Count()) return {};
  return QString::fromLocal8Bit(FLines.Strings(index.row()));
}

void TListingModel::Show(TStringList lines) {
  beginResetModel();
  FLines = std::move(lines);
  endResetModel();
}
