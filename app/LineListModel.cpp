#include "LineListModel.h"

int TLineListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : FShown;
}

QVariant TLineListModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= FShown) return {};
  return QString::fromLocal8Bit(FLines[static_cast<size_t>(index.row())]);
}

void TLineListModel::Add(const std::string& line) {
  FLines.push_back(line);
}

bool TLineListModel::ShowPending() {
  const int all = static_cast<int>(FLines.size());
  if (all == FShown) return false;
  beginInsertRows(QModelIndex(), FShown, all - 1);
  FShown = all;
  endInsertRows();
  return true;
}
