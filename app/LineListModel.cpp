#include "LineListModel.h"

int TLineListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : FShown;
}

QModelIndex TLineListModel::index(int row, int column, const QModelIndex& parent) const {
  if (row < 0 || row >= FShown || column != 0 || parent.isValid()) return {};
  return createIndex(row, 0);
}

QVariant TLineListModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= FShown) return {};
  const auto row = static_cast<size_t>(index.row());
  const size_t begin = row == 0 ? 0 : FEnds[row - 1];
  return QString::fromLocal8Bit(FText.data() + begin, static_cast<qsizetype>(FEnds[row] - begin));
}

bool TLineListModel::Add(std::string_view line) {
  FText += line;
  FEnds.push_back(FText.size());
  return FEnds.size() == static_cast<size_t>(FShown) + 1;
}

bool TLineListModel::ShowPending() {
  const int all = static_cast<int>(FEnds.size());
  if (all == FShown) return false;
  beginInsertRows(QModelIndex(), FShown, all - 1);
  FShown = all;
  endInsertRows();
  return true;
}
